// SPDX-License-Identifier: MIT
// The service host on POSIX: vigilsvc beside vigilon, run as a child whose
// output is read on the event loop; installed while its user unit is there.
#include "app/Autostart.h"

#include "base/EventLoop.h"
#include "base/StringTable.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace vigilon {

namespace {
constexpr std::size_t kMostOutput = 16384;
constexpr unsigned kReapTimer = 1;
constexpr unsigned kReapMs = 50;

// Where "vigilsvc -install" puts the user unit: $XDG_CONFIG_HOME/systemd/user
// or ~/.config/systemd/user.
std::string userUnitFile()
{
    std::string base;
    if (const char *config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/') {
        base = config;
    } else {
        const char *home = std::getenv("HOME");
        base = home && home[0] == '/' ? home : "";
        if (base.empty())
            if (const passwd *pw = getpwuid(getuid()); pw && pw->pw_dir)
                base = pw->pw_dir;
        base += "/.config";
    }
    return base + "/systemd/user/vigilsvc.service";
}

// Whether a systemd user manager runs for this user: it listens on
// $XDG_RUNTIME_DIR/systemd/private (/run/user/UID without the variable),
// where "systemctl --user" reaches it.
bool userManagerRuns()
{
    std::string runtime;
    if (const char *given = std::getenv("XDG_RUNTIME_DIR"); given && given[0] == '/')
        runtime = given;
    else
        runtime = "/run/user/" + std::to_string(getuid());
    struct stat info {};
    return stat((runtime + "/systemd/private").c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
}

std::string besideThisProgram(const char *name)
{
    if (const char *given = std::getenv("VIGILON_VIGILSVC"); given && *given)
        return given;
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return name;
    std::string self(path, static_cast<std::size_t>(length));
    const std::size_t slash = self.rfind('/');
    return slash == std::string::npos ? name : self.substr(0, slash + 1) + name;
}

class PosixServiceHostSetup final : public ServiceHostSetup {
public:
    explicit PosixServiceHostSetup(EventLoop &loop) : loop_(loop), program_(besideThisProgram("vigilsvc")) {}
    ~PosixServiceHostSetup() override
    {
        loop_.killTimers(this);
        closeOutput();
        // A child still running is collected by nobody but init once we end.
        if (pid_ > 0)
            waitpid(pid_, nullptr, WNOHANG);
    }

    std::string programName() const override { return program_; }

    std::string unavailable() const override
    {
        return userManagerRuns() ? std::string() : loadString(sid::AutostartNoUserManager);
    }

    bool installed() override
    {
        struct stat info {};
        return stat(userUnitFile().c_str(), &info) == 0;
    }

    bool run(bool install, std::function<void(const Run &)> done) override
    {
        if (pid_ > 0)
            return false;
        done_ = std::move(done);
        output_.clear();
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) {
            fail(errno);
            return true;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
        const std::string keyword = install ? "-install" : "-remove";
        char *argv[] = {program_.data(), const_cast<char *>(keyword.c_str()), nullptr};
        pid_t pid = -1;
        const int error = posix_spawn(&pid, program_.c_str(), &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        if (error != 0) {
            close(fds[0]);
            fail(error);
            return true;
        }
        pid_ = pid;
        output_fd_ = fds[0];
        fcntl(output_fd_, F_SETFL, fcntl(output_fd_, F_GETFL) | O_NONBLOCK);
        loop_.watchSocket(output_fd_, EventLoop::Readable, [this](unsigned, int) { readOutput(); });
        return true;
    }

private:
    void fail(int error)
    {
        Run run;
        run.error = std::strerror(error);
        finish(run);
    }

    // Told from the loop, never from inside run().
    void finish(const Run &run)
    {
        tellLater(loop_, done_, run);
    }

    void closeOutput()
    {
        if (output_fd_ < 0)
            return;
        loop_.unwatchSocket(output_fd_);
        close(output_fd_);
        output_fd_ = -1;
    }

    void readOutput()
    {
        char buffer[4096];
        for (;;) {
            const ssize_t got = read(output_fd_, buffer, sizeof buffer);
            if (got > 0) {
                if (output_.size() < kMostOutput)
                    output_.append(buffer, static_cast<std::size_t>(got));
                continue;
            }
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                return;
            break;
        }
        // The end of its output: collect the child once it has ended.
        closeOutput();
        reap();
    }

    void reap()
    {
        int status = 0;
        const pid_t ended = waitpid(pid_, &status, WNOHANG);
        if (ended == 0) {
            loop_.setTimer(this, kReapTimer, kReapMs, [this] { reap(); });
            return;
        }
        loop_.killTimer(this, kReapTimer);
        pid_ = -1;
        Run run;
        run.ran = true;
        run.output = output_;
        finish(run);
    }

    EventLoop &loop_;
    std::string program_;
    std::function<void(const Run &)> done_;
    std::string output_;
    int output_fd_ = -1;
    pid_t pid_ = -1;
};
} // namespace

std::unique_ptr<ServiceHostSetup> makeServiceHostSetup(EventLoop &loop)
{
    return std::make_unique<PosixServiceHostSetup>(loop);
}

} // namespace vigilon
