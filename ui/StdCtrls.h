// SPDX-License-Identifier: MIT
// Standard controls: labels (plain or as links), a check box and a push
// button, drawn by us or, where the platform has its own, shown by it.
// Labels size themselves to their text (AutoSize).
#pragma once

#include "gfx/Text.h"
#include "ui/Forms.h"

#include <functional>
#include <string>

namespace tevrin {

class TLabel : public TGraphicControl {
public:
    explicit TLabel(TForm& parent) : TGraphicControl(parent) {}
    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& caption);
    // The text as drawn: Caption, or when it is wider than MaxWidth its
    // longest beginning that fits with "…" after it.
    const std::string& Shown() const { return shown_; }
    TFontSpec Font;
    bool Underline = false;
    int MaxWidth = 0; // 0: as wide as the text
    std::function<void()> OnClick, OnMouseEnter, OnMouseLeave;

protected:
    void Paint(TCanvas& canvas) override;
    void MouseEnter() override;
    void MouseLeave() override;
    void CreateNative() override;
    void NativeCommand() override;

private:
    std::string caption_, shown_;
};

class TCheckBox : public TGraphicControl {
public:
    explicit TCheckBox(TForm& parent);
    std::string Caption;
    TFontSpec Font;
    bool Checked() const { return checked_; }
    // Fires OnClick when the state changes, whoever changes it.
    void SetChecked(bool checked);
    std::function<void()> OnClick;

protected:
    void Paint(TCanvas& canvas) override;
    void CreateNative() override;
    void NativeCommand() override;

private:
    bool checked_ = false;
};

class TButton : public TGraphicControl {
public:
    explicit TButton(TForm& parent);
    // The caption; "&" marks the accelerator and is not drawn.
    std::string Caption;
    TFontSpec Font;
    bool Default = false; // Enter presses it
    std::function<void()> OnClick;
    void Click() {
        if (OnClick) OnClick();
    }

protected:
    void Paint(TCanvas& canvas) override;
    void CreateNative() override;
    void NativeCommand() override { Click(); }
};

} // namespace tevrin
