// SPDX-License-Identifier: MIT
#include "store/Settings.h"
#include "base/SecureRandom.h"

#include "store/ChannelSettings.h"
#include "store/Secret.h"

#include "base/TextFormat.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <unordered_map>

namespace vigilon {

using reg::Key;
using reg::Registry;
using reg::Status;
using reg::Value;

namespace {

std::string indexed(const char *name, std::uint32_t index)
{
    return std::string(name) + " #" + std::to_string(index);
}

// A read that failed because the value is missing or does not fit is a
// missing value; anything else is trouble with the store itself.
bool isTrouble(Status status)
{
    return status != Status::Ok && status != Status::NotFound && status != Status::TooLarge;
}

// A string holding a decimal number of 0 to 4294967295, blanks around it
// allowed.
bool numberFromString(const Value &value, std::uint32_t &out)
{
    const std::string text = reg::stringFromValue(value);
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return false;
    const std::string digits = text.substr(first, text.find_last_not_of(" \t") + 1 - first);
    if (digits.size() > 10 || digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const unsigned long long number = std::stoull(digits);
    if (number > 0xFFFFFFFFull)
        return false;
    out = static_cast<std::uint32_t>(number);
    return true;
}

// Reads a DWORD as into a 4-byte buffer: longer data does not fit; shorter
// data fills the low bytes and leaves the others of out as they were. A
// string (REG_SZ, REG_EXPAND_SZ) that holds a decimal number is read as
// that number; any other is read by its bytes.
// exact, when given, tells whether the stored value is what writing out
// gives.
Status readDword(Key &key, const std::string &name, std::uint32_t &out, bool *exact = nullptr)
{
    Value value;
    const Status status = key.queryValue(name, value);
    if (status != Status::Ok)
        return status;
    // Text that holds no number is read by its bytes, as every value is.
    if ((value.type == reg::RegSz || value.type == reg::RegExpandSz) && numberFromString(value, out)) {
        if (exact)
            *exact = false;
        return Status::Ok;
    }
    if (value.data.size() > 4)
        return Status::TooLarge;
    for (std::size_t i = 0; i < value.data.size(); ++i)
        out = (out & ~(0xffu << (8 * i))) | std::uint32_t(value.data[i]) << (8 * i);
    if (exact)
        *exact = value.type == reg::RegDword && value.data.size() == 4;
    return Status::Ok;
}

// Reads a string of at most kMaxStringBytes stored bytes, up to its first NUL.
Status readString(Key &key, const std::string &name, std::string &out, bool *exact = nullptr)
{
    Value value;
    const Status status = key.queryValue(name, value);
    if (status != Status::Ok)
        return status;
    if (value.data.size() > kMaxStringBytes)
        return Status::TooLarge;
    out = reg::stringFromValue(value);
    if (exact)
        *exact = value.type == reg::RegExpandSz && value.data == reg::stringBytes(out);
    return Status::Ok;
}

// A key's values read in one go and then answered by name as the key would
// answer them: a load of thousands of entries asks for tens of thousands of
// values. Where the values could not be read at once, the key answers.
class KeySnapshot final : public Key {
public:
    explicit KeySnapshot(Key &key) : key_(key)
    {
        std::vector<std::pair<std::string, Value>> values;
        if (key.allValues(values) != Status::Ok)
            return;
        names_.reserve(values.size());
        values_.reserve(values.size());
        for (auto &[name, value] : values) {
            names_.push_back(name);
            values_.emplace(reg::foldCase(name), std::move(value));
        }
        whole_ = true;
    }
    Status queryValue(const std::string &name, Value &out) override
    {
        if (!whole_)
            return key_.queryValue(name, out);
        const auto it = values_.find(reg::foldCase(name));
        if (it == values_.end())
            return Status::NotFound;
        out = it->second;
        return Status::Ok;
    }
    Status setValue(const std::string &name, std::uint32_t type, const std::vector<std::uint8_t> &data) override
    {
        return key_.setValue(name, type, data);
    }
    Status deleteValue(const std::string &name) override { return key_.deleteValue(name); }
    std::vector<std::string> valueNames() override { return whole_ ? names_ : key_.valueNames(); }

private:
    Key &key_;
    bool whole_ = false;
    std::vector<std::string> names_;
    std::unordered_map<std::string, Value> values_;
};

// One past the highest index i that has a "Port #i" value. Entries at or
// above it lack their port and are all skipped, so the load need not walk
// up to a "Port Count" of four thousand million.
std::uint32_t indexBound(Key &key)
{
    std::uint32_t bound = 0;
    for (const std::string &name : key.valueNames()) {
        if (name.size() < 7 || name.size() > 16 || !reg::sameName(name.substr(0, 6), "Port #"))
            continue;
        const std::string digits = name.substr(6);
        if (digits.find_first_not_of("0123456789") != std::string::npos || (digits.size() > 1 && digits[0] == '0'))
            continue;
        const unsigned long long index = std::stoull(digits);
        if (index < 0xffffffffull && index + 1 > bound)
            bound = static_cast<std::uint32_t>(index + 1);
    }
    return bound;
}

const char *typeName(std::uint32_t type)
{
    switch (type) {
    case reg::RegNone: return "REG_NONE";
    case reg::RegSz: return "REG_SZ";
    case reg::RegExpandSz: return "REG_EXPAND_SZ";
    case reg::RegBinary: return "REG_BINARY";
    case reg::RegDword: return "REG_DWORD";
    default: return "of an unknown type";
    }
}

// Reads entry i; anything but Ok when one of its values is missing or
// unreadable, and failed then names that value.
// exact: whether every value is stored as writing it gives.
// hostStored: whether a "Host #i" value was there.
Status readEntry(Key &key, std::uint32_t i, MonitorPort &entry, std::string &failed, bool &exact, bool &hostStored)
{
    std::uint32_t active = static_cast<std::uint32_t>(entry.active);
    Status status = Status::Ok;
    exact = true;
    bool one = true;
    const auto dword = [&](const char *name, std::uint32_t &out) {
        if (status == Status::Ok && (status = readDword(key, indexed(name, i), out, &one)) != Status::Ok)
            failed = indexed(name, i);
        exact = exact && one;
    };
    const auto text = [&](const char *name, std::string &out) {
        if (status == Status::Ok && (status = readString(key, indexed(name, i), out, &one)) != Status::Ok)
            failed = indexed(name, i);
        exact = exact && one;
    };
    dword("Port", entry.port);
    dword("Protocol", entry.protocol);
    dword("Threshold", entry.threshold);
    text("PortName", entry.name);
    text("Service", entry.command);
    dword("Action", entry.action);
    dword("Active", active);
    entry.active = static_cast<std::int32_t>(active);
    // The entry's own host is optional: without it the target is checked.
    hostStored = false;
    if (status == Status::Ok) {
        const Status read = readString(key, indexed("Host", i), entry.host, &one);
        if (read == Status::Ok) {
            hostStored = true;
            exact = exact && one;
        } else if (read != Status::NotFound) {
            status = read;
            failed = indexed("Host", i);
        }
    }
    return status;
}

// "HttpStatus #i" as the store holds it: known, and then its text exactly
// as written (REG_SZ), or nothing for a store without the value.
struct HttpStatusState {
    bool known = false;
    std::optional<std::string> text;
};

// Reads entry i's optional "HttpStatus #i" into its rule (absent: any
// reply). A text that is no rule is kept in a rule that is not valid and,
// where the entry's kind uses it, said in note.
Status readHttpStatus(Key &key, std::uint32_t i, MonitorPort &entry, HttpStatusState &state, std::string &note)
{
    Value value;
    const Status status = key.queryValue(indexed("HttpStatus", i), value);
    if (status == Status::NotFound)
        state = {true, std::nullopt};
    if (status != Status::Ok)
        return status == Status::NotFound ? Status::Ok : status;
    const std::string text = reg::stringFromValue(value);
    entry.httpStatus = HttpStatusRule::fromText(text);
    if (value.type == reg::RegSz && value.data == reg::stringBytes(text))
        state = {true, text};
    if (!entry.httpStatus.valid() && judgesHttpStatus(entry.protocol))
        note = std::string(reg::programName()) + ": entry #" + std::to_string(i) + " (" + escapeControls(entry.name) +
               ") is not checked: its \"HttpStatus #" + std::to_string(i) + "\" value \"" + escapeControls(text) +
               "\" is not \"any\", \"2xx-3xx\" or a list of codes and ranges from 100 to 599\n";
    return Status::Ok;
}

// Writes "HttpStatus #i" where the rule asks for it: its text where it is
// not any reply; for any reply, the value stays absent, or "any" replaces a
// stored rule that says otherwise (left from an entry that had this index).
Status writeHttpStatus(Key &key, std::uint32_t i, const HttpStatusRule &rule, HttpStatusState &state)
{
    const std::string name = indexed("HttpStatus", i);
    std::string text = rule.text();
    if (rule.anyReply()) {
        if (!state.known) {
            Value value;
            const Status read = key.queryValue(name, value);
            if (read == Status::NotFound)
                state = {true, std::nullopt};
            if (read != Status::Ok)
                return read == Status::NotFound ? Status::Ok : read;
            const std::string stored = reg::stringFromValue(value);
            if (HttpStatusRule::fromText(stored).anyReply())
                return Status::Ok;
        } else if (!state.text || HttpStatusRule::fromText(*state.text).anyReply()) {
            return Status::Ok;
        }
    } else if (state.known && state.text && HttpStatusRule::fromText(*state.text) == rule) {
        // Written otherwise, but the same rule.
        return Status::Ok;
    }
    const Status written = key.setValue(name, reg::RegSz, reg::stringBytes(text));
    if (written == Status::Ok)
        state = {true, std::move(text)};
    return written;
}

// The optional values of entry i, which a store of an earlier version does
// not have: each takes its default when it is missing or does not fit.
// certWarnDays is set when the stored value is exact.
void readEntryExtras(Key &key, std::uint32_t i, MonitorPort &entry, std::optional<std::uint32_t> &certWarnDays)
{
    std::uint32_t days = 0;
    bool exact = false;
    if (readDword(key, indexed("CertWarnDays", i), days, &exact) == Status::Ok) {
        entry.certWarnDays = days;
        if (exact)
            certWarnDays = days;
    }
}

Status writeDword(Key &key, const std::string &name, std::uint32_t value);

// The optional UDP values of entry i as the store holds them; each absent
// one leaves the entry's default.
struct UdpValues {
    bool exact = true;
    std::optional<std::uint32_t> mode;
    std::optional<std::string> payload, expect;
};

UdpValues readUdpValues(Key &key, std::uint32_t i, MonitorPort &entry)
{
    UdpValues stored;
    bool exact = false;
    std::uint32_t mode = 0;
    if (readDword(key, indexed("UDP Mode", i), mode, &exact) == Status::Ok) {
        entry.udpMode = mode <= UdpExpectReply ? mode : UdpSendOnly;
        stored.mode = mode;
        stored.exact = stored.exact && exact && mode == entry.udpMode;
    }
    const auto text = [&](const char *name, std::string &out, std::optional<std::string> &kept) {
        Value value;
        if (key.queryValue(indexed(name, i), value) != Status::Ok)
            return;
        if (value.data.size() > kMaxStringBytes) {
            stored.exact = false;
            return;
        }
        out = reg::stringFromValue(value);
        kept = out;
        stored.exact = stored.exact && value.type == reg::RegSz && value.data == reg::stringBytes(out);
    };
    text("UDP Payload", entry.udpPayload, stored.payload);
    text("UDP Expect", entry.udpExpect, stored.expect);
    return stored;
}

// Writes the UDP values that differ from what the store holds: each one
// that is not its default, and takes away those that are (a store that
// never had them stays as it was).
Status writeUdpValues(Key &key, std::uint32_t i, const MonitorPort &entry, const StoredValues::Entry *was)
{
    const bool known = was && was->udpKnown;
    const std::optional<std::uint32_t> mode =
        entry.udpMode != UdpSendOnly ? std::optional<std::uint32_t>(entry.udpMode) : std::nullopt;
    const auto textOf = [](const std::string &value) {
        return value.empty() ? std::nullopt : std::optional<std::string>(value);
    };
    const auto put = [&](const std::string &name, const std::optional<std::string> &value) {
        if (value)
            return key.setValue(name, reg::RegSz, reg::stringBytes(*value));
        const Status removed = key.deleteValue(name);
        return removed == Status::NotFound ? Status::Ok : removed;
    };
    Status status = Status::Ok;
    if (!(known && was->udpMode == mode)) {
        if (mode) {
            status = writeDword(key, indexed("UDP Mode", i), *mode);
        } else if (const Status removed = key.deleteValue(indexed("UDP Mode", i)); removed != Status::NotFound) {
            status = removed;
        }
    }
    if (status == Status::Ok && !(known && was->udpPayload == textOf(entry.udpPayload)))
        status = put(indexed("UDP Payload", i), textOf(entry.udpPayload));
    if (status == Status::Ok && !(known && was->udpExpect == textOf(entry.udpExpect)))
        status = put(indexed("UDP Expect", i), textOf(entry.udpExpect));
    return status;
}

// The DNS values of entry i ("DNS Name #i", "DNS Type #i", "DNS Expect
// #i", all REG_SZ): each absent one leaves the entry's empty default, and
// known gets what was read, unless one was stored otherwise than it is
// written (then the next save writes them).
void readDnsValues(Key &key, std::uint32_t i, MonitorPort &entry, StoredValues::Entry &known)
{
    bool exact = true;
    const auto text = [&](const char *name, std::string &out, std::optional<std::string> &kept) {
        Value value;
        if (key.queryValue(indexed(name, i), value) != Status::Ok)
            return;
        if (value.data.size() > kMaxStringBytes) {
            exact = false;
            return;
        }
        out = reg::stringFromValue(value);
        kept = out;
        exact = exact && value.type == reg::RegSz && value.data == reg::stringBytes(out);
    };
    text("DNS Name", entry.dnsName, known.dnsName);
    text("DNS Type", entry.dnsType, known.dnsType);
    text("DNS Expect", entry.dnsExpect, known.dnsExpect);
    known.dnsKnown = exact;
}

// Writes the DNS values that differ from what the store holds: each one
// that is not empty, and takes away the empty ones (a store that never had
// them stays as it was). was, when known, is brought up to date.
Status writeDnsValues(Key &key, std::uint32_t i, const MonitorPort &entry, StoredValues::Entry &was)
{
    Status status = Status::Ok;
    const auto put = [&](const char *name, const std::string &text, std::optional<std::string> &stored) {
        const std::optional<std::string> value = text.empty() ? std::nullopt : std::optional<std::string>(text);
        if (status != Status::Ok || (was.dnsKnown && stored == value))
            return;
        if (value) {
            status = key.setValue(indexed(name, i), reg::RegSz, reg::stringBytes(*value));
        } else if (const Status removed = key.deleteValue(indexed(name, i)); removed != Status::NotFound) {
            status = removed;
        }
        stored = value;
    };
    put("DNS Name", entry.dnsName, was.dnsName);
    put("DNS Type", entry.dnsType, was.dnsType);
    put("DNS Expect", entry.dnsExpect, was.dnsExpect);
    was.dnsKnown = status == Status::Ok;
    return status;
}

// The request of entry i, from its optional values: each missing one
// takes its default, and one that cannot be read (too long, or a number
// that is no method) too, said in notes. known gets what was read exactly.
Status readRequest(Key &key, std::uint32_t i, MonitorPort &entry, StoredValues::Entry &known,
                   std::vector<std::string> &notes)
{
    const auto note = [&](const std::string &name, const std::string &why) {
        notes.push_back(std::string(reg::programName()) + ": entry #" + std::to_string(i) + " (" +
                        escapeControls(entry.name) + "): its \"" + name + "\" " + why + "\n");
    };
    // A value stored otherwise than it is written leaves the request
    // unknown, so that the next save writes it whole.
    bool allExact = true;
    const auto text = [&](const char *base, std::string &out, std::optional<std::string> &exact) -> Status {
        const std::string name = indexed(base, i);
        Value value;
        const Status status = key.queryValue(name, value);
        if (status != Status::Ok)
            return status == Status::NotFound ? Status::Ok : status;
        if (value.data.size() > kMaxRequestText * 4 + 2) {
            note(name, "is longer than " + std::to_string(kMaxRequestText) + " characters and is not used");
            return Status::Ok;
        }
        out = reg::stringFromValue(value);
        if (value.type == reg::RegSz && value.data == reg::stringBytes(out))
            exact = out;
        else
            allExact = false;
        return Status::Ok;
    };
    const auto number = [&](const char *base, std::uint32_t &out, std::optional<std::uint32_t> &exact) -> Status {
        const std::string name = indexed(base, i);
        std::uint32_t read = 0;
        bool one = false;
        const Status status = readDword(key, name, read, &one);
        if (status == Status::TooLarge) {
            note(name, "does not fit a REG_DWORD and is not used");
            return Status::Ok;
        }
        if (status != Status::Ok)
            return status == Status::NotFound ? Status::Ok : status;
        out = read;
        if (one)
            exact = read;
        else
            allExact = false;
        return Status::Ok;
    };
    HttpRequest &request = entry.request;
    // "Password #i", a secret: only its name is ever said.
    const auto password = [&]() -> Status {
        const std::string name = indexed("Password", i);
        Value value;
        const Status status = key.queryValue(name, value);
        if (status != Status::Ok)
            return status == Status::NotFound ? Status::Ok : status;
        const std::string stored = reg::stringFromValue(value);
        if (value.data.size() > kMaxCredentialChars * 64 || !secret::reveal(stored, request.password)) {
            request.password.clear();
            note(name, "cannot be read here (it is protected for another user or machine, or too long); the "
                       "entry is checked without it");
            allExact = false;
            return Status::Ok;
        }
        // A password stored in clear where this system protects secrets
        // is written protected by the next save.
        if (value.type == reg::RegSz && value.data == reg::stringBytes(stored) && secret::isProtected(stored))
            known.password = request.password;
        else
            allExact = false;
        return Status::Ok;
    };
    std::uint32_t redirects = 0;
    std::string rule;
    Status status = Status::Ok;
    for (const auto &step : std::initializer_list<std::function<Status()>>{
             [&] { return text("Path", request.path, known.path); },
             [&] { return number("Method", request.method, known.method); },
             [&] { return text("Body", request.body, known.body); },
             [&] { return text("Headers", request.headers, known.headers); },
             [&] { return number("Redirects", redirects, known.redirects); },
             [&] { return text("Content Rule", rule, known.contentRule); },
             [&] { return text("User", request.user, known.user); },
             [&] { return password(); }}) {
        if (status == Status::Ok)
            status = step();
    }
    if (status != Status::Ok)
        return status;
    request.followRedirects = redirects != 0;
    request.contentRule = ContentRule::fromText(rule);
    known.requestKnown = allExact;
    if (!judgesHttpStatus(entry.protocol))
        return Status::Ok;
    std::string line;
    switch (checkRequest(request, &line)) {
    case RequestProblem::None:
        break;
    case RequestProblem::BadContentRule:
        note(indexed("Content Rule", i), "\"" + escapeControls(rule) + "\" is not valid (" +
                                             request.contentRule.error() + "): the entry is not checked");
        break;
    case RequestProblem::HeadWithContentRule:
        note(indexed("Content Rule", i), "asks for a body that a HEAD request does not get: the entry is not checked");
        break;
    case RequestProblem::BadMethod:
        note(indexed("Method", i), "is not 0 (HEAD), 1 (GET) or 2 (POST): the entry is not checked");
        break;
    case RequestProblem::BadPath:
        note(indexed("Path", i), "\"" + escapeControls(request.path) +
                                     "\" does not begin with / or holds a blank: the entry is not checked");
        break;
    case RequestProblem::BadUser:
        note(indexed("User", i), "holds a colon or a control character: the entry is not checked");
        break;
    case RequestProblem::PasswordWithoutUser:
        note(indexed("Password", i), "is stored without a \"" + indexed("User", i) + "\": the entry is not checked");
        break;
    case RequestProblem::BadHeader:
    case RequestProblem::ReservedHeader:
        note(indexed("Headers", i), "line \"" + escapeControls(line) + "\" cannot be sent: the entry is not checked");
        break;
    }
    return Status::Ok;
}

// Writes the request's values that differ from what the store holds: a
// value at its default is deleted rather than written, so that a store
// that never had them stays as it was.
Status writeRequest(Key &key, std::uint32_t i, const HttpRequest &request, StoredValues::Entry &known)
{
    Status status = Status::Ok;
    const bool wasKnown = known.requestKnown;
    const auto text = [&](const char *base, const std::string &value, const std::string &fallback,
                          std::optional<std::string> &stored) {
        if (status != Status::Ok || (wasKnown && stored.value_or(fallback) == value))
            return;
        const std::string name = indexed(base, i);
        if (value == fallback) {
            if (status = key.deleteValue(name); status == Status::NotFound)
                status = Status::Ok;
            if (status == Status::Ok)
                stored.reset();
        } else if (status = key.setValue(name, reg::RegSz, reg::stringBytes(value)); status == Status::Ok) {
            stored = value;
        }
    };
    const auto number = [&](const char *base, std::uint32_t value, std::optional<std::uint32_t> &stored) {
        if (status != Status::Ok || (wasKnown && stored.value_or(0) == value))
            return;
        const std::string name = indexed(base, i);
        if (value == 0) {
            if (status = key.deleteValue(name); status == Status::NotFound)
                status = Status::Ok;
            if (status == Status::Ok)
                stored.reset();
        } else if (status = writeDword(key, name, value); status == Status::Ok) {
            stored = value;
        }
    };
    text("Path", request.path, "/", known.path);
    number("Method", request.method, known.method);
    text("Body", request.body, "", known.body);
    text("Headers", request.headers, "", known.headers);
    number("Redirects", request.followRedirects ? 1u : 0u, known.redirects);
    text("Content Rule", request.contentRule.text(), "", known.contentRule);
    text("User", request.user, "", known.user);
    // The password is compared in clear and written protected.
    if (status == Status::Ok && !(wasKnown && known.password.value_or("") == request.password)) {
        const std::string name = indexed("Password", i);
        if (request.password.empty()) {
            if (status = key.deleteValue(name); status == Status::NotFound)
                status = Status::Ok;
            if (status == Status::Ok)
                known.password.reset();
        } else if (status = key.setValue(name, reg::RegSz, reg::stringBytes(secret::protect(request.password)));
                   status == Status::Ok) {
            known.password = request.password;
        }
    }
    known.requestKnown = status == Status::Ok;
    return status;
}

// "Channels #i", optional: absent (or not a list) is every channel.
void readEntryChannels(Key &key, std::uint32_t i, MonitorPort &entry, StoredValues::Entry &known)
{
    Value value;
    const Status status = key.queryValue(indexed("Channels", i), value);
    known.channelsKnown = status == Status::NotFound;
    if (status != Status::Ok || value.data.size() > kMaxStringBytes)
        return;
    const std::string text = reg::stringFromValue(value);
    entry.channels = channelListFromText(text);
    if (value.type == reg::RegSz && value.data == reg::stringBytes(text)) {
        known.channelsKnown = true;
        known.channels = text;
    }
}

// Entry i's own schedule: "Interval #i" (seconds), "Retry #i" and
// "Timeout #i" (milliseconds), each optional; 0 or absent is the global
// interval, the global retry limit or the default timeout. A value outside
// its range is brought into it, said in notes; one that is not a DWORD is
// not used, said too. known gets what was read exactly.
void readSchedule(Key &key, std::uint32_t i, MonitorPort &entry, StoredValues::Entry &known,
                  std::vector<std::string> &notes)
{
    bool allExact = true;
    const auto value = [&](const char *base, std::uint32_t low, std::uint32_t high, std::uint32_t &out,
                           std::optional<std::uint32_t> &exact) {
        const std::string name = indexed(base, i);
        std::uint32_t read = 0;
        bool one = false;
        const Status status = readDword(key, name, read, &one);
        if (status == Status::TooLarge)
            notes.push_back(std::string(reg::programName()) + ": entry #" + std::to_string(i) + " (" +
                            escapeControls(entry.name) + "): its \"" + name + "\" does not fit a REG_DWORD and is "
                            "not used\n");
        if (status != Status::Ok) {
            allExact = allExact && status == Status::NotFound;
            return;
        }
        out = read == 0 ? 0 : std::clamp(read, low, high);
        if (out != read)
            notes.push_back(std::string(reg::programName()) + ": entry #" + std::to_string(i) + " (" +
                            escapeControls(entry.name) + "): its \"" + name + "\" of " + std::to_string(read) +
                            " is outside " + std::to_string(low) + ".." + std::to_string(high) + "; using " +
                            std::to_string(out) + "\n");
        if (one && out == read && read != 0)
            exact = read;
        else
            allExact = false;
    };
    value("Interval", 1, EntryIntervalMax, entry.intervalSeconds, known.interval);
    value("Retry", EntryRetryMin, EntryRetryMax, entry.retryLimit, known.retry);
    value("Timeout", EntryTimeoutMinMs, EntryTimeoutMaxMs, entry.timeoutMs, known.timeout);
    known.scheduleKnown = allExact;
}

// Writes the schedule's values that differ from what the store holds: one
// that is 0 is deleted rather than written, so that a store that never had
// them stays as it was.
Status writeSchedule(Key &key, std::uint32_t i, const MonitorPort &entry, const StoredValues::Entry *had)
{
    const bool known = had && had->scheduleKnown;
    Status status = Status::Ok;
    // A stored value is never 0 (one that reads 0 is not known).
    const auto put = [&](const char *base, std::uint32_t value, const std::optional<std::uint32_t> &stored) {
        if (status != Status::Ok || (known && stored.value_or(0) == value))
            return;
        const std::string name = indexed(base, i);
        if (value != 0) {
            status = writeDword(key, name, value);
        } else if (const Status removed = key.deleteValue(name); removed != Status::NotFound) {
            status = removed;
        }
    };
    put("Interval", entry.intervalSeconds, had ? had->interval : std::nullopt);
    put("Retry", entry.retryLimit, had ? had->retry : std::nullopt);
    put("Timeout", entry.timeoutMs, had ? had->timeout : std::nullopt);
    return status;
}

// "Push Token #i" (REG_SZ): the secret of a heartbeat entry's URL. A
// heartbeat entry without one gets a fresh one (made true); a stored one
// is used as it is, so long as it can stand in a URL's path.
void readPushToken(Key &key, std::uint32_t i, MonitorPort &entry, StoredValues::Entry &known, bool &made,
                   std::vector<std::string> &notes)
{
    Value value;
    const Status status = key.queryValue(indexed("Push Token", i), value);
    known.pushTokenKnown = status == Status::NotFound;
    if (status == Status::Ok && value.data.size() <= kMaxStringBytes) {
        entry.pushToken = reg::stringFromValue(value);
        if (value.type == reg::RegSz && value.data == reg::stringBytes(entry.pushToken)) {
            known.pushTokenKnown = true;
            known.pushToken = entry.pushToken;
        }
    }
    if (entry.protocol != Push)
        return;
    if (entry.pushToken.empty()) {
        entry.pushToken = makePushToken();
        made = made || !entry.pushToken.empty();
    } else if (!isPushToken(entry.pushToken)) {
        // The value itself is a secret: only its name is said.
        notes.push_back(std::string(reg::programName()) + ": the stored \"" + indexed("Push Token", i) +
                        "\" is not 16 to 128 of the characters A-Z a-z 0-9 - _ . ~: no call is taken for the "
                        "entry until it is\n");
    }
}

// "Id #i" (REG_SZ), the entry's stable id; one that is not an id is left
// for the program to replace.
void readStableId(Key &key, std::uint32_t i, MonitorPort &entry, StoredValues::Entry &known)
{
    Value value;
    const Status status = key.queryValue(indexed("Id", i), value);
    known.stableIdKnown = status == Status::NotFound;
    if (status != Status::Ok || value.data.size() > kMaxStringBytes)
        return;
    const std::string text = reg::stringFromValue(value);
    if (isStableId(text))
        entry.stableId = text;
    if (value.type == reg::RegSz && value.data == reg::stringBytes(text)) {
        known.stableIdKnown = true;
        known.stableId = text;
    }
}

// "Quiet Until #i" (seconds since 1970 UTC, kQuietUntilResumed until
// resumed) and "Quiet Windows #i" (their text form), both optional. A text
// that does not read gives no window, said in notes, and stays stored as it
// is until the entry's windows are set anew.
void readEntryQuiet(Key &key, std::uint32_t i, MonitorPort &entry, StoredValues::Entry &known,
                    std::vector<std::string> &notes)
{
    bool exact = true;
    std::uint32_t until = 0;
    bool exactNumber = false;
    const Status untilRead = readDword(key, indexed("Quiet Until", i), until, &exactNumber);
    if (untilRead == Status::Ok) {
        entry.quietUntil = until;
        known.quietUntil = until;
        exact = exactNumber;
    } else if (untilRead != Status::NotFound) {
        exact = false;
    }
    Value value;
    const Status windowsRead = key.queryValue(indexed("Quiet Windows", i), value);
    if (windowsRead == Status::Ok && value.data.size() <= kMaxStringBytes) {
        const std::string text = reg::stringFromValue(value);
        std::string why;
        if (!parseQuietWindows(text, entry.quietWindows, why))
            notes.push_back(std::string(reg::programName()) + ": entry #" + std::to_string(i) +
                            " has no quiet times: \"" + escapeControls(why) +
                            "\" in its \"Quiet Windows\" is not days and a time range such as \"Sun 02:00-04:00\"\n");
        known.quietWindows = quietWindowsText(entry.quietWindows);
    } else if (windowsRead != Status::NotFound) {
        exact = false;
    }
    known.quietKnown = exact;
}

// Why a value that does not fit was not read, for standard error.
std::string misfitText(Key &key, std::uint32_t i, const std::string &name)
{
    Value value;
    key.queryValue(name, value);
    const bool isString =
        name.rfind("PortName", 0) == 0 || name.rfind("Service", 0) == 0 || name.rfind("Host", 0) == 0;
    std::string text = std::string(reg::programName()) + ": entry #" + std::to_string(i) + " is skipped: its value \"" +
                       name + "\" is " + typeName(value.type) + " of " + std::to_string(value.data.size()) +
                       " bytes, where " +
                       (isString ? "a string of at most " + std::to_string(kMaxStringBytes) + " bytes"
                                 : std::string("a REG_DWORD of 4 bytes or a number as text")) +
                       " is read\n";
    return text;
}

// A setting whose stored value is longer than a DWORD takes its default;
// this says so.
std::string misfitDword(const char *name, Key &key, std::uint32_t used)
{
    Value value;
    key.queryValue(name, value);
    return std::string(reg::programName()) + ": the stored \"" + name + "\" is " + typeName(value.type) + " of " +
           std::to_string(value.data.size()) +
           " bytes, where a REG_DWORD of 4 bytes or a number as text is read; using " +
           std::to_string(used) + "\n";
}

Status writeDword(Key &key, const std::string &name, std::uint32_t value)
{
    return key.setValue(name, reg::RegDword, reg::dwordBytes(value));
}

Status writeString(Key &key, const std::string &name, const std::string &text)
{
    return key.setValue(name, reg::RegExpandSz, reg::stringBytes(text));
}

// Runs write on the configuration's key, made if missing, in one
// transaction.
Status writeMonitorKey(Registry &registry, const std::function<Status(Key &)> &write)
{
    return registry.transact([&]() {
        Status opened = Status::Ok;
        std::unique_ptr<Key> key = registry.openKey(kMonitorKey, reg::KeyQueryValue | reg::KeySetValue, &opened);
        if (!key && opened == Status::NotFound)
            key = registry.createKey(kMonitorKey, &opened);
        if (!key)
            return opened;
        return write(*key);
    });
}

// Stands in for a store that could not be opened: holds nothing and refuses
// every write with the reason.
class UnavailableRegistry final : public Registry {
public:
    explicit UnavailableRegistry(Status reason) : reason_(reason) {}

    std::unique_ptr<Key> openKey(const std::string &, std::uint32_t, Status *status) override
    {
        if (status)
            *status = reason_;
        return nullptr;
    }
    std::unique_ptr<Key> createKey(const std::string &, Status *status) override
    {
        if (status)
            *status = reason_;
        return nullptr;
    }
    Status deleteKey(const std::string &) override { return reason_; }
    std::vector<std::string> subkeys(const std::string &) override { return {}; }
    Status transact(const std::function<Status()> &) override { return reason_; }
    Status readAndClearDword(const std::string &, const std::string &, std::uint32_t &previous) override
    {
        previous = 0;
        return reason_;
    }

private:
    Status reason_;
};

} // namespace

LoadedSettings loadSettings(Registry &registry, bool readTarget, std::string &targetHost, Status *status,
                            StoredValues *stored)
{
    LoadedSettings loaded;
    StoredValues found;
    std::string target = targetHost;
    std::vector<std::string> notes; // said once the load has succeeded
    // One read transaction, so that a save by another process cannot be seen
    // half; it takes no write lock, so a writer does not keep it out.
    const Status result = registry.readTransact([&]() {
        notes.clear();
        found = StoredValues{};
        bool exact = false;
        Status opened = Status::Ok;
        std::unique_ptr<Key> openedKey = registry.openKey(kMonitorKey, reg::KeyQueryValue, &opened);
        if (!openedKey)
            return opened;
        KeySnapshot snapshot(*openedKey);
        Key *key = &snapshot;

        std::uint32_t count = 0;
        Status read = readDword(*key, "Port Count", count, &exact);
        if (read != Status::Ok)
            count = 0;
        else if (exact)
            found.count = count;
        if (isTrouble(read))
            return read;
        if (read = readDword(*key, "Interval", loaded.intervalSeconds, &exact); read != Status::Ok)
            loaded.intervalSeconds = 5;
        else if (exact)
            found.interval = loaded.intervalSeconds;
        if (isTrouble(read))
            return read;
        if (read == Status::TooLarge)
            notes.push_back(misfitDword("Interval", *key, loaded.intervalSeconds));
        // A 0 would arm a timer of 0 ms, and beyond 99999 the period in
        // milliseconds comes close to overflowing the timer.
        if (const std::uint32_t stored = loaded.intervalSeconds; stored < kMinInterval || stored > kMaxInterval) {
            loaded.intervalSeconds = std::clamp(stored, kMinInterval, kMaxInterval);
            notes.push_back(std::string(reg::programName()) + ": the stored interval of " + std::to_string(stored) +
                            " seconds is outside 1..99999; using " + std::to_string(loaded.intervalSeconds) + "\n");
        }
        if (read = readDword(*key, "Retry", loaded.retryLimit, &exact); read != Status::Ok)
            loaded.retryLimit = 1;
        else if (exact)
            found.retry = loaded.retryLimit;
        if (isTrouble(read))
            return read;
        if (read == Status::TooLarge)
            notes.push_back(misfitDword("Retry", *key, loaded.retryLimit));
        // The main dialog takes 1..5 and asks for it with a box: a start
        // must never wait on one for a stored value.
        if (const std::uint32_t stored = loaded.retryLimit; stored < kMinRetry || stored > kMaxRetry) {
            loaded.retryLimit = std::clamp(stored, kMinRetry, kMaxRetry);
            notes.push_back(std::string(reg::programName()) + ": the stored retry limit of " + std::to_string(stored) +
                            " is outside 1..5; using " + std::to_string(loaded.retryLimit) + "\n");
        }
        std::uint32_t notify = 1;
        if (read = readDword(*key, "Notify", notify); isTrouble(read))
            return read;
        loaded.notifications = read != Status::Ok || notify != 0;
        std::uint32_t keepHistory = 1;
        if (read = readDword(*key, kKeepHistoryValue, keepHistory); isTrouble(read))
            return read;
        loaded.historyKept = read != Status::Ok || keepHistory != 0;
        if (readTarget) {
            std::string stored;
            read = readString(*key, "Target", stored, &exact);
            if (read == Status::Ok)
                target = stored;
            if (read == Status::Ok && exact)
                found.target = stored;
            if (isTrouble(read))
                return read;
        }

        const std::uint32_t end = std::min(count, indexBound(*key));
        found.entries.resize(end);
        for (std::uint32_t i = 0; i < end; ++i) {
            auto entry = std::make_unique<MonitorPort>();
            std::string failed;
            bool hostStored = false;
            read = readEntry(*key, i, *entry, failed, exact, hostStored);
            if (isTrouble(read))
                return read;
            std::optional<std::uint32_t> certWarnDays;
            UdpValues udp;
            if (read == Status::Ok) {
                readEntryExtras(*key, i, *entry, certWarnDays);
                udp = readUdpValues(*key, i, *entry);
                readSchedule(*key, i, *entry, found.entries[i], notes);
                readDnsValues(*key, i, *entry, found.entries[i]);
                readEntryChannels(*key, i, *entry, found.entries[i]);
                readPushToken(*key, i, *entry, found.entries[i], loaded.tokensMade, notes);
                readStableId(*key, i, *entry, found.entries[i]);
                readEntryQuiet(*key, i, *entry, found.entries[i], notes);
            }
            if (read == Status::Ok && exact) {
                StoredValues::Entry &known = found.entries[i];
                known.known = true;
                known.port = entry->port;
                known.threshold = entry->threshold;
                known.protocol = entry->protocol;
                known.action = entry->action;
                known.active = static_cast<std::uint32_t>(entry->active);
                known.name = entry->name;
                known.command = entry->command;
                if (hostStored)
                    known.host = entry->host;
                known.certWarnDays = certWarnDays;
                known.udpKnown = udp.exact;
                known.udpMode = udp.mode;
                known.udpPayload = udp.payload;
                known.udpExpect = udp.expect;
            }
            if (read == Status::Ok) {
                HttpStatusState http;
                std::string note;
                if (read = readHttpStatus(*key, i, *entry, http, note); read != Status::Ok)
                    return read;
                found.entries[i].httpStatusKnown = http.known;
                found.entries[i].httpStatus = http.text;
                if (read = readRequest(*key, i, *entry, found.entries[i], notes); read != Status::Ok)
                    return read;
                if (!note.empty())
                    notes.push_back(note);
                loaded.ports.push_back(std::move(entry));
            }
            else if (read == Status::TooLarge)
                notes.push_back(misfitText(*key, i, failed));
        }
        return Status::Ok;
    });
    if (result == Status::Ok) {
        targetHost = target;
        if (stored)
            *stored = std::move(found);
        for (const std::string &note : notes)
            std::fputs(note.c_str(), stderr);
    } else {
        loaded = LoadedSettings{};
    }
    if (status)
        *status = result;
    return loaded;
}

Status saveSettings(Registry &registry, const std::string &targetHost, std::uint32_t intervalSeconds,
                    std::uint32_t retryLimit, const PortList &ports, StoredValues *stored)
{
    const std::size_t count = realEntryCount(ports);
    const StoredValues none;
    const StoredValues &known = stored ? *stored : none;
    std::vector<HttpStatusState> http(count);
    std::vector<StoredValues::Entry> requests(count);
    const Status result = writeMonitorKey(registry, [&](Key &key) {
        Status status = Status::Ok;
        const auto dword = [&](const std::string &name, std::uint32_t value, bool same) {
            if (status == Status::Ok && !same)
                status = writeDword(key, name, value);
        };
        const auto text = [&](const std::string &name, const std::string &value, bool same) {
            if (status == Status::Ok && !same)
                status = writeString(key, name, value);
        };
        // Values of indexes at or above the new count stay; loading ignores them.
        dword("Port Count", static_cast<std::uint32_t>(count), known.count == count);
        dword("Interval", intervalSeconds, known.interval == intervalSeconds);
        dword("Retry", retryLimit, known.retry == retryLimit);
        text("Target", targetHost, known.target == targetHost);
        for (std::size_t n = 0; n < count && status == Status::Ok; ++n) {
            const MonitorPort &entry = *ports[n];
            const auto i = static_cast<std::uint32_t>(n);
            const StoredValues::Entry *was = n < known.entries.size() && known.entries[n].known ? &known.entries[n] : nullptr;
            dword(indexed("Port", i), entry.port, was && was->port == entry.port);
            dword(indexed("Threshold", i), entry.threshold, was && was->threshold == entry.threshold);
            dword(indexed("Protocol", i), entry.protocol, was && was->protocol == entry.protocol);
            text(indexed("PortName", i), entry.name, was && was->name == entry.name);
            text(indexed("Service", i), entry.command, was && was->command == entry.command);
            dword(indexed("Action", i), entry.action, was && was->action == entry.action);
            const auto active = static_cast<std::uint32_t>(entry.active);
            dword(indexed("Active", i), active, was && was->active == active);
            if (n < known.entries.size() && known.entries[n].httpStatusKnown)
                http[n] = {true, known.entries[n].httpStatus};
            if (status == Status::Ok)
                status = writeHttpStatus(key, i, entry.httpStatus, http[n]);
            // An entry without its own host has no "Host #i" (or an empty
            // one), so that a store that never had them stays as it was.
            const std::string hostName = indexed("Host", i);
            if (!entry.host.empty()) {
                text(hostName, entry.host, was && was->host == entry.host);
            } else if (status == Status::Ok && !(was && (!was->host || was->host->empty()))) {
                if (const Status removed = key.deleteValue(hostName); removed != Status::NotFound)
                    status = removed;
            }
            dword(indexed("CertWarnDays", i), entry.certWarnDays, was && was->certWarnDays == entry.certWarnDays);
            if (status == Status::Ok)
                status = writeUdpValues(key, i, entry, was);
            requests[n] = n < known.entries.size() ? known.entries[n] : StoredValues::Entry{};
            if (status == Status::Ok)
                status = writeRequest(key, i, entry.request, requests[n]);
            if (status == Status::Ok)
                status = writeDnsValues(key, i, entry, requests[n]);
            // Without a list of its own the entry uses every channel and
            // has no "Channels #i".
            const StoredValues::Entry *had = n < known.entries.size() ? &known.entries[n] : nullptr;
            if (status == Status::Ok)
                status = writeSchedule(key, i, entry, had);
            const std::string channelsName = indexed("Channels", i);
            if (entry.channels) {
                const std::string list = channelListText(*entry.channels);
                if (status == Status::Ok && !(had && had->channelsKnown && had->channels == list))
                    status = key.setValue(channelsName, reg::RegSz, reg::stringBytes(list));
            } else if (status == Status::Ok && !(had && had->channelsKnown && !had->channels)) {
                if (const Status removed = key.deleteValue(channelsName); removed != Status::NotFound)
                    status = removed;
            }
            // A token stays stored while the entry has one, whatever its
            // kind, so that a kind changed back keeps its URL.
            const std::string tokenName = indexed("Push Token", i);
            if (!entry.pushToken.empty()) {
                if (status == Status::Ok && !(had && had->pushTokenKnown && had->pushToken == entry.pushToken))
                    status = key.setValue(tokenName, reg::RegSz, reg::stringBytes(entry.pushToken));
            } else if (status == Status::Ok && !(had && had->pushTokenKnown && !had->pushToken)) {
                if (const Status removed = key.deleteValue(tokenName); removed != Status::NotFound)
                    status = removed;
            }
            if (!entry.stableId.empty() && status == Status::Ok &&
                !(had && had->stableIdKnown && had->stableId == entry.stableId))
                status = key.setValue(indexed("Id", i), reg::RegSz, reg::stringBytes(entry.stableId));
            // Quiet periods: absent where there is none.
            const bool quietKnown = had && had->quietKnown;
            const std::string untilName = indexed("Quiet Until", i);
            if (entry.quietUntil != 0) {
                const auto until = static_cast<std::uint32_t>(std::min<std::int64_t>(
                    std::max<std::int64_t>(entry.quietUntil, 0), kQuietUntilResumed));
                dword(untilName, until, quietKnown && had->quietUntil == until);
            } else if (status == Status::Ok && !(quietKnown && !had->quietUntil)) {
                if (const Status removed = key.deleteValue(untilName); removed != Status::NotFound)
                    status = removed;
            }
            const std::string windowsName = indexed("Quiet Windows", i);
            const std::string windows = quietWindowsText(entry.quietWindows);
            if (status == Status::Ok && !(quietKnown && had->quietWindows == windows)) {
                if (!windows.empty())
                    status = key.setValue(windowsName, reg::RegSz, reg::stringBytes(windows));
                else if (const Status removed = key.deleteValue(windowsName); removed != Status::NotFound)
                    status = removed;
            }
        }
        return status;
    });
    if (result != Status::Ok || !stored)
        return result;
    // The store now holds these.
    stored->count = static_cast<std::uint32_t>(count);
    stored->interval = intervalSeconds;
    stored->retry = retryLimit;
    stored->target = targetHost;
    if (stored->entries.size() < count)
        stored->entries.resize(count);
    for (std::size_t n = 0; n < count; ++n) {
        const MonitorPort &entry = *ports[n];
        StoredValues::Entry &now = stored->entries[n];
        now.known = true;
        now.port = entry.port;
        now.threshold = entry.threshold;
        now.protocol = entry.protocol;
        now.action = entry.action;
        now.active = static_cast<std::uint32_t>(entry.active);
        now.name = entry.name;
        now.command = entry.command;
        now.httpStatusKnown = http[n].known;
        now.httpStatus = http[n].text;
        if (!entry.host.empty())
            now.host = entry.host;
        else if (now.host && !now.host->empty())
            now.host.reset();
        now.certWarnDays = entry.certWarnDays;
        now.udpKnown = true;
        now.udpMode = entry.udpMode != UdpSendOnly ? std::optional<std::uint32_t>(entry.udpMode) : std::nullopt;
        now.udpPayload = entry.udpPayload.empty() ? std::nullopt : std::optional<std::string>(entry.udpPayload);
        now.udpExpect = entry.udpExpect.empty() ? std::nullopt : std::optional<std::string>(entry.udpExpect);
        const StoredValues::Entry &request = requests[n];
        now.requestKnown = request.requestKnown;
        now.path = request.path;
        now.body = request.body;
        now.headers = request.headers;
        now.contentRule = request.contentRule;
        now.method = request.method;
        now.redirects = request.redirects;
        now.channelsKnown = true;
        now.channels = entry.channels ? std::optional<std::string>(channelListText(*entry.channels)) : std::nullopt;
        const auto some = [](std::uint32_t value) {
            return value != 0 ? std::optional<std::uint32_t>(value) : std::nullopt;
        };
        now.scheduleKnown = true;
        now.interval = some(entry.intervalSeconds);
        now.retry = some(entry.retryLimit);
        now.timeout = some(entry.timeoutMs);
        now.dnsKnown = request.dnsKnown;
        now.dnsName = request.dnsName;
        now.dnsType = request.dnsType;
        now.dnsExpect = request.dnsExpect;
        now.pushTokenKnown = true;
        now.pushToken = entry.pushToken.empty() ? std::nullopt : std::optional<std::string>(entry.pushToken);
        if (!entry.stableId.empty()) {
            now.stableIdKnown = true;
            now.stableId = entry.stableId;
        }
        now.quietKnown = true;
        now.quietUntil = entry.quietUntil != 0 ? std::optional<std::uint32_t>(static_cast<std::uint32_t>(
                                                     std::min<std::int64_t>(entry.quietUntil, kQuietUntilResumed)))
                                               : std::nullopt;
        now.quietWindows = quietWindowsText(entry.quietWindows);
    }
    return result;
}

Status saveNotifications(Registry &registry, bool on)
{
    return writeMonitorKey(registry, [&](Key &key) { return writeDword(key, "Notify", on ? 1u : 0u); });
}

Status saveHistoryKept(Registry &registry, bool on)
{
    return writeMonitorKey(registry, [&](Key &key) { return writeDword(key, kKeepHistoryValue, on ? 1u : 0u); });
}

bool loadHistoryKept(Registry &registry)
{
    std::uint32_t value = 1;
    registry.readTransact([&]() {
        if (std::unique_ptr<Key> key = registry.openKey(kMonitorKey, reg::KeyQueryValue))
            if (readDword(*key, kKeepHistoryValue, value) != Status::Ok)
                value = 1;
        return Status::Ok;
    });
    return value != 0;
}

Status setLogonFlag(Registry &registry, std::uint32_t value)
{
    Status status = Status::Ok;
    std::unique_ptr<Key> key = registry.openKey(kProgramKey, reg::KeyQueryValue | reg::KeySetValue, &status);
    if (!key)
        return status; // the key is never created here
    return writeDword(*key, kLogonValue, value);
}

Status takeLogonFlag(Registry &registry, std::uint32_t &previous)
{
    const Status status = registry.readAndClearDword(kProgramKey, kLogonValue, previous);
    if (status != Status::Ok)
        previous = 0;
    return status;
}

std::unique_ptr<Registry> unavailableRegistry(Status reason)
{
    return std::make_unique<UnavailableRegistry>(reason);
}

namespace {
const char *const kWindowValues[] = {"Window Left", "Window Top", "Window Width", "Window Height"};
constexpr int kMaxWindowExtent = 100000;
// "Column Width #0..5"; the host and uptime columns, added later, are #6
// and #7 and may be missing from a store an older version wrote.
constexpr std::uint32_t kColumnCount = 6;
constexpr std::uint32_t kHostColumn = 6;
constexpr std::uint32_t kLastColumn = 7;
constexpr int kMaxColumnWidth = 10000;
} // namespace

WindowLayout loadWindowLayout(Registry &registry)
{
    WindowLayout layout;
    registry.readTransact([&]() {
        std::unique_ptr<Key> key = registry.openKey(kMonitorKey, reg::KeyQueryValue);
        if (!key)
            return Status::Ok;
        std::uint32_t window[4] = {};
        bool whole = true;
        for (int i = 0; i < 4; ++i)
            whole = whole && readDword(*key, kWindowValues[i], window[i]) == Status::Ok;
        // Left and top may lie left of or above the first screen.
        const int width = static_cast<int>(window[2]);
        const int height = static_cast<int>(window[3]);
        const int left = static_cast<int>(window[0]);
        const int top = static_cast<int>(window[1]);
        if (whole && width > 0 && width <= kMaxWindowExtent && height > 0 && height <= kMaxWindowExtent &&
            left > -kMaxWindowExtent && left < kMaxWindowExtent && top > -kMaxWindowExtent && top < kMaxWindowExtent) {
            layout.x = left;
            layout.y = top;
            layout.width = width;
            layout.height = height;
        }
        for (std::uint32_t c = 0; c < kColumnCount; ++c) {
            std::uint32_t width = 0;
            if (readDword(*key, indexed("Column Width", c), width) != Status::Ok || width == 0 ||
                width > static_cast<std::uint32_t>(kMaxColumnWidth)) {
                layout.columnWidths.clear();
                break;
            }
            layout.columnWidths.push_back(static_cast<int>(width));
        }
        // Each added column's width only after those before it.
        for (std::uint32_t c = kHostColumn; c <= kLastColumn && layout.columnWidths.size() == c; ++c) {
            std::uint32_t addedWidth = 0;
            if (readDword(*key, indexed("Column Width", c), addedWidth) == Status::Ok && addedWidth > 0 &&
                addedWidth <= static_cast<std::uint32_t>(kMaxColumnWidth))
                layout.columnWidths.push_back(static_cast<int>(addedWidth));
        }
        return Status::Ok;
    });
    return layout;
}

Status saveWindowLayout(Registry &registry, const WindowLayout &layout)
{
    return writeMonitorKey(registry, [&](Key &key) {
        Status status = Status::Ok;
        if (layout.hasWindow()) {
            const int window[4] = {layout.x, layout.y, layout.width, layout.height};
            for (int i = 0; i < 4 && status == Status::Ok; ++i)
                status = writeDword(key, kWindowValues[i], static_cast<std::uint32_t>(window[i]));
        }
        if (layout.columnWidths.size() >= kColumnCount && layout.columnWidths.size() <= kLastColumn + 1) {
            for (std::uint32_t c = 0; c < layout.columnWidths.size() && status == Status::Ok; ++c)
                status = writeDword(key, indexed("Column Width", c), static_cast<std::uint32_t>(layout.columnWidths[c]));
        }
        return status;
    });
}

} // namespace vigilon
