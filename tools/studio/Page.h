// SPDX-License-Identifier: MIT
// The Studio's web page, compiled into the tool: each file's name (as the
// page asks for it), its type and its bytes.
#pragma once

#include <span>
#include <string_view>

namespace tevrin::studio {

struct TPageFile {
    std::string_view Name, Type, Bytes;
};

std::span<const TPageFile> PageFiles();

} // namespace tevrin::studio
