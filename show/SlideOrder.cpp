// SPDX-License-Identifier: MIT
#include "show/SlideOrder.h"

#include "effects/Random.h"
#include "effects/Styles.h"

#include <algorithm>
#include <iterator>

namespace tevrin {

TSlideOrder::TSlideOrder(const TShowChoices& choices, int picture_count, int first)
    : choices_(choices), styles_(choices.Styles), named_(!choices.Styles.empty()),
      count_(picture_count), next_(picture_count > 0 ? first % picture_count : 0) {
    if (!named_)
        for (const TStyleInfo& style : Transitions())
            styles_.push_back(style.Number);
}

int TSlideOrder::NextShuffled(std::vector<int>& round, int count, int last) {
    if (round.empty()) {
        // Drawn in reverse, so the back of the vector is the next.
        for (int i = 0; i < count; ++i)
            round.push_back(i);
        for (int i = count - 1; i > 0; --i)
            std::swap(round[static_cast<std::size_t>(i)],
                      round[static_cast<std::size_t>(Random(i + 1))]);
        if (count > 1 && round.back() == last) std::swap(round.back(), round.front());
    }
    const int next = round.back();
    round.pop_back();
    return next;
}

std::optional<int> TSlideOrder::NextPicture() {
    int index = next_;
    auto recount = [this] {
        if (recount_) count_ = std::max(recount_(), 0);
    };
    if (choices_.RandomPicture && choices_.Shuffle) {
        if (picture_round_.empty()) recount();
        if (count_ == 0) return std::nullopt;
        index = last_picture_ = NextShuffled(picture_round_, count_, last_picture_);
    } else if (choices_.RandomPicture) {
        if (taken_ >= count_) {
            recount();
            taken_ = 0;
        }
        if (count_ == 0) return std::nullopt;
        ++taken_;
        index = Random(count_);
    } else if (index > count_ - 1) {
        if (choices_.MoviesAfterPictures) return std::nullopt;
        recount();
        if (count_ == 0) return std::nullopt;
        index = 0;
    }
    next_ = index + 1;
    return index;
}

TShowStyle TSlideOrder::NextStyle(TShowStyle previous) {
    const int count = static_cast<int>(styles_.size());
    if (choices_.RandomStyle && choices_.Shuffle) {
        last_style_ = NextShuffled(style_round_, count, last_style_);
        return styles_[static_cast<std::size_t>(last_style_)];
    }
    if (choices_.RandomStyle) return styles_[static_cast<std::size_t>(Random(count))];
    const bool first = !styled_;
    styled_ = true;
    if (named_ && first) return styles_.front();
    // In turn: the one after `previous`, the first after the last; a show
    // that comes from a style not chosen goes on at the next higher chosen.
    const auto at = std::find(styles_.begin(), styles_.end(), previous);
    if (at != styles_.end())
        return std::next(at) == styles_.end() ? styles_.front() : *std::next(at);
    for (TShowStyle style : styles_)
        if (style > previous) return style;
    return styles_.front();
}

bool TSlideOrder::NextCaption() {
    caption_ = !caption_;
    return caption_;
}

} // namespace tevrin
