// SPDX-License-Identifier: MIT
// The resources inside Vigilon.exe, read as the program and the shell read
// them: the string table made at build time says exactly what the
// program's own table says (line breaks, quotes and Japanese included); the
// tray menu holds its commands in order; the program's and the four tray
// icons load at the small icon size; the version is the project's; the
// manifest asks for the common controls 6 and per-monitor DPI awareness.
#include "app/FrameUi.h"
#include "app/QuietCommands.h"
#include "base/StringTable.h"
#include "win/Localized.h"
#include "win/WinText.h"
#include "tests/support/win/ResourceStrings.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vigilon {
namespace {

class ProgramResources : public ::testing::Test {
protected:
    void SetUp() override
    {
        module = LoadLibraryExW(win::widen(VIGILON_BINARY).c_str(), nullptr,
                                LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module, nullptr) << VIGILON_BINARY;
    }
    void TearDown() override { FreeLibrary(module); }
    HMODULE module = nullptr;
};

TEST_F(ProgramResources, TheStringTableIsTheProgramsOwnInBothLanguages)
{
    const std::vector<unsigned> ids = stringIds();
    ASSERT_GE(ids.size(), 50u);
    for (unsigned id : ids) {
        EXPECT_EQ(win::narrow(test::tableString(module, id, LANG_JAPANESE)), loadString(id, Language::Japanese)) << id;
        EXPECT_EQ(win::narrow(test::tableString(module, id, LANG_ENGLISH)), loadString(id, Language::English)) << id;
    }
}

TEST_F(ProgramResources, TheTrayMenuHoldsItsCommandsInOrder)
{
    std::vector<std::pair<unsigned, unsigned>> expected = {
        {res::CmdToggleMonitoring, sid::TrayToggleMonitoring},
        {res::CmdToggleDialog, sid::TrayToggleDialog},
        {res::CmdChannels, sid::TrayChannels},
        {0, 0},
    };
    // The quiet commands as the core lists them for both front ends.
    for (const TrayQuietItem &quiet : trayQuietItems())
        expected.push_back({quiet.command, quiet.text});
    expected.insert(expected.end(), {
        {0, 0},
        {res::CmdHelp, sid::TrayHelp},
        {res::CmdAbout, sid::TrayAbout},
        {res::CmdExit, sid::TrayExit},
    });
    const Language before = currentLanguage();
    for (Language language : {Language::Japanese, Language::English}) {
        setCurrentLanguage(language);
        HMENU menu = win::localizedMenu(module, res::MenuTray);
        ASSERT_NE(menu, nullptr);
        HMENU popup = GetSubMenu(menu, 0);
        ASSERT_NE(popup, nullptr);
        ASSERT_EQ(GetMenuItemCount(popup), static_cast<int>(expected.size()));
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const UINT at = static_cast<UINT>(i);
            wchar_t text[128] = {};
            GetMenuStringW(popup, at, text, 128, MF_BYPOSITION);
            EXPECT_EQ((GetMenuState(popup, at, MF_BYPOSITION) & MF_SEPARATOR) != 0, expected[i].first == 0) << i;
            EXPECT_EQ(GetMenuItemID(popup, static_cast<int>(i)), expected[i].first) << "item " << i;
            EXPECT_EQ(win::narrow(text), expected[i].second ? loadString(expected[i].second, language) : "") << i;
        }
        DestroyMenu(menu);
    }
    setCurrentLanguage(before);
}

TEST_F(ProgramResources, IconsVersionAndManifest)
{
    for (unsigned id : {128u, res::IconRunning, res::IconWarning, res::IconFailed, res::IconStopped}) {
        HANDLE icon = LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_ICON, 16, 16, 0);
        EXPECT_NE(icon, nullptr) << "icon " << id;
        if (icon)
            DestroyIcon(static_cast<HICON>(icon));
    }

    HRSRC version = FindResourceW(module, MAKEINTRESOURCEW(VS_VERSION_INFO), reinterpret_cast<LPCWSTR>(RT_VERSION));
    ASSERT_NE(version, nullptr);
    const auto *data = static_cast<const BYTE *>(LockResource(LoadResource(module, version)));
    const std::vector<BYTE> copy(data, data + SizeofResource(module, version));
    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT size = 0;
    ASSERT_TRUE(VerQueryValueW(copy.data(), L"\\", reinterpret_cast<void **>(&fixed), &size));
    EXPECT_EQ(HIWORD(fixed->dwFileVersionMS), VIGILON_VERSION_MAJOR);
    EXPECT_EQ(LOWORD(fixed->dwFileVersionMS), VIGILON_VERSION_MINOR);

    HRSRC manifest = FindResourceW(module, MAKEINTRESOURCEW(1), reinterpret_cast<LPCWSTR>(RT_MANIFEST));
    ASSERT_NE(manifest, nullptr);
    const std::string text(static_cast<const char *>(LockResource(LoadResource(module, manifest))),
                           SizeofResource(module, manifest));
    EXPECT_NE(text.find("Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
    EXPECT_NE(text.find("PerMonitorV2"), std::string::npos);
}

} // namespace
} // namespace vigilon
