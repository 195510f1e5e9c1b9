// SPDX-License-Identifier: MIT
// Vigilsvc.exe is its event source's message file: the event log formats
// records from the message table in it. Wine's event log keeps no records,
// so the table is read the way the event viewer reads it, with
// FormatMessageW on the executable, in both languages; and the string
// tables are there in both languages as well.
#include "service/ServiceStrings.h"
#include "service/windows/WinServiceText.h"
#include "tests/support/win/ResourceStrings.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

using vigilon::test::tableString;

std::wstring message(HMODULE module, DWORD id, WORD language, const wchar_t *insertion)
{
    const DWORD_PTR args[] = {reinterpret_cast<DWORD_PTR>(insertion)};
    wchar_t *text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                                       FORMAT_MESSAGE_ARGUMENT_ARRAY,
                                   module, id, MAKELANGID(language, SUBLANG_DEFAULT),
                                   reinterpret_cast<LPWSTR>(&text), 0, reinterpret_cast<va_list *>(const_cast<DWORD_PTR *>(args)));
    std::wstring out = n > 0 ? std::wstring(text, n) : std::wstring();
    if (text)
        LocalFree(text);
    return out;
}

class VigilsvcResources : public ::testing::Test {
protected:
    void SetUp() override
    {
        module_ = LoadLibraryExA(VIGILSVC_BINARY, nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module_, nullptr) << VIGILSVC_BINARY;
    }
    void TearDown() override { FreeLibrary(module_); }
    HMODULE module_ = nullptr;
};

TEST_F(VigilsvcResources, EventMessagesInBothLanguages)
{
    const wchar_t *insertion = L"VGNAgent service is started";
    EXPECT_EQ(message(module_, 0x40000003u, LANG_ENGLISH, insertion),
              L"Vigilsvc Information: VGNAgent service is started.\r\n");
    EXPECT_EQ(message(module_, 0x80000002u, LANG_ENGLISH, L"x"), L"Vigilsvc Warning: x.\r\n");
    EXPECT_EQ(message(module_, 0xC0000001u, LANG_ENGLISH, L"StartServiceCtrlDispatcher failed."),
              L"Vigilsvc Error: StartServiceCtrlDispatcher failed..\r\n");
    EXPECT_EQ(message(module_, 0x40000003u, LANG_JAPANESE, L"y"), L"Vigilsvc \u60c5\u5831: y.\r\n");
    EXPECT_EQ(message(module_, 0x80000002u, LANG_JAPANESE, L"y"), L"Vigilsvc \u8b66\u544a: y.\r\n");
    EXPECT_EQ(message(module_, 0xC0000001u, LANG_JAPANESE, L"y"), L"Vigilsvc \u30a8\u30e9\u30fc: y.\r\n");
    EXPECT_EQ(message(module_, 0x40000004u, LANG_ENGLISH, L"y"), L"") << "only the three ids exist";
}

// Every text of the program's own table, in both languages: line breaks,
// backslashes (single in the table) and Japanese as they are meant.
TEST_F(VigilsvcResources, StringTablesAreTheProgramsOwnInBothLanguages)
{
    using namespace vigilon::svc;
    for (unsigned id = ssid::InstallFailed; id <= ssid::GrantedNoCommands; ++id) {
        EXPECT_EQ(tableString(module_, id, LANG_ENGLISH), widen(serviceString(id, Language::English))) << id;
        EXPECT_EQ(tableString(module_, id, LANG_JAPANESE), widen(serviceString(id, Language::Japanese))) << id;
    }
}

} // namespace
