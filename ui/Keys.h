// SPDX-License-Identifier: MIT
// The virtual key codes every platform delivers in TEvent::Key (the
// system's own on Windows; the others translate theirs to these). Letters
// and digits are their upper-case ASCII codes.
#pragma once

namespace tevrin {

inline constexpr int kVkEscape = 27;
inline constexpr int kVkSpace = 32;
inline constexpr int kVkLeft = 37;
inline constexpr int kVkRight = 39;

} // namespace tevrin
