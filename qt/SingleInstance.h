// SPDX-License-Identifier: MIT
#pragma once

#include "app/ProgramHost.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vigilon {

// One Vigilon per configuration store. The first instance on a store holds
// an exclusive lock on a file in $XDG_RUNTIME_DIR named after the store's
// path (the kernel drops it when the holder dies, however it dies; the name
// and the folder come from store/InstanceLock.h, which vigilon-reg
// reads too) and listens on a local socket named like it. A later instance without
// "-service" asks the first to show its main dialog and ends; a later one
// with "-service" waits for the lock and then monitors.
//
// The holder takes every connection at once and closes each once answered
// or after ServeMs; it keeps at most MaxClients open, and a new one pushes
// out the oldest, so that idle connections never hold up a request.
class SingleInstance final : public QObject, public InstanceGuard {
    Q_OBJECT
public:
    // runtimeDir: where the lock and the socket live; empty means
    // $XDG_RUNTIME_DIR, or a private folder under the temporary directory.
    // $XDG_RUNTIME_DIR only when it is our own folder, closed to others
    // (mode 0700).
    explicit SingleInstance(const std::string &storePath, const std::string &runtimeDir = {});

    static constexpr int ServeMs = 1000;
    static constexpr int MaxClients = 8;
    ~SingleInstance() override;

    // Takes the lock if nobody holds it. False when another instance does, or
    // when the lock file cannot be made (error() tells).
    bool tryLock();
    // Waits as long as it takes for the lock. False when the lock file
    // cannot be made (error() tells), or when the stop descriptor became
    // readable first (error() empty).
    bool waitForLock();
    // A descriptor that becomes readable when the program is asked to stop
    // (a stop signal): it ends waitForLock()'s wait. Looked at, never read.
    void setStopDescriptor(int fd) { stopFd_ = fd; }
    // How often a wait that can be stopped tries the lock again.
    static constexpr int RetryMs = 200;
    bool locked() const { return fd_ >= 0 && locked_; }

    // Serves later starts: onShow runs on the event loop for each request.
    // Call once the lock is held.
    bool listen(std::function<void()> onShow);

    // Asks the holder to show its main dialog; true when it answered within
    // timeoutMs (it may still be starting, so connecting is retried).
    bool askToShow(int timeoutMs = 5000);

    const QString &lockPath() const { return lockPath_; }
    const QString &socketPath() const { return socketPath_; }
    const std::string &error() const override { return error_; }

    // The guard as the program host uses it.
    bool tryTake() override { return tryLock(); }
    bool waitToTake() override { return waitForLock(); }
    bool askHolderToShow() override { return askToShow(); }
    bool serve(std::function<void()> onShow) override { return locked() && listen(std::move(onShow)); }
    const char *scope() const override { return "on this configuration store"; }

    // The name both are made from: instanceKey(), a digest of the store's
    // absolute path.
    static QString keyFor(const std::string &storePath);

private:
    bool openLockFile();
    bool lock(bool wait);
    void onConnection();
    // Answers a connection once its request is in.
    void serveClient(QLocalSocket *client);
    void finishClient(QLocalSocket *client);

    QString lockPath_;
    QString socketPath_;
    int fd_ = -1;
    int stopFd_ = -1;
    bool locked_ = false;
    std::string error_;
    std::unique_ptr<QLocalServer> server_;
    std::function<void()> onShow_;
    // Open connections, oldest first.
    std::vector<QLocalSocket *> clients_;
};

} // namespace vigilon
