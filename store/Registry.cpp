// SPDX-License-Identifier: MIT
#include "store/Registry.h"

#include <cerrno>

namespace vigilon::reg {

const char *statusText(Status status)
{
    switch (status) {
    case Status::Ok:
        return "ok";
    case Status::NotFound:
        return "not found";
    case Status::Busy:
        return "the store is busy";
    case Status::ReadOnly:
        return "the store is read-only";
    case Status::Full:
        return "no space left for the store";
    case Status::IoError:
        return "input/output error";
    case Status::Damaged:
        return "the store is damaged";
    case Status::TooLarge:
        return "the value is too large";
    case Status::NotAFile:
        return "the store's path is not a regular file";
    case Status::Interrupted:
        return "a save to the store was interrupted; any change made by a user who may write the store (vigilon-reg "
               "add, or a start of Vigilon) rolls it back to the last whole state";
    }
    return "unknown error";
}

std::vector<std::uint8_t> dwordBytes(std::uint32_t value)
{
    return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
            static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
}

std::vector<std::uint8_t> stringBytes(const std::string &text)
{
    return {text.begin(), text.end()};
}

bool dwordFromValue(const Value &value, std::uint32_t &out)
{
    if (value.data.size() < 4)
        return false;
    out = std::uint32_t(value.data[0]) | std::uint32_t(value.data[1]) << 8 | std::uint32_t(value.data[2]) << 16 |
          std::uint32_t(value.data[3]) << 24;
    return true;
}

std::string stringFromValue(const Value &value)
{
    std::string text;
    for (std::uint8_t byte : value.data) {
        if (byte == 0)
            break;
        text.push_back(static_cast<char>(byte));
    }
    return text;
}

const char *programName()
{
#ifdef __GLIBC__
    return program_invocation_short_name;
#else
    return "vigilon";
#endif
}

std::string foldCase(const std::string &text)
{
    std::string folded = text;
    for (char &c : folded) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return folded;
}

Status Key::allValues(std::vector<std::pair<std::string, Value>> &out)
{
    out.clear();
    for (std::string &name : valueNames()) {
        Value value;
        const Status status = queryValue(name, value);
        // Deleted between the listing and the reading: not there.
        if (status == Status::NotFound)
            continue;
        if (status != Status::Ok)
            return status;
        out.emplace_back(std::move(name), std::move(value));
    }
    return Status::Ok;
}

bool sameName(const std::string &a, const std::string &b)
{
    return a.size() == b.size() && foldCase(a) == foldCase(b);
}

std::vector<std::string> splitKeyPath(const std::string &path)
{
    std::vector<std::string> parts;
    std::string part;
    for (char c : path) {
        if (c == '\\') {
            if (!part.empty())
                parts.push_back(part);
            part.clear();
        } else {
            part.push_back(c);
        }
    }
    if (!part.empty())
        parts.push_back(part);
    return parts;
}

std::string normalizeKeyPath(const std::string &path)
{
    std::string joined;
    for (const std::string &part : splitKeyPath(path)) {
        if (!joined.empty())
            joined.push_back('\\');
        joined += part;
    }
    return joined;
}

} // namespace vigilon::reg
