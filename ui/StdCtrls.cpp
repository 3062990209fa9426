// SPDX-License-Identifier: MIT
#include "ui/StdCtrls.h"

#include <algorithm>
#include <vector>

namespace tevrin {
namespace {

constexpr const char* kEllipsis = "\xE2\x80\xA6"; // U+2026

// `text` when it measures `width` or less, else its longest beginning (cut
// between characters) that does with the ellipsis after it.
std::string FitWithEllipsis(TTextEngine& engine, const TFontSpec& font, const std::string& text,
                            int width) {
    if (width <= 0 || engine.Measure(font, text).Width <= width) return text;
    std::vector<std::size_t> starts; // where each character begins
    for (std::size_t i = 0; i < text.size(); ++i)
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) starts.push_back(i);
    auto with = [&](std::size_t kept) { return text.substr(0, starts[kept]) + kEllipsis; };
    std::size_t low = 0, high = starts.size() - 1; // characters kept; `low` always fits or is 0
    while (low < high) {
        const std::size_t mid = (low + high + 1) / 2;
        if (engine.Measure(font, with(mid)).Width <= width)
            low = mid;
        else
            high = mid - 1;
    }
    return with(low);
}

} // namespace

void TLabel::SetCaption(const std::string& caption) {
    caption_ = caption;
    shown_ = FitWithEllipsis(Platform().Text(), Font, caption_, MaxWidth);
    if (Native() != 0) Platform().SetNativeText(Native(), shown_);
    const TTextExtent extent = Platform().Text().Measure(Font, shown_);
    SetBounds(BoundsRect().Left, BoundsRect().Top, extent.Width, std::max(extent.Height, 1));
    Invalidate();
}

void TLabel::Paint(TCanvas& canvas) {
    canvas.PrintText(0, 0, Font, shown_);
    if (Underline && !shown_.empty()) {
        const TTextExtent extent = Platform().Text().Measure(Font, shown_);
        canvas.FillRect({0, extent.Height - 2, extent.Width, extent.Height - 1}, Font.Color);
    }
}

void TLabel::CreateNative() {
    native_ = Platform().CreateNativeControl(
        Parent().Window(),
        {Underline ? TNativeKind::Link : TNativeKind::Label, BoundsRect(), shown_, Font});
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
