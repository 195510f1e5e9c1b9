// SPDX-License-Identifier: MIT
#include "service/posix/UserUnit.h"

#include "base/TextFormat.h"
#include "service/posix/Process.h"
#include "service/posix/SessionEnvironment.h"
#include "service/posix/UnitTemplate.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vigilon::svc {

namespace {

std::string say(const ServiceContext &c, unsigned id, std::initializer_list<std::string> args)
{
    return formatText(serviceString(id, c.language), args);
}

// The reason a systemctl call failed, in the manner of a system error text.
std::string failureText(const ProgramResult &r)
{
    if (!r.started)
        return errorText(r.startError);
    if (r.timedOut)
        return errorText(ETIMEDOUT);
    std::string text = r.errors.empty() ? r.output : r.errors;
    text = text.substr(0, text.find('\n'));
    if (text.empty())
        text = "systemctl failed";
    char code[32];
    std::snprintf(code, sizeof code, " (0x%x)", static_cast<unsigned>(r.exitStatus));
    return text + code;
}

ProgramResult systemctl(std::initializer_list<std::string> args)
{
    std::vector<std::string> argv{systemctlProgram(), "--user"};
    argv.insert(argv.end(), args);
    return runProgram(argv);
}

bool makeDirectories(const std::string &path)
{
    std::string partial;
    std::size_t pos = 0;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        partial = path.substr(0, pos);
        if (partial.empty())
            continue;
        if (mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST)
            return false;
    }
    return true;
}

bool writeFileAtomically(const std::string &path, const std::string &text)
{
    const std::string temp = path + ".new";
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int saved = errno;
            close(fd);
            unlink(temp.c_str());
            errno = saved;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    if (fsync(fd) != 0 || close(fd) != 0 || rename(temp.c_str(), path.c_str()) != 0) {
        const int saved = errno;
        unlink(temp.c_str());
        errno = saved;
        return false;
    }
    return true;
}

struct UnitState {
    bool known = false;       // systemctl answered
    std::string failure;      // its failure text otherwise
    std::string loadState;
    std::string activeState;
};

UnitState queryUnit()
{
    UnitState s;
    const ProgramResult r = systemctl({"show", "--property=LoadState,ActiveState", kUnitName});
    if (!r.ok()) {
        s.failure = failureText(r);
        return s;
    }
    s.known = true;
    for (const auto &[name, value] : parseShowEnvironment(r.output)) {
        if (name == "LoadState")
            s.loadState = value;
        else if (name == "ActiveState")
            s.activeState = value;
    }
    return s;
}

bool isRunningState(const std::string &s) { return s == "active" || s == "activating" || s == "reloading"; }

// Opens the unit, stops it if it runs and prints the progress; false when
// the unit cannot be reached at all (the reason was printed).
// False when the unit cannot be looked at or is not there; stopped tells
// whether the service has not been left running.
bool stopIfRunning(const ServiceContext &c, bool &stopped)
{
    stopped = false;
    const std::string display = serviceString(ssid::DisplayName, c.language);
    UnitState state = queryUnit();
    if (!state.known) {
        c.print(say(c, ssid::OpenManagerFailed, {state.failure}));
        return false;
    }
    if (state.loadState == "not-found" || state.loadState.empty()) {
        c.print(say(c, ssid::OpenServiceFailed, {std::string("Unit ") + kUnitName + " not found"}));
        return false;
    }
    stopped = true;
    if (!isRunningState(state.activeState))
        return true; // nothing runs, nothing to say
    if (!systemctl({"stop", "--no-block", kUnitName}).ok()) {
        stopped = false;
        c.print(say(c, ssid::StopFailed, {display}));
        return true;
    }
    c.print(say(c, ssid::Stopping, {display}));
    c.sleep(1000);
    // systemd ends a stop that hangs after the unit's stop timeout, so this
    // loop ends by itself; the bound only guards against a stuck manager.
    for (int i = 0; i < 300; ++i) {
        state = queryUnit();
        if (!state.known || state.activeState != "deactivating")
            break;
        c.print(".");
        c.sleep(1000);
    }
    stopped = state.known && (state.activeState == "inactive" || state.activeState == "failed");
    c.print(say(c, stopped ? ssid::StopDone : ssid::StopFailed, {display}));
    return true;
}

} // namespace

std::string errorText(int error)
{
    char code[32];
    std::snprintf(code, sizeof code, " (0x%x)", static_cast<unsigned>(error));
    return std::string(std::strerror(error)) + code;
}

std::string lastErrorText() { return errorText(errno); }

std::string unitExecPath(const std::string &execPath)
{
    // The program path takes specifiers ("%") but no variables, so "$"
    // stays as it is.
    std::string out;
    bool quote = false;
    for (char ch : execPath) {
        if (ch == '%') {
            out += "%%";
        } else if (ch == '\\' || ch == '"') {
            out += '\\';
            out += ch;
            quote = true;
        } else {
            if (ch == ' ' || ch == '\t' || ch == '\'' || ch == ';')
                quote = true;
            out += ch;
        }
    }
    return quote ? "\"" + out + "\"" : out;
}

std::string unitText(const std::string &execPath)
{
    std::string text = kUnitTemplate;
    const std::string place = "@VIGILSVC_EXEC@";
    const std::size_t at = text.find(place);
    if (at != std::string::npos)
        text.replace(at, place.size(), unitExecPath(execPath));
    return text;
}

namespace {

std::string userConfigDirectory()
{
    const char *config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/')
        return config;
    const char *home = std::getenv("HOME");
    std::string base = home != nullptr && home[0] == '/' ? home : "";
    if (base.empty()) {
        if (const passwd *pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr)
            base = pw->pw_dir;
    }
    return base + "/.config";
}

} // namespace

std::string userUnitDirectory() { return userConfigDirectory() + "/systemd/user"; }

std::string userAutostartPath() { return userConfigDirectory() + "/autostart/vigilsvc.desktop"; }

std::string autostartText() { return kAutostartEntry; }

bool registerServiceKeys(reg::Registry &registry, const std::string &execPath, Language language)
{
    const auto openOrCreate = [&registry](const char *path) {
        std::unique_ptr<reg::Key> key = registry.openKey(path, reg::KeyQueryValue | reg::KeySetValue);
        if (!key)
            key = registry.createKey(path);
        return key;
    };
    const reg::Status status = registry.transact([&]() {
        std::unique_ptr<reg::Key> service = openOrCreate(kServiceKey);
        if (!service)
            return reg::Status::IoError;
        reg::Status s = service->setValue("DisplayName", reg::RegSz,
                                          reg::stringBytes(serviceString(ssid::DisplayName, language)));
        if (s == reg::Status::Ok)
            s = service->setValue("Description", reg::RegSz,
                                  reg::stringBytes(serviceString(ssid::Description, language)));
        if (s != reg::Status::Ok)
            return s;
        std::unique_ptr<reg::Key> source = openOrCreate(kEventSourceKey);
        if (!source)
            return reg::Status::IoError;
        s = source->setValue("EventMessageFile", reg::RegSz, reg::stringBytes(execPath));
        if (s == reg::Status::Ok)
            s = source->setValue("TypesSupported", reg::RegDword, reg::dwordBytes(7));
        return s;
    });
    return status == reg::Status::Ok;
}

bool installService(const ServiceContext &c)
{
    const std::string display = serviceString(ssid::DisplayName, c.language);
    if (c.execPath.empty()) {
        c.print(say(c, ssid::InstallFailed, {display, errorText(c.execPathError)}));
        return false;
    }
    std::unique_ptr<reg::Registry> registry = c.openRegistry ? c.openRegistry() : nullptr;
    if (!registry || !registerServiceKeys(*registry, c.execPath, c.language)) {
        c.print(say(c, ssid::InstallFailed, {display, "Registry error"}));
        return false;
    }
    registry.reset();

    const std::string unitPath = c.unitDirectory + "/" + kUnitName;
    bool enabled = false;
    bool autostartWritten = false;
    // Says why and takes back what this install made.
    const auto fail = [&](unsigned id, const std::string &why) {
        c.print(say(c, id, {why}));
        if (enabled)
            systemctl({"disable", kUnitName});
        unlink(unitPath.c_str());
        if (autostartWritten)
            unlink(c.autostartPath.c_str());
        if (id != ssid::OpenManagerFailed)
            systemctl({"daemon-reload"});
        return false;
    };
    if (!makeDirectories(c.unitDirectory) || !writeFileAtomically(unitPath, unitText(c.execPath))) {
        c.print(say(c, ssid::CreateServiceFailed, {lastErrorText()}));
        return false;
    }
    if (const ProgramResult r = systemctl({"daemon-reload"}); !r.ok())
        return fail(ssid::OpenManagerFailed, failureText(r));
    if (const ProgramResult r = systemctl({"enable", kUnitName}); !r.ok())
        return fail(ssid::CreateServiceFailed, failureText(r));
    enabled = true;
    if (!c.autostartPath.empty()) {
        if (!makeDirectories(directoryOf(c.autostartPath)) || !writeFileAtomically(c.autostartPath, autostartText()))
            return fail(ssid::CreateServiceFailed, lastErrorText());
        autostartWritten = true;
    }
    if (const ProgramResult r = systemctl({"start", kUnitName}); !r.ok())
        return fail(ssid::CreateServiceFailed, failureText(r));
    c.print(say(c, ssid::Installed, {display}));
    return true;
}

bool stopService(const ServiceContext &c)
{
    bool stopped = false;
    return stopIfRunning(c, stopped) && stopped;
}

bool removeService(const ServiceContext &c)
{
    bool stopped = false;
    if (!stopIfRunning(c, stopped))
        return false;
    const std::string display = serviceString(ssid::DisplayName, c.language);
    if (const ProgramResult r = systemctl({"disable", kUnitName}); !r.ok()) {
        c.print(say(c, ssid::DeleteServiceFailed, {failureText(r)}));
        return false;
    }
    const std::string unitPath = c.unitDirectory + "/" + kUnitName;
    for (const std::string &file : {unitPath, c.autostartPath}) {
        if (!file.empty() && unlink(file.c_str()) != 0 && errno != ENOENT) {
            c.print(say(c, ssid::DeleteServiceFailed, {lastErrorText()}));
            return false;
        }
    }
    if (const ProgramResult r = systemctl({"daemon-reload"}); !r.ok()) {
        c.print(say(c, ssid::DeleteServiceFailed, {failureText(r)}));
        return false;
    }
    c.print(say(c, ssid::Removed, {display}));
    return true;
}

} // namespace vigilon::svc
