// SPDX-License-Identifier: MIT
// Receivers of channel messages (HTTP, HTTPS and SMTP servers of Python's
// own and aiosmtpd) started by a test on loopback, and what they received.
#pragma once

#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

// The system's Python, which has the distribution's aiosmtpd.
#ifndef VIGILON_PYTHON
#define VIGILON_PYTHON "/usr/bin/python3"
#endif

namespace vigilon::test {

class ChannelReceiver {
public:
    // args: as tests/support/channel_servers.py takes them after its record
    // file's place (kind, mode, options); record is where it writes.
    ChannelReceiver(const std::string &kind, const std::string &mode, const std::string &record,
                    const std::vector<std::string> &options = {})
        : record_(record)
    {
        std::vector<std::string> argv = {VIGILON_PYTHON, script(), kind};
        if (!mode.empty())
            argv.push_back(mode);
        argv.push_back(record);
        argv.insert(argv.end(), options.begin(), options.end());
        child_ = std::make_unique<ChildProcess>(argv);
        if (child_->waitForOutput("listening ", 20000)) {
            const std::string &said = child_->output();
            port_ = static_cast<std::uint16_t>(std::stoi(said.substr(said.find("listening ") + 10)));
        }
    }
    std::uint16_t port() const { return port_; }
    bool ok() const { return port_ != 0; }
    // Every document received so far, in order.
    std::vector<nlohmann::json> received() const
    {
        std::vector<nlohmann::json> documents;
        std::ifstream in(record_);
        for (std::string line; std::getline(in, line);)
            if (!line.empty())
                documents.push_back(nlohmann::json::parse(line));
        return documents;
    }
    // What the receiver said on standard error (its failures).
    std::string said() { return child_->output(); }

    static std::string script()
    {
        const char *source = std::getenv("VIGILON_SOURCE_DIR");
        return std::string(source ? source : ".") + "/tests/support/channel_servers.py";
    }

private:
    std::string record_;
    std::unique_ptr<ChildProcess> child_;
    std::uint16_t port_ = 0;
};

} // namespace vigilon::test
