// SPDX-License-Identifier: MIT
#include "ui/Forms.h"

#include <algorithm>

namespace tevrin {

TForm::TForm(TApplication& app) : app_(app) {
    app_.forms_.push_back(this);
    if (app_.main_form_ == nullptr) app_.main_form_ = this;
}

TForm::~TForm() {
    for (TGraphicControl* c : controls_)
        c->BeginDestroy();
    if (window_ != 0) app_.platform_.DestroyWindow(window_);
    std::erase(app_.forms_, this);
    if (app_.main_form_ == this) app_.main_form_ = nullptr;
    if (app_.modal_form_ == this) app_.modal_form_ = nullptr;
}

void TForm::SetBounds(int left, int top, int width, int height) {
    const bool resized = width != ClientWidth() || height != ClientHeight();
    bounds_ = {left, top, left + width, top + height};
    if (window_ != 0) app_.platform_.SetWindowBounds(window_, bounds_);
    ApplyAlign();
    Invalidate();
    if (resized && OnResize) app_.Guarded(OnResize);
}

void TForm::SetBorder(bool border) {
    Border = border;
    if (window_ != 0) app_.platform_.SetWindowBorder(window_, border);
}

void TForm::SetTopmost(bool topmost) {
    topmost_ = topmost;
    if (window_ != 0) app_.platform_.SetTopmost(window_, topmost);
}

void TForm::SetCaption(const std::string& caption) {
    caption_ = caption;
    if (window_ != 0) app_.platform_.SetCaption(window_, caption);
}

void TForm::Show() {
    if (window_ == 0) {
        window_ = app_.platform_.CreateWindow({bounds_, Border, topmost_, false, caption_, Color});
        for (TGraphicControl* c : controls_)
            c->CreateNative();
    }
    if (!visible_) {
        visible_ = true;
        app_.platform_.ShowWindow(window_, true);
        Invalidate();
    }
    if (!shown_once_) {
        shown_once_ = true;
        if (OnShow) app_.Guarded(OnShow);
        if (OnActivate) app_.Guarded(OnActivate);
    }
}

void TForm::Hide() {
    if (!visible_) return;
    visible_ = false;
    app_.platform_.ShowWindow(window_, false);
}

void TForm::Close() {
    if (closed_) return;
    closed_ = true;
    if (OnClose) app_.Guarded(OnClose);
    Hide();
    if (app_.main_form_ == this) app_.Terminate();
}

void TForm::HandleMessage(int, std::intptr_t, std::intptr_t) {}

void TForm::Invalidate() {
    InvalidateRect({0, 0, ClientWidth(), ClientHeight()});
}

void TForm::InvalidateRect(const TRect& rect) {
    const TRect r{std::max(rect.Left, 0), std::max(rect.Top, 0),
                  std::min(rect.Right, ClientWidth()), std::min(rect.Bottom, ClientHeight())};
    if (r.IsEmpty()) return;
    invalid_ = TRegion::Combine(invalid_, TRegion::FromRect(r), TRegion::TOp::Union);
}

void TForm::Update() {
    if (invalid_.IsEmpty()) return;
    const TRegion invalid = std::move(invalid_);
    invalid_ = TRegion();
    if (visible_) Paint(invalid);
}

void TForm::Paint(const TRegion& invalid) {
    TRect area = invalid.Bounds();
    bool renewed = false;
    // Frames are composed in the window's own surface where the platform
    // has one, else in a back buffer of the form's.
    TBitmap24 surface = app_.platform_.WindowSurface(window_, ClientWidth(), ClientHeight());
    const TRect all{0, 0, ClientWidth(), ClientHeight()};
    if (!surface.Empty()) {
        if (!back_.IsView() || back_.Bits() != surface.Bits() || back_.Width() != surface.Width() ||
            back_.Height() != surface.Height()) {
            area = all;
            renewed = true;
            ++back_generation_;
        }
        back_ = std::move(surface);
    } else if (back_.IsView() || back_.Width() != ClientWidth() ||
               back_.Height() != ClientHeight()) {
        back_ = TBitmap24(ClientWidth(), ClientHeight());
        area = all;
        renewed = true;
        ++back_generation_;
    }
    TCanvas canvas(back_, 0, 0, area, &app_.platform_.Text());
    // The form's colour goes only where no opaque control will paint, so a
    // control's pixels are never covered and drawn again. Most repaints lie
    // within one such control (a frame of a picture show), and fill nothing.
    auto opaque = [](const TGraphicControl* c) {
        return c->visible_ && c->native_ == 0 && c->Opaque();
    };
    const bool covered = std::any_of(controls_.begin(), controls_.end(), [&](TGraphicControl* c) {
        return opaque(c) && Intersection(c->bounds_, area) == area;
    });
    if (!covered) {
        TRegion under;
        for (TGraphicControl* c : controls_)
            if (opaque(c))
                under = TRegion::Combine(under, TRegion::FromRect(c->bounds_), TRegion::TOp::Union);
        const TRegion whole = TRegion::FromRect(area);
        const TRegion bare = TRegion::Combine(
            whole, TRegion::Combine(whole, under, TRegion::TOp::Intersect), TRegion::TOp::Xor);
        for (const TRect& r : bare.Rects())
            canvas.FillRect(r, Color);
    }
    if (OnPaint) app_.Guarded([&] { OnPaint(canvas); });
    for (TGraphicControl* c : controls_) {
        if (!c->visible_ || c->native_ != 0) continue;
        const TRect b = c->bounds_;
        const TRect clip{std::max(b.Left, area.Left), std::max(b.Top, area.Top),
                         std::min(b.Right, area.Right), std::min(b.Bottom, area.Bottom)};
        if (clip.IsEmpty()) continue;
        TCanvas control_canvas(back_, b.Left, b.Top, clip, &app_.platform_.Text());
        app_.Guarded([&] { c->Paint(control_canvas); });
    }
    // The display is told of the invalid parts only, unless the back
    // buffer is new.
    const std::vector<TRect> parts =
        renewed ? std::vector<TRect>{} : invalid.Covering(kPresentedParts);
    app_.platform_.Present(window_, back_, area, parts);
}

TBitmap24 TForm::SurfaceView(const TRect& area) {
    if (!back_.IsView() || back_.PixelBytes() != 4 || area.IsEmpty() || area.Left < 0 ||
        area.Top < 0 || area.Right > back_.Width() || area.Bottom > back_.Height())
        return {};
    return TBitmap24::View32(back_.Row(area.Top) + area.Left * 4, area.Width(), area.Height(),
                             back_.Stride());
}

bool TForm::PaintsOnlyThrough(const TGraphicControl& control, const TRect& area) const {
    if (OnPaint) return false;
    return std::none_of(controls_.begin(), controls_.end(), [&](const TGraphicControl* c) {
        return c != &control && c->visible_ && c->native_ == 0 &&
               !Intersection(c->bounds_, area).IsEmpty();
    });
}

TGraphicControl* TForm::ControlAt(int x, int y) {
    for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
        const TRect b = (*it)->bounds_;
        if ((*it)->visible_ && x >= b.Left && x < b.Right && y >= b.Top && y < b.Bottom) return *it;
    }
    return nullptr;
}

void TForm::ApplyAlign() {
    for (TGraphicControl* c : controls_)
        if (c->align_ == TAlign::alClient) c->SetBounds(0, 0, ClientWidth(), ClientHeight());
}

void TForm::HandleEvent(const TEvent& e) {
    const bool input = e.Kind == TEvent::KeyDown || e.Kind == TEvent::KeyUp ||
                       e.Kind == TEvent::MouseDown || e.Kind == TEvent::MouseUp ||
                       e.Kind == TEvent::MouseMove;
    if (input && OnInput) {
        bool consumed = false;
        app_.Guarded([&] { consumed = OnInput(e); });
        if (consumed) return;
    }
    switch (e.Kind) {
    case TEvent::KeyDown:
        if (OnKeyDown) {
            int key = e.Key;
            app_.Guarded([&] { OnKeyDown(key, e.Shift); });
        }
        break;
    case TEvent::MouseDown:
    case TEvent::MouseUp:
    case TEvent::MouseMove: {
        TGraphicControl* control = ControlAt(e.X, e.Y);
        if (e.Kind == TEvent::MouseMove && control != hovered_) {
            if (hovered_ != nullptr) app_.Guarded([&] { hovered_->MouseLeave(); });
            hovered_ = control;
            if (control != nullptr) app_.Guarded([&] { control->MouseEnter(); });
        }
        // A control passes its mouse events on to its parent unless it
        // handles them itself.
        const int cx = control ? e.X - control->bounds_.Left : e.X;
        const int cy = control ? e.Y - control->bounds_.Top : e.Y;
        if (e.Kind == TEvent::MouseMove) {
            if (control && control->OnMouseMove)
                app_.Guarded([&] { control->OnMouseMove(e.Shift, cx, cy); });
            else if (OnMouseMove)
                app_.Guarded([&] { OnMouseMove(e.Shift, e.X, e.Y); });
        } else {
            auto& own = e.Kind == TEvent::MouseDown ? OnMouseDown : OnMouseUp;
            auto* theirs = control ? (e.Kind == TEvent::MouseDown ? &control->OnMouseDown
                                                                  : &control->OnMouseUp)
                                   : nullptr;
            if (theirs && *theirs)
                app_.Guarded([&] { (*theirs)(e.Button, e.Shift, cx, cy); });
            else if (own)
                app_.Guarded([&] { own(e.Button, e.Shift, e.X, e.Y); });
        }
        break;
    }
    case TEvent::Command:
        for (TGraphicControl* c : controls_)
            if (c->native_ != 0 && c->native_ == e.Control) {
                app_.Guarded([&] { c->NativeCommand(); });
                break;
            }
        break;
    case TEvent::Expose:
        InvalidateRect(e.Area);
        break;
    case TEvent::CloseRequest:
        Close();
        break;
    case TEvent::Resized: {
        const bool resized = e.X != ClientWidth() || e.Y != ClientHeight();
        bounds_.Right = bounds_.Left + e.X;
        bounds_.Bottom = bounds_.Top + e.Y;
        ApplyAlign();
        Invalidate();
        if (resized && OnResize) app_.Guarded(OnResize);
        break;
    }
    case TEvent::DpiChanged:
        bounds_ = e.Area;
        app_.Guarded([&] { DpiChanged(e.X); });
        ApplyAlign();
        Invalidate();
        break;
    default:
        break;
    }
}

TGraphicControl::TGraphicControl(TForm& parent) : parent_(parent) {
    parent_.controls_.push_back(this);
}

TGraphicControl::~TGraphicControl() {
    destroying_ = true;
    if (parent_.hovered_ == this) parent_.hovered_ = nullptr;
    std::erase(parent_.controls_, this);
}

void TGraphicControl::SetBounds(int left, int top, int width, int height) {
    const TRect next{left, top, left + width, top + height};
    if (next == bounds_) return;
    parent_.InvalidateRect(bounds_);
    const bool resized = next.Width() != bounds_.Width() || next.Height() != bounds_.Height();
    bounds_ = next;
    if (resized) Resized();
    if (native_ != 0) Platform().SetNativeBounds(native_, bounds_);
    parent_.InvalidateRect(bounds_);
}

TPlatform& TGraphicControl::Platform() {
    return parent_.Application().Platform();
}

void TGraphicControl::SetAlign(TAlign align) {
    align_ = align;
    parent_.ApplyAlign();
}

void TGraphicControl::SetVisible(bool visible) {
    if (visible == visible_) return;
    visible_ = visible;
    parent_.InvalidateRect(bounds_);
}

std::uint32_t TGraphicControl::Color() const {
    return ParentColor ? parent_.Color : color_;
}

void TGraphicControl::SetColor(std::uint32_t rgb) {
    color_ = rgb;
    ParentColor = false;
    Invalidate();
}

void TGraphicControl::Invalidate() {
    parent_.InvalidateRect(bounds_);
}

} // namespace tevrin
