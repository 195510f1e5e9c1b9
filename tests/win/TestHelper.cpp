// SPDX-License-Identifier: MIT
// For the program's tests under Wine.
//   helper ports            listens on a loopback port of the system's
//                           choice, finds a second one with nothing behind
//                           it, prints "<open> <closed>" and stays (at most
//                           two minutes) until it is ended;
//   helper taskbar-created  tells every top-level window that the taskbar
//                           was made anew, as the shell does when it starts;
//   helper tray BUTTON ITEM presses BUTTON (left, right, left-up) on
//                           Vigilon's tray icon, as the shell reports it to
//                           the program; for a press, waits for the menu,
//                           picks ITEM (start, the first, or exit, the
//                           last) with the keyboard and answers Yes to the
//                           question that follows.
//                           A release must open no menu. Ends with 0 when
//                           all went as said;
//   helper end-session [asking]
//                           tells Vigilon's hidden window that the session
//                           ends, as Windows does at a log-off; with
//                           "asking", once the main dialog's exit has put
//                           its question up, which nobody answers;
//   helper close            closes Vigilon as taskkill does (WM_CLOSE to
//                           each of its windows), the main dialog first;
//                           ends with 4 if a question shows meanwhile;
//   helper dialog-exit      clicks the main dialog's exit button and answers
//                           Yes to the question that follows.
#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace {
unsigned short boundPort(SOCKET s)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (bind(s, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return 0;
    return ntohs(address.sin_port);
}
} // namespace

int listen()
{
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return 1;
    SOCKET open = socket(AF_INET, SOCK_STREAM, 0);
    const unsigned short openPort = boundPort(open);
    if (openPort == 0 || listen(open, SOMAXCONN) != 0)
        return 1;
    SOCKET closed = socket(AF_INET, SOCK_STREAM, 0);
    const unsigned short closedPort = boundPort(closed);
    closesocket(closed);
    std::printf("%u %u\n", openPort, closedPort);
    std::fflush(stdout);
    // Connections are taken and dropped, so that the backlog never fills.
    u_long nonBlocking = 1;
    ioctlsocket(open, FIONBIO, &nonBlocking);
    for (int i = 0; i < 1200; ++i) {
        SOCKET peer;
        while ((peer = accept(open, nullptr, nullptr)) != INVALID_SOCKET)
            closesocket(peer);
        Sleep(100);
    }
    return 0;
}

// The shown window of a class, waited for at most timeoutMs.
HWND waitForWindow(const wchar_t *windowClass, int timeoutMs)
{
    for (int waited = 0; waited < timeoutMs; waited += 50) {
        HWND window = FindWindowW(windowClass, nullptr);
        if (window && IsWindowVisible(window))
            return window;
        Sleep(50);
    }
    return nullptr;
}

// A shown message box with a Yes button, waited for at most timeoutMs; the
// main dialog is of the same class.
HWND waitForQuestion(int timeoutMs)
{
    for (int waited = 0; waited < timeoutMs; waited += 50) {
        HWND found = nullptr;
        EnumWindows(
            [](HWND window, LPARAM out) -> BOOL {
                wchar_t name[16] = {};
                GetClassNameW(window, name, 16);
                if (std::wcscmp(name, L"#32770") != 0 || !IsWindowVisible(window) || !GetDlgItem(window, IDYES))
                    return TRUE;
                *reinterpret_cast<HWND *>(out) = window;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&found));
        if (found)
            return found;
        Sleep(50);
    }
    return nullptr;
}

// Vigilon's main dialog, shown, waited for at most ten seconds; its title is
// the product's and the target's.
HWND mainDialog()
{
    HWND found = nullptr;
    for (int waited = 0; !found && waited < 10000; waited += 50) {
        if (waited > 0)
            Sleep(50);
        EnumWindows(
            [](HWND window, LPARAM out) -> BOOL {
                wchar_t name[16] = {}, title[64] = {};
                GetClassNameW(window, name, 16);
                GetWindowTextW(window, title, 64);
                if (std::wcscmp(name, L"#32770") != 0 || !IsWindowVisible(window) ||
                    std::wcsncmp(title, L"Lumivane - ", 11) != 0)
                    return TRUE;
                *reinterpret_cast<HWND *>(out) = window;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&found));
    }
    return found;
}

// The main dialog's exit button clicked; its question, once it is up.
HWND askToExit()
{
    HWND dialog = mainDialog();
    if (!dialog)
        return nullptr;
    const auto button = reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDCANCEL));
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), button);
    return waitForQuestion(10000);
}

int endSession()
{
    HWND frame = FindWindowW(L"VigilonFrame", nullptr);
    if (!frame || !SendMessageW(frame, WM_QUERYENDSESSION, 0, 0))
        return 3;
    SendMessageW(frame, WM_ENDSESSION, TRUE, 0);
    return 0;
}

int tray(const char *button, const char *item)
{
    HWND frame = FindWindowW(L"VigilonFrame", nullptr);
    if (!frame)
        return 3;
    const bool release = std::strcmp(button, "left-up") == 0;
    const LPARAM mouse = release ? WM_LBUTTONUP : std::strcmp(button, "left") == 0 ? WM_LBUTTONDOWN : WM_RBUTTONDOWN;
    PostMessageW(frame, WM_USER + 10, 1000, mouse);
    HWND menu = waitForWindow(L"#32768", release ? 1000 : 10000);
    if (release)
        return menu ? 4 : 0;
    if (!menu)
        return 4;
    // The menu begins with starting and ends with exiting; from none
    // chosen, a key down picks the first item and a key up the last. (Menus
    // are the program's own under Wine: this process cannot read them.)
    PostMessageW(menu, WM_KEYDOWN, std::strcmp(item, "exit") == 0 ? VK_UP : VK_DOWN, 0);
    PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
    HWND question = waitForQuestion(10000);
    if (!question)
        return 5;
    PostMessageW(question, WM_COMMAND, IDYES, 0);
    return 0;
}

int main(int argc, char **argv)
{
    if (argc == 2 && std::strcmp(argv[1], "close") == 0) {
        HWND dialog = mainDialog();
        HWND frame = FindWindowW(L"VigilonFrame", nullptr);
        if (!dialog || !frame || !PostMessageW(dialog, WM_CLOSE, 0, 0))
            return 3;
        // Ended by the system, the program asks nobody.
        if (waitForQuestion(1500))
            return 4;
        PostMessageW(frame, WM_CLOSE, 0, 0);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "end-session") == 0)
        return endSession();
    if (argc == 3 && std::strcmp(argv[1], "end-session") == 0 && std::strcmp(argv[2], "asking") == 0)
        return askToExit() ? endSession() : 5;
    if (argc == 2 && std::strcmp(argv[1], "dialog-exit") == 0) {
        HWND question = askToExit();
        return question && PostMessageW(question, WM_COMMAND, IDYES, 0) ? 0 : 5;
    }
    if (argc == 4 && std::strcmp(argv[1], "tray") == 0)
        return tray(argv[2], argv[3]);
    if (argc == 2 && std::strcmp(argv[1], "ports") == 0)
        return listen();
    if (argc == 2 && std::strcmp(argv[1], "taskbar-created") == 0)
        return PostMessageW(HWND_BROADCAST, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0) ? 0 : 1;
    std::fputs("usage: helper ports | taskbar-created | tray BUTTON N | end-session [asking] | close | dialog-exit\n", stderr);
    return 2;
}
