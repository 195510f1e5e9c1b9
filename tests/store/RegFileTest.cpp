// SPDX-License-Identifier: MIT
// vigilon-reg export and import, run as the real program on store files:
// a configuration of every kind of value goes out and comes back whole,
// files in each encoding the registry editors write are taken, and a file
// with a fault changes nothing and names its line.
#include "store/posix/SqliteRegistry.h"
#include "tests/store/RegToolFixture.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace vigilon {
namespace {

using reg::Status;

// UTF-16 LE bytes of a literal, with the byte-order mark when asked.
std::string utf16(const std::u16string &text, bool mark = false)
{
    std::string out = mark ? "\xFF\xFE" : "";
    for (char16_t unit : text) {
        out.push_back(static_cast<char>(unit & 0xFF));
        out.push_back(static_cast<char>(unit >> 8));
    }
    return out;
}

std::string toUtf16(const std::string &utf8)
{
    std::u16string units;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t code = length == 1 ? lead : lead & (0x7F >> length);
        for (int k = 1; k < length; ++k)
            code = code << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        i += length;
        if (code >= 0x10000) {
            units.push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
            units.push_back(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
        } else {
            units.push_back(static_cast<char16_t>(code));
        }
    }
    return utf16(units, true);
}

class RegFileTest : public test::RegToolFixture {
protected:
    test::StoreDump dump(const std::string &store, const std::string &below = "")
    {
        auto registry = reg::SqliteRegistry::open(path(store));
        return registry ? test::dumpStore(*registry, below) : test::StoreDump{};
    }
};

TEST_F(RegFileTest, ExportThenImportKeepsEveryKindOfValueAndJapaneseNames)
{
    // Nothing to export yet: the tool says so and writes no file.
    test::RunResult run = reg("a.sqlite", {"export", path("out.reg")});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "ERROR: The system was unable to find the specified registry key or value.\n");
    EXPECT_FALSE(std::filesystem::exists(path("out.reg")));

    {
        auto store = reg::SqliteRegistry::open(path("a.sqlite"));
        ASSERT_TRUE(store);
        ASSERT_EQ(test::seedEveryKind(*store), Status::Ok);
        // A DWORD of another size than four bytes is carried as its bytes.
        ASSERT_EQ(store->createKey("Software\\Ardentis\\Vigilon\\Monitor")->setValue("Short", reg::RegDword, {0x34, 0x12}),
                  Status::Ok);
    }
    run = reg("a.sqlite", {"export", path("out.reg")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "The operation completed successfully.\n");

    // The editor's form: UTF-16 with its mark, CRLF, the forms it writes
    // for each kind, only our tree.
    const std::string file = test::readFile(path("out.reg"));
    EXPECT_EQ(file.rfind(utf16(u"Windows Registry Editor Version 5.00\r\n\r\n"
                               u"[HKEY_LOCAL_MACHINE\\Software\\Ardentis\\Vigilon]\r\n"
                               u"@=\"root default\"\r\n\"Logon\"=dword:00000001\r\n\r\n",
                               true),
                         0),
              0u);
    for (const std::u16string &line : {
             std::u16string(u"[HKEY_LOCAL_MACHINE\\Software\\Ardentis\\Vigilon\\Graphs\\空き]\r\n\r\n"),
             std::u16string(u"\"Port Count\"=dword:12345678\r\n"),
             std::u16string(u"\"Service #0\"=\"C:\\\\tools\\\\alert.bat \\\"%TARGET%\\\" \\\\\\\\share\\\\\"\r\n"),
             std::u16string(u"\"ポート名 #1\"=\"日本語の名前\"\r\n"),
             std::u16string(u"\"Target\"=hex(2):25,00,54,00,41,00,52,00,47,00,45,00,54,00,25,00,2e,00,65,00,78,"
                            u"\\\r\n  00,61,00,6d,00,70,00,6c,00,65,00,00,00\r\n"),
             std::u16string(u"\"Lines\"=hex(1):6f,00,6e,00,65,00,0d,00,0a,00,74,00,77,00,6f,00,09,00,74,00,68,"
                            u"\\\r\n  00,72,00,65,00,65,00,00,00\r\n"),
             std::u16string(u"\"List\"=hex(7):61,00,00,00,62,00,42,30,00,00,00,00\r\n"),
             std::u16string(u"\"Empty Blob\"=hex:\r\n\"Empty Text\"=\"\"\r\n"),
             std::u16string(u"\"Nothing\"=hex(0):01,02\r\n"),
             std::u16string(u"\"Quad\"=hex(b):01,02,03,04,05,06,07,08\r\n\"Short\"=hex(4):34,12\r\n"),
         })
        EXPECT_NE(file.find(utf16(line)), std::string::npos) << "missing line of " << line.size() << " units";
    EXPECT_EQ(file.find(utf16(u"Other")), std::string::npos);

    run = reg("b.sqlite", {"import", path("out.reg")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "The operation completed successfully.\n");
    const test::StoreDump imported = dump("b.sqlite");
    EXPECT_EQ(imported.count("Software\\Other"), 0u);
    const test::StoreDump original = dump("a.sqlite", "Software\\Ardentis\\Vigilon");
    for (const auto &[key, values] : original)
        EXPECT_EQ(imported.at(key), values) << key;
    // The ancestors of the tree exist in the new store as keys without values.
    EXPECT_EQ(imported.size(), original.size() + 2);
}

// One configuration change in each encoding a registry editor's file comes
// in; the line ends differ as well (CRLF, LF).
struct Encoding {
    const char *name;
    std::string (*encode)(const std::string &);
    bool version5;
};

class RegFileEncodingTest : public RegFileTest, public ::testing::WithParamInterface<Encoding> {};

TEST_P(RegFileEncodingTest, ImportMergesSetsAndDeletesAsTheEditorDoes)
{
    {
        auto store = reg::SqliteRegistry::open(path("s.sqlite"));
        ASSERT_TRUE(store);
        auto monitor = store->createKey("Software\\Ardentis\\Vigilon\\Monitor");
        ASSERT_EQ(monitor->setValue("Keep", reg::RegDword, reg::dwordBytes(1)), Status::Ok);
        ASSERT_EQ(monitor->setValue("Gone", reg::RegDword, reg::dwordBytes(2)), Status::Ok);
        ASSERT_EQ(store->createKey("Software\\Ardentis\\Vigilon\\Old\\Below")->setValue("x", reg::RegSz, {'x'}),
                  Status::Ok);
    }
    const bool v5 = GetParam().version5;
    const std::string text = std::string(v5 ? "Windows Registry Editor Version 5.00" : "REGEDIT4") +
                             "\n\n"
                             "; a comment line\n"
                             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Ardentis\\Vigilon\\Monitor]\n"
                             "\"Gone\"=-\n"
                             "\"Missing\"=-\n" +
                             (v5 ? "\"Target\" = hex(2):25,00,54,00,25,00,\\\n    e5,65,00,00\n"
                                 : "\"Target\" = hex(2):25,54,25,\\\n    e6,97,a5,00\n") +
                             "\"名前\"=\"値 \\\"引用\\\" \\\\ 終\"\n"
                             "@=\"default\"\n"
                             "\"Count\"=dword:0000FfFf\n"
                             "\"Bin\"=hex:01,2,\\\n  ff\n"
                             "\n"
                             "[-HKEY_LOCAL_MACHINE\\Software\\Ardentis\\Vigilon\\Old]\n"
                             "[-HKEY_LOCAL_MACHINE\\Software\\Ardentis\\Vigilon\\Never]\n"
                             "[HKEY_LOCAL_MACHINE\\Software\\Ardentis\\Vigilon\\New]\n";
    test::writeFile(path("in.reg"), GetParam().encode(text));
    const test::RunResult run = reg("s.sqlite", {"import", path("in.reg")});
    ASSERT_EQ(run.status, 0) << run.err;

    using Values = test::StoreDump::mapped_type;
    const auto bytes = [](const std::string &t) { return std::vector<std::uint8_t>(t.begin(), t.end()); };
    const test::StoreDump after = dump("s.sqlite", "Software\\Ardentis\\Vigilon");
    EXPECT_EQ(after.at("Software\\Ardentis\\Vigilon\\Monitor"),
              (Values{{"Keep", reg::RegDword, reg::dwordBytes(1)},
                      {"Target", reg::RegExpandSz, bytes("%T%日")},
                      {"名前", reg::RegSz, bytes("値 \"引用\" \\ 終")},
                      {"", reg::RegSz, bytes("default")},
                      {"Count", reg::RegDword, reg::dwordBytes(0xFFFF)},
                      {"Bin", reg::RegBinary, {1, 2, 0xFF}}}));
    EXPECT_EQ(after.count("Software\\Ardentis\\Vigilon\\Old"), 0u);
    EXPECT_EQ(after.count("Software\\Ardentis\\Vigilon\\Old\\Below"), 0u);
    EXPECT_EQ(after.count("Software\\Ardentis\\Vigilon\\Never"), 0u);
    EXPECT_EQ(after.at("Software\\Ardentis\\Vigilon\\New"), Values{});
}

std::string crlfUtf16(const std::string &text)
{
    std::string crlf;
    for (char c : text)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return toUtf16(crlf);
}

INSTANTIATE_TEST_SUITE_P(Encodings, RegFileEncodingTest,
                         ::testing::Values(Encoding{"Utf16Crlf", crlfUtf16, true},
                                           Encoding{"Utf16Lf", toUtf16, true},
                                           Encoding{"Utf8Mark", [](const std::string &t) { return "\xEF\xBB\xBF" + t; }, true},
                                           Encoding{"Utf8", [](const std::string &t) { return t; }, true},
                                           Encoding{"Regedit4", [](const std::string &t) { return t; }, false}),
                         [](const auto &info) { return std::string(info.param.name); });

// A file with a fault after lines that would change the store: the import
// fails, names the line and the cause, and the store is as it was.
struct Damage {
    const char *name;
    std::string bytes; // the file's text, written as UTF-16 unless it is REGEDIT4 or has its mark
    int line;
    const char *why;
};

class RegFileDamageTest : public RegFileTest, public ::testing::WithParamInterface<Damage> {};

TEST_P(RegFileDamageTest, ChangesNothingAndNamesTheLine)
{
    {
        auto store = reg::SqliteRegistry::open(path("s.sqlite"));
        ASSERT_TRUE(store);
        ASSERT_EQ(test::seedEveryKind(*store), Status::Ok);
    }
    const test::StoreDump before = dump("s.sqlite");
    std::string bytes = GetParam().bytes;
    if (bytes.rfind("REGEDIT4", 0) != 0 && bytes.rfind("\xFF\xFE", 0) != 0)
        bytes = crlfUtf16(bytes);
    test::writeFile(path("bad.reg"), bytes);

    const test::RunResult run = reg("s.sqlite", {"import", path("bad.reg")});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind("ERROR: " + path("bad.reg") + ", line " + std::to_string(GetParam().line) + ": ", 0), 0u)
        << run.err;
    EXPECT_NE(run.err.find(GetParam().why), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("Nothing was changed."), std::string::npos) << run.err;
    EXPECT_EQ(dump("s.sqlite"), before);
}

// Lines 1 to 6 of a good file: a key deleted, a key made, values set and
// deleted.
const std::string kGood = "Windows Registry Editor Version 5.00\n"
                          "\n"
                          "[-HKEY_LOCAL_MACHINE\\Software\\Ardentis\\Vigilon\\Graphs]\n"
                          "[HKEY_LOCAL_MACHINE\\Software\\Ardentis\\Vigilon\\Monitor]\n"
                          "\"Port Count\"=dword:00000009\n"
                          "\"Target\"=-\n";

INSTANTIATE_TEST_SUITE_P(
    Faults, RegFileDamageTest,
    ::testing::Values(
        Damage{"BadHeader", "Windows Registry Editor Version 4.00\n\n[HKEY_LOCAL_MACHINE\\Software\\Ardentis\\Vigilon]\n",
               1, "not a registry file"},
        Damage{"NoHeader", "[HKEY_LOCAL_MACHINE\\Software\\Ardentis\\Vigilon]\n", 1, "not a registry file"},
        Damage{"UnterminatedString", kGood + "\"Service #0\"=\"alert.bat\n\"Retry\"=dword:1\n", 7,
               "the string has no closing quote"},
        Damage{"UnterminatedName", kGood + "\"Service #0=dword:1\n", 7, "the value's name has no closing quote"},
        Damage{"UnknownEscape", kGood + "\"Service #0\"=\"C:\\tools\"\n", 7, "unknown escape"},
        Damage{"BadHexOnAContinuationLine", kGood + "\"Blob\"=hex:01,02,\\\n  03,0g,04\n", 8,
               "\"0g\" is no hexadecimal byte"},
        Damage{"HexByteTooLong", kGood + "\"Blob\"=hex:01,002\n", 7, "\"002\" is no hexadecimal byte"},
        Damage{"HexPastTheEnd", kGood + "\"Blob\"=hex:01,02,\\\n", 7, "past the end of the file"},
        Damage{"OddUtf16String", kGood + "\"Target\"=hex(2):41,00,42\n", 7, "not UTF-16 text"},
        Damage{"DwordTooLong", kGood + "\"Interval\"=dword:123456789\n", 7, "1 to 8 hexadecimal digits"},
        Damage{"UnknownData", kGood + "\"Interval\"=qword:1\n", 7, "unknown data"},
        Damage{"KeyOutsideOurTree", kGood + "[HKEY_LOCAL_MACHINE\\Software\\Other]\n\"x\"=\"y\"\n", 7,
               "the key HKEY_LOCAL_MACHINE\\Software\\Other lies outside HKEY_LOCAL_MACHINE\\Software\\Ardentis\\Vigilon"},
        Damage{"DeletionAboveOurTree", kGood + "[-HKEY_LOCAL_MACHINE\\Software\\Ardentis]\n", 7, "lies outside"},
        Damage{"CurrentUser", kGood + "[HKEY_CURRENT_USER\\Software\\Ardentis\\Vigilon]\n", 7, "lies outside"},
        Damage{"NoClosingBracket", kGood + "[HKEY_LOCAL_MACHINE\\Software\\Ardentis\\Vigilon\n", 7,
               "no closing bracket"},
        Damage{"StrayText", kGood + "Port Count=1\n", 7, "neither a key"},
        Damage{"ValueBeforeAnyKey", "REGEDIT4\n\"x\"=\"y\"\n", 2, "a value before the first key"},
        Damage{"LoneSurrogate", "\xFF\xFE" + std::string("R\0E\0G\0E\0D\0I\0T\0" "4\0\n\0\x00\xD8\n\0", 22), 2,
               "not whole UTF-16 text"},
        Damage{"NotUtf8", "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Ardentis\\Vigilon]\n\"x\"=\"\xE9t\xE9\"\n", 4,
               "neither UTF-16 with a byte-order mark nor UTF-8"}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
} // namespace vigilon
