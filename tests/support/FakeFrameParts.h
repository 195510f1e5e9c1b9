// SPDX-License-Identifier: MIT
#pragma once

#include "app/FrameUi.h"
#include "app/MainFrame.h"
#include "base/ProbeFactory.h"
#include "base/Prompter.h"
#include "tests/support/FakeDialogControls.h"
#include "tests/support/FakePrompter.h"

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace vigilon::test {

// Records every call of the frame's windows in one journal, so that tests can
// check the order of creation steps.
struct Journal {
    std::vector<std::string> lines;
    void add(std::string line) { lines.push_back(std::move(line)); }
    // Index of the first line equal to line, or -1.
    int indexOf(const std::string &line) const
    {
        const auto at = std::find(lines.begin(), lines.end(), line);
        return at == lines.end() ? -1 : static_cast<int>(at - lines.begin());
    }
    bool contains(const std::string &line) const { return indexOf(line) >= 0; }
};

// A fake window that writes its calls into the journal.
class Journaled {
public:
    explicit Journaled(Journal &journal) : journal_(journal) {}

protected:
    Journal &journal_;
};

// The main dialog's window on fake controls: the frame's rules fill them as
// they fill a front end's, and the calls a test looks for are journaled.
class FakeMainDialog final : public FakeDialogControls, public MainDialogWindow, Journaled {
public:
    FakeMainDialog(Journal &journal, std::shared_ptr<MainDialogController> rules)
        : Journaled(journal)
        , rules_(std::move(rules))
    {
        this->rules = rules_.get();
        rules_->bind(*this);
        rules_->init();
    }
    void showWindow() override
    {
        visible = true;
        journal_.add("dialog.show");
        // A front end's window refreshes its state controls whenever it is shown.
        rules_->updateStateControls();
    }
    void hideWindow() override
    {
        visible = false;
        journal_.add("dialog.hide");
    }
    void release() override
    {
        rules_->retire();
        rules = nullptr;
        journal_.add("dialog.destroy");
    }
    void setSettingsEnabled(bool enabled) override
    {
        FakeDialogControls::setSettingsEnabled(enabled);
        journal_.add(std::string("dialog.state ") + (enabled ? "0" : "1"));
    }
    void setRow(int row, const RowContent &content) override
    {
        FakeDialogControls::setRow(row, content);
        images[row] = content.image;
        updatedRows.push_back(row);
    }
    void setRowImage(int row, int image) override
    {
        FakeDialogControls::setRowImage(row, image);
        images[row] = image;
        imageHistory.push_back({row, image});
        if (onRowImage)
            onRowImage(row, image);
    }
    bool monitoring() const { return rules_->monitoring(); }

    bool visible = false;
    std::function<void(int row, int image)> onRowImage;
    std::vector<int> updatedRows;
    std::vector<std::pair<int, int>> imageHistory;
    std::map<int, int> images;

private:
    std::shared_ptr<MainDialogController> rules_;
};

// An entry's graph window: what it was given, kept in its record.
struct FakeGraphRecord {
    std::vector<std::uint32_t> samples;
    std::vector<std::string> reasons;
    bool open = false;
};
class FakeGraphWindow final : public ResponseGraph {
public:
    explicit FakeGraphWindow(FakeGraphRecord &record) : record_(record) { record_.open = true; }
    ~FakeGraphWindow() override { record_.open = false; }
    void addSample(std::uint32_t valueMs) override { record_.samples.push_back(valueMs); }
    void setFailureReason(const std::string &line) override { record_.reasons.push_back(line); }

private:
    FakeGraphRecord &record_;
};

class FakeAboutBox final : public AboutBoxView, Journaled {
public:
    using Journaled::Journaled;
    void show() override { journal_.add("about.show"); }
    void hide() override { journal_.add("about.hide"); }
};

class FakeTray final : public TrayIcon, Journaled {
public:
    using Journaled::Journaled;
    bool add(unsigned icon, const std::string &tip) override
    {
        journal_.add("tray.add " + std::to_string(icon));
        if (!available)
            return false;
        shown = true;
        this->icon = icon;
        this->tip = tip;
        return true;
    }
    void modify(unsigned icon, const std::string &tip) override
    {
        if (icon)
            this->icon = icon;
        this->tip = tip;
        ++modifications;
    }
    void remove() override
    {
        shown = false;
        journal_.add("tray.remove");
    }
    void setItemChecked(unsigned command, bool checked) override { this->checked[command] = checked; }
    void setItemEnabled(unsigned command, bool enabled) override { this->enabled[command] = enabled; }
    void notify(const std::string &summary, const std::string &body, bool failure) override
    {
        notices.push_back({summary, body, failure});
    }
    struct Notice {
        std::string summary, body;
        bool failure;
    };
    std::vector<Notice> notices;

    bool available = true;
    bool shown = false;
    unsigned icon = 0;
    std::string tip;
    int modifications = 0;
    std::map<unsigned, bool> checked;
    std::map<unsigned, bool> enabled;
};

class FakeFrameUi final : public FrameUi {
public:
    std::unique_ptr<TrayIcon> createTrayIcon(Monitor &) override
    {
        journal.add("tray.create");
        auto t = std::make_unique<FakeTray>(journal);
        t->available = trayAvailable;
        tray = t.get();
        return t;
    }
    MainDialogWindow *createMainDialog(DialogFace &frame, std::shared_ptr<MainDialogController> rules) override
    {
        journal.add("dialog.create");
        dialogFace = &frame;
        if (makeDialog)
            return makeDialog(frame, std::move(rules));
        dialogs.push_back(std::make_unique<FakeMainDialog>(journal, std::move(rules)));
        dialog = dialogs.back().get();
        return dialog;
    }
    std::unique_ptr<AboutBoxView> createAboutBox(Monitor &) override
    {
        journal.add("about.create");
        return std::make_unique<FakeAboutBox>(journal);
    }
    // The response monitor dialog takes the defaults as they are; the graph
    // windows record what they are given, by the series' name.
    bool runResponseMonitorDialog(ResponseGraphParams &params) override
    {
        lastParams = params;
        graphsAsked.push_back(params.seriesNames);
        return true;
    }
    std::unique_ptr<ResponseGraph> createResponseGraph(const ResponseGraphParams &params,
                                                       std::function<void()>) override
    {
        return std::make_unique<FakeGraphWindow>(graphs[params.seriesNames]);
    }
    void showOutages(DialogFace &, std::uint32_t entryId, const std::string &) override
    {
        outagesShown.push_back(entryId);
    }
    void quit() override
    {
        journal.add("ui.quit");
        dialog = nullptr;
        tray = nullptr;
    }

    Journal journal;
    // Makes the main dialog instead of the recording one (dialog stays null).
    std::function<MainDialogWindow *(DialogFace &, std::shared_ptr<MainDialogController>)> makeDialog;
    bool trayAvailable = true;
    FakeTray *tray = nullptr;
    FakeMainDialog *dialog = nullptr;
    std::vector<std::unique_ptr<FakeMainDialog>> dialogs;
    // The face the frame turned to its main dialog.
    DialogFace *dialogFace = nullptr;
    ResponseGraphParams lastParams;
    std::vector<std::string> graphsAsked;
    std::map<std::string, FakeGraphRecord> graphs;
    std::vector<std::uint32_t> outagesShown;
};

class FakeSocketLibrary final : public SocketLibrary, Journaled {
public:
    using Journaled::Journaled;
    bool startup() override
    {
        journal_.add("sockets.startup");
        return startupWorks;
    }
    void cleanup() override { journal_.add("sockets.cleanup"); }
    bool hostName(std::string &name) override
    {
        if (!hostNameWorks)
            return false;
        name = "testhost";
        return true;
    }

    bool startupWorks = true;
    bool hostNameWorks = true;
};

// Socket checks whose outcome the test decides.
class FakeProbeFactory final : public ProbeFactory {
public:
    class Check final : public SocketCheck {
    public:
        Check(FakeProbeFactory &factory, int kind, ProbeHost &owner)
            : factory_(factory)
            , kind_(kind)
            , owner_(owner)
        {
        }
        bool start(std::uint32_t port, const std::string &, MonitorPort &entry) override
        {
            entry_ = &entry;
            factory_.started.push_back({kind_, port});
            short_ = factory_.localShortage ||
                     (factory_.capacity >= 0 && factory_.pending.size() >= std::size_t(factory_.capacity));
            if (short_)
                return false;
            factory_.pending.push_back(this);
            // Like the real probes, a check may report from inside start().
            if (factory_.outcomeAtStart >= 0)
                finish(factory_.outcomeAtStart == 1 && factory_.failingPorts.count(port) == 0,
                       factory_.responseAtStart);
            return true;
        }
        CheckProgress done() const override { return done_; }
        void detachEntry() override { entry_ = nullptr; }
        MonitorPort *entry() const override { return entry_; }
        bool localFailure() const override { return short_; }

        // Finishes an asynchronous check.
        void finish(bool success, std::uint32_t responseMs = 0)
        {
            auto &p = factory_.pending;
            p.erase(std::remove(p.begin(), p.end(), this), p.end());
            if (entry_)
                entry_->responseTime = responseMs;
            report(success ? ProbeResult::Answered : ProbeResult::Failed);
        }
        // Reports either result, as a probe would. A failure may be a
        // timeout, which a late success can follow.
        void report(ProbeResult result)
        {
            done_ = result == ProbeResult::Failed ? CheckProgress::TimedOut : CheckProgress::Finished;
            if (entry_)
                owner_.reportResult(result, *entry_);
        }
        ~Check() override
        {
            ++factory_.destroyed;
            auto &p = factory_.pending;
            p.erase(std::remove(p.begin(), p.end(), this), p.end());
        }

    private:
        FakeProbeFactory &factory_;
        int kind_;
        ProbeHost &owner_;
        MonitorPort *entry_ = nullptr;
        CheckProgress done_ = CheckProgress::Running;
        bool short_ = false;
    };

    struct Started {
        int kind;
        std::uint32_t port;
    };

    std::unique_ptr<SocketCheck> makeSocketCheck(int kind, ProbeHost &owner) override
    {
        if (!makeWorks)
            return nullptr;
        return std::make_unique<Check>(*this, kind, owner);
    }
    void beginRound() override { ++rounds; }

    // Finishes every pending asynchronous check alike.
    void finishAll(bool success, std::uint32_t responseMs = 0)
    {
        const auto now = pending;
        for (Check *c : now)
            c->finish(success, responseMs);
        if (afterReports)
            afterReports();
    }

    std::vector<Started> started;
    std::vector<Check *> pending;
    std::size_t destroyed = 0;
    bool makeWorks = true;
    // Every start fails for want of a local resource.
    bool localShortage = false;
    // Checks that may be under way at once; beyond them start() runs short.
    int capacity = -1;
    // 1 or 0: every check reports this outcome from inside start(); -1:
    // checks stay pending until the test finishes them.
    int outcomeAtStart = -1;
    std::uint32_t responseAtStart = 0;
    // Ports whose checks fail when outcomeAtStart is 1.
    std::set<std::uint32_t> failingPorts;
    int rounds = 0;
    // Runs after finishAll(): the rest of the loop's pass.
    std::function<void()> afterReports;
};

} // namespace vigilon::test
