// SPDX-License-Identifier: MIT
// The Windows dialogs over a frame on fakes, read and driven through window
// messages as another program would: the main dialog's title, rows, state
// icon and layout, the port settings dialog from the placeholder row, and
// the about box.
#include "base/Language.h"
#include "base/StringTable.h"
#include "base/TextFormat.h"
#include "app/text/HistoryText.h"
#include "app/dialogs/MainDialogController.h"
#include "app/text/TimeText.h"
#include "app/dialogs/WindowPlace.h"
#include "store/Settings.h"
#include "store/ChannelSettings.h"
#include "win/WinText.h"
#include "tests/support/FakeHistory.h"
#include "tests/support/FrameFixture.h"
#include "tests/support/TempDir.h"
#include "tests/support/win/DialogUnits.h"
#include "tests/support/win/ScreenDpi.h"
#include "tests/support/win/WindowScript.h"
#include "win/BalloonWnd.h"
#include "win/DialogIds.h"
#include "win/WinDialogs.h"
#include "win/WinDpi.h"

#include <windows.h>

#include <commctrl.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace vigilon::test {
namespace {

std::string cell(HWND list, int row, int column)
{
    wchar_t buffer[512] = {};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = buffer;
    item.cchTextMax = 512;
    SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return win::narrow(buffer);
}

std::vector<std::string> row(HWND list, int r)
{
    std::vector<std::string> out;
    for (int c = 0; c < 6; ++c)
        out.push_back(cell(list, r, c));
    return out;
}

unsigned stateImage(HWND list, int r)
{
    return static_cast<unsigned>(SendMessageW(list, LVM_GETITEMSTATE, static_cast<WPARAM>(r), LVIS_STATEIMAGEMASK));
}

// A click of the left button at a point of the list's client area.
void click(HWND list, POINT at, bool twice = false)
{
    const LPARAM where = MAKELPARAM(at.x, at.y);
    PostMessageW(list, twice ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN, MK_LBUTTON, where);
    PostMessageW(list, WM_LBUTTONUP, 0, where);
    pump();
}

// The middle of a row's cell in the given column.
POINT cellCentre(HWND list, int r, int column)
{
    RECT rect{};
    rect.top = column;
    rect.left = LVIR_BOUNDS;
    SendMessageW(list, LVM_GETSUBITEMRECT, static_cast<WPARAM>(r), reinterpret_cast<LPARAM>(&rect));
    return POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

// The middle of a row's check box, left of its status image.
POINT stateIconCentre(HWND list, int r)
{
    RECT icon{};
    icon.left = LVIR_ICON;
    SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(r), reinterpret_cast<LPARAM>(&icon));
    return POINT{icon.left - 8, (icon.top + icon.bottom) / 2};
}

// Picks an item of a drop-down list as the user would, with its notice.
void choose(HWND d, int id, int index)
{
    SendDlgItemMessageW(d, id, CB_SETCURSEL, index, 0);
    SendMessageW(d, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(GetDlgItem(d, id)));
}

// The control's own visible flag: the dialog itself may not show yet.
bool shown(HWND d, int id)
{
    return (GetWindowLongW(GetDlgItem(d, id), GWL_STYLE) & WS_VISIBLE) != 0;
}

bool enabled(HWND d, int id)
{
    return IsWindowEnabled(GetDlgItem(d, id)) != FALSE;
}

// Where the templates put a control of each row and panel, in dialog
// units (enough to see the dialog unmoved at its opening); each dialog is
// measured in its own base units. Some controls are sized by the system
// from their corner: a drop-down list (its template height is the open
// list's), a field that gives room to its up-down control, and the logo,
// which takes its picture's size. The main dialog opens wide enough for
// its list's columns: the controls that follow its right edge keep only
// their tops (the logo, which follows the bottom too, nothing).
struct TemplatePlace {
    const char *dialog;
    int id;
    RECT units;
    bool cornerOnly = false;
    bool followsRight = false;
};
const TemplatePlace kTemplatePlaces[] = {
    {"Lumivane - 127.0.0.1", IDC_STATUS, {16, 11, 160, 19}},
    {"Lumivane - 127.0.0.1", IDOK, {289, 7, 50, 14}, false, true},
    {"Lumivane - 127.0.0.1", IDCANCEL, {289, 37, 50, 14}, false, true},
    {"Lumivane - 127.0.0.1", IDC_PORT_TEST, {8, 34, 55, 13}},
    {"Lumivane - 127.0.0.1", IDC_INTERVAL, {95, 33, 36, 13}, true},
    {"Lumivane - 127.0.0.1", IDC_RETRY, {185, 34, 20, 12}, true},
    {"Lumivane - 127.0.0.1", IDC_PORT_LIST, {7, 54, 332, 88}, true, true},
    {"バージョン情報", IDOK, {180, 7, 50, 14}},
    {"バージョン情報", IDC_VERSION, {40, 10, 119, 8}},
    {"監視ポート設定", IDC_ENTRY_HOST, {58, 20, 146, 14}},
    {"監視ポート設定", IDC_PORT_CHANNELS_GROUP, {271, 149, 155, 138}},
    {"監視ポート設定", IDC_PORT_CHANNELS, {277, 160, 143, 92}},
    {"監視ポート設定", IDC_PORT_CHANNELS_NOTE, {277, 256, 143, 27}},
    {"監視ポート設定", IDC_PROTOCOL, {58, 56, 93, 80}, true},
    {"監視ポート設定", IDC_HTTP_STATUS, {58, 111, 80, 60}, true},
    {"監視ポート設定", IDC_HTTP_METHOD, {58, 160, 45, 50}, true},
    {"監視ポート設定", IDC_HTTP_PASSWORD, {190, 238, 67, 14}},
    {"監視ポート設定", IDC_CONTENT_RULE, {58, 268, 90, 60}, true},
    {"監視ポート設定", IDC_DNS_NAME, {58, 160, 199, 14}},
    {"監視ポート設定", IDC_QUIET_WINDOWS, {58, 292, 199, 14}},
    {"監視ポート設定", IDOK, {55, 311, 50, 14}},
    {"ターゲット ホストの変更", IDOK, {39, 48, 50, 14}},
    {"ターゲット ホストの変更", IDCANCEL, {98, 48, 50, 14}},
};

// The controls of the open dialog titled title that do not stand where its
// template puts them; a title the table does not know is said so.
std::vector<std::string> misplaced(HWND d, const std::string &title)
{
    std::vector<std::string> out;
    bool known = false;
    for (const TemplatePlace &p : kTemplatePlaces) {
        if (p.dialog != title)
            continue;
        known = true;
        const RECT got = placed(d, p.id);
        RECT want = units(d, p.units);
        if (p.cornerOnly) {
            want.right = got.right;
            want.bottom = got.bottom;
        }
        if (p.followsRight)
            want.left = got.left;
        std::ostringstream seen;
        seen << title << " " << p.id << " at " << got << ", not " << want;
        if (!(got == want))
            out.push_back(seen.str());
    }
    if (!known)
        out.push_back(title + " is not in the table");
    return out;
}

class WinDialogs : public FrameFixture {
protected:
    void SetUp() override
    {
        storeConfiguration({{80, GenericTcp, 0, 0, "alert.bat", "Generic TCP (80)"}, {7, Ping, 1, 250, "", "PING"}},
                           5, 1);
        ui.makeDialog = [this](DialogFace &f, std::shared_ptr<MainDialogController> rules) {
            return win::makeMainDialog(f, std::move(rules), prompter);
        };
        open();
    }
    // Makes the frame anew, after the one before has gone, and finds its
    // dialog and list.
    void open()
    {
        frame.reset();
        pump();
        makeFrame(false, "127.0.0.1");
        dialog = FindWindowW(L"#32770", L"Lumivane - 127.0.0.1");
        ASSERT_NE(dialog, nullptr) << "no main dialog with the target in its title";
        list = GetDlgItem(dialog, IDC_PORT_LIST);
        ASSERT_NE(list, nullptr);
    }
    // The port settings dialog from a double click on the third row: the
    // placeholder, until an entry is added there.
    std::size_t portSettingsOfRow2(std::vector<std::function<void(HWND)>> steps)
    {
        return runModal("監視ポート設定", std::move(steps), [this] { click(list, cellCentre(list, 2, 1), true); });
    }
    void TearDown() override
    {
        frame.reset();
        pump();
        // The dialog goes with the frame.
        EXPECT_FALSE(IsWindow(dialog));
    }

    HWND dialog = nullptr;
    HWND list = nullptr;
};

TEST_F(WinDialogs, showsOneRowPerEntryAndTicksThroughTheQuestion)
{
    EXPECT_TRUE(IsWindowVisible(dialog)) << "a plain start shows the dialog";
    ASSERT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 3);
    EXPECT_EQ(row(list, 0), (std::vector<std::string>{"Generic TCP (80)", "alert.bat", "0", "", "0", "0"}));
    EXPECT_EQ(row(list, 1), (std::vector<std::string>{"PING", "", "0", "", "0", "250"}));
    EXPECT_EQ(row(list, 2), (std::vector<std::string>{loadString(sid::AddPlaceholderName), "", "0", "", "0", "0"}));
    EXPECT_EQ(std::pair(stateImage(list, 0), stateImage(list, 1)), std::pair(0x1000u, 0x2000u));
    // The host column, the seventh, shows right after the name: here the
    // target, in parentheses; nothing on the placeholder.
    EXPECT_EQ(std::pair(cell(list, 0, kHostColumn), cell(list, 2, kHostColumn)), std::pair(std::string("(127.0.0.1)"), std::string()));
    int order[kListColumns] = {};
    ASSERT_TRUE(ListView_GetColumnOrderArray(list, kListColumns, order));
    EXPECT_EQ(std::vector<int>(order, order + kListColumns), std::vector<int>(kColumnOrder.begin(), kColumnOrder.end()));
    EXPECT_EQ(text(GetDlgItem(dialog, IDC_STATUS)), loadString(sid::StatusStopped));
    EXPECT_EQ(text(GetDlgItem(dialog, IDC_INTERVAL)), "5");
    EXPECT_EQ(text(GetDlgItem(dialog, IDC_RETRY)), "1");

    // A click elsewhere in a row changes nothing; on its check box it asks
    // and ticks the entry.
    click(list, cellCentre(list, 0, 1));
    EXPECT_TRUE(prompter.messages.empty());
    click(list, stateIconCentre(list, 0));
    EXPECT_EQ(prompter.texts(), std::vector<std::string>{loadString(sid::ConfirmActivatePort)});
    EXPECT_EQ(stateImage(list, 0), 0x2000u);
}

// The balloon's font asks for the Japanese script only under the Japanese
// interface: asked of a system without a Japanese font, it would draw
// English hints as boxes.
TEST(BalloonHint, asksForTheScriptOfTheInterfacesLanguage)
{
    const Language before = currentLanguage();
    for (const auto &[language, charset] : {std::pair{Language::English, BYTE(DEFAULT_CHARSET)},
                                            std::pair{Language::Japanese, BYTE(SHIFTJIS_CHARSET)}}) {
        setCurrentLanguage(language);
        win::CBalloonWnd balloon;
        balloon.setFont(win::widen(loadString(sid::UiFontFace)), 14, 0, false, false);
        LOGFONTW font{};
        ASSERT_EQ(GetObjectW(balloon.font(), sizeof font, &font), int(sizeof font));
        EXPECT_EQ(font.lfCharSet, charset) << (language == Language::English ? "English" : "Japanese");
    }
    setCurrentLanguage(before);
}

// The balloon hint and the list's own tool tip (a cut item, a failed row's
// reason) never show at once.
TEST_F(WinDialogs, theBalloonAndTheListsTipNeverShowAtOnce)
{
    const HWND balloon = FindWindowW(L"VigilonBalloonHint", nullptr);
    ASSERT_NE(balloon, nullptr);
    const auto hoverAt = [this](POINT at) {
        POINT screen = at;
        ClientToScreen(list, &screen);
        SetCursorPos(screen.x, screen.y);
        SendMessageW(list, WM_MOUSEMOVE, 0, MAKELPARAM(at.x, at.y));
    };
    hoverAt(cellCentre(list, 0, 1));
    ASSERT_TRUE(pumpUntil([balloon] { return IsWindowVisible(balloon) != FALSE; }, 3000));

    // The list asks for the tip's text as it is about to show it.
    wchar_t text[80] = L"alert.bat";
    NMLVGETINFOTIPW tip{};
    tip.hdr = NMHDR{list, IDC_PORT_LIST, static_cast<UINT>(LVN_GETINFOTIPW)};
    tip.pszText = text;
    tip.cchTextMax = 80;
    SendMessageW(dialog, WM_NOTIFY, IDC_PORT_LIST, reinterpret_cast<LPARAM>(&tip));
    EXPECT_FALSE(IsWindowVisible(balloon));

    const HWND tips = ListView_GetToolTips(list);
    ASSERT_NE(tips, nullptr);
    ShowWindow(tips, SW_SHOWNOACTIVATE);
    hoverAt(cellCentre(list, 0, 2));
    pumpUntil([] { return false; }, 1200);
    EXPECT_FALSE(IsWindowVisible(balloon));
    ShowWindow(tips, SW_HIDE);
}

TEST_F(WinDialogs, theProgramMayEndWhileTheDialogAsks)
{
    // The tray's exit, say, runs while the question is open: the dialog
    // hides at once and goes when its click is over.
    prompter.onMessage = [this](const FakePrompter::Message &) { frame->exitNow(); };
    click(list, stateIconCentre(list, 0));
    EXPECT_TRUE(frame->closed());
    EXPECT_FALSE(IsWindow(dialog));
}

// The port settings dialog refuses what its form refuses and stays, keeping
// what was typed, then takes a host, a port and the HTTP kind's status row.
// (The kinds' rows and suggested ports, each rule's inputs and messages:
// PortSettingsForm's tests in tests/app/DialogRulesTest.cpp.)
TEST_F(WinDialogs, theAddRowOpensThePortSettingsAndAddsAnInactiveEntry)
{
    const std::size_t ran = portSettingsOfRow2(
        {[](HWND d) {
             EXPECT_EQ(misplaced(d, "監視ポート設定"), std::vector<std::string>{});
             EXPECT_EQ(GetFocus(), GetDlgItem(d, IDC_PORT)) << "the port, as the form wants";
             // The stored "Generic TCP (80)" again: refused.
             SetDlgItemTextW(d, IDC_PORT, L"80");
             SetDlgItemTextW(d, IDC_COMMAND, L"again.bat");
             SendMessageW(d, WM_COMMAND, IDOK, 0);
         },
         [](HWND d) {
             EXPECT_EQ(text(GetDlgItem(d, IDC_PORT)) + " " + text(GetDlgItem(d, IDC_COMMAND)), "80 again.bat");
             SetDlgItemTextW(d, IDC_COMMAND, L"");
             // The host box refuses what the target's refuses.
             EXPECT_EQ(SendDlgItemMessageW(d, IDC_ENTRY_HOST, EM_GETLIMITTEXT, 0, 0), 64);
             SetDlgItemTextW(d, IDC_ENTRY_HOST, L"::1");
             SetDlgItemTextW(d, IDC_PORT, L"8080");
             EXPECT_FALSE(enabled(d, IDC_CERT_DAYS));
             choose(d, IDC_PROTOCOL, 4);
             EXPECT_TRUE(enabled(d, IDC_CERT_DAYS));
             choose(d, IDC_PROTOCOL, 3);
             EXPECT_EQ(text(GetDlgItem(d, IDC_PORT)), "8080");
             EXPECT_FALSE(enabled(d, IDC_HTTP_CODES));
             choose(d, IDC_HTTP_STATUS, 2);
             EXPECT_TRUE(enabled(d, IDC_HTTP_CODES));
             SetDlgItemTextW(d, IDC_HTTP_CODES, L"2xx and 3xx");
             SendMessageW(d, WM_COMMAND, IDOK, 0);
         },
         [](HWND d) {
             EXPECT_EQ(GetFocus(), GetDlgItem(d, IDC_HTTP_CODES));
             SetDlgItemTextW(d, IDC_HTTP_CODES, L"404, 2xx");
             SendMessageW(d, WM_COMMAND, IDOK, 0);
         }});

    EXPECT_EQ(ran, 3u);
    EXPECT_EQ(prompter.texts(),
              (std::vector<std::string>{loadString(sid::DuplicatePort), loadString(sid::HttpStatusInvalid)}));
    EXPECT_EQ(entry(2).httpStatus.text(), "2xx,404");
    ASSERT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 4);
    EXPECT_EQ(row(list, 2), (std::vector<std::string>{"HTTP (8080)", "", "0", "", "0", "0"}));
    EXPECT_EQ(cell(list, 2, kHostColumn), "::1");
    EXPECT_EQ(stateImage(list, 2), 0x1000u);
    EXPECT_EQ(cell(list, 3, 0), loadString(sid::AddPlaceholderName));
}

// The HTTP rows through window messages: they show for the HTTP kinds, the
// password in a password edit, none over another; a content rule on a HEAD
// request is refused; the entry gets what was typed, the headers' lines
// ending with LF. Opened again, the headers show with CR LF and the stored
// password never reaches the window: OK with its mark left keeps it. (Which
// row each kind, method and rule enables, and the password's rules:
// PortSettingsForm's theRequestRowsFollowKindMethodAndRuleAndRefuseWhatCannotBeSent
// and theStoredPasswordIsNeverShownAndKeptUnlessRetypedOrEmptied.)
TEST_F(WinDialogs, theHttpRowsGiveTheEntryItsRequestAndNeverShowThePasswordBack)
{
    EXPECT_EQ(portSettingsOfRow2({[&](HWND d) {
                                      SetDlgItemTextW(d, IDC_PORT, L"8081");
                                      EXPECT_FALSE(shown(d, IDC_HTTP_GROUP));
                                      choose(d, IDC_PROTOCOL, 3);
                                      for (int id : {IDC_HTTP_PATH, IDC_HTTP_GROUP, IDC_CONTENT_RULE_LABEL})
                                          EXPECT_TRUE(shown(d, id)) << id;
                                      EXPECT_NE(GetWindowLongW(GetDlgItem(d, IDC_HTTP_PASSWORD), GWL_STYLE) & ES_PASSWORD, 0);
                                      const int rows[] = {IDC_HTTP_METHOD, IDC_HTTP_PATH, IDC_HTTP_HEADERS, IDC_HTTP_BODY,
                                                          IDC_HTTP_BODY_NOTE, IDC_HTTP_USER, IDC_HTTP_PASSWORD, IDC_HTTP_USER_LABEL,
                                                          IDC_HTTP_PASSWORD_LABEL, IDC_HTTP_REDIRECTS, IDC_CONTENT_TEXT};
                                      for (int a : rows) {
                                          for (int b : rows) {
                                              RECT ra = childRect(GetDlgItem(d, a)), rb = childRect(GetDlgItem(d, b)), both;
                                              EXPECT_TRUE(a == b || !IntersectRect(&both, &ra, &rb)) << a << " " << b;
                                          }
                                      }
                                      EXPECT_EQ(text(GetDlgItem(d, IDC_HTTP_PATH)), "/");
                                      choose(d, IDC_CONTENT_RULE, 1);
                                      SetDlgItemTextW(d, IDC_CONTENT_TEXT, L"Welcome");
                                      SetDlgItemTextW(d, IDC_HTTP_USER, L"watch");
                                      SetDlgItemTextW(d, IDC_HTTP_PASSWORD, L"n0t-sh0wn");
                                      SendMessageW(d, WM_COMMAND, IDOK, 0);
                                  },
                                  [&](HWND d) {
                                      choose(d, IDC_HTTP_METHOD, 2);
                                      SetDlgItemTextW(d, IDC_HTTP_PATH, L"/login?next=1");
                                      SetDlgItemTextW(d, IDC_HTTP_HEADERS, L"Accept: text/html\r\nX-Probe: 1");
                                      SetDlgItemTextW(d, IDC_HTTP_BODY, L"user=a");
                                      SendDlgItemMessageW(d, IDC_HTTP_REDIRECTS, BM_SETCHECK, BST_CHECKED, 0);
                                      SendMessageW(d, WM_COMMAND, IDOK, 0);
                                  }}),
              2u);
    EXPECT_EQ(prompter.texts(), std::vector<std::string>{loadString(sid::RequestHeadWithRule)});
    const HttpRequest &request = entry(2).request;
    EXPECT_EQ(std::tie(request.method, request.path, request.headers, request.body, request.followRedirects),
              std::make_tuple(std::uint32_t(MethodPost), std::string("/login?next=1"),
                              std::string("Accept: text/html\nX-Probe: 1"), std::string("user=a"), true));
    EXPECT_EQ(std::tie(request.contentRule.text(), request.user, request.password),
              std::tuple("contains:Welcome", "watch", "n0t-sh0wn"));

    EXPECT_EQ(portSettingsOfRow2({[&](HWND d) {
                  EXPECT_EQ(text(GetDlgItem(d, IDC_HTTP_HEADERS)), "Accept: text/html\r\nX-Probe: 1");
                  EXPECT_EQ(SendDlgItemMessageW(d, IDC_HTTP_REDIRECTS, BM_GETCHECK, 0, 0), BST_CHECKED);
                  EXPECT_EQ(SendDlgItemMessageW(d, IDC_CONTENT_RULE, CB_GETCURSEL, 0, 0), 1);
                  EXPECT_EQ(text(GetDlgItem(d, IDC_HTTP_USER)), "watch");
                  EXPECT_EQ(text(GetDlgItem(d, IDC_HTTP_PASSWORD)), PortSettingsForm::kPasswordKept);
                  SetDlgItemTextW(d, IDC_HTTP_PATH, L"/in");
                  SendMessageW(d, WM_COMMAND, IDOK, 0);
              }}),
              1u);
    EXPECT_EQ(std::tie(entry(2).request.path, entry(2).request.password), std::tuple("/in", "n0t-sh0wn"));
}

// The name and schedule rows and the UDP panel through window messages: the
// name follows the port typed, the UDP rows show for UDP with the mode's
// help, bytes that do not decode are refused, and the entry gets what was
// typed. (The name's, the schedule's and the UDP rows' rules: EntryFormTest's
// PortSettingsForm cases.)
TEST_F(WinDialogs, theNameScheduleAndUdpRowsReachTheEntry)
{
    const std::size_t ran = portSettingsOfRow2({[&](HWND d) {
                                                    SetDlgItemTextW(d, IDC_PORT, L"123");
                                                    choose(d, IDC_PROTOCOL, 1);
                                                    EXPECT_EQ(text(GetDlgItem(d, IDC_ENTRY_NAME)), "汎用UDP (123)");
                                                    for (int id : {IDC_UDP_GROUP, IDC_UDP_MODE, IDC_UDP_HELP, IDC_UDP_PAYLOAD})
                                                        EXPECT_TRUE(shown(d, id)) << id;
                                                    EXPECT_FALSE(shown(d, IDC_HTTP_PATH));
                                                    choose(d, IDC_UDP_MODE, 2);
                                                    EXPECT_EQ(text(GetDlgItem(d, IDC_UDP_HELP)), loadString(sid::UdpHelpExpectReply));
                                                    SetDlgItemTextW(d, IDC_ENTRY_NAME, L"Time server");
                                                    SetDlgItemTextW(d, IDC_PORT, L"1123");
                                                    SetDlgItemTextW(d, IDC_UDP_PAYLOAD, L"hex:1");
                                                    SetDlgItemTextW(d, IDC_ENTRY_INTERVAL, L"30");
                                                    SetDlgItemTextW(d, IDC_ENTRY_TIMEOUT, L"500");
                                                    SendMessageW(d, WM_COMMAND, IDOK, 0);
                                                },
                                                [&](HWND d) {
                                                    EXPECT_EQ(GetFocus(), GetDlgItem(d, IDC_UDP_PAYLOAD));
                                                    SetDlgItemTextW(d, IDC_UDP_PAYLOAD, L"hex:1b 00");
                                                    SendMessageW(d, WM_COMMAND, IDOK, 0);
                                                }});
    EXPECT_EQ(ran, 2u);
    EXPECT_TRUE(prompter.saw(loadString(sid::UdpBytesInvalid)));
    const MonitorPort &added = entry(2);
    EXPECT_EQ(std::tie(added.name, added.port, added.udpMode, added.udpPayload),
              std::tuple("Time server", 1123u, std::uint32_t(UdpExpectReply), "hex:1b 00"));
    EXPECT_EQ(std::tie(added.intervalSeconds, added.retryLimit, added.timeoutMs), std::tuple(30u, 0u, 500u));
}

// The DNS panel through window messages: it shows for DNS only, where the
// HTTP rows stand; an empty name is refused; the entry gets the name, type
// and expectation chosen. (53 suggested, the answers' row and what is
// refused: PortSettingsForm's theDnsPanelSuggests53AndRefusesWhatCannotBeChecked.)
TEST_F(WinDialogs, theDnsPanelGivesTheEntryItsQuery)
{
    const std::size_t ran = portSettingsOfRow2({[&](HWND d) {
                                                    EXPECT_FALSE(shown(d, IDC_DNS_GROUP));
                                                    SetDlgItemTextW(d, IDC_PORT, L"");
                                                    choose(d, IDC_PROTOCOL, Dns);
                                                    for (int id : {IDC_DNS_NAME, IDC_DNS_GROUP, IDC_DNS_ANSWERS_NOTE})
                                                        EXPECT_TRUE(shown(d, id)) << id;
                                                    EXPECT_FALSE(shown(d, IDC_HTTP_PATH));
                                                    SendMessageW(d, WM_COMMAND, IDOK, 0);
                                                },
                                                [&](HWND d) {
                                                    SetDlgItemTextW(d, IDC_DNS_NAME, L"example.com");
                                                    choose(d, IDC_DNS_TYPE, 3); // MX
                                                    choose(d, IDC_DNS_EXPECT, PortSettingsForm::DnsContains);
                                                    SetDlgItemTextW(d, IDC_DNS_ANSWERS, L"10 mail.example.com");
                                                    SendMessageW(d, WM_COMMAND, IDOK, 0);
                                                }});
    EXPECT_EQ(ran, 2u);
    EXPECT_TRUE(prompter.saw(loadString(sid::DnsNameEmpty)));
    EXPECT_EQ(std::tie(entry(2).protocol, entry(2).port, entry(2).dnsName, entry(2).dnsType, entry(2).dnsExpect),
              std::make_tuple(std::uint32_t(Dns), std::uint32_t(53), std::string("example.com"), std::string("MX"),
                              std::string("10 mail.example.com")));
}

// The focused and only selected row.
void select(HWND list, int r)
{
    ListView_SetItemState(list, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_SetItemState(list, r, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    SetFocus(list);
}

std::string clipboardText(HWND owner)
{
    std::string out;
    if (!OpenClipboard(owner))
        return out;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto *chars = static_cast<const wchar_t *>(GlobalLock(data))) {
            out = win::narrow(chars);
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return out;
}

// The items of the popup menu open now, with "(off)" after a grayed one;
// then the key typed into it.
std::vector<std::string> *menuItems = nullptr;
WPARAM menuChoice = 0;
void CALLBACK readMenu(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND popup = FindWindowW(L"#32768", nullptr);
    if (!popup || !IsWindowVisible(popup))
        return;
    KillTimer(nullptr, timer);
    HMENU menu = reinterpret_cast<HMENU>(SendMessageW(popup, MN_GETHMENU, 0, 0));
    for (int i = 0; menu && i < GetMenuItemCount(menu); ++i) {
        wchar_t item[128] = {};
        if (GetMenuStringW(menu, static_cast<UINT>(i), item, 128, MF_BYPOSITION) == 0)
            continue;
        const bool off = (GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & MF_GRAYED) != 0;
        menuItems->push_back(win::narrow(item) + (off ? " (off)" : ""));
    }
    PostMessageW(popup, WM_CHAR, menuChoice, 1);
}

// Push: its panel in place of the request's, a token made as the kind is
// chosen, the call line with a placeholder while no server runs; OK gives
// the entry that token.
TEST_F(WinDialogs, thePushPanelShowsTheTokenAndItsCallLine)
{
    std::string token;
    const std::size_t ran = portSettingsOfRow2({[&](HWND d) {
        SetDlgItemTextW(d, IDC_PORT, L"1");
        choose(d, IDC_PROTOCOL, Push);
        for (int id : {IDC_PUSH_GROUP, IDC_PUSH_TOKEN, IDC_PUSH_COPY, IDC_PUSH_CALL, IDC_PUSH_REGENERATE, IDC_ENTRY_ID})
            EXPECT_TRUE(shown(d, id)) << id;
        EXPECT_FALSE(shown(d, IDC_HTTP_PATH));
        token = text(GetDlgItem(d, IDC_PUSH_TOKEN));
        EXPECT_EQ(text(GetDlgItem(d, IDC_PUSH_CALL)), "curl -fsS http://ADDR:PORT/push/" + token);
        SendMessageW(d, WM_COMMAND, IDOK, 0);
    }});
    EXPECT_EQ(ran, 1u);
    EXPECT_EQ(std::pair(entry(2).protocol, entry(2).pushToken), std::pair(std::uint32_t(Push), token));
}

// The uptime column shows the kept history's 24 hours; the list's context
// menu opens the entry's outages, which export to the file chosen.
TEST_F(WinDialogs, theUptimeColumnAndTheOutageListFromTheContextMenu)
{
    FakeHistory kept(loop);
    const OutageView refused{1796706185000, 1796706250000, false, FailureReason::of(FailureKind::Refused), true};
    const OutageView lasting{1796706300000, 0, false, FailureReason::of(FailureKind::TimedOut), false};
    kept.uptimes[FakeHistory::key("Generic TCP (80)", 80)] = UptimeView{0.99996, 1, 1, {}};
    kept.outages[FakeHistory::key("Generic TCP (80)", 80)] = {lasting, refused};
    history = &kept;
    ASSERT_NO_FATAL_FAILURE(open());
    EXPECT_EQ(cell(list, 0, kUptimeColumn), "\u2013");
    loop.runPosted();
    EXPECT_EQ(std::pair(cell(list, 0, kUptimeColumn), cell(list, 1, kUptimeColumn)),
              std::pair(std::string("99.99 %"), std::string("\u2013")));

    TempDir dir;
    prompter.fileAnswer = dir.path() + "/outages.csv";
    std::vector<std::string> items;
    int rowsShown = 0;
    bool exportOn = false;
    menuItems = &items;
    menuChoice = 'o';
    select(list, 0);
    const std::size_t ran = runModal(formatText(loadString(sid::OutageListTitle), {"Generic TCP (80)"}),
                                     {[&](HWND d) {
                                          loop.runPosted();
                                          rowsShown = ListView_GetItemCount(GetDlgItem(d, IDC_OUTAGE_LIST));
                                          exportOn = IsWindowEnabled(GetDlgItem(d, IDC_OUTAGE_EXPORT));
                                          SendMessageW(d, WM_COMMAND, IDC_OUTAGE_EXPORT, 0);
                                      }},
                                     [&] {
                                         SetTimer(nullptr, 0, 20, readMenu);
                                         pressKey(dialog, list, VK_APPS);
                                     });
    menuItems = nullptr;
    EXPECT_EQ(ran, 1u);
    EXPECT_EQ(std::pair(rowsShown, exportOn), std::pair(2, true));
    std::ifstream written(prompter.fileAnswer, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(written), {}),
              outagesCsv({lasting, refused}, clock.nowMillis()));
    frame.reset();
    history = nullptr;
}

// Cancel closes the port settings dialog whatever its fields hold, by its
// button, by the Escape key and by Enter on the button tabbed to: nothing
// is checked, nothing asked, nothing changed.
TEST_F(WinDialogs, cancelClosesThePortSettingsWithoutCheckingTheFields)
{
    const auto key = [](HWND control, UINT key) {
        PostMessageW(control, WM_KEYDOWN, key, 1);
        PostMessageW(control, WM_KEYUP, key, 0xC0000001);
    };
    const auto spoiled = [](HWND d) {
        SetDlgItemTextW(d, IDC_PORT, L"0");
        SetDlgItemTextW(d, IDC_THRESHOLD, L"");
        SetFocus(GetDlgItem(d, IDC_PORT));
        return d;
    };
    using Step = std::function<void(HWND)>;
    // A step after the last runs only on a dialog that stayed open.
    const Step stayed = [](HWND d) { EndDialog(d, IDCANCEL); };
    const std::vector<std::vector<Step>> ways = {
        {[&](HWND d) { SendDlgItemMessageW(spoiled(d), IDCANCEL, BM_CLICK, 0, 0); }},
        {[&](HWND d) { key(GetDlgItem(spoiled(d), IDC_PORT), VK_ESCAPE); }},
        {[&](HWND d) {
             SendMessageW(spoiled(d), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(d, IDOK)), TRUE);
             key(GetDlgItem(d, IDOK), VK_TAB);
         },
         [&](HWND) { key(GetFocus(), VK_RETURN); }},
    };
    for (std::vector<Step> steps : ways) {
        const std::size_t needed = steps.size();
        steps.push_back(stayed);
        select(list, 0);
        EXPECT_EQ(runModal("監視ポート設定", steps, [this] { pressKey(dialog, list, VK_F2); }), needed);
        EXPECT_EQ(prompter.texts(), std::vector<std::string>{});
        EXPECT_EQ(entry(0).port, 80u);
    }
}

// Keys go through the dialog manager as the program's loop hands them on:
// Enter on the placeholder adds and starts nothing, F2 edits, Space asks to
// tick, Delete asks and deletes, Ctrl+C copies; the menu key opens the
// context menu, whose choice is carried out.
TEST_F(WinDialogs, keysAndTheContextMenuWorkTheList)
{
    std::string opened;
    const auto cancel = [&opened](HWND d) {
        opened = text(GetDlgItem(d, IDC_PORT)) + (IsWindowEnabled(GetDlgItem(d, IDC_DELETE)) ? "+delete" : "");
        EndDialog(d, IDCANCEL);
    };
    select(list, 2);
    EXPECT_EQ(runModal("監視ポート設定", {cancel}, [this] { pressKey(dialog, list, VK_RETURN); }), 1u);
    EXPECT_EQ(opened, "0");
    EXPECT_TRUE(prompter.messages.empty()) << "no question to start monitoring";
    select(list, 0);
    EXPECT_EQ(runModal("監視ポート設定", {cancel}, [this] { pressKey(dialog, list, VK_F2); }), 1u);
    EXPECT_EQ(opened, "80+delete");

    pressKey(dialog, list, VK_SPACE);
    EXPECT_EQ(prompter.texts(), std::vector<std::string>{loadString(sid::ConfirmActivatePort)});
    EXPECT_EQ(stateImage(list, 0), 0x2000u);
    select(list, 1);
    prompter.messages.clear();
    pressKey(dialog, list, VK_DELETE);
    EXPECT_EQ(prompter.texts(), std::vector<std::string>{"ポート(7)監視の登録を削除しますか?"});
    ASSERT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 2);

    // Every row selected: the placeholder is not copied.
    ListView_SetItemState(list, -1, LVIS_SELECTED, LVIS_SELECTED);
    pressKey(dialog, list, 'C', true);
    EXPECT_EQ(clipboardText(dialog), "Generic TCP (80)\t(127.0.0.1)\talert.bat\t0\t\t0\t0\t\u2013\r\n");

    std::vector<std::string> items;
    menuItems = &items;
    menuChoice = 't';
    select(list, 0);
    prompter.messages.clear();
    SetTimer(nullptr, 0, 20, readMenu);
    pressKey(dialog, list, VK_APPS);
    pumpUntil([&items] { return !items.empty(); }, 3000);
    // The core's menu, item for item (its order and states: DialogRules'
    // keysAndTheContextMenuDoWhatTheMouseDoes).
    ASSERT_EQ(items.size(), 11u);
    EXPECT_EQ(std::pair(items[3], items[4]),
              std::pair(loadString(sid::ListMenuDeactivate), loadString(sid::ListMenuGraph) + " (off)"));
    pumpUntil([this] { return !prompter.messages.empty(); }, 3000);
    EXPECT_EQ(prompter.texts(), std::vector<std::string>{loadString(sid::ConfirmDeactivatePort)});
    EXPECT_EQ(stateImage(list, 0), 0x1000u);
    menuItems = nullptr;
}

// Ctrl+Home and Ctrl+End highlight the row they reach, as Home and End do;
// Space acts on the row it shows highlighted, also where Ctrl and an arrow
// moved the focus away from the highlight.
TEST_F(WinDialogs, homeAndEndReachTheRowsThatSpaceThenActsOn)
{
    const auto highlighted = [this] {
        std::vector<int> rows;
        for (int r = ListView_GetNextItem(list, -1, LVNI_SELECTED); r >= 0; r = ListView_GetNextItem(list, r, LVNI_SELECTED))
            rows.push_back(r);
        return std::pair(ListView_GetNextItem(list, -1, LVNI_FOCUSED), rows);
    };
    select(list, 1);
    // The columns reach beyond the list, which is scrolled to the right:
    // going to a row leaves them there.
    ListView_SetColumnWidth(list, 1, 2000);
    ListView_Scroll(list, 300, 0);
    const int across = GetScrollPos(list, SB_HORZ);
    ASSERT_GT(across, 0);
    for (bool withControl : {true, false}) {
        pressKey(dialog, list, VK_HOME, withControl);
        EXPECT_EQ(highlighted(), std::pair(0, std::vector<int>{0})) << withControl;
        pressKey(dialog, list, VK_END, withControl);
        EXPECT_EQ(highlighted(), std::pair(2, std::vector<int>{2})) << withControl;
    }
    EXPECT_EQ(GetScrollPos(list, SB_HORZ), across);

    pressKey(dialog, list, VK_HOME);
    pressKey(dialog, list, VK_DOWN, true);
    ASSERT_EQ(highlighted().first, 1);
    pressKey(dialog, list, VK_SPACE);
    EXPECT_EQ(prompter.texts(), std::vector<std::string>{loadString(sid::ConfirmDeactivatePort)});
    EXPECT_EQ(std::pair(stateImage(list, 0), stateImage(list, 1)), std::pair(0x1000u, 0x1000u));
    EXPECT_EQ(highlighted(), std::pair(1, std::vector<int>{1}));
}

// The window's place and the columns' widths are kept for the next start.
// (A place off the screen brought back onto it: DialogRules'
// theLayoutIsStoredAndComesBackOnAScreen; that the columns fit a whole
// longest name and date is checked at every resolution below.)
TEST_F(WinDialogs, theLayoutIsKeptForTheNextStart)
{
    std::vector<int> widths;
    for (int c = 0; c < kListColumns; ++c)
        widths.push_back(ListView_GetColumnWidth(list, c));
    EXPECT_EQ(loadWindowLayout(registry), WindowLayout{});

    SetWindowPos(dialog, nullptr, 40, 30, 700, 400, SWP_NOZORDER);
    ListView_SetColumnWidth(list, 1, 150);
    widths[1] = 150;
    frame.reset();
    pump();
    EXPECT_EQ(loadWindowLayout(registry), (WindowLayout{40, 30, 700, 400, widths}));
    ASSERT_NO_FATAL_FAILURE(open());
    RECT r{};
    GetWindowRect(dialog, &r);
    EXPECT_EQ(r, (RECT{40, 30, 740, 430}));
    EXPECT_EQ(ListView_GetColumnWidth(list, 1), 150);
}

// What the main dialog shows at a resolution, as pixels at 96 DPI scale:
// fonts, images, icons, the smallest size; every header and the widest
// name and date whole.
void expectLaidOutAt(HWND dialog, HWND list, int dpi)
{
    const int dialogFont = fontPixels(reinterpret_cast<HFONT>(SendMessageW(list, WM_GETFONT, 0, 0)));
    EXPECT_NEAR(dialogFont, atDpi(12, dpi), 1) << "9-point font";
    for (int which : {LVSIL_SMALL, LVSIL_STATE}) {
        int cx = 0, cy = 0;
        ImageList_GetIconSize(ListView_GetImageList(list, which), &cx, &cy);
        EXPECT_EQ(std::pair(cx, cy), std::pair(atDpi(16, dpi), atDpi(16, dpi))) << "image list " << which;
        EXPECT_EQ(ImageList_GetImageCount(ListView_GetImageList(list, which)), which == LVSIL_SMALL ? 5 : 2);
    }
    const auto icon = [dialog](WPARAM which) {
        return iconSize(reinterpret_cast<HICON>(SendMessageW(dialog, WM_GETICON, which, 0)));
    };
    EXPECT_EQ(icon(ICON_SMALL).cx, win::systemMetric(SM_CXSMICON, dpi));
    EXPECT_EQ(icon(ICON_BIG).cx, win::systemMetric(SM_CXICON, dpi));
    MINMAXINFO info{};
    SendMessageW(dialog, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_GE(info.ptMinTrackSize.x, atDpi(400, dpi));
    EXPECT_GE(info.ptMinTrackSize.y, atDpi(160, dpi));

    HWND header = ListView_GetHeader(list);
    for (int c = 0; c < kListColumns; ++c) {
        wchar_t text[128] = {};
        HDITEMW item{};
        item.mask = HDI_TEXT;
        item.pszText = text;
        item.cchTextMax = 128;
        Header_GetItem(header, c, &item);
        RECT r{};
        Header_GetItemRect(header, c, &r);
        // The header keeps a margin of its own on either side of the text.
        EXPECT_LE(textExtent(header, text).cx + atDpi(12, dpi), r.right - r.left) << "header " << c << " is cut";
    }
    const std::wstring name = L"Generic TCP (65535)";
    const std::wstring date = win::widen(formatLocalTime(loadString(sid::DateTimeFormat), 2113919938u));
    LVITEMW cellText{};
    cellText.pszText = const_cast<wchar_t *>(name.c_str());
    SendMessageW(list, LVM_SETITEMTEXTW, 0, reinterpret_cast<LPARAM>(&cellText));
    cellText.iSubItem = 3;
    cellText.pszText = const_cast<wchar_t *>(date.c_str());
    SendMessageW(list, LVM_SETITEMTEXTW, 0, reinterpret_cast<LPARAM>(&cellText));
    for (int c : {0, 3}) {
        const int width = ListView_GetColumnWidth(list, c);
        ListView_SetColumnWidth(list, c, LVSCW_AUTOSIZE);
        EXPECT_LE(ListView_GetColumnWidth(list, c), width) << "column " << c << " is cut";
        ListView_SetColumnWidth(list, c, width);
    }
}

// At the screen's resolution (the test runs at 96, 144 and 192 DPI), and
// after a move to a screen of another (144 from 96, else 96): every size
// scales, the window takes the system's rectangle, and the layout is stored
// in pixels at 96 DPI.
TEST_F(WinDialogs, followsTheScreensDpi)
{
    const int dpi = preparedDpi();
    ASSERT_EQ(win::windowDpi(dialog), dpi) << "the prefix's resolution is not in effect";
    // Opened wide enough for every column, unless that is wider than the
    // screen.
    MONITORINFO screen{};
    screen.cbSize = sizeof(screen);
    GetMonitorInfoW(MonitorFromWindow(dialog, MONITOR_DEFAULTTOPRIMARY), &screen);
    RECT opened{};
    GetWindowRect(dialog, &opened);
    if (opened.right - opened.left < screen.rcWork.right - screen.rcWork.left) {
        EXPECT_EQ(GetWindowLongPtrW(list, GWL_STYLE) & WS_HSCROLL, 0) << "the list scrolls sideways";
    }
    {
        SCOPED_TRACE("at the screen's resolution");
        expectLaidOutAt(dialog, list, dpi);
    }
    const int width0 = ListView_GetColumnWidth(list, 0);
    // Little above its smallest, so that it fits the screen at the other
    // resolution and is not held at the smallest size there.
    MINMAXINFO least{};
    SendMessageW(dialog, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&least));
    SetWindowPos(dialog, nullptr, 0, 0, least.ptMinTrackSize.x + atDpi(40, dpi), least.ptMinTrackSize.y + atDpi(40, dpi),
                 SWP_NOZORDER | SWP_NOMOVE);
    RECT before{};
    GetWindowRect(dialog, &before);
    const RECT listBefore = childRect(list);
    const int moved = dpi == 96 ? 144 : 96;
    const auto scale = [dpi, moved](LONG v) { return static_cast<LONG>(rescaled(static_cast<int>(v), dpi, moved)); };
    const RECT suggested{before.left, before.top, before.left + scale(before.right - before.left),
                         before.top + scale(before.bottom - before.top)};
    SendMessageW(dialog, WM_DPICHANGED, MAKEWPARAM(moved, moved), reinterpret_cast<LPARAM>(&suggested));
    pump();
    {
        SCOPED_TRACE("moved to another resolution");
        expectLaidOutAt(dialog, list, moved);
    }
    RECT after{};
    GetWindowRect(dialog, &after);
    EXPECT_EQ(after, suggested);
    // Scaled, or as wide as the text needs in the new font.
    const int movedWidth0 = ListView_GetColumnWidth(list, 0);
    EXPECT_GE(movedWidth0, scale(width0));
    EXPECT_LE(movedWidth0, scale(width0) + atDpi(8, moved));
    const RECT listAfter = childRect(list);
    EXPECT_NEAR(listAfter.top, scale(listBefore.top), 1);
    RECT client{};
    GetClientRect(dialog, &client);
    EXPECT_EQ(listAfter.right, client.right - atDpi(8, moved));
    EXPECT_EQ(listAfter.bottom, client.bottom - atDpi(44, moved));

    frame.reset();
    pump();
    const WindowLayout stored = loadWindowLayout(registry);
    EXPECT_EQ(stored.width, fromDpi(after.right - after.left, moved));
    ASSERT_EQ(stored.columnWidths.size(), std::size_t(kListColumns));
    EXPECT_EQ(stored.columnWidths[0], fromDpi(movedWidth0, moved));
    // Back at the screen's resolution the stored widths are scaled to it.
    ASSERT_NO_FATAL_FAILURE(open());
    EXPECT_EQ(ListView_GetColumnWidth(list, 0), atDpi(stored.columnWidths[0], dpi));
    GetWindowRect(dialog, &after);
    EXPECT_NEAR(after.right - after.left, before.right - before.left, 2);
}

// The host dialog opens on the current host and takes an empty one. (Too
// long a host refused: DialogRules' aNewTargetRetitlesTheDialogAndIsSaved.)
TEST_F(WinDialogs, aNewTargetHostRetitlesTheDialog)
{
    const std::size_t ran = runModal("ターゲット ホストの変更",
                                     {[](HWND d) {
                                         EXPECT_EQ(misplaced(d, "ターゲット ホストの変更"), std::vector<std::string>{});
                                         EXPECT_EQ(text(GetDlgItem(d, IDC_HOST)), "127.0.0.1");
                                         SetDlgItemTextW(d, IDC_HOST, L"");
                                         SendMessageW(d, WM_COMMAND, IDOK, 0);
                                     }},
                                     [this] { SendMessageW(dialog, WM_COMMAND, IDC_TARGET, 0); });
    EXPECT_EQ(ran, 1u);
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_EQ(frame->targetHost(), "");
    EXPECT_EQ(text(dialog), "Lumivane - ");
}

// The port settings dialog lists the stored channels with a box each, all
// ticked for an entry that names none; the boxes as left reach the store.
// Without channels the list says so and cannot be used. (A stored choice
// shown again, and only a changed one written: EntryFormTest's channel cases.)
TEST_F(WinDialogs, thePortSettingsListTheChannelsAndTheTicksReachTheStore)
{
    const auto rows = [](HWND d) {
        HWND list = GetDlgItem(d, IDC_PORT_CHANNELS);
        std::vector<std::string> out;
        for (int row = 0; row < ListView_GetItemCount(list); ++row)
            out.push_back(cell(list, row, 0) + (stateImage(list, row) == INDEXTOSTATEIMAGEMASK(2) ? " +" : ""));
        return out;
    };
    std::vector<std::vector<std::string>> seen;
    bool enabled = true;
    select(list, 0);
    EXPECT_EQ(runModal("監視ポート設定",
                       {[&](HWND d) {
                           seen.push_back(rows(d));
                           enabled = IsWindowEnabled(GetDlgItem(d, IDC_PORT_CHANNELS)) != FALSE;
                           EndDialog(d, IDCANCEL);
                       }},
                       [this] { pressKey(dialog, list, VK_F2); }),
              1u);
    EXPECT_EQ(seen.back(), std::vector<std::string>{loadString(sid::PortChannelsNone)});
    EXPECT_FALSE(enabled);

    ASSERT_EQ(saveChannels(registry, {{"https://hooks.example/a/s3cret", "chat", false, 0, {}},
                                      {"ntfy+https://ntfy.example/alerts", "", false, 0, {}}}),
              reg::Status::Ok);
    select(list, 0);
    EXPECT_EQ(runModal("監視ポート設定",
                       {[&](HWND d) {
                           EXPECT_EQ(misplaced(d, "監視ポート設定"), std::vector<std::string>{});
                           // The note says what every box ticked means, within the group.
                           EXPECT_EQ(text(GetDlgItem(d, IDC_PORT_CHANNELS_NOTE)), loadString(sid::PortChannelsAllNote));
                           EXPECT_LE(placed(d, IDC_PORT_CHANNELS_NOTE).right, placed(d, IDC_PORT_CHANNELS_GROUP).right);
                           seen.push_back(rows(d));
                           ListView_SetItemState(GetDlgItem(d, IDC_PORT_CHANNELS), 0, INDEXTOSTATEIMAGEMASK(1),
                                                 LVIS_STATEIMAGEMASK);
                           SendMessageW(d, WM_COMMAND, IDOK, 0);
                       }},
                       [this] { pressKey(dialog, list, VK_F2); }),
              1u);
    const std::string ntfy = formatText(loadString(sid::PortChannelUnnamed),
                                        {loadString(sid::ChannelKindNtfy), "ntfy+https://ntfy.example/alerts"});
    EXPECT_EQ(seen.back(), (std::vector<std::string>{"chat +", ntfy + " +"}));
    EXPECT_EQ(storedString(registry, kMonitorKey, "Channels #0"), "1");
    EXPECT_TRUE(prompter.messages.empty());
}

// The main dialog's button opens the Channels dialog: the stored channel
// shows masked, a row selected shows its fields, Add and OK store the typed
// channel beside the stored one, whose secret stays.
TEST_F(WinDialogs, theChannelsDialogShowsTheChannelsMaskedAndStoresWhatWasTyped)
{
    ASSERT_EQ(saveChannels(registry, {{"https://hooks.example/a/s3cret", "chat", true, 5, {}}}), reg::Status::Ok);
    std::vector<std::string> seen;
    const std::size_t ran = runModal(
        loadString(sid::ChannelsCaption),
        {[&](HWND d) {
             HWND channels = GetDlgItem(d, IDC_CHANNEL_LIST);
             EXPECT_EQ(SendMessageW(channels, LVM_GETITEMCOUNT, 0, 0), 1);
             seen = {cell(channels, 0, 0), cell(channels, 0, 2), text(GetDlgItem(d, IDC_CHANNEL_URL)),
                     text(GetDlgItem(d, IDC_CHANNEL_REMINDER))};
             EXPECT_EQ(IsDlgButtonChecked(d, IDC_CHANNEL_RECOVERY), BST_CHECKED);
             SendMessageW(d, WM_COMMAND, IDC_CHANNEL_ADD, 0);
             EXPECT_EQ(SendMessageW(channels, LVM_GETITEMCOUNT, 0, 0), 2);
             EXPECT_EQ(IsDlgButtonChecked(d, IDC_CHANNEL_RECOVERY), BST_UNCHECKED);
             SetDlgItemTextW(d, IDC_CHANNEL_URL, L"slack+https://chat.example/hooks/abc");
             SetDlgItemTextW(d, IDC_CHANNEL_HEADERS, L"X-One: 1\r\nX-Two: 2");
             SetDlgItemTextW(d, IDC_CHANNEL_REMINDER, L"45");
         },
         [&](HWND d) {
             // Selecting the first row through the list keeps what was typed
             // in the new one and shows the first one's fields.
             ListView_SetItemState(GetDlgItem(d, IDC_CHANNEL_LIST), 0, LVIS_SELECTED | LVIS_FOCUSED,
                                   LVIS_SELECTED | LVIS_FOCUSED);
             EXPECT_EQ(text(GetDlgItem(d, IDC_CHANNEL_NAME)), "chat");
             EXPECT_EQ(cell(GetDlgItem(d, IDC_CHANNEL_LIST), 1, 1), loadString(sid::ChannelKindSlack));
             SendMessageW(d, WM_COMMAND, IDOK, 0);
         }},
        [this] { SendMessageW(dialog, WM_COMMAND, IDC_CHANNELS, 0); });
    EXPECT_EQ(ran, 2u);
    EXPECT_EQ(seen, (std::vector<std::string>{"chat", "https://hooks.example/a/****", "https://hooks.example/a/****",
                                              "5"}));
    EXPECT_TRUE(prompter.messages.empty());
    const auto stored = loadChannels(registry).channels;
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0].url, "https://hooks.example/a/s3cret");
    EXPECT_EQ(std::tuple(stored[1].url, stored[1].headers, stored[1].reminderMinutes),
              std::tuple(std::string("slack+https://chat.example/hooks/abc"), std::string("X-One: 1\nX-Two: 2"), 45u));
}

// Where the template puts them at first; at the smallest size none overlap;
// larger, the right ones follow.
TEST_F(WinDialogs, standByTheTemplateAndAtTheSmallestSizeNoControlsOverlapAndLargerTheRightOnesFollow)
{
    EXPECT_EQ(misplaced(dialog, "Lumivane - 127.0.0.1"), std::vector<std::string>{});
    MINMAXINFO info{};
    SendMessageW(dialog, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    SetWindowPos(dialog, nullptr, 0, 0, info.ptMinTrackSize.x, info.ptMinTrackSize.y, SWP_NOZORDER | SWP_NOMOVE);
    pump();

    std::vector<HWND> children;
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        children.push_back(c);
    ASSERT_EQ(children.size(), 18u); // with the boxes for notifications, autostart and history, and Channels
    for (std::size_t i = 0; i < children.size(); ++i) {
        const RECT a = childRect(children[i]);
        EXPECT_GT(a.right - a.left, 0);
        EXPECT_GT(a.bottom - a.top, 0);
        for (std::size_t j = i + 1; j < children.size(); ++j) {
            // An up-down control sits on the edge of its field by design.
            const auto buddy = [](HWND spin) { return reinterpret_cast<HWND>(SendMessageW(spin, UDM_GETBUDDY, 0, 0)); };
            if (buddy(children[i]) == children[j] || buddy(children[j]) == children[i])
                continue;
            const RECT b = childRect(children[j]);
            RECT common{};
            EXPECT_FALSE(IntersectRect(&common, &a, &b))
                << "controls " << GetDlgCtrlID(children[i]) << " and " << GetDlgCtrlID(children[j]) << " overlap";
        }
    }

    // Larger: the buttons and the logo keep 8 pixels from the right edge,
    // the list stretches, the rest stays.
    const RECT portTest = childRect(GetDlgItem(dialog, IDC_PORT_TEST));
    const RECT history = childRect(GetDlgItem(dialog, IDC_HISTORY));
    const RECT channels = childRect(GetDlgItem(dialog, IDC_CHANNELS));
    RECT before{};
    GetClientRect(dialog, &before);
    SetWindowPos(dialog, nullptr, 0, 0, 900, 600, SWP_NOZORDER | SWP_NOMOVE);
    pump();
    RECT client{};
    GetClientRect(dialog, &client);
    for (int id : {IDOK, IDC_TARGET, IDCANCEL, IDC_LOGO})
        EXPECT_EQ(childRect(GetDlgItem(dialog, id)).right, client.right - 8) << "control " << id;
    EXPECT_EQ(childRect(GetDlgItem(dialog, IDC_LOGO)).bottom, client.bottom - 4);
    const RECT listRect = childRect(list);
    EXPECT_EQ(std::tuple(listRect.left, listRect.right, listRect.bottom), std::tuple(8L, client.right - 8, client.bottom - 44));
    // The history box keeps its left edge, under the list.
    const RECT historyNow = childRect(GetDlgItem(dialog, IDC_HISTORY));
    EXPECT_EQ(std::tuple(historyNow.left, historyNow.top, historyNow.right - historyNow.left),
              std::tuple(history.left, client.bottom - 30, history.right - history.left));
    // So does the Channels button beside it.
    const RECT channelsNow = childRect(GetDlgItem(dialog, IDC_CHANNELS));
    EXPECT_EQ(std::tuple(channelsNow.left, client.bottom - channelsNow.top),
              std::tuple(channels.left, before.bottom - channels.top));
    const RECT portTestNow = childRect(GetDlgItem(dialog, IDC_PORT_TEST));
    EXPECT_TRUE(EqualRect(&portTest, &portTestNow));
}

// The About box says its version in the interface's language, opens left
// of the main dialog, top edges level, and comes back where it was.
TEST_F(WinDialogs, theAboutBoxShowsTheVersionBesideTheMainDialogAndOnlyHidesWhenClosed)
{
    auto about = win::makeAboutBox(*frame, [this] { return win::placeAreaOf(dialog); });
    ASSERT_TRUE(about);
    HWND box = FindWindowW(L"#32770", win::widen("バージョン情報").c_str());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(misplaced(box, "バージョン情報"), std::vector<std::string>{});
    EXPECT_EQ(text(GetDlgItem(box, IDC_VERSION)), "Vigilon バージョン 1.62");
    SendMessageW(box, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(IsWindow(box));
    EXPECT_FALSE(IsWindowVisible(box));

    const ScreenRect work = win::placeAreaOf(dialog).workArea;
    RECT main{}, r{};
    // At its smallest, at the right edge: room left of it.
    SetWindowPos(dialog, nullptr, work.right - 400, work.top + 40, 400, 160, SWP_NOZORDER | SWP_SHOWWINDOW);
    GetWindowRect(dialog, &main);
    about->show();
    EXPECT_TRUE(IsWindowVisible(box));
    GetWindowRect(box, &r);
    EXPECT_EQ(std::pair(r.right + kBesideGap, r.top), std::pair(main.left, main.top));
    SetWindowPos(box, nullptr, 30, 50, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    SendMessageW(box, WM_COMMAND, IDOK, 0);
    about->show();
    GetWindowRect(box, &r);
    EXPECT_EQ(std::pair(r.left, r.top), std::pair(30L, 50L));
    about.reset();
    EXPECT_FALSE(IsWindow(box));
}

} // namespace
} // namespace vigilon::test
