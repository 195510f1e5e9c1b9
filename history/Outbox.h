// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct sqlite3;

namespace vigilon::history {

// A message that waits for delivery to a channel.
struct OutboxRecord {
    std::int64_t id = 0;
    std::uint32_t channel = 0;
    // Names the channel without its URL.
    std::string channelKey;
    // Seconds since 1970 UTC.
    std::int64_t created = 0;
    std::int64_t nextAttempt = 0;
    std::uint32_t attempts = 0;
    // Header lines, each ended by a line feed.
    std::string headers;
    std::string body;
};

// The channel messages still to deliver, in the history file's table
// outbox, so that a restart loses none. It has a connection of its own to
// the file (which may be open in the history's writer meanwhile) and is used
// by one thread.
class OutboxFile {
public:
    OutboxFile() = default;
    ~OutboxFile();
    OutboxFile(const OutboxFile &) = delete;
    OutboxFile &operator=(const OutboxFile &) = delete;

    // Opens (makes) the file and the table; why says what went wrong.
    bool open(const std::string &path, std::string &why);
    bool isOpen() const { return db_ != nullptr; }
    // Keeps record and sets its id.
    bool add(OutboxRecord &record);
    // Writes the record's attempts and next attempt.
    bool update(const OutboxRecord &record);
    bool remove(std::int64_t id);
    // Every record, oldest first.
    std::vector<OutboxRecord> load();

private:
    sqlite3 *db_ = nullptr;
};

} // namespace vigilon::history
