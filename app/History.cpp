// SPDX-License-Identifier: MIT
// The history as the frame keeps and reads it: whether checks are recorded,
// the uptimes of the list and the outages of one entry.
#include "app/MainFrame.h"

#include "store/Settings.h"

#include <algorithm>
#include <cstdio>
#include <memory>

namespace vigilon {

void CMainFrame::setHistoryKept(bool on)
{
    if (on == historyKept_)
        return;
    historyKept_ = on;
    if (context_.keepHistory)
        context_.keepHistory(on);
    refreshUptimes();
    if (storeUnreadable_)
        return;
    if (const reg::Status status = saveHistoryKept(*context_.registry, on); status != reg::Status::Ok)
        std::fprintf(stderr, "vigilon: the history setting could not be saved: %s\n", reg::statusText(status));
}

SeriesKey CMainFrame::seriesKey(const MonitorPort &entry) const
{
    return {entry.name, checkedHost(entry, context_.targetHost), entry.port, entry.protocol};
}

bool CMainFrame::requestUptime(std::uint32_t entryId, std::function<void(UptimeView)> done)
{
    const MonitorPort *entry = entryOfId(entryId);
    if (!context_.history || !entry)
        return false;
    context_.history->uptimeOf(seriesKey(*entry), 5, std::move(done));
    return true;
}

bool CMainFrame::requestOutages(std::uint32_t entryId, std::size_t limit,
                                std::function<void(std::vector<OutageView>)> done)
{
    const MonitorPort *entry = entryOfId(entryId);
    if (!context_.history || !entry)
        return false;
    context_.history->outagesOf(seriesKey(*entry), limit, std::move(done));
    return true;
}

void CMainFrame::refreshUptimes()
{
    if (!context_.history)
        return;
    context_.history->dayUptimes([this, alive = std::weak_ptr<bool>(alive_)](auto uptimes) {
        if (alive.expired() || closed_)
            return;
        std::sort(uptimes.begin(), uptimes.end());
        for (std::size_t row = 0; row + 1 < ports_.size(); ++row) {
            MonitorPort &entry = *ports_[row];
            const SeriesKey key = seriesKey(entry);
            const auto found = std::lower_bound(uptimes.begin(), uptimes.end(), key,
                                                [](const auto &item, const SeriesKey &k) { return item.first < k; });
            const double uptime = found != uptimes.end() && found->first == key ? found->second : -1.0;
            if (uptime != entry.uptimeDay) {
                entry.uptimeDay = uptime;
                engine_.showRowLater(entry);
            }
        }
    });
}

} // namespace vigilon
