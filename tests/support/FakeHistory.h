// SPDX-License-Identifier: MIT
#pragma once

#include "app/HistoryReader.h"
#include "app/base/EventLoop.h"

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace vigilon::test {

// A kept history that answers from what a test put in it, later, from the
// event loop, as the real one does. Series it holds nothing for answer
// unknown uptimes and no outages. held keeps the answers back until
// release() posts them.
class FakeHistory final : public HistoryReader {
public:
    explicit FakeHistory(EventLoop &loop) : loop_(loop) {}

    std::map<SeriesKey, UptimeView> uptimes;
    std::map<SeriesKey, std::vector<OutageView>> outages;
    int uptimeAsks = 0;
    int outageAsks = 0;
    bool held = false;

    static SeriesKey key(const std::string &name, std::uint32_t port, std::uint32_t kind = 0,
                         const std::string &host = "127.0.0.1")
    {
        return SeriesKey{name, host, port, kind};
    }

    void uptimeOf(const SeriesKey &key, std::size_t outageLimit, std::function<void(UptimeView)> done) override
    {
        ++uptimeAsks;
        UptimeView view;
        if (const auto it = uptimes.find(key); it != uptimes.end())
            view = it->second;
        if (view.lastOutages.size() > outageLimit)
            view.lastOutages.resize(outageLimit);
        answer([done = std::move(done), view] { done(view); });
    }
    void outagesOf(const SeriesKey &key, std::size_t limit,
                   std::function<void(std::vector<OutageView>)> done) override
    {
        ++outageAsks;
        std::vector<OutageView> list;
        if (const auto it = outages.find(key); it != outages.end())
            list = it->second;
        if (list.size() > limit)
            list.resize(limit);
        answer([done = std::move(done), list] { done(list); });
    }
    void dayUptimes(std::function<void(std::vector<std::pair<SeriesKey, double>>)> done) override
    {
        std::vector<std::pair<SeriesKey, double>> all;
        for (const auto &[key, view] : uptimes)
            all.emplace_back(key, view.day);
        answer([done = std::move(done), all] { done(all); });
    }

    // Posts the answers held back.
    void release()
    {
        for (auto &answer : pending_)
            loop_.post(std::move(answer));
        pending_.clear();
    }

private:
    void answer(std::function<void()> fn)
    {
        if (held)
            pending_.push_back(std::move(fn));
        else
            loop_.post(std::move(fn));
    }

    EventLoop &loop_;
    std::vector<std::function<void()>> pending_;
};

} // namespace vigilon::test
