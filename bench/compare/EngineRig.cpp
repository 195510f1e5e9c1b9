// SPDX-License-Identifier: MIT
#include "tests/support/FrameTestPeer.h"
#include "bench/compare/EngineRig.h"

#include "store/Settings.h"

namespace vigilon::bench {

namespace {

class QuietTray final : public TrayIcon {
public:
    bool add(unsigned, const std::string &) override { return true; }
    void modify(unsigned, const std::string &) override {}
    void remove() override {}
    void setItemChecked(unsigned, bool) override {}
    void setItemEnabled(unsigned, bool) override {}
};

class QuietAbout final : public AboutBoxView {
public:
    void show() override {}
    void hide() override {}
};

class QuietUi final : public FrameUi {
public:
    std::unique_ptr<TrayIcon> createTrayIcon(Monitor &) override { return std::make_unique<QuietTray>(); }
    // No main dialog: the rounds alone are measured.
    MainDialogWindow *createMainDialog(DialogFace &, std::shared_ptr<MainDialogController>) override { return nullptr; }
    std::unique_ptr<AboutBoxView> createAboutBox(Monitor &) override { return std::make_unique<QuietAbout>(); }
    bool runResponseMonitorDialog(ResponseGraphParams &) override { return false; }
    std::unique_ptr<ResponseGraph> createResponseGraph(const ResponseGraphParams &, std::function<void()>) override
    {
        return nullptr;
    }
    void showOutages(DialogFace &, std::uint32_t, const std::string &) override {}
    void quit() override {}
};

// Answers every question as a user who agrees would, and counts them.
class AgreeingPrompter final : public Prompter {
public:
    void notice(const std::string &, const std::string &, unsigned) override {}
    int messageBox(const std::string &, const std::string &, unsigned style) override
    {
        ++asked;
        return (style & mb::ButtonMask) == mb::YesNo ? mb::IdYes : mb::IdOk;
    }
    std::string fileDialog(const FileDialogRequest &) override { return {}; }
    std::size_t asked = 0;
};

class QuietSockets final : public SocketLibrary {
public:
    bool startup() override { return true; }
    void cleanup() override {}
    bool hostName(std::string &name) override
    {
        name = "bench";
        return true;
    }
};

} // namespace

// Stands between the probes and the frame: every result is counted and
// timed, then handed on unchanged.
class EngineRig::Parts final : public ProbeFactory {
public:
    explicit Parts(EventLoop &loop) : system_(loop) {}

    // A system check whose reports pass through the rig on their way.
    class Tapped final : public SocketCheck, private ProbeHost {
    public:
        Tapped(Parts &parts, ProbeHost &owner, int kind)
            : parts_(parts)
            , owner_(owner)
            , inner_(parts.system_.makeSocketCheck(kind, *this))
        {
        }
        bool start(std::uint32_t port, const std::string &host, MonitorPort &entry) override
        {
            return inner_->start(port, host, entry);
        }
        CheckProgress done() const override { return inner_->done(); }
        void detachEntry() override { inner_->detachEntry(); }
        MonitorPort *entry() const override { return inner_->entry(); }
        bool localFailure() const override { return inner_->localFailure(); }

    private:
        void reportResult(ProbeResult result, MonitorPort &entry) override
        {
            parts_.note(result == ProbeResult::Answered);
            owner_.reportResult(result, entry);
        }
        EventLoop &eventLoop() override { return owner_.eventLoop(); }
        const Clock &clock() const override { return owner_.clock(); }

        Parts &parts_;
        ProbeHost &owner_;
        std::unique_ptr<SocketCheck> inner_;
    };

    std::unique_ptr<SocketCheck> makeSocketCheck(int kind, ProbeHost &owner) override
    {
        return std::make_unique<Tapped>(*this, owner, kind);
    }
    void beginRound() override { system_.beginRound(); }

    void note(bool success)
    {
        lastMicros = SystemClock::instance().monotonicMicros();
        ++results;
        if (!success)
            ++failures;
    }

    CMainFrame *frame = nullptr;
    std::size_t results = 0;
    std::size_t failures = 0;
    std::uint64_t lastMicros = 0;
    QuietUi ui;
    AgreeingPrompter prompter;
    QuietSockets sockets;

private:
    SystemProbeFactory system_;
};

EngineRig::EngineRig(const std::vector<Entry> &entries, const std::string &targetHost)
    : EngineRig(entries, targetHost, std::make_unique<PollEventLoop>())
{
}

EngineRig::EngineRig(const std::vector<Entry> &entries, const std::string &targetHost,
                     std::unique_ptr<PollEventLoop> own)
    : EngineRig(entries, targetHost, *own, [loop = own.get()](const std::function<bool()> &done,
                                                              unsigned timeoutMs) { loop->runUntil(done, timeoutMs); })
{
    ownLoop_ = std::move(own);
}

EngineRig::EngineRig(const std::vector<Entry> &entries, const std::string &targetHost, EventLoop &loop,
                     RunUntil runUntil)
    : loop_(loop)
    , runUntil_(std::move(runUntil))
    , parts_(std::make_unique<Parts>(loop_))
{
    PortList list;
    for (const Entry &e : entries) {
        auto entry = std::make_unique<MonitorPort>();
        entry->active = 1;
        entry->port = e.port;
        entry->protocol = e.protocol;
        entry->name = "bench " + std::to_string(e.port);
        list.push_back(std::move(entry));
    }
    appendPlaceholder(list);
    // A long interval: the rounds are run by hand, the poll timer never fires.
    if (saveSettings(registry_, targetHost, 3600, 1, list) != reg::Status::Ok)
        return;

    FrameContext context;
    context.targetGiven = true;
    context.targetHost = targetHost;
    context.loop = &loop_;
    context.clock = &SystemClock::instance();
    context.prompter = &parts_->prompter;
    context.registry = &registry_;
    context.ui = &parts_->ui;
    context.sockets = &parts_->sockets;
    context.probes = parts_.get();
    context.runCommand = [](const std::string &) { return 0; };
    frame_ = std::make_unique<CMainFrame>(context);
    parts_->frame = frame_.get();
    created_ = frame_->create() && realEntryCount(FrameTestPeer::ports(*frame_)) == entries.size();
}

EngineRig::~EngineRig()
{
    if (frame_)
        frame_->exitNow();
    frame_.reset();
    parts_->frame = nullptr;
}

void EngineRig::startMonitoring()
{
    frame_->toggleMonitoring(true);
}

void EngineRig::runRound()
{
    FrameTestPeer::engine(*frame_).runRound(RoundKind::Regular);
}

bool EngineRig::waitForResults(std::size_t results, unsigned timeoutMs)
{
    runUntil_([&] { return parts_->results >= results; }, timeoutMs);
    return parts_->results >= results;
}

void EngineRig::idle(unsigned timeoutMs)
{
    runUntil_([] { return false; }, timeoutMs);
}

void EngineRig::resetCount()
{
    parts_->results = 0;
    parts_->failures = 0;
}

std::size_t EngineRig::resultCount() const
{
    return parts_->results;
}

std::size_t EngineRig::failureCount() const
{
    return parts_->failures;
}

std::uint64_t EngineRig::lastResultMicros() const
{
    return parts_->lastMicros;
}

std::size_t EngineRig::questionsAsked() const
{
    return parts_->prompter.asked;
}

RoundTimes runRounds(EngineRig &rig, std::size_t entries, unsigned rounds)
{
    RoundTimes out;
    out.times.resize(entries);
    for (unsigned i = 0; i < rounds && rig.created(); ++i) {
        rig.resetCount();
        for (std::size_t e = 0; e < entries; ++e)
            rig.entry(e).responseMicros = 0;
        const std::uint64_t begin = SystemClock::instance().monotonicMicros();
        if (i == 0)
            rig.startMonitoring();
        else
            rig.runRound();
        if (!rig.waitForResults(entries, 4000)) {
            out.failures += entries - rig.resultCount();
        } else {
            out.failures += rig.failureCount();
            out.roundsMs.push_back(double(rig.lastResultMicros() - begin) / 1000.0);
            for (std::size_t e = 0; e < entries; ++e) {
                if (rig.entry(e).responseMicros != 0)
                    out.times[e].push_back(double(rig.entry(e).responseMicros) / 1000.0);
            }
        }
        rig.idle(1);
    }
    return out;
}

} // namespace vigilon::bench
