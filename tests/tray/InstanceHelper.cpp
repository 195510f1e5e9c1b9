// SPDX-License-Identifier: MIT
// A stand-in for a Vigilon start, for the one-instance tests:
//   instance_helper hold <store> <runtime dir>   take the lock or fail (exit 3),
//                                                 then serve requests until
//                                                 stdin closes; "shown" per request
//   instance_helper wait <store> <runtime dir>   wait for the lock, say "locked"
//   instance_helper ask <store> <runtime dir>    ask the holder; exit 0 when it answered
#include "app/qt/SingleInstance.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cstdio>
#include <cstring>

#include <unistd.h>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 4)
        return 2;
    vigilon::SingleInstance instance(argv[2], argv[3]);
    const char *mode = argv[1];
    if (std::strcmp(mode, "ask") == 0)
        return instance.askToShow(3000) ? 0 : 1;
    if (std::strcmp(mode, "wait") == 0) {
        if (!instance.tryLock()) {
            std::printf("waiting\n");
            std::fflush(stdout);
            if (!instance.waitForLock())
                return 4;
        }
        std::printf("locked\n");
        std::fflush(stdout);
        return 0;
    }
    if (std::strcmp(mode, "hold") != 0)
        return 2;
    if (!instance.tryLock())
        return 3;
    if (!instance.listen([] {
            std::printf("shown\n");
            std::fflush(stdout);
        }))
        return 4;
    std::printf("ready\n");
    std::fflush(stdout);
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&app] {
        char buffer[64];
        if (read(STDIN_FILENO, buffer, sizeof buffer) <= 0)
            app.quit();
    });
    return app.exec();
}
