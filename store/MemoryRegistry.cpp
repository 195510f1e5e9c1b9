// SPDX-License-Identifier: MIT
#include "store/MemoryRegistry.h"

#include <algorithm>

namespace vigilon::reg {

MemoryRegistry::MemoryRegistry() = default;
MemoryRegistry::~MemoryRegistry() = default;

void MemoryRegistry::failWrites(Status status, int afterWrites)
{
    failStatus_ = status;
    failAfter_ = afterWrites;
}

Status MemoryRegistry::beginWrite()
{
    if (failStatus_ != Status::Ok) {
        if (failAfter_ <= 0)
            return failStatus_;
        --failAfter_;
    }
    ++writes_;
    return Status::Ok;
}

MemoryRegistry::KeyData *MemoryRegistry::find(const std::string &path)
{
    const std::string normal = normalizeKeyPath(path);
    if (normal.empty())
        return nullptr;
    auto it = keys_.find(foldCase(normal));
    return it == keys_.end() ? nullptr : &it->second;
}

std::unique_ptr<Key> MemoryRegistry::openKey(const std::string &path, std::uint32_t access, Status *status)
{
    if (readFailure_ != Status::Ok) {
        if (status)
            *status = readFailure_;
        return nullptr;
    }
    KeyData *key = find(path);
    if (status)
        *status = key ? Status::Ok : Status::NotFound;
    if (!key)
        return nullptr;
    return std::make_unique<PathKey<MemoryRegistry>>(*this, key->path, access);
}

std::unique_ptr<Key> MemoryRegistry::createKey(const std::string &path, Status *status)
{
    const std::vector<std::string> parts = splitKeyPath(path);
    Status result = parts.empty() ? Status::NotFound : Status::Ok;
    std::string spelled;
    for (const std::string &part : parts) {
        const std::string prefix = spelled.empty() ? part : spelled + "\\" + part;
        auto it = keys_.find(foldCase(prefix));
        if (it == keys_.end()) {
            result = beginWrite();
            if (result != Status::Ok)
                break;
            it = keys_.emplace(foldCase(prefix), KeyData{prefix, {}}).first;
        }
        spelled = it->second.path;
    }
    if (status)
        *status = result;
    if (result != Status::Ok)
        return nullptr;
    return std::make_unique<PathKey<MemoryRegistry>>(*this, spelled, KeyQueryValue | KeySetValue);
}

Status MemoryRegistry::deleteKey(const std::string &path)
{
    KeyData *key = find(path);
    if (!key)
        return Status::NotFound;
    if (Status status = beginWrite(); status != Status::Ok)
        return status;
    const std::string folded = foldCase(key->path);
    for (auto it = keys_.begin(); it != keys_.end();) {
        if (it->first == folded || it->first.rfind(folded + "\\", 0) == 0)
            it = keys_.erase(it);
        else
            ++it;
    }
    return Status::Ok;
}

std::vector<std::string> MemoryRegistry::subkeys(const std::string &path)
{
    const std::string parent = foldCase(normalizeKeyPath(path));
    std::vector<std::string> found;
    for (const auto &[folded, key] : keys_) {
        const std::size_t cut = folded.rfind('\\');
        const std::string keyParent = cut == std::string::npos ? std::string() : folded.substr(0, cut);
        if (keyParent == parent)
            found.push_back(key.path); // the map's order is the folded order
    }
    return found;
}

Status MemoryRegistry::transact(const std::function<Status()> &body)
{
    KeyMap saved = keys_;
    const Status status = body();
    if (status != Status::Ok)
        keys_ = std::move(saved);
    return status;
}

Status MemoryRegistry::readTransact(const std::function<Status()> &body)
{
    return transact(body);
}

Status MemoryRegistry::readAndClearDword(const std::string &keyPath, const std::string &name, std::uint32_t &previous)
{
    previous = 0;
    if (!find(keyPath))
        return Status::NotFound;
    Value value;
    if (queryValue(keyPath, name, value) == Status::Ok && !dwordFromValue(value, previous))
        previous = 0;
    const Status status = setValue(keyPath, name, RegDword, dwordBytes(0));
    if (status != Status::Ok)
        previous = 0; // nothing was taken
    return status;
}

Status MemoryRegistry::queryValue(const std::string &path, const std::string &name, Value &out)
{
    if (readFailure_ != Status::Ok)
        return readFailure_;
    KeyData *key = find(path);
    if (!key)
        return Status::NotFound;
    const auto it = key->values.find(foldCase(name));
    if (it == key->values.end())
        return Status::NotFound;
    out = it->second.value;
    return Status::Ok;
}

Status MemoryRegistry::setValue(const std::string &path, const std::string &name, std::uint32_t type,
                                const std::vector<std::uint8_t> &data)
{
    KeyData *key = find(path);
    if (!key)
        return Status::NotFound;
    if (Status status = beginWrite(); status != Status::Ok)
        return status;
    const auto [it, added] = key->values.try_emplace(foldCase(name));
    if (added) {
        it->second.order = key->nextOrder++;
        it->second.name = name;
    }
    it->second.value = Value{type, data};
    return Status::Ok;
}

Status MemoryRegistry::deleteValue(const std::string &path, const std::string &name)
{
    KeyData *key = find(path);
    if (!key)
        return Status::NotFound;
    const auto it = key->values.find(foldCase(name));
    if (it == key->values.end())
        return Status::NotFound;
    if (Status status = beginWrite(); status != Status::Ok)
        return status;
    key->values.erase(it);
    return Status::Ok;
}

std::vector<std::string> MemoryRegistry::valueNames(const std::string &path)
{
    std::vector<std::string> names;
    if (KeyData *key = find(path)) {
        std::vector<const StoredValue *> inOrder;
        inOrder.reserve(key->values.size());
        for (const auto &[folded, stored] : key->values)
            inOrder.push_back(&stored);
        std::sort(inOrder.begin(), inOrder.end(),
                  [](const StoredValue *a, const StoredValue *b) { return a->order < b->order; });
        for (const StoredValue *stored : inOrder)
            names.push_back(stored->name);
    }
    return names;
}

} // namespace vigilon::reg
