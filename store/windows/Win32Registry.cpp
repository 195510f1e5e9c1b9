// SPDX-License-Identifier: MIT
#include "store/windows/Win32Registry.h"

#include <windows.h>

#include <algorithm>

namespace vigilon::reg {

namespace {

Status statusOf(LONG error)
{
    switch (error) {
    case ERROR_SUCCESS:
        return Status::Ok;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return Status::NotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        return Status::ReadOnly;
    case ERROR_MORE_DATA:
        return Status::TooLarge;
    case ERROR_DISK_FULL:
    case ERROR_NO_SYSTEM_RESOURCES:
        return Status::Full;
    case ERROR_BADDB:
    case ERROR_BADKEY:
    case ERROR_REGISTRY_CORRUPT:
        return Status::Damaged;
    default:
        return Status::IoError;
    }
}

// Values longer than this are not needed by the program.
constexpr DWORD kMaxValueBytes = 64 * 1024;

class Win32Key final : public Key {
public:
    explicit Win32Key(HKEY key) : key_(key) {}
    ~Win32Key() override { RegCloseKey(key_); }
    Win32Key(const Win32Key &) = delete;
    Win32Key &operator=(const Win32Key &) = delete;

    Status queryValue(const std::string &name, Value &out) override
    {
        DWORD type = 0;
        DWORD size = 0;
        LONG error = RegQueryValueExA(key_, name.c_str(), nullptr, &type, nullptr, &size);
        if (error != ERROR_SUCCESS)
            return statusOf(error);
        if (size > kMaxValueBytes)
            return Status::TooLarge;
        std::vector<std::uint8_t> data(size);
        error = RegQueryValueExA(key_, name.c_str(), nullptr, &type, size ? data.data() : nullptr, &size);
        if (error != ERROR_SUCCESS)
            return statusOf(error); // a value that grew in between is TooLarge
        data.resize(size);
        out.type = type;
        out.data = std::move(data);
        return Status::Ok;
    }

    Status setValue(const std::string &name, std::uint32_t type, const std::vector<std::uint8_t> &data) override
    {
        static const BYTE none = 0;
        if ((type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) && !data.empty()) {
            // The ANSI call looks at the byte after a string's count and,
            // when that is a NUL, stores the NUL as well. A byte of our own
            // that is no NUL keeps the peek inside our buffer and the value
            // exactly the bytes given.
            std::vector<std::uint8_t> padded(data);
            padded.push_back(0xFF);
            return statusOf(
                RegSetValueExA(key_, name.c_str(), 0, type, padded.data(), static_cast<DWORD>(data.size())));
        }
        return statusOf(RegSetValueExA(key_, name.c_str(), 0, type, data.empty() ? &none : data.data(),
                                       static_cast<DWORD>(data.size())));
    }

    Status deleteValue(const std::string &name) override { return statusOf(RegDeleteValueA(key_, name.c_str())); }

    std::vector<std::string> valueNames() override
    {
        std::vector<std::string> names;
        char name[16384];
        for (DWORD i = 0;; ++i) {
            DWORD length = sizeof name;
            if (RegEnumValueA(key_, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            names.emplace_back(name, length);
        }
        return names;
    }

    // Each value with its data in one call, a third of the calls of asking
    // for the names and then for each value.
    Status allValues(std::vector<std::pair<std::string, Value>> &out) override
    {
        out.clear();
        DWORD count = 0, longestName = 0, largestData = 0;
        LONG error = RegQueryInfoKeyA(key_, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                                      &longestName, &largestData, nullptr, nullptr);
        if (error != ERROR_SUCCESS)
            return statusOf(error);
        if (largestData > kMaxValueBytes)
            return Key::allValues(out);
        std::vector<char> name(std::size_t(longestName) + 1);
        std::vector<std::uint8_t> data(std::max<DWORD>(largestData, 1));
        out.reserve(count);
        for (DWORD i = 0;; ++i) {
            DWORD nameLength = static_cast<DWORD>(name.size());
            DWORD type = 0;
            DWORD size = static_cast<DWORD>(data.size());
            error = RegEnumValueA(key_, i, name.data(), &nameLength, nullptr, &type, data.data(), &size);
            if (error == ERROR_NO_MORE_ITEMS)
                return Status::Ok;
            if (error == ERROR_MORE_DATA) // a value set meanwhile: read as the others are
                return Key::allValues(out);
            if (error != ERROR_SUCCESS) {
                out.clear();
                return statusOf(error);
            }
            out.emplace_back(std::string(name.data(), nameLength),
                             Value{type, std::vector<std::uint8_t>(data.begin(), data.begin() + size)});
        }
    }

private:
    HKEY key_;
};

} // namespace

std::unique_ptr<Key> Win32Registry::openKey(const std::string &path, std::uint32_t access, Status *status)
{
    HKEY key = nullptr;
    const std::string normal = normalizeKeyPath(path);
    const LONG error = normal.empty() ? ERROR_FILE_NOT_FOUND
                                      : RegOpenKeyExA(HKEY_LOCAL_MACHINE, normal.c_str(), 0, access, &key);
    if (status)
        *status = statusOf(error);
    if (error != ERROR_SUCCESS)
        return nullptr;
    return std::make_unique<Win32Key>(key);
}

std::unique_ptr<Key> Win32Registry::createKey(const std::string &path, Status *status)
{
    // KEY_WRITE as the configuration's save asks for, and the query right
    // that the interface's read-and-write key promises.
    HKEY key = nullptr;
    const std::string normal = normalizeKeyPath(path);
    const LONG error = normal.empty() ? ERROR_FILE_NOT_FOUND
                                      : RegCreateKeyExA(HKEY_LOCAL_MACHINE, normal.c_str(), 0, nullptr,
                                                        REG_OPTION_NON_VOLATILE, KEY_WRITE | KEY_QUERY_VALUE,
                                                        nullptr, &key, nullptr);
    if (status)
        *status = statusOf(error);
    if (error != ERROR_SUCCESS)
        return nullptr;
    return std::make_unique<Win32Key>(key);
}

Status Win32Registry::deleteKey(const std::string &path)
{
    const std::string normal = normalizeKeyPath(path);
    if (normal.empty())
        return Status::NotFound;
    return statusOf(RegDeleteTreeA(HKEY_LOCAL_MACHINE, normal.c_str())); // the key with everything below it
}

std::vector<std::string> Win32Registry::subkeys(const std::string &path)
{
    std::vector<std::string> found;
    const std::string normal = normalizeKeyPath(path);
    HKEY key = HKEY_LOCAL_MACHINE;
    if (!normal.empty() &&
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, normal.c_str(), 0, KEY_ENUMERATE_SUB_KEYS, &key) != ERROR_SUCCESS)
        return found;
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name;
        if (RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        found.push_back(normal.empty() ? std::string(name, length) : normal + "\\" + std::string(name, length));
    }
    if (key != HKEY_LOCAL_MACHINE)
        RegCloseKey(key);
    std::sort(found.begin(), found.end(),
              [](const std::string &a, const std::string &b) { return foldCase(a) < foldCase(b); });
    return found;
}

Status Win32Registry::transact(const std::function<Status()> &body)
{
    return body();
}

Status Win32Registry::readTransact(const std::function<Status()> &body)
{
    return body();
}

Status Win32Registry::readAndClearDword(const std::string &keyPath, const std::string &name, std::uint32_t &previous)
{
    previous = 0;
    Status status = Status::Ok;
    std::unique_ptr<Key> key = openKey(keyPath, KEY_QUERY_VALUE | KEY_SET_VALUE, &status);
    if (!key)
        return status;
    Value value;
    std::uint32_t seen = 0;
    if (key->queryValue(name, value) != Status::Ok || value.data.size() != 4 || !dwordFromValue(value, seen))
        seen = 0;
    status = key->setValue(name, REG_DWORD, dwordBytes(0));
    previous = status == Status::Ok ? seen : 0;
    return status;
}

} // namespace vigilon::reg
