// SPDX-License-Identifier: MIT
// store_save_helper PATH MARKER: saves the marked configuration into the
// store file PATH. Exit 0 when saved, 2 when the save failed, 3 when the
// store could not be opened; failures are said on standard error.
#include "app/store/Settings.h"
#include "app/store/SqliteRegistry.h"
#include "tests/store/StoreTestSupport.h"

#include <cstdio>
#include <string>

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fputs("usage: store_save_helper PATH MARKER\n", stderr);
        return 64;
    }
    const int marker = std::stoi(argv[2]);
    vigilon::reg::Status status = vigilon::reg::Status::Ok;
    auto registry = vigilon::reg::SqliteRegistry::open(argv[1], &status);
    if (!registry) {
        std::fprintf(stderr, "store_save_helper: the store cannot be opened: %s\n", vigilon::reg::statusText(status));
        return 3;
    }
    const vigilon::PortList ports = vigilon::test::markedPorts(marker);
    status = vigilon::saveSettings(*registry, vigilon::test::markedTarget(marker), static_cast<std::uint32_t>(marker),
                                   1, ports);
    if (status != vigilon::reg::Status::Ok) {
        std::fprintf(stderr, "store_save_helper: the settings could not be saved: %s\n",
                     vigilon::reg::statusText(status));
        return 2;
    }
    return 0;
}
