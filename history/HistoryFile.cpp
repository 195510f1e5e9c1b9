// SPDX-License-Identifier: MIT
#include "history/HistoryFile.h"

#include "base/TextFormat.h"
#include "base/Utf8Path.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <bitset>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <set>
#include <system_error>

namespace vigilon::history {

namespace {

namespace fs = std::filesystem;

// Paths are UTF-8 everywhere in the program.
fs::path fsPath(const std::string &path)
{
    return pathFromUtf8(path);
}

bool exists(const std::string &path)
{
    std::error_code error;
    return fs::exists(fsPath(path), error);
}

// A statement for the length of a scope. One of the writer's, used for
// every check, is prepared once and kept in cache.
class Statement {
public:
    Statement(sqlite3 *db, const std::string &sql, std::unordered_map<std::string, sqlite3_stmt *> *cache = nullptr)
        : cache_(cache)
    {
        if (cache) {
            if (const auto found = cache->find(sql); found != cache->end()) {
                stmt_ = found->second;
                return;
            }
        }
        prepared_ = sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt_, nullptr);
        if (prepared_ != SQLITE_OK)
            stmt_ = nullptr;
        else if (cache)
            (*cache)[sql] = stmt_;
    }
    ~Statement()
    {
        if (cache_ && stmt_) {
            sqlite3_reset(stmt_);
            sqlite3_clear_bindings(stmt_);
        } else {
            sqlite3_finalize(stmt_);
        }
    }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    explicit operator bool() const { return stmt_ != nullptr; }
    Statement &bind(int index, std::int64_t value)
    {
        sqlite3_bind_int64(stmt_, index, value);
        return *this;
    }
    Statement &bind(int index, const std::string &text)
    {
        sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement &blob(int index, const std::string &data)
    {
        sqlite3_bind_blob(stmt_, index, data.data(), static_cast<int>(data.size()), SQLITE_TRANSIENT);
        return *this;
    }
    // SQLITE_ROW, SQLITE_DONE or an error, the preparation's included.
    int step() { return stmt_ ? sqlite3_step(stmt_) : prepared_; }
    bool run() { return step() == SQLITE_DONE; }
    std::int64_t integer(int column) const { return sqlite3_column_int64(stmt_, column); }
    bool isNull(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }
    std::string text(int column) const
    {
        const auto *data = static_cast<const char *>(sqlite3_column_blob(stmt_, column));
        return data ? std::string(data, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column))) : std::string();
    }

private:
    std::unordered_map<std::string, sqlite3_stmt *> *cache_ = nullptr;
    sqlite3_stmt *stmt_ = nullptr;
    int prepared_ = SQLITE_OK;
};

// Made in one transaction: a file of an earlier layout gains the tables it
// lacks, its rows kept as they are.
const char *const kSchema = R"(
BEGIN;
CREATE TABLE IF NOT EXISTS series(id INTEGER PRIMARY KEY, name TEXT NOT NULL, host TEXT NOT NULL,
    port INTEGER NOT NULL, kind INTEGER NOT NULL, UNIQUE(name, host, port, kind));
CREATE TABLE IF NOT EXISTS raw(series INTEGER NOT NULL, hour INTEGER NOT NULL,
    rolled INTEGER NOT NULL DEFAULT 0, data BLOB NOT NULL, PRIMARY KEY(series, hour));
CREATE TABLE IF NOT EXISTS minutes(series INTEGER NOT NULL, day INTEGER NOT NULL, data BLOB NOT NULL,
    PRIMARY KEY(series, day));
CREATE TABLE IF NOT EXISTS hours(series INTEGER NOT NULL, block INTEGER NOT NULL, data BLOB NOT NULL,
    PRIMARY KEY(series, block));
CREATE TABLE IF NOT EXISTS outages(id INTEGER PRIMARY KEY, series INTEGER NOT NULL, start INTEGER NOT NULL,
    ended INTEGER NOT NULL DEFAULT 0, unobserved INTEGER NOT NULL DEFAULT 0, kind INTEGER NOT NULL,
    type INTEGER NOT NULL, code INTEGER NOT NULL, icmp6 INTEGER NOT NULL, alert INTEGER NOT NULL);
CREATE INDEX IF NOT EXISTS outages_by_series ON outages(series, start);
CREATE TABLE IF NOT EXISTS batches(id INTEGER PRIMARY KEY, hour INTEGER NOT NULL, data BLOB NOT NULL);
CREATE TABLE IF NOT EXISTS raw_closed(id INTEGER PRIMARY KEY, data BLOB NOT NULL);
CREATE TABLE IF NOT EXISTS summaries(id INTEGER PRIMARY KEY, hourly BLOB NOT NULL, minutes BLOB NOT NULL);
CREATE TABLE IF NOT EXISTS hour_days(id INTEGER PRIMARY KEY, data BLOB NOT NULL);
CREATE TABLE IF NOT EXISTS quiet_spans(id INTEGER PRIMARY KEY, series INTEGER NOT NULL, start INTEGER NOT NULL,
    ended INTEGER NOT NULL DEFAULT 0);
COMMIT;
)";

bool isDamage(int code)
{
    code &= 0xff;
    return code == SQLITE_NOTADB || code == SQLITE_CORRUPT;
}

// What open() returns for a database with tables of another program.
constexpr int kNotHistory = -1;


// What SQLite said, on one line, as every notice is: an integrity check
// gives a line per fault.
std::string oneLine(const std::string &text)
{
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            if (!line.empty() && i + 1 < text.size())
                line += "; ";
        } else if (text[i] != '\r') {
            line += text[i];
        }
    }
    if (line.size() > 200)
        line = line.substr(0, 197) + "...";
    return escapeControls(line);
}

} // namespace

bool isHistoryTable(const std::string &name)
{
    for (const char *ours : {"series", "raw", "minutes", "hours", "outages", "outages_by_series", "batches",
                             "raw_closed", "summaries", "hour_days", "outbox", "quiet_spans"})
        if (name == ours)
            return true;
    return name.rfind("sqlite_", 0) == 0;
}

HistoryFile::~HistoryFile()
{
    close();
}

void HistoryFile::close()
{
    for (const auto &[sql, statement] : statements_)
        sqlite3_finalize(statement);
    statements_.clear();
    if (db_)
        sqlite3_close_v2(db_);
    db_ = nullptr;
    keys_.clear();
    ids_.clear();
    batch_.clear();
    lateDays_.clear();
    quiet_.clear();
}

bool HistoryFile::exec(const char *sql)
{
    return db_ && sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool HistoryFile::begin()
{
    return exec("BEGIN IMMEDIATE");
}

bool HistoryFile::commit()
{
    if (flushBatch() && exec("COMMIT"))
        return true;
    exec("ROLLBACK");
    batch_.clear();
    return false;
}

bool HistoryFile::flushBatch()
{
    bool ok = true;
    for (const auto &[hour, data] : batch_) {
        Statement insert(db_, "INSERT INTO batches(hour, data) VALUES (?, ?)", &statements_);
        ok = insert.bind(1, hour).blob(2, data).run() && ok;
    }
    batch_.clear();
    return ok;
}

HistoryFile::Opened HistoryFile::open(const std::string &path, std::string &said)
{
    close();
    path_ = path;
    std::error_code error;
    fs::create_directories(fsPath(path).parent_path(), error);
    const std::string shown = escapeControls(path);
    std::string why;
    if (!prepareFile(path, why)) {
        said = "the history file " + shown + " cannot be used (" + why + "); monitoring goes on without history";
        return Opened::Unavailable;
    }

    // 0: opened; otherwise the SQLite code that stopped it (or kNotHistory),
    // and what it said.
    const auto attempt = [this, &path](std::string &why) -> int {
        int code = sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        if (code == SQLITE_OK) {
            sqlite3_extended_result_codes(db_, 1);
            // Another user of the file is waited for briefly, never long:
            // the worker has checks to write.
            sqlite3_busy_timeout(db_, 200);
            const auto step = [this, &why](const char *sql, const char *want) -> int {
                Statement statement(db_, sql);
                const int rc = statement.step();
                if (rc == SQLITE_ROW && want && statement.text(0) != want) {
                    why = statement.text(0);
                    return SQLITE_CORRUPT;
                }
                if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
                    why = sqlite3_errmsg(db_);
                    return rc ? rc : SQLITE_ERROR;
                }
                return SQLITE_OK;
            };
            // Another program's database is left as it is: nothing is
            // written to it, its journal mode included.
            {
                Statement names(db_, "SELECT name FROM sqlite_master");
                while ((code = names.step()) == SQLITE_ROW) {
                    if (!isHistoryTable(names.text(0))) {
                        why = "a database of another program";
                        code = kNotHistory;
                        break;
                    }
                }
                if (code == SQLITE_DONE)
                    code = SQLITE_OK;
                else if (code != kNotHistory)
                    why = sqlite3_errmsg(db_);
            }
            if (code == SQLITE_OK)
                code = step("PRAGMA journal_mode=WAL", nullptr);
            if (code == SQLITE_OK)
                code = step("PRAGMA quick_check", "ok");
            if (code == SQLITE_OK && sqlite3_exec(db_, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK) {
                code = sqlite3_extended_errcode(db_);
                why = sqlite3_errmsg(db_);
                sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
            }
        } else {
            why = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(code);
        }
        if (code != SQLITE_OK) {
            sqlite3_close_v2(db_);
            db_ = nullptr;
        }
        return code;
    };

    int code = attempt(why);
    Opened opened = Opened::Ok;
    if (isDamage(code)) {
        char stamp[32] = {};
        const std::time_t now = std::time(nullptr);
        if (const std::tm *local = std::localtime(&now))
            std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", local);
        std::string target = path + ".damaged-" + stamp;
        for (int n = 1; exists(target); ++n)
            target = path + ".damaged-" + stamp + "-" + std::to_string(n);
        fs::rename(fsPath(path), fsPath(target), error);
        if (error) {
            said = "the history file " + shown + " is damaged (" + oneLine(why) + ") and could not be moved aside: " +
                   error.message() + "; monitoring goes on without history";
            return Opened::Unavailable;
        }
        // A journal beside a fresh file would be played back into it.
        for (const char *suffix : {"-journal", "-wal", "-shm"}) {
            std::error_code ignored;
            fs::rename(fsPath(path + suffix), fsPath(target + suffix), ignored);
            fs::remove(fsPath(path + suffix), ignored);
        }
        said = "the history file " + shown + " is damaged (" + oneLine(why) + "); moved it aside to " +
               escapeControls(target) + " and started afresh";
        opened = Opened::Fresh;
        // The fresh file is made private as the first one was.
        code = prepareFile(path, why) ? attempt(why) : kNotHistory;
    }
    if (code != SQLITE_OK) {
        said = "the history file " + shown + " cannot be used (" + oneLine(why) +
               "); monitoring goes on without history";
        return Opened::Unavailable;
    }
    // Known to be a history now: nobody else reads it.
    makePrivate(path);

    Statement all(db_, "SELECT id, name, host, port, kind FROM series");
    while (all.step() == SQLITE_ROW) {
        SeriesKey key{all.text(1), all.text(2), static_cast<std::uint32_t>(all.integer(3)),
                      static_cast<std::uint32_t>(all.integer(4))};
        keys_[all.integer(0)] = key;
        ids_[key] = all.integer(0);
    }
    // Outages the last run left open: it ended without a word. They end at
    // their series' last check.
    std::vector<std::int64_t> open;
    {
        Statement select(db_, "SELECT DISTINCT series FROM outages WHERE ended = 0");
        while (select.step() == SQLITE_ROW)
            open.push_back(select.integer(0));
    }
    for (const std::int64_t series : open)
        outageEnded(series, lastCheck(series), true);
    // Quiet spans; one the last run left open ends at its series' last
    // check too.
    quiet_.clear();
    std::vector<std::int64_t> quietOpen;
    {
        Statement select(db_, "SELECT series, start, ended FROM quiet_spans ORDER BY start, id");
        while (select.step() == SQLITE_ROW) {
            quiet_[select.integer(0)].push_back({select.integer(1), select.integer(2)});
            if (select.integer(2) == 0)
                quietOpen.push_back(select.integer(0));
        }
    }
    for (const std::int64_t series : quietOpen)
        quietEnded(series, lastCheck(series));
    return opened;
}

bool HistoryFile::quietBegan(std::int64_t series, std::int64_t millis)
{
    std::vector<QuietSpan> &spans = quiet_[series];
    if (!spans.empty() && spans.back().end == 0)
        return true;
    Statement insert(db_, "INSERT INTO quiet_spans(series, start) VALUES (?, ?)");
    if (!insert.bind(1, series).bind(2, millis).run())
        return false;
    spans.push_back({millis, 0});
    return true;
}

bool HistoryFile::quietEnded(std::int64_t series, std::int64_t millis)
{
    Statement update(db_, "UPDATE quiet_spans SET ended = max(start + 1, ?1) WHERE ended = 0 AND (?2 = 0 OR series = ?2)");
    if (!update.bind(1, millis).bind(2, series).run())
        return false;
    for (auto &[of, spans] : quiet_) {
        if ((series == 0 || of == series) && !spans.empty() && spans.back().end == 0)
            spans.back().end = std::max(spans.back().start + 1, millis);
    }
    return true;
}

std::vector<HistoryFile::QuietSpan> HistoryFile::quietSpans(std::int64_t series) const
{
    const auto found = quiet_.find(series);
    return found == quiet_.end() ? std::vector<QuietSpan>{} : found->second;
}

bool HistoryFile::inQuiet(std::int64_t series, std::int64_t millis) const
{
    const auto found = quiet_.find(series);
    if (found == quiet_.end())
        return false;
    for (const QuietSpan &span : found->second) {
        if (millis >= span.start && (span.end == 0 || millis < span.end))
            return true;
    }
    return false;
}

std::vector<RawCheck> HistoryFile::withoutQuiet(std::int64_t series, std::vector<RawCheck> checks) const
{
    if (quiet_.find(series) == quiet_.end())
        return checks;
    std::erase_if(checks, [&](const RawCheck &check) { return inQuiet(series, check.millis); });
    return checks;
}

void HistoryFile::markQuiet(std::int64_t series, std::vector<OutageView> &outages) const
{
    const auto found = quiet_.find(series);
    if (found == quiet_.end())
        return;
    for (OutageView &outage : outages) {
        for (const QuietSpan &span : found->second) {
            const bool beforeEnd = outage.endMillis == 0 || span.start < outage.endMillis;
            const bool afterStart = span.end == 0 || span.end > outage.startMillis;
            outage.quiet = outage.quiet || (beforeEnd && afterStart);
        }
    }
}

std::int64_t HistoryFile::lastCheck(std::int64_t series)
{
    std::int64_t newest = -1;
    const auto take = [&](const char *sql) {
        Statement select(db_, sql);
        select.bind(1, series);
        if (select.step() == SQLITE_ROW && !select.isNull(0))
            newest = std::max(newest, select.integer(0));
    };
    take("SELECT max(hour) FROM raw WHERE series = ?");
    take("SELECT max(id >> 32) FROM raw_closed WHERE (id & 4294967295) = ?");
    {
        Statement batches(db_, "SELECT hour, data FROM batches WHERE hour > ?");
        batches.bind(1, newest);
        while (batches.step() == SQLITE_ROW) {
            const std::int64_t hour = batches.integer(0);
            forEachPiece(batches.text(1), [&](std::int64_t of, const std::string &) {
                if (of == series)
                    newest = std::max(newest, hour);
            });
        }
    }
    if (newest < 0)
        return 0;
    const std::vector<RawCheck> checks = rawChecks(series, newest);
    return checks.empty() ? 0 : checks.back().millis;
}

std::int64_t HistoryFile::findSeries(const SeriesKey &key) const
{
    const auto found = ids_.find(key);
    return found == ids_.end() ? 0 : found->second;
}

std::int64_t HistoryFile::seriesId(const SeriesKey &key)
{
    if (const std::int64_t id = findSeries(key))
        return id;
    Statement insert(db_, "INSERT INTO series(name, host, port, kind) VALUES (?, ?, ?, ?)");
    insert.bind(1, key.name).bind(2, key.host).bind(3, std::int64_t(key.port)).bind(4, std::int64_t(key.kind));
    if (!insert.run())
        return 0;
    const std::int64_t id = sqlite3_last_insert_rowid(db_);
    keys_[id] = key;
    ids_[key] = id;
    return id;
}

std::string HistoryFile::readBlob(const char *sql, std::int64_t a, std::int64_t b) const
{
    Statement read(db_, sql, &statements_);
    read.bind(1, a).bind(2, b);
    return read.step() == SQLITE_ROW ? read.text(0) : std::string();
}

bool HistoryFile::appendChecks(std::int64_t series, const std::vector<RawCheck> &checks)
{
    std::size_t i = 0;
    std::string piece;
    while (i < checks.size()) {
        const std::int64_t hour = checks[i].millis / kHourMillis;
        RawTail tail;
        piece.clear();
        for (; i < checks.size() && checks[i].millis / kHourMillis <= hour; ++i)
            appendRaw(piece, tail, hour * kHourMillis, checks[i]);
        appendPiece(batch_[hour], series, piece);
    }
    return db_ != nullptr;
}

bool HistoryFile::outageBegan(std::int64_t series, std::int64_t millis, const FailureReason &reason, bool alertRan)
{
    Statement insert(db_, "INSERT INTO outages(series, start, kind, type, code, icmp6, alert) "
                          "VALUES (?, ?, ?, ?, ?, ?, ?)");
    insert.bind(1, series).bind(2, millis).bind(3, std::int64_t(reason.kind)).bind(4, std::int64_t(reason.type));
    insert.bind(5, std::int64_t(reason.code)).bind(6, std::int64_t(reason.icmp6)).bind(7, std::int64_t(alertRan));
    return insert.run();
}

bool HistoryFile::outageEnded(std::int64_t series, std::int64_t millis, bool unobserved)
{
    Statement update(db_, "UPDATE outages SET ended = max(start, ?1), unobserved = ?2 "
                          "WHERE ended = 0 AND (?3 = 0 OR series = ?3)");
    return update.bind(1, millis).bind(2, std::int64_t(unobserved)).bind(3, series).run();
}

bool HistoryFile::summarise(std::int64_t series, std::int64_t hour, const std::vector<RawCheck> &all)
{
    // The summaries, and so the uptimes, leave quiet time out; the raw
    // checks keep it.
    const std::vector<RawCheck> checks = withoutQuiet(series, all);
    if (checks.empty())
        return true;
    const std::int64_t day = hour / 24;
    std::vector<Summary> minutes;
    std::vector<RawCheck> minute;
    std::int64_t current = -1;
    for (const RawCheck &check : checks) {
        const std::int64_t slot = (check.millis - hour * kHourMillis) / 60000;
        if (slot != current && !minute.empty()) {
            minutes.push_back(summarize(std::move(minute), static_cast<std::uint32_t>(current)));
            minute.clear();
        }
        current = slot;
        minute.push_back(check);
    }
    minutes.push_back(summarize(std::move(minute), static_cast<std::uint32_t>(current)));
    Summary hourly = summarize(checks, static_cast<std::uint32_t>(hour % 24));
    {
        // Checks that came late for an hour summarised already join its
        // summaries, and its day's hourly row is made again.
        Statement stored(db_, "SELECT hourly, minutes FROM summaries WHERE id = (? << 32) + ?", &statements_);
        stored.bind(1, hour).bind(2, series);
        if (stored.step() == SQLITE_ROW) {
            for (const Summary &s : unpackSummaries(stored.text(0)))
                hourly = mergeSummaries(s, hourly);
            std::map<std::uint32_t, Summary> bySlot;
            for (const Summary &s : unpackSummaries(stored.text(1)))
                bySlot[s.slot] = s;
            for (const Summary &s : minutes) {
                const auto found = bySlot.find(s.slot);
                bySlot[s.slot] = found == bySlot.end() ? s : mergeSummaries(found->second, s);
            }
            minutes.clear();
            for (const auto &[slot, s] : bySlot)
                minutes.push_back(s);
            lateDays_.insert(day);
        }
    }
    Statement write(db_, "INSERT OR REPLACE INTO summaries(id, hourly, minutes) VALUES ((?1 << 32) + ?2, ?3, ?4)",
                    &statements_);
    return write.bind(1, hour).bind(2, series).blob(3, packSummaries({hourly})).blob(4, packSummaries(minutes)).run();
}

std::int64_t HistoryFile::newest(const char *sql)
{
    Statement select(db_, sql);
    return select.step() == SQLITE_ROW && !select.isNull(0) ? select.integer(0) : -1;
}

bool HistoryFile::writeDay(std::int64_t day)
{
    std::map<std::int64_t, std::vector<Summary>> bySeries;
    {
        Statement select(db_, "SELECT id & 4294967295, hourly FROM summaries WHERE id >= (? << 32) AND id < (? << 32)");
        select.bind(1, day * 24).bind(2, day * 24 + 24);
        while (select.step() == SQLITE_ROW) {
            auto &list = bySeries[select.integer(0)];
            for (const Summary &s : unpackSummaries(select.text(1)))
                list.push_back(s);
        }
    }
    bool ok = true;
    for (auto &[series, list] : bySeries) {
        std::sort(list.begin(), list.end(), [](const Summary &a, const Summary &b) { return a.slot < b.slot; });
        Statement write(db_, "INSERT OR REPLACE INTO hour_days(id, data) VALUES ((?1 << 32) + ?2, ?3)", &statements_);
        ok = write.bind(1, day).bind(2, series).blob(3, packSummaries(list)).run() && ok;
    }
    return ok;
}

bool HistoryFile::rollUp(std::int64_t beforeHour)
{
    bool ok = flushBatch();
    std::set<std::int64_t> hours;
    {
        Statement select(db_, "SELECT DISTINCT hour FROM raw WHERE rolled = 0 AND hour < ?1 "
                              "UNION SELECT DISTINCT hour FROM batches WHERE hour < ?1");
        select.bind(1, beforeHour);
        while (select.step() == SQLITE_ROW)
            hours.insert(select.integer(0));
    }
    for (const std::int64_t hour : hours)
        ok = rollUpHour(hour) && ok;
    // Days over have their hours' summaries gathered in a row, kept when
    // the per-minute ones are gone.
    const std::int64_t firstHour = newest("SELECT min(id) >> 32 FROM summaries");
    if (firstHour >= 0) {
        std::int64_t day = std::max(firstHour / 24, newest("SELECT max(id) >> 32 FROM hour_days") + 1);
        for (; day < beforeHour / 24; ++day)
            ok = writeDay(day) && ok;
    }
    for (const std::int64_t day : lateDays_)
        if (day < beforeHour / 24)
            ok = writeDay(day) && ok;
    lateDays_.clear();
    return ok;
}

bool HistoryFile::rollUpHour(std::int64_t hour)
{
    const std::int64_t start = hour * kHourMillis;
    struct Gathered {
        // Checks of a first-layout row not summarised yet.
        std::vector<RawCheck> earlier;
        bool hasEarlier = false;
        // The batches' checks, packed as they came.
        std::string data;
        RawTail tail;
    };
    std::map<std::int64_t, Gathered> gathered;
    {
        Statement select(db_, "SELECT series, data FROM raw WHERE rolled = 0 AND hour = ?");
        select.bind(1, hour);
        while (select.step() == SQLITE_ROW) {
            Gathered &g = gathered[select.integer(0)];
            g.earlier = decodeRaw(select.text(1), start);
            g.hasEarlier = true;
        }
    }
    {
        Statement select(db_, "SELECT data FROM batches WHERE hour = ? ORDER BY id");
        select.bind(1, hour);
        while (select.step() == SQLITE_ROW) {
            forEachPiece(select.text(0), [&](std::int64_t series, const std::string &piece) {
                Gathered &g = gathered[series];
                for (const RawCheck &check : decodeRaw(piece, start))
                    appendRaw(g.data, g.tail, start, check);
            });
        }
    }
    bool ok = true;
    for (auto &[series, g] : gathered) {
        std::vector<RawCheck> checks = std::move(g.earlier);
        if (!g.data.empty()) {
            std::vector<RawCheck> closed = decodeRaw(g.data, start);
            checks.insert(checks.end(), closed.begin(), closed.end());
            // Checks that came late for an hour already closed join its
            // row.
            const std::string stored =
                readBlob("SELECT data FROM raw_closed WHERE id = (? << 32) + ?", hour, series);
            if (!stored.empty()) {
                std::vector<RawCheck> all = unpackRaw(stored, start);
                all.insert(all.end(), closed.begin(), closed.end());
                std::stable_sort(all.begin(), all.end(),
                                 [](const RawCheck &a, const RawCheck &b) { return a.millis < b.millis; });
                closed = std::move(all);
            }
            Statement write(db_, "INSERT OR REPLACE INTO raw_closed(id, data) VALUES ((?1 << 32) + ?2, ?3)",
                            &statements_);
            ok = write.bind(1, hour).bind(2, series).blob(3, packRaw(closed, start)).run() && ok;
        }
        std::stable_sort(checks.begin(), checks.end(),
                         [](const RawCheck &a, const RawCheck &b) { return a.millis < b.millis; });
        ok = summarise(series, hour, checks) && ok;
        if (g.hasEarlier) {
            Statement mark(db_, "UPDATE raw SET rolled = 1 WHERE series = ? AND hour = ?");
            ok = mark.bind(1, series).bind(2, hour).run() && ok;
        }
    }
    Statement drop(db_, "DELETE FROM batches WHERE hour = ?");
    return drop.bind(1, hour).run() && ok;
}

bool HistoryFile::prune(std::int64_t nowMillis)
{
    const std::int64_t nowHour = nowMillis / kHourMillis;
    bool ok = rollUp(nowHour);
    const auto drop = [this](const char *sql, std::int64_t bound) {
        Statement statement(db_, sql);
        return statement.bind(1, bound).run();
    };
    // Kept whole: the raw hours that began within the last 48 hours, the
    // per-minute summaries of the days that ended within the last 30, the
    // hourly ones of the days (and the earlier layout's blocks) that ended
    // within the last year.
    ok = drop("DELETE FROM raw WHERE hour < ?", nowHour - 48) && ok;
    ok = drop("DELETE FROM raw_closed WHERE id < (? << 32)", nowHour - 48) && ok;
    ok = drop("DELETE FROM batches WHERE hour < ?", nowHour - 48) && ok;
    ok = drop("DELETE FROM minutes WHERE day < ?", (nowMillis - 30 * kDayMillis) / kDayMillis) && ok;
    ok = drop("DELETE FROM summaries WHERE id < (? << 32)", (nowMillis - 30 * kDayMillis) / kDayMillis * 24) && ok;
    ok = drop("DELETE FROM hour_days WHERE id < (? << 32)", (nowMillis - 365 * kDayMillis) / kDayMillis) && ok;
    ok = drop("DELETE FROM hours WHERE block < ?", (nowMillis - 365 * kDayMillis) / (kBlockHours * kHourMillis)) && ok;
    ok = drop("DELETE FROM outages WHERE ended != 0 AND ended < ?", nowMillis - 365 * kDayMillis) && ok;
    const std::int64_t quietBound = nowMillis - 365 * kDayMillis;
    if (drop("DELETE FROM quiet_spans WHERE ended != 0 AND ended < ?", quietBound)) {
        for (auto &[series, spans] : quiet_)
            std::erase_if(spans, [quietBound](const QuietSpan &span) { return span.end != 0 && span.end < quietBound; });
    } else {
        ok = false;
    }
    return ok;
}

void HistoryFile::hourCounts(
    std::int64_t sinceHour,
    const std::function<void(std::int64_t, std::int64_t, std::uint32_t, std::uint32_t)> &each)
{
    flushBatch();
    // By series and hour: an hour's checks may lie in rows of each layout.
    std::map<std::pair<std::int64_t, std::int64_t>, std::pair<std::uint32_t, std::uint32_t>> counts;
    const auto add = [&](std::int64_t series, std::int64_t hour, const std::vector<RawCheck> &checks) {
        auto &[count, answered] = counts[{series, hour}];
        for (const RawCheck &check : withoutQuiet(series, checks)) {
            ++count;
            answered += check.answered() ? 1 : 0;
        }
    };
    // Hours over: their summaries, which hold the checks of a first-layout
    // row of the same hour too.
    {
        Statement select(db_, "SELECT id & 4294967295, id >> 32, hourly FROM summaries WHERE id >= (? << 32)");
        select.bind(1, sinceHour);
        while (select.step() == SQLITE_ROW) {
            auto &[count, answered] = counts[{select.integer(0), select.integer(1)}];
            for (const Summary &s : unpackSummaries(select.text(2))) {
                count += s.count;
                answered += s.count - s.failures;
            }
        }
    }
    const auto summarised = counts;
    {
        Statement select(db_, "SELECT series, hour, data FROM raw WHERE hour >= ?");
        select.bind(1, sinceHour);
        while (select.step() == SQLITE_ROW) {
            if (!summarised.count({select.integer(0), select.integer(1)}))
                add(select.integer(0), select.integer(1), decodeRaw(select.text(2), select.integer(1) * kHourMillis));
        }
    }
    Statement batches(db_, "SELECT hour, data FROM batches WHERE hour >= ?");
    batches.bind(1, sinceHour);
    while (batches.step() == SQLITE_ROW) {
        const std::int64_t hour = batches.integer(0);
        forEachPiece(batches.text(1), [&](std::int64_t series, const std::string &piece) {
            add(series, hour, decodeRaw(piece, hour * kHourMillis));
        });
    }
    for (const auto &[at, count] : counts)
        each(at.first, at.second, count.first, count.second);
}

double HistoryFile::uptimeSince(std::int64_t series, std::int64_t fromMillis)
{
    const std::int64_t fromHour = fromMillis / kHourMillis;
    std::uint64_t count = 0, answered = 0;
    Statement blocks(db_, "SELECT block, data FROM hours WHERE series = ? AND block >= ?");
    blocks.bind(1, series).bind(2, fromHour / kBlockHours);
    while (blocks.step() == SQLITE_ROW) {
        for (const Summary &s : decodeSummaries(blocks.text(1))) {
            if (blocks.integer(0) * kBlockHours + s.slot >= fromHour) {
                count += s.count;
                answered += s.count - s.failures;
            }
        }
    }
    // Summaries of the later layout: a day's row once the day is over,
    // else its hours' rows.
    const std::int64_t lastHour = newest("SELECT max(id) >> 32 FROM summaries");
    const std::int64_t lastDay = std::max(lastHour / 24, newest("SELECT max(id) >> 32 FROM hour_days"));
    for (std::int64_t day = fromHour / 24; day <= lastDay; ++day) {
        const std::string row = readBlob("SELECT data FROM hour_days WHERE id = (? << 32) + ?", day, series);
        std::vector<Summary> hours;
        if (!row.empty()) {
            hours = unpackSummaries(row);
        } else {
            for (std::int64_t hour = std::max(day * 24, fromHour); hour < day * 24 + 24 && hour <= lastHour; ++hour) {
                for (const Summary &s : unpackSummaries(
                         readBlob("SELECT hourly FROM summaries WHERE id = (? << 32) + ?", hour, series)))
                    hours.push_back(s);
            }
        }
        for (const Summary &s : hours) {
            if (day * 24 + s.slot >= fromHour) {
                count += s.count;
                answered += s.count - s.failures;
            }
        }
    }
    const auto add = [&](const std::string &data, std::int64_t hour) {
        for (const RawCheck &check : withoutQuiet(series, decodeRaw(data, hour * kHourMillis))) {
            if (check.millis >= fromMillis) {
                ++count;
                answered += check.answered() ? 1 : 0;
            }
        }
    };
    Statement raw(db_, "SELECT hour, data FROM raw WHERE series = ? AND hour >= ? AND rolled = 0");
    raw.bind(1, series).bind(2, fromHour);
    while (raw.step() == SQLITE_ROW)
        add(raw.text(1), raw.integer(0));
    // The batches are the hours not summarised yet.
    flushBatch();
    Statement batches(db_, "SELECT hour, data FROM batches WHERE hour >= ?");
    batches.bind(1, fromHour);
    while (batches.step() == SQLITE_ROW) {
        const std::int64_t hour = batches.integer(0);
        forEachPiece(batches.text(1), [&](std::int64_t of, const std::string &piece) {
            if (of == series)
                add(piece, hour);
        });
    }
    return count ? double(answered) / double(count) : -1.0;
}

std::vector<OutageView> HistoryFile::outages(std::int64_t series, std::size_t limit)
{
    std::vector<OutageView> out;
    Statement select(db_, "SELECT start, ended, unobserved, kind, type, code, icmp6, alert FROM outages "
                          "WHERE series = ? ORDER BY start DESC, id DESC LIMIT ?");
    select.bind(1, series).bind(2, static_cast<std::int64_t>(std::min<std::size_t>(limit, INT32_MAX)));
    while (select.step() == SQLITE_ROW) {
        OutageView view;
        view.startMillis = select.integer(0);
        view.endMillis = select.integer(1);
        view.endUnobserved = select.integer(2) != 0;
        view.reason.kind = static_cast<FailureKind>(select.integer(3));
        view.reason.type = static_cast<int>(select.integer(4));
        view.reason.code = static_cast<int>(select.integer(5));
        view.reason.icmp6 = select.integer(6) != 0;
        view.alertRan = select.integer(7) != 0;
        out.push_back(view);
    }
    markQuiet(series, out);
    return out;
}

std::vector<Summary> HistoryFile::minuteSummaries(std::int64_t series, std::int64_t day)
{
    std::vector<Summary> list =
        decodeSummaries(readBlob("SELECT data FROM minutes WHERE series = ? AND day = ?", series, day));
    for (std::int64_t hour = day * 24; hour < day * 24 + 24; ++hour) {
        for (Summary s :
             unpackSummaries(readBlob("SELECT minutes FROM summaries WHERE id = (? << 32) + ?", hour, series))) {
            s.slot += static_cast<std::uint32_t>(hour % 24 * 60);
            list.push_back(s);
        }
    }
    return list;
}

std::vector<Summary> HistoryFile::hourSummaries(std::int64_t series, std::int64_t block)
{
    std::vector<Summary> list =
        decodeSummaries(readBlob("SELECT data FROM hours WHERE series = ? AND block = ?", series, block));
    const std::int64_t firstDay = block * kBlockHours / 24;
    for (std::int64_t day = firstDay; day < firstDay + kBlockHours / 24; ++day) {
        std::vector<Summary> hours =
            unpackSummaries(readBlob("SELECT data FROM hour_days WHERE id = (? << 32) + ?", day, series));
        if (hours.empty()) {
            for (std::int64_t hour = day * 24; hour < day * 24 + 24; ++hour) {
                for (const Summary &s : unpackSummaries(
                         readBlob("SELECT hourly FROM summaries WHERE id = (? << 32) + ?", hour, series)))
                    hours.push_back(s);
            }
        }
        for (Summary s : hours) {
            s.slot += static_cast<std::uint32_t>((day - firstDay) * 24);
            list.push_back(s);
        }
    }
    return list;
}

std::vector<RawCheck> HistoryFile::rawChecks(std::int64_t series, std::int64_t hour)
{
    const std::int64_t start = hour * kHourMillis;
    std::vector<RawCheck> checks =
        decodeRaw(readBlob("SELECT data FROM raw WHERE series = ? AND hour = ?", series, hour), start);
    const auto add = [&](const std::string &data) {
        const std::vector<RawCheck> more = decodeRaw(data, start);
        checks.insert(checks.end(), more.begin(), more.end());
    };
    const std::vector<RawCheck> closed =
        unpackRaw(readBlob("SELECT data FROM raw_closed WHERE id = (? << 32) + ?", hour, series), start);
    checks.insert(checks.end(), closed.begin(), closed.end());
    flushBatch();
    Statement batches(db_, "SELECT data FROM batches WHERE hour = ? ORDER BY id");
    batches.bind(1, hour);
    while (batches.step() == SQLITE_ROW) {
        forEachPiece(batches.text(0), [&](std::int64_t of, const std::string &piece) {
            if (of == series)
                add(piece);
        });
    }
    std::stable_sort(checks.begin(), checks.end(),
                     [](const RawCheck &a, const RawCheck &b) { return a.millis < b.millis; });
    return checks;
}

} // namespace vigilon::history

namespace vigilon::history {

std::vector<std::pair<SeriesKey, UptimeFigures>> HistoryFile::figures(std::int64_t nowMillis)
{
    std::vector<std::pair<SeriesKey, UptimeFigures>> out;
    if (!db_ || nowMillis < 0)
        return out;
    flushBatch();
    constexpr std::int64_t kDays = static_cast<std::int64_t>(kFigureDays);
    const std::int64_t today = nowMillis / kDayMillis;
    const std::int64_t firstDay = std::max<std::int64_t>(0, today - (kDays - 1));
    const std::int64_t nowHour = nowMillis / kHourMillis;
    constexpr std::int64_t kWindowHours[3] = {24, 7 * 24, 30 * 24};
    struct Counts {
        std::uint64_t count = 0, answered = 0;
    };
    struct Tally {
        std::array<Counts, kFigureDays> days{};
        std::array<Counts, 3> windows{};
        // Days read hour by hour (summaries, raw hours): their day rows
        // hold the same checks.
        std::bitset<kFigureDays> hourly;
    };
    std::unordered_map<std::int64_t, Tally> tallies;
    const auto add = [&](Tally &tally, std::int64_t hour, std::uint64_t count, std::uint64_t answered) {
        const std::int64_t day = hour / 24;
        if (day < firstDay || day > today)
            return;
        tally.days[static_cast<std::size_t>(day - firstDay)].count += count;
        tally.days[static_cast<std::size_t>(day - firstDay)].answered += answered;
        for (std::size_t w = 0; w < 3; ++w) {
            if (hour > nowHour - kWindowHours[w] && hour <= nowHour) {
                tally.windows[w].count += count;
                tally.windows[w].answered += answered;
            }
        }
    };
    const auto markHourly = [&](Tally &tally, std::int64_t hour) {
        const std::int64_t day = hour / 24;
        if (day >= firstDay && day <= today)
            tally.hourly.set(static_cast<std::size_t>(day - firstDay));
    };
    const auto addChecks = [&](std::int64_t series, const std::vector<RawCheck> &checks, std::int64_t hour) {
        Tally &tally = tallies[series];
        markHourly(tally, hour);
        for (const RawCheck &check : withoutQuiet(series, checks))
            add(tally, check.millis / kHourMillis, 1, check.answered() ? 1 : 0);
    };
    {
        Statement select(db_, "SELECT id & 4294967295, id >> 32, hourly FROM summaries WHERE id >= (? << 32)");
        select.bind(1, firstDay * 24);
        while (select.step() == SQLITE_ROW) {
            Tally &tally = tallies[select.integer(0)];
            const std::int64_t hour = select.integer(1);
            markHourly(tally, hour);
            for (const Summary &s : unpackSummaries(select.text(2)))
                add(tally, hour, s.count, s.count - s.failures);
        }
    }
    {
        Statement select(db_, "SELECT series, hour, data FROM raw WHERE hour >= ? AND rolled = 0");
        select.bind(1, firstDay * 24);
        while (select.step() == SQLITE_ROW)
            addChecks(select.integer(0), decodeRaw(select.text(2), select.integer(1) * kHourMillis),
                      select.integer(1));
    }
    {
        Statement select(db_, "SELECT hour, data FROM batches WHERE hour >= ?");
        select.bind(1, firstDay * 24);
        while (select.step() == SQLITE_ROW) {
            const std::int64_t hour = select.integer(0);
            forEachPiece(select.text(1), [&](std::int64_t series, const std::string &piece) {
                addChecks(series, decodeRaw(piece, hour * kHourMillis), hour);
            });
        }
    }
    const auto readHourly = [&](Tally &tally, std::int64_t hour) {
        const std::int64_t day = hour / 24;
        return day >= firstDay && day <= today && tally.hourly.test(static_cast<std::size_t>(day - firstDay));
    };
    {
        Statement select(db_, "SELECT id & 4294967295, id >> 32, data FROM hour_days WHERE id >= (? << 32)");
        select.bind(1, firstDay);
        while (select.step() == SQLITE_ROW) {
            Tally &tally = tallies[select.integer(0)];
            const std::int64_t day = select.integer(1);
            if (readHourly(tally, day * 24))
                continue;
            for (const Summary &s : unpackSummaries(select.text(2)))
                add(tally, day * 24 + s.slot, s.count, s.count - s.failures);
        }
    }
    {
        Statement select(db_, "SELECT series, block, data FROM hours WHERE block >= ?");
        select.bind(1, firstDay * 24 / kBlockHours);
        while (select.step() == SQLITE_ROW) {
            Tally &tally = tallies[select.integer(0)];
            for (const Summary &s : decodeSummaries(select.text(2))) {
                const std::int64_t hour = select.integer(1) * kBlockHours + s.slot;
                if (!readHourly(tally, hour))
                    add(tally, hour, s.count, s.count - s.failures);
            }
        }
    }
    const auto share = [](const Counts &c) { return c.count ? double(c.answered) / double(c.count) : -1.0; };
    out.reserve(tallies.size());
    for (const auto &[series, tally] : tallies) {
        const auto key = keys_.find(series);
        if (key == keys_.end())
            continue;
        UptimeFigures figures;
        figures.day = share(tally.windows[0]);
        figures.week = share(tally.windows[1]);
        figures.month = share(tally.windows[2]);
        figures.days.resize(kFigureDays, -1.0);
        bool any = false;
        // Day i of the list is today - (kFigureDays - 1) + i.
        const std::size_t skipped = static_cast<std::size_t>(firstDay - (today - (kDays - 1)));
        for (std::size_t i = 0; i + skipped < kFigureDays; ++i) {
            figures.days[i + skipped] = share(tally.days[i]);
            any = any || tally.days[i].count > 0;
        }
        if (any)
            out.emplace_back(key->second, std::move(figures));
    }
    return out;
}

HistoryFile::Resolution HistoryFile::resolutionFor(std::int64_t fromMillis, std::int64_t toMillis,
                                                   std::int64_t nowMillis)
{
    const std::int64_t span = toMillis - fromMillis;
    if (span <= 6 * kHourMillis && fromMillis >= nowMillis - 48 * kHourMillis)
        return Resolution::Raw;
    if (span <= 7 * kDayMillis && fromMillis >= nowMillis - 30 * kDayMillis)
        return Resolution::Minute;
    return Resolution::Hour;
}

std::vector<ResponsePoint> HistoryFile::points(std::int64_t series, std::int64_t fromMillis, std::int64_t toMillis,
                                               Resolution resolution)
{
    std::vector<ResponsePoint> out;
    if (!db_ || fromMillis < 0 || toMillis < fromMillis)
        return out;
    flushBatch();
    const auto point = [](const Summary &s, std::int64_t millis) {
        ResponsePoint p;
        p.millis = millis;
        p.count = s.count;
        p.failures = s.failures;
        p.minMicros = s.minMicros;
        p.medianMicros = s.medianMicros;
        p.maxMicros = s.maxMicros;
        return p;
    };
    const std::int64_t fromHour = fromMillis / kHourMillis;
    const std::int64_t toHour = toMillis / kHourMillis;
    if (resolution == Resolution::Raw) {
        for (std::int64_t hour = fromHour; hour <= toHour; ++hour) {
            for (const RawCheck &check : rawChecks(series, hour)) {
                if (check.millis < fromMillis || check.millis > toMillis)
                    continue;
                ResponsePoint p;
                p.millis = check.millis;
                p.count = 1;
                p.failures = check.answered() ? 0 : 1;
                if (check.answered())
                    p.minMicros = p.medianMicros = p.maxMicros = check.micros;
                else
                    p.reason = check.reason;
                out.push_back(p);
            }
        }
        return out;
    }
    const std::int64_t slotMillis = resolution == Resolution::Minute ? 60000 : kHourMillis;
    std::map<std::int64_t, ResponsePoint> bySlot;
    std::set<std::int64_t> summarisedHours;
    if (resolution == Resolution::Minute) {
        for (std::int64_t day = fromHour / 24; day <= toHour / 24; ++day) {
            for (const Summary &s : minuteSummaries(series, day)) {
                const std::int64_t millis = day * kDayMillis + std::int64_t(s.slot) * 60000;
                summarisedHours.insert(millis / kHourMillis);
                bySlot[millis] = point(s, millis);
            }
        }
    } else {
        for (std::int64_t block = fromHour / kBlockHours; block <= toHour / kBlockHours; ++block) {
            for (const Summary &s : hourSummaries(series, block)) {
                const std::int64_t hour = block * kBlockHours + s.slot;
                summarisedHours.insert(hour);
                bySlot[hour * kHourMillis] = point(s, hour * kHourMillis);
            }
        }
    }
    // The hours not summarised yet are summarised here from their checks.
    const std::int64_t lastRolled = newest("SELECT max(id) >> 32 FROM summaries");
    for (std::int64_t hour = std::max(fromHour, lastRolled + 1); hour <= toHour; ++hour) {
        if (summarisedHours.count(hour))
            continue;
        std::map<std::int64_t, std::vector<RawCheck>> slots;
        for (const RawCheck &check : rawChecks(series, hour))
            slots[check.millis / slotMillis * slotMillis].push_back(check);
        for (auto &[millis, checks] : slots)
            bySlot[millis] = point(summarize(std::move(checks), 0), millis);
    }
    const std::int64_t firstSlot = fromMillis / slotMillis * slotMillis;
    for (const auto &[millis, p] : bySlot) {
        if (millis >= firstSlot && millis <= toMillis && p.count > 0)
            out.push_back(p);
    }
    return out;
}

std::vector<OutageView> HistoryFile::outagesBetween(std::int64_t series, std::int64_t fromMillis,
                                                    std::int64_t toMillis, std::size_t limit)
{
    std::vector<OutageView> out;
    if (!db_)
        return out;
    Statement select(db_, "SELECT start, ended, unobserved, kind, type, code, icmp6, alert FROM outages "
                          "WHERE series = ? AND start <= ? AND (ended = 0 OR ended >= ?) "
                          "ORDER BY start, id LIMIT ?");
    select.bind(1, series).bind(2, toMillis).bind(3, fromMillis);
    select.bind(4, static_cast<std::int64_t>(std::min<std::size_t>(limit, INT32_MAX)));
    while (select.step() == SQLITE_ROW) {
        OutageView view;
        view.startMillis = select.integer(0);
        view.endMillis = select.integer(1);
        view.endUnobserved = select.integer(2) != 0;
        view.reason.kind = static_cast<FailureKind>(select.integer(3));
        view.reason.type = static_cast<int>(select.integer(4));
        view.reason.code = static_cast<int>(select.integer(5));
        view.reason.icmp6 = select.integer(6) != 0;
        view.alertRan = select.integer(7) != 0;
        out.push_back(view);
    }
    markQuiet(series, out);
    return out;
}

} // namespace vigilon::history
