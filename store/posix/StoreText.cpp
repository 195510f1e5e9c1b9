// SPDX-License-Identifier: MIT
// The store's text on POSIX systems: UTF-8, as the program writes it under
// a UTF-8 locale. Other bytes have no form in a registry file.
#include "store/RegFile.h"

namespace vigilon::reg {

bool storeTextToUtf8(const std::string &stored, std::string &utf8)
{
    if (!isUtf8(stored))
        return false;
    utf8 = stored;
    return true;
}

bool utf8ToStoreText(const std::string &utf8, std::string &stored)
{
    stored = utf8;
    return true;
}

} // namespace vigilon::reg
