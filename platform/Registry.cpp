// SPDX-License-Identifier: MIT
#include "platform/Registry.h"

#include "base/Errors.h"
#include "platform/headless/HeadlessPlatform.h"

#if defined(TEVRIN_HAVE_WIN32)
#include "platform/win32/Win32Platform.h"
#elif defined(TEVRIN_HAVE_SDL)
#include "platform/sdl/EmbedPlatform.h"
#include "platform/sdl/SdlPlatform.h"
#endif

namespace tevrin {
namespace {

std::unique_ptr<TPlatform> MakeHeadless(const TPlatformOptions& o) {
    std::vector<TMonitor> monitors = o.Screens;
    if (monitors.empty())
        monitors.push_back({{0, 0, o.Width > 0 ? o.Width : 640, o.Height > 0 ? o.Height : 360}});
    auto platform = std::make_unique<THeadlessPlatform>(
        std::move(monitors),
        o.RealTime ? THeadlessPlatform::TClock::Real : THeadlessPlatform::TClock::Virtual);
    platform->PixelBytes = o.PixelBytes;
    platform->ReportMessageBoxes = true;
    platform->HashFrames = false; // nothing in a run reads the hashes
    platform->EndOnSignals = true;
    platform->StopAt(static_cast<std::uint32_t>(o.Seconds) * 1000);
    return platform;
}

#if defined(TEVRIN_HAVE_WIN32)
std::unique_ptr<TPlatform> MakeWin32(const TPlatformOptions&) {
    return std::make_unique<TWin32Platform>();
}
#elif defined(TEVRIN_HAVE_SDL)
std::unique_ptr<TPlatform> MakeSdl(const TPlatformOptions& o) {
    if (o.Embed) return std::make_unique<TXEmbedPlatform>(*o.Embed);
    TSdlPlatform::TOptions options;
    options.Windowed = o.Windowed;
    if (o.Width > 0) options.Width = o.Width;
    if (o.Height > 0) options.Height = o.Height;
    return std::make_unique<TSdlPlatform>(options);
}
#endif

constexpr TPlatformEntry kPlatforms[] = {
#if defined(TEVRIN_HAVE_WIN32)
    {"win32", MakeWin32},
#elif defined(TEVRIN_HAVE_SDL)
    {"sdl", MakeSdl},
#endif
    {"headless", MakeHeadless},
};

} // namespace

std::span<const TPlatformEntry> Platforms() {
    return kPlatforms;
}

std::unique_ptr<TPlatform> MakePlatform(std::string_view name, const TPlatformOptions& options) {
    std::string names;
    for (const TPlatformEntry& entry : kPlatforms) {
        if (name == entry.Name) return entry.Make(options);
        names += names.empty() ? "" : ", ";
        names += entry.Name;
    }
    throw EError(msg::kNoSuchPlatform, {name, names});
}

} // namespace tevrin
