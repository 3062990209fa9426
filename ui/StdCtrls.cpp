#include "ui/StdCtrls.h"

#include <algorithm>

namespace tevrin {
void TLabel::SetCaption(const std::string& caption) {
    caption_ = caption;
    if (Native() != 0) Platform().SetNativeText(Native(), caption_);
    const TTextExtent extent = Platform().Text().Measure(Font, caption_);
    SetBounds(BoundsRect().Left, BoundsRect().Top, extent.Width, std::max(extent.Height, 1));
    Invalidate();
}

void TLabel::Paint(TCanvas& canvas) {
    canvas.PrintText(0, 0, Font, caption_);
    if (Underline && !caption_.empty()) {
        const TTextExtent extent = Platform().Text().Measure(Font, caption_);
        canvas.FillRect({0, extent.Height - 2, extent.Width, extent.Height - 1}, Font.Color);
    }
}

void TLabel::CreateNative() {
    native_ = Platform().CreateNativeControl(
        Parent().Window(),
        {Underline ? TNativeKind::Link : TNativeKind::Label, BoundsRect(), caption_, Font});
}

void TLabel::NativeCommand() {
    if (OnClick) OnClick();
}

void TLabel::MouseEnter() {
    if (OnMouseEnter) OnMouseEnter();
}

void TLabel::MouseLeave() {
    if (OnMouseLeave) OnMouseLeave();
}

TCheckBox::TCheckBox(TForm& parent) : TGraphicControl(parent) {
    OnMouseUp = [this](int button, std::uint8_t, int, int) {
        if (button == 0) SetChecked(!checked_);
    };
}

void TCheckBox::SetChecked(bool checked) {
    if (checked == checked_) return;
    checked_ = checked;
    if (Native() != 0) Platform().SetNativeChecked(Native(), checked_);
    Invalidate();
    if (OnClick) OnClick();
}

void TCheckBox::CreateNative() {
    native_ = Platform().CreateNativeControl(Parent().Window(),
                                             {TNativeKind::CheckBox, BoundsRect(), Caption, Font});
    if (native_ != 0) Platform().SetNativeChecked(native_, checked_);
}

void TCheckBox::NativeCommand() {
    // The system toggled its box already; ours follows.
    if (Platform().NativeChecked(Native()) != checked_) SetChecked(!checked_);
}

void TCheckBox::Paint(TCanvas& canvas) {
    const int box = std::min(13, Height());
    const int top = (Height() - box) / 2;
    canvas.FillRect({0, top, box, top + box}, 0x808080);
    canvas.FillRect({1, top + 1, box - 1, top + box - 1}, 0xFFFFFF);
    if (checked_) canvas.FillRect({3, top + 3, box - 3, top + box - 3}, 0x000000);
    canvas.PrintText(box + 4, (Height() - Platform().Text().Measure(Font, Caption).Height) / 2,
                     Font, Caption);
}

TButton::TButton(TForm& parent) : TGraphicControl(parent) {
    OnMouseUp = [this](int button, std::uint8_t, int, int) {
        if (button == 0) Click();
    };
}

void TButton::CreateNative() {
    native_ = Platform().CreateNativeControl(
        Parent().Window(),
        {Default ? TNativeKind::DefaultButton : TNativeKind::Button, BoundsRect(), Caption, Font});
}

void TButton::Paint(TCanvas& canvas) {
    canvas.FillRect({0, 0, Width(), Height()}, Default ? 0x000000 : 0x808080);
    canvas.FillRect({1, 1, Width() - 1, Height() - 1}, 0xE1E1E1);
    std::string shown;
    for (std::size_t i = 0; i < Caption.size(); ++i)
        if (Caption[i] != '&' || (i + 1 < Caption.size() && Caption[i + 1] == '&'))
            shown += Caption[i];
    const TTextExtent extent = Platform().Text().Measure(Font, shown);
    canvas.PrintText((Width() - extent.Width) / 2, (Height() - extent.Height) / 2, Font, shown);
}

} // namespace tevrin
