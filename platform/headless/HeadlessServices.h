// SPDX-License-Identifier: MIT
// The headless platform's services: every call recorded in Log, answers
// scripted by the test, sounds and movies that "play" in virtual time.
#pragma once

#include "ui/Services.h"

#include <map>
#include <set>
#include <string>
#include <vector>

namespace tevrin {

class THeadlessPlatform;

class THeadlessServices final : public TServices {
public:
    explicit THeadlessServices(THeadlessPlatform& platform) : platform_(platform) {}

    // Every call, one line each ("open melody.wav", "shell mailto:a@b", ...).
    std::vector<std::string> Log;

    // Sounds: how long each plays (by file name; default 3 s), which fail to
    // open, which report failure as soon as they play.
    std::map<std::string, std::uint32_t> SoundLengths;
    std::uint32_t DefaultSoundLength = 3000;
    std::set<std::string> UnopenableSounds, FailingSounds;

    bool MoviePlayerInstalled = false;
    int MovieFrames = 120; // frames of every movie, shown at 12 per second

    std::set<std::string> GuardsHeldElsewhere;
    std::map<std::string, std::string> Registry; // "key\\value" -> data
    std::optional<bool> PasswordAnswer;          // nothing: no password library
    bool PasswordChangeAvailable = false;
    bool SaverRunning = false;
    bool InputHookAllowed = true;
    // The folder picker: absent, or the folder its user picks (nothing: the
    // user cancels).
    bool FolderPicker = false;
    std::optional<std::string> FolderAnswer;
    std::pair<int, int> Cursor{400, 300};

    struct TForeign {
        bool Visible = true;
        TRect Rect{0, 0, 152, 112};
        int Draws = 0;
        TBitmap24 Last;
    };
    std::map<TWindowId, TForeign> ForeignWindows;

    // Hands an input event to the installed hook, as the system would.
    void FeedHook(const TEvent& event);
    bool HookInstalled() const { return static_cast<bool>(hook_); }

    std::unique_ptr<TMediaDevice> OpenMedia(const std::string& path) override;
    std::unique_ptr<TMoviePlayerControl> CreateMoviePlayer(TWindowId window) override;
    bool AcquireInstanceGuard(const std::string& name) override;
    void ShellOpen(TWindowId parent, const std::string& target) override;
    bool HasFolderPicker() override { return FolderPicker; }
    std::optional<std::string> ChooseFolder(TWindowId parent, const std::string& initial) override;
    std::optional<std::string> ReadUserRegistry(const std::string& key,
                                                const std::string& value) override;
    std::optional<bool> VerifySaverPassword(TWindowId window) override;
    bool ChangeSaverPassword(TWindowId parent) override;
    void SetSaverRunning(bool running) override;
    bool InstallInputHook(TInputHook hook) override;
    std::pair<int, int> CursorPosition() override { return Cursor; }
    void RemoveInputHook() override;
    bool ForeignWindowExists(TWindowId window) override;
    bool ForeignWindowVisible(TWindowId window) override;
    TRect ForeignWindowRect(TWindowId window) override;
    void ShowInForeignWindow(TWindowId window, const TBitmap24& bitmap) override;

    THeadlessPlatform& Platform() { return platform_; }

private:
    THeadlessPlatform& platform_;
    TInputHook hook_;
    std::set<std::string> guards_;
};

} // namespace tevrin
