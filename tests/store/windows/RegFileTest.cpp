// SPDX-License-Identifier: MIT
// vigilon-reg.exe export and import against the registry, under Wine in a
// fresh prefix: its export is what the registry editor exports of the same
// key, byte for byte; its import brings every value back. (A damaged file
// refused before anything is written: RegFileDamageTest, on the same
// reading of the file before the store is opened.)
#include "store/windows/Win32Registry.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace vigilon {
namespace {

using reg::Status;

const std::string kTree = "Software\\Ardentis\\Vigilon";

test::RunResult vigilonReg(const std::vector<std::string> &args)
{
    std::vector<std::string> argv{VIGILON_REG_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    return test::run(argv);
}

using Values = std::map<std::string, std::pair<std::uint32_t, std::vector<std::uint8_t>>>;

// Every key of the tree with its values, by path. Strings are compared
// without a terminating NUL: the registry editor's import keeps one, the
// store's writes leave it out.
void readTree(reg::Registry &registry, const std::string &path, std::map<std::string, Values> &out)
{
    if (auto key = registry.openKey(path, reg::KeyQueryValue)) {
        std::vector<std::pair<std::string, reg::Value>> all;
        key->allValues(all);
        Values &values = out[path];
        for (auto &[name, value] : all) {
            if ((value.type == reg::RegSz || value.type == reg::RegExpandSz) && !value.data.empty() &&
                value.data.back() == 0)
                value.data.pop_back();
            values[name] = {value.type, value.data};
        }
    }
    for (const std::string &child : registry.subkeys(path))
        readTree(registry, child, out);
}

// Strings are stored with their NUL here, as the registry's own tools
// write them: Wine's regedit takes a string's last character for its NUL
// and drops it from a string stored without one.
void fillTree(reg::Registry &registry)
{
    const auto text = [](const std::string &t) {
        std::vector<std::uint8_t> bytes(t.begin(), t.end());
        bytes.push_back(0);
        return bytes;
    };
    registry.deleteKey(kTree);
    auto root = registry.createKey(kTree);
    ASSERT_TRUE(root);
    ASSERT_EQ(root->setValue("Logon", reg::RegDword, reg::dwordBytes(1)), Status::Ok);
    auto monitor = registry.createKey(kTree + "\\Monitor");
    ASSERT_TRUE(monitor);
    ASSERT_EQ(monitor->setValue("Port Count", reg::RegDword, reg::dwordBytes(0x12345678)), Status::Ok);
    ASSERT_EQ(monitor->setValue("Target", reg::RegExpandSz, text("%TARGET% and a text long enough to wrap")),
              Status::Ok);
    ASSERT_EQ(monitor->setValue("Service #0", reg::RegSz, text("C:\\tools\\alert.bat \"%TARGET%\"")), Status::Ok);
    ASSERT_EQ(monitor->setValue("Blob", reg::RegBinary, {0, 1, 0xFE, 0xFF}), Status::Ok);
    ASSERT_EQ(monitor->setValue("List", 7, {'a', 0, 'b', 0, 0}), Status::Ok);
    ASSERT_EQ(monitor->setValue("", reg::RegSz, text("default")), Status::Ok);
    ASSERT_TRUE(registry.createKey(kTree + "\\Graphs"));
}

// Our export is the registry editor's, byte for byte; the tree is then
// deleted and imported again from it.
void exportLikeTheEditorAndImportAgain(reg::Win32Registry &registry)
{
    test::TempDir dir;
    const std::string ours = dir / "ours.reg";
    const std::string theirs = dir / "theirs.reg";
    test::RunResult run = vigilonReg({"export", ours});
    ASSERT_EQ(run.status, 0) << run.out;
    run = test::run({"regedit.exe", "/E", theirs, "HKEY_LOCAL_MACHINE\\" + kTree});
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(test::readFile(ours), test::readFile(theirs));

    ASSERT_EQ(registry.deleteKey(kTree), Status::Ok);
    run = vigilonReg({"import", ours});
    ASSERT_EQ(run.status, 0) << run.out;
}

TEST(RegFile, ExportMatchesTheRegistryEditorsAndImportBringsItBack)
{
    reg::Win32Registry registry;
    fillTree(registry);
    std::map<std::string, Values> before;
    readTree(registry, kTree, before);

    exportLikeTheEditorAndImportAgain(registry);
    if (::testing::Test::HasFatalFailure())
        return;
    std::map<std::string, Values> after;
    readTree(registry, kTree, after);
    EXPECT_EQ(after, before);
}

// The registry holds UTF-16 and the store reaches it through the ANSI code
// page: under a Japanese one (the test runs under a Japanese locale),
// Japanese names and texts go out and come back as they are.
TEST(RegFile, JapaneseNamesGoOutAndComeBackUnderAJapaneseCodePage)
{
    // ctest gives the locale (LOCPATH) where the system can make it.
    if (!std::getenv("LOCPATH"))
        GTEST_SKIP() << "no Japanese locale given";
    ASSERT_EQ(GetACP(), 932u);
    reg::Win32Registry registry;
    registry.deleteKey(kTree);
    const wchar_t *const name = L"ポート名 #0";
    const std::wstring text = L"監視サーバー";
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Ardentis\\Vigilon\\監視", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text.c_str()),
                             static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
    RegCloseKey(key);

    exportLikeTheEditorAndImportAgain(registry);
    if (::testing::Test::HasFatalFailure())
        return;
    wchar_t back[64] = {};
    DWORD size = sizeof back;
    ASSERT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE, L"Software\\Ardentis\\Vigilon\\監視", name, RRF_RT_REG_SZ, nullptr,
                           back, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(back), text);
}

} // namespace
} // namespace vigilon
