// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vigilon::reg {

// Value types, with the registry's own codes.
enum ValueType : std::uint32_t {
    RegNone = 0,
    RegSz = 1,
    RegExpandSz = 2,
    RegBinary = 3,
    RegDword = 4,
};

// Access rights asked for when a key is opened, with the registry's codes.
constexpr std::uint32_t KeyQueryValue = 0x0001;
constexpr std::uint32_t KeySetValue = 0x0002;
constexpr std::uint32_t KeyWrite = 0x20006;

enum class Status {
    Ok,
    NotFound,  // no such key or value
    Busy,      // another process holds the store longer than we wait
    ReadOnly,  // the store cannot be written
    Full,      // no space left
    IoError,   // the system failed to read or write
    Damaged,   // the store's file is not a sound database
    TooLarge,  // a value exceeds the caller's buffer
    NotAFile,  // the store's path names something other than a regular file
    // A save was interrupted and the reader may not roll it back: a writer
    // of the store restores its last whole state.
    Interrupted,
};

const char *statusText(Status status);

struct Value {
    std::uint32_t type = RegNone;
    std::vector<std::uint8_t> data;
};

// An open key. Value names compare without regard to case.
class Key {
public:
    virtual ~Key() = default;
    virtual Status queryValue(const std::string &name, Value &out) = 0;
    virtual Status setValue(const std::string &name, std::uint32_t type, const std::vector<std::uint8_t> &data) = 0;
    virtual Status deleteValue(const std::string &name) = 0;
    // Names of the values in the order they were first set.
    virtual std::vector<std::string> valueNames() = 0;
    // Every value of the key with its name, in that order. A store that can
    // read them in one go does; this one asks for each by its name.
    virtual Status allValues(std::vector<std::pair<std::string, Value>> &out);
};

// A key that stands for a path in its owner's store: each call goes to the
// owner with the path, and writes need the key opened with KeySetValue.
template <typename Owner>
class PathKey final : public Key {
public:
    PathKey(Owner &owner, std::string path, std::uint32_t access)
        : owner_(owner), path_(std::move(path)), access_(access)
    {
    }

    Status queryValue(const std::string &name, Value &out) override { return owner_.queryValue(path_, name, out); }

    Status setValue(const std::string &name, std::uint32_t type, const std::vector<std::uint8_t> &data) override
    {
        if (!(access_ & KeySetValue))
            return Status::ReadOnly;
        return owner_.setValue(path_, name, type, data);
    }

    Status deleteValue(const std::string &name) override
    {
        if (!(access_ & KeySetValue))
            return Status::ReadOnly;
        return owner_.deleteValue(path_, name);
    }

    std::vector<std::string> valueNames() override { return owner_.valueNames(path_); }

    Status allValues(std::vector<std::pair<std::string, Value>> &out) override
    {
        if constexpr (requires { owner_.allValues(path_, out); })
            return owner_.allValues(path_, out);
        else
            return Key::allValues(out);
    }

private:
    Owner &owner_;
    std::string path_;
    std::uint32_t access_;
};

// A store of keys and typed values laid out as the registry's
// HKEY_LOCAL_MACHINE. Key paths are written with backslashes and without the
// root ("Software\\Ardentis\\Vigilon") and compare without regard to case.
class Registry {
public:
    virtual ~Registry() = default;

    // Opens an existing key; null with *status NotFound when there is none.
    // A key opened without KeySetValue refuses writes with ReadOnly. The
    // root itself ("") is no key: it holds no values and cannot be opened.
    virtual std::unique_ptr<Key> openKey(const std::string &path, std::uint32_t access, Status *status = nullptr) = 0;
    // Opens a key for reading and writing, creating it and any missing
    // parents first. Existing keys keep their stored spelling.
    virtual std::unique_ptr<Key> createKey(const std::string &path, Status *status = nullptr) = 0;
    // Deletes a key with its values and subkeys.
    virtual Status deleteKey(const std::string &path) = 0;
    // Full paths of the direct subkeys of a key ("" for the top level), in
    // their stored spelling, sorted without regard to case.
    virtual std::vector<std::string> subkeys(const std::string &path) = 0;

    // Runs body as one unit: either every write it made lands, or none does
    // (also across a crash). A body that returns other than Ok is undone.
    // Calls nest: an inner body that fails undoes only its own writes. Reads
    // inside a body see one consistent state, also on a read-only store.
    virtual Status transact(const std::function<Status()> &body) = 0;
    // Runs body as one read: it sees one consistent state but takes no
    // write lock, so another holder of a transaction does not keep it out.
    // Inside transact() it runs as part of that transaction.
    virtual Status readTransact(const std::function<Status()> &body) { return transact(body); }

    // Reads a DWORD value and sets it to 0 in one step, so that no other
    // writer can slip in between. A missing or unreadable value reads as 0;
    // a missing key is NotFound and nothing is created.
    virtual Status readAndClearDword(const std::string &keyPath, const std::string &name, std::uint32_t &previous) = 0;
};

// Helpers for the two kinds of values the program stores.
std::vector<std::uint8_t> dwordBytes(std::uint32_t value);
std::vector<std::uint8_t> stringBytes(const std::string &text); // without a NUL
// A DWORD value: 4 bytes, little-endian; false when the data is shorter.
bool dwordFromValue(const Value &value, std::uint32_t &out);
// A string value: its bytes up to the stored length or the first NUL.
std::string stringFromValue(const Value &value);

// The name that opens this process's lines on standard error.
const char *programName();

// Key paths and value names compare as the store compares them: ASCII
// letters without regard to case, every other byte as it is.
std::string foldCase(const std::string &text);
bool sameName(const std::string &a, const std::string &b);
// The components of a key path; empty components ("a\\b", a leading or
// trailing backslash) are dropped, so "\\A\\B\\" and "A\\B" are one key.
std::vector<std::string> splitKeyPath(const std::string &path);
// splitKeyPath joined again with single backslashes.
std::string normalizeKeyPath(const std::string &path);

} // namespace vigilon::reg
