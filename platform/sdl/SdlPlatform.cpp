// SPDX-License-Identifier: MIT
#include "platform/sdl/SdlPlatform.h"

#include "base/Errors.h"
#include "base/System.h"
#include "gfx/Copy.h"
#include "platform/PresentLog.h"
#include "platform/sdl/WaylandSeat.h"
#include "platform/sdl/WaylandSurface.h"
#include "platform/sdl/XDisplay.h"

#include <SDL2/SDL.h>
#include <atomic>
#include <deque>
#include <filesystem>
#include <map>
#include <optional>
#include <string_view>
#include <vector>

namespace tevrin {

struct TSdlPlatform::TImpl {
    TPresentLog present_log;

    struct TWindow {
        SDL_Window* Window = nullptr;
        // Something was presented: the window's surface holds it, so an
        // exposure is repainted from there.
        bool Presented = false;
        TWindowParams Params;
        // Not on X: where the pointer was last seen in the window, and
        // whether that is known since the window last appeared under the
        // pointer or was laid out again.
        bool PointerKnown = false;
        int PointerX = 0, PointerY = 0;
        // On Wayland: the window's own surface, presented to directly.
        std::unique_ptr<TWaylandSurface> Surface;
    };

    TOptions options;
    // SDL draws through X: the pointer is asked of the server and the
    // monitors of Xinerama. Elsewhere (Wayland) SDL's events and displays
    // are all there is, and the pointer is known only inside our windows.
    bool x11 = false;
    // Not on X: the pointer on the desktop as the user moved it, summed from
    // its moves inside the windows that cover a monitor.
    std::optional<std::pair<int, int>> pointer;
    std::uint32_t wake_type = 0;
    std::atomic<bool> wake_pushed{false};
    std::map<TWindowId, TWindow> windows;
    // Events made here, delivered before the next SDL event.
    std::deque<TEvent> made;
    SDL_Cursor* hand = nullptr;
    SDL_Cursor* arrow = nullptr;

    // Our own connection to the X server, opened when first asked: for what
    // SDL does not tell (Xinerama's monitors, the pointer after a warp).
    std::unique_ptr<TXDisplay> x;
    TXDisplay& X() {
        if (!x) x = std::make_unique<TXDisplay>();
        return *x;
    }

    // Whether SDL itself sees each monitor: a full-screen request then
    // fills the one a window is on. Where only Xinerama tells them apart,
    // SDL's one display spans them all and windows are placed by hand.
    bool sdl_sees_monitors = true;
    // Read once: a saver run does not follow monitors coming and going.
    std::vector<TMonitor> monitors;

    const std::vector<TMonitor>& Monitors() {
        if (monitors.empty()) monitors = ReadMonitors();
        return monitors;
    }
    std::vector<TMonitor> ReadMonitors() {
        if (options.Windowed) return {{{0, 0, options.Width, options.Height}, 96, true}};
        std::vector<TMonitor> list;
        for (int i = 0; i < SDL_GetNumVideoDisplays(); ++i) {
            SDL_Rect r;
            if (SDL_GetDisplayBounds(i, &r) == 0)
                list.push_back({{r.x, r.y, r.x + r.w, r.y + r.h}, 96, list.empty()});
        }
        sdl_sees_monitors = true;
        if (list.size() <= 1 && x11) {
            const std::vector<TRect> screens = X().XineramaScreens();
            if (screens.size() > 1) {
                list.clear();
                for (const TRect& screen : screens)
                    list.push_back({screen, 96, list.empty()});
                sdl_sees_monitors = false;
            }
        }
        if (list.empty()) list.push_back({{0, 0, 640, 480}, 96, true});
        return list;
    }
    // The monitor a window's bounds cover exactly, if any.
    bool CoversMonitor(const TRect& bounds) {
        for (const TMonitor& m : Monitors())
            if (m.Bounds == bounds) return true;
        return false;
    }
    TWindow* Find(TWindowId id) {
        auto it = windows.find(id);
        return it == windows.end() ? nullptr : &it->second;
    }

    // Full-screen on the primary display, a normal window when windowed, or
    // at its place on the primary display.
    void Place(TWindow& w) {
        const TRect& b = w.Params.Bounds;
        const bool covers = CoversMonitor(b);
        const bool full = covers && !options.Windowed && !w.Params.Border && sdl_sees_monitors;
        if (!full) SDL_SetWindowFullscreen(w.Window, 0);
        SDL_SetWindowSize(w.Window, std::max(b.Width(), 1), std::max(b.Height(), 1));
        if (options.Windowed) {
            SDL_SetWindowBordered(w.Window, covers || w.Params.Border ? SDL_TRUE : SDL_FALSE);
            // The saver's own window has no caption; framed, it is named
            // after the saver file, as a desktop's window list shows it.
            if (covers && w.Params.Caption.empty())
                SDL_SetWindowTitle(
                    w.Window, std::filesystem::path(ModuleFileName()).filename().string().c_str());
            SDL_SetWindowPosition(w.Window, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
        } else {
            SDL_SetWindowPosition(w.Window, b.Left, b.Top);
        }
        // Placed by hand first: without a window manager nobody acts on the
        // full-screen request, with one it also hides panels and docks.
        if (full) SDL_SetWindowFullscreen(w.Window, SDL_WINDOW_FULLSCREEN_DESKTOP);
    }

    // Repaints from what was presented; a Wayland compositor keeps that.
    void Show(TWindow& w) {
        if (w.Presented && !w.Surface) SDL_UpdateWindowSurface(w.Window);
    }

    static std::uint8_t Shift(std::uint16_t mod, std::uint32_t buttons) {
        std::uint8_t s = 0;
        if (mod & KMOD_SHIFT) s |= ssShift;
        if (mod & KMOD_ALT) s |= ssAlt;
        if (mod & KMOD_CTRL) s |= ssCtrl;
        if (buttons & SDL_BUTTON_LMASK) s |= ssLeft;
        if (buttons & SDL_BUTTON_RMASK) s |= ssRight;
        return s;
    }

    // Where the pointer is on the desktop, asked of the server: SDL's own
    // answer is only renewed by raw device motion, so it misses a pointer
    // that another program warped.
    std::pair<int, int> GlobalPointer() {
        if (x11 && X().Valid()) return X().PointerPosition();
        int gx, gy;
        SDL_GetGlobalMouseState(&gx, &gy);
        return {gx, gy};
    }
    // X reports a crossing into a window with the window's place at that
    // time, and a window may move between a move's making and its handling;
    // where the pointer is now is always true.
    void PointerNow(TEvent& move) {
        TWindow* w = Find(move.Window);
        if (w == nullptr) return;
        int wx, wy;
        const auto [gx, gy] = GlobalPointer();
        SDL_GetWindowPosition(w->Window, &wx, &wy);
        move.X = gx - wx;
        move.Y = gy - wy;
    }

    // A window that moves or grows under a resting pointer reports where
    // the pointer now is in it, as the classic platform does: a mouse-move
    // rule must not compare with a place from before the move.
    void PointerMovedOver(TWindow& w, TWindowId id) {
        if (!x11) {
            // The compositor tells the pointer's place in the new layout
            // with the next move; only moves after that are the user's.
            w.PointerKnown = false;
            return;
        }
        int wx, wy, ww, wh;
        const std::uint32_t buttons = SDL_GetGlobalMouseState(nullptr, nullptr);
        const auto [gx, gy] = GlobalPointer();
        SDL_GetWindowPosition(w.Window, &wx, &wy);
        SDL_GetWindowSize(w.Window, &ww, &wh);
        if (gx < wx || gy < wy || gx >= wx + ww || gy >= wy + wh) return;
        // Where it is inside is filled in as the move is handled.
        TEvent move;
        move.Kind = TEvent::MouseMove;
        move.Window = id;
        move.Shift = Shift(SDL_GetModState(), buttons);
        made.push_back(move);
    }

    // A move in a window that covers a monitor, in the desktop's
    // coordinates from the user's own moves: the first place a window sees
    // (where it appeared under a resting pointer, or where a new layout put
    // the pointer) only sets where the sums start in it, so nothing but the
    // user's moving the mouse moves it. Other windows (dialogs) keep the
    // places the compositor tells.
    void FollowPointer(TEvent& move) {
        TWindow* w = Find(move.Window);
        if (w == nullptr || !CoversMonitor(w->Params.Bounds)) return;
        const TRect& b = w->Params.Bounds;
        if (!w->PointerKnown) {
            w->PointerKnown = true;
            if (!pointer) pointer = {b.Left + move.X, b.Top + move.Y};
        } else {
            pointer->first += move.X - w->PointerX;
            pointer->second += move.Y - w->PointerY;
        }
        w->PointerX = move.X;
        w->PointerY = move.Y;
        move.X = pointer->first - b.Left;
        move.Y = pointer->second - b.Top;
    }

    // False for events that mean nothing to the framework (or that were
    // handled here, as a repaint from the texture).
    bool Translate(const SDL_Event& e, TEvent& event) {
        event = {};
        switch (e.type) {
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            event.Kind = e.type == SDL_KEYDOWN ? TEvent::KeyDown : TEvent::KeyUp;
            event.Window = e.key.windowID;
            event.Key = VirtualKey(e.key.keysym.sym);
            event.Shift = Shift(e.key.keysym.mod, SDL_GetMouseState(nullptr, nullptr));
            return true;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            event.Kind = e.type == SDL_MOUSEBUTTONDOWN ? TEvent::MouseDown : TEvent::MouseUp;
            event.Window = e.button.windowID;
            event.X = e.button.x;
            event.Y = e.button.y;
            event.Button = e.button.button == SDL_BUTTON_RIGHT    ? 1
                           : e.button.button == SDL_BUTTON_MIDDLE ? 2
                                                                  : 0;
            event.Shift = Shift(SDL_GetModState(), SDL_GetMouseState(nullptr, nullptr));
            return true;
        case SDL_MOUSEMOTION:
            event.Kind = TEvent::MouseMove;
            event.Window = e.motion.windowID;
            event.X = e.motion.x;
            event.Y = e.motion.y;
            event.Shift = Shift(SDL_GetModState(), e.motion.state);
            if (x11)
                PointerNow(event);
            else
                FollowPointer(event);
            return true;
        case SDL_WINDOWEVENT: {
            event.Window = e.window.windowID;
            TWindow* w = Find(event.Window);
            if (w == nullptr) return false;
            switch (e.window.event) {
            case SDL_WINDOWEVENT_EXPOSED:
                if (w->Presented) {
                    Show(*w);
                    return false;
                }
                event.Kind = TEvent::Expose;
                event.Area = {0, 0, w->Params.Bounds.Width(), w->Params.Bounds.Height()};
                return true;
            case SDL_WINDOWEVENT_MOVED:
                PointerMovedOver(*w, event.Window);
                return false;
            case SDL_WINDOWEVENT_SIZE_CHANGED:
                event.Kind = TEvent::Resized;
                event.X = e.window.data1;
                event.Y = e.window.data2;
                PointerMovedOver(*w, event.Window);
                return true;
            case SDL_WINDOWEVENT_CLOSE:
                event.Kind = TEvent::CloseRequest;
                return true;
            case SDL_WINDOWEVENT_ENTER:
            case SDL_WINDOWEVENT_LEAVE:
                w->PointerKnown = false;
                return false;
            default:
                return false;
            }
        }
        default:
            return false;
        }
    }
};

TSdlPlatform::TSdlPlatform(const TOptions& options) : impl_(std::make_unique<TImpl>()) {
    impl_->options = options;
    // Monitor sleep and the desktop's own locker keep working while we show.
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    // Signals are ours (LinuxPlatform), so a SIGTERM cleans up like a key.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    // A compositor without a seat makes SDL's start-up fail inside SDL.
    if (WaylandIsChosen() && WaylandHasSeat() == false) throw EError(msg::kNoWaylandSeat);
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) throw EError(msg::kNoDisplay, {SDL_GetError()});
    const char* chosen = SDL_GetCurrentVideoDriver();
    const std::string_view driver = chosen != nullptr ? chosen : "";
    // Where there is no display SDL falls back to drivers that show nothing
    // (and one may be asked for by name): nobody would see the show.
    if (driver == "offscreen" || driver == "dummy") {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        throw EError(msg::kNoVisibleDisplay, {std::string(driver)});
    }
    impl_->x11 = driver == "x11";
    // On X, window surfaces through the display's own shared-memory images,
    // not through a renderer (a software OpenGL where there is no GPU). On
    // Wayland windows present to their own surfaces (TWaylandSurface); SDL's
    // window surface, a renderer's texture there, only where the compositor
    // shares no memory. Read when the first surface is made.
    if (impl_->x11) SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    impl_->wake_type = SDL_RegisterEvents(1);
    impl_->hand = SDL_CreateSystemCursor(SDL_SYSTEM_CURSOR_HAND);
    impl_->arrow = SDL_CreateSystemCursor(SDL_SYSTEM_CURSOR_ARROW);
}

TSdlPlatform::~TSdlPlatform() {
    for (auto& [id, w] : impl_->windows) {
        SDL_DestroyWindow(w.Window);
    }
    SDL_FreeCursor(impl_->hand);
    SDL_FreeCursor(impl_->arrow);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

void TSdlPlatform::Interrupt() {
    if (impl_->wake_pushed.exchange(true)) return;
    SDL_Event e{};
    e.type = impl_->wake_type;
    // A full queue wakes the waiter anyway; the next wake must push again.
    if (SDL_PushEvent(&e) != 1) impl_->wake_pushed = false;
}

bool TSdlPlatform::WaitEvent(TEvent& event, int timeout_ms) {
    const std::uint32_t start = SDL_GetTicks();
    for (;;) {
        if (TakePending(event)) return true;
        if (!impl_->made.empty()) {
            event = impl_->made.front();
            impl_->made.pop_front();
            if (event.Kind == TEvent::MouseMove) impl_->PointerNow(event);
            return true;
        }
        SDL_Event e;
        int got;
        if (timeout_ms < 0) {
            got = SDL_WaitEvent(&e);
        } else {
            const int left = timeout_ms - static_cast<int>(SDL_GetTicks() - start);
            got = left <= 0 ? SDL_PollEvent(&e) : SDL_WaitEventTimeout(&e, left);
        }
        if (got == 0) return TakePending(event);
        if (e.type == impl_->wake_type) {
            impl_->wake_pushed = false;
            continue;
        }
        if (impl_->Translate(e, event)) return true;
    }
}

TWindowId TSdlPlatform::CreateWindow(const TWindowParams& params) {
    std::uint32_t flags = SDL_WINDOW_HIDDEN;
    if (!params.Border) flags |= SDL_WINDOW_BORDERLESS;
    if (params.Topmost) flags |= SDL_WINDOW_ALWAYS_ON_TOP;
    SDL_Window* window = SDL_CreateWindow(
        params.Caption.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
        std::max(params.Bounds.Width(), 1), std::max(params.Bounds.Height(), 1), flags);
    if (window == nullptr) throw EDisplayLost(msg::kCannotCreateWindow, {SDL_GetError()});
    const TWindowId id = SDL_GetWindowID(window);
    TImpl::TWindow& w = impl_->windows[id];
    w.Window = window;
    w.Params = params;
    if (!impl_->x11) w.Surface = TWaylandSurface::For(window);
    impl_->Place(w);
    if (params.Visible) ShowWindow(id, true);
    return id;
}

void TSdlPlatform::DestroyWindow(TWindowId window) {
    TImpl::TWindow* w = impl_->Find(window);
    if (w == nullptr) return;
    SDL_DestroyWindow(w->Window);
    impl_->windows.erase(window);
}

void TSdlPlatform::SetWindowBounds(TWindowId window, const TRect& bounds) {
    TImpl::TWindow* w = impl_->Find(window);
    if (w == nullptr || w->Params.Bounds == bounds) return;
    w->Params.Bounds = bounds;
    impl_->Place(*w);
}

void TSdlPlatform::ShowWindow(TWindowId window, bool visible) {
    TImpl::TWindow* w = impl_->Find(window);
    if (w == nullptr) return;
    w->Params.Visible = visible;
    if (!visible) {
        SDL_HideWindow(w->Window);
        return;
    }
    SDL_ShowWindow(w->Window);
    SDL_RaiseWindow(w->Window);
    if (w->Surface) w->Surface->Reshown();
}

void TSdlPlatform::SetWindowBorder(TWindowId window, bool border) {
    TImpl::TWindow* w = impl_->Find(window);
    if (w == nullptr || w->Params.Border == border) return;
    w->Params.Border = border;
    SDL_SetWindowBordered(w->Window, border ? SDL_TRUE : SDL_FALSE);
    impl_->Place(*w);
}

void TSdlPlatform::SetTopmost(TWindowId window, bool topmost) {
    if (TImpl::TWindow* w = impl_->Find(window)) {
        w->Params.Topmost = topmost;
        SDL_SetWindowAlwaysOnTop(w->Window, topmost ? SDL_TRUE : SDL_FALSE);
        if (topmost && w->Params.Visible) SDL_RaiseWindow(w->Window);
    }
}

void TSdlPlatform::SetCaption(TWindowId window, const std::string& caption) {
    if (TImpl::TWindow* w = impl_->Find(window)) SDL_SetWindowTitle(w->Window, caption.c_str());
}

TBitmap24 TSdlPlatform::WindowSurface(TWindowId window, int width, int height) {
    // X's shared-memory image behind SDL's window surface, where its pixels
    // lie as ours do in 4 bytes (blue, green, red, pad). Wayland windows
    // keep their own surfaces (TWaylandSurface), fed from a back buffer.
    TImpl::TWindow* w = impl_->Find(window);
    if (w == nullptr || w->Surface || SDL_BYTEORDER != SDL_LIL_ENDIAN) return {};
    SDL_Surface* surface = SDL_GetWindowSurface(w->Window);
    if (surface == nullptr || SDL_MUSTLOCK(surface) || surface->w != width || surface->h != height)
        return {};
    const std::uint32_t format = surface->format->format;
    if (format != SDL_PIXELFORMAT_RGB888 && format != SDL_PIXELFORMAT_ARGB8888) return {};
    return TBitmap24::View32(static_cast<std::uint8_t*>(surface->pixels), width, height,
                             surface->pitch);
}

void TSdlPlatform::Present(TWindowId window, const TBitmap24& back, const TRect& area,
                           std::span<const TRect> parts) {
    TImpl::TWindow* w = impl_->Find(window);
    if (w == nullptr || back.Width() == 0 || back.Height() == 0) return;
    if (back.IsView()) {
        // The frame was composed in the window's surface: the server is
        // only told which parts changed.
        const TRect frame{0, 0, back.Width(), back.Height()};
        const TRect a = Intersection(area, frame);
        if (a.IsEmpty()) return;
        if (parts.empty()) parts = {&a, 1};
        std::vector<SDL_Rect> rects;
        for (const TRect& part : parts)
            if (const TRect p = Intersection(part, frame); !p.IsEmpty())
                rects.push_back({p.Left, p.Top, p.Width(), p.Height()});
        SDL_UpdateWindowSurfaceRects(w->Window, rects.data(), static_cast<int>(rects.size()));
        w->Presented = true;
        impl_->present_log.Presented(window, a);
        return;
    }
    // The window's own surface, in the display's pixel format: only the
    // changed rectangle is converted into it and sent to the server. (A
    // renderer's texture would be converted and uploaded whole, and without
    // a GPU drawn by a software OpenGL besides.) The surface follows the
    // window's size, which may lag the back buffer's during a resize: the
    // common part is shown, and the resize repaints the rest.
    if (w->Surface) {
        int width = 0, height = 0;
        SDL_GetWindowSize(w->Window, &width, &height);
        const TRect a = w->Presented ? area : TRect{0, 0, back.Width(), back.Height()};
        w->Surface->Present(back, a, width, height);
        w->Presented = true;
        impl_->present_log.Presented(window, Intersection(a, {0, 0, width, height}));
        return;
    }
    SDL_Surface* surface = SDL_GetWindowSurface(w->Window);
    if (surface == nullptr) throw EDisplayLost(msg::kNoWindowSurface, {SDL_GetError()});
    TRect a = w->Presented ? area : TRect{0, 0, back.Width(), back.Height()};
    a = {std::max(a.Left, 0), std::max(a.Top, 0), std::min({a.Right, back.Width(), surface->w}),
         std::min({a.Bottom, back.Height(), surface->h})};
    if (a.IsEmpty()) return;
    if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0) return;
    auto* target = static_cast<std::uint8_t*>(surface->pixels) +
                   static_cast<std::ptrdiff_t>(a.Top) * surface->pitch +
                   a.Left * surface->format->BytesPerPixel;
    const std::uint32_t format = surface->format->format;
    if (SDL_BYTEORDER == SDL_LIL_ENDIAN &&
        (format == SDL_PIXELFORMAT_RGB888 || format == SDL_PIXELFORMAT_ARGB8888)) {
        // Blue, green, red, pad in memory: our rows widened, the common case.
        for (int y = 0; y < a.Height(); ++y)
            WidenPixels(back.Row(a.Top + y) + a.Left * 3, target + y * surface->pitch, a.Width());
    } else {
        SDL_ConvertPixels(a.Width(), a.Height(), SDL_PIXELFORMAT_BGR24,
                          back.Row(a.Top) + a.Left * 3, back.Stride(), format, target,
                          surface->pitch);
    }
    if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
    const SDL_Rect r{a.Left, a.Top, a.Width(), a.Height()};
    SDL_UpdateWindowSurfaceRects(w->Window, &r, 1);
    w->Presented = true;
    impl_->present_log.Presented(window, a);
}

std::vector<TMonitor> TSdlPlatform::Monitors() {
    return impl_->Monitors();
}

void TSdlPlatform::ShowCursor(bool visible) {
    SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE);
}

void TSdlPlatform::SetCursorShape(TCursorShape shape) {
    SDL_Cursor* cursor = shape == TCursorShape::HandPoint ? impl_->hand : impl_->arrow;
    if (cursor != nullptr) SDL_SetCursor(cursor);
}

int TSdlPlatform::VirtualKey(int key) {
    if (key >= SDLK_a && key <= SDLK_z) return 'A' + (key - SDLK_a);
    if (key >= SDLK_0 && key <= SDLK_9) return key;
    if (key >= SDLK_F1 && key <= SDLK_F12) return 0x70 + (key - SDLK_F1);
    switch (key) {
    case SDLK_BACKSPACE:
        return 8;
    case SDLK_TAB:
        return 9;
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
        return 13;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT:
        return 16;
    case SDLK_LCTRL:
    case SDLK_RCTRL:
        return 17;
    case SDLK_LALT:
    case SDLK_RALT:
        return 18;
    case SDLK_PAUSE:
        return 19;
    case SDLK_CAPSLOCK:
        return 20;
    case SDLK_ESCAPE:
        return 27;
    case SDLK_SPACE:
        return 32;
    case SDLK_PAGEUP:
        return 33;
    case SDLK_PAGEDOWN:
        return 34;
    case SDLK_END:
        return 35;
    case SDLK_HOME:
        return 36;
    case SDLK_LEFT:
        return 37;
    case SDLK_UP:
        return 38;
    case SDLK_RIGHT:
        return 39;
    case SDLK_DOWN:
        return 40;
    case SDLK_INSERT:
        return 45;
    case SDLK_DELETE:
        return 46;
    case SDLK_LGUI:
        return 91;
    case SDLK_RGUI:
        return 92;
    default:
        return 0xFF; // a key with no code of its own still counts as a key
    }
}

} // namespace tevrin
