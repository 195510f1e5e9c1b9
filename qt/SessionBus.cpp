// SPDX-License-Identifier: MIT
#include "qt/SessionBus.h"

#include <QCoreApplication>
#include <QPointer>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace vigilon {

namespace {

using Clock = std::chrono::steady_clock;

int leftMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// A value of a bus address, its %XX escapes undone.
std::string unescaped(const QByteArray &value)
{
    return QByteArray::fromPercentEncoding(value).toStdString();
}

enum class Reach { Answered, Silent, Unreachable, Interrupted };

// Connects to a Unix socket (abstract: in the abstract namespace) and sends
// the first line of the bus's authentication; whatever line comes back
// shows that the bus answers.
Reach reachUnixSocket(const std::string &name, bool abstract, Clock::time_point deadline, int stopFd)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::size_t offset = abstract ? 1 : 0;
    if (name.empty() || name.size() + offset >= sizeof address.sun_path)
        return Reach::Unreachable;
    std::memcpy(address.sun_path + offset, name.data(), name.size());
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + name.size() + (abstract ? 0 : 1));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return Reach::Unreachable;
    Reach reach = Reach::Unreachable;
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), length) == 0) {
        // The mechanism that needs no exchange: the user id, in hexadecimal
        // digits of its decimal text. A bus answers OK or REJECTED.
        const std::string uid = std::to_string(::getuid());
        std::string line(1, '\0');
        line += "AUTH EXTERNAL ";
        for (const char c : uid) {
            char hex[3];
            std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(c));
            line += hex;
        }
        line += "\r\n";
        reach = Reach::Silent;
        if (::send(fd, line.data(), line.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(line.size())) {
            pollfd waiting[2] = {{fd, POLLIN, 0}, {stopFd, POLLIN, 0}};
            for (;;) {
                const int ready = ::poll(waiting, stopFd >= 0 ? 2 : 1, leftMs(deadline));
                if (ready < 0 && errno == EINTR)
                    continue;
                if (ready > 0 && waiting[1].revents != 0) {
                    reach = Reach::Interrupted;
                } else if (ready > 0) {
                    char answer[64];
                    if (::recv(fd, answer, sizeof answer, 0) > 0)
                        reach = Reach::Answered;
                }
                break;
            }
        }
    } else if (errno == EAGAIN) {
        // Its queue of connections is full: nobody takes them.
        reach = Reach::Silent;
    }
    ::close(fd);
    return reach;
}

// The address the bus library takes when none is set: the session's socket
// in the runtime folder, where there is one.
QByteArray defaultAddress()
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (runtime.isEmpty())
        return {};
    const QByteArray path = runtime + "/bus";
    struct stat info{};
    if (::stat(path.constData(), &info) != 0 || !S_ISSOCK(info.st_mode) || info.st_uid != ::getuid())
        return {};
    return "unix:path=" + path.toPercentEncoding("/");
}

} // namespace

struct SessionBus::Shared {
    std::mutex mutex;
    // Null once the object has gone: the worker's outcome then goes nowhere.
    SessionBus *receiver = nullptr;
};

SessionBus::Look SessionBus::lookAt(const QByteArray &address, int timeoutMs, int stopFd)
{
    // The bus library takes the first address it can connect to, in their
    // order, and waits there for the bus's answer: so does this look.
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (const QByteArray &entry : address.split(';')) {
        const qsizetype colon = entry.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray transport = entry.left(colon);
        if (transport != "unix")
            return Look::Unknown;
        std::string path, abstract;
        for (const QByteArray &pair : entry.mid(colon + 1).split(',')) {
            const qsizetype equals = pair.indexOf('=');
            if (equals <= 0)
                continue;
            const QByteArray key = pair.left(equals);
            if (key == "path")
                path = unescaped(pair.mid(equals + 1));
            else if (key == "abstract")
                abstract = unescaped(pair.mid(equals + 1));
        }
        if (path.empty() && abstract.empty()) {
            // A folder to make sockets in is for servers; runtime=yes is the
            // session's socket as above.
            if (entry.contains("runtime=yes")) {
                const QByteArray found = defaultAddress();
                if (!found.isEmpty()) {
                    const Look look = lookAt(found, leftMs(deadline), stopFd);
                    if (look != Look::Unreachable)
                        return look;
                }
            }
            continue;
        }
        switch (reachUnixSocket(path.empty() ? abstract : path, path.empty(), deadline, stopFd)) {
        case Reach::Answered:
            return Look::Answered;
        case Reach::Interrupted:
            return Look::Interrupted;
        case Reach::Silent:
            return Look::Silent;
        case Reach::Unreachable:
            break;
        }
    }
    return Look::Unreachable;
}

namespace {
QPointer<SessionBus> theBus;

// The bus library reads the bus's address once, at the first connection
// the process makes, and keeps it. Made first to an address where nothing
// listens, that connection fails at once, and so does every later one,
// those Qt makes for its own tray and menus included: none of them can
// then wait on a bus that never answers. The environment keeps the real
// address for the programs Vigilon starts.
void keepOffTheBus()
{
    const bool had = qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS");
    const QByteArray address = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/vigilon/no-bus");
    (void)QDBusConnection::sessionBus().isConnected();
    if (had)
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    else
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
}
} // namespace

void SessionBus::begin(int stopFd)
{
    if (!theBus)
        theBus = new SessionBus(stopFd);
}

SessionBus &SessionBus::instance()
{
    begin(-1);
    return *theBus;
}

SessionBus::SessionBus(int stopFd)
    : QObject(QCoreApplication::instance())
    , shared_(std::make_shared<Shared>())
{
    shared_->receiver = this;
    const QByteArray address = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    const QByteArray looked = address.isEmpty() ? defaultAddress() : address;
    const Look look = looked.isEmpty() ? Look::Unknown : lookAt(looked, kAnswerMs, stopFd);
    if (look == Look::Silent || look == Look::Interrupted || look == Look::Unreachable) {
        if (look != Look::Unreachable)
            keepOffTheBus();
        if (look == Look::Silent)
            std::fprintf(stderr,
                         "vigilon: the session bus (%s) does not answer; desktop notifications and the "
                         "StatusNotifier tray are left out\n",
                         looked.constData());
        state_ = State::Absent;
        return;
    }
    // The bus answers, or only the library can tell: it connects on a
    // thread of its own while the loop goes on.
    std::thread([shared = shared_] {
        const bool connected = QDBusConnection::sessionBus().isConnected();
        std::lock_guard lock(shared->mutex);
        if (shared->receiver)
            QMetaObject::invokeMethod(
                shared->receiver, [receiver = shared->receiver, connected] { receiver->settle(connected); },
                Qt::QueuedConnection);
    }).detach();
}

SessionBus::~SessionBus()
{
    std::lock_guard lock(shared_->mutex);
    shared_->receiver = nullptr;
}

void SessionBus::settle(bool connected)
{
    state_ = connected ? State::Connected : State::Absent;
    emit known();
}

QDBusConnection SessionBus::connection() const
{
    // Made already by the worker: this returns it without a wait.
    return state_ == State::Connected ? QDBusConnection::sessionBus()
                                      : QDBusConnection(QStringLiteral("vigilon-no-bus"));
}

void SessionBus::whenKnown(QObject *context, std::function<void()> fn)
{
    if (state_ != State::Connecting) {
        fn();
        return;
    }
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = connect(this, &SessionBus::known, context, [connection, fn = std::move(fn)] {
        QObject::disconnect(*connection);
        fn();
    });
}

} // namespace vigilon
