// SPDX-License-Identifier: MIT
#include "store/RegFile.h"

#include "base/Utf8.h"

#include "base/TextFormat.h"

#include <cstdio>
#include <memory>

namespace vigilon::reg {

const char *const kRegFileTree = "Software\\Ardentis\\Vigilon";

namespace {

constexpr const char *kRoot = "HKEY_LOCAL_MACHINE";
constexpr const char *kHeader5 = "Windows Registry Editor Version 5.00";
constexpr const char *kHeader4 = "REGEDIT4";
constexpr std::uint32_t kMultiSz = 7;

// ---- UTF-8 and UTF-16 ----

// UTF-16 LE bytes of valid UTF-8 text.
std::string utf16FromUtf8(const std::string &text)
{
    std::string out;
    out.reserve(text.size() * 2);
    const auto unit = [&](char32_t u) {
        out.push_back(static_cast<char>(u & 0xFF));
        out.push_back(static_cast<char>(u >> 8));
    };
    char32_t code = 0;
    for (std::size_t at = 0; at < text.size();) {
        if (!nextUtf8(text, at, code))
            code = 0xFFFD; // not reached: the text was checked
        if (code >= 0x10000) {
            unit(0xD800 + ((code - 0x10000) >> 10));
            unit(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            unit(code);
        }
    }
    return out;
}

// UTF-16 LE bytes as UTF-8; false on an odd count or a lone surrogate.
// lines counts the line feeds read before the fault.
bool utf8FromUtf16(const std::uint8_t *bytes, std::size_t size, std::string &out, std::size_t *lines = nullptr)
{
    if (size % 2 != 0)
        return false;
    for (std::size_t i = 0; i < size; i += 2) {
        char32_t code = bytes[i] | bytes[i + 1] << 8;
        if (code >= 0xD800 && code <= 0xDBFF && i + 3 < size) {
            const char32_t low = bytes[i + 2] | bytes[i + 3] << 8;
            if (low >= 0xDC00 && low <= 0xDFFF) {
                code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        if (code >= 0xD800 && code <= 0xDFFF)
            return false;
        if (code == '\n' && lines)
            ++*lines;
        appendUtf8(out, code);
    }
    return true;
}

// ---- reading ----

std::string trimLeft(const std::string &text)
{
    const std::size_t from = text.find_first_not_of(" \t");
    return from == std::string::npos ? std::string() : text.substr(from);
}

std::string trimRight(std::string text)
{
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.pop_back();
    return text;
}

bool startsWithNoCase(const std::string &text, const std::string &prefix)
{
    return text.size() >= prefix.size() && sameName(text.substr(0, prefix.size()), prefix);
}

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The file's text as UTF-8 lines, without their line ends.
bool decodeFile(const std::string &bytes, std::vector<std::string> &lines, RegFileError &error)
{
    std::string text;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        std::size_t before = 0;
        if (!utf8FromUtf16(reinterpret_cast<const std::uint8_t *>(bytes.data()) + 2, bytes.size() - 2, text,
                           &before)) {
            error = {before + 1, "the file is not whole UTF-16 text (a lone surrogate or an odd last byte)"};
            return false;
        }
    } else {
        text = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? bytes.substr(3) : bytes;
        std::size_t line = 1;
        char32_t code = 0;
        for (std::size_t at = 0; at < text.size();) {
            if (text[at] == '\n')
                ++line;
            if (!nextUtf8(text, at, code)) {
                error = {line, "the text is neither UTF-16 with a byte-order mark nor UTF-8"};
                return false;
            }
        }
    }
    // A last line end closes the last line; it opens none.
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    std::size_t from = 0;
    while (from <= text.size()) {
        std::size_t end = text.find('\n', from);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(from, end - from);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(std::move(line));
        from = end + 1;
    }
    return true;
}

enum class Quoted { Ok, Unterminated, BadEscape };

// A quoted string starting at text[at] (the opening quote); at ends after
// the closing quote. The editor's escapes: \\ \" and \n \r \0.
Quoted readQuoted(const std::string &text, std::size_t &at, std::string &out)
{
    out.clear();
    for (++at; at < text.size(); ++at) {
        const char c = text[at];
        if (c == '"') {
            ++at;
            return Quoted::Ok;
        }
        if (c != '\\') {
            out.push_back(c);
            continue;
        }
        if (++at == text.size())
            return Quoted::Unterminated;
        switch (text[at]) {
        case '\\':
        case '"':
            out.push_back(text[at]);
            break;
        case 'n':
            out.push_back('\n');
            break;
        case 'r':
            out.push_back('\r');
            break;
        case '0':
            out.push_back('\0');
            break;
        default:
            return Quoted::BadEscape;
        }
    }
    return Quoted::Unterminated;
}

// The key path below the root, when the name lies in our tree.
bool keyInTree(const std::string &name, std::string &below)
{
    const std::size_t cut = name.find('\\');
    const std::string root = name.substr(0, cut);
    if (!sameName(root, kRoot) && !sameName(root, "HKLM"))
        return false;
    below = cut == std::string::npos ? std::string() : normalizeKeyPath(name.substr(cut + 1));
    const std::vector<std::string> tree = splitKeyPath(kRegFileTree);
    const std::vector<std::string> parts = splitKeyPath(below);
    if (parts.size() < tree.size())
        return false;
    for (std::size_t i = 0; i < tree.size(); ++i) {
        if (!sameName(parts[i], tree[i]))
            return false;
    }
    return true;
}

class Parser {
public:
    Parser(std::vector<std::string> lines, std::vector<RegFileStep> &steps, RegFileError &error)
        : lines_(std::move(lines)), steps_(steps), error_(error)
    {
    }

    bool run()
    {
        const std::string header = trimRight(lines_[0]);
        if (header == kHeader5) {
            wide_ = true;
        } else if (header != kHeader4) {
            return fail(1, std::string("not a registry file: the first line must be \"") + kHeader5 + "\" or \"" +
                               kHeader4 + "\"");
        }
        for (index_ = 1; index_ < lines_.size(); ++index_) {
            const std::string line = trimLeft(lines_[index_]);
            if (line.empty() || line[0] == ';')
                continue;
            if (line[0] == '[') {
                if (!readKey(trimRight(line)))
                    return false;
            } else if (line[0] == '"' || line[0] == '@') {
                if (!readValue(line))
                    return false;
            } else {
                return fail(lineNumber(), "neither a key in [brackets] nor a value (\"name\"=data or @=data)");
            }
        }
        return true;
    }

private:
    std::size_t lineNumber() const { return index_ + 1; }

    bool fail(std::size_t line, const std::string &why)
    {
        error_ = {line, why};
        return false;
    }

    bool readKey(const std::string &line)
    {
        if (line.size() < 2 || line.back() != ']')
            return fail(lineNumber(), "the key has no closing bracket");
        std::string name = line.substr(1, line.size() - 2);
        deleting_ = !name.empty() && name[0] == '-';
        if (deleting_)
            name.erase(0, 1);
        std::string below;
        if (!keyInTree(name, below))
            return fail(lineNumber(), "the key " + name + " lies outside " + kRoot + "\\" + kRegFileTree +
                                          ", the only tree imported");
        RegFileStep step;
        step.kind = deleting_ ? RegFileStep::DeleteKey : RegFileStep::CreateKey;
        if (!utf8ToStoreText(below, step.keyPath))
            return fail(lineNumber(), "the key's name cannot be written in the system's character set");
        step.line = lineNumber();
        keyPath_ = step.keyPath;
        haveKey_ = true;
        steps_.push_back(std::move(step));
        return true;
    }

    bool readValue(const std::string &line)
    {
        const std::size_t first = lineNumber();
        RegFileStep step;
        step.line = first;
        std::size_t at = 0;
        if (line[0] == '@') {
            at = 1;
        } else {
            std::string name;
            switch (readQuoted(line, at, name)) {
            case Quoted::Ok:
                break;
            case Quoted::Unterminated:
                return fail(first, "the value's name has no closing quote");
            case Quoted::BadEscape:
                return fail(first, "the value's name holds an unknown escape (only \\\\ \\\" \\n \\r \\0)");
            }
            if (name.empty())
                return fail(first, "an empty value name; the default value is written @");
            if (!utf8ToStoreText(name, step.name))
                return fail(first, "the value's name cannot be written in the system's character set");
        }
        const std::size_t equals = line.find_first_not_of(" \t", at);
        if (equals == std::string::npos || line[equals] != '=')
            return fail(first, "\"=\" expected after the value's name");
        if (!haveKey_)
            return fail(first, "a value before the first key");
        if (deleting_)
            return fail(first, "a value under a key that the file deletes");
        step.keyPath = keyPath_;
        const std::string data = trimLeft(line.substr(equals + 1));

        if (trimRight(data) == "-") {
            step.kind = RegFileStep::DeleteValue;
        } else if (!data.empty() && data[0] == '"') {
            std::size_t end = 0;
            std::string text;
            switch (readQuoted(data, end, text)) {
            case Quoted::Ok:
                break;
            case Quoted::Unterminated:
                return fail(first, "the string has no closing quote");
            case Quoted::BadEscape:
                return fail(first, "the string holds an unknown escape (only \\\\ \\\" \\n \\r \\0)");
            }
            const std::string rest = trimLeft(data.substr(end));
            if (!rest.empty() && rest[0] != ';')
                return fail(first, "text after the string's closing quote");
            if (!setText(step, RegSz, text))
                return false;
        } else if (startsWithNoCase(data, "dword:")) {
            const std::string digits = trimRight(data.substr(6));
            if (digits.empty() || digits.size() > 8 ||
                digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
                return fail(first, "a dword takes 1 to 8 hexadecimal digits");
            step.kind = RegFileStep::SetValue;
            step.value = {RegDword, dwordBytes(static_cast<std::uint32_t>(std::stoul(digits, nullptr, 16)))};
        } else if (startsWithNoCase(data, "hex")) {
            if (!readHex(data, step))
                return false;
        } else {
            return fail(first, "unknown data: expected \"text\", dword:, hex:, hex(N): or - to delete the value");
        }
        steps_.push_back(std::move(step));
        return true;
    }

    // Text data of a string type, in the store's characters and without
    // the terminating NUL the file may carry.
    bool setText(RegFileStep &step, std::uint32_t type, std::string text, bool dropNul = true)
    {
        if (dropNul && !text.empty() && text.back() == '\0')
            text.pop_back();
        std::string stored;
        if (!utf8ToStoreText(text, stored))
            return fail(step.line, "the text cannot be written in the system's character set");
        step.kind = RegFileStep::SetValue;
        step.value = {type, stringBytes(stored)};
        return true;
    }

    bool readHex(const std::string &data, RegFileStep &step)
    {
        std::uint32_t type = RegBinary;
        std::size_t at = 3;
        if (at < data.size() && data[at] == '(') {
            const std::size_t close = data.find(')', at);
            const std::string digits = close == std::string::npos ? std::string() : data.substr(at + 1, close - at - 1);
            if (digits.empty() || digits.size() > 8 ||
                digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
                return fail(step.line, "hex(N) takes the type N in 1 to 8 hexadecimal digits");
            type = static_cast<std::uint32_t>(std::stoul(digits, nullptr, 16));
            at = close + 1;
        }
        if (at >= data.size() || data[at] != ':')
            return fail(step.line, "unknown data: expected hex: or hex(N):");
        std::string piece = data.substr(at + 1);
        std::vector<std::uint8_t> bytes;
        for (;;) {
            piece = trimRight(piece);
            const bool more = !piece.empty() && piece.back() == '\\';
            if (more)
                piece.pop_back();
            std::size_t from = 0;
            while (from <= piece.size()) {
                std::size_t comma = piece.find(',', from);
                const bool last = comma == std::string::npos;
                if (last)
                    comma = piece.size();
                const std::string item = trimRight(trimLeft(piece.substr(from, comma - from)));
                from = comma + 1;
                if (item.empty() && last)
                    break; // a list ends with its comma before a line break
                if (item.empty() || item.size() > 2 || !isHexDigit(item[0]) ||
                    (item.size() == 2 && !isHexDigit(item[1])))
                    return fail(lineNumber(), "\"" + item + "\" is no hexadecimal byte");
                bytes.push_back(static_cast<std::uint8_t>(std::stoul(item, nullptr, 16)));
            }
            if (!more)
                break;
            if (index_ + 1 >= lines_.size())
                return fail(lineNumber(), "the data goes on past the end of the file");
            piece = lines_[++index_];
        }
        if (type != RegSz && type != RegExpandSz && type != kMultiSz) {
            step.kind = RegFileStep::SetValue;
            step.value = {type, std::move(bytes)};
            return true;
        }
        std::string text;
        if (wide_) {
            if (!utf8FromUtf16(bytes.data(), bytes.size(), text))
                return fail(step.line, "the string's bytes are not UTF-16 text");
        } else {
            text.assign(bytes.begin(), bytes.end());
            if (!isUtf8(text))
                return fail(step.line, "the string's bytes are not UTF-8 text");
        }
        return setText(step, type, text, type != kMultiSz);
    }

    std::vector<std::string> lines_;
    std::vector<RegFileStep> &steps_;
    RegFileError &error_;
    std::size_t index_ = 0;
    bool wide_ = false; // a version 5 file: string data in hex is UTF-16
    bool haveKey_ = false;
    bool deleting_ = false;
    std::string keyPath_;
};

// ---- writing ----

std::string quoted(const std::string &text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"')
            out.push_back('\\');
        out.push_back(c);
    }
    return out + "\"";
}

// Text that a quoted string of the file carries as it is.
bool plainText(const std::string &text)
{
    for (char c : text) {
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F)
            return false;
    }
    return true;
}

void appendHex(std::string &line, const std::string &bytes)
{
    std::size_t column = line.size();
    char pair[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const bool last = i + 1 == bytes.size();
        std::snprintf(pair, sizeof pair, last ? "%02x" : "%02x,", static_cast<unsigned char>(bytes[i]));
        line += pair;
        column += 3;
        if (!last && column > 76) {
            line += "\\\r\n  ";
            column = 2;
        }
    }
}

class Writer {
public:
    Writer(Registry &registry, std::string &text, std::string &problem)
        : registry_(registry), text_(text), problem_(problem)
    {
    }

    Status writeKey(const std::string &path)
    {
        Status status = Status::Ok;
        std::unique_ptr<Key> key = registry_.openKey(path, KeyQueryValue, &status);
        if (!key)
            return status;
        std::string name;
        if (!storeTextToUtf8(path, name) || !plainText(name)) {
            problem_ = "the key " + std::string(kRoot) + "\\" + escapeControls(path) +
                       " has a name that a registry file cannot hold";
            return Status::Ok;
        }
        text_ += "[" + std::string(kRoot) + "\\" + name + "]\r\n";
        std::vector<std::pair<std::string, Value>> values;
        if ((status = key->allValues(values)) != Status::Ok)
            return status;
        for (const auto &[valueName, value] : values) {
            if (!writeValue(path, valueName, value))
                return Status::Ok;
        }
        text_ += "\r\n";
        for (const std::string &child : registry_.subkeys(path)) {
            if ((status = writeKey(child)) != Status::Ok || !problem_.empty())
                return status;
        }
        return Status::Ok;
    }

private:
    bool refuse(const std::string &path, const std::string &name, const std::string &why)
    {
        problem_ = "the value " + (name.empty() ? std::string("(Default)") : "\"" + escapeControls(name) + "\"") +
                   " of " + kRoot + "\\" + escapeControls(path) + " " + why;
        return false;
    }

    bool writeValue(const std::string &path, const std::string &storedName, const Value &value)
    {
        std::string line;
        if (storedName.empty()) {
            line = "@=";
        } else {
            std::string name;
            if (!storeTextToUtf8(storedName, name) || !plainText(name))
                return refuse(path, storedName, "has a name that a registry file cannot hold");
            line = quoted(name) + "=";
        }
        std::string raw(value.data.begin(), value.data.end());
        // The registry keeps a string's terminating NUL, the store's own
        // writes leave it out: both are the same text in the file.
        if ((value.type == RegSz || value.type == RegExpandSz) && !raw.empty() && raw.back() == '\0')
            raw.pop_back();
        std::uint32_t number = 0;
        if (value.type == RegDword && value.data.size() == 4 && dwordFromValue(value, number)) {
            char digits[16];
            std::snprintf(digits, sizeof digits, "dword:%08x", number);
            line += digits;
        } else if (value.type == RegSz || value.type == RegExpandSz || value.type == kMultiSz) {
            std::string text;
            if (!storeTextToUtf8(raw, text))
                return refuse(path, storedName, "holds text that is not in the system's character set");
            if (value.type == RegSz && plainText(text)) {
                line += quoted(text);
            } else {
                // The editor's form: UTF-16 with the terminating NUL that
                // the store leaves out (a list's own terminators are kept).
                if (value.type != kMultiSz)
                    text.push_back('\0');
                line += value.type == RegSz ? "hex(1):" : value.type == RegExpandSz ? "hex(2):" : "hex(7):";
                appendHex(line, utf16FromUtf8(text));
            }
        } else if (value.type == RegBinary) {
            line += "hex:";
            appendHex(line, raw);
        } else {
            char kind[24];
            std::snprintf(kind, sizeof kind, "hex(%x):", static_cast<unsigned>(value.type));
            line += kind;
            appendHex(line, raw);
        }
        text_ += line + "\r\n";
        return true;
    }

    Registry &registry_;
    std::string &text_;
    std::string &problem_;
};

} // namespace

bool isUtf8(const std::string &text)
{
    char32_t code = 0;
    for (std::size_t at = 0; at < text.size();) {
        if (!nextUtf8(text, at, code))
            return false;
    }
    return true;
}

bool parseRegFile(const std::string &bytes, std::vector<RegFileStep> &steps, RegFileError &error)
{
    steps.clear();
    std::vector<std::string> lines;
    if (!decodeFile(bytes, lines, error))
        return false;
    Parser parser(std::move(lines), steps, error);
    if (parser.run())
        return true;
    steps.clear();
    return false;
}

Status applyRegFile(Registry &registry, const std::vector<RegFileStep> &steps)
{
    return registry.transact([&]() {
        std::unique_ptr<Key> key;
        std::string keyPath;
        Status status = Status::Ok;
        for (const RegFileStep &step : steps) {
            if (step.kind == RegFileStep::DeleteKey) {
                key.reset();
                status = registry.deleteKey(step.keyPath);
                if (status != Status::Ok && status != Status::NotFound)
                    return status;
                continue;
            }
            if (!key || keyPath != step.keyPath) {
                key = registry.createKey(step.keyPath, &status);
                if (!key)
                    return status;
                keyPath = step.keyPath;
            }
            if (step.kind == RegFileStep::SetValue) {
                status = key->setValue(step.name, step.value.type, step.value.data);
                if (status != Status::Ok)
                    return status;
            } else if (step.kind == RegFileStep::DeleteValue) {
                status = key->deleteValue(step.name);
                if (status != Status::Ok && status != Status::NotFound)
                    return status;
            }
        }
        return Status::Ok;
    });
}

bool exportRegFile(Registry &registry, std::string &bytes, Status &status, std::string &problem)
{
    problem.clear();
    std::string text = std::string(kHeader5) + "\r\n\r\n";
    status = registry.readTransact([&]() {
        // The tree under its stored spelling, found from the top down.
        std::string spelled;
        for (const std::string &part : splitKeyPath(kRegFileTree)) {
            const std::string wanted = spelled.empty() ? part : spelled + "\\" + part;
            std::string found;
            for (const std::string &child : registry.subkeys(spelled)) {
                if (sameName(child, wanted))
                    found = child;
            }
            if (found.empty())
                return Status::NotFound;
            spelled = found;
        }
        return Writer(registry, text, problem).writeKey(spelled);
    });
    if (status != Status::Ok || !problem.empty())
        return false;
    bytes = "\xFF\xFE" + utf16FromUtf8(text);
    return true;
}

} // namespace vigilon::reg
