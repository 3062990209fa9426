// SPDX-License-Identifier: MIT
// Forms (top-level windows with events) and windowless graphic controls
// that paint on their form's surface.
//
// A form composes every repaint in its back buffer: its colour, OnPaint,
// then each visible control over the invalid area, and the platform shows
// the result in one call, so no half-drawn state is ever seen.
#pragma once

#include "gfx/Region.h"
#include "ui/Application.h"
#include "ui/Canvas.h"

#include <functional>
#include <string>
#include <vector>

namespace tevrin {

class TGraphicControl;

class TForm {
public:
    explicit TForm(TApplication& app);
    virtual ~TForm();
    TForm(const TForm&) = delete;
    TForm& operator=(const TForm&) = delete;

    TApplication& Application() { return app_; }

    // Screen coordinates of the window; the client area is all of it.
    TRect BoundsRect() const { return bounds_; }
    void SetBounds(int left, int top, int width, int height);
    int ClientWidth() const { return bounds_.Width(); }
    int ClientHeight() const { return bounds_.Height(); }
    std::uint32_t Color = 0xF0F0F0; // red + 256 green + 65536 blue
    bool Border = true;             // set through SetBorder once shown
    // A frame and caption, or none; a window that covers a monitor without
    // one fills it, over panels and docks.
    void SetBorder(bool border);
    bool Topmost() const { return topmost_; }
    void SetTopmost(bool topmost);
    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& caption);

    // Shows the window; the first show fires OnShow, then OnActivate.
    void Show();
    void Hide();
    bool Visible() const { return visible_; }
    // Fires OnClose; a main form's close ends the application's loop.
    void Close();
    bool Closed() const { return closed_; }

    std::function<void()> OnShow, OnActivate, OnClose;
    std::function<void(int& key, std::uint8_t shift)> OnKeyDown;
    std::function<void(int button, std::uint8_t shift, int x, int y)> OnMouseDown, OnMouseUp;
    std::function<void(std::uint8_t shift, int x, int y)> OnMouseMove;
    std::function<void(TCanvas& canvas)> OnPaint;
    // The client area changed size (SetBounds, or the user or system
    // resized the window).
    std::function<void()> OnResize;
    // Sees every key and mouse event first; returning true consumes it.
    std::function<bool(const TEvent& event)> OnInput;

    // A private message posted to this form.
    virtual void HandleMessage(int message, std::intptr_t wparam, std::intptr_t lparam);
    // The window moved to a monitor of `dpi` pixels per inch; its bounds
    // are already the system's choice for it.
    virtual void DpiChanged(int /*dpi*/) {}

    // The most rectangles a repaint tells the display of.
    static constexpr std::size_t kPresentedParts = 32;

    void Invalidate();
    void InvalidateRect(const TRect& rect);
    // Repaints the invalid area at once.
    void Update();
    const TBitmap24& BackBuffer() const { return back_; }
    // Counts the back buffers the form has taken (a new window surface, or
    // one of its own at a new size): the pixels of the one before are gone.
    // Between repaints the back buffer stays where it is.
    std::uint64_t BackBufferGeneration() const { return back_generation_; }
    // A view of `area` of the back buffer when that is the window's surface
    // and holds all of `area`, for a control that draws there itself between
    // repaints (valid until the next repaint replaces the back buffer);
    // empty otherwise.
    TBitmap24 SurfaceView(const TRect& area);
    // True when nothing but `control` paints over `area` of the back buffer:
    // no OnPaint and no other visible control of ours there; the form's
    // colour fills only what no opaque control covers.
    bool PaintsOnlyThrough(const TGraphicControl& control, const TRect& area) const;

    TWindowId Window() const { return window_; }
    const std::vector<TGraphicControl*>& Controls() const { return controls_; }

private:
    friend class TApplication;
    friend class TGraphicControl;

    void HandleEvent(const TEvent& event);
    void Paint(const TRegion& invalid);
    TGraphicControl* ControlAt(int x, int y);
    void ApplyAlign();

    TApplication& app_;
    TWindowId window_ = 0;
    TRect bounds_{0, 0, 320, 240};
    bool topmost_ = false, visible_ = false, shown_once_ = false, closed_ = false;
    std::string caption_;
    TBitmap24 back_;
    std::uint64_t back_generation_ = 0;
    TRegion invalid_;
    std::vector<TGraphicControl*> controls_;
    TGraphicControl* hovered_ = nullptr;
};

enum class TAlign { alNone, alClient };

class TGraphicControl {
public:
    explicit TGraphicControl(TForm& parent);
    virtual ~TGraphicControl();
    TGraphicControl(const TGraphicControl&) = delete;
    TGraphicControl& operator=(const TGraphicControl&) = delete;

    TForm& Parent() { return parent_; }
    const TForm& Parent() const { return parent_; }
    // In the parent's client coordinates.
    TRect BoundsRect() const { return bounds_; }
    void SetBounds(int left, int top, int width, int height);
    int Width() const { return bounds_.Width(); }
    int Height() const { return bounds_.Height(); }
    TAlign Align() const { return align_; }
    void SetAlign(TAlign align);
    bool Visible() const { return visible_; }
    void SetVisible(bool visible);
    // The control's colour; with ParentColor the form's.
    std::uint32_t Color() const;
    void SetColor(std::uint32_t rgb);
    bool ParentColor = true;

    void Invalidate();
    // True while the control is being destroyed.
    bool Destroying() const { return destroying_; }
    // The system's control standing in for this one; 0 when drawn by us.
    TWindowId Native() const { return native_; }

    std::function<void(int button, std::uint8_t shift, int x, int y)> OnMouseDown, OnMouseUp;
    std::function<void(std::uint8_t shift, int x, int y)> OnMouseMove;

protected:
    // Draws the control; the canvas's origin is the control's top-left and
    // its clip the part being repainted.
    virtual void Paint(TCanvas& canvas) = 0;
    // The control covers its whole area, so nothing is drawn behind it.
    virtual bool Opaque() const { return false; }
    virtual void Resized() {}
    virtual void MouseEnter() {}
    virtual void MouseLeave() {}
    // Once the form has its window: a control the platform has natively
    // makes it here (setting native_); it is then not drawn.
    virtual void CreateNative() {}
    // The native control was clicked or toggled.
    virtual void NativeCommand() {}
    void BeginDestroy() { destroying_ = true; }
    TPlatform& Platform();
    TWindowId native_ = 0;

private:
    friend class TForm;

    TForm& parent_;
    TRect bounds_{0, 0, 0, 0};
    TAlign align_ = TAlign::alNone;
    bool visible_ = true;
    bool destroying_ = false;
    std::uint32_t color_ = 0xFFFFFF;
};

} // namespace tevrin
