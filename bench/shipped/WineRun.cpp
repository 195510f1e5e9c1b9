// SPDX-License-Identifier: MIT
#include "bench/shipped/WineRun.h"

#include "store/Settings.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <ftw.h>
#include <poll.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace vigilon::shipped {

namespace {

std::uint64_t monoMillis()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::uint64_t(ts.tv_sec) * 1000u + std::uint64_t(ts.tv_nsec) / 1000000u;
}

std::string installed(const std::vector<std::string> &candidates)
{
    for (const std::string &name : candidates) {
        if (name.find('/') != std::string::npos) {
            if (access(name.c_str(), X_OK) == 0)
                return name;
            continue;
        }
        const char *path = std::getenv("PATH");
        std::string list = path ? path : "/usr/bin:/bin";
        for (std::size_t at = 0; at <= list.size();) {
            const std::size_t end = std::min(list.find(':', at), list.size());
            const std::string full = list.substr(at, end - at) + "/" + name;
            if (end > at && access(full.c_str(), X_OK) == 0)
                return full;
            at = end + 1;
        }
    }
    return {};
}

std::vector<char *> pointers(std::vector<std::string> &strings)
{
    std::vector<char *> out;
    for (std::string &s : strings)
        out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

// Waits up to timeoutMs for a child to end: its status, -1 if it did not.
int waitChild(pid_t pid, unsigned timeoutMs)
{
    const std::uint64_t end = monoMillis() + timeoutMs;
    for (;;) {
        int status = 0;
        const pid_t got = waitpid(pid, &status, WNOHANG);
        if (got == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (got < 0 || monoMillis() > end)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// Wine's processes all on one core: each of the program's socket calls and
// window messages is a request to the server and back, and a wake-up on the
// same core costs a fraction of one across cores (on the build machine, a
// third), which the scheduler would otherwise choose now one way, now the
// other.
void keepToCore(int cpu)
{
    if (cpu < 0)
        return;
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    sched_setaffinity(0, sizeof set, &set);
}

// The last core this process may run on, -1 when it has only one.
int lastCore()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) != 0 || CPU_COUNT(&set) < 2)
        return -1;
    int last = -1;
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
        if (CPU_ISSET(cpu, &set))
            last = cpu;
    return last;
}

void endChild(pid_t &pid, int signal, unsigned graceMs)
{
    if (pid <= 0)
        return;
    if (signal != 0)
        kill(pid, signal);
    if (waitChild(pid, graceMs) < 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    pid = -1;
}

int removeOne(const char *path, const struct stat *, int, FTW *)
{
    return ::remove(path);
}

void removeTree(const std::string &path)
{
    nftw(path.c_str(), removeOne, 16, FTW_DEPTH | FTW_PHYS);
}

// Whether the process has made a socket yet (the server's, to which every
// Wine program of the prefix connects).
bool hasSocket(pid_t pid)
{
    bool found = false;
    const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
    if (DIR *dir = opendir(fds.c_str())) {
        while (dirent *entry = readdir(dir)) {
            char target[64] = {};
            if (readlink((fds + "/" + entry->d_name).c_str(), target, sizeof target - 1) > 0 &&
                std::strncmp(target, "socket:", 7) == 0)
                found = true;
        }
        closedir(dir);
    }
    return found;
}

// UTF-8 to the registry's UTF-16, little-endian, with its NUL.
std::vector<std::uint8_t> utf16Bytes(const std::string &text)
{
    std::vector<std::uint8_t> out;
    const auto unit = [&out](std::uint32_t u) {
        out.push_back(std::uint8_t(u & 0xff));
        out.push_back(std::uint8_t(u >> 8));
    };
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const int length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
        std::uint32_t code = length == 1 ? c : c & (0x3f >> (length - 1));
        for (int k = 1; k < length && i + std::size_t(k) < text.size(); ++k)
            code = (code << 6) | (static_cast<unsigned char>(text[i + std::size_t(k)]) & 0x3f);
        i += std::size_t(length);
        if (code >= 0x10000) {
            code -= 0x10000;
            unit(0xd800 | (code >> 10));
            unit(0xdc00 | (code & 0x3ff));
        } else {
            unit(code);
        }
    }
    unit(0);
    return out;
}

void appendHex(std::string &out, const std::vector<std::uint8_t> &bytes)
{
    char two[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(two, sizeof two, "%02x", bytes[i]);
        if (i != 0)
            out += ',';
        out += two;
    }
}

// The keys below root and their values, in the form regedit imports.
// Strings go as hexadecimal UTF-16, so that every text comes out exactly,
// and the file's own text is ASCII.
void appendKeys(reg::Registry &store, const std::string &root, std::string &out)
{
    for (const std::string &path : store.subkeys(root)) {
        if (std::unique_ptr<reg::Key> key = store.openKey(path, reg::KeyQueryValue)) {
            out += "[HKEY_LOCAL_MACHINE\\" + path + "]\r\n";
            for (const std::string &name : key->valueNames()) {
                reg::Value value;
                if (key->queryValue(name, value) != reg::Status::Ok)
                    continue;
                out += '"';
                for (const char c : name)
                    out += (c == '"' || c == '\\') ? std::string{'\\', c} : std::string{c};
                out += "\"=";
                std::uint32_t dword = 0;
                if (value.type == reg::RegDword && reg::dwordFromValue(value, dword)) {
                    char text[16];
                    std::snprintf(text, sizeof text, "dword:%08x", dword);
                    out += text;
                } else if (value.type == reg::RegSz || value.type == reg::RegExpandSz) {
                    out += value.type == reg::RegSz ? "hex(1):" : "hex(2):";
                    appendHex(out, utf16Bytes(reg::stringFromValue(value)));
                } else {
                    out += "hex(" + std::to_string(value.type) + "):";
                    appendHex(out, value.data);
                }
                out += "\r\n";
            }
            out += "\r\n";
        }
        appendKeys(store, path, out);
    }
}

} // namespace

std::unique_ptr<WineSession> WineSession::start(const std::string &program, const std::string &asker,
                                                std::string &error)
{
    std::unique_ptr<WineSession> session(new WineSession);
    WineSession &s = *session;
    s.wine_ = installed({"/usr/lib/wine/wine64", "wine64", "wine"});
    if (s.wine_.empty()) {
        error = "wine is not installed";
        return nullptr;
    }
    const std::string beside = s.wine_.substr(0, s.wine_.rfind('/')) + "/wineserver";
    s.wineserver_ = installed({beside, "wineserver"});
    const std::string xvfb = installed({"Xvfb"});
    if (s.wineserver_.empty() || xvfb.empty()) {
        error = s.wineserver_.empty() ? "wineserver is not installed" : "Xvfb is not installed";
        return nullptr;
    }
    for (const std::string &file : {program, asker}) {
        if (access(file.c_str(), R_OK) != 0) {
            error = file + " is not there (build it with the mingw preset)";
            return nullptr;
        }
    }
    char prefixTemplate[] = "/tmp/vigilon-shipped-wine-XXXXXX";
    if (!mkdtemp(prefixTemplate)) {
        error = std::string("no prefix folder: ") + std::strerror(errno);
        return nullptr;
    }
    s.prefix_ = prefixTemplate;
    s.core_ = lastCore();
    s.folder_ = s.prefix_ + "/drive_c/vigilon";

    // An X server of the run's own; it names its display on a pipe.
    int displayPipe[2];
    if (pipe(displayPipe) != 0) {
        error = "no pipe";
        return nullptr;
    }
    s.xvfb_ = fork();
    if (s.xvfb_ == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        close(displayPipe[0]);
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        const std::string fd = std::to_string(displayPipe[1]);
        execl(xvfb.c_str(), xvfb.c_str(), "-displayfd", fd.c_str(), "-screen", "0", "640x480x24", "-nolisten", "tcp",
              static_cast<char *>(nullptr));
        _exit(127);
    }
    close(displayPipe[1]);
    // The whole line: Xvfb ends when the rest of it cannot be written.
    std::string display, number;
    const std::uint64_t displayBy = monoMillis() + 20000;
    for (char c = 0; c != '\n' && monoMillis() < displayBy;) {
        pollfd p{displayPipe[0], POLLIN, 0};
        if (poll(&p, 1, 1000) > 0 && read(displayPipe[0], &c, 1) != 1)
            break;
        if (c >= '0' && c <= '9')
            number += c;
    }
    if (!number.empty() && number.size() < 6)
        display = ":" + number;
    close(displayPipe[0]);
    if (std::getenv("SHIPPED_BENCH_TRACE"))
        std::fprintf(stderr, "X display %s\n", display.c_str());
    if (display.empty()) {
        error = "Xvfb did not start";
        return nullptr;
    }

    // Wine's environment: the prefix, quiet, without the .NET and HTML
    // installers a new prefix would offer, on our display.
    for (char **e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        if (name != "WINEPREFIX" && name != "WINEDEBUG" && name != "WINEDLLOVERRIDES" && name != "DISPLAY" &&
            name != "WAYLAND_DISPLAY")
            s.environment_.push_back(entry);
    }
    s.environment_.push_back("WINEPREFIX=" + s.prefix_);
    s.environment_.push_back("WINEDEBUG=-all");
    s.environment_.push_back("WINEDLLOVERRIDES=mscoree,mshtml,wineusb.sys=");
    s.environment_.push_back("DISPLAY=" + display);
    s.envp_ = pointers(s.environment_);

    // One server for the whole run, which we start and end: a server that
    // ends between two programs may still be saving the registry while the
    // next one reads it.
    // SHIPPED_BENCH_WINE_TRACE=FILE: the server writes every request it
    // serves into FILE, which tells where a check's time goes.
    const char *serverTrace = std::getenv("SHIPPED_BENCH_WINE_TRACE");
    int traceFd = -1;
    if (serverTrace && *serverTrace)
        traceFd = open(serverTrace, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    s.server_ = traceFd >= 0 ? s.spawn({s.wineserver_, "-f", "-p", "-d1"}, -1, -1, traceFd)
                             : s.spawn({s.wineserver_, "-f", "-p"}, -1, -1);
    if (traceFd >= 0)
        ::close(traceFd);
    const std::uint64_t serverBy = monoMillis() + 20000;
    while (!hasSocket(s.server_) && monoMillis() < serverBy && waitpid(s.server_, nullptr, WNOHANG) == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!hasSocket(s.server_)) {
        error = "wineserver did not start";
        return nullptr;
    }
    // The prefix is made by the first program.
    if (!s.runWine({"cmd", "/c", "exit"}, 180000)) {
        error = "the Wine prefix could not be made in " + s.prefix_;
        return nullptr;
    }
    std::error_code failed;
    std::filesystem::create_directories(s.folder_, failed);
    std::filesystem::copy_file(program, s.folder_ + "/Vigilon.exe", failed);
    if (!failed)
        std::filesystem::copy_file(asker, s.folder_ + "/shipped_ask.exe", failed);
    if (failed) {
        error = "cannot copy the programs into the prefix: " + failed.message();
        return nullptr;
    }
    {
        std::vector<std::string> args{s.wine_, "--version"};
        int out[2];
        if (pipe2(out, O_CLOEXEC) == 0) {
            const pid_t child = s.spawn(args, -1, out[1]);
            close(out[1]);
            char text[128] = {};
            if (read(out[0], text, sizeof text - 1) > 0)
                s.version_ = std::string(text).substr(0, std::string(text).find('\n'));
            close(out[0]);
            waitChild(child, 10000);
        }
    }
    s.programArgs_ = {s.wine_, "C:\\vigilon\\Vigilon.exe", "-service", "--verbose"};
    s.programArgv_ = pointers(s.programArgs_);

    // The helper, started now and asked once, so that its own start is
    // behind us when the program's is timed.
    int toAsker[2], fromAsker[2];
    if (pipe2(toAsker, O_CLOEXEC) != 0 || pipe2(fromAsker, O_CLOEXEC) != 0) {
        error = "no pipe";
        return nullptr;
    }
    s.asker_ = s.spawn({s.wine_, "C:\\vigilon\\shipped_ask.exe"}, toAsker[0], fromAsker[1]);
    close(toAsker[0]);
    close(fromAsker[1]);
    s.askerIn_ = toAsker[1];
    s.askerOut_ = fromAsker[0];
    std::string line;
    if (write(s.askerIn_, "ask 0\n", 6) != 6 || !s.askerLine(line, 60000)) {
        error = "shipped_ask.exe did not start under Wine";
        return nullptr;
    }
    return session;
}

WineSession::~WineSession()
{
    if (askerIn_ >= 0)
        ::close(askerIn_);
    endChild(asker_, 0, 5000);
    if (askerOut_ >= 0)
        ::close(askerOut_);
    if (server_ > 0) {
        // Every Wine process of the prefix ends with its server.
        const pid_t killer = spawn({wineserver_, "-k"}, -1, -1);
        waitChild(killer, 10000);
        const pid_t waiter = spawn({wineserver_, "-w"}, -1, -1);
        waitChild(waiter, 10000);
        endChild(server_, SIGTERM, 5000);
    }
    endChild(xvfb_, SIGTERM, 5000);
    if (!prefix_.empty())
        removeTree(prefix_);
}

pid_t WineSession::spawn(const std::vector<std::string> &argv, int in, int out, int err) const
{
    std::vector<std::string> args = argv;
    std::vector<char *> argp = pointers(args);
    const std::string where = access(folder_.c_str(), X_OK) == 0 ? folder_ : prefix_;
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        keepToCore(core_);
        const int null = open("/dev/null", O_RDWR);
        dup2(in >= 0 ? in : null, 0);
        dup2(out >= 0 ? out : null, 1);
        dup2(err >= 0 ? err : null, 2);
        if (chdir(where.c_str()) != 0)
            _exit(127);
        execve(argp[0], argp.data(), envp_.data());
        _exit(127);
    }
    return pid;
}

bool WineSession::runWine(const std::vector<std::string> &args, unsigned timeoutMs) const
{
    std::vector<std::string> argv{wine_};
    argv.insert(argv.end(), args.begin(), args.end());
    pid_t pid = spawn(argv, -1, -1);
    if (pid < 0)
        return false;
    const int status = waitChild(pid, timeoutMs);
    if (status < 0)
        endChild(pid, SIGKILL, 1000);
    return status == 0;
}

void WineSession::execProgram() const
{
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    keepToCore(core_);
    if (chdir(folder_.c_str()) != 0)
        return;
    execve(programArgv_[0], programArgv_.data(), envp_.data());
}

bool WineSession::writeStore(reg::Registry &store, std::string &error)
{
    std::string text = "Windows Registry Editor Version 5.00\r\n\r\n";
    text += std::string("[-HKEY_LOCAL_MACHINE\\") + kProgramKey + "]\r\n\r\n";
    appendKeys(store, "", text);
    // The file in UTF-16 with its byte-order mark, as regedit writes it:
    // from a file of bytes it would take the strings' UTF-16 for a code
    // page's bytes.
    std::string wide = "\xff\xfe";
    wide.reserve(2 * text.size() + 2);
    for (const char c : text) {
        wide += c;
        wide += '\0';
    }
    const std::string file = folder_ + "/store.reg";
    if (!(std::ofstream(file, std::ios::binary) << wide)) {
        error = "cannot write " + file;
        return false;
    }
    const std::uint64_t begin = monoMillis();
    if (!runWine({"regedit", "/s", "C:\\vigilon\\store.reg"}, 300000)) {
        error = "regedit did not take " + file;
        return false;
    }
    if (std::getenv("SHIPPED_BENCH_TRACE"))
        std::fprintf(stderr, "store: %zu KiB imported in %llu ms\n", text.size() / 1024,
                     static_cast<unsigned long long>(monoMillis() - begin));
    ::remove(file.c_str());
    // %LOCALAPPDATA%\Vigilon of whichever user Wine made.
    const std::string users = prefix_ + "/drive_c/users";
    if (DIR *dir = opendir(users.c_str())) {
        while (dirent *entry = readdir(dir))
            if (entry->d_name[0] != '.')
                removeTree(users + "/" + entry->d_name + "/AppData/Local/Vigilon");
        closedir(dir);
    }
    return true;
}

bool WineSession::askerLine(std::string &line, unsigned timeoutMs)
{
    const std::uint64_t end = monoMillis() + timeoutMs;
    for (;;) {
        const std::size_t newline = askerPending_.find('\n');
        if (newline != std::string::npos) {
            line = askerPending_.substr(0, newline);
            askerPending_.erase(0, newline + 1);
            return true;
        }
        const std::uint64_t now = monoMillis();
        pollfd p{askerOut_, POLLIN, 0};
        if (now >= end || poll(&p, 1, int(end - now)) <= 0)
            break;
        char buffer[256];
        const ssize_t got = read(askerOut_, buffer, sizeof buffer);
        if (got <= 0)
            break;
        askerPending_.append(buffer, std::size_t(got));
    }
    // An answer that came too late would be taken for the next one's.
    askerBroken_ = true;
    return false;
}

std::uint64_t WineSession::ask(unsigned timeoutMs)
{
    const std::string command = "ask " + std::to_string(timeoutMs) + "\n";
    std::string line;
    if (askerBroken_ || write(askerIn_, command.data(), command.size()) != ssize_t(command.size()) ||
        !askerLine(line, timeoutMs + 10000))
        return 0;
    return std::strtoull(line.c_str(), nullptr, 10);
}

bool WineSession::postClose()
{
    std::string line;
    const std::uint64_t begin = monoMillis();
    const bool posted =
        !askerBroken_ && write(askerIn_, "close\n", 6) == 6 && askerLine(line, 10000) && line.rfind('1', 0) == 0;
    if (std::getenv("SHIPPED_BENCH_TRACE"))
        std::fprintf(stderr, "WM_CLOSE %s after %llu ms\n", posted ? "posted" : "not posted",
                     static_cast<unsigned long long>(monoMillis() - begin));
    return posted;
}

} // namespace vigilon::shipped
