// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace vigilon {

struct CommandLine {
    bool serviceMode = false;
    bool targetGiven = false;
    std::string targetHost = "127.0.0.1";
    // Extensions of this build, spelled with "--" so that they can never be
    // taken for the switches above.
    bool showHelp = false;
    bool showVersion = false;
    // One line on standard error per finished check.
    bool verbose = false;
    // --lang=en or --lang=ja: the interface's language, whatever the
    // locale; empty when not given.
    std::string language;
    // --metrics=ADDR:PORT: where to serve the metrics, as given (checked
    // when the server starts); given even when empty, which turns them off.
    bool metricsGiven = false;
    std::string metricsAddress;
    // --metrics-histogram=on or =off: whether the metrics hold the
    // response-time histogram, whatever the store says.
    bool metricsHistogramGiven = false;
    bool metricsHistogram = true;
    // The first token beginning with "--" that is none of the above; empty
    // when there is none.
    std::string unknownOption;
};

constexpr std::size_t maxHostBytes = 1023;

// Scans a whole command line, program name included, as one string whose
// tokens are separated by blanks.
CommandLine parseCommandLine(const std::string &line);

// Scans the arguments of a process started with argv, program name left
// out, each as one token just as the shell gave it: a blank inside an
// argument never starts another switch, so "-ta b" watches "a b".
CommandLine parseArguments(int argc, const char *const *argv);

// Answers --help, --version and an unknown "--" option on the standard
// streams, as every build of the program does. storeWhere ends the help's
// last sentence: where the configuration is kept. Returns the exit status,
// or -1 when the command line asks for none of them.
int answerInformationalOptions(const CommandLine &line, const char *version, const char *storeWhere);

// Makes the language the command line forces, or else the one the
// environment or the system gives, the process's current language.
void applyLanguage(const CommandLine &line);

} // namespace vigilon
