// SPDX-License-Identifier: MIT
// store_save_helper PATH MARKER: saves the marked configuration into the
// store file PATH. Exit 0 when saved, 2 when the save failed, 3 when the
// store could not be opened; failures are said on standard error.
#include "store/Settings.h"
#include "store/posix/SqliteRegistry.h"
#include "tests/store/StoreTestSupport.h"

#include <cstdio>
#include <string>

int main(int argc, char **argv)
{
    using namespace vigilon;
    if (argc != 3) {
        std::fputs("usage: store_save_helper PATH MARKER\n", stderr);
        return 64;
    }
    const int marker = std::stoi(argv[2]);
    reg::Status status = reg::Status::Ok;
    auto registry = reg::SqliteRegistry::open(argv[1], &status);
    if (!registry) {
        std::fprintf(stderr, "store_save_helper: the store cannot be opened: %s\n", reg::statusText(status));
        return 3;
    }
    const PortList ports = test::markedPorts(marker);
    status = saveSettings(*registry, test::markedTarget(marker), static_cast<std::uint32_t>(marker), 1, ports);
    if (status != reg::Status::Ok) {
        std::fprintf(stderr, "store_save_helper: the settings could not be saved: %s\n", reg::statusText(status));
        return 2;
    }
    return 0;
}
