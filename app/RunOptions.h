// SPDX-License-Identifier: MIT
// How the runtime shows the saver, apart from its mode: the options that
// choose the platform and the window, taken out of the command line before
// the mode switches are read.
//
//   --platform NAME                              the platform to run on (see
//                                                platform/Registry.h)
//   --platform headless --seconds N --dump DIR   no display, a virtual clock
//   --real-time                                  headless: the wall clock, so
//                                                frames come at their own
//                                                pace, as on a display
//   --pixel-bytes 3|4                            headless: frames drawn in
//                                                3-byte pixels, or in a
//                                                window surface of 4-byte
//                                                ones, as on a display
//   --screens WxH+X+Y,WxH+X+Y...                 its monitors, the first the
//                                                primary (headless only)
//   --window [--size WxH]                        a normal window, not full screen
//   --root, -root                                draw on the root window (on
//                                                the daemon's, when it gives one)
//   --window-id ID, -window-id ID                draw into that X window
//   $XSCREENSAVER_WINDOW                         as --window-id, when the
//                                                mode is the saver's
//   --player [--full-screen] [--size WxH]        the player: a window of
//                                                that size, or full screen
//   --keys MS:KEY,MS:KEY...                      keys pressed at those times
//                                                of a headless run (KEY: a
//                                                letter, right, left, space,
//                                                escape or a key code)
#pragma once

#include "ui/Platform.h"

#include <optional>
#include <string>
#include <vector>

namespace tevrin {

struct TRunOptions {
    // --platform NAME; empty for the build's display platform ("native").
    std::string Platform;
    bool Windowed = false;
    int Width = 0, Height = 0; // --size; 0 when not given
    // --screens: the headless monitors; empty when not given.
    std::vector<TMonitor> Screens;
    // The window to draw the saver in; 0 is the root window.
    std::optional<TWindowId> Embed;
    int Seconds = 30;
    bool RealTime = false;
    int PixelBytes = 3;
    // --player, and --full-screen for it.
    bool Player = false;
    bool FullScreen = false;
    // --keys: virtual key codes and the virtual time they are pressed at.
    struct TKeyPress {
        std::uint32_t At;
        int Key;
    };
    std::vector<TKeyPress> Keys;
    std::string Dump;
    // What is left for the mode switches.
    std::vector<std::string> SaverArgs;
    // Set when an option is malformed; the runtime then ends with it.
    std::string Error;
};

// `daemon_window` is the value of $XSCREENSAVER_WINDOW, or null.
TRunOptions ParseRunOptions(const std::vector<std::string>& args, const char* daemon_window);

// Monitors written as "WxH+X+Y" (X and Y may be negative: "WxH-X+Y"),
// separated by commas, the first the primary; nothing when malformed or
// when two overlap.
std::optional<std::vector<TMonitor>> ParseScreens(const std::string& text);

// Keys written as "MS:KEY" separated by commas; nothing when malformed.
std::optional<std::vector<TRunOptions::TKeyPress>> ParseKeys(const std::string& text);

// An X window id as daemons and tools write it: decimal or 0x hexadecimal.
std::optional<TWindowId> ParseXWindowId(const std::string& text);

} // namespace tevrin
