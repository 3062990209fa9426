// SPDX-License-Identifier: MIT
// What the saver asks of its platform beyond windows and time: sound,
// movies, the instance guard, the shell, the registry, system libraries, the
// saver-running flag, an input hook and windows of other processes. Each
// platform implements TServices; the headless one records every call and
// answers as a test scripts it.
#pragma once

#include "gfx/Bitmap24.h"
#include "gfx/Rect.h"
#include "ui/Platform.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tevrin {

// How a played sound ended, as the media player's notice reports it.
enum class TNotifyValue { nvSuccessful, nvSuperseded, nvAborted, nvFailure };

// One open sound; the device is chosen by the platform from the file.
class TMediaDevice {
public:
    virtual ~TMediaDevice() = default;
    // Starts playing; `ended` is called on the interface thread (through the
    // message loop) when playing ends, fails or is stopped.
    virtual void Play(std::function<void(TNotifyValue)> ended) = 0;
    virtual void Stop() = 0;
};

// The movie player control, hosted in a window of ours.
class TMoviePlayerControl {
public:
    virtual ~TMoviePlayerControl() = default;
    virtual void SetMovie(const std::string& path) = 0;
    virtual void Play() = 0;
    virtual void Stop() = 0;
    virtual int TotalFrames() = 0;
    virtual int CurrentFrame() = 0;
    virtual void SetBounds(const TRect& bounds) = 0;
    virtual void SetVisible(bool visible) = 0;
};

// Input seen by a system-wide hook: key and mouse events of any window.
using TInputHook = std::function<void(const TEvent& event)>;

class TServices {
public:
    virtual ~TServices() = default;

    // Opens a sound file; null when no device takes it.
    virtual std::unique_ptr<TMediaDevice> OpenMedia(const std::string& path) = 0;
    // Creates the movie player control inside `window`; null when the
    // control is not installed.
    virtual std::unique_ptr<TMoviePlayerControl> CreateMoviePlayer(TWindowId window) = 0;

    // Takes the named instance guard for the life of the process; false when
    // another process holds it.
    virtual bool AcquireInstanceGuard(const std::string& name) = 0;
    // Opens a document, address or mail link with the shell; no result.
    virtual void ShellOpen(TWindowId parent, const std::string& target) = 0;
    // Whether the system has a folder picker for ChooseFolder.
    virtual bool HasFolderPicker() { return false; }
    // The system's folder picker, owned by `parent`, opened at `initial`:
    // the folder chosen, or nothing when the user cancelled.
    virtual std::optional<std::string> ChooseFolder(TWindowId /*parent*/,
                                                    const std::string& /*initial*/) {
        return std::nullopt;
    }
    // A string value of the current user's registry, or nothing.
    virtual std::optional<std::string> ReadUserRegistry(const std::string& key,
                                                        const std::string& value) = 0;
    // The system's saver password check (`VerifyScreenSavePwd` of
    // "PASSWORD.CPL"): true may end, false refused, nothing when the library
    // or the function is missing.
    virtual std::optional<bool> VerifySaverPassword(TWindowId window) = 0;
    // The system's password-change dialog (`PwdChangePasswordA` of
    // "MPR.DLL"); false when there is none.
    virtual bool ChangeSaverPassword(TWindowId parent) = 0;
    // Tells the system that a saver runs (or no longer runs).
    virtual void SetSaverRunning(bool running) = 0;
    // Installs a hook that sees all input; false where the system refuses.
    virtual bool InstallInputHook(TInputHook hook) = 0;
    // Where the mouse pointer is, in screen pixels.
    virtual std::pair<int, int> CursorPosition() = 0;
    virtual void RemoveInputHook() = 0;

    // Windows of another process, given by handle (the preview window).
    virtual bool ForeignWindowExists(TWindowId window) = 0;
    virtual bool ForeignWindowVisible(TWindowId window) = 0;
    // Its client area, in screen coordinates.
    virtual TRect ForeignWindowRect(TWindowId window) = 0;
    // Shows `bitmap` at the top left of the window's client area and keeps
    // it there through the window's own repaints, until the next call or
    // until the window goes.
    virtual void ShowInForeignWindow(TWindowId window, const TBitmap24& bitmap) = 0;
};

} // namespace tevrin
