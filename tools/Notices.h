// SPDX-License-Identifier: MIT
// Our licence and the notices of the libraries the tool and the runtime
// contain or load (LICENSE, THIRD-PARTY.md), compiled into the tool.
#pragma once

#include <span>
#include <string_view>

namespace tevrin {

struct TNoticeFile {
    std::string_view Name, Type, Text;
};

// LICENSE, then THIRD-PARTY.md.
std::span<const TNoticeFile> NoticeFiles();

} // namespace tevrin
