#include "saver/SlideShow.h"

#include "effects/Random.h"
#include "effects/Styles.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <vector>

namespace tevrin {
namespace {

// The classic defaults of the system colours a caption may name.
std::uint32_t ColorToRgb(TColor color) {
    if (color >= 0) return static_cast<std::uint32_t>(color) & 0xFFFFFF;
    switch (color & 0xFF) {
    case 5:
        return 0xFFFFFF; // window
    case 14:
        return 0xFFFFFF; // highlight text
    case 15:
        return 0xF0F0F0; // button face
    case 13:
        return 0xD77800; // highlight
    default:
        return 0x000000; // the text colours
    }
}

} // namespace

TSlideOrder::TSlideOrder(const TSSFileLocations& record, int first)
    : record_(record), next_(record.PicCount() > 0 ? first % record.PicCount() : 0) {}

std::optional<int> TSlideOrder::NextPicture() {
    const int count = record_.PicCount();
    int index = next_;
    if (record_.lRandomPic) {
        index = Random(count);
    } else if (index > count - 1) {
        if (record_.Ver == "flash") return std::nullopt;
        index = 0;
    }
    next_ = index + 1;
    return index;
}

TShowStyle TSlideOrder::NextStyle(TShowStyle previous) {
    // The record's chosen styles that this engine has, or every transition.
    std::vector<TShowStyle> chosen;
    const std::span<const TStyleInfo> table = StyleTable();
    for (int number : record_.Styles)
        if (number >= 0 && number < static_cast<int>(table.size()))
            chosen.push_back(table[static_cast<std::size_t>(number)].Number);
    const bool named = !chosen.empty();
    if (!named)
        for (const TStyleInfo& style : Transitions())
            chosen.push_back(style.Number);
    const int count = static_cast<int>(chosen.size());
    if (record_.lRandomStyle) return chosen[static_cast<std::size_t>(Random(count))];
    const bool first = !styled_;
    styled_ = true;
    if (named && first) return chosen.front();
    // In turn: the one after `previous`, the first after the last; a show
    // that comes from a style not chosen goes on at the next higher chosen.
    const auto at = std::find(chosen.begin(), chosen.end(), previous);
    if (at != chosen.end()) return std::next(at) == chosen.end() ? chosen.front() : *std::next(at);
    for (TShowStyle style : chosen)
        if (style > previous) return style;
    return chosen.front();
}

void DrawCaption(TBitmap24& canvas, const TSSFileLocations& record, int pixels_per_inch,
                 TTextEngine& text) {
    if (record.Text.empty()) return;
    // Size, colour and face only: the caption is drawn upright and plain,
    // at the same physical size on every monitor.
    const TFontSpec font{record.TextFont.Name, -MulDiv(record.TextFont.Size(), pixels_per_inch, 72),
                         ColorToRgb(record.TextFont.Color)};
    const TTextExtent extent = text.Measure(font, record.Text);
    text.Paint(canvas, canvas.Width() / 2 - extent.Width / 2, canvas.Height() - extent.Height, font,
               record.Text);
}

bool TSlideOrder::NextCaption() {
    caption_ = !caption_;
    return caption_;
}

TSoundOrder::TSoundOrder(const TSSFileLocations& record) : record_(record) {
    if (record.SoundRandom == 3) next_ = Random(record.SndCount());
}

std::vector<int> TSoundOrder::Candidates() {
    const int count = record_.SndCount();
    if (count == 0 || record_.lMute) return {};
    if (next_ > count - 1) next_ = 0;
    if (record_.SoundRandom == 2) next_ = Random(count);
    std::vector<int> order;
    for (int attempt = 0; attempt < count; ++attempt)
        order.push_back((next_ + attempt) % count);
    return order;
}

void TSoundOrder::Played(int index) {
    next_ = record_.SoundRandom == 3 ? index : index + 1;
}

bool TExitRules::PointerMoved(int x, int y) {
    if (ignore_moves_ > 0) {
        --ignore_moves_;
        return false;
    }
    if (last_x_ == -1 && last_y_ == -1) {
        last_x_ = x;
        last_y_ = y;
        return false;
    }
    if (std::abs(x - last_x_) > 2 && std::abs(y - last_y_) > 2) {
        last_x_ = x;
        last_y_ = y;
        return true;
    }
    return false;
}

} // namespace tevrin
