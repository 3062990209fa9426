// SPDX-License-Identifier: MIT
#include "tools/studio/Frames.h"

#include "base/Errors.h"
#include "base/Paths.h"
#include "effects/BitmapHost.h"
#include "effects/Random.h"
#include "effects/Styles.h"
#include "gfx/Compose.h"
#include "gfx/Jpeg.h"
#include "gfx/PictureFile.h"
#include "gfx/Png.h"
#include "gfx/Resample.h"
#include "show/Content.h"
#include "show/Motion.h"
#include "show/Slide.h"
#include "show/SlideOrder.h"
#include "tools/Pack.h"

#include <cstring>
#include <future>
#include <thread>

namespace tevrin::studio {
namespace {

// Random styles and the random orders draw from this seed, so what the page
// shows is the same on every request.
constexpr std::uint32_t kSeed = 20240607;
constexpr int kJpegQuality = 85;
// The caption is drawn as on a screen of this many pixels per inch.
constexpr int kPixelsPerInch = 96;

TEncodedPtr Jpeg(const TBitmap24& bitmap) {
    const std::vector<std::uint8_t> bytes = EncodeJpeg(bitmap, kJpegQuality);
    return std::make_shared<TEncoded>(
        TEncoded{"image/jpeg", std::string(bytes.begin(), bytes.end())});
}

// Our own pair of pictures for a project without any: a dusk gradient and
// a warm one crossed by light bands, so every style shows its shape.
TBitmap24 StandIn(bool second, int w, int h) {
    TBitmap24 bitmap(w, h);
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = bitmap.Row(y);
        for (int x = 0; x < w; ++x) {
            const int fx = x * 255 / std::max(1, w - 1), fy = y * 255 / std::max(1, h - 1);
            std::uint8_t b, g, r;
            if (!second) {
                b = static_cast<std::uint8_t>(120 + fy / 3);
                g = static_cast<std::uint8_t>(40 + fx / 5);
                r = static_cast<std::uint8_t>(30 + fx / 4);
            } else {
                const bool band = ((x + y) / std::max(4, h / 8)) % 2 == 0;
                b = static_cast<std::uint8_t>(band ? 60 : 30);
                g = static_cast<std::uint8_t>(120 + fy / 3);
                r = static_cast<std::uint8_t>(band ? 255 : 200 + fx / 8);
            }
            row[x * 3] = b;
            row[x * 3 + 1] = g;
            row[x * 3 + 2] = r;
        }
    }
    return bitmap;
}

void CheckSize(int w, int h) {
    if (w < kMinSide || h < kMinSide || w > kMaxWidth || h > kMaxHeight)
        throw EError(msg::kStudioSize,
                     {std::to_string(kMinSide) + "x" + std::to_string(kMinSide),
                      std::to_string(kMaxWidth) + "x" + std::to_string(kMaxHeight)});
}

void CheckStyle(int style) {
    if (style < 0 || style > kLastStyle) throw EError(msg::kNoSuchStyle, {std::to_string(style)});
}

// The height of a frame in a strip of `frames` frames of w x h shown
// view_w wide; raises EError for a strip larger than one request may make.
int CheckedStripHeight(int w, int h, int frames, int view_w) {
    const int view_h = view_w == w ? h : std::max(1, view_w * h / w);
    if (frames < 1 || static_cast<long>(frames) * view_h > kMaxStripHeight)
        throw EError(msg::kStripTooTall);
    const auto count = static_cast<std::uint64_t>(frames);
    if (count * static_cast<std::uint64_t>(view_w) * static_cast<std::uint64_t>(view_h) >
            kMaxStripPixels ||
        count * static_cast<std::uint64_t>(w) * static_cast<std::uint64_t>(h) > kMaxDrawnPixels)
        throw EError(msg::kStripTooLarge,
                     {std::to_string(frames), std::to_string(w) + "x" + std::to_string(h)});
    return view_h;
}

// The record a pack of `pictures` writes, with each picture's own caption
// and time.
TSSFileLocations WithPictureDetails(TSSFileLocations record, const std::vector<TItem>& pictures) {
    std::vector<std::optional<std::string>> captions;
    std::vector<std::optional<int>> intervals;
    for (const TItem& item : pictures) {
        captions.push_back(item.Caption);
        intervals.push_back(item.IntervalMs);
    }
    SetRecordDetails(record, captions, intervals);
    return record;
}

std::string LookKey(const TSSFileLocations& record) {
    return std::string(TSSFileLocations::FitModeName(record.FitMode)) +
           (record.BlurBorders ? "+blur" : "");
}

} // namespace

TDecodeGate::TDecodeGate(int slots) : slots_(std::max(1, slots)) {}

TDecodeGate::TPass TDecodeGate::Enter(bool urgent) {
    std::unique_lock lock(lock_);
    if (urgent) ++urgent_waiting_;
    free_.wait(lock, [&] { return slots_ > 0 && (urgent || urgent_waiting_ == 0); });
    if (urgent) --urgent_waiting_;
    --slots_;
    return TPass(*this);
}

TDecodeGate::TPass::~TPass() {
    if (!gate_) return;
    {
        std::lock_guard lock(gate_->lock_);
        ++gate_->slots_;
    }
    gate_->free_.notify_all();
}

TRenderer::TRenderer(std::unique_ptr<TTextEngine> text, std::size_t cache_bytes)
    : text_(std::move(text)), decoding_(static_cast<int>(std::thread::hardware_concurrency())),
      cache_limit_(cache_bytes) {}

std::shared_ptr<const void> TRenderer::Cached(const std::string& key) {
    std::lock_guard lock(cache_lock_);
    const auto it = cache_.find(key);
    if (it == cache_.end()) return nullptr;
    ages_.splice(ages_.begin(), ages_, it->second.Age);
    return it->second.Value;
}

std::shared_ptr<const void> TRenderer::Made(const std::string& key,
                                            const std::function<TMade()>& make) {
    {
        std::unique_lock lock(cache_lock_);
        for (;;) {
            if (const auto it = cache_.find(key); it != cache_.end()) {
                ages_.splice(ages_.begin(), ages_, it->second.Age);
                return it->second.Value;
            }
            if (making_.count(key) == 0) break;
            made_.wait(lock);
        }
        making_.insert(key);
    }
    auto done = [&](const TMade* made) {
        {
            std::lock_guard lock(cache_lock_);
            making_.erase(key);
            if (made) KeepLocked(key, made->first, made->second);
        }
        made_.notify_all();
    };
    try {
        const TMade made = make();
        done(&made);
        return made.first;
    } catch (...) {
        // A request that waited makes it again, and meets the same error.
        done(nullptr);
        throw;
    }
}

void TRenderer::KeepLocked(const std::string& key, std::shared_ptr<const void> value,
                           std::size_t bytes) {
    if (cache_.count(key) > 0 || bytes > cache_limit_) return;
    ages_.push_front(key);
    cache_[key] = TEntry{std::move(value), bytes, ages_.begin()};
    cache_bytes_ += bytes;
    while (cache_bytes_ > cache_limit_) {
        const auto oldest = cache_.find(ages_.back());
        cache_bytes_ -= oldest->second.Bytes;
        cache_.erase(oldest);
        ages_.pop_back();
    }
}

TEncodedPtr TRenderer::Thumbnail(const TItem& picture, int side) {
    if (!picture.Problem.empty()) throw EError(picture.Problem);
    const std::string key = "thumb " + picture.Hash + " " + std::to_string(side);
    return std::static_pointer_cast<const TEncoded>(Made(key, [&]() -> TMade {
        const TRect place =
            PlacePicture(picture.Width, picture.Height, side, side, TFitMode::fmShrink);
        TShowChoices fitted;
        fitted.Fit = TFitMode::fmFit;
        const TDecodeGate::TPass pass = decoding_.Enter(false);
        const TEncodedPtr thumb = Jpeg(MakeSlide(ReadShowPicture(ReadFileBytes(picture.Path)), {},
                                                 fitted, {place.Width(), place.Height()}, *text_));
        return {thumb, thumb->Bytes.size()};
    }));
}

TRenderer::TBitmapPtr TRenderer::Composed(const TItem* item, bool second,
                                          const TSSFileLocations& record, int w, int h) {
    const std::string key = "composed " + (item ? item->Hash : std::string(second ? "b" : "a")) +
                            " " + std::to_string(w) + "x" + std::to_string(h) + " " +
                            LookKey(record);
    if (item && !item->Problem.empty()) throw EError(msg::kInItem, {item->Name, item->Problem});
    return std::static_pointer_cast<const TBitmap24>(Made(key, [&]() -> TMade {
        TBitmapPtr bitmap;
        const TDecodeGate::TPass pass = decoding_.Enter(true);
        try {
            bitmap = std::make_shared<TBitmap24>(
                item ? MakeSlide(ReadShowPicture(ReadFileBytes(item->Path)), {},
                                 TShowChoices::Of(record), {w, h}, *text_)
                     : StandIn(second, w, h));
        } catch (const EError& e) {
            throw EError(msg::kCannotReadPicture, {item->Name, e.what()});
        }
        return {bitmap, bitmap->ByteSize()};
    }));
}

TEncodedPtr TRenderer::Strip(const std::string& key, const TBitmap24& from, const TBitmap24& to,
                             int style, int w, int h, int frames, int view_w) {
    const int view_h = CheckedStripHeight(w, h, frames, view_w);
    return std::static_pointer_cast<const TEncoded>(Made(key, [&]() -> TMade {
        const TEncodedPtr encoded = DrawStrip(from, to, style, w, h, frames, view_w, view_h);
        return {encoded, encoded->Bytes.size()};
    }));
}

TEncodedPtr TRenderer::DrawStrip(const TBitmap24& from, const TBitmap24& to, int style, int w,
                                 int h, int frames, int view_w, int view_h) {
    TBitmap24 strip(view_w, view_h * frames);
    // Only the random styles use the shared generator; the others draw from
    // their arguments alone, on any number of threads at once.
    const bool random = StyleTable()[static_cast<std::size_t>(style)].Random;
    for (int k = 1; k <= frames; ++k) {
        TBitmap24 frame;
        if (random) {
            std::lock_guard lock(engine_);
            frame = RenderFrame(from, to, style, k * 100 / frames, kSeed);
        } else {
            frame = RenderFrame(from, to, style, k * 100 / frames, std::nullopt);
        }
        const int top = (k - 1) * view_h;
        if (view_w == w) {
            for (int y = 0; y < h; ++y)
                std::memcpy(strip.Row(top + y), frame.Row(y), static_cast<std::size_t>(w) * 3);
        } else {
            DrawScaled(strip, 0, top, view_w, view_h, frame);
        }
    }
    return Jpeg(strip);
}

TEncodedPtr TRenderer::TransitionStrip(const TItem* from, const TItem* to,
                                       const TSSFileLocations& record, int style, int w, int h,
                                       int frames) {
    CheckSize(w, h);
    CheckStyle(style);
    const std::string key = "strip " + (from ? from->Hash : "a") + " " + (to ? to->Hash : "b") +
                            " " + std::to_string(style) + " " + std::to_string(w) + "x" +
                            std::to_string(h) + " " + std::to_string(frames) + " " +
                            LookKey(record);
    (void)CheckedStripHeight(w, h, frames, w);
    if (auto hit = Cached(key)) return std::static_pointer_cast<const TEncoded>(hit);
    // The pair is composed side by side.
    auto second = std::async(std::launch::async, [&] { return Composed(to, true, record, w, h); });
    const TBitmapPtr a = Composed(from, false, record, w, h);
    const TBitmapPtr b = second.get();
    return Strip(key, *a, *b, style, w, h, frames, w);
}

TEncodedPtr TRenderer::Frame(const TItem* from, const TItem* to, const TSSFileLocations& record,
                             int style, int progress, int w, int h, bool png) {
    CheckSize(w, h);
    CheckStyle(style);
    if (progress < 0 || progress > 100) throw EError(msg::kProgressRange);
    const TBitmapPtr a = Composed(from, false, record, w, h);
    const TBitmapPtr b = Composed(to, true, record, w, h);
    TBitmap24 frame;
    {
        std::lock_guard lock(engine_);
        frame = RenderFrame(*a, *b, style, progress, kSeed);
    }
    if (!png) return Jpeg(frame);
    const std::vector<std::uint8_t> bytes = EncodePng(frame);
    return std::make_shared<TEncoded>(
        TEncoded{"image/png", std::string(bytes.begin(), bytes.end())});
}

namespace {

std::string StoredKey(const TItem& picture, const TPackJob& job) {
    const TPictureLimits& limits = job.Limits;
    return "stored " + picture.Hash + " " + std::to_string(limits.MaxWidth) + "x" +
           std::to_string(limits.MaxHeight) + " q" + std::to_string(limits.Quality);
}

std::string CaptionKey(const std::string& caption, const TCaptionLook& look) {
    return caption.empty() ? ""
                           : " caption " + caption + "|" + look.Face + "|" +
                                 std::to_string(look.Points) + "|" + std::to_string(look.Rgb) +
                                 "|" + std::to_string(look.Shadow) + std::to_string(look.Inside);
}

// How long the picture of a step moves, in frames.
int MotionFramesOf(const TShowChoices& choices, int interval_ms) {
    if (choices.Motion != TMotion::moPanZoom) return 0;
    return (interval_ms > 0 ? interval_ms : kMotionWithoutIntervalMs) / kFrameDelayMs;
}

} // namespace

std::shared_ptr<const TStoredPicture> TRenderer::Stored(const TItem& picture, const TPackJob& job) {
    if (!picture.Problem.empty()) throw EError(msg::kInItem, {picture.Name, picture.Problem});
    // The picture as the pack stores it: converted, turned and scaled down
    // where the pack would.
    return std::static_pointer_cast<const TStoredPicture>(
        Made(StoredKey(picture, job), [&]() -> TMade {
            const TDecodeGate::TPass pass = decoding_.Enter(true);
            try {
                auto made = std::make_shared<TStoredPicture>(
                    PreparePicture(ReadFileBytes(picture.Path), job.Limits));
                return {made, made->Jpeg.size()};
            } catch (const EError& e) {
                throw EError(msg::kCannotReadPicture, {picture.Name, e.what()});
            }
        }));
}

TRenderer::TBitmapPtr TRenderer::Slide(const TItem& picture, const TSSFileLocations& record,
                                       const TPackJob& job, const std::string& caption, int w,
                                       int h) {
    const TShowChoices choices = TShowChoices::Of(record);
    const std::string key = "slide " + StoredKey(picture, job) + " " + std::to_string(w) + "x" +
                            std::to_string(h) + " " + LookKey(record) +
                            CaptionKey(caption, choices.Caption);
    if (!picture.Problem.empty()) throw EError(msg::kInItem, {picture.Name, picture.Problem});
    return std::static_pointer_cast<const TBitmap24>(Made(key, [&]() -> TMade {
        const auto stored = Stored(picture, job);
        std::shared_ptr<TBitmap24> slide;
        {
            std::lock_guard lock(engine_);
            slide = std::make_shared<TBitmap24>(MakeSlide(TShowPicture{stored->Jpeg, {}}, caption,
                                                          choices, {w, h, kPixelsPerInch}, *text_));
        }
        return {slide, slide->ByteSize()};
    }));
}

std::shared_ptr<const TMovingSlide>
TRenderer::Moving(const std::vector<TItem>& pictures, int index, const TSSFileLocations& record,
                  const TPackJob& job, const std::string& caption, int w, int h, int change) {
    const TItem& picture = pictures[static_cast<std::size_t>(index)];
    const TShowChoices choices = TShowChoices::Of(record);
    const std::string key = "moving " + std::to_string(index) + " " + StoredKey(picture, job) +
                            " " + std::to_string(w) + "x" + std::to_string(h) + " " +
                            LookKey(record) + " change " + std::to_string(change) +
                            CaptionKey(caption, choices.Caption);
    return std::static_pointer_cast<const TMovingSlide>(Made(key, [&]() -> TMade {
        const auto stored = Stored(picture, job);
        std::shared_ptr<TMovingSlide> slide;
        {
            std::lock_guard lock(engine_);
            slide = std::make_shared<TMovingSlide>(TShowPicture{stored->Jpeg, {}}, caption, choices,
                                                   TScreenSpec{w, h, kPixelsPerInch}, *text_,
                                                   MotionSeed(index, change));
        }
        return {slide, slide->ByteSize()};
    }));
}

TRenderer::TStepOrder TRenderer::Replay(const std::vector<TItem>& pictures,
                                        const TSSFileLocations& record, int step) {
    // The order of pictures, captions and styles up to this step, replayed
    // from the fixed seed as the saver's show would take them.
    const TShowChoices choices = TShowChoices::Of(record);
    TStepOrder result;
    std::lock_guard lock(engine_);
    SetRandSeed(kSeed);
    TSlideOrder order(choices, static_cast<int>(pictures.size()));
    for (int k = 0; k <= step; ++k) {
        result.Previous = result.Picture;
        result.PreviousCaption = result.Caption;
        result.Picture = order.NextPicture().value_or(0);
        result.Caption =
            SlideCaption(choices, RecordCaption(record, result.Picture), order.NextCaption());
        result.Style = order.NextStyle(result.Style);
    }
    if (step == 0) result.Previous = -1;
    return result;
}

TRenderer::TStepRequest TRenderer::StepRequest(const std::vector<TItem>& pictures,
                                               const TSSFileLocations& project_record, int step,
                                               int w, int h, int& view_w) {
    CheckSize(w, h);
    if (pictures.empty()) throw EError(msg::kShowWithoutPictures);
    if (step < 0 || step > 100000) throw EError(msg::kNoSuchStep);
    if (view_w < kMinSide || view_w > w) view_w = w;
    TSSFileLocations record = WithPictureDetails(project_record, pictures);
    const TShowChoices choices = TShowChoices::Of(record);
    TStepOrder order = Replay(pictures, record, step);
    return {std::move(record), choices, std::move(order)};
}

TShowStep TRenderer::ShowStep(const std::vector<TItem>& pictures,
                              const TSSFileLocations& project_record, const TPackJob& job, int step,
                              int w, int h, int view_w) {
    const TStepRequest request = StepRequest(pictures, project_record, step, w, h, view_w);
    const TSSFileLocations& record = request.Record;
    const TShowChoices& choices = request.Choices;
    const TStepOrder& order = request.Order;
    TShowStep result;
    result.Picture = order.Picture;
    result.Style = order.Style;
    result.Caption = order.Caption;
    result.IntervalMs = RecordIntervalMs(record, result.Picture).value_or(choices.IntervalMs);
    result.Frames = choices.TransitionFrames;
    result.MotionFrames = MotionFramesOf(choices, result.IntervalMs);
    const TItem& shown = pictures[static_cast<std::size_t>(order.Picture)];
    const TCaptionLook& look = choices.Caption;
    const std::string key =
        "show " + std::to_string(step) + " " +
        (step == 0 ? "black" : pictures[static_cast<std::size_t>(order.Previous)].Hash) + " " +
        shown.Hash + " " + std::to_string(result.Style) + " " + std::to_string(w) + "x" +
        std::to_string(h) + " " + std::to_string(view_w) + " " + std::to_string(result.Frames) +
        " " + LookKey(record) + " motion " + std::to_string(result.MotionFrames) + " " +
        order.PreviousCaption + "|" + CaptionKey(order.Caption, look);
    // A strip made before needs neither picture drawn again.
    if (auto hit = Cached(key)) {
        result.Strip = std::static_pointer_cast<const TEncoded>(hit);
        return result;
    }
    TBitmapPtr from, to;
    if (result.MotionFrames > 0) {
        // A transition brings in the motion's first frame, from the last
        // frame of the motion before.
        to = std::make_shared<const TBitmap24>(
            Moving(pictures, order.Picture, record, job, order.Caption, w, h, step)->Frame(0));
        if (step > 0)
            from = std::make_shared<const TBitmap24>(
                Moving(pictures, order.Previous, record, job, order.PreviousCaption, w, h, step - 1)
                    ->Frame(1));
    } else {
        to = Slide(shown, record, job, order.Caption, w, h);
        if (step > 0)
            from = Slide(pictures[static_cast<std::size_t>(order.Previous)], record, job,
                         order.PreviousCaption, w, h);
    }
    if (!from) from = std::make_shared<const TBitmap24>(w, h);
    result.Strip = Strip(key, *from, *to, result.Style, w, h, result.Frames, view_w);
    return result;
}

TEncodedPtr TRenderer::MotionStrip(const std::vector<TItem>& pictures,
                                   const TSSFileLocations& project_record, const TPackJob& job,
                                   int step, int w, int h, int view_w, int first, int count) {
    const TStepRequest request = StepRequest(pictures, project_record, step, w, h, view_w);
    const TSSFileLocations& record = request.Record;
    const TShowChoices& choices = request.Choices;
    const TStepOrder& order = request.Order;
    const int interval = RecordIntervalMs(record, order.Picture).value_or(choices.IntervalMs);
    const int total = MotionFramesOf(choices, interval);
    count = std::min(count, total - first);
    if (first < 0 || count <= 0) throw EError(msg::kNoSuchStep);
    const int view_h = CheckedStripHeight(w, h, count, view_w);
    const TItem& shown = pictures[static_cast<std::size_t>(order.Picture)];
    const std::string key = "motion " + std::to_string(step) + " " + shown.Hash + " " +
                            std::to_string(w) + "x" + std::to_string(h) + " " +
                            std::to_string(view_w) + " " + std::to_string(first) + "+" +
                            std::to_string(count) + "/" + std::to_string(total) + " " +
                            LookKey(record) + CaptionKey(order.Caption, choices.Caption);
    return std::static_pointer_cast<const TEncoded>(Made(key, [&]() -> TMade {
        const auto slide = Moving(pictures, order.Picture, record, job, order.Caption, w, h, step);
        TBitmap24 strip(view_w, view_h * count), frame;
        for (int k = 0; k < count; ++k) {
            slide->Draw(static_cast<double>(first + k + 1) / total, frame);
            if (view_w == w) {
                for (int y = 0; y < h; ++y)
                    std::memcpy(strip.Row(k * view_h + y), frame.Row(y),
                                static_cast<std::size_t>(w) * 3);
            } else {
                DrawScaled(strip, 0, k * view_h, view_w, view_h, frame);
            }
        }
        const TEncodedPtr encoded = Jpeg(strip);
        return {encoded, encoded->Bytes.size()};
    }));
}

} // namespace tevrin::studio
