// SPDX-License-Identifier: MIT
// The socket library of Windows: Winsock, started and cleaned up by the frame.
#include "base/SocketLibrary.h"

#include <winsock2.h>

namespace vigilon {

namespace {
class SystemSocketLibrary final : public SocketLibrary {
public:
    bool startup() override
    {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }

    void cleanup() override { WSACleanup(); }

    bool hostName(std::string &name) override
    {
        char buffer[64] = {};
        if (gethostname(buffer, sizeof buffer - 1) != 0)
            return false;
        name = buffer;
        return true;
    }
};
} // namespace

SocketLibrary &systemSocketLibrary()
{
    static SystemSocketLibrary library;
    return library;
}

} // namespace vigilon
