// SPDX-License-Identifier: MIT
#include "probes/SystemProbeFactory.h"

#include "probes/SocketUtil.h"

namespace vigilon {

namespace {
class ProbeCheck final : public SocketCheck {
public:
    explicit ProbeCheck(std::unique_ptr<CSocketProbe> probe) : probe_(std::move(probe)) {}
    bool start(std::uint32_t port, const std::string &host, MonitorPort &entry) override
    {
        return probe_->start(port, host, entry) == 1;
    }
    CheckProgress done() const override
    {
        switch (probe_->done()) {
        case 0:
            return CheckProgress::Running;
        case 2:
            return CheckProgress::TimedOut;
        default:
            return CheckProgress::Finished;
        }
    }
    void detachEntry() override { probe_->detachEntry(); }
    MonitorPort *entry() const override { return probe_->entry(); }
    bool localFailure() const override { return probe_->localFailure(); }
    FailureReason failureReason() const override { return probe_->failureReason(); }

private:
    std::unique_ptr<CSocketProbe> probe_;
};
} // namespace

SystemProbeFactory::SystemProbeFactory(EventLoop &loop)
    : resolver_(loop), pingSockets_(std::make_shared<PingSockets>(loop))
{
}

SystemProbeFactory::~SystemProbeFactory() = default;

std::unique_ptr<SocketCheck> SystemProbeFactory::makeSocketCheck(int kind, ProbeHost &owner)
{
    if (kind == PingProbeKind)
        return std::make_unique<ProbeCheck>(std::make_unique<CPingProbe>(owner, &resolver_, pingSockets_));
    return std::make_unique<ProbeCheck>(makeSocketProbe(kind, owner, &resolver_));
}

void SystemProbeFactory::beginRound()
{
    resolver_.beginRound();
    // The checks of the round go by one reading of the descriptor limit.
    net::readDescriptorLimit();
}

} // namespace vigilon
