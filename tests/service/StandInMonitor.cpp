// SPDX-License-Identifier: MIT
// Stands in for vigilon in the service host's tests. Each start appends one
// line to $STANDIN_DIR/starts:
//   pid=<pid> ownGroup=<0|1> cwd=<dir> args=<arg>,<arg> DISPLAY=<v> NOTIFY_SOCKET=<v> WATCHDOG_USEC=<v>
// and an end by SIGTERM appends "term pid=<pid>" to $STANDIN_DIR/terms.
// $STANDIN_MODE: "wait" (default) runs until a signal, "exit" ends at once,
// "ignore-term" ignores SIGTERM.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

std::string g_dir;

void appendLine(const std::string &file, const std::string &line)
{
    const int fd = open((g_dir + "/" + file).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    const std::string text = line + "\n";
    (void)!write(fd, text.data(), text.size());
    close(fd);
}

std::string envOr(const char *name)
{
    const char *v = std::getenv(name);
    return v != nullptr ? v : "-";
}

volatile sig_atomic_t g_term = 0;
void onTerm(int) { g_term = 1; }

} // namespace

int main(int argc, char **argv)
{
    const char *dir = std::getenv("STANDIN_DIR");
    if (dir == nullptr)
        return 2;
    g_dir = dir;
    const std::string mode = envOr("STANDIN_MODE");

    std::string args;
    for (int i = 1; i < argc; ++i)
        args += (i > 1 ? "," : "") + std::string(argv[i]);
    char cwd[4096] = "?";
    (void)!getcwd(cwd, sizeof cwd);
    appendLine("starts", "pid=" + std::to_string(getpid()) + " ownGroup=" + (getpgid(0) == getpid() ? "1" : "0") +
                             " cwd=" + cwd + " args=" + args + " DISPLAY=" + envOr("DISPLAY") +
                             " NOTIFY_SOCKET=" + envOr("NOTIFY_SOCKET") + " WATCHDOG_USEC=" + envOr("WATCHDOG_USEC"));
    if (mode == "exit")
        return 0;

    if (mode == "ignore-term")
        std::signal(SIGTERM, SIG_IGN);
    else
        std::signal(SIGTERM, onTerm);
    // Bounded: a stand-in left behind by a failed test goes away by itself.
    for (int i = 0; i < 1200 && g_term == 0; ++i)
        usleep(100000);
    if (g_term != 0)
        appendLine("terms", "term pid=" + std::to_string(getpid()));
    return 0;
}
