// SPDX-License-Identifier: MIT
// A Wine prefix of a Linux test's own, for running Wine's programs (reg,
// regedit) beside the Linux ones: fresh (copied from the booted one that
// scripts/wine-prefix-copy.sh keeps), headless, with one Wine server for
// the whole test, ended and removed with the object.
#pragma once

#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace vigilon::test {

class WinePrefix {
public:
    // The Wine found, or empty when it is not installed.
    static std::string wine()
    {
        for (const char *candidate : {"/usr/lib/wine/wine64", "/usr/bin/wine64", "/usr/bin/wine"}) {
            if (exists(candidate))
                return candidate;
        }
        return {};
    }

    WinePrefix() : wine_(wine())
    {
        const char *source = std::getenv("VIGILON_SOURCE_DIR");
        if (wine_.empty() || !source)
            return;
        const std::string copy = std::string(". '") + source + "/scripts/wine-prefix-copy.sh' && wine='" + wine_ +
                                 "' && wine_prefix_copy '" + prefix() + "'";
        std::filesystem::create_directory(prefix());
        const RunResult made = test::run({"bash", "-c", copy}, {}, 300000);
        if (made.status != 0) {
            error_ = "no Wine prefix: " + made.err;
            return;
        }
        // One server for the whole test: a server that ends between two
        // programs may still be saving the registry while the next reads it.
        test::run({server(), "-p"}, environment(), 60000);
        ready_ = test::run({wine_, "cmd", "/c", "exit"}, environment(), 120000).status == 0;
        if (!ready_)
            error_ = "Wine does not start in the prefix";
    }

    ~WinePrefix()
    {
        if (!wine_.empty()) {
            test::run({server(), "-k"}, environment(), 30000);
            test::run({server(), "-w"}, environment(), 30000);
        }
    }

    WinePrefix(const WinePrefix &) = delete;
    WinePrefix &operator=(const WinePrefix &) = delete;

    bool ready() const { return ready_; }
    const std::string &error() const { return error_; }
    std::string prefix() const { return dir_ / "prefix"; }

    // Runs a program of the prefix (such as "reg" or "regedit"), UTF-8 on
    // the command line.
    RunResult run(std::vector<std::string> args, int timeoutMs = 120000) const
    {
        args.insert(args.begin(), wine_);
        return test::run(args, environment(), timeoutMs);
    }

    // A Linux path as programs under Wine name it.
    static std::string windowsPath(const std::string &path)
    {
        std::string out = "Z:" + path;
        for (char &c : out) {
            if (c == '/')
                c = '\\';
        }
        return out;
    }

private:
    std::vector<std::string> environment() const
    {
        return {"WINEPREFIX=" + prefix(), "WINEDEBUG=-all", "WINEDLLOVERRIDES=mscoree,mshtml,wineusb.sys=", "DISPLAY=",
                "WAYLAND_DISPLAY=", "LC_ALL=C.UTF-8"};
    }

    std::string server() const
    {
        const std::string beside = wine_.substr(0, wine_.rfind('/') + 1) + "wineserver";
        return exists(beside) ? beside : "wineserver";
    }

    TempDir dir_;
    std::string wine_;
    std::string error_;
    bool ready_ = false;
};

} // namespace vigilon::test
