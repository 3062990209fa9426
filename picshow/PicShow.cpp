// SPDX-License-Identifier: MIT
#include "picshow/PicShow.h"

#include "gfx/Copy.h"

#include <algorithm>

namespace tevrin {

TRect FitRect(const TRect& source, const TRect& bounds) {
    const int sw = source.Width(), sh = source.Height(), bw = bounds.Width(), bh = bounds.Height();
    int w, h;
    if (sw > 0 && sh > 0 && static_cast<double>(bh) / sh > static_cast<double>(bw) / sw) {
        w = bw;
        h = MulDiv(sh, bw, sw);
    } else {
        w = sh > 0 ? MulDiv(sw, bh, sh) : 0;
        h = bh;
    }
    const int left = (bw - w) / 2 + bounds.Left, top = (bh - h) / 2 + bounds.Top;
    return {left, top, left + w, top + h};
}

// Times the frames: hands each frame step to the user-interface thread and
// sleeps for the rest of Delay. Everything it reads of the control it reads
// inside that synchronised call, on the user-interface thread.
class TCustomPicShow::TAnimateThread final : public TThread {
public:
    TAnimateThread(TCustomPicShow& show) : TThread(show.Parent().Application()), show_(show) {
        OnTerminate = [this] { show_.TransitionComplete(); };
        static constexpr int kLevels[] = {-15, -2, -1, 0, 1, 2, 15};
        Priority = kLevels[static_cast<int>(show.ThreadPriority)];
    }

protected:
    void Execute() override {
        TPlatform& platform = Application().Platform();
        bool go_on = true;
        while (!Terminated() && go_on) {
            const std::uint32_t t0 = platform.TickCount();
            bool at_end = false;
            std::uint32_t delay = 0;
            Synchronize([&] {
                if (show_.manual_ || show_.stopping_) {
                    go_on = false;
                    return;
                }
                show_.FrameStep();
                at_end = show_.AtEnd();
                delay = show_.Delay;
                go_on = !show_.manual_ && !show_.stopping_;
            });
            if (!go_on) break;
            const std::uint32_t elapsed = platform.TickCount() - t0;
            if (at_end)
                Terminate();
            else if (delay > elapsed)
                Sleep(delay - elapsed);
        }
    }

private:
    TCustomPicShow& show_;
};

TCustomPicShow::TCustomPicShow(TForm& parent) : TGraphicControl(parent) {
    SetBounds(0, 0, 100, 100);
}

TCustomPicShow::~TCustomPicShow() {
    BeginDestroy();
    if (thread_ != nullptr) {
        thread_->Terminate();
        Parent().Application().ServeSynchronizeUntil([this] { return thread_ == nullptr; });
    }
}

void TCustomPicShow::SetStep(int step) {
    step_ = static_cast<std::uint16_t>(std::clamp(step, 1, 100));
}

void TCustomPicShow::SetPicture(const TBitmap24& picture) {
    KeepWorkPicture();
    picture_ = picture;
    PictureChanged();
}

void TCustomPicShow::SetPicture(TBitmap24&& picture) {
    KeepWorkPicture();
    picture_ = std::move(picture);
    PictureChanged();
}

void TCustomPicShow::ClearPicture() {
    KeepWorkPicture();
    // The picture leaving serves the next picture or transition, which
    // needs a bitmap of its size at once; its memory was held already.
    if (!busy_ && picture_) Keep(std::move(*picture_));
    picture_.reset();
    PictureChanged();
}

void TCustomPicShow::SetKeepStorage(bool keep) {
    keep_storage_ = keep;
    if (!keep) storage_.clear();
}

void TCustomPicShow::Keep(TBitmap24&& bitmap) {
    if (bitmap.IsView() || bitmap.Empty()) return;
    if (storage_.size() == kKeptStorage) storage_.erase(storage_.begin());
    storage_.push_back(std::move(bitmap));
}

TBitmap24 TCustomPicShow::TakeStorage(int w, int h, int pixel_bytes) {
    for (auto it = storage_.begin(); it != storage_.end(); ++it)
        if (it->Width() == w && it->Height() == h && it->PixelBytes() == pixel_bytes) {
            TBitmap24 kept = std::move(*it);
            storage_.erase(it);
            return kept;
        }
    storage_.clear();
    return TBitmap24::Undefined(w, h, pixel_bytes);
}

int TCustomPicShow::FramePixelBytes() const {
    // The display's own where the form composes in the window's surface.
    const TBitmap24& shown = Parent().BackBuffer();
    return shown.Empty() ? 3 : shown.PixelBytes();
}

void TCustomPicShow::KeepWorkPicture() {
    if (busy_ && !held_picture_) held_picture_ = std::move(*picture_);
}

void TCustomPicShow::PictureChanged() {
    if (Destroying()) return;
    if (picture_ && !picture_->Empty() && auto_size_ && Align() == TAlign::alNone)
        SetBounds(BoundsRect().Left, BoundsRect().Top, picture_->Width(), picture_->Height());
    if (OnChange) OnChange(*this);
}

void TCustomPicShow::SetBgPicture(const TBitmap24& picture) {
    bg_picture_ = picture;
    if (bg_mode_ != TBackgroundMode::bmNone && !painting_) Invalidate();
}

void TCustomPicShow::SetBgMode(TBackgroundMode mode) {
    if (mode == bg_mode_) return;
    bg_mode_ = mode;
    if (bg_picture_ && !painting_) Invalidate();
}

void TCustomPicShow::InvalidateIfShown() {
    if (!screen_.Empty() && !painting_) Invalidate();
}

void TCustomPicShow::SetCenter(bool center) {
    if (center == center_) return;
    center_ = center;
    if (picture_ && !picture_->Empty()) {
        CalculatePicRect();
        InvalidateIfShown();
    }
}

void TCustomPicShow::SetStretch(bool stretch) {
    if (stretch == stretch_) return;
    stretch_ = stretch;
    InvalidateIfShown();
}

void TCustomPicShow::SetStretchFine(bool fine) {
    if (fine == stretch_fine_) return;
    stretch_fine_ = fine;
    InvalidateIfShown();
}

void TCustomPicShow::SetAutoSize(bool auto_size) {
    if (auto_size == auto_size_) return;
    auto_size_ = auto_size;
    if (auto_size_ && picture_ && !picture_->Empty() && Align() == TAlign::alNone)
        SetBounds(BoundsRect().Left, BoundsRect().Top, picture_->Width(), picture_->Height());
}

void TCustomPicShow::Resized() {
    if (picture_ && !picture_->Empty()) {
        CalculatePicRect();
        InvalidateIfShown();
    }
}

void TCustomPicShow::MouseEnter() {
    if (OnMouseEnter) OnMouseEnter(*this);
}

void TCustomPicShow::MouseLeave() {
    if (OnMouseLeave) OnMouseLeave(*this);
}

void TCustomPicShow::CalculatePicRect() {
    if (screen_.Empty()) return;
    pic_rect_ = {0, 0, screen_.Width(), screen_.Height()};
    if (center_) {
        const int dx = (Width() - screen_.Width()) / 2, dy = (Height() - screen_.Height()) / 2;
        pic_rect_ = {dx, dy, dx + screen_.Width(), dy + screen_.Height()};
    }
}

void TCustomPicShow::Paint(TCanvas& canvas) {
    painting_ = true;
    struct TReset {
        bool& flag;
        ~TReset() { flag = false; }
    } reset{painting_};
    // The canvas is the form's back buffer, shown only once the whole
    // repaint is composed in it. A frame drawn in place is there already.
    if (in_place_) {
        if (StillInPlace()) return;
        SettleScreen();
    }
    const TRect client = ClientRect();
    // Color shows only where neither the image nor the background covers.
    const bool covered = !screen_.Empty() && stretch_ && !stretch_fine_;
    if (!covered) canvas.FillRect(client, Color());
    if (bg_picture_ && !bg_picture_->Empty()) {
        const TBitmap24& bg = *bg_picture_;
        switch (bg_mode_) {
        case TBackgroundMode::bmTiled:
            // One more row and column than fit, as the tiles stick out.
            for (int r = 0; r <= client.Height() / bg.Height(); ++r)
                for (int c = 0; c <= client.Width() / bg.Width(); ++c)
                    canvas.Draw(c * bg.Width(), r * bg.Height(), bg);
            break;
        case TBackgroundMode::bmStretched:
            canvas.StretchDraw(client, bg);
            break;
        case TBackgroundMode::bmCentered:
            canvas.Draw((client.Width() - bg.Width()) / 2, (client.Height() - bg.Height()) / 2, bg);
            break;
        case TBackgroundMode::bmNone:
            break;
        }
    }
    if (!screen_.Empty()) {
        if (!stretch_)
            canvas.Draw(pic_rect_.Left, pic_rect_.Top, screen_);
        else
            canvas.StretchDraw(ImageRect(), screen_);
    }
}

TRect TCustomPicShow::ImageRect() const {
    const TRect client = ClientRect();
    return !stretch_ ? pic_rect_ : !stretch_fine_ ? client : FitRect(pic_rect_, client);
}

bool TCustomPicShow::InPlaceView(TBitmap24& view) {
    if (!busy_ || Destroying() || !Visible() || screen_.Empty()) return false;
    const TRect client = ClientRect();
    if (screen_.PixelBytes() != 4 || ImageRect() != client || client.Width() != screen_.Width() ||
        client.Height() != screen_.Height())
        return false;
    const TRect at = BoundsRect();
    if (!Parent().PaintsOnlyThrough(*this, at)) return false;
    view = Parent().SurfaceView(at);
    return !view.Empty();
}

bool TCustomPicShow::StillInPlace() {
    TBitmap24 view;
    return in_place_ && Parent().BackBufferGeneration() == in_place_generation_ &&
           InPlaceView(view) && view.Bits() == place_view_.Bits();
}

void TCustomPicShow::SettleScreen() {
    if (!in_place_) return;
    if (StillInPlace()) {
        CopyBitmap(screen_, place_view_);
        in_place_ = false;
        return;
    }
    // The back buffer the frame went to is gone: it is drawn again.
    in_place_ = false;
    DrawEffectFrame(*this);
}

void TCustomPicShow::InvalidateArea(const TRect& rect) {
    TRect r = rect;
    const TRect& p = pic_rect_;
    if (stretch_) {
        const TRect t = stretch_fine_ ? FitRect(p, ClientRect()) : ClientRect();
        if (p.Width() == 0 || p.Height() == 0) return;
        r = {MulDiv(r.Left, t.Width(), p.Width()) + t.Left,
             MulDiv(r.Top, t.Height(), p.Height()) + t.Top,
             MulDiv(r.Right, t.Width(), p.Width()) + t.Left,
             MulDiv(r.Bottom, t.Height(), p.Height()) + t.Top};
    } else {
        if (center_) r = {r.Left + p.Left, r.Top + p.Top, r.Right + p.Left, r.Bottom + p.Top};
        r = {std::max(r.Left, p.Left), std::max(r.Top, p.Top), std::min(r.Right, p.Right),
             std::min(r.Bottom, p.Bottom)};
    }
    if (Destroying()) return;
    const TRect at = BoundsRect();
    Parent().InvalidateRect(
        {r.Left + at.Left, r.Top + at.Top, r.Right + at.Left, r.Bottom + at.Top});
}

void TCustomPicShow::InvalidateRegion(const TRegion& region) {
    for (const TRect& r : region.Covering(TForm::kPresentedParts))
        InvalidateArea(r);
}

TFrameChange* TCustomPicShow::KeptChange() {
    const TRect image = ImageRect();
    if (image.Width() != screen_.Width() || image.Height() != screen_.Height()) return nullptr;
    return &kept_change_;
}

void TCustomPicShow::UpdateNow() {
    Parent().Update();
}

void TCustomPicShow::BeforeNewFrame() {
    if (OnBeforeNewFrame) OnBeforeNewFrame(*this, PictureBitmap(), ScreenBitmap());
}

void TCustomPicShow::AfterNewFrame() {
    if (OnAfterNewFrame) OnAfterNewFrame(*this, PictureBitmap(), ScreenBitmap());
}

bool TCustomPicShow::CustomDraw() {
    if (!OnCustomDraw) return false;
    OnCustomDraw(*this, PictureBitmap(), ScreenBitmap());
    return true;
}

void TCustomPicShow::SetProgress(int value) {
    value = std::clamp(value, 0, 100);
    if (!busy_ || value == progress_) return;
    if (value < progress_ && !painting_) InvalidateArea({0, 0, screen_.Width(), screen_.Height()});
    progress_ = static_cast<std::uint8_t>(value);
    in_place_ = !painting_ && InPlaceView(place_view_);
    if (in_place_) in_place_generation_ = Parent().BackBufferGeneration();
    DrawEffectFrame(*this);
    if (OnProgress && !Destroying()) OnProgress(*this);
}

void TCustomPicShow::PrepareTransition() {
    const TBitmap24& shown = Parent().BackBuffer();
    const int bytes = FramePixelBytes();
    if (picture_->PixelBytes() != bytes) {
        TBitmap24 widened = TakeStorage(picture_->Width(), picture_->Height(), bytes);
        CopyBitmap(widened, *picture_);
        picture_ = std::move(widened);
    }
    auto blank = [bytes](int w, int h) {
        return bytes == 4 ? TBitmap24(w, h, TBitmap24::kPixels32) : TBitmap24(w, h);
    };
    // The previous image stays at the top left, cut or padded with Color.
    const int w = picture_->Width(), h = picture_->Height();
    kept_change_ = {{}, TRegion::FromRect({0, 0, w, h})};
    if (screen_.Width() != w || screen_.Height() != h) {
        TBitmap24 resized = blank(w, h);
        FillRect(resized, {0, 0, w, h}, Color());
        StretchCopy(resized, 0, 0, screen_.Width(), screen_.Height(), screen_, 0, 0,
                    screen_.Width(), screen_.Height());
        screen_ = std::move(resized);
    } else if (screen_.PixelBytes() != bytes) {
        screen_ = InPixelBytes(screen_, bytes);
    }
    CalculatePicRect();
    // What the viewer sees where the new picture will appear, as last
    // painted (the form's back buffer); only the control's own area counts,
    // and before the first paint that is Color.
    const TRect client = ClientRect();
    const TRect all{0, 0, w, h};
    TRect from = !stretch_ ? pic_rect_ : !stretch_fine_ ? client : FitRect(pic_rect_, client);
    TRect to = all;
    if (!stretch_) {
        // Pixel for pixel: the part outside the control stays black.
        from = {std::max(from.Left, 0), std::max(from.Top, 0), std::min(from.Right, client.Right),
                std::min(from.Bottom, client.Bottom)};
        to = {from.Left - pic_rect_.Left, from.Top - pic_rect_.Top, from.Right - pic_rect_.Left,
              from.Bottom - pic_rect_.Top};
    }
    if (start_from_) {
        TBitmap24 start = start_from_->PixelBytes() == bytes ? std::move(*start_from_)
                                                             : InPixelBytes(*start_from_, bytes);
        start_from_.reset();
        if (start.Width() == w && start.Height() == h) {
            old_bmp_ = std::make_unique<TBitmap24>(std::move(start));
        } else {
            old_bmp_ = std::make_unique<TBitmap24>(blank(w, h));
            StretchCopy(*old_bmp_, all, start, {0, 0, start.Width(), start.Height()});
        }
        if (!keep_storage_) storage_.clear();
        frame_ = 0;
        SetProgress(Reverse ? 100 : 0);
        return;
    }
    // Undefined where the copy below writes every pixel.
    old_bmp_ = std::make_unique<TBitmap24>(to != all ? blank(w, h) : TakeStorage(w, h, bytes));
    if (!keep_storage_) storage_.clear();
    const TRect at = BoundsRect();
    if (shown.Width() < at.Right || shown.Height() < at.Bottom || at.Left < 0 || at.Top < 0) {
        FillRect(*old_bmp_, to, Color());
    } else if (!to.IsEmpty()) {
        StretchCopy(
            *old_bmp_, to, shown,
            {from.Left + at.Left, from.Top + at.Top, from.Right + at.Left, from.Bottom + at.Top});
    }
    frame_ = 0;
    SetProgress(Reverse ? 100 : 0);
}

void TCustomPicShow::ReleaseWorkBitmaps() {
    held_picture_.reset();
    if (old_bmp_ && keep_storage_) Keep(std::move(*old_bmp_));
    old_bmp_.reset();
}

void TCustomPicShow::Execute() {
    if (busy_ || !picture_ || picture_->Empty()) return;
    busy_ = true;
    try {
        PrepareTransition();
        if (!manual_) Animate();
    } catch (...) {
        ReleaseWorkBitmaps();
        busy_ = false;
        throw;
    }
}

void TCustomPicShow::FrameStep() {
    if (frames_ > 0) {
        frame_ = std::min(frame_ + 1, frames_);
        const int done = (200 * frame_ + frames_) / (2 * frames_);
        SetProgress(Reverse ? 100 - done : done);
        return;
    }
    if (Reverse)
        SetProgress(progress_ >= step_ ? progress_ - step_ : 0);
    else
        SetProgress(progress_ + step_);
}

void TCustomPicShow::Animate() {
    if (Threaded) {
        thread_ = new TAnimateThread(*this);
        thread_->Start();
        return;
    }
    AnimateInStep({this});
}

void TCustomPicShow::AnimateInStep(std::vector<TCustomPicShow*> shows) {
    TApplication& app = shows.front()->Parent().Application();
    const std::uint16_t delay = shows.front()->Delay;
    auto cannot_go_on = [&] { return app.Terminated() || app.Platform().Exhausted(); };
    std::vector<TCustomPicShow*> ended;
    do {
        const std::uint32_t t0 = app.TickCount();
        for (TCustomPicShow* show : shows) {
            show->FrameStep();
            if (show->AtEnd()) ended.push_back(show);
        }
        std::erase_if(shows, [](TCustomPicShow* show) { return show->AtEnd(); });
        if (shows.empty()) break;
        // Keep input, timers and repaints flowing until Delay has passed,
        // waiting for them rather than spinning.
        for (;;) {
            app.ProcessMessages();
            const std::uint32_t elapsed = app.TickCount() - t0;
            std::erase_if(shows, [](TCustomPicShow* show) { return !show->Running(); });
            // A run that cannot go on (a headless run at its end) stops too.
            if (elapsed > delay || shows.empty() || cannot_go_on()) break;
            app.WaitMessage(static_cast<int>(delay - elapsed) + 1);
        }
    } while (!shows.empty() && !cannot_go_on());
    for (TCustomPicShow* show : ended)
        show->TransitionComplete();
}

void TCustomPicShow::ExecuteTogether(const std::vector<TCustomPicShow*>& shows) {
    std::vector<TCustomPicShow*> prepared, started;
    for (TCustomPicShow* show : shows) {
        if (show->busy_ || !show->picture_ || show->picture_->Empty()) continue;
        show->busy_ = true;
        prepared.push_back(show);
        try {
            show->PrepareTransition();
        } catch (...) {
            for (TCustomPicShow* s : prepared) {
                s->ReleaseWorkBitmaps();
                s->busy_ = false;
            }
            throw;
        }
        if (!show->manual_) started.push_back(show);
    }
    if (!started.empty()) AnimateInStep(started);
}

void TCustomPicShow::TransitionComplete() {
    thread_ = nullptr;
    if (stopping_ || !manual_) {
        SettleScreen();
        busy_ = false;
        ReleaseWorkBitmaps();
        if (OnComplete && !Destroying() && !stopping_) OnComplete(*this);
    }
}

void TCustomPicShow::Stop() {
    if (!busy_ || stopping_) return;
    stopping_ = true;
    struct TReset {
        bool& flag;
        ~TReset() { flag = false; }
    } reset{stopping_};
    if (thread_ != nullptr) {
        thread_->Terminate();
        Parent().Application().ServeSynchronizeUntil([this] { return thread_ == nullptr; });
    } else {
        TransitionComplete();
    }
}

void TCustomPicShow::SetManual(bool manual) {
    if (manual == manual_) return;
    manual_ = manual;
    if (busy_) {
        if (!manual_) Animate();
    } else {
        progress_ = Reverse ? 100 : 0;
    }
}

void TCustomPicShow::Redraw(const std::function<void(TBitmap24& screen)>& draw) {
    if (busy_ || screen_.Empty()) return;
    draw(screen_);
    InvalidateArea({0, 0, screen_.Width(), screen_.Height()});
}

void TCustomPicShow::Clear() {
    if (busy_ || screen_.Empty()) return;
    screen_ = TBitmap24();
    Invalidate();
}

} // namespace tevrin
