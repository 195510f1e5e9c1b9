// SPDX-License-Identifier: MIT
// The graph window and the response monitor settings dialog on the Windows
// API, with their resources, under Wine without a display.
#include "base/StringTable.h"
#include "app/platform/FileSystem.h"
#include "win/WinPrompter.h"
#include "win/WinText.h"
#include "graph/SampleRecorder.h"
#include "win/GraphResources.h"
#include "win/DialogIds.h"
#include "win/GraphWindows.h"
#include "win/WinTrayIcon.h"
#include "win/Localized.h"
#include "win/ResponseGraphWnd.h"
#include "win/WinDpi.h"
#include "tests/support/FakeDialogControls.h"
#include "tests/support/FakeEventLoop.h"
#include "tests/support/FakePrompter.h"
#include "tests/support/TempDir.h"
#include "tests/support/win/DialogUnits.h"
#include "tests/support/win/ScreenDpi.h"
#include "tests/support/win/WindowScript.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>
#include <dlgs.h>

#include <tuple>

namespace vigilon::test {
namespace {

ResponseGraphParams graphParams()
{
    ResponseGraphParams p;
    p.fontFace = loadString(sid::UiFontFace);
    p.warningThreshold = 500;
    p.alpha = 0x1C8;
    p.targetHost = "192.0.2.1";
    p.sourceHost = "here";
    p.seriesNames = "TCP:80";
    p.maxHistory = 200;
    return p;
}

HWND windowOf(const std::unique_ptr<ResponseGraph> &graph)
{
    return dynamic_cast<win::CResponseGraphWnd &>(*graph).hwnd();
}

// Made hidden, as a layered popup with the opacity's low byte, at the text
// block's place and size, wide enough for the text inside its border,
// painted, and recording every sample as the recorder writes it.
TEST(WinGraphWindow, LayeredSizedPaintedAndRecording)
{
    TempDir dir;
    FakeClock clock;
    FakePrompter prompter;
    ResponseGraphParams p = graphParams();
    p.recordToFile = 1;
    p.fileName = dir / "sample.csv";
    std::unique_ptr<ResponseGraph> graph = win::makeResponseGraphWindow(clock, prompter, p, nullptr);
    ASSERT_TRUE(graph);
    auto &window = dynamic_cast<win::CResponseGraphWnd &>(*graph);
    const HWND hwnd = window.hwnd();
    ASSERT_TRUE(IsWindow(hwnd));
    EXPECT_FALSE(IsWindowVisible(hwnd));
    EXPECT_TRUE(window.recording());

    const LONG style = GetWindowLongW(hwnd, GWL_STYLE);
    EXPECT_EQ(style & (WS_POPUP | WS_THICKFRAME | WS_CAPTION | WS_SYSMENU), WS_POPUP | WS_THICKFRAME);
    BYTE alpha = 0;
    DWORD flags = 0;
    ASSERT_TRUE(GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_LAYERED);
    ASSERT_TRUE(GetLayeredWindowAttributes(hwnd, nullptr, &alpha, &flags));
    EXPECT_EQ(std::pair(alpha, flags & LWA_ALPHA), std::pair(BYTE(0xC8), DWORD(LWA_ALPHA)));

    const GRect block = window.model().textBlock();
    RECT r{};
    GetWindowRect(hwnd, &r);
    EXPECT_EQ(std::tuple(r.left, r.top, r.bottom - r.top), std::tuple(4L, 4L, LONG(block.height() + 100)));
    // Wider by what the border takes: the client area holds the text.
    RECT client{};
    GetClientRect(hwnd, &client);
    EXPECT_EQ(client.right, block.right);
    EXPECT_GT(r.right - r.left, block.width());

    graph->show();
    EXPECT_TRUE(IsWindowVisible(hwnd));
    // In the system's sizing loop the text block bounds the size; the loop
    // is left with Esc.
    static MINMAXINFO sizing;
    static HWND sized;
    sizing = MINMAXINFO{};
    sized = hwnd;
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR, DWORD) {
        SendMessageW(sized, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&sizing));
        PostMessageW(sized, WM_KEYDOWN, VK_ESCAPE, 0);
    });
    SendMessageW(hwnd, WM_SYSCOMMAND, SC_SIZE | WMSZ_BOTTOMRIGHT, 0);
    KillTimer(nullptr, timer);
    EXPECT_EQ(std::pair(sizing.ptMinTrackSize.x, sizing.ptMinTrackSize.y), std::pair(LONG(block.width() + 16), LONG(block.height())));
    // A longer failure reason widens it once more. (Where the reason's line
    // goes: GraphModel's TheReasonOfAFailureIsALineUnderTheText.)
    graph->setFailureReason(std::string(120, 'x'));
    GetClientRect(hwnd, &client);
    EXPECT_GT(client.right, block.right);
    EXPECT_EQ(client.right, window.model().textBlock().right);
    // The kept history's lines go under the reason: the block grows by
    // them, the window widens for the longest and grows as tall as they.
    const int reasonBottom = window.model().textBlock().bottom;
    GetWindowRect(hwnd, &r);
    const std::vector<std::string> lines = {"Uptime 24 h 99.93 % / 7 d 100 % / 30 d 100 %", std::string(125, 'x')};
    graph->setHistoryLines(lines);
    RECT after{};
    GetWindowRect(hwnd, &after);
    EXPECT_EQ(after.bottom - after.top - (r.bottom - r.top), window.model().textBlock().bottom - reasonBottom);
    GetClientRect(hwnd, &client);
    EXPECT_EQ(client.right, window.model().textBlock().right);
    // The menu's outage list runs what the owner gave, once there is one.
    int outagesAsked = 0;
    SendMessageW(hwnd, WM_COMMAND, IDM_GRAPH_OUTAGES, 0);
    graph->setOutagesAction([&outagesAsked] { ++outagesAsked; });
    SendMessageW(hwnd, WM_COMMAND, IDM_GRAPH_OUTAGES, 0);
    EXPECT_EQ(outagesAsked, 1);
    clock.advanceMs(2000);
    graph->addSample(15);
    graph->addSample(0);
    UpdateWindow(hwnd);
    EXPECT_EQ(window.model().sampleCount(), 2u);

    // The menu's reset: the count goes, recording goes on.
    SendMessageW(hwnd, WM_COMMAND, IDM_GRAPH_RESET_HISTORY, 0);
    EXPECT_EQ(window.model().sampleCount(), 0u);
    graph->addSample(7);
    const std::uint32_t at = clock.wallSeconds;
    graph.reset();
    EXPECT_FALSE(IsWindow(hwnd));

    const std::string expected =
        toCharacterSet("ターゲット: 192.0.2.1\r\n送信元: here\r\nサンプリング日時, TCP:80\r\n" +
                           SampleRecorder::recordLine({at, {15}}) + "\r\n" +
                           SampleRecorder::recordLine({at, {0}}) + "\r\n" +
                           SampleRecorder::recordLine({at, {7}}) + "\r\n",
                       localeCharacterSet());
    EXPECT_EQ(readFile(dir / "sample.csv"), expected);

    // A file that cannot be opened: the window is made all the same.
    p.fileName = dir / "missing/sample.csv";
    graph = win::makeResponseGraphWindow(clock, prompter, p, nullptr);
    ASSERT_TRUE(graph);
    EXPECT_FALSE(dynamic_cast<win::CResponseGraphWnd &>(*graph).recording());
}

// The plot's height: from below the painted text and the maximum's label
// down to above the time label.
int plotHeight(const win::CResponseGraphWnd &window)
{
    RECT client{};
    GetClientRect(window.hwnd(), &client);
    const int dpi = window.model().dpi();
    return client.bottom - atDpi(18, dpi) - (window.model().textBlock().bottom + atDpi(8, dpi));
}

// At the screen's resolution (the test runs at 96, 144 and 192 DPI) the
// graph keeps its proportions: the room below the text, the plot and the
// font scale alike; moved to a screen of another (144 from 96, else 96), it
// takes the system's rectangle and scales again.
TEST(WinGraphWindow, FollowsTheScreensDpi)
{
    const int dpi = preparedDpi();
    FakeClock clock;
    FakePrompter prompter;
    std::unique_ptr<ResponseGraph> graph = win::makeResponseGraphWindow(clock, prompter, graphParams(), nullptr);
    ASSERT_TRUE(graph);
    auto &window = dynamic_cast<win::CResponseGraphWnd &>(*graph);
    const HWND hwnd = window.hwnd();
    ASSERT_EQ(win::windowDpi(hwnd), dpi) << "the prefix's resolution is not in effect";
    EXPECT_EQ(window.model().dpi(), dpi);
    RECT r{};
    GetWindowRect(hwnd, &r);
    EXPECT_EQ(r.left, atDpi(4, dpi));
    EXPECT_EQ(r.bottom - r.top, window.model().textBlock().height() + atDpi(100, dpi));
    graph->show();
    graph->addSample(20);
    UpdateWindow(hwnd);
    const int font = fontPixels(window.font());
    // The text's lines and the margins take little more than half of the
    // room, at any resolution.
    EXPECT_GE(plotHeight(window), atDpi(45, dpi));

    const int moved = dpi == 96 ? 144 : 96;
    const auto scale = [dpi, moved](LONG v) { return static_cast<LONG>(rescaled(static_cast<int>(v), dpi, moved)); };
    const RECT suggested{r.left, r.top, r.left + scale(r.right - r.left), r.top + scale(r.bottom - r.top)};
    SendMessageW(hwnd, WM_DPICHANGED, MAKEWPARAM(moved, moved), reinterpret_cast<LPARAM>(&suggested));
    UpdateWindow(hwnd);
    EXPECT_EQ(window.model().dpi(), moved);
    RECT after{};
    GetWindowRect(hwnd, &after);
    EXPECT_EQ(after.top, suggested.top);
    EXPECT_GE(after.right - after.left, suggested.right - suggested.left);
    EXPECT_EQ(after.bottom - after.top, suggested.bottom - suggested.top);
    EXPECT_NEAR(fontPixels(window.font()), rescaled(font, dpi, moved), 1);
    EXPECT_GE(plotHeight(window), atDpi(45, moved));
}

// The notification-area icons are the taskbar's small icons at the
// primary screen's resolution.
TEST(WinTrayIcon, PicturesFollowTheScreensDpi)
{
    const HWND owner = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    win::WinTrayIcon tray(owner);
    ASSERT_TRUE(tray.loaded());
    const int size = atDpi(16, preparedDpi());
    for (unsigned icon : {res::IconRunning, res::IconWarning, res::IconFailed, res::IconStopped})
        EXPECT_EQ(iconSize(tray.iconPicture(icon)).cx, size) << "icon " << icon;
    DestroyWindow(owner);
}

// The menus and dialogs are those of the interface's language, whatever the
// system's: each language's resources are in the module.
TEST(WinGraphWindow, MenusAndDialogsFollowTheLanguage)
{
    const Language before = currentLanguage();
    for (Language language : {Language::English, Language::Japanese}) {
        setCurrentLanguage(language);
        HMENU menu = win::localizedMenu(GetModuleHandleW(nullptr), IDR_RESPONSE_GRAPH_MENU);
        wchar_t text[64] = {};
        GetMenuStringW(menu, IDM_GRAPH_RESET_HISTORY, text, 64, MF_BYCOMMAND);
        EXPECT_EQ(win::narrow(text), loadString(sid::GraphResetHistory, language));
        DestroyMenu(menu);
        HWND about = win::localizedDialog(GetModuleHandleW(nullptr), IDD_ABOUT, nullptr,
                                          [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
        ASSERT_NE(about, nullptr);
        GetWindowTextW(about, text, 64);
        EXPECT_EQ(win::narrow(text), loadString(sid::AboutCaption, language));
        DestroyWindow(about);
    }
    setCurrentLanguage(before);
}

// "Close this monitor" reaches the owner from the loop, after the command's
// handler has returned; a request of a window gone meanwhile is dropped.
TEST(WinGraphWindow, CloseRequestArrivesFromTheLoop)
{
    FakeClock clock;
    FakePrompter prompter;
    HMENU menu = win::localizedMenu(GetModuleHandleW(nullptr), IDR_RESPONSE_GRAPH_MENU);
    EXPECT_EQ(GetMenuItemCount(GetSubMenu(menu, 0)), 4);
    // The outage list waits for a kept history.
    EXPECT_TRUE(GetMenuState(menu, IDM_GRAPH_OUTAGES, MF_BYCOMMAND) & MF_GRAYED);
    DestroyMenu(menu);

    std::unique_ptr<ResponseGraph> graph;
    int asked = 0;
    graph = win::makeResponseGraphWindow(clock, prompter, graphParams(), [&] {
        ++asked;
        graph.reset();
    });
    ASSERT_TRUE(graph);
    const HWND hwnd = windowOf(graph);
    SendMessageW(hwnd, WM_COMMAND, IDM_GRAPH_CLOSE_MONITOR, 0);
    EXPECT_EQ(asked, 0);
    EXPECT_TRUE(pumpUntil([&] { return asked > 0; }, 5000));
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(IsWindow(hwnd));

    bool late = false;
    graph = win::makeResponseGraphWindow(clock, prompter, graphParams(), [&] { late = true; });
    SendMessageW(windowOf(graph), WM_COMMAND, IDM_GRAPH_CLOSE_MONITOR, 0);
    graph.reset();
    pumpUntil([] { return false; }, 200);
    EXPECT_FALSE(late);
}

void press(HWND dialog, int id)
{
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// The settings dialog, played while it runs: laid out by its template,
// refusing a history of 9 and staying, then taking the trackbar, the check
// box, the browsed file name and 50.
TEST(WinMonitorDialog, AcceptedDialogYieldsTheParams)
{
    FakePrompter prompter;
    prompter.fileAnswer = "C:\\data\\responses.csv";
    ResponseGraphParams params = graphParams();
    params.alpha = 200;
    bool accepted = false;
    const std::size_t ran = runModal(
        "応答速度の監視",
        {[](HWND dialog) {
             EXPECT_EQ(text(GetDlgItem(dialog, IDC_RM_PORT)), "TCP:80");
             EXPECT_EQ(text(GetDlgItem(dialog, IDC_RM_HISTORY)), "200");
             EXPECT_EQ(text(GetDlgItem(dialog, IDC_RM_FILE)),
                       platform::documentsFolder() + "\\192.0.2.1 TCP_80.csv");
             EXPECT_EQ(SendDlgItemMessageW(dialog, IDC_RM_ALPHA, TBM_GETPOS, 0, 0), 200);
             EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_RM_BROWSE)));
             EXPECT_EQ(placed(dialog, IDC_RM_PORT), units(dialog, RECT{52, 39, 164, 12}));
             EXPECT_EQ(placed(dialog, IDC_RM_ALPHA), units(dialog, RECT{52, 72, 170, 6}));
             EXPECT_EQ(placed(dialog, IDC_RM_BROWSE), units(dialog, RECT{180, 123, 41, 14}));
             SetDlgItemTextW(dialog, IDC_RM_HISTORY, L"9");
             press(dialog, IDOK);
         },
         [&prompter](HWND dialog) {
             SetDlgItemTextW(dialog, IDC_RM_HISTORY, L"50");
             SendDlgItemMessageW(dialog, IDC_RM_ALPHA, TBM_SETPOS, TRUE, 128);
             CheckDlgButton(dialog, IDC_RM_RECORD, BST_CHECKED);
             press(dialog, IDC_RM_RECORD);
             EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDC_RM_BROWSE)));
             press(dialog, IDC_RM_BROWSE);
             EXPECT_EQ(text(GetDlgItem(dialog, IDC_RM_FILE)), prompter.fileAnswer);
             press(dialog, IDOK);
         }},
        [&] { accepted = win::runResponseMonitorDialog(prompter, params); });

    EXPECT_EQ(ran, 2u);
    ASSERT_TRUE(accepted);
    EXPECT_EQ(prompter.texts(), std::vector<std::string>{"10 から 999 までの整数を入力してください。"});
    EXPECT_EQ(std::tie(params.maxHistory, params.alpha, params.recordToFile, params.fileName),
              std::tuple(50u, 128u, 1u, prompter.fileAnswer));
}

// Browse opens the system's save dialog, which takes a name that does not
// exist yet (adding .csv) and would ask before replacing one that does.
TEST(WinMonitorDialog, BrowseNamesANewFile)
{
    TempDir dir;
    ResponseMonitorForm form = ResponseMonitorForm::forGraph(graphParams(), dir.path());
    FakeResponseMonitorControls controls;
    form.init(controls);
    FakePrompter asked;
    form.onBrowse(controls, asked);
    ASSERT_EQ(asked.fileRequests.size(), 1u);
    const DWORD flags = win::fileDialogFlags(asked.fileRequests[0]);
    EXPECT_EQ(flags & (OFN_FILEMUSTEXIST | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST),
              DWORD(OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST));

    win::WinPrompter prompter;
    const std::string typed = dir / "new-data";
    runModal("データファイルの保存",
             {[&typed](HWND d) {
                 // The name box: a combo box on Windows, an edit on Wine.
                 for (int box : {cmb13, edt1})
                     SetDlgItemTextW(d, box, win::widen(typed).c_str());
                 SendMessageW(d, WM_COMMAND, IDOK, 0);
             }},
             [&] { form.onBrowse(controls, prompter); });
    EXPECT_EQ(controls.file.value, typed + ".csv");
}

} // namespace
} // namespace vigilon::test
