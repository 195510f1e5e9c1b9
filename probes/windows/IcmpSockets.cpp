// SPDX-License-Identifier: MIT
// ICMP on Windows: raw sockets for administrators, and for everyone else the
// ICMP helper functions, whose echo the system makes on the process's
// behalf.
#include "probes/IcmpSockets.h"

#include "base/Clock.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <icmpapi.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <utility>

namespace vigilon::net::icmp {

bool isRefusedRight(int error)
{
    return error == WSAEACCES;
}

void sayNoRight()
{
    std::fprintf(stderr, "vigilon: PING checks fail: a raw ICMP socket needs administrator rights, and the "
                         "system's ICMP helper functions could not be used either\n");
}

void passOnly(int, int, std::uint8_t, std::uint8_t, std::uint8_t) {}

int openDatagram(int, int)
{
    return -1;
}

bool isPendingError(int)
{
    return false;
}

bool readErrors(int, int, std::vector<QueuedError> &, std::vector<std::uint8_t> &)
{
    return false;
}

namespace {

// One request of the helper functions: its handle, the event its end
// signals, and the buffers the system fills in meanwhile. Shared by the
// check, the system's wait for the event and the answer posted to the loop,
// so that it outlives whichever of them goes first.
struct Pending {
    std::mutex mutex;
    // The loop to answer on; null once the check has gone.
    EventLoop *loop = nullptr;
    // Touched on the loop's thread only.
    std::function<void(const EchoAnswer &)> answer;
    bool ipv6 = false;
    HANDLE icmp = INVALID_HANDLE_VALUE;
    HANDLE event = nullptr;
    HANDLE wait = nullptr;
    std::vector<std::uint8_t> data;
    std::vector<std::uint8_t> reply;
    sockaddr_in6 source6{};
    sockaddr_in6 destination6{};
    std::uint64_t arrivedMicros = 0;

    ~Pending()
    {
        if (icmp != INVALID_HANDLE_VALUE)
            IcmpCloseHandle(icmp);
        if (event)
            CloseHandle(event);
    }
};

// The reply of Icmp6SendEcho2 as the system lays it out: the address
// packed, the rest aligned.
#pragma pack(push, 1)
struct Ipv6AddressEx {
    USHORT port;
    ULONG flowInfo;
    USHORT address[8];
    ULONG scopeId;
};
#pragma pack(pop)
struct Icmp6EchoReply {
    Ipv6AddressEx address;
    ULONG status;
    unsigned int roundTripTime;
};

// The helper functions' status as the ICMP message it stands for: 1 reply,
// 0 an error message (type and code filled in), -1 no answer.
int judgeStatus(ULONG status, bool ipv6, EchoAnswer &answer)
{
    // Destination unreachable, by the code it carries; time exceeded.
    struct Known {
        ULONG status;
        int type4, type6, code4, code6;
    };
    static constexpr Known kKnown[] = {
        {IP_DEST_NET_UNREACHABLE, 3, 1, 0, 0},  {IP_DEST_HOST_UNREACHABLE, 3, 1, 1, 3},
        {IP_DEST_PROT_UNREACHABLE, 3, 1, 2, 4}, {IP_DEST_PORT_UNREACHABLE, 3, 1, 3, 4},
        {IP_TTL_EXPIRED_TRANSIT, 11, 3, 0, 0},  {IP_TTL_EXPIRED_REASSEM, 11, 3, 1, 1},
    };
    if (status == IP_SUCCESS)
        return 1;
    for (const Known &known : kKnown) {
        if (known.status == status) {
            answer.type = ipv6 ? known.type6 : known.type4;
            answer.code = ipv6 ? known.code6 : known.code4;
            return 0;
        }
    }
    return -1;
}

// A request that ended without a reply: the wait was over, or the system
// would not send it (Windows says it was denied; Wine, whose echo needs the
// Linux user's right to ICMP sockets, says nothing at all).
EchoAnswer noReply(EchoAnswer answer)
{
    const DWORD error = GetLastError();
    answer.outcome = error == ERROR_SUCCESS || error == ERROR_ACCESS_DENIED ? -2 : -1;
    return answer;
}

EchoAnswer readAnswer(Pending &pending)
{
    EchoAnswer answer;
    answer.arrivedMicros = pending.arrivedMicros;
    void *buffer = pending.reply.data();
    const DWORD size = static_cast<DWORD>(pending.reply.size());
    if (pending.ipv6) {
        if (Icmp6ParseReplies(buffer, size) == 0)
            return noReply(answer);
        const auto *reply = static_cast<const Icmp6EchoReply *>(buffer);
        answer.outcome = judgeStatus(reply->status, true, answer);
        answer.source.family = AF_INET6;
        std::memcpy(answer.source.bytes.data(), reply->address.address, 16);
    } else {
        if (IcmpParseReplies(buffer, size) == 0)
            return noReply(answer);
        const auto *reply = static_cast<const ICMP_ECHO_REPLY *>(buffer);
        answer.outcome = judgeStatus(reply->Status, false, answer);
        answer.source = NetAddress::ipv4(reply->Address);
    }
    return answer;
}

// The system's wait saw the request end: noted now, answered on the loop.
VOID CALLBACK requestEnded(PVOID context, BOOLEAN)
{
    auto *held = static_cast<std::shared_ptr<Pending> *>(context);
    std::shared_ptr<Pending> pending = std::move(*held);
    delete held;
    pending->arrivedMicros = SystemClock::instance().monotonicMicros();
    // A wait that has run once is given back from its own callback.
    UnregisterWaitEx(pending->wait, nullptr);
    std::lock_guard<std::mutex> lock(pending->mutex);
    if (pending->loop) {
        pending->loop->post([pending] {
            if (!pending->answer)
                return;
            const auto answer = std::move(pending->answer);
            pending->answer = nullptr;
            answer(readAnswer(*pending));
        });
    }
}

class HelperEcho final : public SystemEcho {
public:
    explicit HelperEcho(std::shared_ptr<Pending> pending) : pending_(std::move(pending)) {}
    ~HelperEcho() override
    {
        std::lock_guard<std::mutex> lock(pending_->mutex);
        pending_->loop = nullptr;
        pending_->answer = nullptr;
    }

private:
    std::shared_ptr<Pending> pending_;
};

} // namespace

std::unique_ptr<SystemEcho> startSystemEcho(EventLoop &loop, const NetAddress &to, const std::uint8_t *data,
                                            std::size_t size, int ttl, unsigned waitMs,
                                            std::function<void(const EchoAnswer &)> answer, int &error)
{
    auto pending = std::make_shared<Pending>();
    pending->loop = &loop;
    pending->answer = std::move(answer);
    pending->ipv6 = to.isIpv6();
    pending->data.assign(data, data + size);
    // Room for one reply with the data echoed, an error message's quote,
    // and what the functions add of their own.
    pending->reply.resize((pending->ipv6 ? sizeof(Icmp6EchoReply) : sizeof(ICMP_ECHO_REPLY)) + size + 8 + 256);
    pending->icmp = pending->ipv6 ? Icmp6CreateFile() : IcmpCreateFile();
    pending->event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (pending->icmp == INVALID_HANDLE_VALUE || !pending->event) {
        error = static_cast<int>(GetLastError());
        return nullptr;
    }
    auto *held = new std::shared_ptr<Pending>(pending);
    if (!RegisterWaitForSingleObject(&pending->wait, pending->event, &requestEnded, held, INFINITE,
                                     WT_EXECUTEONLYONCE)) {
        error = static_cast<int>(GetLastError());
        delete held;
        return nullptr;
    }
    IP_OPTION_INFORMATION options{};
    options.Ttl = static_cast<UCHAR>(ttl);
    const WORD requestSize = static_cast<WORD>(pending->data.size());
    const DWORD replySize = static_cast<DWORD>(pending->reply.size());
    DWORD sent = 0;
    if (pending->ipv6) {
        pending->source6.sin6_family = AF_INET6;
        sockaddr_storage destination{};
        to.toSocket(0, destination);
        std::memcpy(&pending->destination6, &destination, sizeof pending->destination6);
        sent = Icmp6SendEcho2(pending->icmp, pending->event, nullptr, nullptr, &pending->source6,
                              &pending->destination6, pending->data.data(), requestSize, &options,
                              pending->reply.data(), replySize, waitMs);
    } else {
        sent = IcmpSendEcho2(pending->icmp, pending->event, nullptr, nullptr, to.ipv4(), pending->data.data(),
                             requestSize, &options, pending->reply.data(), replySize, waitMs);
    }
    // With an event the call returns at once: ERROR_IO_PENDING while the
    // request runs. Anything else failed, and the event will not come.
    const DWORD status = sent == 0 ? GetLastError() : ERROR_SUCCESS;
    if (sent == 0 && status != ERROR_IO_PENDING) {
        // Taken back before the callback could run: it is ours to free.
        if (UnregisterWaitEx(pending->wait, INVALID_HANDLE_VALUE))
            delete held;
        error = static_cast<int>(status);
        return nullptr;
    }
    if (sent != 0)
        SetEvent(pending->event);
    return std::make_unique<HelperEcho>(std::move(pending));
}

} // namespace vigilon::net::icmp
