// SPDX-License-Identifier: MIT
#include "store/posix/SqliteRegistry.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace vigilon::reg {

namespace {

constexpr std::string_view kMagic{"SQLite format 3\0", 16};

// Every database file starts with the magic string; SQLite calls a file
// without it SQLITE_NOTADB. It is checked here before SQLite opens the file,
// because SQLite would delete a leftover journal that belongs to such a file
// before it reports anything.
bool lacksMagic(const std::string &path, dev_t &device, ino_t &inode)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st {};
    bool bad = false;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
        char head[16] = {};
        const ssize_t got = ::read(fd, head, sizeof head);
        const std::size_t n = got > 0 ? static_cast<std::size_t>(got) : 0;
        bad = std::string_view(head, n) != kMagic.substr(0, n) || n == 0;
        device = st.st_dev;
        inode = st.st_ino;
    }
    ::close(fd);
    return bad;
}

bool isDamage(int rc)
{
    const int primary = rc & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

Status mapCode(int rc)
{
    switch (rc & 0xff) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
        return Status::Ok;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return Status::Busy;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return Status::ReadOnly;
    case SQLITE_FULL:
        return Status::Full;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return Status::Damaged;
    default:
        return Status::IoError;
    }
}

bool exists(const std::string &path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// Creates the missing directories of path's parent, owner-only.
void makeParentDirectories(const std::string &path)
{
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        const std::string dir = path.substr(0, slash);
        if (!dir.empty() && ::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
            return; // opening the file reports the problem
    }
}

// Moves a damaged file and its companions aside under one new name base.
// The companions must not stay: a journal next to a fresh file would be
// played back into it. Returns false when the file could not be moved.
bool moveAside(const std::string &path, const std::string &reason)
{
    char stamp[32] = {};
    const std::time_t now = std::time(nullptr);
    struct tm local {};
    localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    std::string target = path + ".damaged-" + stamp;
    for (int n = 1; exists(target) || exists(target + "-journal"); ++n)
        target = path + ".damaged-" + stamp + "-" + std::to_string(n);

    if (::rename(path.c_str(), target.c_str()) != 0 && errno != ENOENT) {
        std::fprintf(stderr, "%s: the configuration store %s is damaged (%s) and could not be moved aside: %s\n",
                     programName(), path.c_str(), reason.c_str(), std::strerror(errno));
        return false;
    }
    for (const char *suffix : {"-journal", "-wal", "-shm"}) {
        const std::string companion = path + suffix;
        if (::rename(companion.c_str(), (target + suffix).c_str()) != 0 && errno != ENOENT &&
            ::unlink(companion.c_str()) != 0 && errno != ENOENT) {
            std::fprintf(stderr, "%s: the configuration store %s is damaged (%s); %s could not be removed: %s\n",
                         programName(), path.c_str(), reason.c_str(), companion.c_str(), std::strerror(errno));
            return false;
        }
    }
    std::fprintf(stderr, "%s: the configuration store %s is damaged (%s); moved it aside to %s and started afresh\n",
                 programName(), path.c_str(), reason.c_str(), target.c_str());
    return true;
}

// The first lines of SQLite's integrity report, on one line.
std::string oneLine(const std::string &text)
{
    std::string line;
    for (char c : text)
        line.push_back(c == '\n' ? ' ' : c);
    if (line.size() > 120)
        line = line.substr(0, 117) + "...";
    return line;
}

bool sameFile(const std::string &path, dev_t device, ino_t inode)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && st.st_dev == device && st.st_ino == inode;
}

const char *const kSchema = R"sql(
CREATE TABLE IF NOT EXISTS keys (
    id     INTEGER PRIMARY KEY,
    parent INTEGER REFERENCES keys(id),
    name   TEXT NOT NULL,
    path   TEXT NOT NULL COLLATE NOCASE UNIQUE
);
CREATE INDEX IF NOT EXISTS keys_by_parent ON keys(parent);
CREATE TABLE IF NOT EXISTS key_values (
    id     INTEGER PRIMARY KEY,
    key_id INTEGER NOT NULL REFERENCES keys(id),
    name   TEXT NOT NULL COLLATE NOCASE,
    type   INTEGER NOT NULL,
    data   BLOB NOT NULL,
    UNIQUE (key_id, name)
);
PRAGMA user_version = 1;
)sql";

} // namespace

class SqliteRegistry::Statement {
public:
    // A statement for this once: finalized at the end.
    Statement(sqlite3 *db, const char *sql) : db_(db) { rc_ = sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr); }
    // A statement of the connection's cache, prepared on its first use and
    // only reset afterwards; sql must be a string literal (the cache goes by
    // its address). One that is in use already is prepared afresh.
    Statement(SqliteRegistry &owner, const char *sql) : db_(owner.db_)
    {
        Cached &cached = owner.statements_[sql];
        if (cached.stmt && !cached.inUse) {
            stmt_ = cached.stmt;
            inUse_ = &cached.inUse;
            cached.inUse = true;
            rc_ = SQLITE_OK;
            return;
        }
        rc_ = sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr);
        if (rc_ == SQLITE_OK && !cached.stmt) {
            cached.stmt = stmt_;
            cached.inUse = true;
            inUse_ = &cached.inUse;
        }
    }
    ~Statement()
    {
        if (!inUse_) {
            sqlite3_finalize(stmt_);
            return;
        }
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
        *inUse_ = false;
    }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    void bind(int index, const std::string &text)
    {
        if (rc_ == SQLITE_OK)
            rc_ = sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    }
    void bindNull(int index)
    {
        if (rc_ == SQLITE_OK)
            rc_ = sqlite3_bind_null(stmt_, index);
    }
    void bind(int index, long long number)
    {
        if (rc_ == SQLITE_OK)
            rc_ = sqlite3_bind_int64(stmt_, index, number);
    }
    void bind(int index, const std::vector<std::uint8_t> &bytes)
    {
        static const std::uint8_t none = 0; // a null pointer would bind NULL, not an empty blob
        if (rc_ == SQLITE_OK)
            rc_ = sqlite3_bind_blob(stmt_, index, bytes.empty() ? &none : bytes.data(),
                                    static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
    }
    // SQLITE_ROW, SQLITE_DONE or an error code (also a failed prepare or bind).
    int step()
    {
        if (rc_ == SQLITE_OK || rc_ == SQLITE_ROW)
            rc_ = sqlite3_step(stmt_);
        return rc_;
    }
    int changes() const { return sqlite3_changes(db_); }
    long long integer(int column) const { return sqlite3_column_int64(stmt_, column); }
    std::string text(int column) const
    {
        const auto *bytes = static_cast<const char *>(sqlite3_column_blob(stmt_, column));
        return bytes ? std::string(bytes, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column))) : std::string();
    }
    std::vector<std::uint8_t> blob(int column) const
    {
        const auto *bytes = static_cast<const std::uint8_t *>(sqlite3_column_blob(stmt_, column));
        return bytes ? std::vector<std::uint8_t>(bytes, bytes + sqlite3_column_bytes(stmt_, column))
                     : std::vector<std::uint8_t>();
    }

private:
    sqlite3 *db_;
    sqlite3_stmt *stmt_ = nullptr;
    int rc_;
    // The cache's flag for a cached statement; null for one made for once.
    bool *inUse_ = nullptr;
};

// Brackets every public operation (see enter and leave).
class SqliteRegistry::Operation {
public:
    explicit Operation(SqliteRegistry &owner) : owner_(owner), status_(owner.enter()) {}
    ~Operation()
    {
        if (status_ == Status::Ok)
            owner_.leave();
    }
    Operation(const Operation &) = delete;
    Operation &operator=(const Operation &) = delete;
    Status status() const { return status_; }

private:
    SqliteRegistry &owner_;
    Status status_;
};

SqliteRegistry::SqliteRegistry(std::string path, const Options &options) : path_(std::move(path)), options_(options)
{
}

SqliteRegistry::~SqliteRegistry()
{
    disconnect();
}

std::unique_ptr<SqliteRegistry> SqliteRegistry::open(const std::string &path, Status *status)
{
    return open(path, Options{}, status);
}

std::unique_ptr<SqliteRegistry> SqliteRegistry::open(const std::string &path, const Options &options, Status *status)
{
    std::unique_ptr<SqliteRegistry> registry(new SqliteRegistry(path, options));
    const Status result = registry->connect();
    if (status)
        *status = result;
    if (result != Status::Ok && !(result == Status::Busy && options.keepWhenBusy))
        return nullptr;
    return registry;
}

Status SqliteRegistry::connect()
{
    std::string damage;
    Status status = connectOnce(damage);
    if (status == Status::Damaged && !options_.readOnly) {
        disconnect();
        if (!sameFile(path_, device_, inode_) || !moveAside(path_, damage))
            return Status::Damaged;
        status = connectOnce(damage);
    }
    if (status != Status::Ok)
        disconnect(); // an unchecked connection is never used
    return status;
}

// Opens the file and checks it. Damaged means the file at device_/inode_
// is damaged, for the reason given in damage.
Status SqliteRegistry::connectOnce(std::string &damage)
{
    disconnect();
    // Nothing but a regular file, or a path with nothing there yet, is
    // opened: SQLite would wait for ever on a FIFO's writer, and would put
    // a journal beside a device and write to it.
    struct stat found {};
    if (::stat(path_.c_str(), &found) == 0) {
        if (!S_ISREG(found.st_mode))
            return Status::NotAFile;
    } else if (errno != ENOENT) {
        return errno == EACCES ? Status::ReadOnly : Status::IoError;
    }
    if (options_.readOnly && !exists(path_))
        return Status::NotFound;
    if (!options_.readOnly)
        makeParentDirectories(path_);
    if (lacksMagic(path_, device_, inode_)) {
        damage = "not a database";
        return Status::Damaged;
    }

    if (options_.readOnly) {
        if (::access(path_.c_str(), R_OK) != 0)
            return errno == ENOENT ? Status::NotFound : Status::IoError;
        rollBackInterruptedSave();
    } else if (const int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0600);
               fd >= 0) {
        // Made here (also through a link that pointed nowhere) with 0600;
        // one of ours that others may read is closed to them. What the
        // path names now is looked at, not what it named before.
        struct stat st {};
        const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
        if (regular && (st.st_mode & 077) && st.st_uid == ::geteuid())
            ::fchmod(fd, st.st_mode & 0700);
        ::close(fd);
        if (!regular)
            return Status::NotAFile;
    } else {
        return errno == EACCES || errno == EROFS || errno == EPERM ? Status::ReadOnly : Status::IoError;
    }

    int rc = sqlite3_open_v2(path_.c_str(), &db_,
                             options_.readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                             nullptr);
    if (rc != SQLITE_OK) {
        disconnect();
        return mapCode(rc);
    }
    struct stat st {};
    if (::stat(path_.c_str(), &st) == 0) {
        device_ = st.st_dev;
        inode_ = st.st_ino;
    }
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, options_.busyTimeoutMs);

    // The check reads the whole file; a leftover journal of a crashed save is
    // played back first.
    {
        Statement check(db_, "PRAGMA quick_check");
        std::string verdict;
        rc = check.step();
        if (rc == SQLITE_ROW)
            verdict = check.text(0);
        if (isDamage(rc) || (rc == SQLITE_ROW && verdict != "ok")) {
            damage = rc == SQLITE_ROW ? "failed integrity check: " + oneLine(verdict) : sqlite3_errstr(rc);
            return Status::Damaged;
        }
        if (rc == SQLITE_READONLY_ROLLBACK)
            return Status::Interrupted;
        if (rc != SQLITE_ROW)
            return mapCode(rc);
    }
    if (options_.readOnly) {
        Statement count(db_, "SELECT count(*) FROM sqlite_master WHERE name IN ('keys', 'key_values')");
        rc = count.step();
        if (rc != SQLITE_ROW)
            return mapCode(rc);
        return count.integer(0) == 2 ? Status::Ok : Status::NotFound;
    }
    // A rollback journal with full syncs: a crash in the middle of a save
    // leaves a journal that the next opener plays back.
    rc = sqlite3_exec(db_, "PRAGMA synchronous = FULL; PRAGMA journal_mode = DELETE", nullptr, nullptr, nullptr);
    if (isDamage(rc)) {
        damage = sqlite3_errstr(rc);
        return Status::Damaged;
    }
    const Status status = prepareSchema();
    if (status == Status::Damaged)
        damage = "SQLite found it corrupt";
    return status;
}

void SqliteRegistry::rollBackInterruptedSave() const
{
    // A journal left by a save that never finished keeps a reader out until
    // it is played back. Playing it back restores the last whole state, as
    // any writer would at once: no change of the user's data. It takes a
    // connection that may write, and no file is created by it.
    struct stat st {};
    if (::stat((path_ + "-journal").c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0)
        return;
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(path_.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        sqlite3_busy_timeout(db, options_.busyTimeoutMs);
        sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    }
    sqlite3_close(db);
}

Status SqliteRegistry::prepareSchema()
{
    Statement count(db_, "SELECT count(*) FROM sqlite_master WHERE name IN ('keys', 'key_values')");
    int rc = count.step();
    if (rc == SQLITE_ROW && count.integer(0) == 2)
        return Status::Ok;
    if (rc != SQLITE_ROW)
        return mapCode(rc);
    rc = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db_, kSchema, nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK && !sqlite3_get_autocommit(db_))
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    return mapCode(rc);
}

void SqliteRegistry::disconnect()
{
    // The connection closes only once all its statements are gone.
    for (auto &[sql, cached] : statements_)
        sqlite3_finalize(cached.stmt);
    statements_.clear();
    forgetKeyId();
    if (db_)
        sqlite3_close(db_);
    db_ = nullptr;
}

Status SqliteRegistry::statusOf(int rc)
{
    if (isDamage(rc))
        damaged_ = true;
    const Status status = mapCode(rc);
    if (status != Status::Ok && savepoints_ > 0 && failure_ == Status::Ok)
        failure_ = status;
    return status;
}

Status SqliteRegistry::exec(const char *sql)
{
    return statusOf(sqlite3_exec(db_, sql, nullptr, nullptr, nullptr));
}

Status SqliteRegistry::enter()
{
    if (depth_ == 0) {
        if (!db_ || !sameFile(path_, device_, inode_)) {
            if (Status status = connect(); status != Status::Ok)
                return status;
        }
    } else if (savepoints_ > 0 && sqlite3_get_autocommit(db_)) {
        // SQLite ended the transaction itself after an error (a full disk,
        // an I/O error): nothing more may be written in its name, or the
        // rest would land outside of it.
        return failure_ != Status::Ok ? failure_ : Status::IoError;
    }
    ++depth_;
    return Status::Ok;
}

void SqliteRegistry::leave()
{
    if (--depth_ == 0 && damaged_)
        recoverFromDamage();
}

Status SqliteRegistry::recoverFromDamage()
{
    damaged_ = false;
    if (options_.readOnly)
        return Status::Damaged; // a reader leaves the file where it is
    disconnect();
    if (!sameFile(path_, device_, inode_))
        return connect(); // someone else has already replaced it
    if (!moveAside(path_, "SQLite found it corrupt"))
        return Status::Damaged;
    return connect();
}

Status SqliteRegistry::transact(const std::function<Status()> &body)
{
    Operation op(*this);
    if (op.status() != Status::Ok)
        return op.status();

    if (savepoints_ > 0) {
        const std::string name = "nested" + std::to_string(savepoints_);
        if (Status status = exec(("SAVEPOINT " + name).c_str()); status != Status::Ok)
            return status;
        ++savepoints_;
        Status status = body();
        --savepoints_;
        if (sqlite3_get_autocommit(db_))
            return status != Status::Ok ? status : (failure_ != Status::Ok ? failure_ : Status::IoError);
        if (status == Status::Ok) {
            status = exec(("RELEASE " + name).c_str());
        } else {
            forgetKeyId(); // the key may have been made inside
            sqlite3_exec(db_, ("ROLLBACK TO " + name).c_str(), nullptr, nullptr, nullptr);
            sqlite3_exec(db_, ("RELEASE " + name).c_str(), nullptr, nullptr, nullptr);
        }
        return status;
    }

    int rc = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if ((rc & 0xff) == SQLITE_READONLY)
        rc = sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr); // reads stay consistent
    if (rc != SQLITE_OK)
        return statusOf(rc);
    return runOpened(body);
}

Status SqliteRegistry::runOpened(const std::function<Status()> &body)
{
    failure_ = Status::Ok;
    forgetKeyId();
    ++savepoints_; // a write inside goes through a savepoint
    Status status = body();
    --savepoints_;
    if (status == Status::Ok && sqlite3_get_autocommit(db_))
        status = failure_ != Status::Ok ? failure_ : Status::IoError;
    if (status == Status::Ok)
        status = exec("COMMIT");
    if (!sqlite3_get_autocommit(db_))
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    failure_ = Status::Ok;
    forgetKeyId();
    return status;
}

Status SqliteRegistry::readTransact(const std::function<Status()> &body)
{
    if (savepoints_ > 0)
        return transact(body);
    Operation op(*this);
    if (op.status() != Status::Ok)
        return op.status();
    // A deferred transaction: its first read takes a shared lock, which a
    // writer's reserved lock does not keep out.
    if (Status status = exec("BEGIN DEFERRED"); status != Status::Ok)
        return status;
    return runOpened(body);
}

Status SqliteRegistry::keyId(const std::string &normalPath, long long &id)
{
    Statement find(*this, "SELECT id FROM keys WHERE path = ?1");
    find.bind(1, normalPath);
    const int rc = find.step();
    if (rc == SQLITE_ROW) {
        id = find.integer(0);
        return Status::Ok;
    }
    return rc == SQLITE_DONE ? Status::NotFound : statusOf(rc);
}

std::unique_ptr<Key> SqliteRegistry::openKey(const std::string &path, std::uint32_t access, Status *status)
{
    Operation op(*this);
    Status result = op.status();
    const std::string normal = normalizeKeyPath(path);
    long long id = 0;
    if (result == Status::Ok)
        result = normal.empty() ? Status::NotFound : keyId(normal, id);
    if (status)
        *status = result;
    if (result != Status::Ok)
        return nullptr;
    return std::make_unique<PathKey<SqliteRegistry>>(*this, normal, access);
}

std::unique_ptr<Key> SqliteRegistry::createKey(const std::string &path, Status *status)
{
    const std::vector<std::string> parts = splitKeyPath(path);
    std::string spelled;
    const Status result = parts.empty() ? Status::NotFound : transact([&]() {
        long long parent = 0;
        for (std::size_t i = 0; i < parts.size(); ++i) {
            const std::string wanted = spelled.empty() ? parts[i] : spelled + "\\" + parts[i];
            Statement find(*this, "SELECT id, path FROM keys WHERE path = ?1");
            find.bind(1, wanted);
            int rc = find.step();
            if (rc == SQLITE_ROW) {
                parent = find.integer(0);
                spelled = find.text(1);
                continue;
            }
            if (rc != SQLITE_DONE)
                return statusOf(rc);
            Statement insert(*this, "INSERT INTO keys (parent, name, path) VALUES (?1, ?2, ?3)");
            if (i == 0)
                insert.bindNull(1); // a top-level key
            else
                insert.bind(1, parent);
            insert.bind(2, parts[i]);
            insert.bind(3, wanted);
            rc = insert.step();
            if (rc != SQLITE_DONE)
                return statusOf(rc);
            parent = sqlite3_last_insert_rowid(db_);
            spelled = wanted;
        }
        return Status::Ok;
    });
    if (status)
        *status = result;
    if (result != Status::Ok)
        return nullptr;
    return std::make_unique<PathKey<SqliteRegistry>>(*this, spelled, KeyQueryValue | KeySetValue);
}

Status SqliteRegistry::deleteKey(const std::string &path)
{
    const std::string normal = normalizeKeyPath(path);
    if (normal.empty())
        return Status::NotFound;
    return transact([&]() {
        forgetKeyId();
        long long id = 0;
        if (Status status = keyId(normal, id); status != Status::Ok)
            return status;
        for (const char *sql : {"WITH RECURSIVE tree(id) AS (SELECT ?1 UNION ALL "
                                "SELECT keys.id FROM keys JOIN tree ON keys.parent = tree.id) "
                                "DELETE FROM key_values WHERE key_id IN tree",
                                "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION ALL "
                                "SELECT keys.id FROM keys JOIN tree ON keys.parent = tree.id) "
                                "DELETE FROM keys WHERE id IN tree"}) {
            Statement erase(*this, sql);
            erase.bind(1, id);
            if (int rc = erase.step(); rc != SQLITE_DONE)
                return statusOf(rc);
        }
        return Status::Ok;
    });
}

std::vector<std::string> SqliteRegistry::subkeys(const std::string &path)
{
    std::vector<std::string> found;
    Operation op(*this);
    if (op.status() != Status::Ok)
        return found;
    const std::string normal = normalizeKeyPath(path);
    Statement list(*this, normal.empty()
                            ? "SELECT path FROM keys WHERE parent IS NULL ORDER BY name COLLATE NOCASE"
                            : "SELECT child.path FROM keys child JOIN keys parent ON child.parent = parent.id "
                              "WHERE parent.path = ?1 ORDER BY child.name COLLATE NOCASE");
    if (!normal.empty())
        list.bind(1, normal);
    int rc;
    while ((rc = list.step()) == SQLITE_ROW)
        found.push_back(list.text(0));
    if (rc != SQLITE_DONE)
        statusOf(rc);
    return found;
}

Status SqliteRegistry::readAndClearDword(const std::string &keyPath, const std::string &name, std::uint32_t &previous)
{
    std::uint32_t seen = 0;
    const std::string normal = normalizeKeyPath(keyPath);
    const Status status = transact([&]() {
        long long id = 0;
        if (Status found = keyId(normal, id); found != Status::Ok)
            return found;
        Value value;
        const Status read = queryValue(normal, name, value);
        if (read != Status::Ok && read != Status::NotFound)
            return read;
        if (read != Status::Ok || !dwordFromValue(value, seen))
            seen = 0;
        return setValue(normal, name, RegDword, dwordBytes(0));
    });
    previous = status == Status::Ok ? seen : 0;
    return status;
}

Status SqliteRegistry::keyIdInTransaction(const std::string &keyPath, long long &id)
{
    id = 0;
    if (savepoints_ == 0)
        return Status::Ok;
    if (keyIdPath_ != keyPath || keyId_ == 0) {
        keyId_ = 0;
        if (Status status = keyId(keyPath, keyId_); status != Status::Ok)
            return status;
        keyIdPath_ = keyPath;
    }
    id = keyId_;
    return Status::Ok;
}

void SqliteRegistry::bindKey(Statement &statement, long long id, const std::string &keyPath)
{
    if (id != 0)
        statement.bind(1, id);
    else
        statement.bind(1, keyPath);
}

void SqliteRegistry::forgetKeyId()
{
    keyId_ = 0;
    keyIdPath_.clear();
}

Status SqliteRegistry::queryValue(const std::string &keyPath, const std::string &name, Value &out)
{
    Operation op(*this);
    if (op.status() != Status::Ok)
        return op.status();
    // Inside a transaction the key's id holds: a load reads every value of
    // one key, and each then needs no lookup of the key by its path.
    long long id = 0;
    if (Status status = keyIdInTransaction(keyPath, id); status != Status::Ok)
        return status;
    Statement query(*this, id != 0 ? "SELECT type, data FROM key_values WHERE key_id = ?1 AND name = ?2"
                                : "SELECT v.type, v.data FROM key_values v JOIN keys k ON k.id = v.key_id "
                                  "WHERE k.path = ?1 AND v.name = ?2");
    bindKey(query, id, keyPath);
    query.bind(2, name);
    const int rc = query.step();
    if (rc == SQLITE_ROW) {
        out.type = static_cast<std::uint32_t>(query.integer(0));
        out.data = query.blob(1);
        return Status::Ok;
    }
    return rc == SQLITE_DONE ? Status::NotFound : statusOf(rc);
}

Status SqliteRegistry::setValue(const std::string &keyPath, const std::string &name, std::uint32_t type,
                                const std::vector<std::uint8_t> &data)
{
    Operation op(*this);
    if (op.status() != Status::Ok)
        return op.status();
    long long id = 0;
    if (Status status = keyIdInTransaction(keyPath, id); status != Status::Ok)
        return status;
    // Outside a transaction, one statement: the key is looked up and the
    // value written at once, so a key deleted meanwhile is never brought
    // back. Inside one, nobody else can delete it.
    Statement upsert(*this, id != 0 ? "INSERT INTO key_values (key_id, name, type, data) VALUES (?1, ?2, ?3, ?4) "
                                   "ON CONFLICT (key_id, name) DO UPDATE SET type = excluded.type, data = excluded.data"
                                 : "INSERT INTO key_values (key_id, name, type, data) "
                                   "SELECT id, ?2, ?3, ?4 FROM keys WHERE path = ?1 "
                                   "ON CONFLICT (key_id, name) DO UPDATE SET type = excluded.type, data = excluded.data");
    bindKey(upsert, id, keyPath);
    upsert.bind(2, name);
    upsert.bind(3, static_cast<long long>(type));
    upsert.bind(4, data);
    const int rc = upsert.step();
    if (rc != SQLITE_DONE)
        return statusOf(rc);
    return upsert.changes() > 0 ? Status::Ok : Status::NotFound;
}

Status SqliteRegistry::deleteValue(const std::string &keyPath, const std::string &name)
{
    Operation op(*this);
    if (op.status() != Status::Ok)
        return op.status();
    Statement erase(*this, "DELETE FROM key_values WHERE key_id = (SELECT id FROM keys WHERE path = ?1) AND name = ?2");
    erase.bind(1, keyPath);
    erase.bind(2, name);
    const int rc = erase.step();
    if (rc != SQLITE_DONE)
        return statusOf(rc);
    return erase.changes() > 0 ? Status::Ok : Status::NotFound;
}

std::vector<std::string> SqliteRegistry::valueNames(const std::string &keyPath)
{
    std::vector<std::string> names;
    Operation op(*this);
    if (op.status() != Status::Ok)
        return names;
    Statement list(*this, "SELECT v.name FROM key_values v JOIN keys k ON k.id = v.key_id "
                        "WHERE k.path = ?1 ORDER BY v.id");
    list.bind(1, keyPath);
    int rc;
    while ((rc = list.step()) == SQLITE_ROW)
        names.push_back(list.text(0));
    if (rc != SQLITE_DONE)
        statusOf(rc);
    return names;
}

Status SqliteRegistry::allValues(const std::string &keyPath, std::vector<std::pair<std::string, Value>> &out)
{
    out.clear();
    Operation op(*this);
    if (op.status() != Status::Ok)
        return op.status();
    long long id = 0;
    if (Status status = keyIdInTransaction(keyPath, id); status != Status::Ok)
        return status;
    // The store's values are nearly all of one key, the configuration's: a
    // scan in the order they were set reads them faster than the index
    // would, which would have them sorted again.
    Statement list(*this, id != 0 ? "SELECT name, type, data FROM key_values NOT INDEXED WHERE key_id = ?1 ORDER BY id"
                               : "SELECT v.name, v.type, v.data FROM key_values v JOIN keys k ON k.id = v.key_id "
                                 "WHERE k.path = ?1 ORDER BY v.id");
    bindKey(list, id, keyPath);
    int rc;
    while ((rc = list.step()) == SQLITE_ROW)
        out.emplace_back(list.text(0), Value{static_cast<std::uint32_t>(list.integer(1)), list.blob(2)});
    if (rc != SQLITE_DONE) {
        out.clear();
        return statusOf(rc);
    }
    return Status::Ok;
}

} // namespace vigilon::reg
