// SPDX-License-Identifier: MIT
// Alert commands: programs started with the target filled in, everything
// else opened by the desktop.
#include "app/AlertAction.h"

#include "base/NoticeBoard.h"

#include "base/StringTable.h"
#include "base/TextFormat.h"
#include "app/platform/CommandText.h"

#include <cstdio>
#include <cstring>

namespace vigilon {

bool hasProgramExtension(const std::string &command)
{
    for (const char *extension : {".exe", ".com", ".bat", ".cmd"}) {
        if (platform::containsNoCase(command, extension))
            return true;
    }
    return false;
}

std::string commandDirectory(const std::string &commandLine)
{
    std::size_t at = commandLine.rfind('\\');
    if (!platform::kWindowsCommandLines) {
        const std::size_t slash = commandLine.rfind('/');
        if (slash != std::string::npos && (at == std::string::npos || slash > at))
            at = slash;
    }
    if (at == std::string::npos)
        return {};
    return commandLine.substr(0, at);
}

std::vector<std::string> commandArguments(const std::string &command, const std::string &targetHost)
{
    std::vector<std::string> arguments = platform::splitCommandLine(command);
    for (std::string &argument : arguments)
        argument = platform::replaceAll(argument, kTargetPlaceholder, targetHost);
    return arguments;
}

bool runsInCommandInterpreter(const std::string &program)
{
    std::string name;
    for (char c : program)
        name.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c));
    // Windows ignores blanks and dots at the end of a file name.
    while (!name.empty() && (name.back() == ' ' || name.back() == '.'))
        name.pop_back();
    const std::size_t slash = name.find_last_of("\\/:");
    const std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
    auto endsWith = [&base](const std::string &suffix) {
        return base.size() >= suffix.size() && base.compare(base.size() - suffix.size(), suffix.size(), suffix) == 0;
    };
    return endsWith(".bat") || endsWith(".cmd") || base == "cmd" || base == "cmd.exe";
}

bool unsafeForCommandInterpreter(const std::string &text)
{
    return text.find_first_of("&|<>^%\"()\r\n") != std::string::npos;
}

CommandRunner::CommandRunner(Prompter &prompter, std::unique_ptr<platform::Launcher> launcher,
                             std::function<std::string()> targetHost, std::size_t maxWaiting)
    : prompter_(prompter)
    , launcher_(std::move(launcher))
    , targetHost_(std::move(targetHost))
    , maxWaiting_(maxWaiting)
{
    std::weak_ptr<int> alive = alive_;
    launcher_->setChildEnded([this, alive] {
        if (!alive.expired())
            startWaiting();
    });
}

CommandRunner::~CommandRunner()
{
    launcher_->setChildEnded({});
    if (!waiting_.empty())
        std::fprintf(stderr, "vigilon: %zu waiting alerts are not run: the program ends\n", waiting_.size());
}

void CommandRunner::showFailure(const std::string &shownCommand)
{
    // Raised by monitoring, perhaps with nobody there: it must not wait.
    const std::string text = formatText(loadString(sid::CommandFailed), {shownCommand});
    logNotice(text);
    prompter_.notice(text, "", mb::Ok);
}

std::string CommandRunner::targetOf(const std::string *host) const
{
    if (host)
        return *host;
    return targetHost_ ? targetHost_() : std::string();
}

CommandRunner::Start CommandRunner::launchProcess(const Alert &alert)
{
    const std::string &command = alert.command;
    const std::string &target = alert.target;
    const std::string commandLine = platform::replaceAll(command, kTargetPlaceholder, target);

    platform::ProgramStart start;
    start.arguments = commandArguments(command, target);
    // The folder is the command's own, whatever the target holds.
    start.directory = commandDirectory(command);
    start.environment = alert.environment;

    if (platform::kWindowsCommandLines && !start.arguments.empty() && runsInCommandInterpreter(start.arguments[0]) &&
        command.find(kTargetPlaceholder) != std::string::npos && unsafeForCommandInterpreter(target)) {
        std::fprintf(stderr, "vigilon: alert not started: the target host holds characters the command "
                             "interpreter would act on: %s\n",
                     escapeControls(commandLine).c_str());
        return Start::Failed;
    }

    const platform::LaunchOutcome outcome = launcher_->startProgram(start);
    switch (outcome.result) {
    case platform::LaunchResult::Started:
        return Start::Started;
    case platform::LaunchResult::TooMany:
        return Start::Busy;
    case platform::LaunchResult::Failed:
        break;
    }
    std::fprintf(stderr, "vigilon: the alert program could not be started: %s: %s\n",
                 escapeControls(commandLine).c_str(), std::strerror(outcome.error));
    return Start::Failed;
}

CommandRunner::Start CommandRunner::start(const Alert &alert)
{
    const std::string &command = alert.command;
    bool program = hasProgramExtension(command);
    if (!program && !platform::kWindowsCommandLines) {
        // Programs here carry no extension: an executable file named by the
        // first word makes a program too.
        const std::vector<std::string> words = platform::splitCommandLine(command);
        program = !words.empty() && launcher_->namesProgram(words.front());
    }

    if (program) {
        const Start started = launchProcess(alert);
        if (started == Start::Failed)
            showFailure(platform::replaceAll(command, kTargetPlaceholder, alert.target));
        return started;
    }

    // A document or URL, "%TARGET%" and all.
    std::weak_ptr<int> alive = alive_;
    const platform::LaunchOutcome outcome = launcher_->openDocument(command, [this, alive, command] {
        if (alive.expired())
            return;
        std::fprintf(stderr, "vigilon: the alert command could not be opened: %s\n", escapeControls(command).c_str());
        showFailure(command);
    }, alert.environment);
    if (outcome.started())
        return Start::Started;
    if (outcome.result == platform::LaunchResult::TooMany)
        return Start::Busy;
    if (outcome.openerMissing)
        std::fprintf(stderr, "vigilon: the alert command could not be opened: %s: %s\n",
                     escapeControls(command).c_str(), platform::kNoOpenerText);
    else
        std::fprintf(stderr, "vigilon: the alert command could not be opened: %s: %s\n",
                     escapeControls(command).c_str(), std::strerror(outcome.error));
    showFailure(command);
    return Start::Failed;
}

void CommandRunner::startWaiting()
{
    // A failure's message may nest the loop, where more programs end: one
    // pass at a time, in order.
    if (starting_)
        return;
    starting_ = true;
    std::weak_ptr<int> alive = alive_;
    while (!waiting_.empty()) {
        // Taken out first: a nested loop may queue more behind it.
        const Alert alert = std::move(waiting_.front());
        waiting_.pop_front();
        if (start(alert) == Start::Busy) {
            waiting_.push_front(alert);
            break;
        }
        if (alive.expired())
            return;
    }
    starting_ = false;
    if (waiting_.empty() && dropped_ > 0) {
        std::fprintf(stderr, "vigilon: %zu alerts were not run while %zu waited; every other one has started\n",
                     dropped_, maxWaiting_);
        dropped_ = 0;
    }
}

int CommandRunner::runCommand(const std::string &given, const platform::Environment &environment,
                              const std::string *host)
{
    // Our own copy: the caller's entry may go while the command is handled.
    Alert alert{given, environment, targetOf(host)};
    if (alert.command.empty())
        return 0;
    if (const std::string place = launcher_->commandsRefusedFrom(); !place.empty()) {
        const std::string text = formatText(loadString(sid::CommandRefused),
                                            {place, platform::replaceAll(alert.command, kTargetPlaceholder, alert.target)});
        logNotice(text);
        prompter_.notice(text, "", mb::Ok);
        return 1;
    }

    // Those that wait go first.
    if (waiting_.empty()) {
        const Start started = start(alert);
        if (started != Start::Busy)
            return started == Start::Started ? 0 : 1;
        std::fprintf(stderr, "vigilon: %zu alert programs still run; alerts wait and start in order as they end\n",
                     launcher_->runningCount());
    }
    if (waiting_.size() < maxWaiting_) {
        waiting_.push_back(std::move(alert));
        return 0;
    }
    const std::string commandLine = platform::replaceAll(alert.command, kTargetPlaceholder, alert.target);
    std::fprintf(stderr, "vigilon: alert not run: %zu alerts already wait: %s\n", waiting_.size(),
                 escapeControls(commandLine).c_str());
    if (dropped_++ == 0) {
        const std::string text =
            formatText(loadString(sid::AlertQueueFull), {std::to_string(maxWaiting_), commandLine});
        prompter_.notice(text, "", mb::Ok | mb::IconExclamation);
    }
    return 1;
}

std::function<int(const std::string &command)> makeCommandRunner(Prompter &prompter,
                                                                 std::unique_ptr<platform::Launcher> launcher,
                                                                 std::function<std::string()> targetHost)
{
    auto runner = std::make_shared<CommandRunner>(prompter, std::move(launcher), std::move(targetHost));
    return [runner](const std::string &command) {
        // Whoever holds this function may drop it while the runner works.
        auto keep = runner;
        return keep->runCommand(command);
    };
}

std::function<int(const std::string &command)> makeCommandRunner(Prompter &prompter, EventLoop &loop,
                                                                 std::function<std::string()> targetHost)
{
    return makeCommandRunner(prompter, platform::makeSystemLauncher(loop), std::move(targetHost));
}

AlertRunner makeAlertRunner(Prompter &prompter, EventLoop &loop, std::function<std::string()> targetHost)
{
    auto runner = std::make_shared<CommandRunner>(prompter, platform::makeSystemLauncher(loop), std::move(targetHost));
    return [runner](const std::string &command, const std::string &host, const platform::Environment &environment) {
        auto keep = runner;
        return keep->runCommand(command, environment, host.empty() ? nullptr : &host);
    };
}

} // namespace vigilon
