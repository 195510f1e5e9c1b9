// SPDX-License-Identifier: MIT
#pragma once

#include "store/Registry.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace vigilon::reg {

// A store that lives in memory only, with the same rules as the persistent
// ones: case-insensitive paths and names, values in the order first set,
// transactions that undo a failed body. Meant for tests.
class MemoryRegistry final : public Registry {
public:
    MemoryRegistry();
    ~MemoryRegistry() override;

    std::unique_ptr<Key> openKey(const std::string &path, std::uint32_t access, Status *status = nullptr) override;
    std::unique_ptr<Key> createKey(const std::string &path, Status *status = nullptr) override;
    Status deleteKey(const std::string &path) override;
    std::vector<std::string> subkeys(const std::string &path) override;
    Status transact(const std::function<Status()> &body) override;
    Status readTransact(const std::function<Status()> &body) override;
    Status readAndClearDword(const std::string &keyPath, const std::string &name, std::uint32_t &previous) override;

    // Lets tests exercise failure paths: after `afterWrites` more successful
    // writes (value sets, value and key deletions, key creations), every
    // further write fails with `status` and changes nothing. Status::Ok
    // switches the failure off.
    void failWrites(Status status, int afterWrites = 0);
    // Every read (opening a key, querying a value) fails with status from
    // now on; Status::Ok switches the failure off.
    void failReads(Status status) { readFailure_ = status; }
    // Number of writes that succeeded so far.
    int writeCount() const { return writes_; }

private:
    friend class PathKey<MemoryRegistry>;
    struct StoredValue {
        std::uint64_t order = 0; // when it was first set: names list in this order
        std::string name;        // stored spelling
        Value value;
    };
    struct KeyData {
        std::string path;                          // stored spelling
        std::map<std::string, StoredValue> values; // by folded name
        std::uint64_t nextOrder = 0;
    };
    using KeyMap = std::map<std::string, KeyData>; // by folded path

    Status beginWrite();
    KeyData *find(const std::string &path);
    Status queryValue(const std::string &path, const std::string &name, Value &out);
    Status setValue(const std::string &path, const std::string &name, std::uint32_t type,
                    const std::vector<std::uint8_t> &data);
    Status deleteValue(const std::string &path, const std::string &name);
    std::vector<std::string> valueNames(const std::string &path);

    KeyMap keys_;
    Status failStatus_ = Status::Ok;
    Status readFailure_ = Status::Ok;
    int failAfter_ = 0;
    int writes_ = 0;
};

} // namespace vigilon::reg
