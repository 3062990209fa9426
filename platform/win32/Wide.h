// SPDX-License-Identifier: MIT
// UTF-8, the form of every text in memory, and the system's UTF-16, the form
// of its wide-character calls.
#pragma once

#include <string>
#include <string_view>

namespace tevrin {

std::wstring Widen(std::string_view text);
// Text in the system's ANSI code page, widened.
std::wstring WidenAnsi(std::string_view text);
std::string Narrow(std::wstring_view text);

} // namespace tevrin
