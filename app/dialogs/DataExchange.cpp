// SPDX-License-Identifier: MIT
#include "app/dialogs/DataExchange.h"

#include "base/StringTable.h"

#include <algorithm>
#include <limits>

namespace vigilon {


namespace {
std::string numbered(const std::string &format, const std::string &first, const std::string &second)
{
    std::string out;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size() && (format[i + 1] == '1' || format[i + 1] == '2')) {
            out += format[i + 1] == '1' ? first : second;
            ++i;
        } else {
            out += format[i];
        }
    }
    return out;
}

bool blank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}
} // namespace

std::size_t utf8Length(const std::string &text)
{
    std::size_t count = 0;
    for (const char c : text) {
        if ((static_cast<unsigned char>(c) & 0xC0u) != 0x80u)
            ++count;
    }
    return count;
}

bool DataExchange::parse(const std::string &text, bool allowSign, std::int64_t &out)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && blank(text[begin]))
        ++begin;
    while (end > begin && blank(text[end - 1]))
        --end;
    std::size_t i = begin;
    bool negative = false;
    if (allowSign && i < end && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i >= end)
        return false;
    constexpr std::int64_t cap = std::numeric_limits<std::int32_t>::max() + std::int64_t(1);
    std::int64_t value = 0;
    for (; i < end; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
        if (value > cap)
            value = cap;
    }
    out = negative ? -value : value;
    return true;
}

void DataExchange::writeNumber(EditField &edit, std::int64_t value)
{
    edit.setText(std::to_string(value));
}

void DataExchange::fail(EditField &edit, const std::string &message)
{
    prompter_.messageBox(message, "", mb::Ok | mb::IconExclamation);
    // The message nests the event loop; the dialog may be gone after it.
    if (alive_ && !*alive_)
        return;
    edit.focusAndSelect();
}

DataExchange::Outcome DataExchange::readInt(EditField &edit, std::int64_t &value, std::int64_t low, std::int64_t high,
                                            bool assignOutOfRange)
{
    std::int64_t read = 0;
    if (!parse(edit.text(), true, read)) {
        fail(edit, loadString(sid::ParseInteger));
        return Outcome::NotNumber;
    }
    if (read < low || read > high) {
        if (assignOutOfRange)
            value = read;
        fail(edit, numbered(loadString(sid::ParseIntegerRange), std::to_string(low), std::to_string(high)));
        return Outcome::OutOfRange;
    }
    value = read;
    return Outcome::Ok;
}

DataExchange::Outcome DataExchange::readUnsigned(EditField &edit, std::uint32_t &value, std::uint32_t low,
                                                 std::uint32_t high)
{
    std::int64_t read = 0;
    if (!parse(edit.text(), false, read)) {
        fail(edit, loadString(sid::ParseUnsigned));
        return Outcome::NotNumber;
    }
    if (read < low || read > high) {
        fail(edit, numbered(loadString(sid::ParseIntegerRange), std::to_string(low), std::to_string(high)));
        return Outcome::OutOfRange;
    }
    value = static_cast<std::uint32_t>(read);
    return Outcome::Ok;
}

bool DataExchange::readText(EditField &edit, std::string &value, std::size_t maxChars)
{
    const std::string text = edit.text();
    if (utf8Length(text) > maxChars) {
        fail(edit, numbered(loadString(sid::ParseStringSize), std::to_string(maxChars), ""));
        return false;
    }
    value = text;
    return true;
}

bool DataExchange::readHost(EditField &edit, std::string &value, std::size_t maxChars)
{
    std::string text;
    if (!readText(edit, text, maxChars))
        return false;
    const auto first = text.find_first_not_of(" \t");
    text = first == std::string::npos ? std::string() : text.substr(first, text.find_last_not_of(" \t") + 1 - first);
    // No name or address holds one; the system's parsers would take what
    // comes before it.
    const auto blankOrControl = [](char c) { return static_cast<unsigned char>(c) <= ' ' || c == 0x7f; };
    if (std::any_of(text.begin(), text.end(), blankOrControl)) {
        fail(edit, loadString(sid::HostInvalid));
        return false;
    }
    value = text;
    return true;
}

} // namespace vigilon
