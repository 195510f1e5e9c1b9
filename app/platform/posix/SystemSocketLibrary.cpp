// SPDX-License-Identifier: MIT
// The socket library of POSIX systems: always there, nothing to start.
#include "base/SocketLibrary.h"

#include <unistd.h>

namespace vigilon {

namespace {
class SystemSocketLibrary final : public SocketLibrary {
public:
    bool startup() override
    {
        // Nothing to start here.
        return true;
    }

    void cleanup() override {}

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
