// SPDX-License-Identifier: MIT
#include "probes/SystemProbeFactory.h"

namespace vigilon {

namespace {
class ProbeCheck final : public SocketCheck {
public:
    explicit ProbeCheck(std::unique_ptr<CSocketProbe> probe) : probe_(std::move(probe)) {}
    int start(std::uint32_t port, const std::string &host, MonitorPort &entry) override
    {
        return probe_->start(port, host, entry);
    }
    int done() const override { return probe_->done(); }
    void detachEntry() override { probe_->detachEntry(); }
    MonitorPort *entry() const override { return probe_->entry(); }
    bool localFailure() const override { return probe_->localFailure(); }

private:
    std::unique_ptr<CSocketProbe> probe_;
};
} // namespace

SystemProbeFactory::SystemProbeFactory(EventLoop &loop) : resolver_(loop) {}

SystemProbeFactory::~SystemProbeFactory() = default;

std::unique_ptr<SocketCheck> SystemProbeFactory::makeSocketCheck(int kind, int mode, ProbeHost &owner)
{
    return std::make_unique<ProbeCheck>(makeSocketProbe(kind, mode, owner, &resolver_));
}

int SystemProbeFactory::runPingCheck(const std::string &host, MonitorPort &entry, ProbeHost &owner)
{
    if (!ping_ || pingOwner_ != &owner) {
        ping_ = std::make_unique<CPingCheck>(owner, nullptr, &resolver_);
        pingOwner_ = &owner;
    }
    const int outcome = ping_->run(host, entry);
    if (outcome != 1 && ping_->localFailure())
        return -1;
    return outcome;
}

void SystemProbeFactory::beginRound()
{
    resolver_.beginRound();
}

void SystemProbeFactory::cancelPingCheck()
{
    if (ping_)
        ping_->cancel();
}

} // namespace vigilon
