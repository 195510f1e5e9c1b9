// SPDX-License-Identifier: MIT
#include "base/SecureRandom.h"

#include <sys/random.h>

#include <cerrno>
#include <cstdio>

namespace vigilon {

bool secureRandomBytes(void *out, std::size_t size)
{
    auto *at = static_cast<unsigned char *>(out);
    while (size > 0) {
        const ssize_t got = ::getrandom(at, size, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            // A kernel without the call: the device gives the same bytes.
            std::FILE *device = std::fopen("/dev/urandom", "rbe");
            if (!device)
                return false;
            const std::size_t read = std::fread(at, 1, size, device);
            std::fclose(device);
            return read == size;
        }
        at += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

} // namespace vigilon
