// SPDX-License-Identifier: MIT
// Starting alert programs and opening documents on Windows.
#include "app/platform/Launcher.h"

#include "app/platform/CommandText.h"
#include "store/windows/ConfigKeySecurity.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>
#include <string>
#include <vector>

#include <windows.h>
#include <shellapi.h>

namespace vigilon::platform {

namespace {

// Our environment block with the variables given set in it (replacing ours
// of the same names, letter case aside): "NAME=value" texts, each ended by a
// zero, and one zero more.
std::vector<char> environmentBlock(const Environment &extra)
{
    const auto sameName = [](const std::string &a, const std::string &b) {
        return a.size() == b.size() && CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.data(), int(a.size()),
                                                      b.data(), int(b.size())) == CSTR_EQUAL;
    };
    std::vector<char> block;
    if (char *ours = GetEnvironmentStringsA()) {
        for (const char *entry = ours; *entry; entry += std::strlen(entry) + 1) {
            const std::string text = entry;
            // Names of drive directories ("=C:=C:\...") start with "=".
            const std::string name = text.substr(0, text.find('=', 1));
            if (std::none_of(extra.begin(), extra.end(), [&](const auto &pair) { return sameName(pair.first, name); }))
                block.insert(block.end(), text.c_str(), text.c_str() + text.size() + 1);
        }
        FreeEnvironmentStringsA(ours);
    }
    for (const auto &[name, value] : extra) {
        const std::string text = name + '=' + value;
        block.insert(block.end(), text.c_str(), text.c_str() + text.size() + 1);
    }
    block.push_back('\0');
    return block;
}

// Period of the look for ended programs while one is awaited.
constexpr unsigned kEndPollMs = 200;
// The timer that looks for ended programs, set under the launcher.
enum LauncherTimer : unsigned {
    EndPollTimer = 1,
};

class WindowsLauncher final : public Launcher {
public:
    WindowsLauncher(EventLoop &loop, const LauncherOptions &options)
        : loop_(loop)
        , options_(options)
    {
    }

    ~WindowsLauncher() override
    {
        loop_.killTimers(this);
        // The programs go on running; only our handles to them end.
        for (HANDLE process : running_)
            CloseHandle(process);
    }

    LaunchOutcome startProgram(const ProgramStart &start) override
    {
        LaunchOutcome outcome;
        if (start.arguments.empty()) {
            outcome.error = ERROR_FILE_NOT_FOUND;
            return outcome;
        }
        prune();
        if (running_.size() >= options_.maxRunning) {
            outcome.result = LaunchResult::TooMany;
            return outcome;
        }

        // The arguments are quoted back into one line so that the program
        // splits out exactly what we hold; the blank at the end is what
        // "%s %s" with empty parameters has always given.
        std::string commandLine = joinCommandLine(start.arguments) + ' ';

        // The child starts in the current directory, which is changed for the
        // duration of the call and then put back. One that cannot be entered
        // is ignored.
        std::string previous;
        bool changed = false;
        if (!start.directory.empty()) {
            const DWORD size = GetCurrentDirectoryA(0, nullptr);
            if (size > 0) {
                previous.resize(size);
                const DWORD got = GetCurrentDirectoryA(size, previous.data());
                previous.resize(got < size ? got : 0);
            }
            changed = !previous.empty() && SetCurrentDirectoryA(start.directory.c_str()) != 0;
        }

        SECURITY_ATTRIBUTES processAttributes = {};
        processAttributes.nLength = sizeof processAttributes;
        processAttributes.bInheritHandle = TRUE;
        SECURITY_ATTRIBUTES threadAttributes = processAttributes;
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info = {};
        std::vector<char> buffer(commandLine.begin(), commandLine.end());
        buffer.push_back('\0');
        std::vector<char> environment;
        if (!start.environment.empty())
            environment = environmentBlock(start.environment);
        const BOOL created =
            CreateProcessA(nullptr, buffer.data(), &processAttributes, &threadAttributes, FALSE, HIGH_PRIORITY_CLASS,
                           environment.empty() ? nullptr : environment.data(), nullptr, &startup, &info);
        const DWORD error = created ? 0 : GetLastError();

        if (changed)
            SetCurrentDirectoryA(previous.c_str());

        if (!created) {
            outcome.error = static_cast<int>(error);
            return outcome;
        }
        CloseHandle(info.hThread);
        running_.push_back(info.hProcess);
        watchForEnds();
        outcome.result = LaunchResult::Started;
        return outcome;
    }

    LaunchOutcome openDocument(const std::string &target, std::function<void()>,
                               const Environment &environment) override
    {
        LaunchOutcome outcome;
        // The shell hands the document to a program that inherits our
        // environment: the variables are ours for the moment of the call.
        std::vector<std::pair<std::string, std::optional<std::string>>> saved;
        for (const auto &[name, value] : environment) {
            const DWORD size = GetEnvironmentVariableA(name.c_str(), nullptr, 0);
            std::optional<std::string> previous;
            if (size > 0) {
                std::string text(size, '\0');
                const DWORD got = GetEnvironmentVariableA(name.c_str(), text.data(), size);
                text.resize(got < size ? got : 0);
                previous = text;
            }
            saved.emplace_back(name, previous);
            SetEnvironmentVariableA(name.c_str(), value.c_str());
        }
        // The shell answers at once; nothing is reported later.
        const auto result = reinterpret_cast<INT_PTR>(
            ShellExecuteA(nullptr, "open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
        for (const auto &[name, previous] : saved)
            SetEnvironmentVariableA(name.c_str(), previous ? previous->c_str() : nullptr);
        if (result <= 32) {
            outcome.error = static_cast<int>(result);
            return outcome;
        }
        outcome.result = LaunchResult::Started;
        return outcome;
    }

    bool namesProgram(const std::string &) const override { return false; }

    // The configuration key under HKEY_LOCAL_MACHINE holds the alert
    // commands; asked before every command, as its access may change.
    std::string commandsRefusedFrom() const override
    {
        if (!reg::configurationWritableByNonAdministrators())
            return {};
        return "HKEY_LOCAL_MACHINE\\Software\\Ardentis\\Vigilon";
    }

    std::size_t runningCount() const override
    {
        const_cast<WindowsLauncher *>(this)->prune();
        return running_.size();
    }

    void setChildEnded(std::function<void()> onEnded) override
    {
        onEnded_ = std::move(onEnded);
        watchForEnds();
    }

private:
    // The system tells no event loop of a process's end: while someone
    // waits for one, a timer looks.
    void watchForEnds()
    {
        if (!onEnded_ || running_.empty() || loop_.hasTimer(this, EndPollTimer))
            return;
        // Killing the timer destroys this callback: the work is a member's.
        loop_.setTimer(this, EndPollTimer, kEndPollMs, [this] { lookForEnds(); });
    }

    void lookForEnds()
    {
        prune();
        if (running_.empty() || !onEnded_)
            loop_.killTimer(this, EndPollTimer);
        // Ends that another call's prune found count too. A copy: the
        // callback may replace itself or start programs.
        const std::function<void()> onEnded = onEnded_;
        for (std::size_t ended = std::exchange(unseenEnds_, 0); ended > 0 && onEnded; --ended)
            onEnded();
    }

    // Forgets the programs that have ended.
    void prune()
    {
        std::vector<HANDLE> still;
        for (HANDLE process : running_) {
            if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
                still.push_back(process);
            } else {
                CloseHandle(process);
                ++unseenEnds_;
            }
        }
        running_.swap(still);
    }

    EventLoop &loop_;
    LauncherOptions options_;
    std::vector<HANDLE> running_;
    std::function<void()> onEnded_;
    // Programs found ended that onEnded_ has not been run for.
    std::size_t unseenEnds_ = 0;
};

} // namespace

std::unique_ptr<Launcher> makeSystemLauncher(EventLoop &loop, const LauncherOptions &options)
{
    return std::make_unique<WindowsLauncher>(loop, options);
}

} // namespace vigilon::platform
