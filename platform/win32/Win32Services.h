// SPDX-License-Identifier: MIT
// The saver's system services on Windows: MCI for sounds, the movie player
// control through our OLE host, the named semaphore, the shell, the
// registry, the saver-password libraries of Windows 95 and 98, the
// screen-saver-running flag, the journal-record hook (raw input where the
// system refuses it), and windows of other processes.
#pragma once

#include "gfx/Bitmap24.h"
#include "ui/Services.h"

#include <cstdint>
#include <map>
#include <memory>

namespace tevrin {

class TWin32Platform;

class TWin32Services final : public TServices {
public:
    explicit TWin32Services(TWin32Platform& platform) : platform_(platform) {}
    ~TWin32Services() override;
    // Releases what needs the application window, before it goes.
    void Shutdown();

    std::unique_ptr<TMediaDevice> OpenMedia(const std::string& path) override;
    std::unique_ptr<TMoviePlayerControl> CreateMoviePlayer(TWindowId window) override;
    bool AcquireInstanceGuard(const std::string& name) override;
    void ShellOpen(TWindowId parent, const std::string& target) override;
    bool HasFolderPicker() override { return true; }
    std::optional<std::string> ChooseFolder(TWindowId parent, const std::string& initial) override;
    std::optional<std::string> ReadUserRegistry(const std::string& key,
                                                const std::string& value) override;
    std::optional<bool> VerifySaverPassword(TWindowId window) override;
    bool ChangeSaverPassword(TWindowId parent) override;
    void SetSaverRunning(bool running) override;
    bool InstallInputHook(TInputHook hook) override;
    std::pair<int, int> CursorPosition() override;
    void RemoveInputHook() override;
    bool ForeignWindowExists(TWindowId window) override;
    bool ForeignWindowVisible(TWindowId window) override;
    TRect ForeignWindowRect(TWindowId window) override;
    void ShowInForeignWindow(TWindowId window, const TBitmap24& bitmap) override;

    // Messages of the application window: media notices and raw input.
    // True when handled, with the window procedure's result.
    bool HandleAppMessage(unsigned message, std::uintptr_t wparam, std::intptr_t lparam,
                          std::intptr_t& result);

    // How an input seen by the journal hook or raw input is passed on.
    void HookInput(const TEvent& event);

    // A registry value as the password check reads it: a 32-bit number as
    // its decimal text, any other type as an empty text (no number).
    static std::string DwordText(unsigned long type, const void* data, unsigned long size);
    // The MCI drivers loaded in this process. Once a sound has opened, its
    // driver stays loaded until the process ends, closed devices or not.
    static std::vector<std::string> LoadedMciDrivers();
    // The child window ShowInForeignWindow made; 0 when there is none.
    TWindowId PreviewWindow() const { return reinterpret_cast<TWindowId>(preview_); }

private:
    friend class TMciSound;
    TWin32Platform& platform_;
    // Open MCI devices by id: whose notice is whose.
    std::map<unsigned, class TMciSound*> sounds_;
    void* guard_ = nullptr;
    TInputHook hook_;
    void* journal_ = nullptr; // HHOOK
    bool raw_input_ = false;
    bool saver_running_ = false;
    // The preview: a child window of ours inside another process's window,
    // painting preview_bitmap_ whenever it is asked to.
    void* preview_ = nullptr; // HWND
    TBitmap24 preview_bitmap_;
    static std::intptr_t __stdcall PreviewProc(void* hwnd, unsigned message, std::uintptr_t wparam,
                                               std::intptr_t lparam);
};

} // namespace tevrin
