// SPDX-License-Identifier: MIT
#pragma once

#include "service/ServiceStrings.h"
#include "service/posix/SystemdHost.h"

#include <functional>
#include <string>

namespace vigilon::svc {

constexpr const char *kUnitName = "vigilsvc.service";

// The user unit that runs execPath as Vigilsvc. The same text is written by
// "-install" and shipped in the package.
std::string unitText(const std::string &execPath);

// execPath as the first word of ExecStart=: quoted when it holds blanks,
// quotes or backslashes, with "%" doubled so that it is not a specifier.
std::string unitExecPath(const std::string &execPath);

// Where the user's own units live: $XDG_CONFIG_HOME/systemd/user, or
// ~/.config/systemd/user.
std::string userUnitDirectory();

// The autostart entry that starts the enabled unit on desktops without
// graphical-session.target; "-install" writes it to
// $XDG_CONFIG_HOME/autostart (or ~/.config/autostart), the package to
// /etc/xdg/autostart, both as vigilsvc.desktop.
std::string autostartText();
std::string userAutostartPath();

// The strings stored for the service as the registry keeps them for a
// Windows service: display name, description, message file, event types.
constexpr const char *kServiceKey = "System\\CurrentControlSet\\Services\\Vigilsvc";
constexpr const char *kEventSourceKey = "System\\CurrentControlSet\\Services\\EventLog\\Application\\Vigilsvc";
bool registerServiceKeys(reg::Registry &registry, const std::string &execPath, Language language);

// What the command-line actions work with.
struct ServiceContext {
    Language language = Language::English;
    std::string execPath;      // empty: this executable could not be found
    int execPathError = 0;     // errno of that failure
    std::string unitDirectory;
    std::string autostartPath;
    RegistryFactory openRegistry;
    std::function<void(const std::string &)> print;
    std::function<void(unsigned ms)> sleep;
};

// "-install", "-stop" and "-remove". Each prints its outcome through
// context.print; the exit status of the program is 0 in every case.
// Each returns false when it failed. A failed install leaves neither the
// unit nor the autostart entry behind; a successful one has enabled and
// started the service.
bool installService(const ServiceContext &context);
bool stopService(const ServiceContext &context);
bool removeService(const ServiceContext &context);

// The text of a system error: "<message> (0x<code>)"; lastErrorText() is
// that of errno.
std::string errorText(int error);
std::string lastErrorText();

} // namespace vigilon::svc
