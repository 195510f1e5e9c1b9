// SPDX-License-Identifier: MIT
// Starting alert programs and the desktop's opener on POSIX systems.
#include "app/platform/Launcher.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>
#include <utility>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#if !defined(__GLIBC__) || !__GLIBC_PREREQ(2, 34)
#error "starting programs needs posix_spawn with closefrom and chdir actions (glibc 2.34 or later)"
#endif

extern char **environ;

namespace vigilon::platform {

namespace {

// How much higher than ours an alert program runs, where that is allowed.
constexpr int kPriorityBoost = 5;
// Period of the exit check where no process descriptor can be had.
constexpr unsigned kPollMs = 200;

// Timers of the exit checks are addressed by this owner and a unique id.
const char kReaperOwner = 0;
unsigned nextReaperId = 1;

std::string currentDirectory()
{
    std::string buffer(PATH_MAX, '\0');
    if (!getcwd(buffer.data(), buffer.size()))
        return {};
    buffer.resize(buffer.find('\0'));
    return buffer;
}

std::string absolutePath(const std::string &path)
{
    if (path.empty() || path.front() == '/')
        return path;
    const std::string here = currentDirectory();
    return here.empty() ? path : here + '/' + path;
}

bool isExecutableFile(const std::string &path)
{
    struct stat st = {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// A program name as execvp would find it, made absolute; empty when it
// names nothing runnable.
std::string findOnPath(const std::string &name)
{
    if (name.empty())
        return {};
    if (name.find('/') != std::string::npos)
        return isExecutableFile(name) ? absolutePath(name) : std::string();
    std::string path;
    if (const char *value = std::getenv("PATH")) {
        path = value;
    } else {
        const std::size_t size = confstr(_CS_PATH, nullptr, 0);
        path.resize(size);
        if (size > 0) {
            confstr(_CS_PATH, path.data(), size);
            path.resize(size - 1);
        }
    }
    std::size_t from = 0;
    for (;;) {
        const std::size_t end = std::min(path.find(':', from), path.size());
        const std::string dir = path.substr(from, end - from);
        // An empty entry is the current directory, as for the shell.
        const std::string candidate = (dir.empty() ? std::string(".") : dir) + '/' + name;
        if (isExecutableFile(candidate))
            return absolutePath(candidate);
        if (end >= path.size())
            break;
        from = end + 1;
    }
    return {};
}

// Our environment with the variables given set in it (replacing ours of the
// same names), as "NAME=value" texts.
std::vector<std::string> childEnvironment(const Environment &extra)
{
    std::vector<std::string> all;
    for (char **e = environ; e && *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        if (std::none_of(extra.begin(), extra.end(), [&](const auto &pair) { return pair.first == name; }))
            all.push_back(entry);
    }
    for (const auto &[name, value] : extra)
        all.push_back(name + '=' + value);
    return all;
}

struct ChildTable {
    std::size_t running = 0;
    std::function<void()> onEnded;
};

using ExitHandler = std::function<void(int status, bool known)>;

void childEnded(const std::shared_ptr<ChildTable> &table, const ExitHandler &onExit, int status, bool known)
{
    if (table->running > 0)
        --table->running;
    if (onExit)
        onExit(status, known);
    // A copy: the callback may replace itself.
    if (const std::function<void()> onEnded = table->onEnded)
        onEnded();
}

// Collects the child if it has ended. True when it is gone: reaped here,
// or (ECHILD) taken by someone else.
bool tryReap(pid_t pid, int &status, bool &known)
{
    for (;;) {
        const pid_t got = waitpid(pid, &status, WNOHANG);
        if (got == pid) {
            known = true;
            return true;
        }
        if (got == 0)
            return false;
        if (errno == EINTR)
            continue;
        known = false;
        return true;
    }
}

void watchByTimer(EventLoop &loop, std::shared_ptr<ChildTable> table, pid_t pid, ExitHandler onExit)
{
    const unsigned id = nextReaperId++;
    EventLoop *loopPtr = &loop;
    loop.setTimer(&kReaperOwner, id, kPollMs, [loopPtr, table, pid, onExit, id] {
        int status = 0;
        bool known = false;
        if (!tryReap(pid, status, known))
            return;
        // Killing the timer may destroy this callback: keep what is needed.
        auto keepTable = table;
        auto keepHandler = onExit;
        loopPtr->killTimer(&kReaperOwner, id);
        childEnded(keepTable, keepHandler, status, known);
    });
}

void watchChild(EventLoop &loop, bool poll, std::shared_ptr<ChildTable> table, pid_t pid, ExitHandler onExit)
{
    int fd = -1;
#ifdef SYS_pidfd_open
    if (!poll)
        fd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#endif
    if (fd < 0) {
        watchByTimer(loop, std::move(table), pid, std::move(onExit));
        return;
    }
    EventLoop *loopPtr = &loop;
    loop.watchSocket(fd, EventLoop::Readable, [loopPtr, table, pid, onExit, fd](unsigned, int) {
        int status = 0;
        bool known = false;
        if (!tryReap(pid, status, known))
            return;
        auto keepTable = table;
        auto keepHandler = onExit;
        loopPtr->unwatchSocket(fd);
        close(fd);
        childEnded(keepTable, keepHandler, status, known);
    });
}

class PosixLauncher final : public Launcher {
public:
    PosixLauncher(EventLoop &loop, const LauncherOptions &options)
        : loop_(loop)
        , options_(options)
        , children_(std::make_shared<ChildTable>())
    {
    }

    // The children go on being reaped; whoever set the callback may be gone.
    ~PosixLauncher() override { children_->onEnded = nullptr; }

    LaunchOutcome startProgram(const ProgramStart &start) override { return spawn(start, {}); }

    LaunchOutcome openDocument(const std::string &target, std::function<void()> onLateFailure,
                               const Environment &environment) override
    {
        ProgramStart start;
        start.arguments = {options_.opener, target};
        start.environment = environment;
        // Told apart from a document that cannot be opened.
        if (findOnPath(options_.opener).empty()) {
            LaunchOutcome missing;
            missing.error = ENOENT;
            missing.openerMissing = true;
            return missing;
        }
        return spawn(start, [onLateFailure = std::move(onLateFailure)](int status, bool known) {
            const bool opened = !known || (WIFEXITED(status) && WEXITSTATUS(status) == 0);
            if (!opened && onLateFailure)
                onLateFailure();
        });
    }

    bool namesProgram(const std::string &word) const override { return !findOnPath(word).empty(); }

    std::size_t runningCount() const override { return children_->running; }

    void setChildEnded(std::function<void()> onEnded) override { children_->onEnded = std::move(onEnded); }

private:
    LaunchOutcome spawn(const ProgramStart &start, ExitHandler onExit)
    {
        LaunchOutcome outcome;
        if (start.arguments.empty() || start.arguments.front().empty()) {
            outcome.error = ENOENT;
            return outcome;
        }
        if (children_->running >= options_.maxRunning) {
            outcome.result = LaunchResult::TooMany;
            return outcome;
        }
        // The program is found from our own directory, not the one it starts
        // in: a relative name means what it means to the user.
        const std::string &name = start.arguments.front();
        std::string program;
        if (name.find('/') != std::string::npos) {
            program = absolutePath(name); // posix_spawn tells what is wrong with it
        } else {
            program = findOnPath(name);
            // Like Windows, the current directory is searched too, last.
            if (program.empty() && isExecutableFile(name))
                program = absolutePath(name);
        }
        if (program.empty()) {
            outcome.error = ENOENT;
            return outcome;
        }

        std::vector<char *> argv;
        argv.reserve(start.arguments.size() + 1);
        for (const std::string &argument : start.arguments)
            argv.push_back(const_cast<char *>(argument.c_str()));
        argv.push_back(nullptr);
        const std::vector<std::string> environment = childEnvironment(start.environment);
        std::vector<char *> envp;
        envp.reserve(environment.size() + 1);
        for (const std::string &entry : environment)
            envp.push_back(const_cast<char *>(entry.c_str()));
        envp.push_back(nullptr);

        // The child takes its priority from the thread that starts it, so
        // this thread runs higher for the moment of the start, where the
        // system allows that; going back down is always allowed.
        const auto thread = static_cast<id_t>(gettid());
        errno = 0;
        const int ours = getpriority(PRIO_PROCESS, thread);
        const bool raised = errno == 0 && ours > -20 &&
                            setpriority(PRIO_PROCESS, thread, std::max(-20, ours - kPriorityBoost)) == 0;

        pid_t pid = -1;
        int rc = spawnOnce(program, argv, envp, start.directory, pid);
        // A directory that cannot be entered is no reason not to start.
        if (rc != 0 && !start.directory.empty())
            rc = spawnOnce(program, argv, envp, {}, pid);
        if (raised)
            setpriority(PRIO_PROCESS, thread, ours);
        if (rc != 0) {
            outcome.error = rc;
            return outcome;
        }

        ++children_->running;
        watchChild(loop_, options_.pollForExit, children_, pid, std::move(onExit));
        outcome.result = LaunchResult::Started;
        return outcome;
    }

    static int spawnOnce(const std::string &program, const std::vector<char *> &argv, const std::vector<char *> &envp,
                         const std::string &directory, pid_t &pid)
    {
        posix_spawn_file_actions_t actions;
        posix_spawnattr_t attributes;
        if (posix_spawn_file_actions_init(&actions) != 0)
            return ENOMEM;
        if (posix_spawnattr_init(&attributes) != 0) {
            posix_spawn_file_actions_destroy(&actions);
            return ENOMEM;
        }
        int rc = 0;
        if (!directory.empty())
            rc = posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
        if (rc == 0)
            rc = posix_spawn_file_actions_addclosefrom_np(&actions, 3);
        sigset_t none;
        sigset_t all;
        sigemptyset(&none);
        sigfillset(&all);
        if (rc == 0)
            rc = posix_spawnattr_setsigmask(&attributes, &none);
        // Dispositions we changed (an ignored SIGPIPE) are not passed on.
        if (rc == 0)
            rc = posix_spawnattr_setsigdefault(&attributes, &all);
        if (rc == 0)
            rc = posix_spawnattr_setflags(&attributes,
                                          POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
        if (rc == 0)
            rc = posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), envp.data());
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
        return rc;
    }

    EventLoop &loop_;
    LauncherOptions options_;
    std::shared_ptr<ChildTable> children_;
};

} // namespace

std::unique_ptr<Launcher> makeSystemLauncher(EventLoop &loop, const LauncherOptions &options)
{
    return std::make_unique<PosixLauncher>(loop, options);
}

} // namespace vigilon::platform
