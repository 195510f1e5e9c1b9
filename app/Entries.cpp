// SPDX-License-Identifier: MIT
// The entries as front ends see and change them.
#include "app/MainFrame.h"

#include "base/StringTable.h"
#include "base/TextFormat.h"
#include "app/text/FailureText.h"
#include "app/dialogs/PortSettingsForm.h"
#include "base/SecureRandom.h"
#include "metrics/EntriesApi.h"
#include "store/Settings.h"

#include <algorithm>
#include <cstdio>
#include <unordered_set>

namespace vigilon {

namespace {
char foldAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Equal without regard to the case of ASCII letters; every other byte, and
// so every multi-byte character, compares as it is.
bool sameNameIgnoringCase(const std::string &a, const std::string &b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (foldAscii(a[i]) != foldAscii(b[i]))
            return false;
    }
    return true;
}

// Whether name is the one composed for this kind and port in either
// language, letter case aside.
bool composedName(const std::string &name, std::uint32_t protocol, std::uint32_t port)
{
    for (const Language language : {Language::English, Language::Japanese}) {
        if (sameNameIgnoringCase(name, PortSettingsForm::composeName(static_cast<int>(protocol), port, language)))
            return true;
    }
    return false;
}

void applySettings(MonitorPort &entry, const EntrySettings &settings)
{
    entry.errorCount = 0;
    entry.lastErrorTime = 0;
    entry.lastReason = {};
    entry.lastReasonTime = 0;
    entry.retryCount = 0;
    entry.responseTime = 0;
    entry.responseMicros = 0;
    entry.port = settings.port;
    entry.protocol = settings.protocol;
    entry.command = settings.command;
    entry.threshold = settings.threshold;
    entry.certWarnDays = settings.certWarnDays;
    entry.certDaysKnown = false;
    entry.certDaysLeft = 0;
    entry.certExpiresAt = 0;
    entry.name = settings.name;
    entry.httpStatus = HttpStatusRule::fromText(settings.httpStatus);
    entry.host = settings.host;
    entry.udpMode = settings.udpMode;
    entry.udpPayload = settings.udpPayload;
    entry.udpExpect = settings.udpExpect;
    entry.request = settings.request;
    entry.intervalSeconds = settings.intervalSeconds;
    entry.retryLimit = settings.retryLimit;
    entry.timeoutMs = settings.timeoutMs;
    entry.dnsName = settings.dnsName;
    entry.dnsType = settings.dnsType;
    entry.dnsExpect = settings.dnsExpect;
    entry.pushToken = settings.pushToken;
    entry.channels = settings.channels;
    // The dialog checked the text; one that does not read keeps none.
    std::string why;
    if (!parseQuietWindows(settings.quietWindows, entry.quietWindows, why))
        entry.quietWindows.clear();
}
} // namespace

int CMainFrame::findDuplicate(const EntrySettings &settings, std::size_t except) const
{
    // Host names, like the names of the entries, know no letter case.
    const std::string &host = settings.host.empty() ? context_.targetHost : settings.host;
    for (std::size_t i = 0; i + 1 < ports_.size(); ++i) {
        const MonitorPort &entry = *ports_[i];
        // A name composed in the other language names the same entry.
        const bool sameName = sameNameIgnoringCase(entry.name, settings.name) ||
                              (entry.protocol == settings.protocol && entry.port == settings.port &&
                               composedName(entry.name, entry.protocol, entry.port) &&
                               composedName(settings.name, settings.protocol, settings.port));
        if (i != except && sameName &&
            sameNameIgnoringCase(checkedHost(entry, context_.targetHost), host))
            return static_cast<int>(i);
    }
    return -1;
}

EntryView CMainFrame::entryView(std::size_t row) const
{
    EntryView view;
    if (row >= ports_.size())
        return view;
    const MonitorPort &entry = *ports_[row];
    view.id = entry.id;
    view.placeholder = row + 1 == ports_.size();
    view.active = entry.active == 1;
    view.port = entry.port;
    view.protocol = entry.protocol;
    view.threshold = entry.threshold;
    view.errorCount = entry.errorCount;
    view.lastErrorTime = entry.lastErrorTime;
    view.responseTime = entry.responseTime;
    view.certWarnDays = entry.certWarnDays;
    view.certDaysKnown = entry.certDaysKnown;
    view.certDaysLeft = entry.certDaysLeft;
    view.status = entry.status;
    view.lastReason = entry.lastReason;
    view.lastReasonTime = entry.lastReasonTime;
    view.name = entry.name;
    view.command = entry.command;
    view.httpStatus = entry.httpStatus.text();
    view.host = entry.host;
    view.udpMode = entry.udpMode;
    view.udpPayload = entry.udpPayload;
    view.udpExpect = entry.udpExpect;
    view.pushToken = entry.pushToken;
    view.stableId = entryId(entry);
    view.request = entry.request;
    view.intervalSeconds = entry.intervalSeconds;
    view.retryLimit = entry.retryLimit;
    view.timeoutMs = entry.timeoutMs;
    view.dnsName = entry.dnsName;
    view.dnsType = entry.dnsType;
    view.dnsExpect = entry.dnsExpect;
    view.checkedHost = checkedHost(entry, context_.targetHost);
    view.uptimeDay = entry.uptimeDay;
    view.quietUntil = entry.quietUntil;
    view.quietWindows = quietWindowsText(entry.quietWindows);
    view.quiet = entry.quiet;
    view.channels = entry.channels;
    return view;
}

std::size_t CMainFrame::activeEntryCount() const
{
    std::size_t count = 0;
    for (const auto &entry : ports_)
        count += entry->active != 0 ? 1 : 0;
    return count;
}

bool CMainFrame::duplicates(const EntrySettings &settings, std::uint32_t except) const
{
    std::size_t row = static_cast<std::size_t>(-1);
    for (std::size_t i = 0; except != 0 && i + 1 < ports_.size(); ++i) {
        if (ports_[i]->id == except)
            row = i;
    }
    return findDuplicate(settings, row) >= 0;
}

int CMainFrame::findEntry(const std::string &name) const
{
    for (std::size_t i = 0; i < ports_.size(); ++i) {
        if (sameNameIgnoringCase(ports_[i]->name, name))
            return static_cast<int>(i);
    }
    return -1;
}

void CMainFrame::setRowImage(int row, int image)
{
    if (!mainDialog_ || row < 0)
        return;
    // A hidden list is brought up to date when it is shown, not with every
    // check.
    if (!dialogVisible_) {
        rowsBehind_ = true;
        if (static_cast<std::size_t>(row) < ports_.size())
            heldImages_[ports_[static_cast<std::size_t>(row)]->id] = image;
        return;
    }
    mainDialog_->setRowImage(row, image);
}

void CMainFrame::catchUpRows()
{
    if (!rowsBehind_ || !mainDialog_)
        return;
    rowsBehind_ = false;
    mainDialog_->refreshRows();
    // An image set since its row was last written (a check under way, a
    // failure the retry rule tolerates) shows over it, as it would have.
    for (std::size_t row = 0; row < ports_.size() && !heldImages_.empty(); ++row) {
        const auto held = heldImages_.find(ports_[row]->id);
        if (held != heldImages_.end())
            mainDialog_->setRowImage(static_cast<int>(row), held->second);
    }
    heldImages_.clear();
}

void CMainFrame::responseSample(std::uint32_t entryId, std::uint32_t valueMs, const std::string &line)
{
    if (graphs_) {
        graphs_->addSample(entryId, valueMs);
        graphs_->setFailureReason(entryId, line);
    }
}

void CMainFrame::updateRow(const MonitorPort &entry)
{
    const int row = rowOf(ports_, entry);
    if (!mainDialog_ || row < 0)
        return;
    if (!dialogVisible_) {
        rowsBehind_ = true;
        heldImages_.erase(entry.id);
        return;
    }
    mainDialog_->updateRow(row, entryView(static_cast<std::size_t>(row)));
}

MonitorPort *CMainFrame::realEntry(std::size_t row)
{
    return row + 1 < ports_.size() ? ports_[row].get() : nullptr;
}

std::string CMainFrame::entryId(const MonitorPort &entry) const
{
    if (!entry.stableId.empty() || entry.protocol == Push)
        return entry.stableId;
    return metrics::entryApiId(entry.protocol, checkedHost(entry, context_.targetHost), entry.port);
}

void CMainFrame::setTargetHost(const std::string &host)
{
    for (std::size_t i = 0; i + 1 < ports_.size(); ++i) {
        if (ports_[i]->host.empty())
            ports_[i]->stableId = entryId(*ports_[i]);
    }
    context_.targetHost = host;
}

bool CMainFrame::giveStableIds()
{
    // Most entries keep the id made of their kind, host and port, and the
    // store holds none for them; a heartbeat entry, which has no host or
    // port to tell it by, and an entry whose id another has already, get
    // one of random digits, which is stored.
    std::unordered_set<std::string> taken;
    bool given = false;
    for (std::size_t i = 0; i + 1 < ports_.size(); ++i) {
        MonitorPort &entry = *ports_[i];
        std::string id = entryId(entry);
        while (id.empty() || taken.count(id) != 0) {
            unsigned char bytes[8] = {};
            secureRandomBytes(bytes, sizeof bytes);
            char hex[17];
            for (std::size_t b = 0; b < sizeof bytes; ++b)
                std::snprintf(hex + 2 * b, 3, "%02x", bytes[b]);
            id = std::string(metrics::kindLabel(entry.protocol)) + '-' + hex;
            entry.stableId = id;
            given = true;
        }
        taken.insert(id);
    }
    return given;
}

CMainFrame::Change CMainFrame::addEntry(const EntrySettings &settings)
{
    if (ports_.empty())
        return Change::NoEntry;
    // Two entries of one kind and port on one host would watch the same.
    if (findDuplicate(settings) >= 0)
        return Change::Duplicate;
    MonitorPort &entry = *ports_.back();
    applySettings(entry, settings);
    entry.active = 0;
    entry.status = Idle;
    entry.stableId.clear();
    // The new placeholder first: the row shows an entry, not the placeholder.
    appendPlaceholder(ports_);
    ports_.back()->id = nextEntryId_++;
    giveStableIds();
    updateRow(entry);
    updateRow(*ports_.back());
    saveSettings();
    return Change::Done;
}

CMainFrame::Change CMainFrame::editEntry(std::size_t row, const EntrySettings &settings)
{
    MonitorPort *entry = realEntry(row);
    if (!entry)
        return Change::NoEntry;
    if (findDuplicate(settings, row) >= 0)
        return Change::Duplicate;
    engine_.entrySettingsChanging(*entry);
    // The id stays what it was, stored from now on if it was made of what
    // changes.
    entry->stableId = entryId(*entry);
    applySettings(*entry, settings);
    if (entry->protocol != Push &&
        entry->stableId == metrics::entryApiId(entry->protocol, checkedHost(*entry, context_.targetHost), entry->port))
        entry->stableId.clear();
    updateRow(*entry);
    saveSettings();
    return Change::Done;
}

CMainFrame::Change CMainFrame::deleteEntry(std::size_t row)
{
    MonitorPort *entry = realEntry(row);
    if (!entry)
        return Change::NoEntry;
    engine_.forgetEntry(*entry);
    const std::uint32_t id = entry->id;
    ports_.erase(ports_.begin() + static_cast<std::ptrdiff_t>(row));
    for (std::size_t i = row; i < ports_.size(); ++i)
        ports_[i]->rowHint = i;
    if (graphs_)
        graphs_->close(id);
    saveSettings();
    return Change::Done;
}

CMainFrame::Change CMainFrame::setEntryActive(std::size_t row, bool active)
{
    MonitorPort *entry = realEntry(row);
    if (!entry)
        return Change::NoEntry;
    entry->active = active ? 1 : 0;
    updateRow(*entry);
    saveSettings();
    return Change::Done;
}

void CMainFrame::openResponseMonitor(std::size_t row)
{
    MonitorPort *entry = realEntry(row);
    if (!entry || !entry->active || closed_)
        return;
    ResponseGraphParams params;
    params.fontFace = loadString(sid::UiFontFace);
    params.showGraph = 1;
    params.warningThreshold = entry->threshold;
    params.alpha = 200;
    params.recordToFile = 0;
    params.targetHost = checkedHost(*entry, context_.targetHost);
    params.sourceHost = localHostName_;
    params.seriesNames = entry->name;
    params.maxHistory = 200;
    const std::uint32_t id = entry->id;
    // The dialog nests the event loop: the entry may be deleted, or the
    // frame closed, before it returns.
    std::weak_ptr<bool> alive = alive_;
    if (!graphs_)
        return;
    graphs_->open(id, params, [this, alive, id] {
        if (!alive.lock() || closed_)
            return false;
        for (const auto &p : ports_) {
            if (p->id == id)
                return p->active == 1;
        }
        return false;
    });
    // A window opened on a failed entry tells why at once; on an HTTPS or
    // TLS entry, the days its certificate has left.
    if (!alive.lock() || closed_)
        return;
    for (const auto &p : ports_) {
        if (p->id == id && p->status == Failed)
            graphs_->setFailureReason(id, graphReasonLine(p->lastReason));
        else if (p->id == id && usesTls(p->protocol) && p->certDaysKnown)
            graphs_->setFailureReason(id, certDaysLine(p->certDaysLeft));
    }
}

const MonitorPort *CMainFrame::entryOfId(std::uint32_t entryId) const
{
    for (std::size_t row = 0; row + 1 < ports_.size(); ++row)
        if (ports_[row]->id == entryId)
            return ports_[row].get();
    return nullptr;
}

} // namespace vigilon

namespace vigilon {

void CMainFrame::setQuiet(const std::vector<std::size_t> &rows, QuietChoice choice)
{
    const std::int64_t until = quietUntilFor(choice, context_.clock->nowSeconds());
    bool changed = false;
    for (const std::size_t row : rows) {
        MonitorPort *entry = realEntry(row);
        if (!entry || entry->quietUntil == until)
            continue;
        engine_.setQuietUntil(*entry, until);
        changed = true;
    }
    if (changed)
        saveSettings();
}

} // namespace vigilon
