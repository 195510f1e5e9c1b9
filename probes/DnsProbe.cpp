// SPDX-License-Identifier: MIT
#include "probes/DnsProbe.h"

#include "probes/SocketUtil.h"

#include <ares.h>

#include <algorithm>
#include <cstring>
#include <mutex>

namespace vigilon {

namespace {

constexpr int ClassInternet = 1;
// Tries over UDP: the first waits a third of the deadline, the second
// twice that, so both fit in the check's time.
constexpr int UdpTries = 2;

void initLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { ares_library_init(ARES_LIB_INIT_ALL); });
}

std::string addressText(int family, const void *bytes)
{
    char text[64] = {};
    return ares_inet_ntop(family, bytes, text, sizeof text) ? std::string(text) : std::string();
}

std::vector<std::string> hostAddresses(const hostent *host)
{
    std::vector<std::string> out;
    for (char **at = host ? host->h_addr_list : nullptr; at && *at; ++at)
        out.push_back(addressText(host->h_addrtype, *at));
    return out;
}

std::vector<std::string> hostAliases(const hostent *host)
{
    std::vector<std::string> out;
    for (char **at = host ? host->h_aliases : nullptr; at && *at; ++at)
        out.emplace_back(*at);
    return out;
}

std::string quoted(const unsigned char *text, std::size_t length)
{
    return "\"" + std::string(reinterpret_cast<const char *>(text), length) + "\"";
}

} // namespace

std::vector<std::string> dnsAnswers(int type, const unsigned char *reply, int length, int &status)
{
    std::vector<std::string> out;
    switch (type) {
    case 1:
    case 5:
    case 28: {
        // A CNAME query's answer is read as an address answer that holds
        // the alias only: the name it points to is the host's name.
        hostent *host = nullptr;
        status = type == 28 ? ares_parse_aaaa_reply(reply, length, &host, nullptr, nullptr)
                            : ares_parse_a_reply(reply, length, &host, nullptr, nullptr);
        if (status == ARES_SUCCESS && type == 5) {
            if (host && host->h_name && host->h_aliases && host->h_aliases[0])
                out.emplace_back(host->h_name);
        } else if (status == ARES_SUCCESS) {
            out = hostAddresses(host);
        }
        if (host)
            ares_free_hostent(host);
        break;
    }
    case 2:
    case 12: {
        hostent *host = nullptr;
        status = type == 2 ? ares_parse_ns_reply(reply, length, &host)
                           : ares_parse_ptr_reply(reply, length, nullptr, 0, AF_INET, &host);
        if (status == ARES_SUCCESS && host) {
            // The name server records are the aliases; a pointer's first
            // name is the host's name and the others its aliases.
            if (type == 12 && host->h_name)
                out.emplace_back(host->h_name);
            for (const std::string &alias : hostAliases(host))
                if (std::find(out.begin(), out.end(), alias) == out.end())
                    out.push_back(alias);
        }
        if (host)
            ares_free_hostent(host);
        break;
    }
    case 15: {
        ares_mx_reply *mx = nullptr;
        status = ares_parse_mx_reply(reply, length, &mx);
        for (const ares_mx_reply *at = mx; status == ARES_SUCCESS && at; at = at->next)
            out.push_back(std::to_string(at->priority) + " " + at->host);
        if (mx)
            ares_free_data(mx);
        break;
    }
    case 16: {
        ares_txt_ext *txt = nullptr;
        status = ares_parse_txt_reply_ext(reply, length, &txt);
        for (const ares_txt_ext *at = txt; status == ARES_SUCCESS && at; at = at->next) {
            // A record's strings join into its text.
            const std::string chunk(reinterpret_cast<const char *>(at->txt), at->length);
            if (at->record_start || out.empty())
                out.push_back(chunk);
            else
                out.back() += chunk;
        }
        if (txt)
            ares_free_data(txt);
        break;
    }
    case 6: {
        ares_soa_reply *soa = nullptr;
        status = ares_parse_soa_reply(reply, length, &soa);
        if (status == ARES_SUCCESS && soa)
            out.push_back(std::string(soa->nsname) + " " + soa->hostmaster + " " + std::to_string(soa->serial) + " " +
                          std::to_string(soa->refresh) + " " + std::to_string(soa->retry) + " " +
                          std::to_string(soa->expire) + " " + std::to_string(soa->minttl));
        if (soa)
            ares_free_data(soa);
        break;
    }
    case 33: {
        ares_srv_reply *srv = nullptr;
        status = ares_parse_srv_reply(reply, length, &srv);
        for (const ares_srv_reply *at = srv; status == ARES_SUCCESS && at; at = at->next)
            out.push_back(std::to_string(at->priority) + " " + std::to_string(at->weight) + " " +
                          std::to_string(at->port) + " " + at->host);
        if (srv)
            ares_free_data(srv);
        break;
    }
    case 257: {
        ares_caa_reply *caa = nullptr;
        status = ares_parse_caa_reply(reply, length, &caa);
        for (const ares_caa_reply *at = caa; status == ARES_SUCCESS && at; at = at->next)
            out.push_back(std::to_string(at->critical) + " " +
                          std::string(reinterpret_cast<const char *>(at->property), at->plength) + " " +
                          quoted(at->value, at->length));
        if (caa)
            ares_free_data(caa);
        break;
    }
    default:
        status = ARES_ENOTIMP;
        break;
    }
    if (status == ARES_SUCCESS && out.empty())
        status = ARES_ENODATA;
    return out;
}

struct CDnsProbe::Library {
    static void socketState(void *data, ares_socket_t socket, int readable, int writable)
    {
        auto *probe = static_cast<CDnsProbe *>(data);
        const unsigned events = (readable ? EventLoop::Readable : 0u) | (writable ? EventLoop::Writable : 0u);
        probe->onLibrarySocket(static_cast<int>(socket), events);
    }
    static void answer(void *arg, int status, int, unsigned char *reply, int length)
    {
        // The channel's end cancels what it still had: nothing to say then.
        if (status == ARES_EDESTRUCTION || status == ARES_ECANCELLED)
            return;
        auto *probe = static_cast<CDnsProbe *>(arg);
        probe->answered_ = true;
        probe->status_ = status;
        if (reply && length > 0)
            probe->answer_.assign(reply, reply + length);
    }
};

CDnsProbe::CDnsProbe(ProbeHost &owner, HostResolver *resolver) : CSocketProbe(owner, resolver) {}

CDnsProbe::~CDnsProbe()
{
    closeChannel();
}

int CDnsProbe::start(std::uint32_t port, const std::string &host, MonitorPort &entry)
{
    name_ = entry.dnsName;
    type_ = dns::typeCode(entry.dnsType);
    expectation_ = dns::Expectation::fromText(entry.dnsExpect);
    return CSocketProbe::start(port, host, entry);
}

int CDnsProbe::socketType() const
{
    return SOCK_DGRAM;
}

int CDnsProbe::openSocket()
{
    return 1;
}

int CDnsProbe::beginAsync()
{
    if (type_ == 0 || !dns::validName(name_)) {
        // The dialog refuses such an entry and the engine does not check
        // one read so from the store: nothing can be asked.
        killTimer();
        fail(FailureKind::DnsNoAnswer);
        return 0;
    }
    initLibrary();
    ares_options options{};
    options.flags = ARES_FLAG_NOCHECKRESP;
    options.timeout = static_cast<int>(std::max<unsigned>(deadlineMs() / 3, 1));
    options.tries = UdpTries;
    options.sock_state_cb = &Library::socketState;
    options.sock_state_cb_data = this;
    // No servers, domains or lookup order from the system's files: the
    // entry's host is the one server, and the name is asked as it is.
    options.nservers = 0;
    options.servers = nullptr;
    options.ndomains = 0;
    options.domains = nullptr;
    char lookups[] = "b";
    options.lookups = lookups;
    const int mask = ARES_OPT_FLAGS | ARES_OPT_TIMEOUTMS | ARES_OPT_TRIES | ARES_OPT_SOCK_STATE_CB |
                     ARES_OPT_SERVERS | ARES_OPT_DOMAINS | ARES_OPT_LOOKUPS;
    int status = ares_init_options(&channel_, &options, mask);
    ares_addr_port_node server{};
    server.family = address_.family;
    if (address_.family == AF_INET6)
        std::memcpy(&server.addr.addr6, address_.bytes.data(), sizeof server.addr.addr6);
    else
        std::memcpy(&server.addr.addr4, address_.bytes.data(), sizeof server.addr.addr4);
    server.udp_port = static_cast<int>(port_);
    server.tcp_port = static_cast<int>(port_);
    if (status == ARES_SUCCESS)
        status = ares_set_servers_ports(channel_, &server);
    if (status != ARES_SUCCESS) {
        killTimer();
        closeChannel();
        return refuseLocally(status == ARES_ENOMEM ? net::code::NoMemory : net::code::NoBuffers,
                             "cannot set up the resolver library for a DNS check");
    }
    startMicros_ = nowMicros();
    ares_query(channel_, name_.c_str(), ClassInternet, type_, &Library::answer, this);
    settle();
    return 1;
}

void CDnsProbe::onLibrarySocket(int socket, unsigned events)
{
    if (events == 0) {
        if (watched_.erase(socket) != 0)
            loop_.unwatchSocket(socket);
        return;
    }
    watched_.insert(socket);
    loop_.watchSocket(socket, events, [this, socket](unsigned ready, int) {
        if (!channel_)
            return;
        const bool in = (ready & (EventLoop::Readable | EventLoop::Closed)) != 0;
        const bool out = (ready & (EventLoop::Writable | EventLoop::Connected)) != 0;
        if (in)
            seenMicros_ = seenMicros(startMicros_);
        ares_process_fd(channel_, in ? static_cast<ares_socket_t>(socket) : ARES_SOCKET_BAD,
                        out ? static_cast<ares_socket_t>(socket) : ARES_SOCKET_BAD);
        settle();
    });
}

void CDnsProbe::onLibraryTimer()
{
    loop_.killTimer(this, probe::DnsLibraryTimer);
    if (!channel_)
        return;
    ares_process_fd(channel_, ARES_SOCKET_BAD, ARES_SOCKET_BAD);
    settle();
}

void CDnsProbe::settle()
{
    if (!channel_)
        return;
    if (!answered_) {
        timeval wait{};
        if (ares_timeout(channel_, nullptr, &wait)) {
            const long ms = wait.tv_sec * 1000L + (wait.tv_usec + 999) / 1000;
            loop_.setTimer(this, probe::DnsLibraryTimer, static_cast<unsigned>(std::max(ms, 1L)),
                           [this] { onLibraryTimer(); });
        }
        return;
    }
    // Out of the library's calls: its channel can go now.
    closeChannel();
    killTimer();
    done_ = 1;
    judge();
}

void CDnsProbe::closeChannel()
{
    loop_.killTimer(this, probe::DnsLibraryTimer);
    if (channel_) {
        ares_channeldata *channel = channel_;
        channel_ = nullptr;
        ares_destroy(channel);
    }
    for (const int socket : watched_)
        loop_.unwatchSocket(socket);
    watched_.clear();
}

void CDnsProbe::onTimeout()
{
    closeChannel();
}

void CDnsProbe::judge()
{
    int status = status_;
    std::vector<std::string> answers;
    if (status == ARES_SUCCESS)
        answers = dnsAnswers(type_, answer_.data(), static_cast<int>(answer_.size()), status);
    switch (status) {
    case ARES_SUCCESS:
        break;
    case ARES_ENODATA:
        fail(FailureKind::DnsNoAnswer);
        return;
    case ARES_ENOTFOUND:
        fail(FailureKind::DnsNxDomain);
        return;
    case ARES_ESERVFAIL:
        fail(FailureKind::DnsServFail);
        return;
    case ARES_EREFUSED:
        fail(FailureKind::DnsRefused);
        return;
    case ARES_ETIMEOUT:
        fail(FailureKind::TimedOut);
        return;
    case ARES_ECONNREFUSED:
        fail(FailureKind::Refused);
        return;
    case ARES_ENOMEM:
        fail(FailureKind::LocalShortage);
        return;
    default:
        // A reply that is not a DNS answer to the query (malformed, or
        // a format error or "not implemented" from the server).
        fail(FailureKind::UnexpectedReply);
        return;
    }
    if (!dns::meets(expectation_, type_, answers)) {
        fail(FailureReason::withDetail(FailureKind::DnsAnswerDiffers, -1, dns::answersShown(answers)));
        return;
    }
    setResponse(std::max(seenMicros_, startMicros_));
    report(ProbeResult::Answered);
}

} // namespace vigilon
