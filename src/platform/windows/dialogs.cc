// A computer-based-training hook on the calling thread sees each message box as it is activated,
// prints its caption and text, and dismisses it with OK.
#include <windows.h>

#include <cstdio>

#include "platform/dialogs.h"

namespace {

HHOOK hook = nullptr;

LRESULT CALLBACK WatchWindows(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        HWND window = reinterpret_cast<HWND>(wParam);
        char className[16] = "";
        GetClassNameA(window, className, sizeof className);
        if (lstrcmpA(className, "#32770") == 0) {  // the dialog class of a message box
            char caption[256] = "";
            char text[1024] = "";
            GetWindowTextA(window, caption, sizeof caption);
            GetDlgItemTextA(window, 0xFFFF, text, sizeof text);  // the box's static text
            std::fprintf(stderr, "%s: %s\n", caption, text);
            std::fflush(stderr);
            PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        }
    }
    return CallNextHookEx(hook, code, wParam, lParam);
}

}  // namespace

void AnswerDialogs() {
    if (hook == nullptr) {
        hook = SetWindowsHookExA(WH_CBT, WatchWindows, nullptr, GetCurrentThreadId());
    }
}
