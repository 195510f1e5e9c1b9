// SPDX-License-Identifier: MIT
#pragma once

#include "base/HistoryReader.h"
#include "base/EventLoop.h"

#include <algorithm>
#include <functional>
#include <map>
#include <vector>

namespace vigilon::test {

// A kept history that answers from what a test put in it, later, from the
// event loop, as the real one does; a series it holds nothing of has
// unknown uptimes and no outages. While held, answers wait for release().
class FakeHistory final : public HistoryReader {
public:
    explicit FakeHistory(EventLoop &loop) : loop_(loop) {}

    std::map<SeriesKey, UptimeView> uptimes;
    std::map<SeriesKey, std::vector<OutageView>> outages;
    int uptimeAsks = 0; // uptimeOf() calls
    bool held = false;

    static SeriesKey key(const std::string &name, std::uint32_t port, std::uint32_t kind = 0,
                         const std::string &host = "127.0.0.1")
    {
        return SeriesKey{name, host, port, kind};
    }

    void uptimeOf(const SeriesKey &key, std::size_t outageLimit, std::function<void(UptimeView)> done) override
    {
        ++uptimeAsks;
        UptimeView view = uptimes.count(key) ? uptimes[key] : UptimeView{};
        view.lastOutages.resize(std::min(outageLimit, view.lastOutages.size()));
        answer([done = std::move(done), view] { done(view); });
    }
    void outagesOf(const SeriesKey &key, std::size_t limit,
                   std::function<void(std::vector<OutageView>)> done) override
    {
        std::vector<OutageView> list = outages.count(key) ? outages[key] : std::vector<OutageView>{};
        list.resize(std::min(limit, list.size()));
        answer([done = std::move(done), list] { done(list); });
    }
    void dayUptimes(std::function<void(std::vector<std::pair<SeriesKey, double>>)> done) override
    {
        std::vector<std::pair<SeriesKey, double>> all;
        for (const auto &[key, view] : uptimes)
            all.emplace_back(key, view.day);
        answer([done = std::move(done), all] { done(all); });
    }

    void release()
    {
        for (auto &answer : held_)
            loop_.post(std::move(answer));
        held_.clear();
    }

private:
    void answer(std::function<void()> fn) { held ? held_.push_back(std::move(fn)) : loop_.post(std::move(fn)); }

    EventLoop &loop_;
    std::vector<std::function<void()>> held_;
};

} // namespace vigilon::test
