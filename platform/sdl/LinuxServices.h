// SPDX-License-Identifier: MIT
// The saver's system services on Linux: sounds through SDL2_mixer, the
// instance guard as a lock file, the shell as xdg-open, windows of other
// programs through X. There is no movie player, no system saver password
// and no input hook on this system; each answers as "not here".
#pragma once

#include "platform/sdl/XDisplay.h"
#include "ui/Services.h"

#include <memory>
#include <string>

namespace tevrin {

class TLinuxPlatform;

class TLinuxServices final : public TServices {
public:
    explicit TLinuxServices(TLinuxPlatform& platform);
    ~TLinuxServices() override;

    std::unique_ptr<TMediaDevice> OpenMedia(const std::string& path) override;
    std::unique_ptr<TMoviePlayerControl> CreateMoviePlayer(TWindowId) override { return nullptr; }
    bool AcquireInstanceGuard(const std::string& name) override;
    void ShellOpen(TWindowId parent, const std::string& target) override;
    std::optional<std::string> ReadUserRegistry(const std::string&, const std::string&) override {
        return std::nullopt;
    }
    std::optional<bool> VerifySaverPassword(TWindowId) override { return std::nullopt; }
    bool ChangeSaverPassword(TWindowId) override { return false; }
    void SetSaverRunning(bool) override {}
    bool InstallInputHook(TInputHook) override { return false; }
    void RemoveInputHook() override {}
    std::pair<int, int> CursorPosition() override;
    bool ForeignWindowExists(TWindowId window) override;
    bool ForeignWindowVisible(TWindowId window) override;
    TRect ForeignWindowRect(TWindowId window) override;
    void ShowInForeignWindow(TWindowId window, const TBitmap24& bitmap) override;

    // The folder of the instance guards: $XDG_RUNTIME_DIR, else a folder
    // "tevrin-<uid>" in the temporary folder; either only when it is a real
    // folder of this user's that nobody else may enter. Empty when neither
    // is: the saver then runs without a guard.
    static std::string GuardFolder();
    // What xdg-open is given for a link label's text: an address without a
    // scheme that holds an '@' is a mail address.
    static std::string ShellTarget(const std::string& target);
    // The connection for windows of other programs, opened on first use.
    TXDisplay& X();

private:
    friend class TMixerSound;
    TLinuxPlatform& platform_;
    std::unique_ptr<TXDisplay> x_;
    enum class TAudio { Untried, Open, Failed } audio_ = TAudio::Untried;
    int guard_fd_ = -1;
};

} // namespace tevrin
