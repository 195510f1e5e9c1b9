// SPDX-License-Identifier: MIT
// The Windows side of shipped_bench --wine: asks the running Vigilon.exe
// through its frame window, the way a second start reaches it, and says how
// long its loop took to answer. Started under Wine before the program, so
// that its own start is not timed. Reads one command a line on standard
// input and answers each with one line on standard output:
//   ask MS    a message sent to the frame window (WM_NULL, waiting at most
//             MS milliseconds) until the program's loop has served it: the
//             microseconds it took, 0 when there is no frame window yet or
//             no answer came
//   close     WM_CLOSE posted to the frame window, as the service host ends
//             the program: 1, or 0 when there is no frame window
// Ends at the end of its input. Asserts nothing.
#include "win/WinMonitorApp.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

HWND frameWindow()
{
    static HWND found = nullptr;
    if (!found || !IsWindow(found))
        found = FindWindowW(vigilon::win::kFrameWindowClass, nullptr);
    return found;
}

unsigned long long ask(unsigned timeoutMs)
{
    HWND frame = frameWindow();
    if (!frame)
        return 0;
    LARGE_INTEGER frequency, begin, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&begin);
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(frame, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &result))
        return 0;
    QueryPerformanceCounter(&end);
    const unsigned long long micros =
        static_cast<unsigned long long>(end.QuadPart - begin.QuadPart) * 1000000ull /
        static_cast<unsigned long long>(frequency.QuadPart);
    return micros != 0 ? micros : 1;
}

} // namespace

int main()
{
    char line[128];
    while (std::fgets(line, sizeof line, stdin)) {
        if (std::strncmp(line, "ask", 3) == 0) {
            const unsigned long timeoutMs = std::strtoul(line + 3, nullptr, 10);
            std::printf("%llu\n", ask(static_cast<unsigned>(timeoutMs)));
        } else if (std::strncmp(line, "close", 5) == 0) {
            HWND frame = frameWindow();
            std::printf("%d\n", frame && PostMessageW(frame, WM_CLOSE, 0, 0) ? 1 : 0);
        } else {
            std::printf("?\n");
        }
        std::fflush(stdout);
    }
    return 0;
}
