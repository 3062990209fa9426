// SPDX-License-Identifier: MIT
#include "platform/sdl/XDisplay.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xinerama.h>
#include <X11/extensions/Xrandr.h>
#include <atomic>
#include <cstring>
#include <vector>

namespace tevrin {
namespace {

// Xlib's default handler ends the process on any error; ours records it for
// the connection being trapped and lets every other connection go on.
std::atomic<Display*> g_trapped{nullptr};
std::atomic<bool> g_failed{false};

int TrapError(Display* display, XErrorEvent*) {
    if (display == g_trapped.load()) g_failed = true;
    return 0;
}

Display* D(void* p) {
    return static_cast<Display*>(p);
}

} // namespace

TXDisplay::TXDisplay() {
    display_ = XOpenDisplay(nullptr);
    if (display_ != nullptr) XSetErrorHandler(TrapError);
}

TXDisplay::~TXDisplay() {
    if (display_ == nullptr) return;
    for (auto& [window, target] : targets_)
        if (target.Gc != nullptr) XFreeGC(D(display_), static_cast<GC>(target.Gc));
    XCloseDisplay(D(display_));
}

bool TXDisplay::IsXwayland() {
    if (display_ == nullptr) return false;
    int opcode = 0, event = 0, error = 0;
    if (XQueryExtension(D(display_), "XWAYLAND", &opcode, &event, &error)) return true;
    // Older Xwayland has no extension of its own, but names its outputs so.
    bool named = false;
    Trapped([&] {
        XRRScreenResources* screens =
            XRRGetScreenResourcesCurrent(D(display_), DefaultRootWindow(D(display_)));
        if (screens == nullptr) return;
        for (int i = 0; i < screens->noutput && !named; ++i) {
            XRROutputInfo* output = XRRGetOutputInfo(D(display_), screens, screens->outputs[i]);
            if (output == nullptr) continue;
            named = std::strncmp(output->name, "XWAYLAND", 8) == 0;
            XRRFreeOutputInfo(output);
        }
        XRRFreeScreenResources(screens);
    });
    return named;
}

template <typename F> bool TXDisplay::Trapped(const F& call) {
    if (display_ == nullptr) return false;
    XSync(D(display_), False);
    g_trapped = D(display_);
    g_failed = false;
    call();
    XSync(D(display_), False);
    const bool ok = !g_failed;
    g_trapped = nullptr;
    return ok;
}

TWindowId TXDisplay::Root() {
    return display_ ? static_cast<TWindowId>(DefaultRootWindow(D(display_))) : 0;
}

bool TXDisplay::Exists(TWindowId window) {
    std::lock_guard lock(mutex_);
    XWindowAttributes a;
    Status status = 0;
    return Trapped([&] { status = XGetWindowAttributes(D(display_), window, &a); }) && status != 0;
}

bool TXDisplay::Viewable(TWindowId window) {
    std::lock_guard lock(mutex_);
    XWindowAttributes a;
    Status status = 0;
    return Trapped([&] { status = XGetWindowAttributes(D(display_), window, &a); }) &&
           status != 0 && a.map_state == IsViewable;
}

TRect TXDisplay::ClientRect(TWindowId window) {
    std::lock_guard lock(mutex_);
    XWindowAttributes a;
    Status status = 0;
    if (!Trapped([&] { status = XGetWindowAttributes(D(display_), window, &a); }) || status == 0)
        return {};
    return {0, 0, a.width, a.height};
}

TXDisplay::TTarget& TXDisplay::TargetFor(TWindowId window) {
    auto found = targets_.find(window);
    if (found != targets_.end()) return found->second;
    TTarget& target = targets_[window];
    XWindowAttributes a;
    Status status = 0;
    if (!Trapped([&] { status = XGetWindowAttributes(D(display_), window, &a); }) || status == 0)
        return target;
    const Visual* v = a.visual;
    if ((a.depth != 24 && a.depth != 32) || v->red_mask != 0xFF0000 || v->green_mask != 0xFF00 ||
        v->blue_mask != 0xFF)
        return target;
    GC gc = nullptr;
    if (!Trapped([&] { gc = XCreateGC(D(display_), window, 0, nullptr); }) || gc == nullptr)
        return target;
    target = {a.visual, a.depth, gc, true};
    return target;
}

void TXDisplay::Draw(TWindowId window, const TBitmap24& bitmap, const TRect& requested) {
    std::lock_guard lock(mutex_);
    if (display_ == nullptr) return;
    const TTarget& target = TargetFor(window);
    if (!target.Usable) return;
    // The server clips to the window; only the bitmap bounds the area here.
    const TRect area{std::max(requested.Left, 0), std::max(requested.Top, 0),
                     std::min(requested.Right, bitmap.Width()),
                     std::min(requested.Bottom, bitmap.Height())};
    if (area.IsEmpty()) return;
    const int w = area.Width(), h = area.Height();
    // 32 bits a pixel, blue in the lowest byte: the layout of every 24- and
    // 32-bit true-colour visual with these masks on a little-endian client.
    pixels_.resize(static_cast<std::size_t>(w) * h);
    const std::uint32_t alpha = target.Depth == 32 ? 0xFF000000u : 0;
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* src = bitmap.Row(area.Top + y) + area.Left * 3;
        std::uint32_t* dst = pixels_.data() + static_cast<std::size_t>(y) * w;
        for (int x = 0; x < w; ++x, src += 3)
            dst[x] = alpha | src[2] << 16 | src[1] << 8 | src[0];
    }
    XImage* image =
        XCreateImage(D(display_), static_cast<Visual*>(target.Visual), target.Depth, ZPixmap, 0,
                     reinterpret_cast<char*>(pixels_.data()), w, h, 32, w * 4);
    if (image == nullptr) return;
    image->byte_order = LSBFirst;
    // Not trapped: a window that went meanwhile gives an error our handler
    // passes over, and a frame needs no round trip.
    XPutImage(D(display_), window, static_cast<GC>(target.Gc), image, 0, 0, area.Left, area.Top, w,
              h);
    XFlush(D(display_));
    image->data = nullptr; // the pixels are ours
    XDestroyImage(image);
}

std::pair<int, int> TXDisplay::PointerPosition() {
    std::lock_guard lock(mutex_);
    if (display_ == nullptr) return {0, 0};
    Window root, child;
    int x = 0, y = 0, wx, wy;
    unsigned mask;
    XQueryPointer(D(display_), DefaultRootWindow(D(display_)), &root, &child, &x, &y, &wx, &wy,
                  &mask);
    return {x, y};
}

std::vector<TRect> TXDisplay::XineramaScreens() {
    std::lock_guard lock(mutex_);
    std::vector<TRect> screens;
    if (display_ == nullptr || !XineramaIsActive(D(display_))) return screens;
    int count = 0;
    XineramaScreenInfo* info = XineramaQueryScreens(D(display_), &count);
    for (int i = 0; i < count; ++i)
        screens.push_back({info[i].x_org, info[i].y_org, info[i].x_org + info[i].width,
                           info[i].y_org + info[i].height});
    if (info != nullptr) XFree(info);
    return screens;
}

void TXDisplay::Watch(TWindowId window) {
    std::lock_guard lock(mutex_);
    Trapped([&] {
        XWindowAttributes a;
        if (XGetWindowAttributes(D(display_), window, &a) == 0) return;
        // Adds to what this connection already selects; other clients'
        // selections on the window are theirs and stay as they are.
        XSelectInput(D(display_), window, a.your_event_mask | StructureNotifyMask | ExposureMask);
    });
}

int TXDisplay::Descriptor() {
    return display_ ? ConnectionNumber(D(display_)) : -1;
}

bool TXDisplay::NextChange(TChange& change) {
    std::lock_guard lock(mutex_);
    if (display_ == nullptr) return false;
    while (XPending(D(display_)) > 0) {
        XEvent e;
        XNextEvent(D(display_), &e);
        switch (e.type) {
        case ConfigureNotify:
            change = {TChange::Resized, {0, 0, e.xconfigure.width, e.xconfigure.height}};
            return true;
        case Expose:
            change = {TChange::Exposed,
                      {e.xexpose.x, e.xexpose.y, e.xexpose.x + e.xexpose.width,
                       e.xexpose.y + e.xexpose.height}};
            return true;
        case DestroyNotify:
            change = {TChange::Destroyed, {}};
            return true;
        default:
            break;
        }
    }
    return false;
}

} // namespace tevrin
