// SPDX-License-Identifier: MIT
#include "setup/SetupDialog.h"

#include "base/Errors.h"
#include "payload/SSFileLocations.h"
#include "payload/Trailer.h"
#include "setup/InterfaceTexts.h"
#include "setup/StoredSettings.h"
#include "show/FolderContent.h"
#include "ui/Services.h"

namespace tevrin {
namespace {

constexpr int kWidth = 305, kBottomPanel = 50, kMargin = 29;
// The form is laid out 359 high; shown, it is 100 pixels shorter, cutting
// off what lies below the buttons.
constexpr int kHeight = 359 - 100;
constexpr std::uint32_t kDialogColor = 0xE7F7FF; // red 255, green 247, blue 231
constexpr std::uint32_t kLinkColor = 0xFF0000;   // blue

} // namespace

TfrmSetup::TfrmSetup(TApplication& app, std::string own_path, std::string user_dir)
    : TForm(app), lblTitle(*this), lblAuthor(*this), lblEmail(*this), lblWeb(*this),
      lblFolder(*this), cbMute(*this), OKButton(*this), FolderButton(*this),
      own_path_(std::move(own_path)), user_dir_(std::move(user_dir)) {
    SetCaption("Setup []");
    Color = kDialogColor;
    lblTitle.Font.Bold = true;
    lblEmail.Underline = lblWeb.Underline = true;
    OKButton.Default = true;
    // Centred on the primary monitor, at its DPI.
    const TMonitor monitor = app.Platform().PrimaryMonitor();
    Layout(monitor.PixelsPerInch);
    const TRect screen = monitor.Bounds;
    SetBounds(screen.Left + (screen.Width() - ClientWidth()) / 2,
              screen.Top + (screen.Height() - ClientHeight()) / 2, ClientWidth(), ClientHeight());

    // The texts, from the interface texts file when there is one.
    const TDialogTexts texts = LoadDialogTexts(own_path_);
    lblTitle.SetCaption(texts.Title);
    lblAuthor.SetCaption(texts.Author);
    lblEmail.SetCaption(texts.Email);
    lblWeb.SetCaption(texts.Web);
    OKButton.Caption = texts.OK;
    cbMute.Caption = texts.MuteMusic;
    FolderButton.Caption = texts.PicturesFolder;
    // Shown for a folder saver only, once its record is read.
    lblFolder.SetVisible(false);
    FolderButton.SetVisible(false);
    MuteChanged = false;

    cbMute.OnClick = [this] { MuteChanged = true; };
    OKButton.OnClick = [this] { OKButtonClick(); };
    FolderButton.OnClick = [this] { FolderButtonClick(); };
    for (TLabel* link : {&lblEmail, &lblWeb}) {
        link->OnMouseEnter = [this] {
            Application().Platform().SetCursorShape(TPlatform::TCursorShape::HandPoint);
        };
        link->OnMouseLeave = [this] {
            Application().Platform().SetCursorShape(TPlatform::TCursorShape::Default);
        };
        link->OnClick = [this, link] { OpenLink(*link); };
        link->OnMouseUp = [link](int button, std::uint8_t, int, int) {
            if (button == 0 && link->OnClick) link->OnClick();
        };
    }
    OnShow = [this] { FormShow(); };
    OnKeyDown = [this](int& key, std::uint8_t) {
        if (key == 13)
            OKButton.Click(); // the default button
        else if (key == 27)
            Close(); // closes without writing
    };
}

void TfrmSetup::Layout(int dpi) {
    // Laid out in pixels of a 96 DPI screen, scaled to the monitor's DPI:
    // the saver is DPI-aware, so nobody scales it for us.
    if (dpi <= 0) dpi = kDefaultPixelsPerInch;
    auto s = [dpi](int pixels) { return MulDiv(pixels, dpi, kDefaultPixelsPerInch); };
    SetBounds(BoundsRect().Left, BoundsRect().Top, s(kWidth), s(kHeight));
    TPlatform& platform = Application().Platform();
    auto font = [&](TGraphicControl& control, TFontSpec& chosen, int height, std::uint32_t color) {
        chosen.Face = "MS Sans Serif";
        chosen.Height = s(height);
        chosen.Color = color;
        if (control.Native() != 0) platform.SetNativeFont(control.Native(), chosen);
    };
    font(lblTitle, lblTitle.Font, -13, 0x000000);
    font(lblAuthor, lblAuthor.Font, -11, 0x000000);
    font(lblEmail, lblEmail.Font, -11, kLinkColor);
    font(lblWeb, lblWeb.Font, -11, kLinkColor);
    font(cbMute, cbMute.Font, -11, 0x000000);
    font(OKButton, OKButton.Font, -11, 0x000000);
    font(lblFolder, lblFolder.Font, -11, 0x000000);
    font(FolderButton, FolderButton.Font, -11, 0x000000);
    lblTitle.SetBounds(s(kMargin), s(23), s(36), s(16));
    lblAuthor.SetBounds(s(kMargin), s(44), s(34), s(13));
    cbMute.SetBounds(s(kMargin), s(71), s(84), s(15));
    lblEmail.SetBounds(s(kMargin), s(106), s(28), s(13));
    lblWeb.SetBounds(s(kMargin), s(127), s(66), s(13));
    OKButton.SetBounds(s(214), s(kHeight - kBottomPanel + 15), s(75), s(25));
    lblFolder.SetBounds(s(kMargin), s(155), s(66), s(13));
    FolderButton.SetBounds(s(kMargin), s(kHeight - kBottomPanel + 15), s(110), s(25));
    for (TLabel* label : {&lblTitle, &lblAuthor, &lblEmail, &lblWeb, &lblFolder}) {
        // Long texts end with an ellipsis at the right margin (of the
        // client area, each margin rounded as the label's left one is);
        // measured again in the new font.
        label->MaxWidth = ClientWidth() - 2 * s(kMargin);
        label->SetCaption(label->Caption());
    }
}

void TfrmSetup::DpiChanged(int dpi) {
    Layout(dpi);
}

void TfrmSetup::FormShow() {
    TFile file = OpenOwnFile(own_path_);
    const std::optional<std::int32_t> offset = ReadTrailerField(file, TTrailerField::RecordOffset);
    if (!offset) return;
    if (!file.Seek(*offset)) throw EReadError(msg::kStreamReadError);
    TFileSource source(file);
    TReader reader(source);
    std::unique_ptr<TComponent> object = ReadComponent(reader);
    auto* record = dynamic_cast<TSSFileLocations*>(object.get());
    if (record == nullptr) throw EReadError(msg::kInvalidStreamFormat);
    cbMute.SetChecked(TStoredSettings(own_path_, user_dir_).ReadMute(false));
    SetCaption(Format("Setup [%s]", {record->Title}));
    lblTitle.SetCaption(lblTitle.Caption() + record->Title);
    lblAuthor.SetCaption(lblAuthor.Caption() + record->Author);
    lblEmail.SetCaption(record->Email);
    lblWeb.SetCaption(record->Web);
    if (record->PictureFolders.empty() || !Application().Platform().Services().HasFolderPicker())
        return;
    std::string folders;
    if (const auto chosen = TStoredSettings(own_path_, user_dir_).ReadFolder()) {
        folders = *chosen;
    } else {
        for (const std::string& folder : record->PictureFolders)
            folders += (folders.empty() ? "" : ", ") + ExpandFolderPath(folder);
    }
    lblFolder.SetCaption(folders);
    lblFolder.SetVisible(true);
    FolderButton.SetVisible(true);
}

void TfrmSetup::FolderButtonClick() {
    // The picker opens at the folder shown (the first, of several).
    const std::string shown = lblFolder.Caption();
    const std::string initial = shown.substr(0, shown.find(", "));
    if (auto folder = Application().Platform().Services().ChooseFolder(Window(), initial)) {
        ChosenFolder = *folder;
        lblFolder.SetCaption(*folder);
    }
}

void TfrmSetup::OKButtonClick() {
    if (MuteChanged) TStoredSettings(own_path_, user_dir_).WriteMute(cbMute.Checked());
    if (ChosenFolder) TStoredSettings(own_path_, user_dir_).WriteFolder(*ChosenFolder);
    Close();
}

void TfrmSetup::OpenLink(const TLabel& label) {
    if (label.Caption().empty()) return;
    Application().Platform().Services().ShellOpen(Window(), label.Caption());
}

} // namespace tevrin
