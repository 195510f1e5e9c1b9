// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace vigilon::bench {

// A responder runs in a child process of its own, so that it never shares
// the measuring process's loop. The parent talks to it in lines:
//   "D <micros>"  sets the reply delay,
//   "R"           answers with its own error since the last "R"
//                 ("n=.. median=.. p99=.. max=..", microseconds late
//                 against when it should have replied) and starts anew,
//   "A"           (port farm) accepts and closes what is queued,
//   "Q"           ends it.
class Responder {
public:
    Responder() = default;
    ~Responder();
    Responder(const Responder &) = delete;
    Responder &operator=(const Responder &) = delete;

    // body runs in the child with the two channel ends; its return value is
    // the child's exit status.
    bool start(const std::function<int(int control, int result)> &body);
    // Sends one command and waits at most timeoutMs for the answer line;
    // empty on silence.
    std::string ask(const std::string &command, unsigned timeoutMs = 3000);
    bool tell(const std::string &command);
    std::string readLine(unsigned timeoutMs);
    // Asks the child to end, waits briefly, then kills it by its pid.
    void stop();
    bool running() const { return pid_ > 0; }

private:
    pid_t pid_ = -1;
    int control_ = -1;
    int result_ = -1;
    std::string buffered_;
};

// An HTTP server on 127.0.0.1 answering every request D after the blank
// line that ends its header arrived. First line from the child: "port N".
bool startHttpResponder(Responder &responder, std::uint16_t &port);

// The HTTP server's reply over TLS with the certificate and key given (PEM
// files), one connection at a time. First line from the child: "port N".
bool startHttpsResponder(Responder &responder, const std::string &certFile, const std::string &keyFile,
                         std::uint16_t &port);

// An ICMP echo responder inside the named network namespace, whose kernel
// echo replies must be switched off: it answers each echo request D after
// the request arrived, by raw socket.
bool startIcmpResponder(Responder &responder, const std::string &netns);

// count listening TCP ports on 127.0.0.1; the kernel completes the
// handshakes, the child only holds the listeners.
bool startPortFarm(Responder &responder, unsigned count, std::vector<std::uint16_t> &ports);

// A network namespace of our own joined to this one by a veth pair, with
// addresses from the benchmarking range 198.18.0.0/15 on the two veths only.
class BenchNamespace {
public:
    ~BenchNamespace();
    // Creates it; on failure why says what went wrong and nothing is left.
    bool create(const std::string &name, std::string &why);
    void destroy();
    const std::string &name() const { return name_; }
    // The responder's address inside, ours outside, and one in the subnet
    // that nobody answers.
    const std::string &responderAddress() const { return inside_; }
    const std::string &deadAddress() const { return dead_; }

private:
    std::string name_;
    std::string ip_;
    std::string rootLink_;
    std::string inside_;
    std::string dead_;
    bool created_ = false;
};

// Kills every child and removes the namespace; for signal handlers and the
// time limit. Uses only calls that are safe there.
void emergencyCleanup();

} // namespace vigilon::bench
