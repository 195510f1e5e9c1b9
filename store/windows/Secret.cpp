// SPDX-License-Identifier: MIT
#include "store/Secret.h"

#include "base/Base64.h"

#include <windows.h>
#include <wincrypt.h>

#include <cstdint>
#include <string_view>
#include <vector>

namespace vigilon::secret {

namespace {

// What marks a value encrypted with the data protection API for this
// machine; base64 of the encrypted blob follows.
constexpr std::string_view kPrefix = "dpapi:";

} // namespace

std::string protect(const std::string &clear)
{
    DATA_BLOB in{static_cast<DWORD>(clear.size()),
                 reinterpret_cast<BYTE *>(const_cast<char *>(clear.data()))};
    DATA_BLOB out{};
    // Machine scope: the service and the desktop program of any user on
    // this machine read it; no other machine does. The key's own access
    // rights keep other users out.
    if (!CryptProtectData(&in, L"Vigilon", nullptr, nullptr, nullptr,
                          CRYPTPROTECT_LOCAL_MACHINE | CRYPTPROTECT_UI_FORBIDDEN, &out))
        return clear;
    std::string stored(kPrefix);
    stored += base64Encode(std::string_view(reinterpret_cast<const char *>(out.pbData), out.cbData));
    LocalFree(out.pbData);
    return stored;
}

bool reveal(const std::string &stored, std::string &clear)
{
    if (!isProtected(stored)) {
        clear = stored;
        return true;
    }
    std::vector<std::uint8_t> blob;
    if (!base64Decode(std::string_view(stored).substr(kPrefix.size()), blob))
        return false;
    DATA_BLOB in{static_cast<DWORD>(blob.size()), blob.data()};
    DATA_BLOB out{};
    if (!CryptUnprotectData(&in, nullptr, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out))
        return false;
    clear.assign(reinterpret_cast<const char *>(out.pbData), out.cbData);
    SecureZeroMemory(out.pbData, out.cbData);
    LocalFree(out.pbData);
    return true;
}

bool isProtected(const std::string &stored)
{
    return stored.compare(0, kPrefix.size(), kPrefix) == 0;
}

} // namespace vigilon::secret
