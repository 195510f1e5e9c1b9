// SPDX-License-Identifier: MIT
#include "base/SecureRandom.h"

#include <windows.h>

#include <bcrypt.h>

namespace vigilon {

bool secureRandomBytes(void *out, std::size_t size)
{
    auto *at = static_cast<unsigned char *>(out);
    while (size > 0) {
        const ULONG piece = size > 0x10000000 ? 0x10000000 : static_cast<ULONG>(size);
        if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, at, piece, BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
            return false;
        at += piece;
        size -= piece;
    }
    return true;
}

} // namespace vigilon
