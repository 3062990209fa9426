// SPDX-License-Identifier: MIT
#include "app/RunOptions.h"

#include "app/CommandLine.h"
#include "base/Sizes.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>

namespace tevrin {

std::optional<TWindowId> ParseXWindowId(const std::string& text) {
    if (text.empty() || text[0] == '-' || text[0] == '+') return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(text.c_str(), &end, 0);
    // X ids are 29 bits; anything wider is not one.
    if (errno != 0 || *end != 0 || value == 0 || value > 0x1FFFFFFFull) return std::nullopt;
    return static_cast<TWindowId>(value);
}

std::optional<std::vector<TMonitor>> ParseScreens(const std::string& text) {
    std::vector<TMonitor> monitors;
    std::string_view rest = text;
    auto take_offset = [&](int& value) {
        if (rest.empty() || (rest.front() != '+' && rest.front() != '-')) return false;
        const bool negative = rest.front() == '-';
        rest.remove_prefix(1);
        const auto [next, error] = std::from_chars(rest.data(), rest.data() + rest.size(), value);
        if (error != std::errc() || value < 0 || value > 65535) return false;
        rest.remove_prefix(static_cast<std::size_t>(next - rest.data()));
        if (negative) value = -value;
        return true;
    };
    for (;;) {
        const std::optional<TSize> size = TakeSize(rest, 16);
        int x = 0, y = 0;
        if (!size || !take_offset(x) || !take_offset(y)) return std::nullopt;
        const TRect bounds{x, y, x + size->Width, y + size->Height};
        for (const TMonitor& m : monitors)
            if (std::max(m.Bounds.Left, bounds.Left) < std::min(m.Bounds.Right, bounds.Right) &&
                std::max(m.Bounds.Top, bounds.Top) < std::min(m.Bounds.Bottom, bounds.Bottom))
                return std::nullopt;
        monitors.push_back({bounds, 96, monitors.empty()});
        if (rest.empty()) return monitors;
        if (rest.front() != ',') return std::nullopt;
        rest.remove_prefix(1);
    }
}

TRunOptions ParseRunOptions(const std::vector<std::string>& args, const char* daemon_window) {
    TRunOptions o;
    bool root = false;
    std::optional<TWindowId> window_id;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool has_value = i + 1 < args.size();
        auto value_of = [&](const char* name) -> const std::string* {
            if (has_value) return &args[++i];
            o.Error = std::string(name) + " needs a value";
            return nullptr;
        };
        if (a == "--platform") {
            if (const std::string* v = value_of("--platform"))
                o.Platform = *v == "native" ? "" : *v;
        } else if (a == "--seconds") {
            if (const std::string* v = value_of("--seconds"))
                o.Seconds = std::max(1, std::atoi(v->c_str()));
        } else if (a == "--dump") {
            if (const std::string* v = value_of("--dump")) o.Dump = *v;
        } else if (a == "--size") {
            if (const std::string* v = value_of("--size")) {
                if (const std::optional<TSize> size = ParseSize(*v, 16)) {
                    o.Width = size->Width;
                    o.Height = size->Height;
                } else {
                    o.Error = "--size wants WIDTHxHEIGHT, each at least 16";
                }
            }
        } else if (a == "--screens") {
            if (const std::string* v = value_of("--screens")) {
                if (auto screens = ParseScreens(*v))
                    o.Screens = std::move(*screens);
                else
                    o.Error = "--screens wants WxH+X+Y,WxH+X+Y... of monitors side by side, "
                              "each at least 16x16";
            }
        } else if (a == "--window") {
            o.Windowed = true;
        } else if (a == "--root" || a == "-root") {
            root = true;
        } else if (a == "--window-id" || a == "-window-id") {
            if (const std::string* v = value_of("--window-id")) {
                window_id = ParseXWindowId(*v);
                if (!window_id) o.Error = "not a window id: " + *v;
            }
        } else {
            o.SaverArgs.push_back(a);
        }
        if (!o.Error.empty()) return o;
    }
    // A daemon's window stands in for the root window, as it does for every
    // hack: the daemon asks for --root and means its own window.
    std::optional<TWindowId> daemon;
    if (daemon_window != nullptr && *daemon_window != 0) daemon = ParseXWindowId(daemon_window);
    const std::vector<std::string> saver_switch{"/S"};
    const bool saver_mode =
        ParseCommandLine(o.SaverArgs.empty() ? saver_switch : o.SaverArgs).Mode == smSaver;
    if (window_id)
        o.Embed = window_id;
    else if (daemon && saver_mode)
        o.Embed = daemon;
    else if (root)
        o.Embed = 0;
    // A daemon starts its savers without switches, and a window is asked
    // for to watch the show: without switches these are the saver.
    if (o.Embed || o.Platform == "headless" || o.Windowed) {
        if (o.SaverArgs.empty()) o.SaverArgs.push_back("/S");
    }
    return o;
}

} // namespace tevrin
