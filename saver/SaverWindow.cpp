#include "saver/SaverWindow.h"

#include "effects/Random.h"
#include "gfx/Compose.h"
#include "gfx/Errors.h"
#include "payload/IntConv.h"
#include "payload/Payload.h"
#include "setup/InterfaceTexts.h"
#include "setup/StoredSettings.h"
#include "ui/Services.h"
#include "ui/Text.h"

#include <cstdlib>

namespace tevrin {
namespace {

constexpr std::uint32_t kButtonFace = 0xF0F0F0;
// Where the question about the missing movie player sends the user.
constexpr const char* kFlashDownloadPage = "https://tevrin.invalid/movie-player";
constexpr int kDesignWidth = 423, kDesignHeight = 350;

// The classic defaults of the system colours a caption may name.
std::uint32_t ColorToRgb(TColor color) {
    if (color >= 0) return static_cast<std::uint32_t>(color) & 0xFFFFFF;
    switch (color & 0xFF) {
    case 5:
        return 0xFFFFFF; // window
    case 14:
        return 0xFFFFFF; // highlight text
    case 15:
        return 0xF0F0F0; // button face
    case 13:
        return 0xD77800; // highlight
    default:
        return 0x000000; // the text colours
    }
}

} // namespace

TfrmScrn::TfrmScrn(TApplication& app, std::string own_path, std::string temp_parent,
                   std::string user_dir)
    : TForm(app), own_path_(std::move(own_path)), temp_(std::move(temp_parent)),
      user_dir_(std::move(user_dir)), media_(app), timer_slide_(app), timer_flash_(app) {
    TPlatform& platform = app.Platform();
    Border = false;
    Color = kButtonFace;
    SetBounds((platform.ScreenWidth() - kDesignWidth) / 2,
              (platform.ScreenHeight() - kDesignHeight) / 2, kDesignWidth, kDesignHeight);
    show_ = std::make_unique<TPicShow>(*this);
    show_->SetAlign(TAlign::alClient);
    show_->SetCenter(true);
    show_->SetStretch(true);
    show_->Threaded = false;
    show_->OnMouseMove = [this](std::uint8_t, int x, int y) { FormMouseMove(x, y); };
    show_->OnMouseDown = [this](int, std::uint8_t, int, int) { RequestClose(); };
    timer_slide_.SetEnabled(false);
    timer_flash_.SetInterval(1000);
    timer_flash_.OnTimer = [this] { TimerFlashTimer(); };
    media_.OnNotify = [this] { MediaNotify(); };
    OnActivate = [this] { FormActivate(); };
    OnClose = [this] { FormClose(); };
    OnKeyDown = [this](int&, std::uint8_t) {
        if (!own_movie_input_) RequestClose();
    };
    OnMouseDown = [this](int, std::uint8_t, int, int) { RequestClose(); };
    OnMouseMove = [this](std::uint8_t, int x, int y) { FormMouseMove(x, y); };
    OnInput = [this](const TEvent& event) {
        if (!own_movie_input_) return false;
        MovieInput(event);
        return true;
    };
}

TfrmScrn::~TfrmScrn() {
    if (loaded_ && !closed_up_) FormClose();
    Application().Platform().Services().RemoveInputHook();
    media_.Close();
    movie_.reset();
    show_.reset();
    RemoveExtractedFiles(locations_, temp_);
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
        timer_slide_.SetInterval(static_cast<std::uint32_t>(std::max(locations_.Interval, 0)));
        timer_slide_.OnTimer = [this] { ShowNextPicture(); };
    }
    // Items that could not be copied out: the design's error report, once;
    // the show goes on without them.
    if (!outcome.Skipped.empty()) app.ShowException(EError(outcome.Skipped.front()));
    locations_.lMute = TStoredSettings(own_path_, user_dir_).ReadMute(locations_.lMute);
    if (locations_.Ver == "flash") {
        if (!CreateFlashPlayer()) return;
        InstallInputHook();
        if (locations_.PicCount() == 0) PlayNextMovie();
    }
    if (locations_.Ver == "photo") {
        if (movie_) movie_->SetVisible(false);
        if (locations_.SoundRandom == 3) sound_index_ = Random(locations_.SndCount());
        PlayNextSound();
    }
    first_activate_ = false;
    Color = 0x000000;
    SetBounds(0, 0, platform.ScreenWidth(), platform.ScreenHeight());
    LastX = LastY = -1;
    app.OnIdle = [this](bool& done) { AppIdle(done); };
    SetTopmost(true);
    platform.Services().SetSaverRunning(true);
    platform.ShowCursor(false);
    loaded_ = true;
    Show();
}

void TfrmScrn::AppIdle(bool& done) {
    // Once the show has started the message would only be ignored: posting
    // it on every idle moment would keep the loop from ever waiting.
    if (!show_started_) Application().PostMessage(this, WM_STARTSHOW);
    done = true;
}

void TfrmScrn::HandleMessage(int message, std::intptr_t, std::intptr_t) {
    if (message != WM_STARTSHOW || show_started_) return;
    show_started_ = true;
    ShowNextPicture();
}

void TfrmScrn::ShowNextPicture() {
    const int count = locations_.PicCount();
    if (count == 0) return;
    timer_slide_.SetEnabled(false);
    if (movie_ && movie_visible_) {
        movie_->SetVisible(false);
        movie_visible_ = false;
    }
    if (locations_.lRandomPic) {
        picture_index_ = Random(count);
    } else if (picture_index_ > count - 1) {
        if (locations_.Ver == "flash") {
            // The pictures are over: movies for the rest of the run.
            show_->SetVisible(false);
            if (movie_) {
                movie_->SetVisible(true);
                movie_visible_ = true;
            }
            PlayNextMovie();
            return;
        }
        picture_index_ = 0;
    }
    std::unique_ptr<TImage> image = FetchPicture(own_path_, locations_, picture_index_);
    if (show_->Busy()) show_->Stop();
    show_->SetPicture(ComposePicture(*image));
    if (locations_.lRandomStyle)
        show_->Style = static_cast<TShowStyle>(Random(127) + 1);
    else
        show_->Style = show_->Style < 127 ? static_cast<TShowStyle>(show_->Style + 1) : 1;
    if (locations_.lClearOldImage) {
        show_->Clear();
        Update();
    }
    show_->Execute();
    image.reset();
    Application().ProcessMessages();
    ++picture_index_;
    timer_slide_.SetEnabled(true);
}

TBitmap24 TfrmScrn::ComposePicture(const TImage& image) {
    TPlatform& platform = Application().Platform();
    const int w = platform.ScreenWidth(), h = platform.ScreenHeight();
    const TPicture& picture = image.Picture;
    const TRect place =
        PlacePicture(picture.UprightWidth(), picture.UprightHeight(), w, h, locations_.FitMode);
    // Decoded no larger than it is shown, and freed once composed.
    TBitmap24 canvas =
        ComposeOnScreen(picture.Decode(place.Width(), place.Height()), picture.Info.Orientation,
                        place, w, h, locations_.BlurBorders);
    show_text_ = !show_text_;
    if (show_text_ && !locations_.Text.empty()) {
        // Size, colour and face only: the caption is drawn upright and plain.
        const TFontSpec font{locations_.TextFont.Name,
                             -MulDiv(locations_.TextFont.Size(), ScreenPixelsPerInch(), 72),
                             ColorToRgb(locations_.TextFont.Color)};
        const TTextExtent extent = MeasureText(font, locations_.Text);
        PaintText(canvas, w / 2 - extent.Width / 2, h - extent.Height, font, locations_.Text);
    }
    return canvas;
}

void TfrmScrn::PlayNextSound() {
    const int count = locations_.SndCount();
    if (count == 0 || locations_.lMute) return;
    if (sound_index_ > count - 1) sound_index_ = 0;
    if (locations_.SoundRandom == 2) sound_index_ = Random(count);
    // A sound that cannot play (not copied out, no device for it) is passed
    // over for the next in the list; when none can, the saver stays silent.
    for (int attempt = 0; attempt < count; ++attempt) {
        const int index = (sound_index_ + attempt) % count;
        try {
            media_.FileName = temp_.PathFor(locations_.SndFileName(index));
            media_.Open();
            media_.Play();
            sound_index_ = locations_.SoundRandom == 3 ? index : index + 1;
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
        movie_->SetBounds({0, 0, platform.ScreenWidth(), platform.ScreenHeight()});
        movie_->SetVisible(true);
        movie_visible_ = true;
        return true;
    }
    const std::string text = LoadDownloadSwfText(own_path_);
    if (platform.MessageBox(text, Application().Title, kMbYesNo | kMbIconInformation) == kIdYes)
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
    if (show_->Visible()) show_->SetVisible(false);
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
    MoveIgnoreCount = 5;
    if (MayEnd()) Close();
}

void TfrmScrn::FormMouseMove(int x, int y) {
    if (MoveIgnoreCount > 0) {
        --MoveIgnoreCount;
        return;
    }
    if (LastX == -1 && LastY == -1) {
        LastX = x;
        LastY = y;
        return;
    }
    if (std::abs(x - LastX) > 2 && std::abs(y - LastY) > 2) {
        LastX = x;
        LastY = y;
        RequestClose();
    }
}

void TfrmScrn::FormClose() {
    if (!loaded_ || closed_up_) return;
    closed_up_ = true;
    TPlatform& platform = Application().Platform();
    platform.Services().SetSaverRunning(false);
    Application().OnIdle = nullptr;
    platform.ShowCursor(true);
}

} // namespace tevrin
