// SPDX-License-Identifier: MIT
#include "effects/Effects.h"

#include "effects/PixelStyles.h"
#include "effects/Random.h"
#include "effects/Styles.h"
#include "gfx/Copy.h"
#include "gfx/Region.h"
#include "tests/TestSupport.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <numbers>
#include <random>
#include <set>
#include <string>
#include <tuple>

namespace tevrin {
namespace {

// Every picture pixel names its own position: B = x mod 256, G = y mod 256,
// R = (x / 256) + 16 * (y / 256). The old image is one colour no picture
// pixel has.
constexpr std::uint8_t kOld[3] = {7, 7, 250};

TBitmap24 Numbered(int w, int h) {
    TBitmap24 b(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t* p = b.Row(y) + x * 3;
            p[0] = static_cast<std::uint8_t>(x & 255);
            p[1] = static_cast<std::uint8_t>(y & 255);
            p[2] = static_cast<std::uint8_t>((x >> 8) | ((y >> 8) << 4));
        }
    return b;
}

TBitmap24 Plain(int w, int h) {
    TBitmap24 b(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            std::copy(kOld, kOld + 3, b.Row(y) + x * 3);
    return b;
}

class TTestHost final : public TEffectHost {
public:
    // Bitmaps of `pixel_bytes` a pixel.
    TTestHost(int w, int h, int pixel_bytes = 3)
        : picture_(InPixelBytes(Numbered(w, h), pixel_bytes)),
          old_(InPixelBytes(Plain(w, h), pixel_bytes)),
          screen_(InPixelBytes(TBitmap24(w, h), pixel_bytes)) {}

    TShowStyle FrameStyle() const override { return style_; }
    int FrameProgress() const override { return progress_; }
    int FrameStep() const override { return step_; }
    void SetProgressField(int p) override { progress_ = p; }
    TBitmap24& ScreenBitmap() override { return screen_; }
    const TBitmap24& PictureBitmap() const override { return picture_; }
    const TBitmap24& OldBitmap() const override { return old_; }
    bool Painting() const override { return painting_; }
    void BeforeNewFrame() override { events_ += "B"; }
    bool HasBeforeNewFrame() const override { return before_handler_; }
    void AfterNewFrame() override { events_ += "A"; }
    bool CustomDraw() override {
        if (!custom_) return false;
        events_ += "C";
        custom_(screen_);
        return true;
    }
    void InvalidateArea(const TRect& r) override { invalid_.push_back(r); }
    void UpdateNow() override { events_ += "U"; }
    bool HasAfterNewFrame() const override { return after_handler_; }
    void InvalidateRegion(const TRegion& region) override { regions_.push_back(region); }
    TFrameChange* KeptChange() override { return kept_ ? &*kept_ : nullptr; }

    // Draws one frame of `style` at `progress`.
    const TBitmap24& Frame(int style, int progress) {
        style_ = static_cast<TShowStyle>(style);
        progress_ = progress;
        invalid_.clear();
        regions_.clear();
        events_.clear();
        DrawEffectFrame(*this);
        return screen_;
    }

    bool IsOld(int x, int y) const { return std::equal(kOld, kOld + 3, screen_.Row(y) + x * 3); }
    // The picture position a screen pixel shows; (-1, -1) for the old image.
    std::pair<int, int> Shows(int x, int y) const {
        if (IsOld(x, y)) return {-1, -1};
        const std::uint8_t* p = screen_.Row(y) + x * 3;
        return {p[0] | ((p[2] & 15) << 8), p[1] | ((p[2] >> 4) << 8)};
    }

    TBitmap24 picture_, old_, screen_;
    TShowStyle style_ = 0;
    int progress_ = 0, step_ = 4;
    bool painting_ = false, before_handler_ = true, after_handler_ = true;
    std::optional<TFrameChange> kept_; // set: the host keeps the frame's change
    std::vector<TRegion> regions_;
    std::function<void(TBitmap24&)> custom_;
    std::vector<TRect> invalid_;
    std::string events_;
};

bool SameBits(const TBitmap24& a, const TBitmap24& b) {
    return a.ByteSize() == b.ByteSize() && std::equal(a.Bits(), a.Bits() + a.ByteSize(), b.Bits());
}

using test::SamePixels;

// Whether two hosts draw a style's frame at `progress` alike: the same
// colours, whatever their screens held before (every pixel is drawn
// afresh), and the same area reported.
bool SameFrames(TTestHost& a, TTestHost& b, int style, int progress) {
    std::fill_n(a.screen_.Bits(), a.screen_.ByteSize(), 0x5A);
    std::fill_n(b.screen_.Bits(), b.screen_.ByteSize(), 0xA5);
    SetRandSeed(style * 1000 + progress);
    a.Frame(style, progress);
    SetRandSeed(style * 1000 + progress);
    b.Frame(style, progress);
    return SamePixels(a.screen_, b.screen_) && a.invalid_ == b.invalid_;
}

// The pixels of every style's frames at a few progress values, hashed
// (FNV-1a over the screen bitmap's rows, three frames in turn), for a
// 64x48 numbered picture over the plain old image, the generator seeded
// with the style's number. A change to any style's pixels changes its hash.
std::uint64_t StyleHash(TTestHost& host, int style) {
    std::uint64_t hash = 1469598103934665603ull;
    SetRandSeed(static_cast<std::uint32_t>(style));
    for (int progress : {20, 50, 80}) {
        const TBitmap24& frame = host.Frame(style, progress);
        for (int y = 0; y < frame.Height(); ++y)
            for (int i = 0; i < frame.Width() * 3; ++i)
                hash = (hash ^ frame.Row(y)[i]) * 1099511628211ull;
    }
    return hash;
}

TEST(Effects, EveryStylesFramesKeepTheirPixels) {
    // Taken from the frames as they are; a style whose pixels change on
    // purpose gets its new hash here, every other one must stay.
    static constexpr std::uint64_t kPinned[kLastStyle + 1] = {
        0x50ab6806c99d2183, 0x9f20851a0b2465a3, 0x7a9394a787844723, 0x7972451a988220f3,
        0xc0746c55dfb3eb73, 0x2a6f5dc94fbd13d3, 0x549cf50897e77413, 0xf344e823611f6ea3,
        0xade46408a68fe723, 0x0c89c11d1d4aba23, 0x55c7cb758f0809e3, 0x9ef906a861d33563,
        0xc6715597d864eea3, 0x5cf54efad8c89fb3, 0xa059ae310358e453, 0xa17650f01f489813,
        0x28c59b65e8143d83, 0x8e49648f94c314c3, 0x054c14a8e0152403, 0x56770daa0aa92403,
        0x233132dbb48c95c3, 0x115f6f3c784a7743, 0x6ac333400bb615c3, 0xbf43209a0f90f743,
        0x83bd737d06e43603, 0x917318aa0b434c03, 0x6564b58c24c3b203, 0x27413b9d17972403,
        0x7522e08210aa0903, 0xcc946a6e5a437343, 0xe7d9b71010129f03, 0x69f2c39a3fb6ab03,
        0x8b38b3d777306803, 0x6383f222c9c3bac3, 0x56a0e59b014f1343, 0xca7aee7be024c353,
        0x335494b6b7370353, 0xc0e961eb18e469c3, 0xfce4f0f5059e49c3, 0x735fd7c6e008b0fd,
        0xa10e9e35af5828a9, 0xb5c7b2690b8185d1, 0x3a523c64678509dd, 0x65c64fdd82b7e849,
        0x193fc643516ae65d, 0xb8cef8544f5a4865, 0xcc90f1d9c27c0af9, 0x7ff1a17cb8be027f,
        0x7387565719ed2e2f, 0x3c4c28f7af7a4187, 0xb27f7f42ad0f2507, 0x0e4ccde598677f63,
        0xdb9c73128835f4d3, 0xbd3cf17198451b87, 0x8e84f6f883b435e5, 0x934efcca52213f21,
        0xc06a55b3eeef2ff5, 0xbeb79637dd62db4a, 0x40b439d539815027, 0x35a177ee426190c7,
        0xaeca54b7b1a42613, 0xb19f859ae8cabb47, 0x7566d9286d839a1f, 0xade7ce0eb0c1b0ab,
        0x0df747b6d94143c3, 0xa792031d74a596d2, 0xa897aeb4bca3e233, 0xc92565a4289e269d,
        0x55ca357ef111c81c, 0x55a823887ca2d1a1, 0x8e12a7b9c9b5a205, 0x5d216fba5724b423,
        0xde4b64cfb77733c3, 0x5986795792a60233, 0xbce056883582bef3, 0xbb93dcbb6234720b,
        0x307835924aba7cad, 0xa0bf627b7580a7f9, 0xe1f3e423f37b4d27, 0xdee795eec0f3033d,
        0x1e1e7a96b6bd412e, 0xc96090c78f0e59d8, 0xa1a64f3d9431b85a, 0xa2b49cef24a514f2,
        0x6faf611b900b0e63, 0x0c585a45dc2af793, 0xf08a3a1aadb27cf8, 0xc6f3d0d8425625fc,
        0x6b2aab7fd06d1b98, 0xc783ac1307754374, 0x97557751c5002072, 0xd3dc1cd10dfeed26,
        0x6fafe328e1141cea, 0xe46f6c6df74a7a9e, 0xe79bfdbd380eed28, 0x548fa6dc5958cf43,
        0x7366bbb6cf272914, 0x93f4198330bbef36, 0x584ffea309ed45a6, 0xefa30f48aaf24ef5,
        0xc66fe3f0d8372cab, 0x1b3cd7563fa648d4, 0x26ffd9e3e8fb74ef, 0x7e50a1af65ca03e0,
        0x6b5adcfc7ff3d0d7, 0xaeb8b432e11f8d75, 0x19f42314a9cbacc3, 0xb9492598711326f5,
        0x64d8311f81226c3f, 0x9a6e02a0e7c279cf, 0x6eb16c25717f0821, 0xd5c3751aa9e0e425,
        0xf77828489a8b1a51, 0x6be48a71fac59985, 0x902d21db7ba5ebb9, 0xedda477818662a2f,
        0xd428f811db0a954b, 0x98fd54d2ef4f4f83, 0x01996b19e150f707, 0x3db3602a2a2e3fdd,
        0x8fae13731d9da0f0, 0x9966a1af20834034, 0xedec92fbeb270069, 0x313f5df6477c762a,
        0x9f04861a29c0bbcc, 0x280d717c98fe1b4a, 0x7eae4d901fba31a5, 0xa31c646d50c4bf58};
    TTestHost host(64, 48);
    for (const TStyleInfo& info : StyleTable())
        EXPECT_EQ(StyleHash(host, info.Number), kPinned[info.Number])
            << "style " << int(info.Number);
}

// A style's name is how people find it again: every one differs from the
// others, and a name that says where the new picture comes from is right
// about it early in the transition (where it first covers the old image).
TEST(Effects, EveryStyleHasItsOwnNameAndItsDirectionIsTrue) {
    std::set<std::string> seen;
    for (const TStyleInfo& info : StyleTable()) {
        std::string folded(info.Name);
        std::transform(folded.begin(), folded.end(), folded.begin(),
                       [](unsigned char c) { return std::tolower(c); });
        EXPECT_TRUE(seen.insert(folded).second) << "style " << int(info.Number) << " " << info.Name;
        EXPECT_GE(folded.size(), 3u);
        EXPECT_LE(folded.size(), 60u) << info.Name;
        EXPECT_NE(std::string(FamilyName(info.Family)), "");
    }
    const int w = 96, h = 72;
    TTestHost host(w, h);
    int checked = 0;
    for (const TStyleInfo& info : Transitions()) {
        const std::string name(info.Name);
        const std::size_t at = name.rfind(" from the ");
        if (at == std::string::npos) continue;
        const std::string side = name.substr(at + 10);
        if (side.find(" and ") != std::string::npos || side.find(',') != std::string::npos)
            continue;
        const bool left = side == "left" || side.ends_with(" left");
        const bool right = side == "right" || side.ends_with(" right");
        const bool top = side == "top" || side.starts_with("top");
        const bool bottom = side == "bottom" || side.starts_with("bottom");
        if (!left && !right && !top && !bottom) continue;
        SetRandSeed(1);
        host.Frame(info.Number, 25);
        double sx = 0, sy = 0;
        int changed = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (!host.IsOld(x, y)) {
                    sx += x + 0.5;
                    sy += y + 0.5;
                    ++changed;
                }
        // Smears and stretches cover the whole screen at once.
        if (changed == 0 || changed > w * h * 9 / 10) continue;
        const double cx = sx / changed / w - 0.5, cy = sy / changed / h - 0.5;
        if (left) {
            EXPECT_LT(cx, -0.1) << info.Name;
        }
        if (right) {
            EXPECT_GT(cx, 0.1) << info.Name;
        }
        if (top) {
            EXPECT_LT(cy, -0.1) << info.Name;
        }
        if (bottom) {
            EXPECT_GT(cy, 0.1) << info.Name;
        }
        ++checked;
    }
    EXPECT_GE(checked, 50);
}

TEST(Effects, TheTableListsEveryStyleOnceWithItsFamilysDrawing) {
    ASSERT_EQ(StyleTable().size(), static_cast<std::size_t>(kLastStyle) + 1);
    ASSERT_EQ(Transitions().size(), static_cast<std::size_t>(kLastStyle));
    EXPECT_EQ(Transitions().front().Number, 1);
    // A style marked as drawing at random gives other frames with another
    // seed; one not so marked gives the same.
    TTestHost host(64, 48);
    for (const TStyleInfo& info : Transitions()) {
        SetRandSeed(1);
        const TBitmap24 first = host.Frame(info.Number, 50);
        SetRandSeed(2);
        EXPECT_EQ(!SameBits(host.Frame(info.Number, 50), first), info.Random)
            << "style " << int(info.Number);
    }
}

TEST(Effects, FrameGeometryForLandscapeAndPortrait) {
    TTestHost wide(800, 600);
    wide.Frame(5, 24); // a wipe from the left: Dest is (0, 0, X, H)
    EXPECT_EQ(wide.invalid_.back(), (TRect{0, 0, 192, 600}));
    wide.Frame(22, 24); // from the top: (0, 0, W, Y), Y = X * H / W
    EXPECT_EQ(wide.invalid_.back(), (TRect{0, 0, 800, 144}));
    TTestHost tall(300, 500);
    tall.Frame(5, 50);
    EXPECT_EQ(tall.invalid_.back(), (TRect{0, 0, 150, 500}));
    tall.Frame(43, 100);
    EXPECT_EQ(tall.invalid_.back(), (TRect{0, 0, 300, 500}));
    EXPECT_EQ(wide.events_, "BAU");
    wide.painting_ = true;
    wide.Frame(5, 24);
    EXPECT_EQ(wide.events_, "BA");
}

TEST(Effects, EveryStyleShowsThePictureAt100AndOnlyEarlyPiecesAt0) {
    for (auto [w, h] : {std::pair{96, 64}, std::pair{37, 71}}) {
        TTestHost host(w, h);
        for (const TStyleInfo& info : StyleTable()) {
            const int style = info.Number;
            SetRandSeed(style);
            EXPECT_TRUE(SameBits(host.Frame(style, 100), host.picture_)) << style << " " << w;
            if (style == 0) continue; // without a handler it completes at once
            host.Frame(style, 0);
            // Early pieces are reported one by one before the frame's own area.
            std::vector<TRect> early(host.invalid_.begin(), host.invalid_.end() - 1);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    bool in_early = false;
                    for (const TRect& r : early)
                        in_early |= x >= r.Left && x < r.Right && y >= r.Top && y < r.Bottom;
                    if (!in_early) {
                        ASSERT_TRUE(host.IsOld(x, y)) << style << " at " << x << "," << y;
                    }
                }
        }
    }
}

TEST(Effects, FramesDoNotDependOnTheFrameBefore) {
    TTestHost host(120, 90);
    for (const TStyleInfo& info : Transitions()) {
        const int style = info.Number;
        SetRandSeed(99);
        TBitmap24 first = host.Frame(style, 40);
        host.Frame(style, 60);
        SetRandSeed(99);
        EXPECT_TRUE(SameBits(host.Frame(style, 40), first)) << style;
        if (!info.Random) {
            host.Frame(style, 80);
            EXPECT_TRUE(SameBits(host.Frame(style, 40), first)) << style;
        }
    }
}

// Without a handler the frame takes shortcuts (the old image read in place,
// drawn only where the picture does not cover it); nobody may see a change.
TEST(Effects, WithoutABeforeHandlerFramesAreTheSame) {
    for (auto [w, h] : {std::pair{150, 90}, std::pair{401, 233}}) {
        TTestHost with(w, h), without(w, h);
        without.before_handler_ = false;
        for (const TStyleInfo& info : Transitions())
            for (int progress : {0, 1, 37, 50, 99, 100})
                ASSERT_TRUE(SameFrames(with, without, info.Number, progress))
                    << info.Number << " at " << progress << ", " << w << "x" << h;
    }
}

// A display told only of the regions a frame reports, the host keeping the
// frame before's change, shows every frame: forwards, backwards and
// jumping, with the shortcuts and with an after handler (told whole). It is
// told far less than the areas the families report otherwise, and no more
// than a quarter again of what really changes.
TEST(Effects, ADisplayToldOnlyWhatChangedShowsEveryFrame) {
    const int w = 120, h = 90;
    const TRect whole{0, 0, w, h};
    struct TTold {
        std::uint64_t told = 0, changed = 0;
    };
    auto area = [](const TRect& r) { return static_cast<std::uint64_t>(r.Width()) * r.Height(); };
    auto show_run = [&](TTestHost& host, int style, TTold& count) {
        host.kept_ = TFrameChange{{}, TRegion::FromRect(whole)}; // as a transition starts
        TBitmap24 display(w, h);
        std::fill_n(display.Bits(), display.ByteSize(), 0x33);
        std::vector<int> run;
        for (int p = 4; p <= 100; p += 4)
            run.push_back(p);
        for (int p : {92, 60, 10, 0, 70, 30, 100})
            run.push_back(p);
        SetRandSeed(static_cast<std::uint32_t>(style));
        for (int progress : run) {
            const TBitmap24 before = host.screen_;
            host.Frame(style, progress);
            TRegion told = TRegion::FromRects(host.invalid_);
            for (const TRegion& region : host.regions_)
                told = TRegion::Combine(told, region, TRegion::TOp::Union);
            told.ForEachRect([&](const TRect& r) {
                count.told += area(r);
                for (int y = r.Top; y < r.Bottom; ++y)
                    std::copy_n(host.screen_.Row(y) + r.Left * 3, r.Width() * 3,
                                display.Row(y) + r.Left * 3);
            });
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    count.changed += !std::equal(before.Row(y) + x * 3, before.Row(y) + x * 3 + 3,
                                                 host.screen_.Row(y) + x * 3);
            if (!SameBits(display, host.screen_))
                return testing::AssertionFailure() << "at " << progress;
        }
        return testing::AssertionSuccess();
    };
    TTold shortcuts, handlers;
    std::uint64_t design = 0;
    for (const TStyleInfo& info : Transitions()) {
        TTestHost fast(w, h), after(w, h), plain(w, h);
        fast.before_handler_ = fast.after_handler_ = after.before_handler_ = false;
        plain.before_handler_ = false;
        EXPECT_TRUE(show_run(fast, info.Number, shortcuts)) << info.Number;
        EXPECT_TRUE(show_run(after, info.Number, handlers)) << info.Number;
        // A host keeping nothing is told what each family always reports.
        SetRandSeed(static_cast<std::uint32_t>(info.Number));
        for (int p = 4; p <= 100; p += 4) {
            plain.Frame(info.Number, p);
            for (const TRect& r : plain.invalid_)
                design += area(r);
        }
        for (int p : {92, 60, 10, 0, 70, 30, 100}) {
            plain.Frame(info.Number, p);
            for (const TRect& r : plain.invalid_)
                design += area(r);
        }
    }
    const std::uint64_t frames = Transitions().size() * 32;
    EXPECT_EQ(handlers.told, frames * area(whole));
    EXPECT_LT(shortcuts.told, design / 2);
    EXPECT_LT(shortcuts.told, shortcuts.changed * 5 / 4);

    // A frame like the one before (a pixel style at 0 after one at 0) is
    // still told, whole, so that the display keeps its pace.
    TTestHost host(w, h);
    host.before_handler_ = host.after_handler_ = false;
    host.kept_ = TFrameChange{};
    host.Frame(118, 0);
    EXPECT_TRUE(host.regions_.empty());
    EXPECT_EQ(host.invalid_, std::vector<TRect>{whole});
    host.Frame(118, 50);
    EXPECT_EQ(host.regions_, std::vector<TRegion>{TRegion::FromRect(whole)});
    EXPECT_TRUE(host.invalid_.empty());
}

// A display's 4-byte pixels take every style's frames in the colours of
// 3-byte ones, through the shortcuts a frame without a handler takes and
// without them, at a size whose 3-byte rows are padded.
TEST(Effects, EveryStyleDrawsTheSameColoursInEitherPixelSize) {
    for (auto [w, h] : {std::pair{64, 48}, std::pair{401, 233}})
        for (bool before : {true, false}) {
            TTestHost three(w, h), four(w, h, 4);
            three.before_handler_ = four.before_handler_ = before;
            ASSERT_EQ(four.screen_.PixelBytes(), 4);
            for (const TStyleInfo& info : StyleTable())
                for (int progress : {0, 13, 50, 87, 100})
                    ASSERT_TRUE(SameFrames(three, four, info.Number, progress))
                        << info.Number << " at " << progress << ", " << w << "x" << h
                        << (before ? " with a handler" : "");
        }
}

TEST(Effects, CombWorkedNumbers) {
    TTestHost host(800, 600); // Step 4: D = MulDiv(800, 4, 90) = 36
    host.Frame(60, 24);       // A = 384: first-pass bars cover columns 416..799
    EXPECT_TRUE(host.IsOld(415, 0));
    EXPECT_EQ(host.Shows(416, 0), std::make_pair(416, 0));
    EXPECT_EQ(host.Shows(799, 14), std::make_pair(799, 14));
    EXPECT_TRUE(host.IsOld(799, 5));
    host.Frame(60, 48); // A = 768, A + D > 800: the bars snap to full length
    EXPECT_EQ(host.Shows(0, 10), std::make_pair(0, 10));
    EXPECT_TRUE(host.IsOld(799, 9));
    host.Frame(60, 52); // A = 832: second-pass bars cover columns 768..799
    EXPECT_EQ(host.Shows(0, 4), std::make_pair(0, 4));
    EXPECT_EQ(host.Shows(768, 5), std::make_pair(768, 5));
    EXPECT_TRUE(host.IsOld(767, 5));
    host.Frame(64, 50); // interleaved: rows 10k from the right, 10k + 5 from the left
    EXPECT_EQ(host.Shows(400, 10), std::make_pair(400, 10));
    EXPECT_TRUE(host.IsOld(399, 10));
    EXPECT_EQ(host.Shows(399, 15), std::make_pair(399, 15));
    EXPECT_TRUE(host.IsOld(400, 15));
}

TEST(Effects, Style99IsTheOverlapOfStyles86And89) {
    TTestHost host(160, 120);
    for (int progress : {10, 30, 55, 80}) {
        TBitmap24 a = host.Frame(86, progress), b = host.Frame(89, progress);
        host.Frame(99, progress);
        for (int y = 0; y < 120; ++y)
            for (int x = 0; x < 160; ++x) {
                bool in_a = !std::equal(kOld, kOld + 3, a.Row(y) + x * 3);
                bool in_b = !std::equal(kOld, kOld + 3, b.Row(y) + x * 3);
                ASSERT_EQ(!host.IsOld(x, y), in_a && in_b) << progress << " " << x << "," << y;
            }
    }
}

TEST(Effects, RectangleWorkedNumbers) {
    TTestHost host(800, 600);
    host.Frame(3, 25); // slides in from the right at full size
    EXPECT_EQ(host.Shows(600, 7), std::make_pair(0, 7));
    EXPECT_EQ(host.Shows(799, 7), std::make_pair(199, 7));
    EXPECT_TRUE(host.IsOld(599, 7));
    host.Frame(1, 25);                      // squeezed: the whole picture in 200 columns
    EXPECT_EQ(host.Shows(600, 0).first, 2); // (2i + 1) * 800 / 400
    EXPECT_EQ(host.Shows(799, 0).first, 798);
    host.Frame(9, 50); // source 200..599 over -400..1199: shows 300..499
    EXPECT_EQ(host.Shows(0, 3), std::make_pair(300, 3));
    EXPECT_EQ(host.Shows(799, 3), std::make_pair(499, 3));
    host.Frame(52, 49); // X = 392: the box spans (W - X) div 2 .. (W + X) div 2
    EXPECT_EQ(host.invalid_.back(), (TRect{204, 153, 596, 447}));
}

TEST(Effects, MultiPieceWorkedNumbers) {
    TTestHost host(800, 600);
    host.Frame(14, 10); // X = 80: fold 40 wide over 80..119, mirroring 120..159
    EXPECT_EQ(host.Shows(79, 0), std::make_pair(79, 0));
    EXPECT_EQ(host.Shows(80, 0), std::make_pair(159, 0));
    EXPECT_EQ(host.Shows(119, 0), std::make_pair(120, 0));
    EXPECT_TRUE(host.IsOld(120, 0));
    host.Frame(14, 50); // X = 400: fold 80 wide
    EXPECT_EQ(host.Shows(479, 0), std::make_pair(480, 0));
    EXPECT_TRUE(host.IsOld(480, 0));
    host.Frame(16, 50); // columns 400..799 smear source columns 400..439
    EXPECT_EQ(host.Shows(399, 0), std::make_pair(399, 0));
    EXPECT_EQ(host.Shows(400, 0), std::make_pair(400, 0));
    EXPECT_EQ(host.Shows(409, 0), std::make_pair(400, 0));
    EXPECT_EQ(host.Shows(799, 0), std::make_pair(439, 0));
    host.Frame(12, 0); // one column of the early piece, nothing at the right
    EXPECT_EQ(host.Shows(0, 0), std::make_pair(0, 0));
    EXPECT_TRUE(host.IsOld(1, 0));
    EXPECT_TRUE(host.IsOld(799, 0));
    EXPECT_EQ(host.invalid_.size(), 2u);
}

TEST(Effects, ShapeWorkedNumbers) {
    TTestHost host(800, 600);
    host.Frame(110, 50); // the upper-left half, cut by the diagonal
    EXPECT_FALSE(host.IsOld(0, 0));
    EXPECT_FALSE(host.IsOld(398, 298));
    EXPECT_TRUE(host.IsOld(401, 301));
    EXPECT_TRUE(host.IsOld(799, 599));
    host.Frame(84, 50); // spans (0, 0)..(800, 600), corners 720 x 540
    EXPECT_FALSE(host.IsOld(400, 0));
    EXPECT_FALSE(host.IsOld(0, 300));
    EXPECT_TRUE(host.IsOld(0, 0));
    EXPECT_TRUE(host.IsOld(60, 40));
    host.Frame(85, 50); // a hole of old image spanning the frame, corners rounded
    EXPECT_TRUE(host.IsOld(400, 300));
    EXPECT_TRUE(host.IsOld(400, 0));
    EXPECT_FALSE(host.IsOld(0, 0));
    EXPECT_FALSE(host.IsOld(799, 599));
    host.Frame(116, 100);
    EXPECT_TRUE(SameBits(host.screen_, host.picture_));
}

TEST(Effects, TheTriangleGridIsTheUnionOfItsHundredTriangles) {
    for (auto [w, h] : {std::pair{200, 150}, std::pair{123, 207}}) {
        TTestHost host(w, h);
        for (int progress : {7, 33, 50, 81, 99}) {
            host.Frame(117, progress);
            // The rule: triangles (cx, cy), (cx + X', cy), (cx, cy + Y') per cell.
            int big_x = w >= h ? MulDiv(w, progress, 100) : MulDiv(MulDiv(h, progress, 100), w, h);
            const int tw = big_x / 5, th = MulDiv(tw, h, w);
            TRegion expected;
            for (int i = 0; i < 10; ++i)
                for (int j = 0; j < 10; ++j) {
                    const int cx = (j * w) / 10, cy = (i * h) / 10;
                    const TPoint points[] = {{cx, cy}, {cx + tw, cy}, {cx, cy + th}};
                    expected = TRegion::Combine(
                        expected, TRegion::FromPolygon(points, {0, 0, w, h}), TRegion::TOp::Union);
                }
            for (int yy = 0; yy < h; ++yy)
                for (int xx = 0; xx < w; ++xx)
                    ASSERT_EQ(!host.IsOld(xx, yy), expected.Contains(xx, yy))
                        << progress << " at " << xx << "," << yy;
        }
    }
}

TEST(Effects, CrumbleAlwaysFillsTheFirstTwoBlocksAheadOfTheEdge) {
    TTestHost host(1024, 300); // E = 102, S = 5: blocks at W - X - 5 .. W - X - 10
    for (std::uint32_t seed = 1; seed < 40; ++seed) {
        SetRandSeed(seed);
        host.Frame(123, 30);
        const int edge = 1024 - MulDiv(1024, 30, 100);
        for (int y = 0; y < 300; ++y)
            ASSERT_FALSE(host.IsOld(edge - 10, y)) << seed << " " << y;
    }
}

TEST(Effects, CustomDrawAndOutOfRangeStyles) {
    TTestHost host(64, 48);
    host.Frame(0, 30); // no handler: the picture at once, progress 100
    EXPECT_TRUE(SameBits(host.screen_, host.picture_));
    EXPECT_EQ(host.progress_, 100);
    host.custom_ = [](TBitmap24& screen) { FillRect(screen, {0, 0, 4, 4}, 0x123456); };
    host.Frame(0, 50);
    EXPECT_EQ(host.events_, "BCAU");
    EXPECT_EQ(host.screen_.Row(0)[0], 0x12);
    EXPECT_TRUE(host.IsOld(4, 4));
    EXPECT_EQ(host.progress_, 50);
    for (int style : {128, 200, 255}) {
        host.Frame(style, 50);
        EXPECT_TRUE(SameBits(host.screen_, host.old_));
        EXPECT_TRUE(host.invalid_.empty());
        EXPECT_EQ(host.events_, "B");
    }
}

// Plain forms of the pixel formulas, to compare every byte against.
void ReferenceBlend(TBitmap24& s, const TBitmap24& n, int p) {
    for (int y = 0; y < n.Height(); ++y)
        for (int i = 0; i < n.Width() * 3; ++i)
            s.Row(y)[i] = static_cast<std::uint8_t>(((100 - p) * s.Row(y)[i]) / 100 +
                                                    (p * n.Row(y)[i]) / 100);
}

void ReferenceRotate(TBitmap24& s, const TBitmap24& n, int px, double a, int py) {
    for (int y = 0; y < n.Height(); ++y)
        for (int x = 0; x < n.Width(); ++x) {
            double dx = x - px, dy = y - py;
            int sx = static_cast<int>(std::nearbyint(dx * std::cos(a) - dy * std::sin(a))) + px;
            int sy = static_cast<int>(std::nearbyint(dx * std::sin(a) + dy * std::cos(a))) + py;
            if (sx >= 0 && sx < n.Width() && sy >= 0 && sy < n.Height())
                std::copy(n.Row(sy) + sx * 3, n.Row(sy) + sx * 3 + 3, s.Row(y) + x * 3);
        }
}

TBitmap24 NoiseBitmap(int w, int h, std::mt19937& rng) {
    TBitmap24 b(w, h);
    for (std::size_t i = 0; i < b.ByteSize(); ++i)
        b.Bits()[i] = static_cast<std::uint8_t>(rng());
    return b;
}

TEST(Effects, PixelStylesMatchThePlainFormulasByteForByte) {
    std::mt19937 rng(7);
    TBitmap24 old = NoiseBitmap(73, 41, rng), pic = NoiseBitmap(73, 41, rng);
    for (int p = 0; p <= 100; ++p) {
        TBitmap24 fast = old, plain = old;
        BlendBitmaps(fast, pic, p);
        ReferenceBlend(plain, pic, p);
        ASSERT_TRUE(SameBits(fast, plain)) << "blend " << p;
    }
    TBitmap24 s(1, 1), n(1, 1);
    s.Row(0)[0] = 200;
    n.Row(0)[0] = 100;
    s.Row(0)[1] = n.Row(0)[1] = 255;
    BlendBitmaps(s, n, 25);
    EXPECT_EQ(s.Row(0)[0], 175);
    BlendBitmaps(s, n, 50);
    EXPECT_EQ(s.Row(0)[1], 254);
}

// Both copy paths, drawing over the old image or reading it from its own
// bitmap, at sizes with and without row padding (four-byte pixel moves must
// not spill into the next row) and across several tiles.
TEST(Effects, RotationMatchesThePlainFormulaByteForByte) {
    std::mt19937 rng(11);
    for (auto [w, h, step] : {std::tuple{73, 41, 1}, std::tuple{200, 150, 3}, std::tuple{41, 97, 2},
                              std::tuple{130, 33, 1}, std::tuple{1, 1, 25}}) {
        const TBitmap24 old = NoiseBitmap(w, h, rng), pic = NoiseBitmap(w, h, rng);
        const TBitmap24 old4 = InPixelBytes(old, 4), pic4 = InPixelBytes(pic, 4);
        for (int p = 0; p <= 100; p += step) {
            const double a = (100 - p) * std::numbers::pi / 200;
            for (auto [px, py] :
                 {std::pair{-1, -1}, std::pair{-1, h}, std::pair{w, -1}, std::pair{w, h}}) {
                TBitmap24 plain = old;
                ReferenceRotate(plain, pic, px, a, py);
                for (TPixelPath path : {TPixelPath::Widest, TPixelPath::Plain}) {
                    TBitmap24 over = old, apart = NoiseBitmap(w, h, rng);
                    RotateBitmap(over, pic, px, a, py, nullptr, path);
                    RotateBitmap(apart, pic, px, a, py, &old, path);
                    const auto where = ::testing::Message()
                                       << w << "x" << h << " at " << p << " about " << px << ","
                                       << py << (path == TPixelPath::Plain ? " plain" : "");
                    ASSERT_TRUE(SameBits(over, plain)) << where;
                    ASSERT_TRUE(SamePixels(apart, plain)) << where << " from the old bitmap";
                    // In a display's 4-byte pixels.
                    TBitmap24 over4 = InPixelBytes(old, 4),
                              apart4 = InPixelBytes(NoiseBitmap(w, h, rng), 4);
                    RotateBitmap(over4, pic4, px, a, py, nullptr, path);
                    RotateBitmap(apart4, pic4, px, a, py, &old4, path);
                    ASSERT_TRUE(SamePixels(over4, plain)) << where << " in 4-byte pixels";
                    ASSERT_TRUE(SamePixels(apart4, plain)) << where << " in 4-byte pixels apart";
                }
            }
        }
    }
    // About a pivot inside the picture: angles where the source coordinates
    // run backwards, and an angle whose sine is exactly a half, so that along
    // the pivot's row and column every other coordinate is a tie that must go
    // to the even neighbour.
    double sin_half = std::asin(0.5);
    for (int k = 0; k < 64 && std::sin(sin_half) != 0.5; ++k)
        sin_half = std::nextafter(sin_half, 1.0);
    const TBitmap24 old = NoiseBitmap(90, 70, rng), pic = NoiseBitmap(90, 70, rng);
    for (double a : {-0.4, 2.0, 3.5, 5.0, sin_half}) {
        TBitmap24 plain = old;
        ReferenceRotate(plain, pic, 45, a, 30);
        for (TPixelPath path : {TPixelPath::Widest, TPixelPath::Plain}) {
            TBitmap24 over = old, apart = NoiseBitmap(90, 70, rng);
            RotateBitmap(over, pic, 45, a, 30, nullptr, path);
            RotateBitmap(apart, pic, 45, a, 30, &old, path);
            EXPECT_TRUE(SameBits(over, plain)) << a;
            EXPECT_TRUE(SamePixels(apart, plain)) << a;
        }
    }
}

TEST(Effects, RotationWorkedNumbers) {
    TTestHost host(200, 150);
    host.Frame(119, 50);
    EXPECT_TRUE(host.IsOld(0, 0));
    EXPECT_EQ(host.Shows(100, 0), std::make_pair(70, 71));
    EXPECT_TRUE(host.IsOld(0, 100));
    host.Frame(119, 0);
    EXPECT_TRUE(SameBits(host.screen_, host.old_));
}

TEST(Random, SequenceAndRange) {
    SetRandSeed(0);
    EXPECT_EQ(Random(100), 0); // seed 1: (1 * 100) >> 32
    EXPECT_EQ(RandSeed(), 1u);
    EXPECT_EQ(Random(0), 0);
    EXPECT_EQ(RandSeed(), 134775814u);
    SetRandSeed(0xFFFFFFFFu);
    Random(10);
    EXPECT_EQ(RandSeed(), 0xFFFFFFFFu * 134775813u + 1u);
    std::vector<int> counts(7);
    for (int i = 0; i < 7000; ++i)
        ++counts[Random(7)];
    for (int c : counts)
        EXPECT_NEAR(c, 1000, 150);
}

} // namespace
} // namespace tevrin
