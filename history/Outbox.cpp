// SPDX-License-Identifier: MIT
#include "history/Outbox.h"

#include "history/HistoryFile.h"

#include "base/Utf8Path.h"

#include <sqlite3.h>

#include <filesystem>

namespace vigilon::history {

namespace {

constexpr const char *kTable = "CREATE TABLE IF NOT EXISTS outbox("
                               "id INTEGER PRIMARY KEY, channel INTEGER NOT NULL, channel_key TEXT NOT NULL,"
                               " created INTEGER NOT NULL, next_attempt INTEGER NOT NULL,"
                               " attempts INTEGER NOT NULL, headers TEXT NOT NULL, body BLOB NOT NULL)";

// One statement, finalised when it goes.
class Query {
public:
    Query(sqlite3 *db, const char *sql) { sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr); }
    ~Query() { sqlite3_finalize(stmt_); }
    Query(const Query &) = delete;
    Query &operator=(const Query &) = delete;
    Query &bind(int index, std::int64_t value)
    {
        sqlite3_bind_int64(stmt_, index, value);
        return *this;
    }
    Query &bind(int index, const std::string &text, bool blob = false)
    {
        if (blob)
            sqlite3_bind_blob(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        else
            sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        return *this;
    }
    int step() { return stmt_ ? sqlite3_step(stmt_) : SQLITE_ERROR; }
    std::int64_t integer(int column) { return sqlite3_column_int64(stmt_, column); }
    std::string bytes(int column)
    {
        const void *data = sqlite3_column_blob(stmt_, column);
        return data ? std::string(static_cast<const char *>(data), sqlite3_column_bytes(stmt_, column)) : std::string();
    }

private:
    sqlite3_stmt *stmt_ = nullptr;
};

} // namespace

OutboxFile::~OutboxFile()
{
    sqlite3_close_v2(db_);
}

bool OutboxFile::open(const std::string &path, std::string &why)
{
    // A file that is there may be open in the history's own connection:
    // its checks here only look at it, for closing any descriptor of the
    // file would drop the locks that connection holds on it.
    std::error_code error;
    const std::filesystem::path named = pathFromUtf8(path);
    if (!std::filesystem::exists(named, error)) {
        if (!prepareFile(path, why))
            return false;
    } else if (!std::filesystem::is_regular_file(named, error)) {
        why = "not a regular file";
        return false;
    } else if (isStoreFile(path)) {
        why = "the configuration store's file";
        return false;
    }
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                        nullptr) != SQLITE_OK) {
        why = db_ ? sqlite3_errmsg(db_) : "cannot open the file";
        sqlite3_close_v2(db_);
        db_ = nullptr;
        return false;
    }
    // The history's writer may hold the file for a moment.
    sqlite3_busy_timeout(db_, 5000);
    // Another program's database is left as it is.
    bool ours = true;
    {
        Query names(db_, "SELECT name FROM sqlite_master");
        int step = SQLITE_ROW;
        while (ours && (step = names.step()) == SQLITE_ROW)
            ours = isHistoryTable(names.bytes(0));
        if (ours && step != SQLITE_DONE) {
            why = sqlite3_errmsg(db_);
            ours = false;
        } else if (!ours) {
            why = "a database of another program";
        }
    }
    char *failed = nullptr;
    if (!ours || sqlite3_exec(db_, "PRAGMA journal_mode=WAL", nullptr, nullptr, &failed) != SQLITE_OK ||
        sqlite3_exec(db_, kTable, nullptr, nullptr, &failed) != SQLITE_OK) {
        if (ours)
            why = failed ? failed : sqlite3_errmsg(db_);
        sqlite3_free(failed);
        sqlite3_close_v2(db_);
        db_ = nullptr;
        return false;
    }
    return true;
}

bool OutboxFile::add(OutboxRecord &record)
{
    if (!db_)
        return false;
    Query insert(db_, "INSERT INTO outbox(channel, channel_key, created, next_attempt, attempts, headers, body)"
                      " VALUES(?, ?, ?, ?, ?, ?, ?)");
    insert.bind(1, static_cast<std::int64_t>(record.channel))
        .bind(2, record.channelKey)
        .bind(3, record.created)
        .bind(4, record.nextAttempt)
        .bind(5, static_cast<std::int64_t>(record.attempts))
        .bind(6, record.headers)
        .bind(7, record.body, true);
    if (insert.step() != SQLITE_DONE)
        return false;
    record.id = sqlite3_last_insert_rowid(db_);
    return true;
}

bool OutboxFile::update(const OutboxRecord &record)
{
    if (!db_)
        return false;
    Query change(db_, "UPDATE outbox SET next_attempt = ?, attempts = ? WHERE id = ?");
    change.bind(1, record.nextAttempt).bind(2, static_cast<std::int64_t>(record.attempts)).bind(3, record.id);
    return change.step() == SQLITE_DONE;
}

bool OutboxFile::remove(std::int64_t id)
{
    if (!db_)
        return false;
    Query gone(db_, "DELETE FROM outbox WHERE id = ?");
    gone.bind(1, id);
    return gone.step() == SQLITE_DONE;
}

std::vector<OutboxRecord> OutboxFile::load()
{
    std::vector<OutboxRecord> records;
    if (!db_)
        return records;
    Query all(db_, "SELECT id, channel, channel_key, created, next_attempt, attempts, headers, body"
                   " FROM outbox ORDER BY id");
    while (all.step() == SQLITE_ROW) {
        OutboxRecord record;
        record.id = all.integer(0);
        record.channel = static_cast<std::uint32_t>(all.integer(1));
        record.channelKey = all.bytes(2);
        record.created = all.integer(3);
        record.nextAttempt = all.integer(4);
        record.attempts = static_cast<std::uint32_t>(all.integer(5));
        record.headers = all.bytes(6);
        record.body = all.bytes(7);
        records.push_back(std::move(record));
    }
    return records;
}

} // namespace vigilon::history
