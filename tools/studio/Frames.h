// SPDX-License-Identifier: MIT
// What the Studio shows of a project, drawn by the engine: thumbnails of its
// pictures, frames of a transition between two of them, and the show as the
// saver plays it. Everything is encoded for the page and kept in a cache
// keyed by what it is made from (the pictures' content, the choices, the
// sizes), so a second request costs nothing.
#pragma once

#include "effects/Effects.h"
#include "gfx/Prepare.h"
#include "gfx/Text.h"
#include "payload/SSFileLocations.h"
#include "show/Motion.h"
#include "tools/studio/Project.h"

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace tevrin::studio {

struct TEncoded {
    std::string Type; // "image/jpeg", "image/png"
    std::string Bytes;
};
using TEncodedPtr = std::shared_ptr<const TEncoded>;

// The saver's frames are this far apart.
inline constexpr int kFrameDelayMs = kDefaultFrameDelayMs;

// Sizes the renderer accepts for a screen, and for a strip of frames.
inline constexpr int kMinSide = 16, kMaxWidth = 7680, kMaxHeight = 4320;
inline constexpr int kMaxStripHeight = 65000; // a JPEG's side is at most 65535
// What one request may make: the pixels of its strip, and those of the
// frames drawn for it (a 4K show step draws 25 frames of 3840x2160).
inline constexpr std::uint64_t kMaxStripPixels = 64'000'000;
inline constexpr std::uint64_t kMaxDrawnPixels = 256'000'000;

// One transition of the show: which picture came, by which style, with
// which caption, its frames, and how long the picture stays after them.
struct TShowStep {
    TEncodedPtr Strip;
    int Picture = 0;
    int Style = 0;
    std::string Caption;
    int Frames = kDefaultTransitionFrames;
    int IntervalMs = 0;
    // Frames the picture moves for after its transition (0: it stands
    // still), kFrameDelayMs apart.
    int MotionFrames = 0;
};

// Decoding pictures is the heavy part of what the Studio draws: at most as
// many run at once as the machine has processors, and what a page waits to
// play (the gallery's pair, the show's pictures) goes before thumbnails.
class TDecodeGate {
public:
    explicit TDecodeGate(int slots);
    // Held while decoding; `urgent` passes every waiting thumbnail.
    class TPass {
    public:
        explicit TPass(TDecodeGate& gate) : gate_(&gate) {}
        TPass(TPass&& other) noexcept : gate_(std::exchange(other.gate_, nullptr)) {}
        TPass(const TPass&) = delete;
        TPass& operator=(const TPass&) = delete;
        ~TPass();

    private:
        TDecodeGate* gate_;
    };
    TPass Enter(bool urgent);

private:
    std::mutex lock_;
    std::condition_variable free_;
    int slots_;
    int urgent_waiting_ = 0;
};

class TRenderer {
public:
    // `text` draws the show's caption; the cache keeps about `cache_bytes`.
    TRenderer(std::unique_ptr<TTextEngine> text, std::size_t cache_bytes = std::size_t{384} << 20);

    // A JPEG of the picture, upright, at most `side` pixels on its longer
    // side.
    TEncodedPtr Thumbnail(const TItem& picture, int side);
    // A JPEG of `frames` frames of `style`, one under the other, each
    // w x h: the frames at progress 100 k / frames for k = 1 ... frames, from
    // `from` to `to` composed as the record says (fit, blurred borders).
    // Without pictures, two of our own stand in. Random styles draw with a
    // fixed seed, so a strip is always the same.
    TEncodedPtr TransitionStrip(const TItem* from, const TItem* to, const TSSFileLocations& record,
                                int style, int w, int h, int frames);
    // One frame of the same, as PNG or JPEG.
    TEncodedPtr Frame(const TItem* from, const TItem* to, const TSSFileLocations& record, int style,
                      int progress, int w, int h, bool png);
    // Transition `step` (0 the first) of the show the record makes of
    // `pictures` on a screen of w x h: its order of pictures and styles from
    // a fixed seed, the caption every other picture, each picture as the
    // pack stores it (`job`'s limits) and composed as the saver composes
    // it. The strip holds the transition's frames scaled to view_w wide;
    // the first step comes from black.
    TShowStep ShowStep(const std::vector<TItem>& pictures, const TSSFileLocations& record,
                       const TPackJob& job, int step, int w, int h, int view_w);
    // Frames first + 1 ... first + count of the motion that follows
    // transition `step`, as ShowStep's strip (fewer past the motion's end).
    TEncodedPtr MotionStrip(const std::vector<TItem>& pictures, const TSSFileLocations& record,
                            const TPackJob& job, int step, int w, int h, int view_w, int first,
                            int count);

private:
    using TBitmapPtr = std::shared_ptr<const TBitmap24>;
    struct TEntry {
        std::shared_ptr<const void> Value;
        std::size_t Bytes = 0;
        std::list<std::string>::iterator Age;
    };

    std::shared_ptr<const void> Cached(const std::string& key);
    // What is cached under `key`, else what `make` makes (value and size),
    // kept: made once, as a request that asks while another makes it waits
    // for that one's result.
    using TMade = std::pair<std::shared_ptr<const void>, std::size_t>;
    std::shared_ptr<const void> Made(const std::string& key, const std::function<TMade()>& make);
    void KeepLocked(const std::string& key, std::shared_ptr<const void> value, std::size_t bytes);
    TBitmapPtr Composed(const TItem* item, bool second, const TSSFileLocations& record, int w,
                        int h);
    TBitmapPtr Slide(const TItem& picture, const TSSFileLocations& record, const TPackJob& job,
                     const std::string& caption, int w, int h);
    // The picture as the pack stores it.
    std::shared_ptr<const TStoredPicture> Stored(const TItem& picture, const TPackJob& job);
    // The slide of picture `index` that moves, as the saver makes it for
    // the show's change `change`.
    std::shared_ptr<const TMovingSlide> Moving(const std::vector<TItem>& pictures, int index,
                                               const TSSFileLocations& record, const TPackJob& job,
                                               const std::string& caption, int w, int h,
                                               int change);
    // What the show has on screen at transition `step`: its picture and
    // caption, the one before, and its style.
    struct TStepOrder {
        int Picture = 0, Previous = -1;
        std::string Caption, PreviousCaption;
        TShowStyle Style = kInitialStyle;
    };
    TStepOrder Replay(const std::vector<TItem>& pictures, const TSSFileLocations& record, int step);
    // A request for step `step` of the show checked (its size, its step and
    // the width it is shown at, which it bounds), with the record that
    // carries the pictures' own details, its choices and its order.
    struct TStepRequest {
        TSSFileLocations Record;
        TShowChoices Choices;
        TStepOrder Order;
    };
    TStepRequest StepRequest(const std::vector<TItem>& pictures,
                             const TSSFileLocations& project_record, int step, int w, int h,
                             int& view_w);
    // A strip under `key`, refused when it would take more than one request
    // may; DrawStrip draws it.
    TEncodedPtr Strip(const std::string& key, const TBitmap24& from, const TBitmap24& to, int style,
                      int w, int h, int frames, int view_w);
    TEncodedPtr DrawStrip(const TBitmap24& from, const TBitmap24& to, int style, int w, int h,
                          int frames, int view_w, int view_h);

    std::unique_ptr<TTextEngine> text_;
    // The random styles and the slide order share one random generator,
    // and the text engine is not made for threads: both are used under
    // this lock.
    std::mutex engine_;
    TDecodeGate decoding_;
    std::mutex cache_lock_;
    std::condition_variable made_;
    std::set<std::string> making_;
    std::map<std::string, TEntry> cache_;
    std::list<std::string> ages_; // most recently used first
    std::size_t cache_bytes_ = 0, cache_limit_;
};

} // namespace tevrin::studio
