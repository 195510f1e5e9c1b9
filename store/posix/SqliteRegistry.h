// SPDX-License-Identifier: MIT
#pragma once

#include "store/Registry.h"

#include <string>
#include <sys/types.h>
#include <unordered_map>

struct sqlite3;
struct sqlite3_stmt;

namespace vigilon::reg {

// The store in one SQLite database file (layout: docs/store.md).
//
// The file is created with mode 0600, missing directories with mode 0700.
// A path that names anything but a regular file is refused with NotAFile
// before SQLite sees it; nothing is created or chmodded there.
// A locked database is waited for up to busyTimeoutMs before an operation
// reports Busy. Writes go through a rollback journal with full syncs, so a
// crash at any point leaves the last committed state.
//
// Only a file that is not a database or that SQLite finds corrupt counts
// as damaged: it is moved aside with its -journal, -wal and -shm companions
// to "<file>.damaged-<YYYYmmdd-HHMMSS>", a fresh store takes its place and
// one line on standard error says so. Busy, read-only, full or failing
// storage is only reported through the returned Status; the file is left
// where it is.
//
// When the file is replaced or removed behind the store's back (moved aside
// by another process), the next operation outside a transaction opens the
// file now found at the path.
class SqliteRegistry final : public Registry {
public:
    struct Options {
        int busyTimeoutMs = 3000;
        // A store that is busy while it is opened is still handed out (with
        // status Busy); its first operation connects again.
        bool keepWhenBusy = false;
        // Opens for reading only: a missing file or one without the
        // store's tables is NotFound, nothing is created, chmodded or moved
        // aside, and every write is refused with ReadOnly. The journal of
        // an interrupted save is played back where this process may write
        // the file (the last whole state comes back); elsewhere the store
        // reports Interrupted.
        bool readOnly = false;
    };

    static std::unique_ptr<SqliteRegistry> open(const std::string &path, Status *status = nullptr);
    static std::unique_ptr<SqliteRegistry> open(const std::string &path, const Options &options,
                                                Status *status = nullptr);
    ~SqliteRegistry() override;

    const std::string &path() const { return path_; }

    std::unique_ptr<Key> openKey(const std::string &path, std::uint32_t access, Status *status = nullptr) override;
    std::unique_ptr<Key> createKey(const std::string &path, Status *status = nullptr) override;
    Status deleteKey(const std::string &path) override;
    std::vector<std::string> subkeys(const std::string &path) override;
    Status transact(const std::function<Status()> &body) override;
    Status readTransact(const std::function<Status()> &body) override;
    Status readAndClearDword(const std::string &keyPath, const std::string &name, std::uint32_t &previous) override;

private:
    // Runs body inside the transaction just begun, then commits it, or rolls
    // it back when body or a write inside failed.
    Status runOpened(const std::function<Status()> &body);
    friend class PathKey<SqliteRegistry>;
    Status allValues(const std::string &keyPath, std::vector<std::pair<std::string, Value>> &out);
    class Statement;
    class Operation;

    SqliteRegistry(std::string path, const Options &options);

    Status connect();
    Status connectOnce(std::string &damage);
    void disconnect();
    Status prepareSchema();
    // For a reader: plays back the journal of an interrupted save, where
    // this process may write the store.
    void rollBackInterruptedSave() const;
    Status statusOf(int rc);
    Status exec(const char *sql);
    // Begins and ends every operation: reconnects when the file was
    // replaced, and after a damaged file was met moves it aside.
    Status enter();
    void leave();
    Status recoverFromDamage();

    Status keyId(const std::string &normalPath, long long &id);
    // Inside a transaction: the key's id, looked up once for a run of
    // values of the same key; outside one, 0 (statements then name the key
    // by its path). forgetKeyId() wherever a key may go away.
    Status keyIdInTransaction(const std::string &keyPath, long long &id);
    // Binds parameter 1 to the key: its id where there is one, else its path.
    static void bindKey(Statement &statement, long long id, const std::string &keyPath);
    void forgetKeyId();
    Status queryValue(const std::string &keyPath, const std::string &name, Value &out);
    Status setValue(const std::string &keyPath, const std::string &name, std::uint32_t type,
                    const std::vector<std::uint8_t> &data);
    Status deleteValue(const std::string &keyPath, const std::string &name);
    std::vector<std::string> valueNames(const std::string &keyPath);

    std::string path_;
    Options options_;
    sqlite3 *db_ = nullptr;
    dev_t device_ = 0;
    ino_t inode_ = 0;
    int depth_ = 0;        // nesting of operations and transactions
    int savepoints_ = 0;   // nesting of transact() calls
    bool damaged_ = false; // a damaged file was met during this operation
    Status failure_ = Status::Ok; // why an aborted transaction ended
    // The statements of this connection, prepared once each (by the address
    // of their text) and finalized when it closes.
    struct Cached {
        sqlite3_stmt *stmt = nullptr;
        bool inUse = false;
    };
    std::unordered_map<const char *, Cached> statements_;
    std::string keyIdPath_;
    long long keyId_ = 0;
};

} // namespace vigilon::reg
