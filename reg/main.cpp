// SPDX-License-Identifier: MIT
// vigilon-reg: inspects and edits the configuration store with the syntax
// and output of the Windows registry console tool:
//   vigilon-reg query  KEY [/v NAME | /ve]
//   vigilon-reg add    KEY [/v NAME | /ve] [/t TYPE] [/d DATA] [/f]
//   vigilon-reg delete KEY [/v NAME | /ve] [/f]
//   vigilon-reg export FILE
//   vigilon-reg import FILE
// It works on the store the program uses ($VIGILON_REGISTRY and so on).
#include "base/TextFormat.h"
#include "reg/StoreAccess.h"
#include "store/RegFile.h"
#include "store/Registry.h"
#include "store/Settings.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

using namespace vigilon;
using reg::Status;
using regtool::openStore;
using regtool::storeHelp;
using regtool::warnIfHeld;

namespace {

constexpr const char *kRootName = "HKEY_LOCAL_MACHINE";
constexpr const char *kNotFound = "ERROR: The system was unable to find the specified registry key or value.";

const char *const kUsage =
    "Usage:\n"
    "  vigilon-reg query KEY [/v NAME | /ve]\n"
    "  vigilon-reg add KEY [/v NAME | /ve] [/t TYPE] [/d DATA] [/f]\n"
    "  vigilon-reg delete KEY [/v NAME | /ve] [/f]\n"
    "  vigilon-reg export FILE\n"
    "  vigilon-reg import FILE\n"
    "  vigilon-reg --help\n"
    "\n"
    "  KEY    HKLM\\SubKey or HKEY_LOCAL_MACHINE\\SubKey\n"
    "  /v     the value NAME under KEY; /ve the value without a name\n"
    "  /t     REG_SZ (the default), REG_EXPAND_SZ, REG_DWORD or REG_BINARY\n"
    "  /d     the data: text, a DWORD in decimal or 0x hexadecimal, or hex bytes\n"
    "  /f     overwrite or delete without asking\n"
    "\n"
    "  export writes HKLM\\Software\\Ardentis\\Vigilon with every key and value below\n"
    "  it to FILE as a registry file (\"Windows Registry Editor Version 5.00\", UTF-16\n"
    "  LE), as the Windows registry editor exports it. import takes such a file\n"
    "  (also UTF-8, or \"REGEDIT4\") and applies it as one change: a file with a fault,\n"
    "  or with a key outside that tree, changes nothing, and the error names its\n"
    "  line. [-KEY] deletes a key and \"NAME\"=- a value, as in the editor's files.\n"
    "\n";

struct Command {
    std::string verb;
    std::string keyPath;     // below the root, as written
    std::optional<std::string> valueName;
    std::optional<std::string> type;
    std::optional<std::string> data;
    bool force = false;
};

int fail(const std::string &message)
{
    std::fprintf(stderr, "%s\n", message.c_str());
    return 1;
}

int invalidSyntax()
{
    return fail("ERROR: Invalid syntax. Type \"vigilon-reg --help\" for usage.");
}

int storeError(Status status)
{
    if (status == Status::NotFound)
        return fail(kNotFound);
    std::string text = reg::statusText(status);
    if (!text.empty() && text[0] >= 'a' && text[0] <= 'z')
        text[0] = static_cast<char>(text[0] - 'a' + 'A');
    return fail("ERROR: " + text + ".");
}

bool isOption(const std::string &arg, const char *name)
{
    return arg.size() >= 2 && (arg[0] == '/' || arg[0] == '-') && reg::sameName(arg.substr(1), name);
}

// Splits "HKLM\\Software\\..." into the path below the root.
bool parseKey(const std::string &text, std::string &path)
{
    const std::size_t cut = text.find('\\');
    const std::string root = text.substr(0, cut);
    if (!reg::sameName(root, "HKLM") && !reg::sameName(root, kRootName))
        return false;
    path = cut == std::string::npos ? std::string() : reg::normalizeKeyPath(text.substr(cut + 1));
    return true;
}

std::string fullName(const std::string &path)
{
    return path.empty() ? std::string(kRootName) : std::string(kRootName) + "\\" + path;
}

const char *typeName(std::uint32_t type)
{
    switch (type) {
    case reg::RegNone:
        return "REG_NONE";
    case reg::RegSz:
        return "REG_SZ";
    case reg::RegExpandSz:
        return "REG_EXPAND_SZ";
    case reg::RegBinary:
        return "REG_BINARY";
    case reg::RegDword:
        return "REG_DWORD";
    case 5:
        return "REG_DWORD_BIG_ENDIAN";
    case 7:
        return "REG_MULTI_SZ";
    case 11:
        return "REG_QWORD";
    default:
        return "REG_UNKNOWN";
    }
}

std::string hexBytes(const std::vector<std::uint8_t> &data)
{
    std::string text;
    char pair[3];
    for (std::uint8_t byte : data) {
        std::snprintf(pair, sizeof pair, "%02X", byte);
        text += pair;
    }
    return text;
}

// Stored text as printed: a backslash doubled and control characters
// escaped, so that every line is one value and a stored "a\nb" never reads
// like a line break.
std::string shownText(const std::string &text)
{
    std::string doubled;
    for (char c : text) {
        if (c == '\\')
            doubled += '\\';
        doubled += c;
    }
    return escapeControls(doubled);
}

std::string formatData(const reg::Value &value)
{
    std::uint32_t number = 0;
    switch (value.type) {
    case reg::RegSz:
    case reg::RegExpandSz:
        return shownText(reg::stringFromValue(value));
    case reg::RegDword:
        if (value.data.size() == 4 && reg::dwordFromValue(value, number)) {
            char text[16];
            std::snprintf(text, sizeof text, "0x%x", number);
            return text;
        }
        return hexBytes(value.data);
    default:
        return hexBytes(value.data);
    }
}

std::string displayName(const std::string &name)
{
    return name.empty() ? "(Default)" : shownText(name);
}

void printValue(const std::string &name, const reg::Value &value)
{
    std::printf("    %s    %s    %s\n", displayName(name).c_str(), typeName(value.type), formatData(value).c_str());
}

bool confirm(const std::string &question, bool spaced = true)
{
    std::printf("%s%s(Yes/No)? ", question.c_str(), spaced ? " " : "");
    std::fflush(stdout);
    std::string answer;
    if (!std::getline(std::cin, answer)) {
        std::printf("\n");
        return false;
    }
    return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
}

bool parseData(const std::string &type, const std::string &text, std::uint32_t &code, std::vector<std::uint8_t> &bytes)
{
    if (reg::sameName(type, "REG_SZ") || reg::sameName(type, "REG_EXPAND_SZ")) {
        code = reg::sameName(type, "REG_SZ") ? reg::RegSz : reg::RegExpandSz;
        bytes = reg::stringBytes(text);
        return true;
    }
    if (reg::sameName(type, "REG_DWORD")) {
        code = reg::RegDword;
        const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
        const std::string digits = hex ? text.substr(2) : text;
        if (text.empty()) {
            bytes = reg::dwordBytes(0);
            return true;
        }
        if (digits.empty() || digits.size() > 10 ||
            digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") != std::string::npos)
            return false;
        const unsigned long long number = std::stoull(digits, nullptr, hex ? 16 : 10);
        if (number > 0xffffffffull)
            return false;
        bytes = reg::dwordBytes(static_cast<std::uint32_t>(number));
        return true;
    }
    if (reg::sameName(type, "REG_BINARY")) {
        code = reg::RegBinary;
        if (text.size() % 2 != 0 || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            return false;
        bytes.clear();
        for (std::size_t i = 0; i < text.size(); i += 2)
            bytes.push_back(static_cast<std::uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
        return true;
    }
    return false;
}

int query(reg::Registry &registry, const Command &command)
{
    const std::string path = command.keyPath;
    std::vector<std::string> names;
    std::unique_ptr<reg::Key> key;
    if (!path.empty()) {
        Status status = Status::Ok;
        key = registry.openKey(path, reg::KeyQueryValue, &status);
        if (!key)
            return storeError(status);
    } else if (command.valueName) {
        return fail(kNotFound); // the root holds no values
    }

    std::printf("\n%s\n", fullName(path).c_str());
    if (command.valueName) {
        reg::Value value;
        const Status status = key->queryValue(*command.valueName, value);
        if (status != Status::Ok)
            return storeError(status);
        // Shown with its stored spelling.
        std::string shown = *command.valueName;
        for (const std::string &name : key->valueNames()) {
            if (reg::sameName(name, shown))
                shown = name;
        }
        printValue(shown, value);
        std::printf("\n");
        return 0;
    }
    if (key) {
        for (const std::string &name : key->valueNames()) {
            reg::Value value;
            if (key->queryValue(name, value) == Status::Ok)
                printValue(name, value);
        }
    }
    std::printf("\n");
    const std::vector<std::string> children = registry.subkeys(path);
    for (const std::string &child : children) {
        // The parent as written, the child as stored.
        const std::size_t cut = child.rfind('\\');
        const std::string last = cut == std::string::npos ? child : child.substr(cut + 1);
        std::printf("%s\\%s\n", fullName(path).c_str(), escapeControls(last).c_str());
    }
    return 0;
}

int add(reg::Registry &registry, const Command &command)
{
    if (command.keyPath.empty())
        return fail("ERROR: Invalid key name.");
    std::uint32_t code = reg::RegSz;
    std::vector<std::uint8_t> bytes;
    if (command.valueName) {
        if (!parseData(command.type.value_or("REG_SZ"), command.data.value_or(""), code, bytes))
            return fail("ERROR: Invalid data or type: " + command.type.value_or("REG_SZ") + ".");
    } else if (command.type || command.data) {
        return invalidSyntax();
    }

    // The question comes before the transaction: the store is not held
    // while the user thinks.
    if (command.valueName && !command.force) {
        Status opened = Status::Ok;
        std::unique_ptr<reg::Key> key = registry.openKey(command.keyPath, reg::KeyQueryValue, &opened);
        if (!key && opened != Status::NotFound)
            return storeError(opened);
        reg::Value existing;
        if (key && key->queryValue(*command.valueName, existing) == Status::Ok &&
            !confirm("Value " + displayName(*command.valueName) + " exists, overwrite", false)) {
            std::printf("The operation was cancelled by the user.\n");
            return 0;
        }
    }
    const Status status = registry.transact([&]() {
        Status created = Status::Ok;
        std::unique_ptr<reg::Key> key = registry.createKey(command.keyPath, &created);
        if (!key || !command.valueName)
            return created;
        return key->setValue(*command.valueName, code, bytes);
    });
    if (status != Status::Ok)
        return storeError(status);
    warnIfHeld();
    std::printf("The operation completed successfully.\n");
    return 0;
}

int remove(reg::Registry &registry, const Command &command)
{
    if (command.keyPath.empty())
        return fail("ERROR: Invalid key name.");
    if (command.type || command.data)
        return invalidSyntax();
    Status status = Status::Ok;
    std::unique_ptr<reg::Key> key = registry.openKey(command.keyPath, reg::KeyQueryValue | reg::KeySetValue, &status);
    if (!key)
        return storeError(status);
    if (command.valueName) {
        reg::Value existing;
        if ((status = key->queryValue(*command.valueName, existing)) != Status::Ok)
            return storeError(status);
        if (!command.force && !confirm("Delete the registry value " + displayName(*command.valueName))) {
            std::printf("The operation was cancelled by the user.\n");
            return 0;
        }
        status = key->deleteValue(*command.valueName);
    } else {
        if (!command.force && !confirm("Permanently delete the registry key " + fullName(command.keyPath))) {
            std::printf("The operation was cancelled by the user.\n");
            return 0;
        }
        status = registry.deleteKey(command.keyPath);
    }
    if (status != Status::Ok)
        return storeError(status);
    warnIfHeld();
    std::printf("The operation completed successfully.\n");
    return 0;
}

// The tree written to a registry file; the file is written whole or not at
// all (a partial file is removed).
int exportFile(reg::Registry &registry, const std::string &file)
{
    std::string bytes;
    std::string problem;
    Status status = Status::Ok;
    if (!reg::exportRegFile(registry, bytes, status, problem)) {
        if (!problem.empty())
            return fail("ERROR: Cannot export: " + problem + ".");
        return storeError(status);
    }
    if (!regtool::makeExportFile(file))
        return fail("ERROR: Cannot write " + escapeControls(file) + ": " + std::strerror(errno) + ".");
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out || !out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())) || !out.flush()) {
        out.close();
        std::remove(file.c_str());
        return fail("ERROR: Cannot write " + escapeControls(file) + ": " + std::strerror(errno) + ".");
    }
    std::printf("The operation completed successfully.\n");
    return 0;
}

// Reads a registry file whole, before the store is opened: a file with a
// fault changes nothing. 0 when it was taken, else the exit status.
int readImport(const std::string &file, std::vector<reg::RegFileStep> &steps)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return fail("ERROR: Cannot read " + escapeControls(file) + ": " + std::strerror(errno) + ".");
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad())
        return fail("ERROR: Cannot read " + escapeControls(file) + ".");
    reg::RegFileError error;
    if (!reg::parseRegFile(bytes, steps, error))
        return fail("ERROR: " + escapeControls(file) + ", line " + std::to_string(error.line) + ": " + error.why +
                    ". Nothing was changed.");
    return 0;
}

int importFile(reg::Registry &registry, const std::vector<reg::RegFileStep> &steps)
{
    const Status status = reg::applyRegFile(registry, steps);
    if (status != Status::Ok)
        return storeError(status);
    warnIfHeld();
    std::printf("The operation completed successfully.\n");
    return 0;
}

// Reads the arguments after the verb; false on a syntax error.
bool parseArguments(const std::vector<std::string> &args, Command &command)
{
    if (args.size() < 3 || !parseKey(args[2], command.keyPath))
        return false;
    const bool isQuery = reg::sameName(command.verb, "query");
    for (std::size_t i = 3; i < args.size(); ++i) {
        const std::string &arg = args[i];
        const bool hasNext = i + 1 < args.size();
        if (isOption(arg, "v") && hasNext && !command.valueName) {
            command.valueName = args[++i];
        } else if (isOption(arg, "ve") && !command.valueName) {
            command.valueName = std::string();
        } else if (isOption(arg, "t") && hasNext && !command.type && !isQuery) {
            command.type = args[++i];
        } else if (isOption(arg, "d") && hasNext && !command.data && !isQuery) {
            command.data = args[++i];
        } else if (isOption(arg, "f") && !command.force && !isQuery) {
            command.force = true;
        } else {
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    const std::vector<std::string> args(argv, argv + argc);
    if (args.size() < 2)
        return invalidSyntax();
    if (args[1] == "--help" || args[1] == "/?" || args[1] == "-?" || args[1] == "-h") {
        std::fputs(kUsage, stdout);
        std::fputs(storeHelp(), stdout);
        return 0;
    }

    Command command;
    command.verb = args[1];
    const bool isFile = reg::sameName(command.verb, "export") || reg::sameName(command.verb, "import");
    if (isFile && args.size() != 3)
        return invalidSyntax();
    const bool known = isFile ||
        reg::sameName(command.verb, "query") || reg::sameName(command.verb, "add") || reg::sameName(command.verb, "delete");
    if (!known)
        return invalidSyntax();
    if (!isFile && args.size() >= 3 && !parseKey(args[2], command.keyPath))
        return fail("ERROR: Invalid key name.");
    if (!isFile && !parseArguments(args, command))
        return invalidSyntax();

    std::vector<reg::RegFileStep> steps;
    if (reg::sameName(command.verb, "import")) {
        if (const int refused = readImport(args[2], steps); refused != 0)
            return refused;
    }

    Status status = Status::Ok;
    const bool isQuery = reg::sameName(command.verb, "query");
    const bool readOnly = isQuery || reg::sameName(command.verb, "export");
    std::unique_ptr<reg::Registry> registry = openStore(readOnly, status);
    if (!registry && status == Status::NotAFile)
        return fail("ERROR: " + defaultRegistryPath() +
                    " is not a regular file; the store must be one, or a path where nothing is yet.");
    if (!registry)
        return storeError(status);
    if (isQuery)
        return query(*registry, command);
    if (reg::sameName(command.verb, "export"))
        return exportFile(*registry, args[2]);
    if (reg::sameName(command.verb, "import"))
        return importFile(*registry, steps);
    if (reg::sameName(command.verb, "add"))
        return add(*registry, command);
    return remove(*registry, command);
}
