// SPDX-License-Identifier: MIT
#include "platform/win32/Win32Platform.h"

#include "base/Errors.h"
#include "gfx/Copy.h"
#include "platform/PresentLog.h"
#include "platform/win32/Wide.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <windowsx.h>
// The platform contract's own names, not the API's character-set macros.
#undef CreateWindow
#undef MessageBox

#include <algorithm>
#include <cstring>
#include <vector>

namespace tevrin {
namespace {

constexpr const wchar_t* kFormClass = L"TevrinForm";
constexpr const wchar_t* kAppClass = L"TevrinApplication";

HWND H(TWindowId id) {
    return reinterpret_cast<HWND>(id);
}

// A native control's font; links are underlined.
HFONT MakeFont(const TFontSpec& f, bool underline) {
    return CreateFontW(f.Height, 0, 0, 0, f.Bold ? FW_BOLD : FW_NORMAL, FALSE, underline, FALSE,
                       DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH, Widen(f.Face).c_str());
}
TWindowId Id(HWND hwnd) {
    return reinterpret_cast<TWindowId>(hwnd);
}

LRESULT CALLBACK FormProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* platform = reinterpret_cast<TWin32Platform*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (platform == nullptr) return DefWindowProcW(hwnd, message, wparam, lparam);
    return platform->HandleMessage(Id(hwnd), message, wparam, lparam);
}

LRESULT CALLBACK AppProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* platform = reinterpret_cast<TWin32Platform*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    LRESULT result = 0;
    if (platform != nullptr && static_cast<TWin32Services&>(platform->Services())
                                   .HandleAppMessage(message, wparam, lparam, result))
        return result;
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

void RegisterClasses() {
    static bool done = false;
    if (done) return;
    done = true;
    WNDCLASSEXW form{sizeof form};
    form.style = CS_DBLCLKS;
    form.lpfnWndProc = FormProc;
    form.hInstance = GetModuleHandleW(nullptr);
    form.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    form.hIcon = LoadIconW(form.hInstance, MAKEINTRESOURCEW(1));
    form.lpszClassName = kFormClass;
    RegisterClassExW(&form);
    WNDCLASSEXW app{sizeof app};
    app.lpfnWndProc = AppProc;
    app.hInstance = form.hInstance;
    app.lpszClassName = kAppClass;
    RegisterClassExW(&app);
}

std::uint8_t ShiftState() {
    std::uint8_t s = 0;
    if (GetKeyState(VK_SHIFT) < 0) s |= ssShift;
    if (GetKeyState(VK_MENU) < 0) s |= ssAlt;
    if (GetKeyState(VK_CONTROL) < 0) s |= ssCtrl;
    if (GetKeyState(VK_LBUTTON) < 0) s |= ssLeft;
    if (GetKeyState(VK_RBUTTON) < 0) s |= ssRight;
    return s;
}

DWORD StyleOf(const TWindowParams& p) {
    // Native controls are child windows; our own drawing goes around them.
    return WS_CLIPCHILDREN |
           (p.Border ? WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX : WS_POPUP);
}

// The window rectangle whose client area is `bounds`: a form's bounds are
// its client area, the frame lies around it.
RECT FrameFor(const TWindowParams& p) {
    RECT r{p.Bounds.Left, p.Bounds.Top, p.Bounds.Right, p.Bounds.Bottom};
    if (p.Border) AdjustWindowRectEx(&r, StyleOf(p), FALSE, 0);
    return r;
}

// A label sized to our measure of its text, with room for the last letter
// where the system's static control lays text out a little wider.
TRect Widened(TNativeKind kind, const TRect& bounds) {
    if (kind != TNativeKind::Label && kind != TNativeKind::Link) return bounds;
    return {bounds.Left, bounds.Top, bounds.Right + 6, bounds.Bottom};
}

} // namespace

TWin32Platform::TWin32Platform() {
    RegisterClasses();
    wake_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HWND app = CreateWindowExW(0, kAppClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                               GetModuleHandleW(nullptr), this);
    if (app == nullptr) throw EError("Cannot create the application window");
    app_window_ = Id(app);
}

TWin32Platform::~TWin32Platform() {
    while (!windows_.empty())
        DestroyWindow(windows_.begin()->first);
    services_.Shutdown();
    SetWindowLongPtrW(H(app_window_), GWLP_USERDATA, 0);
    ::DestroyWindow(H(app_window_));
    CloseHandle(wake_);
}

// `area` of the bitmap to the same place in `dc`, widened by our own code to
// 32 bits a pixel (the display's format, which every driver copies without
// converting) a band of rows at a time, so the rows stay in the cache
// between widening and copying.
void TWin32Platform::Blit(void* dc, const TBitmap24& bitmap, const TRect& requested) {
    const TRect area{std::max(requested.Left, 0), std::max(requested.Top, 0),
                     std::min(requested.Right, bitmap.Width()),
                     std::min(requested.Bottom, bitmap.Height())};
    if (area.IsEmpty()) return;
    constexpr int kBandBytes = 1 << 20;
    const int width = area.Width();
    const int band_rows = std::max(1, kBandBytes / (width * 4));
    thread_local std::vector<std::uint8_t> band;
    band.resize(static_cast<std::size_t>(width) * 4 * std::min(band_rows, area.Height()));
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    for (int top = area.Top; top < area.Bottom; top += band_rows) {
        const int rows = std::min(band_rows, area.Bottom - top);
        const int bytes = bitmap.PixelBytes();
        for (int y = 0; y < rows; ++y) {
            const std::uint8_t* from = bitmap.Row(top + y) + area.Left * bytes;
            std::uint8_t* to = band.data() + static_cast<std::size_t>(y) * width * 4;
            if (bytes == 4)
                std::memcpy(to, from, static_cast<std::size_t>(width) * 4);
            else
                WidenPixels(from, to, width);
        }
        // A top-down DIB of the band's rows alone.
        info.bmiHeader.biHeight = -rows;
        StretchDIBits(static_cast<HDC>(dc), area.Left, top, width, rows, 0, 0, width, rows,
                      band.data(), &info, DIB_RGB_COLORS, SRCCOPY);
    }
}

TBitmap24 TWin32Platform::Capture(TWindowId window) {
    HWND hwnd = H(window);
    RECT r{};
    GetClientRect(hwnd, &r);
    TBitmap24 shown(r.right, r.bottom);
    if (shown.Empty()) return shown;
    HDC dc = GetDC(hwnd);
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP copy = CreateCompatibleBitmap(dc, r.right, r.bottom);
    HGDIOBJ old = SelectObject(memory, copy);
    BitBlt(memory, 0, 0, r.right, r.bottom, dc, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = r.right;
    info.bmiHeader.biHeight = -r.bottom;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    GetDIBits(memory, copy, 0, r.bottom, shown.Bits(), &info, DIB_RGB_COLORS);
    DeleteObject(copy);
    DeleteDC(memory);
    ReleaseDC(hwnd, dc);
    return shown;
}

std::uint32_t TWin32Platform::TickCount() {
    return GetTickCount();
}

bool TWin32Platform::WaitEvent(TEvent& event, int timeout_ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (!made_.empty()) {
            event = std::move(made_.front());
            made_.pop_front();
            return true;
        }
        MSG msg;
        if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                event = {};
                event.Kind = TEvent::Quit;
                return true;
            }
            // Tab, Enter and Escape among native controls, as in a dialog.
            HWND root = msg.hwnd != nullptr ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
            if (root != nullptr && HasControls(Id(root)) && IsDialogMessageW(root, &msg)) continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
            continue;
        }
        DWORD wait = INFINITE;
        if (timeout_ms >= 0) {
            const int left = timeout_ms - static_cast<int>(GetTickCount() - start);
            if (left <= 0) {
                // A wake that came meanwhile still counts.
                if (WaitForSingleObject(wake_, 0) != WAIT_OBJECT_0) return false;
                event = {};
                event.Kind = TEvent::Wake;
                return true;
            }
            wait = static_cast<DWORD>(left);
        }
        HANDLE handles[] = {wake_};
        const DWORD got =
            MsgWaitForMultipleObjectsEx(1, handles, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (got == WAIT_OBJECT_0) {
            event = {};
            event.Kind = TEvent::Wake;
            return true;
        }
        if (got == WAIT_TIMEOUT) return false;
    }
}

void TWin32Platform::Wake() {
    SetEvent(wake_);
}

void TWin32Platform::WaitWake(int timeout_ms) {
    WaitForSingleObject(wake_, timeout_ms < 0 ? INFINITE : static_cast<DWORD>(timeout_ms));
}

void TWin32Platform::Sleep(std::uint32_t ms) {
    ::Sleep(ms);
}

TWindowId TWin32Platform::CreateWindow(const TWindowParams& params) {
    const RECT r = FrameFor(params);
    HWND hwnd = CreateWindowExW(params.Topmost ? WS_EX_TOPMOST : 0, kFormClass,
                                Widen(params.Caption).c_str(), StyleOf(params), r.left, r.top,
                                r.right - r.left, r.bottom - r.top, nullptr, nullptr,
                                GetModuleHandleW(nullptr), this);
    if (hwnd == nullptr) throw EError("Cannot create a window");
    windows_[Id(hwnd)].Params = params;
    if (params.Visible) ShowWindow(Id(hwnd), true);
    return Id(hwnd);
}

void TWin32Platform::DestroyWindow(TWindowId window) {
    auto it = windows_.find(window);
    if (it == windows_.end()) return;
    SetWindowLongPtrW(H(window), GWLP_USERDATA, 0);
    ::DestroyWindow(H(window));
    if (it->second.Brush != nullptr) DeleteObject(static_cast<HBRUSH>(it->second.Brush));
    FreeSurface(it->second.Surface);
    windows_.erase(it);
    for (auto c = controls_.begin(); c != controls_.end();) {
        if (c->second.Parent != window) {
            ++c;
            continue;
        }
        DeleteObject(static_cast<HFONT>(c->second.Font));
        c = controls_.erase(c);
    }
}

void TWin32Platform::SetWindowBounds(TWindowId window, const TRect& bounds) {
    auto it = windows_.find(window);
    if (it == windows_.end()) return;
    it->second.Params.Bounds = bounds;
    const RECT r = FrameFor(it->second.Params);
    SetWindowPos(H(window), nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void TWin32Platform::ShowWindow(TWindowId window, bool visible) {
    auto it = windows_.find(window);
    if (it == windows_.end()) return;
    it->second.Params.Visible = visible;
    ::ShowWindow(H(window), visible ? SW_SHOW : SW_HIDE);
    if (visible) SetForegroundWindow(H(window));
}

void TWin32Platform::SetWindowBorder(TWindowId window, bool border) {
    auto it = windows_.find(window);
    if (it == windows_.end() || it->second.Params.Border == border) return;
    it->second.Params.Border = border;
    const LONG_PTR visible = GetWindowLongPtrW(H(window), GWL_STYLE) & WS_VISIBLE;
    SetWindowLongPtrW(H(window), GWL_STYLE,
                      static_cast<LONG_PTR>(StyleOf(it->second.Params)) | visible);
    const RECT r = FrameFor(it->second.Params);
    SetWindowPos(H(window), nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void TWin32Platform::SetTopmost(TWindowId window, bool topmost) {
    auto it = windows_.find(window);
    if (it == windows_.end()) return;
    it->second.Params.Topmost = topmost;
    SetWindowPos(H(window), topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void TWin32Platform::SetCaption(TWindowId window, const std::string& caption) {
    if (windows_.count(window) != 0) SetWindowTextW(H(window), Widen(caption).c_str());
}

void TWin32Platform::FreeSurface(TSurface& surface) {
    if (surface.Dc != nullptr) DeleteDC(static_cast<HDC>(surface.Dc));
    if (surface.Bitmap != nullptr) DeleteObject(static_cast<HBITMAP>(surface.Bitmap));
    surface = {};
}

TBitmap24 TWin32Platform::WindowSurface(TWindowId window, int width, int height) {
    auto it = windows_.find(window);
    if (it == windows_.end() || width <= 0 || height <= 0) return {};
    TSurface& surface = it->second.Surface;
    // Copies GDI still has queued read the pixels before they change.
    GdiFlush();
    if (surface.Bits == nullptr || surface.Width != width || surface.Height != height) {
        FreeSurface(surface);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height; // top-down, as our rows lie
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (bitmap == nullptr || bits == nullptr) return {};
        HDC dc = CreateCompatibleDC(nullptr);
        if (dc == nullptr) {
            DeleteObject(bitmap);
            return {};
        }
        SelectObject(dc, bitmap);
        surface = {bitmap, dc, static_cast<std::uint8_t*>(bits), width, height};
    }
    return TBitmap24::View32(surface.Bits, width, height, width * 4);
}

void TWin32Platform::Show(void* dc, const TWindow& window, const TBitmap24& shown,
                          const TRect& area, std::span<const TRect> parts) {
    const TSurface& surface = window.Surface;
    if (shown.IsView() && shown.Bits() == surface.Bits) {
        if (parts.empty()) parts = {&area, 1};
        for (const TRect& part : parts) {
            const TRect a = Intersection(part, {0, 0, surface.Width, surface.Height});
            if (!a.IsEmpty())
                BitBlt(static_cast<HDC>(dc), a.Left, a.Top, a.Width(), a.Height(),
                       static_cast<HDC>(surface.Dc), a.Left, a.Top, SRCCOPY);
        }
        return;
    }
    Blit(dc, shown, area);
}

void TWin32Platform::Present(TWindowId window, const TBitmap24& back_buffer, const TRect& area,
                             std::span<const TRect> parts) {
    auto it = windows_.find(window);
    if (it == windows_.end()) return;
    it->second.Shown = &back_buffer;
    HDC dc = GetDC(H(window));
    Show(dc, it->second, back_buffer, area, parts);
    ReleaseDC(H(window), dc);
    present_log_.Presented(window, area);
}

std::vector<TMonitor> TWin32Platform::Monitors() {
    // GetDpiForMonitor is Windows 8.1's; before it every monitor has the
    // system's DPI.
    using TGetDpiForMonitor = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
    static const auto get_dpi = [] {
        HMODULE shcore = LoadLibraryW(L"shcore.dll");
        return shcore != nullptr ? reinterpret_cast<TGetDpiForMonitor>(reinterpret_cast<void*>(
                                       GetProcAddress(shcore, "GetDpiForMonitor")))
                                 : nullptr;
    }();
    struct TFound {
        std::vector<TMonitor> list;
        TGetDpiForMonitor get_dpi;
        int system_dpi;
        int bits;
    } found{{}, get_dpi, 96, 24};
    if (HDC dc = GetDC(nullptr)) {
        found.system_dpi = GetDeviceCaps(dc, LOGPIXELSY);
        found.bits = GetDeviceCaps(dc, BITSPIXEL) * GetDeviceCaps(dc, PLANES);
        ReleaseDC(nullptr, dc);
    }
    EnumDisplayMonitors(
        nullptr, nullptr,
        [](HMONITOR monitor, HDC, LPRECT, LPARAM data) -> BOOL {
            auto& f = *reinterpret_cast<TFound*>(data);
            MONITORINFO info{sizeof info};
            if (!GetMonitorInfoW(monitor, &info)) return TRUE;
            TMonitor m;
            m.Bounds = {info.rcMonitor.left, info.rcMonitor.top, info.rcMonitor.right,
                        info.rcMonitor.bottom};
            m.Primary = (info.dwFlags & MONITORINFOF_PRIMARY) != 0;
            m.BitsPerPixel = f.bits;
            UINT dpi_x = 0, dpi_y = 0;
            constexpr int kEffectiveDpi = 0;
            m.PixelsPerInch = f.get_dpi != nullptr &&
                                      f.get_dpi(monitor, kEffectiveDpi, &dpi_x, &dpi_y) == S_OK &&
                                      dpi_y > 0
                                  ? static_cast<int>(dpi_y)
                                  : f.system_dpi;
            f.list.push_back(m);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    std::stable_partition(found.list.begin(), found.list.end(),
                          [](const TMonitor& m) { return m.Primary; });
    if (found.list.empty())
        found.list.push_back({{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)},
                              found.system_dpi,
                              true,
                              found.bits});
    found.list.front().Primary = true;
    return found.list;
}

void TWin32Platform::ShowCursor(bool visible) {
    // The system keeps a count; ours is a switch, so only changes count.
    if (visible == cursor_visible_) return;
    cursor_visible_ = visible;
    ::ShowCursor(visible ? TRUE : FALSE);
}

void TWin32Platform::SetCursorShape(TCursorShape shape) {
    cursor_shape_ = shape;
    SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(
                                       shape == TCursorShape::HandPoint ? IDC_HAND : IDC_ARROW)));
}

std::optional<int> TWin32Platform::MessageBox(const std::string& text, const std::string& caption,
                                              int buttons) {
    // Over the topmost saver window, and in front even when another program
    // has the focus.
    return MessageBoxW(GetForegroundWindow(), Widen(text).c_str(), Widen(caption).c_str(),
                       static_cast<UINT>(buttons) | MB_TOPMOST | MB_SETFOREGROUND);
}

bool TWin32Platform::HasControls(TWindowId window) const {
    for (const auto& [id, control] : controls_)
        if (control.Parent == window) return true;
    return false;
}

TWindowId TWin32Platform::CreateNativeControl(TWindowId parent, const TNativeParams& params) {
    auto owner = windows_.find(parent);
    if (owner == windows_.end()) return 0;
    const wchar_t* window_class = L"STATIC";
    DWORD style = WS_CHILD | WS_VISIBLE;
    switch (params.Kind) {
    case TNativeKind::Label:
        style |= SS_LEFT | SS_NOPREFIX;
        break;
    case TNativeKind::Link:
        style |= SS_LEFT | SS_NOPREFIX | SS_NOTIFY;
        break;
    case TNativeKind::CheckBox:
        window_class = L"BUTTON", style |= BS_AUTOCHECKBOX | WS_TABSTOP;
        break;
    case TNativeKind::Button:
        window_class = L"BUTTON", style |= BS_PUSHBUTTON | WS_TABSTOP;
        break;
    case TNativeKind::DefaultButton:
        window_class = L"BUTTON", style |= BS_DEFPUSHBUTTON | WS_TABSTOP;
        break;
    }
    const TRect b = Widened(params.Kind, params.Bounds);
    static int next_id = 100;
    HWND control = CreateWindowExW(0, window_class, Widen(params.Caption).c_str(), style, b.Left,
                                   b.Top, b.Width(), b.Height(), H(parent),
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(next_id++)),
                                   GetModuleHandleW(nullptr), nullptr);
    if (control == nullptr) return 0;
    const TFontSpec& f = params.Font;
    HFONT font = MakeFont(f, params.Kind == TNativeKind::Link);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (owner->second.Brush == nullptr) {
        const std::uint32_t c = owner->second.Params.Color;
        owner->second.Brush = CreateSolidBrush(RGB(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF));
    }
    controls_[Id(control)] = {parent, params.Kind, f.Color, font};
    if (params.Kind == TNativeKind::DefaultButton) SetFocus(control);
    return Id(control);
}

void TWin32Platform::SetNativeText(TWindowId control, const std::string& text) {
    if (controls_.count(control) != 0) SetWindowTextW(H(control), Widen(text).c_str());
}

void TWin32Platform::SetNativeBounds(TWindowId control, const TRect& bounds) {
    auto it = controls_.find(control);
    if (it == controls_.end()) return;
    const TRect b = Widened(it->second.Kind, bounds);
    SetWindowPos(H(control), nullptr, b.Left, b.Top, b.Width(), b.Height(),
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void TWin32Platform::SetNativeFont(TWindowId control, const TFontSpec& f) {
    auto it = controls_.find(control);
    if (it == controls_.end()) return;
    HFONT font = MakeFont(f, it->second.Kind == TNativeKind::Link);
    SendMessageW(H(control), WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    if (it->second.Font != nullptr) DeleteObject(static_cast<HFONT>(it->second.Font));
    it->second.Font = font;
    it->second.TextColor = f.Color;
}

void TWin32Platform::SetNativeChecked(TWindowId control, bool checked) {
    if (controls_.count(control) != 0)
        SendMessageW(H(control), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool TWin32Platform::NativeChecked(TWindowId control) {
    return controls_.count(control) != 0 &&
           SendMessageW(H(control), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

std::intptr_t TWin32Platform::HandleMessage(TWindowId window, unsigned message,
                                            std::uintptr_t wparam, std::intptr_t lparam) {
    auto it = windows_.find(window);
    HWND hwnd = H(window);
    TEvent e;
    e.Window = window;
    auto mouse = [&](TEvent::TKind kind, int button, int x, int y) {
        e.Kind = kind;
        e.Button = button;
        e.X = x;
        e.Y = y;
        e.Shift = ShiftState();
        Queue(e);
        return 0;
    };
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        const TRect area{ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right, ps.rcPaint.bottom};
        if (it != windows_.end() && it->second.Shown != nullptr) {
            Show(dc, it->second, *it->second.Shown, area);
        } else {
            e.Kind = TEvent::Expose;
            e.Area = area;
            Queue(e);
        }
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1; // every pixel comes from the back buffer
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYUP:
        e.Kind =
            message == WM_KEYDOWN || message == WM_SYSKEYDOWN ? TEvent::KeyDown : TEvent::KeyUp;
        e.Key = static_cast<int>(wparam);
        e.Shift = ShiftState();
        Queue(e);
        if (message == WM_SYSKEYDOWN || message == WM_SYSKEYUP) break;
        return 0;
    case WM_LBUTTONDOWN:
        return mouse(TEvent::MouseDown, 0, GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam));
    case WM_RBUTTONDOWN:
        return mouse(TEvent::MouseDown, 1, GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam));
    case WM_MBUTTONDOWN:
        return mouse(TEvent::MouseDown, 2, GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam));
    case WM_LBUTTONUP:
        return mouse(TEvent::MouseUp, 0, GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam));
    case WM_RBUTTONUP:
        return mouse(TEvent::MouseUp, 1, GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam));
    case WM_MBUTTONUP:
        return mouse(TEvent::MouseUp, 2, GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam));
    case WM_MOUSEMOVE:
        return mouse(TEvent::MouseMove, 0, GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam));
    case WM_CLOSE:
        e.Kind = TEvent::CloseRequest;
        Queue(e);
        return 0;
    case WM_DPICHANGED: {
        // Placed where the system suggests; the form lays itself out anew.
        const RECT* r = reinterpret_cast<const RECT*>(lparam);
        SetWindowPos(hwnd, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        RECT client{};
        GetClientRect(hwnd, &client);
        POINT origin{0, 0};
        ClientToScreen(hwnd, &origin);
        e.Kind = TEvent::DpiChanged;
        e.X = LOWORD(wparam);
        e.Area = {origin.x, origin.y, origin.x + client.right, origin.y + client.bottom};
        if (it != windows_.end()) it->second.Params.Bounds = e.Area;
        Queue(e);
        return 0;
    }
    case WM_SIZE:
        if (it != windows_.end() && (LOWORD(lparam) != it->second.Params.Bounds.Width() ||
                                     HIWORD(lparam) != it->second.Params.Bounds.Height())) {
            e.Kind = TEvent::Resized;
            e.X = LOWORD(lparam);
            e.Y = HIWORD(lparam);
            Queue(e);
        }
        return 0;
    case WM_COMMAND: {
        const auto control = controls_.find(static_cast<TWindowId>(lparam));
        const WORD code = HIWORD(wparam);
        if (control != controls_.end() && (code == BN_CLICKED || code == STN_CLICKED)) {
            e.Kind = TEvent::Command;
            e.Control = control->first;
            Queue(e);
        } else if (lparam == 0 && (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL)) {
            // Enter and Escape, as the dialog keyboard handling reports them.
            e.Kind = TEvent::KeyDown;
            e.Key = LOWORD(wparam) == IDOK ? VK_RETURN : VK_ESCAPE;
            Queue(e);
        }
        return 0;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
        const auto control = controls_.find(static_cast<TWindowId>(lparam));
        if (it == windows_.end() || control == controls_.end()) break;
        const std::uint32_t color = control->second.TextColor;
        HDC dc = reinterpret_cast<HDC>(wparam);
        SetTextColor(dc, RGB(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF));
        SetBkMode(dc, TRANSPARENT);
        return reinterpret_cast<LRESULT>(it->second.Brush);
    }
    case WM_SETCURSOR:
        if (controls_.count(static_cast<TWindowId>(wparam)) != 0 &&
            controls_[static_cast<TWindowId>(wparam)].Kind == TNativeKind::Link) {
            SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_HAND)));
            return TRUE;
        }
        if (LOWORD(lparam) == HTCLIENT) {
            if (cursor_visible_) SetCursorShape(cursor_shape_);
            return TRUE;
        }
        break;
    default:
        break;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

} // namespace tevrin
