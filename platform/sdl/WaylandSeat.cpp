// SPDX-License-Identifier: MIT
#include "platform/sdl/WaylandSeat.h"

#include <cstdlib>
#include <cstring>
#include <string_view>
#include <wayland-client.h>

namespace tevrin {

bool WaylandIsChosen() {
    if (const char* forced = std::getenv("SDL_VIDEODRIVER"); forced != nullptr && *forced != 0)
        return std::string_view(forced).starts_with("wayland");
    const char* x = std::getenv("DISPLAY");
    return x == nullptr || *x == 0;
}

std::optional<bool> WaylandHasSeat() {
    wl_display* display = wl_display_connect(nullptr);
    if (display == nullptr) return std::nullopt;
    bool seat = false;
    static const wl_registry_listener listener = {
        [](void* data, wl_registry*, std::uint32_t, const char* interface, std::uint32_t) {
            if (std::strcmp(interface, "wl_seat") == 0) *static_cast<bool*>(data) = true;
        },
        [](void*, wl_registry*, std::uint32_t) {},
    };
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &listener, &seat);
    const bool answered = wl_display_roundtrip(display) >= 0;
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    if (!answered) return std::nullopt;
    return seat;
}

} // namespace tevrin
