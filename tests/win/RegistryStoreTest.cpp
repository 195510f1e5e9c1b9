// SPDX-License-Identifier: MIT
// The configuration in the Windows registry, run under Wine in a fresh
// prefix: what saveSettings writes is read back with Wine's reg tool, value
// names, types and data, and a configuration written with reg loads.
#include "app/store/Settings.h"
#include "app/store/Win32Registry.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace vigilon {
namespace {

constexpr const char *kMonitorKeyFull = "HKLM\\Software\\Ardentis\\Vigilon\\Monitor";
constexpr const char *kProgramKeyFull = "HKLM\\Software\\Ardentis\\Vigilon";

// Runs reg.exe with the given arguments, without a command interpreter in
// between, and returns what it printed (at most one minute).
std::string runReg(const std::string &arguments, DWORD *exitCode = nullptr)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        return {};
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd;
    si.hStdError = writeEnd;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi{};
    std::string commandLine = "reg.exe " + arguments;
    const BOOL started =
        CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    CloseHandle(writeEnd);
    std::string out;
    if (started) {
        char buffer[4096];
        DWORD n = 0;
        while (ReadFile(readEnd, buffer, sizeof buffer, &n, nullptr) && n > 0)
            out.append(buffer, n);
        WaitForSingleObject(pi.hProcess, 60000);
        DWORD code = 1;
        GetExitCodeProcess(pi.hProcess, &code);
        if (exitCode)
            *exitCode = code;
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
    CloseHandle(readEnd);
    return out;
}

struct Shown {
    std::string type;
    std::string data;
};

// The values of a key as "reg query" lists them: "    name    TYPE    data".
std::map<std::string, Shown> regValues(const std::string &key)
{
    std::map<std::string, Shown> values;
    std::istringstream lines(runReg("query \"" + key + "\""));
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.rfind("    ", 0) != 0)
            continue;
        const std::size_t typeAt = line.find("    REG_", 4);
        if (typeAt == std::string::npos)
            continue;
        const std::string name = line.substr(4, typeAt - 4);
        const std::size_t dataAt = line.find("    ", typeAt + 4);
        Shown shown;
        shown.type = line.substr(typeAt + 4, dataAt == std::string::npos ? std::string::npos : dataAt - typeAt - 4);
        shown.data = dataAt == std::string::npos ? std::string() : line.substr(dataAt + 4);
        values[name] = shown;
    }
    return values;
}

std::unique_ptr<MonitorPort> entry(std::uint32_t port, std::uint32_t protocol, const std::string &name,
                                   const std::string &command, std::uint32_t threshold, std::int32_t active)
{
    auto p = std::make_unique<MonitorPort>();
    p->port = port;
    p->protocol = protocol;
    p->name = name;
    p->command = command;
    p->threshold = threshold;
    p->active = active;
    return p;
}

// Raw bytes of a value, as the registry holds them.
std::vector<BYTE> rawValue(const char *name, DWORD &type)
{
    HKEY key = nullptr;
    std::vector<BYTE> data;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kMonitorKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return data;
    DWORD size = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
        data.resize(size);
        RegQueryValueExA(key, name, nullptr, &type, data.data(), &size);
        data.resize(size);
    }
    RegCloseKey(key);
    return data;
}

// The size of a value as the registry stores it.
DWORD storedSize(const wchar_t *name, DWORD &type)
{
    HKEY key = nullptr;
    DWORD size = 0xffffffffu;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Ardentis\\Vigilon\\Monitor", 0, KEY_QUERY_VALUE, &key) ==
        ERROR_SUCCESS) {
        if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            size = 0xffffffffu;
        RegCloseKey(key);
    }
    return size;
}

TEST(RegistryStore, SavedConfigurationReadsBackWithReg)
{
    reg::Win32Registry registry;
    PortList ports;
    ports.push_back(entry(80, 3, "HTTP(80)", "C:\\tools\\alert.bat %TARGET%", 250, 1));
    // Wine's reg query fails on an empty string value written without
    // its NUL, so the empty command is looked at through the API below.
    ports.push_back(entry(53, 1, "UDP(53)", "C:\\sounds\\down.wav", 0, 0));
    appendPlaceholder(ports);
    ASSERT_EQ(saveSettings(registry, "host.example", 7, 3, ports), reg::Status::Ok);

    const std::map<std::string, Shown> values = regValues(kMonitorKeyFull);
    const std::map<std::string, Shown> expected = {
        {"Port Count", {"REG_DWORD", "0x2"}},
        {"Interval", {"REG_DWORD", "0x7"}},
        {"Retry", {"REG_DWORD", "0x3"}},
        {"Target", {"REG_EXPAND_SZ", "host.example"}},
        {"Port #0", {"REG_DWORD", "0x50"}},
        {"Threshold #0", {"REG_DWORD", "0xfa"}},
        {"Protocol #0", {"REG_DWORD", "0x3"}},
        {"PortName #0", {"REG_EXPAND_SZ", "HTTP(80)"}},
        {"Service #0", {"REG_EXPAND_SZ", "C:\\tools\\alert.bat %TARGET%"}},
        {"Action #0", {"REG_DWORD", "0x1"}},
        {"Active #0", {"REG_DWORD", "0x1"}},
        {"Port #1", {"REG_DWORD", "0x35"}},
        {"Threshold #1", {"REG_DWORD", "0x0"}},
        {"Protocol #1", {"REG_DWORD", "0x1"}},
        {"PortName #1", {"REG_EXPAND_SZ", "UDP(53)"}},
        {"Service #1", {"REG_EXPAND_SZ", "C:\\sounds\\down.wav"}},
        {"Action #1", {"REG_DWORD", "0x1"}},
        {"Active #1", {"REG_DWORD", "0x0"}},
    };
    std::string names;
    for (const auto &[name, shown] : values)
        names += "[" + name + "] ";
    ASSERT_EQ(values.size(), expected.size()) << "the placeholder is not stored, nothing else is added: " << names;
    for (const auto &[name, want] : expected) {
        const auto found = values.find(name);
        ASSERT_NE(found, values.end()) << name;
        EXPECT_EQ(found->second.type, want.type) << name;
        EXPECT_EQ(found->second.data, want.data) << name;
    }

    // Strings without their NUL, DWORDs as 4 bytes. The registry keeps
    // strings in UTF-16, so the stored size is twice the ANSI length (an
    // ANSI read may add a NUL where the caller's buffer has room). Each
    // save runs several times, since the ANSI call would store a NUL too
    // whenever the byte after the text happened to be one.
    DWORD type = 0;
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(saveSettings(registry, "host.example", 7, 3, ports), reg::Status::Ok);
        ASSERT_EQ(storedSize(L"Target", type), 2u * 12u) << "save " << i;
        ASSERT_EQ(storedSize(L"PortName #0", type), 2u * 8u) << "save " << i;
    }
    EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_EQ(storedSize(L"Service #1", type), 2u * 18u);
    const std::vector<BYTE> port = rawValue("Port #0", type);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(port, (std::vector<BYTE>{0x50, 0, 0, 0}));

    // A second save of fewer entries lowers the count and leaves the rest.
    PortList fewer;
    fewer.push_back(entry(22, 0, "TCP(22)", "", 0, 1));
    appendPlaceholder(fewer);
    ASSERT_EQ(saveSettings(registry, "host.example", 7, 3, fewer), reg::Status::Ok);
    EXPECT_EQ(storedSize(L"Service #0", type), 0u) << "an empty command is stored as no bytes";
    EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
    PortList named;
    named.push_back(entry(22, 0, "TCP(22)", "-", 0, 1));
    appendPlaceholder(named);
    ASSERT_EQ(saveSettings(registry, "host.example", 7, 3, named), reg::Status::Ok);
    const std::map<std::string, Shown> after = regValues(kMonitorKeyFull);
    EXPECT_EQ(after.at("Port Count").data, "0x1");
    EXPECT_EQ(after.at("Port #0").data, "0x16");
    EXPECT_EQ(after.at("PortName #1").data, "UDP(53)");
    std::string target2 = "127.0.0.1";
    const LoadedSettings loaded = loadSettings(registry, true, target2);
    ASSERT_EQ(loaded.ports.size(), 1u);
    EXPECT_EQ(loaded.ports[0]->name, "TCP(22)");
    EXPECT_EQ(target2, "host.example");
}

TEST(RegistryStore, ConfigurationWrittenWithRegLoads)
{
    reg::Win32Registry registry;
    ASSERT_EQ(registry.deleteKey(kMonitorKey) == reg::Status::Ok || registry.deleteKey(kMonitorKey) ==
                  reg::Status::NotFound,
              true);
    struct Add {
        const char *name;
        const char *type;
        const char *data;
    };
    const Add adds[] = {
        {"Port Count", "REG_DWORD", "3"},      {"Interval", "REG_DWORD", "12"},
        {"Retry", "REG_DWORD", "4"},           {"Target", "REG_EXPAND_SZ", "reg.example"},
        {"Port #0", "REG_DWORD", "443"},       {"Protocol #0", "REG_DWORD", "0"},
        {"Threshold #0", "REG_DWORD", "900"},  {"PortName #0", "REG_EXPAND_SZ", "TCP(443)"},
        {"Service #0", "REG_EXPAND_SZ", "C:\\bin\\page.exe %TARGET%"},
        {"Action #0", "REG_DWORD", "1"},       {"Active #0", "REG_DWORD", "1"},
        // Entry 1 lacks its "Action #1": it is skipped.
        {"Port #1", "REG_DWORD", "25"},        {"Protocol #1", "REG_DWORD", "0"},
        {"Threshold #1", "REG_DWORD", "0"},    {"PortName #1", "REG_EXPAND_SZ", "TCP(25)"},
        {"Service #1", "REG_EXPAND_SZ", ""},   {"Active #1", "REG_DWORD", "1"},
        {"Port #2", "REG_DWORD", "0"},         {"Protocol #2", "REG_DWORD", "2"},
        {"Threshold #2", "REG_DWORD", "50"},   {"PortName #2", "REG_EXPAND_SZ", "PING"},
        {"Service #2", "REG_EXPAND_SZ", "http://status.example/"},
        {"Action #2", "REG_DWORD", "7"},       {"Active #2", "REG_DWORD", "0"},
    };
    for (const Add &a : adds) {
        DWORD code = 1;
        const std::string out = runReg(std::string("add \"") + kMonitorKeyFull + "\" /v \"" + a.name + "\" /t " +
                                           a.type + " /d \"" + a.data + "\" /f",
                                       &code);
        ASSERT_EQ(code, 0u) << a.name << ": " << out;
    }

    // An interactive start keeps its own target; a service start reads it.
    std::string target = "127.0.0.1";
    LoadedSettings loaded = loadSettings(registry, false, target);
    EXPECT_EQ(target, "127.0.0.1");
    loaded = loadSettings(registry, true, target);
    EXPECT_EQ(target, "reg.example");
    EXPECT_EQ(loaded.intervalSeconds, 12u);
    EXPECT_EQ(loaded.retryLimit, 4u);
    ASSERT_EQ(loaded.ports.size(), 2u);
    const MonitorPort &first = *loaded.ports[0];
    EXPECT_EQ(first.port, 443u);
    EXPECT_EQ(first.protocol, 0u);
    EXPECT_EQ(first.threshold, 900u);
    // reg stores the string with its NUL; the text ends before it.
    EXPECT_EQ(first.name, "TCP(443)");
    EXPECT_EQ(first.command, "C:\\bin\\page.exe %TARGET%");
    EXPECT_EQ(first.active, 1);
    const MonitorPort &second = *loaded.ports[1];
    EXPECT_EQ(second.name, "PING");
    EXPECT_EQ(second.protocol, 2u);
    EXPECT_EQ(second.action, 7u);
    EXPECT_EQ(second.active, 0);
    EXPECT_EQ(second.command, "http://status.example/");
}

TEST(RegistryStore, LogonFlagIsReadAndClearedAndItsKeyNeverMade)
{
    reg::Win32Registry registry;
    registry.deleteKey(kProgramKey);
    EXPECT_NE(setLogonFlag(registry, 1), reg::Status::Ok);
    EXPECT_TRUE(regValues(kProgramKeyFull).empty());
    DWORD code = 1;
    runReg(std::string("query \"") + kProgramKeyFull + "\"", &code);
    EXPECT_NE(code, 0u) << "the key was created";

    runReg(std::string("add \"") + kProgramKeyFull + "\" /f", &code);
    ASSERT_EQ(code, 0u);
    ASSERT_EQ(setLogonFlag(registry, 1), reg::Status::Ok);
    EXPECT_EQ(regValues(kProgramKeyFull)["Logon"].type, "REG_DWORD");
    EXPECT_EQ(regValues(kProgramKeyFull)["Logon"].data, "0x1");
    std::uint32_t previous = 0;
    ASSERT_EQ(takeLogonFlag(registry, previous), reg::Status::Ok);
    EXPECT_EQ(previous, 1u);
    EXPECT_EQ(regValues(kProgramKeyFull)["Logon"].data, "0x0");
    ASSERT_EQ(takeLogonFlag(registry, previous), reg::Status::Ok);
    EXPECT_EQ(previous, 0u);
}

} // namespace
} // namespace vigilon
