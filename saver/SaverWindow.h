// The full-screen window of the saver mode: it owns the description record,
// the picture show control, the media player and the slide timer; loads the
// payload at its first activation; runs the slide show and the background
// sounds; and ends the saver on input that counts, subject to the saver
// password where the system keeps one.
#pragma once

#include "payload/Image.h"
#include "payload/SSFileLocations.h"
#include "payload/TempFolder.h"
#include "picshow/PicShow.h"
#include "ui/Forms.h"
#include "ui/MediaPlayer.h"
#include "ui/Services.h"

#include <memory>
#include <string>

namespace tevrin {

// The private message that starts the slide show.
inline constexpr int WM_STARTSHOW = 1025;

class TfrmScrn final : public TForm {
public:
    // `own_path` is the saver file with the payload; `temp_parent` the
    // folder the run folder goes in (the system's temporary folder when
    // empty); `user_dir` the per-user settings base (UserConfigDir() when
    // empty).
    TfrmScrn(TApplication& app, std::string own_path, std::string temp_parent = {},
             std::string user_dir = {});
    ~TfrmScrn() override;

    void HandleMessage(int message, std::intptr_t wparam, std::intptr_t lparam) override;

    // Asks to end the saver; the password check may refuse.
    void RequestClose();
    // One step of the slide show; also the slide timer's tick.
    void ShowNextPicture();

    TSSFileLocations& Locations() { return locations_; }
    TPicShow& PShow() { return *show_; }
    TTimer& TimerSlide() { return timer_slide_; }
    TTimer& TimerFlash() { return timer_flash_; }
    TMoviePlayerControl* FlashPlayer() { return movie_.get(); }
    bool ShowStarted() const { return show_started_; }
    bool FirstActivate() const { return first_activate_; }
    const TTempFolder& Temp() const { return temp_; }
    // Reference position of the mouse-move exit rule.
    int LastX = 0, LastY = 0;
    // Mouse moves the exit rule passes over after a refused request.
    int MoveIgnoreCount = 0;

private:
    void FormActivate();
    void FormClose();
    void FormKeyDown();
    void FormMouseMove(int x, int y);
    void AppIdle(bool& done);
    // Places the record's picture on a screen-sized bitmap as the fit mode
    // says (centred at natural size, on black, when the record names none)
    // and, on every other picture, draws the caption at the bottom.
    TBitmap24 ComposePicture(const TImage& image);
    void PlayNextSound();
    void MediaNotify();
    // Creates the movie player; without one, offers its download and ends.
    bool CreateFlashPlayer();
    void PlayNextMovie();
    void TimerFlashTimer();
    // The input that ends a movie saver: a key released, any mouse button,
    // the pointer moved from where it was. No password check.
    void MovieInput(const TEvent& event);
    void InstallInputHook();
    // Whether the saver may end: the system's saver password, where it is on.
    bool MayEnd();

    std::string own_path_;
    TTempFolder temp_;
    std::string user_dir_;
    TSSFileLocations locations_;
    std::unique_ptr<TPicShow> show_;
    TMediaPlayer media_;
    TTimer timer_slide_;
    TTimer timer_flash_;
    std::unique_ptr<TMoviePlayerControl> movie_;
    bool movie_visible_ = false;
    // Set when the system refused the input hook: the window's own input
    // then follows the hook's rules.
    bool own_movie_input_ = false;
    std::pair<int, int> hook_cursor_;
    bool first_activate_ = true;
    bool loaded_ = false; // the first activation's start-up work is done
    bool show_started_ = false;
    bool show_text_ = false;
    bool closed_up_ = false;
    int picture_index_ = 0, sound_index_ = 0, movie_index_ = 0;
    int failed_in_row_ = 0;
};

} // namespace tevrin
