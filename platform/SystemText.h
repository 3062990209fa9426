// SPDX-License-Identifier: MIT
// The operating system's own text engine, for the platforms of this system:
// FreeType with fontconfig's fallbacks on Linux (platform/posix), GDI on
// Windows (platform/win32). Which one is linked is the build's choice.
#pragma once

#include "gfx/Text.h"

#include <memory>

namespace tevrin {

std::unique_ptr<TTextEngine> MakeSystemTextEngine();

} // namespace tevrin
