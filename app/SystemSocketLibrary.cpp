// SPDX-License-Identifier: MIT
#include "app/FrameUi.h"

#ifdef _WIN32
#include <winsock2.h>
#else
#include <unistd.h>
#endif

namespace vigilon {

namespace {
class SystemSocketLibrary final : public SocketLibrary {
public:
    bool startup() override
    {
#ifdef _WIN32
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
#else
        // Nothing to start here.
        return true;
#endif
    }

    void cleanup() override
    {
#ifdef _WIN32
        WSACleanup();
#endif
    }

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
