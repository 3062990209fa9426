// SPDX-License-Identifier: MIT
#include "ui/MessageForm.h"

#include <algorithm>

namespace tevrin {
namespace {

constexpr int kMargin = 20, kButtonWidth = 75, kButtonHeight = 25, kGap = 10;

} // namespace

TMessageForm::TMessageForm(TApplication& app, const std::string& text, const std::string& caption,
                           int buttons)
    : TForm(app), text_(*this), first_(*this), second_(*this),
      yes_no_((buttons & 0xF) == kMbYesNo) {
    // A box is never the form whose closing ends the application.
    if (app.MainForm() == this) app.SetMainForm(nullptr);
    const TFontSpec font{"DejaVu Sans", -12, 0x000000};
    Color = 0xF0F0F0;
    SetCaption(caption);
    SetTopmost(true);
    text_.Font = font;
    text_.SetCaption(text);
    first_.Font = second_.Font = font;
    first_.Default = true;
    first_.Caption = yes_no_ ? "&Yes" : "OK";
    second_.Caption = "&No";
    second_.SetVisible(yes_no_);
    const int button_row = yes_no_ ? 2 * kButtonWidth + kGap : kButtonWidth;
    const int width = std::max(text_.Width(), button_row) + 2 * kMargin;
    const int height = kMargin + text_.Height() + kMargin + kButtonHeight + kMargin;
    TPlatform& platform = app.Platform();
    const TRect screen = platform.PrimaryMonitor().Bounds;
    SetBounds(screen.Left + (screen.Width() - width) / 2,
              screen.Top + (screen.Height() - height) / 2, width, height);
    text_.SetBounds(kMargin, kMargin, text_.Width(), text_.Height());
    const int left = (width - button_row) / 2, top = height - kMargin - kButtonHeight;
    first_.SetBounds(left, top, kButtonWidth, kButtonHeight);
    second_.SetBounds(left + kButtonWidth + kGap, top, kButtonWidth, kButtonHeight);
    first_.OnClick = [this] { Answer(yes_no_ ? kIdYes : kIdOk); };
    second_.OnClick = [this] { Answer(kIdNo); };
    OnKeyDown = [this](int& key, std::uint8_t) {
        if (key == 13 || (yes_no_ && key == 'Y'))
            first_.Click();
        else if (key == 27 || (yes_no_ && key == 'N'))
            Answer(yes_no_ ? kIdNo : kIdOk);
    };
    OnClose = [this] {
        if (answer_ == 0) answer_ = yes_no_ ? kIdNo : kIdOk;
    };
}

void TMessageForm::Answer(int answer) {
    answer_ = answer;
    Close();
}

int TMessageForm::Run() {
    TApplication& app = Application();
    TForm* outer = app.ModalForm();
    app.SetModalForm(this);
    Show();
    // An application that ends meanwhile takes the box with it.
    while (answer_ == 0 && !Closed() && !app.Terminated()) {
        app.ProcessMessages();
        if (answer_ != 0 || Closed() || app.Terminated()) break;
        app.WaitMessage(-1);
    }
    app.SetModalForm(outer);
    Hide();
    return answer_ != 0 ? answer_ : (yes_no_ ? kIdNo : kIdOk);
}

} // namespace tevrin
