// SPDX-License-Identifier: MIT
#include "saver/SaverWindow.h"

#include "base/Errors.h"
#include "base/IntConv.h"
#include "base/Paths.h"
#include "payload/Payload.h"
#include "setup/InterfaceTexts.h"
#include "setup/StoredSettings.h"
#include "show/Slide.h"
#include "ui/Keys.h"
#include "ui/Services.h"

#include <algorithm>

namespace tevrin {
namespace {

constexpr std::uint32_t kButtonFace = 0xF0F0F0;
// Where the question about the missing movie player sends the user.
constexpr const char* kFlashDownloadPage = "https://tevrin.invalid/movie-player";
constexpr int kDesignWidth = 423, kDesignHeight = 350;
// The pictures the player can go back through.
constexpr std::size_t kPlayerHistory = 1000;
// How long a window's size must hold before its picture is made again.
constexpr std::uint32_t kRefitDelayMs = 150;

// What a slide is made for on a monitor.
TScreenSpec ScreenOf(const TMonitor& monitor) {
    return {monitor.Bounds.Width(), monitor.Bounds.Height(), monitor.PixelsPerInch,
            monitor.BitsPerPixel <= 8};
}

} // namespace

TScreenView::TScreenView(TApplication& app, TfrmScrn& saver) : TForm(app) {
    Border = false;
    Color = 0x000000;
    show_ = std::make_unique<TPicShow>(*this);
    show_->SetAlign(TAlign::alClient);
    show_->SetCenter(true);
    show_->SetStretch(true);
    show_->Threaded = false;
    auto moved = [this, &saver](std::uint8_t, int x, int y) {
        saver.PointerMoved(BoundsRect().Left + x, BoundsRect().Top + y);
    };
    show_->OnMouseMove = moved;
    OnMouseMove = moved;
    show_->OnMouseDown = [&saver](int, std::uint8_t, int, int) { saver.RequestClose(); };
    OnMouseDown = [&saver](int, std::uint8_t, int, int) { saver.RequestClose(); };
    OnKeyDown = [&saver](int& key, std::uint8_t) { saver.KeyInput(key); };
    OnInput = [&saver](const TEvent& event) { return saver.RawInput(event); };
}

TScreenView::~TScreenView() = default;

void TScreenView::Cover(const TMonitor& monitor) {
    monitor_ = monitor;
    const TRect& b = monitor.Bounds;
    SetBounds(b.Left, b.Top, b.Width(), b.Height());
    SetTopmost(true);
}

TfrmScrn::TfrmScrn(TApplication& app, std::string own_path, std::string temp_parent,
                   std::string user_dir)
    : TScreenView(app, *this), own_path_(std::move(own_path)), temp_(std::move(temp_parent)),
      user_dir_(std::move(user_dir)), locations_(app.Platform().PrimaryMonitor().PixelsPerInch),
      media_(app), timer_slide_(app), timer_flash_(app), timer_motion_(app), timer_refit_(app) {
    Color = kButtonFace;
    const TRect screen = app.Platform().PrimaryMonitor().Bounds;
    SetBounds(screen.Left + (screen.Width() - kDesignWidth) / 2,
              screen.Top + (screen.Height() - kDesignHeight) / 2, kDesignWidth, kDesignHeight);
    timer_slide_.SetEnabled(false);
    timer_flash_.SetInterval(1000);
    timer_flash_.OnTimer = [this] { TimerFlashTimer(); };
    timer_motion_.OnTimer = [this] { MoveStep(); };
    timer_refit_.SetEnabled(false);
    timer_refit_.SetInterval(kRefitDelayMs);
    timer_refit_.OnTimer = [this] { Refit(); };
    media_.OnNotify = [this] { MediaNotify(); };
    OnActivate = [this] { FormActivate(); };
    OnClose = [this] { FormClose(); };
}

TfrmScrn::~TfrmScrn() {
    if (loaded_ && !closed_up_) FormClose();
    Application().Platform().Services().RemoveInputHook();
    media_.Close();
    movie_.reset();
    groups_.clear();
    others_.clear();
    RemoveExtractedFiles(locations_, temp_);
}

void TfrmScrn::Play(const TPlayerOptions& options) {
    player_.emplace();
    player_->Options = options;
    player_->FullScreen = options.FullScreen;
    Border = !options.FullScreen;
    OnResize = [this] {
        if (!loaded_) return;
        timer_refit_.SetEnabled(false);
        timer_refit_.SetEnabled(true);
    };
}

void TfrmScrn::FormActivate() {
    if (!first_activate_) return;
    TApplication& app = Application();
    TPlatform& platform = app.Platform();
    const TLoadOutcome outcome = LoadPayload(own_path_, locations_, temp_);
    if (outcome.Result == TLoadOutcome::TrailerMissing) return; // tried again next time
    if (outcome.Result == TLoadOutcome::RecordUnreadable) {
        app.NoteFailure(outcome.Error);
        app.Terminate();
    } else {
        timer_slide_.OnTimer = [this] { ShowNextPicture(); };
    }
    // Items that could not be copied out: one error report for the first;
    // the show goes on without them.
    if (!outcome.Skipped.empty()) app.ShowException(EError(outcome.Skipped.front()));
    locations_.lMute = TStoredSettings(own_path_, user_dir_).ReadMute(locations_.lMute);
    if (locations_.Ver == "flash") {
        if (!CreateFlashPlayer()) return;
        if (!player_) InstallInputHook();
        if (locations_.PicCount() == 0) PlayNextMovie();
    }
    if (locations_.Ver == "photo") {
        if (movie_) movie_->SetVisible(false);
        sounds_.emplace(locations_);
        PlayNextSound();
    }
    first_activate_ = false;
    choices_ = TShowChoices::Of(locations_);
    stored_.emplace(own_path_, locations_);
    content_ = &*stored_;
    if (!locations_.PictureFolders.empty()) {
        // The user's own choice of folder, made in the settings dialog.
        if (auto chosen = TStoredSettings(own_path_, user_dir_).ReadFolder())
            locations_.PictureFolders = {*chosen};
        folder_ = std::make_unique<TFolderContent>(
            &*stored_, locations_, TStoredSettings(own_path_, user_dir_).FolderIndexPath());
        content_ = folder_.get();
    }
    CoverMonitors();
    exit_rules_.Start();
    app.OnIdle = [this](bool& done) { AppIdle(done); };
    if (!player_) {
        platform.Services().SetSaverRunning(true);
        platform.ShowCursor(false);
    }
    loaded_ = true;
    for (const auto& view : others_)
        view->Show();
    Show();
}

void TfrmScrn::CoverMonitors() {
    const std::vector<TMonitor> monitors = Application().Platform().Monitors();
    Color = 0x000000;
    const int count = content_->PictureCount();
    if (player_) {
        SetCaption(locations_.Title.empty() ? ExtractFileName(own_path_) : locations_.Title);
        PlacePlayer();
        TMonitor window = monitors.front();
        window.Bounds = BoundsRect();
        SetMonitor(window);
        PShow().SetFrames(choices_.TransitionFrames);
        groups_.push_back({TSlideOrder(choices_, count), {this}});
    } else {
        CoverEveryMonitor(monitors, count);
    }
    // The folders are looked through again as each round begins.
    if (folder_)
        for (TShowGroup& group : groups_)
            group.Order.SetRecount([this] {
                folder_->Rescan();
                return folder_->PictureCount();
            });
}

void TfrmScrn::CoverEveryMonitor(const std::vector<TMonitor>& monitors, int count) {
    Cover(monitors.front());
    std::vector<TScreenView*> views{this};
    for (std::size_t i = 1; i < monitors.size(); ++i) {
        others_.push_back(std::make_unique<TScreenView>(Application(), *this));
        others_.back()->Cover(monitors[i]);
        views.push_back(others_.back().get());
    }
    // A movie saver plays on the primary monitor only.
    const TMonitorMode mode =
        choices_.MoviesAfterPictures ? TMonitorMode::mmPrimary : choices_.Monitors;
    for (TScreenView* view : views)
        view->PShow().SetFrames(choices_.TransitionFrames);
    switch (mode) {
    case TMonitorMode::mmPrimary:
        groups_.push_back({TSlideOrder(choices_, count), {this}});
        for (const auto& view : others_)
            view->PShow().SetVisible(false); // black
        break;
    case TMonitorMode::mmMirror:
        groups_.push_back({TSlideOrder(choices_, count), views});
        break;
    case TMonitorMode::mmEach:
        for (std::size_t i = 0; i < views.size(); ++i)
            groups_.push_back({TSlideOrder(choices_, count, static_cast<int>(i)), {views[i]}});
        break;
    }
}

void TfrmScrn::AppIdle(bool& done) {
    // Once the show has started the message would only be ignored: posting
    // it on every idle moment would keep the loop from ever waiting.
    if (!show_started_) Application().PostMessage(this, WM_STARTSHOW);
    done = true;
}

void TfrmScrn::HandleMessage(int message, std::intptr_t wparam, std::intptr_t) {
    if (message == WM_PLAYERSTEP) {
        PlayerStep(static_cast<int>(wparam));
        return;
    }
    if (message != WM_STARTSHOW || show_started_) return;
    show_started_ = true;
    ShowNextPicture();
}

void TfrmScrn::ShowNextPicture() {
    if (!folder_ && content_->PictureCount() == 0) return;
    timer_slide_.SetEnabled(false);
    timer_motion_.SetEnabled(false);
    if (movie_ && movie_visible_) {
        movie_->SetVisible(false);
        movie_visible_ = false;
    }
    std::vector<TCustomPicShow*> shows;
    std::optional<int> first_shown;
    const bool motion = choices_.Motion == TMotion::moPanZoom;
    for (TShowGroup& group : groups_) {
        bool replayed = false;
        TChange change = TakeChange(group, replayed);
        TMadeSlides ready;
        std::optional<TShowPicture> picture;
        // A folder's picture that cannot be read (gone, or no picture) is
        // passed over for the next, once for each picture there is.
        for (int tries = content_->PictureCount(); change.Picture; --tries) {
            try {
                if (change.Slides.valid()) {
                    ready = change.Slides.get();
                    if (folder_ && !folder_->StillThere(*change.Picture))
                        throw EError(msg::kPictureUnreadable,
                                     {folder_->FileOf(*change.Picture), msg::kPictureGone});
                }
                const std::size_t made = motion ? ready.Moving.size() : ready.Still.size();
                if (made < group.Views.size()) picture = content_->Picture(*change.Picture);
                break;
            } catch (const EError& e) {
                if (!folder_) throw;
                Application().Note(e.what());
                ready = {};
                if (replayed) {
                    player_->History.erase(player_->History.begin() + player_->Place--);
                    replayed = false;
                }
                change = tries > 1 ? NextChange(group) : TChange{};
            }
        }
        if (!change.Picture && folder_) {
            ShowNoPictures(group, change.Style);
            for (TScreenView* view : group.Views)
                shows.push_back(&view->PShow());
            continue;
        }
        if (!change.Picture) {
            // The pictures are over: movies for the rest of the run.
            PShow().SetVisible(false);
            PlayNextMovie();
            return;
        }
        const int index = *change.Picture;
        if (!first_shown) first_shown = index;
        if (player_ && !replayed) {
            std::vector<TPlayerShown>& history = player_->History;
            history.insert(history.begin() + ++player_->Place,
                           {index, change.Caption, change.Style});
            if (history.size() > kPlayerHistory) {
                history.erase(history.begin());
                --player_->Place;
            }
        }
        for (std::size_t v = 0; v < group.Views.size(); ++v) {
            TScreenView* view = group.Views[v];
            TPicShow& show = view->PShow();
            if (show.Busy()) show.Stop();
            // Frames go on between a moving show's transitions: a
            // transition's bitmaps stay for the next.
            show.SetKeepStorage(motion);
            // The last picture is on screen already: it goes before the
            // next one is made.
            show.ClearPicture();
            view->Moving().reset();
            TTextEngine& text = Application().Platform().Text();
            if (motion && v < ready.Moving.size()) {
                view->Moving() = std::move(ready.Moving[v]);
                view->Moving()->SetCaption(change.Caption, choices_, view->Monitor().PixelsPerInch,
                                           text);
                // The transition brings in the motion's first frame.
                const TBitmap24& back = view->BackBuffer();
                TBitmap24 first = show.TakeStorage(back.Width(), back.Height(), back.PixelBytes());
                view->Moving()->Draw(0, first);
                show.SetPicture(std::move(first));
            } else if (!motion && v < ready.Still.size()) {
                DrawCaption(ready.Still[v], change.Caption, choices_.Caption,
                            view->Monitor().PixelsPerInch, text);
                show.SetPicture(std::move(ready.Still[v]));
            } else {
                show.SetPicture(SlideFor(*view, *picture, index, change.Caption, 0));
            }
            show.Style = change.Style;
            shows.push_back(&show);
        }
    }
    if (choices_.ClearOldImage) {
        for (TCustomPicShow* show : shows) {
            show->Clear();
            show->Parent().Update();
        }
    }
    ++changes_;
    RunChange(shows);
    // The primary show's picture sets the time until the next change.
    StartTimers(content_->IntervalMs(first_shown.value_or(0)).value_or(choices_.IntervalMs));
}

void TfrmScrn::RunChange(const std::vector<TCustomPicShow*>& shows) {
    if (player_) player_->Changing = true;
    TCustomPicShow::ExecuteTogether(shows);
    if (player_) player_->Changing = false;
    // A moving picture draws its frames from its slide: the transition's
    // last frame is on screen, and the picture it came from goes.
    if (choices_.Motion == TMotion::moPanZoom)
        for (TCustomPicShow* show : shows)
            if (!show->Busy()) show->ClearPicture();
    Application().ProcessMessages();
    if (player_ && player_->PendingStep != 0) {
        Application().PostMessage(this, WM_PLAYERSTEP, player_->PendingStep);
        player_->PendingStep = 0;
    }
}

void TfrmScrn::StartTimers(int interval) {
    const bool paused = player_ && player_->Paused;
    slide_start_ = Application().TickCount();
    slide_interval_ = interval;
    // A picture shown while paused starts its time when the pause ends.
    if (paused) player_->PausedAt = slide_start_;
    timer_slide_.SetInterval(static_cast<std::uint32_t>(interval));
    timer_slide_.SetEnabled(!paused);
    // Pictures move from where the transition left them until the next
    // change begins.
    bool moves = false;
    for (const TShowGroup& group : groups_)
        for (TScreenView* view : group.Views)
            moves = moves || (view->Moving() && view->Moving()->Moves());
    // An interval of 0 stays on this picture: there is no next to make.
    // Pictures read from folders are made ahead too, as a slow disk may
    // take its time; a payload's stay as they were (read when shown).
    if ((choices_.Motion == TMotion::moPanZoom || folder_) && interval > 0) PrepareNextChanges();
    if (moves) {
        motion_start_ = slide_start_;
        motion_ms_ = static_cast<std::uint32_t>(interval > 0 ? interval : kMotionWithoutIntervalMs);
        timer_motion_.SetInterval(kDefaultFrameDelayMs);
        timer_motion_.SetEnabled(!paused);
    }
}

TBitmap24 TfrmScrn::SlideFor(TScreenView& view, const TShowPicture& picture, int index,
                             const std::string& caption, double t) {
    const TScreenSpec screen = ScreenOf(view.Monitor());
    TTextEngine& text = Application().Platform().Text();
    if (choices_.Motion != TMotion::moPanZoom) {
        // In the display's pixels, into the memory of the picture that went
        // before when it has the size: nothing to widen, no fresh memory.
        TPicShow& show = view.PShow();
        return MakeSlide(picture, caption, choices_, screen, text,
                         show.TakeStorage(screen.Width, screen.Height, show.FramePixelBytes()));
    }
    view.Moving().emplace(picture, choices_, screen, MotionSeed(index, changes_));
    view.Moving()->SetCaption(caption, choices_, screen.PixelsPerInch, text);
    return view.Moving()->Frame(t, view.BackBuffer().PixelBytes());
}

void TfrmScrn::ShowNoPictures(TShowGroup& group, TShowStyle style) {
    std::string folders;
    for (const std::string& folder : folder_->Folders())
        folders += (folders.empty() ? "" : ", ") + folder;
    const std::string sentence = Format(msg::kNoFolderPictures, {folders});
    // In the caption's face and size, in white on the black screen whatever
    // the caption's colour.
    TShowChoices choices = choices_;
    choices.Caption.Rgb = 0xFFFFFF;
    choices.Caption.Inside = true;
    for (TScreenView* view : group.Views) {
        TPicShow& show = view->PShow();
        if (show.Busy()) show.Stop();
        show.ClearPicture();
        view->Moving().reset();
        show.SetPicture(MakeSlide(TShowPicture{}, sentence, choices, ScreenOf(view->Monitor()),
                                  Application().Platform().Text()));
        show.Style = style;
    }
}

TfrmScrn::TChange TfrmScrn::TakeChange(TShowGroup& group, bool& replayed) {
    if (player_ && player_->Place + 1 < static_cast<int>(player_->History.size())) {
        // The made-ahead change waits for the player to come back to it.
        replayed = true;
        const TPlayerShown& shown = player_->History[++player_->Place];
        TChange change;
        change.Picture = shown.Picture;
        change.Caption = shown.Caption;
        change.Style = shown.Style;
        return change;
    }
    TChange change = group.Next ? std::move(*group.Next) : NextChange(group);
    group.Next.reset();
    return change;
}

TfrmScrn::TChange TfrmScrn::NextChange(TShowGroup& group) {
    TChange change;
    change.Picture = group.Order.NextPicture();
    if (!change.Picture) return change;
    change.Caption =
        SlideCaption(choices_, content_->Caption(*change.Picture), group.Order.NextCaption());
    change.Style = group.Order.NextStyle(group.Views.front()->PShow().Style);
    return change;
}

void TfrmScrn::PrepareNextChanges() {
    for (TShowGroup& group : groups_) {
        if (group.Next) continue; // the player went back: it is still ahead
        group.Next = NextChange(group);
        if (!group.Next->Picture) continue;
        std::vector<TScreenSpec> screens;
        for (TScreenView* view : group.Views)
            screens.push_back(ScreenOf(view->Monitor()));
        // Reads the payload or the file and decodes, which touch nothing of
        // the user-interface thread's; the content and choices outlive the
        // group's changes. A virtual clock waits for it as for any thread's
        // work.
        TPlatform& platform = Application().Platform();
        platform.ThreadStarted();
        group.Next->Slides =
            std::async(std::launch::async, [this, &platform, screens, index = *group.Next->Picture,
                                            seed = MotionSeed(*group.Next->Picture, changes_)] {
                struct TEnded {
                    TPlatform& Platform;
                    ~TEnded() { Platform.ThreadEnded(); }
                } ended{platform};
                const TShowPicture picture = content_->Picture(index);
                TMadeSlides slides;
                for (const TScreenSpec& screen : screens)
                    if (choices_.Motion == TMotion::moPanZoom)
                        slides.Moving.emplace_back(picture, choices_, screen, seed);
                    else
                        slides.Still.push_back(ComposeSlide(picture, choices_, screen));
                return slides;
            });
    }
}

void TfrmScrn::PlayerKey(int key) {
    switch (key) {
    case kVkRight:
        PlayerStep(1);
        break;
    case kVkLeft:
        PlayerStep(-1);
        break;
    case kVkSpace:
        TogglePause();
        break;
    case 'F':
        player_->FullScreen = !player_->FullScreen;
        PlacePlayer();
        break;
    case kVkEscape:
    case 'Q':
        Close();
        break;
    default:
        break;
    }
}

void TfrmScrn::PlayerStep(int direction) {
    if (!show_started_ || closed_up_) return;
    if (player_->Changing) {
        // The running transition ends where it is; the step follows it.
        player_->PendingStep = direction;
        for (const TShowGroup& group : groups_)
            for (TScreenView* view : group.Views)
                if (view->PShow().Busy()) view->PShow().Stop();
        return;
    }
    if (direction > 0)
        ShowNextPicture();
    else
        ShowPrevious();
}

void TfrmScrn::ShowPrevious() {
    TPlayerState& player = *player_;
    if (player.Place <= 0 || groups_.empty()) return;
    const TPlayerShown current = player.History[player.Place];
    const TPlayerShown back = player.History[player.Place - 1];
    std::optional<TShowPicture> picture;
    try {
        picture = content_->Picture(back.Picture);
    } catch (const EError& e) {
        // Gone from its folder since: the history forgets it.
        Application().Note(e.what());
        player.History.erase(player.History.begin() + player.Place - 1);
        --player.Place;
        return;
    }
    timer_slide_.SetEnabled(false);
    timer_motion_.SetEnabled(false);
    --player.Place;
    TPicShow& show = PShow();
    if (show.Busy()) show.Stop();
    // The transition that brought the current picture in runs backwards:
    // from what is on screen to the picture before, which it ends on.
    TBitmap24 shown = show.Screen();
    show.ClearPicture();
    Moving().reset();
    show.StartFrom(SlideFor(*this, *picture, back.Picture, back.Caption, 0));
    show.SetPicture(std::move(shown));
    show.Style = current.Style;
    show.Reverse = true;
    ++changes_;
    RunChange({&show});
    show.Reverse = false;
    show.Style = back.Style;
    StartTimers(content_->IntervalMs(back.Picture).value_or(choices_.IntervalMs));
}

void TfrmScrn::TogglePause() {
    TPlayerState& player = *player_;
    const std::uint32_t now = Application().TickCount();
    player.Paused = !player.Paused;
    if (player.Paused) {
        player.PausedAt = now;
        timer_slide_.SetEnabled(false);
        timer_motion_.SetEnabled(false);
        return;
    }
    if (!show_started_ || player.Changing) return; // the change starts the timers
    // The picture keeps the time it had left, and moves on from where it
    // stood.
    const std::uint32_t paused_for = now - player.PausedAt;
    slide_start_ += paused_for;
    motion_start_ += paused_for;
    if (slide_interval_ > 0) {
        const std::uint32_t elapsed = now - slide_start_;
        const auto interval = static_cast<std::uint32_t>(slide_interval_);
        timer_slide_.SetInterval(elapsed < interval ? interval - elapsed : 1);
        timer_slide_.SetEnabled(true);
    }
    if (Moving() && Moving()->Moves() && now - motion_start_ < motion_ms_) {
        timer_motion_.SetInterval(1);
        timer_motion_.SetEnabled(true);
    }
}

void TfrmScrn::PlacePlayer() {
    TPlatform& platform = Application().Platform();
    const TRect screen = platform.PrimaryMonitor().Bounds;
    const TPlayerState& player = *player_;
    if (player.FullScreen) {
        SetBorder(false);
        SetBounds(screen.Left, screen.Top, screen.Width(), screen.Height());
    } else {
        const TPlayerOptions& o = player.Options;
        const int w = std::min(o.Width > 0 ? o.Width : screen.Width() * 2 / 3, screen.Width());
        const int h = std::min(o.Height > 0 ? o.Height : screen.Height() * 2 / 3, screen.Height());
        SetBorder(true);
        SetBounds(screen.Left + (screen.Width() - w) / 2, screen.Top + (screen.Height() - h) / 2, w,
                  h);
    }
    platform.ShowCursor(!player.FullScreen);
}

void TfrmScrn::Refit() {
    timer_refit_.SetEnabled(false);
    const TRect bounds = BoundsRect();
    const TRect& made_for = Monitor().Bounds;
    if (bounds.Width() == made_for.Width() && bounds.Height() == made_for.Height()) return;
    if (player_->Changing) {
        timer_refit_.SetEnabled(true); // after the change
        return;
    }
    TMonitor window = Monitor();
    window.Bounds = bounds;
    SetMonitor(window);
    // Slides made ahead were made for the old size.
    for (TShowGroup& group : groups_)
        if (group.Next) group.Next->Slides = {};
    if (player_->Place < 0) return;
    const TPlayerShown& shown = player_->History[player_->Place];
    std::optional<TShowPicture> picture;
    try {
        picture = content_->Picture(shown.Picture);
    } catch (const EError& e) {
        Application().Note(e.what());
        return;
    }
    const std::uint32_t now = player_->Paused ? player_->PausedAt : Application().TickCount();
    const double t =
        motion_ms_ > 0 ? std::min(1.0, static_cast<double>(now - motion_start_) / motion_ms_) : 0.0;
    TPicShow& show = PShow();
    show.ClearPicture();
    show.SetPicture(SlideFor(*this, *picture, shown.Picture, shown.Caption, t));
    // At once: one frame brings the picture in at its new size.
    const int frames = show.Frames();
    show.SetFrames(1);
    RunChange({&show});
    show.SetFrames(frames);
}

void TfrmScrn::MoveStep() {
    const std::uint32_t elapsed = Application().TickCount() - motion_start_;
    const double t = std::min(1.0, static_cast<double>(elapsed) / motion_ms_);
    for (const TShowGroup& group : groups_)
        for (TScreenView* view : group.Views) {
            const std::optional<TMovingSlide>& slide = view->Moving();
            if (!slide || !slide->Moves()) continue;
            view->PShow().Redraw([&](TBitmap24& screen) { slide->Draw(t, screen); });
            view->Update();
        }
    if (t >= 1) {
        timer_motion_.SetEnabled(false);
        return;
    }
    // The next frame on the grid of frame times from the motion's start, so
    // late frames do not add up.
    const std::uint32_t next = (elapsed / kDefaultFrameDelayMs + 1) * kDefaultFrameDelayMs;
    timer_motion_.SetInterval(next - elapsed);
}

void TfrmScrn::PlayNextSound() {
    if (!sounds_) return;
    // A sound that cannot play (not copied out, no device for it) is passed
    // over for the next in the list; when none can, the saver stays silent.
    for (int index : sounds_->Candidates()) {
        try {
            media_.FileName = temp_.PathFor(locations_.SndFileName(index));
            media_.Open();
            media_.Play();
            sounds_->Played(index);
            return;
        } catch (const EError&) {
        }
    }
}

void TfrmScrn::MediaNotify() {
    // A device that takes every play and fails at once would otherwise start
    // the next sound at once, forever: once every sound has failed in a row,
    // playback stops for the rest of the run, as after a failed open.
    if (media_.NotifyValue == TNotifyValue::nvFailure) {
        if (++failed_in_row_ >= locations_.SndCount()) {
            media_.Close();
            return;
        }
    } else if (media_.NotifyValue == TNotifyValue::nvSuccessful) {
        failed_in_row_ = 0;
    }
    media_.Notify = false;
    try {
        media_.Stop();
    } catch (const EError&) {
    }
    PlayNextSound();
}

bool TfrmScrn::CreateFlashPlayer() {
    TPlatform& platform = Application().Platform();
    movie_ = platform.Services().CreateMoviePlayer(Window());
    if (movie_) {
        const TRect screen = platform.PrimaryMonitor().Bounds;
        movie_->SetBounds({0, 0, screen.Width(), screen.Height()});
        movie_->SetVisible(true);
        movie_visible_ = true;
        return true;
    }
    const std::string text = LoadDownloadSwfText(own_path_);
    if (Application().MessageBox(text, Application().Title, kMbYesNo | kMbIconInformation) ==
        kIdYes)
        platform.Services().ShellOpen(Window(), kFlashDownloadPage);
    Application().Terminate(); // the process ends, whatever the answer
    return false;
}

void TfrmScrn::PlayNextMovie() {
    if (!movie_) return;
    if (!movie_visible_) {
        movie_->SetVisible(true);
        movie_visible_ = true;
    }
    if (PShow().Visible()) PShow().SetVisible(false);
    const int count = locations_.FlashCount();
    if (count == 0) return;
    timer_flash_.SetEnabled(false);
    if (movie_index_ > count - 1) movie_index_ = 0;
    movie_->Stop();
    movie_->SetMovie(temp_.PathFor(locations_.FlashFileName(movie_index_)));
    try {
        movie_->Play();
    } catch (const EError&) {
    }
    ++movie_index_;
    timer_flash_.SetEnabled(true);
}

void TfrmScrn::TimerFlashTimer() {
    if (!movie_) return;
    if (movie_->TotalFrames() - 1 <= movie_->CurrentFrame()) PlayNextMovie();
}

void TfrmScrn::InstallInputHook() {
    TServices& services = Application().Platform().Services();
    hook_cursor_ = services.CursorPosition();
    if (!services.InstallInputHook([this](const TEvent& event) { MovieInput(event); }))
        own_movie_input_ = true; // the system refused: watch our own input
}

void TfrmScrn::MovieInput(const TEvent& event) {
    bool counts = event.Kind == TEvent::KeyUp || event.Kind == TEvent::MouseDown ||
                  event.Kind == TEvent::MouseUp;
    if (event.Kind == TEvent::MouseMove)
        counts = Application().Platform().Services().CursorPosition() != hook_cursor_;
    if (!counts) return;
    Application().Platform().Services().RemoveInputHook();
    own_movie_input_ = false;
    Close();
}

bool TfrmScrn::MayEnd() {
    TPlatform& platform = Application().Platform();
    TServices& services = platform.Services();
    const std::optional<std::string> use =
        services.ReadUserRegistry("Control Panel\\Desktop", "ScreenSaveUsePassword");
    if (!use) return true;
    platform.ShowCursor(true);
    bool may_end = true;
    std::int32_t on = 0;
    if (TryStrToInt(*use, on) && on != 0)
        may_end = services.VerifySaverPassword(Window()).value_or(true);
    platform.ShowCursor(false);
    return may_end;
}

void TfrmScrn::RequestClose() {
    // The player ends by its keys and its window's close box only.
    if (player_) return;
    exit_rules_.EndRequested();
    if (MayEnd()) Close();
}

void TfrmScrn::KeyInput(int key) {
    if (player_)
        PlayerKey(key);
    else if (!own_movie_input_)
        RequestClose();
}

void TfrmScrn::PointerMoved(int x, int y) {
    if (!player_ && exit_rules_.PointerMoved(x, y)) RequestClose();
}

bool TfrmScrn::RawInput(const TEvent& event) {
    if (!own_movie_input_) return false;
    MovieInput(event);
    return true;
}

void TfrmScrn::FormClose() {
    if (!loaded_ || closed_up_) return;
    closed_up_ = true;
    TPlatform& platform = Application().Platform();
    if (!player_) platform.Services().SetSaverRunning(false);
    Application().OnIdle = nullptr;
    for (const auto& view : others_)
        view->Hide();
    platform.ShowCursor(true);
}

} // namespace tevrin
