// SPDX-License-Identifier: MIT
#pragma once

namespace vigilon::svc {

enum class ServiceCommand {
    Install,
    Stop,
    Remove,
    Debug,
    // No keyword: print the usage lines and run as the service if the
    // service manager started us.
    Service,
};

// The action selected by the first argument: "-" or "/" followed by exactly
// "install", "stop", "remove" or "debug" (case-sensitive); anything else,
// or no argument, is Service. Further arguments are ignored.
ServiceCommand parseServiceCommand(int argc, const char *const *argv);

} // namespace vigilon::svc
