// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace vigilon {

// The socket library and host facts of the platform.
class SocketLibrary {
public:
    virtual ~SocketLibrary() = default;
    // Starts the socket library; false when it cannot be used.
    virtual bool startup() = 0;
    virtual void cleanup() = 0;
    // This computer's name; false when it cannot be had.
    virtual bool hostName(std::string &name) = 0;
};

// The socket library of this system.
SocketLibrary &systemSocketLibrary();

} // namespace vigilon
