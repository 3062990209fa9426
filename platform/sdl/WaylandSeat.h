// SPDX-License-Identifier: MIT
// What SDL cannot be asked before it starts on Wayland: whether the
// compositor has an input seat. SDL's video start-up fails inside SDL on a
// compositor without one, and a saver that no key or mouse reaches must not
// start at all.
#pragma once

#include <optional>

namespace tevrin {

// Whether SDL is to start on Wayland: asked for by SDL_VIDEODRIVER, or the
// only display there is.
bool WaylandIsChosen();

// Whether the compositor at $WAYLAND_DISPLAY announces a seat; nothing when
// it cannot be reached.
std::optional<bool> WaylandHasSeat();

} // namespace tevrin
