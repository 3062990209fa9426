// SPDX-License-Identifier: MIT
// tevrin-preview-host: for the end-to-end tests under Wine, a stand-in for
// the display settings: a window with a small child window, whose handle
// it prints in decimal, as the system passes it to "/p". A line "hide" on
// standard input hides the child, "show" shows it, the end of input closes
// everything.
#define WIN32_LEAN_AND_MEAN
#include <cstdio>
#include <cstring>
#include <thread>
#include <windows.h>

namespace {

constexpr UINT kCommand = WM_APP + 1; // wparam: 0 hide, 1 show, 2 quit

LRESULT CALLBACK HostProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcA(hwnd, message, wparam, lparam);
}

} // namespace

int main() {
    WNDCLASSA host{};
    host.lpfnWndProc = HostProc;
    host.hInstance = GetModuleHandleA(nullptr);
    host.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    host.lpszClassName = "TevrinPreviewHost";
    RegisterClassA(&host);
    HWND frame =
        CreateWindowExA(0, host.lpszClassName, "Tevrin preview host", WS_POPUP | WS_VISIBLE, 40, 40,
                        240, 200, nullptr, nullptr, host.hInstance, nullptr);
    HWND preview = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 44, 44, 152, 112, frame,
                                   nullptr, host.hInstance, nullptr);
    std::printf("%lld\n", static_cast<long long>(reinterpret_cast<INT_PTR>(preview)));
    std::fflush(stdout);
    const DWORD main_thread = GetCurrentThreadId();
    std::thread input([main_thread] {
        char line[64];
        while (std::fgets(line, sizeof line, stdin) != nullptr) {
            if (std::strncmp(line, "hide", 4) == 0) PostThreadMessageA(main_thread, kCommand, 0, 0);
            if (std::strncmp(line, "show", 4) == 0) PostThreadMessageA(main_thread, kCommand, 1, 0);
        }
        PostThreadMessageA(main_thread, kCommand, 2, 0);
    });
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (msg.hwnd == nullptr && msg.message == kCommand) {
            if (msg.wParam == 2) break;
            ShowWindow(preview, msg.wParam == 1 ? SW_SHOW : SW_HIDE);
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    DestroyWindow(frame);
    input.detach();
    return 0;
}
