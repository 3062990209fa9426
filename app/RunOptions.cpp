// SPDX-License-Identifier: MIT
#include "app/RunOptions.h"

#include "app/CommandLine.h"
#include "base/Sizes.h"
#include "ui/Keys.h"

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

std::optional<std::vector<TRunOptions::TKeyPress>> ParseKeys(const std::string& text) {
    static const std::pair<std::string_view, int> kNames[] = {
        {"right", kVkRight}, {"left", kVkLeft}, {"space", kVkSpace}, {"escape", kVkEscape}};
    std::vector<TRunOptions::TKeyPress> keys;
    std::string_view rest = text;
    while (!rest.empty()) {
        const std::size_t comma = rest.find(',');
        const std::string_view item = rest.substr(0, comma);
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        if (comma != std::string_view::npos && rest.empty()) return std::nullopt;
        const std::size_t colon = item.find(':');
        if (colon == std::string_view::npos) return std::nullopt;
        std::uint32_t at = 0;
        const auto [end, error] = std::from_chars(item.data(), item.data() + colon, at);
        if (error != std::errc() || end != item.data() + colon) return std::nullopt;
        const std::string name = UpperAscii(std::string(item.substr(colon + 1)));
        int key = 0;
        if (name.size() == 1 &&
            ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= '0' && name[0] <= '9'))) {
            key = name[0];
        } else {
            for (const auto& [known, code] : kNames)
                if (name == UpperAscii(std::string(known))) key = code;
            if (key == 0) {
                const auto [number_end, number_error] =
                    std::from_chars(name.data(), name.data() + name.size(), key);
                if (number_error != std::errc() || number_end != name.data() + name.size() ||
                    key <= 0 || key > 255)
                    return std::nullopt;
            }
        }
        keys.push_back({at, key});
    }
    return keys;
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
        } else if (a == "--real-time") {
            o.RealTime = true;
        } else if (a == "--pixel-bytes") {
            if (const std::string* v = value_of("--pixel-bytes")) {
                if (*v == "3" || *v == "4")
                    o.PixelBytes = *v == "4" ? 4 : 3;
                else
                    o.Error = "--pixel-bytes wants 3 or 4";
            }
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
        } else if (a == "--player") {
            o.Player = true;
        } else if (a == "--full-screen") {
            o.FullScreen = true;
        } else if (a == "--keys") {
            if (const std::string* v = value_of("--keys")) {
                if (auto keys = ParseKeys(*v))
                    o.Keys = std::move(*keys);
                else
                    o.Error = "--keys wants MS:KEY,MS:KEY... (KEY: a letter or digit, right, "
                              "left, space, escape or a key code)";
            }
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
