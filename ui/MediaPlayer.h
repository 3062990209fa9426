// SPDX-License-Identifier: MIT
// The media player component: opens a sound by file name on the device the
// platform chooses, plays it and reports through OnNotify when a command
// asked for a notice has ended. Notify applies to the next command only and
// is set again after it.
#pragma once

#include "ui/Application.h"
#include "ui/Services.h"

#include <functional>
#include <memory>
#include <string>

namespace tevrin {

class TMediaPlayer {
public:
    explicit TMediaPlayer(TApplication& app) : app_(app) {}
    ~TMediaPlayer() { Close(); }
    TMediaPlayer(const TMediaPlayer&) = delete;
    TMediaPlayer& operator=(const TMediaPlayer&) = delete;

    std::string FileName;
    bool Notify = true;
    TNotifyValue NotifyValue = TNotifyValue::nvSuccessful;
    std::function<void()> OnNotify;

    // Closes what is open, then opens FileName; raises EError when no
    // device takes the file.
    void Open();
    // Plays from the start; with Notify, OnNotify follows when it ends.
    void Play();
    void Stop();
    void Close();
    bool IsOpen() const { return static_cast<bool>(device_); }

private:
    void Finish(TNotifyValue value);

    TApplication& app_;
    std::unique_ptr<TMediaDevice> device_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace tevrin
