// SPDX-License-Identifier: MIT
#include "platform/win32/Wide.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace tevrin {

namespace {

std::wstring WidenFrom(UINT code_page, std::string_view text) {
    if (text.empty()) return {};
    const int n =
        MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

} // namespace

std::wstring Widen(std::string_view text) {
    return WidenFrom(CP_UTF8, text);
}
std::wstring WidenAnsi(std::string_view text) {
    return WidenFrom(CP_ACP, text);
}

std::string Narrow(std::wstring_view text) {
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

} // namespace tevrin
