// SPDX-License-Identifier: MIT
#include "qt/SingleInstance.h"

#include "store/InstanceLock.h"

#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QFile>
#include <QThread>

#include <algorithm>
#include <utility>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vigilon {

namespace {

constexpr char kShowRequest[] = "show\n";
constexpr char kShowAnswer[] = "ok\n";

} // namespace

QString SingleInstance::keyFor(const std::string &storePath)
{
    // Shared with vigilon-reg, which looks whether a Vigilon holds the store.
    return QString::fromStdString(instanceKey(storePath));
}

SingleInstance::SingleInstance(const std::string &storePath, const std::string &runtimeDir)
{
    QString dir = QString::fromStdString(runtimeDir);
    if (dir.isEmpty())
        dir = QString::fromStdString(instanceRuntimeDir(error_));
    if (!dir.isEmpty()) {
        const QString key = keyFor(storePath);
        lockPath_ = dir + QLatin1Char('/') + key + QStringLiteral(".lock");
        socketPath_ = dir + QLatin1Char('/') + key + QStringLiteral(".sock");
    }
}

SingleInstance::~SingleInstance()
{
    // The open connections go with the server, unheard.
    for (QLocalSocket *client : clients_)
        disconnect(client, nullptr, this, nullptr);
    clients_.clear();
    server_.reset();
    if (fd_ >= 0)
        ::close(fd_); // drops the lock; the file stays for the next one
}

bool SingleInstance::openLockFile()
{
    if (fd_ >= 0)
        return true;
    if (lockPath_.isEmpty()) {
        if (error_.empty())
            error_ = "no folder for the instance lock";
        return false;
    }
    const QByteArray path = QFile::encodeName(lockPath_);
    fd_ = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ < 0) {
        error_ = std::string("cannot open ") + path.constData() + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool SingleInstance::lock(bool wait)
{
    if (locked())
        return true;
    if (!openLockFile())
        return false;
    for (;;) {
        if (flock(fd_, LOCK_EX | (wait ? 0 : LOCK_NB)) == 0) {
            locked_ = true;
            return true;
        }
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK)
            error_ = std::string("cannot lock ") + QFile::encodeName(lockPath_).constData() + ": " +
                     std::strerror(errno);
        return false;
    }
}

bool SingleInstance::tryLock()
{
    return lock(false);
}

bool SingleInstance::waitForLock()
{
    if (stopFd_ < 0)
        return lock(true);
    // A wait that a stop request ends: the lock is tried again and again,
    // and between tries the stop descriptor is watched.
    for (;;) {
        if (lock(false))
            return true;
        if (!error_.empty())
            return false;
        pollfd stop{stopFd_, POLLIN, 0};
        const int ready = ::poll(&stop, 1, RetryMs);
        if (ready > 0)
            return false;
        if (ready < 0 && errno != EINTR)
            return lock(true);
    }
}

bool SingleInstance::listen(std::function<void()> onShow)
{
    if (!locked())
        return false;
    onShow_ = std::move(onShow);
    // Holding the lock, a socket left behind by a holder that died is ours
    // to remove.
    QLocalServer::removeServer(socketPath_);
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    // Beyond these the server accepts nothing until one is taken.
    server_->setMaxPendingConnections(4);
    connect(server_.get(), &QLocalServer::newConnection, this, &SingleInstance::onConnection);
    if (!server_->listen(socketPath_)) {
        error_ = "cannot listen on " + socketPath_.toStdString() + ": " + server_->errorString().toStdString();
        server_.reset();
        return false;
    }
    return true;
}

void SingleInstance::onConnection()
{
    while (server_) {
        QLocalSocket *client = server_->nextPendingConnection();
        if (!client)
            return;
        // The oldest has had its chance: a request sends its line at once.
        if (clients_.size() >= MaxClients)
            finishClient(clients_.front());
        clients_.push_back(client);
        QTimer::singleShot(ServeMs, client, [this, client] { finishClient(client); });
        connect(client, &QLocalSocket::disconnected, this, [this, client] { serveClient(client); });
        connect(client, &QLocalSocket::readyRead, this, [this, client] { serveClient(client); });
        // A request sends its line right after connecting, so it is mostly
        // there already: served in this pass, when a look that does not wait
        // finds it, rather than a pass or two later.
        if (client->bytesAvailable() > 0 || client->waitForReadyRead(0))
            serveClient(client);
        else
            // What it sent while it waited in the queue may have been read already.
            QMetaObject::invokeMethod(
                client, [this, client] { serveClient(client); }, Qt::QueuedConnection);
    }
}

void SingleInstance::serveClient(QLocalSocket *client)
{
    if (std::find(clients_.begin(), clients_.end(), client) == clients_.end())
        return;
    if (!client->canReadLine()) {
        if (client->bytesAvailable() > 64 || client->state() != QLocalSocket::ConnectedState)
            finishClient(client);
        return;
    }
    const bool show = client->readLine(64) == kShowRequest;
    if (show) {
        client->write(kShowAnswer);
        client->flush();
    }
    finishClient(client);
    if (show && onShow_)
        onShow_();
}

void SingleInstance::finishClient(QLocalSocket *client)
{
    const auto it = std::find(clients_.begin(), clients_.end(), client);
    if (it == clients_.end())
        return;
    clients_.erase(it);
    disconnect(client, nullptr, this, nullptr);
    // The answer, if any, has been flushed: nothing is left to wait for.
    client->abort();
    client->deleteLater();
}

bool SingleInstance::askToShow(int timeoutMs)
{
    if (socketPath_.isEmpty())
        return false;
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.connectToServer(socketPath_);
        if (socket.waitForConnected(static_cast<int>(std::min<qint64>(deadline.remainingTime(), 1000)))) {
            socket.write(kShowRequest);
            socket.flush();
            while (!socket.canReadLine() && !deadline.hasExpired() &&
                   socket.waitForReadyRead(static_cast<int>(std::min<qint64>(deadline.remainingTime(), 1000)))) {
            }
            if (socket.canReadLine() && socket.readLine(16) == kShowAnswer)
                return true;
        }
        // The holder may not be listening yet.
        QThread::msleep(100);
    }
    return false;
}

} // namespace vigilon
