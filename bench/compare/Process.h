// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

namespace vigilon::bench {

std::uint64_t monoMicros();
// CPU time (user and system) this process has used so far.
std::uint64_t ownCpuMicros();

// Every child the benchmark starts is listed, so that an early end (signal,
// time limit) can kill each one by its pid. Safe in a signal handler.
void registerChild(pid_t pid);
void forgetChild(pid_t pid);
void killChildren();

// A child made by fork() that must die with the benchmark.
void becomeBoundChild();

struct RunResult {
    bool started = false;
    bool timedOut = false;
    int exitCode = -1;       // -1 when it did not exit normally
    std::string output;      // standard output and standard error together
    std::uint64_t wallMicros = 0;
    std::uint64_t cpuMicros = 0; // the child's user and system time
};

// Runs a program (no shell) and collects its output; killed after timeoutMs.
RunResult runProgram(const std::vector<std::string> &argv, unsigned timeoutMs);

// Runs a helper command quietly; true when it exited with 0.
bool runQuiet(const std::vector<std::string> &argv, unsigned timeoutMs = 10000);

// The full path of a program on PATH or in the plugin folders; empty when
// it is not installed.
std::string findProgram(const std::string &name);

} // namespace vigilon::bench
