// SPDX-License-Identifier: MIT
// Presenting on Wayland: our frames straight into shared-memory buffers of
// the window's own surface (wl_shm, 32 bits a pixel, the fourth unused),
// as X's shared-memory images take them. SDL has no such surface on
// Wayland: its window surface is a renderer's texture, drawn by a software
// OpenGL where there is no GPU, whole, every frame.
#pragma once

#include "gfx/Bitmap24.h"
#include "gfx/Rect.h"

#include <memory>

namespace tevrin {

class TWaylandSurface {
public:
    // The surface of the SDL window `sdl_window` (an SDL_Window*); nothing
    // when it is no Wayland window or the compositor shares no memory.
    static std::unique_ptr<TWaylandSurface> For(void* sdl_window);
    ~TWaylandSurface();
    TWaylandSurface(const TWaylandSurface&) = delete;
    TWaylandSurface& operator=(const TWaylandSurface&) = delete;

    // Shows `back` (the whole frame, `area` of it changed since the last
    // call) at the window's size `width` x `height`. Raises EDisplayLost
    // when no buffer can be made.
    void Present(const TBitmap24& back, const TRect& area, int width, int height);
    // The window was hidden, and its surface lost what it showed: the next
    // Present shows the whole frame.
    void Reshown();

private:
    struct TImpl;
    explicit TWaylandSurface(std::unique_ptr<TImpl> impl);
    std::unique_ptr<TImpl> impl_;
};

} // namespace tevrin
