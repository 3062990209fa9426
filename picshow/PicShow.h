// SPDX-License-Identifier: MIT
// The picture show control: a windowless control that shows one picture and
// replaces it by the next through an animated transition.
//
// It keeps what is on screen (the screen bitmap) and, while a transition
// runs, what was shown where the new picture will appear (the old image
// bitmap); the new picture at its own size (the picture bitmap) is Picture
// itself. Each change of Progress draws one frame from those two through
// DrawEffectFrame. The control paints straight into its form's back buffer,
// which is also where the old image is taken from; a transition draws in
// the back buffer's pixel size (4 bytes where the form composes in the
// window's surface), converting Picture to it when it starts, so the
// bitmaps the frame events see have that size too. Frames are timed
// by a message-pumping loop (Threaded off) or by an animation thread that
// only sleeps and hands each frame to the user-interface thread.
#pragma once

#include "effects/Effects.h"
#include "ui/Forms.h"
#include "ui/Thread.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace tevrin {

class TCustomPicShow;

using TCustomDrawEvent =
    std::function<void(TCustomPicShow& sender, const TBitmap24& picture, TBitmap24& screen)>;
using TNotifyEvent = std::function<void(TCustomPicShow& sender)>;

enum class TBackgroundMode { bmNone, bmTiled, bmStretched, bmCentered };
enum class TThreadPriority {
    tpIdle,
    tpLowest,
    tpLower,
    tpNormal,
    tpHigher,
    tpHighest,
    tpTimeCritical
};

// The proportional fit of S's size into B, centred; ties take the
// height-limited branch.
TRect FitRect(const TRect& source, const TRect& bounds);

class TCustomPicShow : public TGraphicControl, private TEffectHost {
public:
    explicit TCustomPicShow(TForm& parent);
    ~TCustomPicShow() override;

    TShowStyle Style = kInitialStyle;
    std::uint16_t Delay = 40; // ms from the start of a frame to the start of the next
    bool Reverse = false;
    bool Threaded = true;
    TThreadPriority ThreadPriority = TThreadPriority::tpNormal;

    std::uint16_t Step() const { return step_; }
    void SetStep(int step); // 0 becomes 1, above 100 becomes 100
    // Frames of a transition, Delay apart, in place of Step (0: by Step):
    // frame k of n shows progress 100 k / n, rounded, so a transition longer
    // than 100 frames holds some progresses for two frames.
    int Frames() const { return frames_; }
    void SetFrames(int frames) { frames_ = std::max(frames, 0); }
    bool Manual() const { return manual_; }
    void SetManual(bool manual);

    // The picture the next Execute shows; assigning copies it.
    const std::optional<TBitmap24>& Picture() const { return picture_; }
    void SetPicture(const TBitmap24& picture);
    // The same, taking the bitmap over instead of copying it.
    void SetPicture(TBitmap24&& picture);
    void ClearPicture();
    // Whether a transition's old image is kept for the next transition
    // rather than returned to the system: a show whose frames go on between
    // transitions (moving pictures) then starts one without waiting for
    // fresh memory, which a system may take tens of milliseconds to clear
    // for a large screen. A cleared picture is kept either way, its memory
    // held already: the next picture may be drawn into it, or the next
    // transition's picture widened to the screen's pixels or its old image;
    // a show not keeping lets what its transition did not take go as the
    // transition starts. At most two are kept; turning it off lets them go.
    void SetKeepStorage(bool keep);
    // A w x h bitmap of `pixel_bytes`-byte pixels, undefined: kept storage
    // of that size when there is some (storage of another size goes), or a
    // new one.
    TBitmap24 TakeStorage(int w, int h, int pixel_bytes);
    // The bytes of a pixel its frames are drawn in: the form's back
    // buffer's, so that painting one is a plain copy (3 before any paint).
    int FramePixelBytes() const;
    // How many bitmaps are kept now.
    std::size_t KeptStorage() const { return storage_.size(); }
    const std::optional<TBitmap24>& BgPicture() const { return bg_picture_; }
    void SetBgPicture(const TBitmap24& picture);
    TBackgroundMode BgMode() const { return bg_mode_; }
    void SetBgMode(TBackgroundMode mode);
    bool Center() const { return center_; }
    void SetCenter(bool center);
    bool Stretch() const { return stretch_; }
    void SetStretch(bool stretch);
    bool StretchFine() const { return stretch_fine_; }
    void SetStretchFine(bool fine);
    bool AutoSize() const { return auto_size_; }
    void SetAutoSize(bool auto_size);

    TNotifyEvent OnChange, OnProgress, OnComplete, OnMouseEnter, OnMouseLeave;
    TCustomDrawEvent OnCustomDraw, OnBeforeNewFrame, OnAfterNewFrame;

    int Progress() const { return progress_; }
    // While Busy: moves to `value` (above 100 is 100) and draws that frame.
    void SetProgress(int value);
    bool Busy() const { return busy_; }

    // Starts a transition from what is on screen to Picture; nothing while
    // Busy or without a picture. In loop mode returns when it has ended.
    void Execute();
    // Starts a transition on each show, as Execute does in loop mode
    // whatever Threaded says, with their frames drawn in step: one clock,
    // the first show's Delay, times them all. Returns when every one has
    // ended, each firing its own OnComplete. A Manual show is only made
    // ready, as Execute leaves it.
    static void ExecuteTogether(const std::vector<TCustomPicShow*>& shows);
    // Ends a running transition at once; the screen keeps the last frame.
    void Stop();
    // The next transition starts from `image` in place of what the viewer
    // sees (stretched to the picture's size if it differs); run in Reverse
    // it starts from the picture and ends on `image`.
    void StartFrom(TBitmap24 image) { start_from_ = std::move(image); }
    // While idle: drops the displayed image, leaving Color and background.
    void Clear();
    // While idle with an image shown: `draw` draws a new one over it, of
    // the same size (a picture that moves between transitions), and the
    // control is repainted.
    void Redraw(const std::function<void(TBitmap24& screen)>& draw);

    // What is on screen: the last frame while a transition runs.
    const TBitmap24& Screen() const { return in_place_ ? place_view_ : screen_; }
    TRect PictureRect() const { return pic_rect_; }

protected:
    void Paint(TCanvas& canvas) override;
    bool Opaque() const override { return true; }
    void Resized() override;
    void MouseEnter() override;
    void MouseLeave() override;

private:
    class TAnimateThread;

    // TEffectHost
    TShowStyle FrameStyle() const override { return Style; }
    int FrameProgress() const override { return progress_; }
    int FrameStep() const override { return frames_ > 0 ? std::max(1, 100 / frames_) : step_; }
    void SetProgressField(int progress) override {
        progress_ = static_cast<std::uint8_t>(progress);
    }
    TBitmap24& ScreenBitmap() override { return in_place_ ? place_view_ : screen_; }
    // The picture being shown: Picture itself, unless Picture was replaced
    // during the transition.
    const TBitmap24& PictureBitmap() const override {
        return held_picture_ ? *held_picture_ : *picture_;
    }
    const TBitmap24& OldBitmap() const override { return *old_bmp_; }
    bool Painting() const override { return painting_; }
    void BeforeNewFrame() override;
    bool HasBeforeNewFrame() const override { return static_cast<bool>(OnBeforeNewFrame); }
    void AfterNewFrame() override;
    bool HasAfterNewFrame() const override { return static_cast<bool>(OnAfterNewFrame); }
    bool CustomDraw() override;
    void InvalidateArea(const TRect& rect) override;
    void InvalidateRegion(const TRegion& region) override;
    // Kept while the screen bitmap is painted pixel for pixel.
    TFrameChange* KeptChange() override;
    void UpdateNow() override;

    void CalculatePicRect();
    // Where the screen bitmap is painted, in the control's coordinates.
    TRect ImageRect() const;
    // While a transition runs, frames are drawn straight into the form's
    // back buffer when it is the window's surface, the picture covers the
    // control pixel for pixel and nothing else paints there: `view` is then
    // that part of it. The screen bitmap is brought up to date when the
    // transition ends (SettleScreen), or drawn again should the back buffer
    // be replaced before.
    bool InPlaceView(TBitmap24& view);
    bool StillInPlace();
    void SettleScreen();
    void PictureChanged();
    // Before Picture changes during a transition: keeps the picture shown.
    void KeepWorkPicture();
    void PrepareTransition();
    void Animate();
    // Draws the frames of `shows` in step until each has ended or stopped.
    static void AnimateInStep(std::vector<TCustomPicShow*> shows);
    bool Running() const { return busy_ && !manual_ && !stopping_; }
    void FrameStep();
    bool AtEnd() const {
        if (frames_ > 0 && frame_ < frames_) return false;
        return Reverse ? progress_ == 0 : progress_ == 100;
    }
    void TransitionComplete();
    void ReleaseWorkBitmaps();
    // Into storage_, the oldest going when it is full.
    void Keep(TBitmap24&& bitmap);
    static constexpr std::size_t kKeptStorage = 2;
    void InvalidateIfShown();
    TRect ClientRect() const { return {0, 0, Width(), Height()}; }

    std::uint16_t step_ = 4;
    int frames_ = 0;
    int frame_ = 0; // frames drawn of this transition, with frames_
    bool manual_ = false;
    std::optional<TBitmap24> picture_, bg_picture_;
    TBackgroundMode bg_mode_ = TBackgroundMode::bmTiled;
    bool center_ = false, stretch_ = false, stretch_fine_ = false, auto_size_ = true;
    std::uint8_t progress_ = 0;
    bool busy_ = false;

    TBitmap24 screen_;
    std::optional<TBitmap24> start_from_;
    // Set while the last frame was drawn in place, into place_view_ of the
    // back buffer of that generation.
    bool in_place_ = false;
    std::uint64_t in_place_generation_ = 0;
    TBitmap24 place_view_;
    std::optional<TBitmap24> held_picture_;
    std::unique_ptr<TBitmap24> old_bmp_;
    bool keep_storage_ = false;
    std::vector<TBitmap24> storage_; // at most kKeptStorage
    TRect pic_rect_;
    TFrameChange kept_change_; // Moved is the whole screen bitmap as a transition starts
    TAnimateThread* thread_ = nullptr;
    bool painting_ = false, stopping_ = false;
};

class TPicShow final : public TCustomPicShow {
public:
    using TCustomPicShow::TCustomPicShow;
};

} // namespace tevrin
