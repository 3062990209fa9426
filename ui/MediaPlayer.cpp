// SPDX-License-Identifier: MIT
#include "ui/MediaPlayer.h"

#include "base/Errors.h"

namespace tevrin {

void TMediaPlayer::Open() {
    Close();
    device_ = app_.Platform().Services().OpenMedia(FileName);
    Notify = true;
    if (!device_) throw EError(msg::kMediaCannotOpen, {FileName});
}

void TMediaPlayer::Play() {
    if (!device_) throw EError(msg::kMediaNotOpen);
    const bool notify = Notify;
    Notify = true;
    std::weak_ptr<bool> alive = alive_;
    device_->Play([this, alive, notify](TNotifyValue value) {
        if (alive.expired() || !notify) return;
        Finish(value);
    });
}

void TMediaPlayer::Finish(TNotifyValue value) {
    NotifyValue = value;
    if (OnNotify) app_.Guarded(OnNotify);
}

void TMediaPlayer::Stop() {
    if (!device_) throw EError(msg::kMediaNotOpen);
    const bool notify = Notify;
    Notify = true;
    device_->Stop();
    if (notify) Finish(TNotifyValue::nvSuccessful);
}

void TMediaPlayer::Close() {
    device_.reset();
    alive_ = std::make_shared<bool>(true); // ends that are still on their way are dropped
}

} // namespace tevrin
