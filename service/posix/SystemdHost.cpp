// SPDX-License-Identifier: MIT
#include "service/posix/SystemdHost.h"

#include "base/TextFormat.h"
#include "store/Settings.h"
#include "service/posix/SessionEnvironment.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <syslog.h>
#include <time.h>
#include <unistd.h>

namespace vigilon::svc {

namespace {

// What the signal handlers may touch: plain descriptors and a fixed text.
std::atomic<int> g_stopFd{-1};
std::atomic<const char *> g_stopText{nullptr};
std::atomic<std::size_t> g_stopTextLength{0};

void onStopSignal(int)
{
    const int saved = errno;
    const char *text = g_stopText.load();
    if (text != nullptr)
        (void)!write(STDOUT_FILENO, text, g_stopTextLength.load());
    const int fd = g_stopFd.load();
    if (fd >= 0) {
        const char byte = 1;
        (void)!write(fd, &byte, 1);
    }
    errno = saved;
}

int syslogPriority(EventType type)
{
    switch (type) {
    case EventType::Error: return LOG_ERR;
    case EventType::Warning: return LOG_WARNING;
    case EventType::Information: break;
    }
    return LOG_INFO;
}

} // namespace

std::string ownExecutablePath()
{
    char buffer[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return {};
    return std::string(buffer, static_cast<std::size_t>(n));
}

std::string directoryOf(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

CSystemdHost::CSystemdHost(HostOptions options) : options_(std::move(options))
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        stopRead_ = fds[0];
        stopWrite_ = fds[1];
    }
    stoppingText_ = formatText(serviceString(ssid::Stopping, options_.language),
                               {serviceString(ssid::DisplayName, options_.language)});
    openlog(kServiceName, LOG_PID | (options_.debugMode ? LOG_PERROR : 0), LOG_USER);
}

CSystemdHost::~CSystemdHost()
{
    if (g_stopFd.load() == stopWrite_) {
        g_stopFd.store(-1);
        g_stopText.store(nullptr);
    }
    for (int fd : {stopRead_, stopWrite_})
        if (fd >= 0)
            close(fd);
    closelog();
}

void CSystemdHost::installSignalHandlers()
{
    g_stopFd.store(stopWrite_);
    if (options_.debugMode) {
        g_stopTextLength.store(stoppingText_.size());
        g_stopText.store(stoppingText_.c_str());
    }
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: the wait wakes up at once
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    // Closing the console of a debug run ends it like Ctrl-C, rather than
    // leaving Vigilon behind in its own process group.
    if (options_.debugMode)
        sigaction(SIGHUP, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

void CSystemdHost::requestStop()
{
    const char byte = 1;
    if (stopWrite_ >= 0)
        (void)!write(stopWrite_, &byte, 1);
}

bool CSystemdHost::waitForStop(std::uint32_t ms)
{
    if (stopRead_ < 0)
        return true;
    const std::uint64_t deadline = nowMs() + ms;
    for (;;) {
        const std::uint64_t now = nowMs();
        const int timeout = now >= deadline ? 0 : static_cast<int>(deadline - now);
        pollfd p[2] = {{stopRead_, POLLIN, 0}, {monitor_.endFd(), POLLIN, 0}};
        const int n = poll(p, p[1].fd >= 0 ? 2 : 1, timeout);
        if (n == 0)
            return false;
        if (n < 0 && errno == EINTR)
            continue; // the handler's byte is in the pipe if it was a stop
        if (n > 0 && p[0].revents == 0) {
            monitor_.running(); // reaped at once, not at the next round
            return false;
        }
        // A stop request, or a failed wait: both end the loop. The byte stays
        // in the pipe, so the request holds until the process ends.
        if (!stopReported_) {
            stopReported_ = true;
            reportServiceStatus(ServiceState::StopPending, 0, 0);
        }
        return true;
    }
}

bool CSystemdHost::startMonitor()
{
    const std::vector<std::string> env = monitorEnvironment(currentEnvironment(), userManagerEnvironment());
    return monitor_.start(options_.monitorPath, options_.monitorDir, env);
}

bool CSystemdHost::monitorRunning() { return monitor_.running(); }

void CSystemdHost::endMonitor() { monitor_.end(options_.graceMs); }

std::uint32_t CSystemdHost::takeLogonFlag()
{
    if (!options_.openRegistry)
        return 0;
    std::unique_ptr<reg::Registry> registry = options_.openRegistry();
    if (!registry)
        return 0;
    std::uint32_t value = 0;
    if (vigilon::takeLogonFlag(*registry, value) != reg::Status::Ok)
        return 0;
    return value;
}

bool CSystemdHost::notify(const std::string &message)
{
    const char *socketPath = std::getenv("NOTIFY_SOCKET");
    if (socketPath == nullptr || *socketPath == '\0')
        return true; // not started as a notifying service: nothing to tell
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::size_t length = std::strlen(socketPath);
    if ((socketPath[0] != '/' && socketPath[0] != '@') || length >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, socketPath, length);
    if (address.sun_path[0] == '@')
        address.sun_path[0] = '\0'; // abstract socket
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + length);
    const ssize_t sent =
        sendto(fd, message.data(), message.size(), MSG_NOSIGNAL, reinterpret_cast<const sockaddr *>(&address), size);
    close(fd);
    return sent == static_cast<ssize_t>(message.size());
}

bool CSystemdHost::reportServiceStatus(ServiceState state, std::uint32_t exitCode, std::uint32_t waitHintMs)
{
    (void)waitHintMs;
    if (options_.debugMode)
        return true;
    std::string message;
    switch (state) {
    case ServiceState::StartPending:
        message = "STATUS=Starting Vigilon";
        break;
    case ServiceState::Running:
        message = "READY=1\nSTATUS=Watching Vigilon";
        readySent_ = true;
        break;
    case ServiceState::StopPending:
        message = "STOPPING=1\nSTATUS=Stopping";
        break;
    case ServiceState::Stopped:
        // A notify-type service that ends before it was ready counts as
        // failed and would be restarted; a service that could not start
        // Vigilon at first is meant to stop quietly instead.
        message = std::string(readySent_ ? "" : "READY=1\n") + "STOPPING=1\nSTATUS=Stopped";
        if (exitCode != 0)
            message += "\nERRNO=" + std::to_string(exitCode);
        readySent_ = true;
        break;
    }
    const bool ok = notify(message);
    if (!ok)
        logServiceEvent(EventType::Information, ssid::SetStatusFailed);
    return ok;
}

void CSystemdHost::logServiceText(EventType type, const std::string &text)
{
    syslog(syslogPriority(type), "%s", text.c_str());
}

void CSystemdHost::logServiceEvent(EventType type, unsigned stringId)
{
    std::string text = eventRecordText(type, serviceString(stringId, options_.language), options_.language);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    syslog(syslogPriority(type), "%s", text.c_str());
}

} // namespace vigilon::svc
