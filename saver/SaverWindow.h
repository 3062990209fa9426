// SPDX-License-Identifier: MIT
// The saver mode's windows: one per monitor, each covering its monitor with
// a picture show. The one on the primary monitor (TfrmScrn, the main form)
// owns the description record, the media player and the slide timer; loads
// the payload at its first activation; places a window on every other
// monitor; runs the slide shows the record's MonitorMode asks for and the
// background sounds; and ends the saver on input that counts on any of the
// windows, subject to the saver password where the system keeps one.
#pragma once

#include "payload/Image.h"
#include "payload/SSFileLocations.h"
#include "payload/TempFolder.h"
#include "picshow/PicShow.h"
#include "saver/SlideShow.h"
#include "show/Choices.h"
#include "show/Content.h"
#include "show/FolderContent.h"
#include "show/Motion.h"
#include "show/SlideOrder.h"
#include "ui/Forms.h"
#include "ui/MediaPlayer.h"
#include "ui/Services.h"

#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tevrin {

// The private message that starts the slide show.
inline constexpr int WM_STARTSHOW = 1025;
// The player's step asked for while a change ran: wparam 1 forward, -1 back.
inline constexpr int WM_PLAYERSTEP = 1026;

// The player: the show in a window of its own or full screen, stepped by
// keys (right and left for the next and previous picture, Space to pause,
// F for full screen, Escape or Q to end) and never ended by the pointer.
struct TPlayerOptions {
    bool FullScreen = false;
    // The window's client size; 0: two thirds of the primary monitor's.
    int Width = 0, Height = 0;
};

class TfrmScrn;

// A picture the player showed, to go back to.
struct TPlayerShown {
    int Picture;
    std::string Caption;
    TShowStyle Style;
};
// What the player keeps between its keys.
struct TPlayerState {
    TPlayerOptions Options;
    bool FullScreen = false;
    bool Paused = false;
    std::uint32_t PausedAt = 0;
    // The pictures shown, oldest first, and the place of the one on
    // screen (-1 before the first).
    std::vector<TPlayerShown> History;
    int Place = -1;
    // A change's transitions run; a step asked for meanwhile waits.
    bool Changing = false;
    int PendingStep = 0;
};

// One monitor's window: borderless, black, a picture show over all of it.
// Its input goes to the saver, pointer positions in desktop coordinates.
class TScreenView : public TForm {
public:
    TScreenView(TApplication& app, TfrmScrn& saver);
    ~TScreenView() override;

    TPicShow& PShow() { return *show_; }
    // The monitor the window covers, once Cover has placed it.
    const TMonitor& Monitor() const { return monitor_; }
    void Cover(const TMonitor& monitor);

protected:
    // What the view's slides are made for: its monitor, or the player's
    // window.
    void SetMonitor(const TMonitor& monitor) { monitor_ = monitor; }

public:
    // The slide shown, when pictures move between transitions.
    std::optional<TMovingSlide>& Moving() { return moving_; }

private:
    std::unique_ptr<TPicShow> show_;
    TMonitor monitor_;
    std::optional<TMovingSlide> moving_;
};

class TfrmScrn final : public TScreenView {
public:
    // `own_path` is the saver file with the payload; `temp_parent` the
    // folder the run folder goes in (the system's temporary folder when
    // empty); `user_dir` the per-user settings base (UserConfigDir() when
    // empty).
    TfrmScrn(TApplication& app, std::string own_path, std::string temp_parent = {},
             std::string user_dir = {});
    ~TfrmScrn() override;

    // Makes this the player rather than the saver; before the first Show.
    void Play(const TPlayerOptions& options);
    bool Paused() const { return player_ && player_->Paused; }
    bool FullScreen() const { return player_ && player_->FullScreen; }

    void HandleMessage(int message, std::intptr_t wparam, std::intptr_t lparam) override;

    // Asks to end the saver; the password check may refuse.
    void RequestClose();
    // Input on any of the saver's windows: a key, a button, the pointer at
    // (x, y) on the desktop, and every key and mouse event first (true when
    // taken).
    void KeyInput(int key);
    void PointerMoved(int x, int y);
    bool RawInput(const TEvent& event);
    // One step of the slide show; also the slide timer's tick.
    void ShowNextPicture();

    TSSFileLocations& Locations() { return locations_; }
    // The windows on the other monitors, once the saver has started.
    const std::vector<std::unique_ptr<TScreenView>>& OtherViews() const { return others_; }
    const TExitRules& ExitRules() const { return exit_rules_; }
    TTimer& TimerSlide() { return timer_slide_; }
    TTimer& TimerFlash() { return timer_flash_; }
    TTimer& TimerMotion() { return timer_motion_; }
    TMoviePlayerControl* FlashPlayer() { return movie_.get(); }
    bool ShowStarted() const { return show_started_; }
    bool FirstActivate() const { return first_activate_; }
    const TTempFolder& Temp() const { return temp_; }

private:
    // Shows that run in step: one order of slides and the windows showing
    // it (several when they mirror each other).
    // Slides made ahead for each view of a group: moving ones, or still
    // pictures composed for their screens without their caption (drawn
    // when shown, where the text engine is).
    struct TMadeSlides {
        std::vector<TMovingSlide> Moving;
        std::vector<TBitmap24> Still;
    };
    // A change of picture: what it shows, and, for pictures that move or
    // come from folders, their slides, made ahead on another thread while
    // the pictures before them show, so a change never waits for a disk.
    struct TChange {
        std::optional<int> Picture; // none: the pictures are over
        std::string Caption;
        TShowStyle Style = kInitialStyle;
        std::future<TMadeSlides> Slides;
    };
    struct TShowGroup {
        TSlideOrder Order;
        std::vector<TScreenView*> Views;
        std::optional<TChange> Next;
    };
    // The group's next change from its order.
    TChange NextChange(TShowGroup& group);
    // The group's next change: the player's next in its history when it has
    // gone back, else the one made ahead, else from the order.
    TChange TakeChange(TShowGroup& group, bool& replayed);
    // The player's keys, its step back, and its window.
    void PlayerKey(int key);
    void PlayerStep(int direction);
    void ShowPrevious();
    void TogglePause();
    void PlacePlayer();
    // Makes the shown picture again for the window's new size.
    void Refit();
    // A slide of `picture` for `view`, still or moving (then made its
    // Moving()), with `caption`; `t` is the moment of its motion shown.
    TBitmap24 SlideFor(TScreenView& view, const TShowPicture& picture, int index,
                       const std::string& caption, double t);
    // Starts the slide timer and the motion of the pictures now shown.
    void StartTimers(int interval);
    // A folder saver with no picture to show says so on the group's screens.
    void ShowNoPictures(TShowGroup& group, TShowStyle style);
    // Starts making the next change's moving slides of every group.
    void PrepareNextChanges();

    void FormActivate();
    void FormClose();
    void AppIdle(bool& done);
    // Covers every monitor and groups the windows as MonitorMode says; the
    // player has its one window.
    void CoverMonitors();
    void CoverEveryMonitor(const std::vector<TMonitor>& monitors, int count);
    // Runs the transitions of a change together, then what follows them:
    // moving pictures let go of their still picture, and a player's step
    // asked for meanwhile is posted.
    void RunChange(const std::vector<TCustomPicShow*>& shows);
    // One frame of the moving pictures, on every view, from the one clock.
    void MoveStep();
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
    // Read from the record once it is loaded.
    TShowChoices choices_;
    // The stored pictures, and for a folder saver the folders' besides; the
    // show takes them through content_.
    std::optional<TPayloadContent> stored_;
    std::unique_ptr<TFolderContent> folder_;
    const TShowContent* content_ = nullptr;
    std::vector<std::unique_ptr<TScreenView>> others_;
    std::vector<TShowGroup> groups_;
    TExitRules exit_rules_;
    std::optional<TSoundOrder> sounds_;
    TMediaPlayer media_;
    TTimer timer_slide_;
    TTimer timer_flash_;
    TTimer timer_motion_;
    TTimer timer_refit_;
    std::optional<TPlayerState> player_;
    // When the slide timer was started, and for how long.
    std::uint32_t slide_start_ = 0;
    int slide_interval_ = 0;
    // When the pictures on screen started to move, and for how long.
    std::uint32_t motion_start_ = 0, motion_ms_ = 0;
    // Picture changes so far: each change moves anew.
    int changes_ = 0;
    std::unique_ptr<TMoviePlayerControl> movie_;
    bool movie_visible_ = false;
    // Set when the system refused the input hook: the window's own input
    // then follows the hook's rules.
    bool own_movie_input_ = false;
    std::pair<int, int> hook_cursor_;
    bool first_activate_ = true;
    bool loaded_ = false; // the first activation's start-up work is done
    bool show_started_ = false;
    bool closed_up_ = false;
    int movie_index_ = 0;
    int failed_in_row_ = 0;
};

} // namespace tevrin
