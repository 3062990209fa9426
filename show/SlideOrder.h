// SPDX-License-Identifier: MIT
// The order of one show: which picture comes next, by which transition,
// and whether the show's one caption is drawn on it. Several monitors that
// show the same thing share one order.
#pragma once

#include "show/Choices.h"

#include <functional>
#include <optional>
#include <vector>

namespace tevrin {

class TSlideOrder {
public:
    // `first` is the show's first picture: several shows in turn start at
    // their monitor's number, so neighbouring monitors differ.
    TSlideOrder(const TShowChoices& choices, int picture_count, int first = 0);

    // The picture to show next; nothing once a movie saver's pictures are
    // over (its movies take the rest of the run), or while there are none. At random a picture may
    // follow itself; shuffled, every picture comes once a round and a round
    // never starts with the picture that ended the one before.
    std::optional<int> NextPicture();
    // The transition after `previous` among the chosen styles (every
    // transition when none are named): the next in turn, the last followed
    // by the first (127 by 1), or one at random, shuffled as pictures are.
    // Styles named in turn start with the first named, whatever the show
    // started from.
    TShowStyle NextStyle(TShowStyle previous);
    // Whether the next picture carries the show's one caption: the first
    // does, then every other one.
    bool NextCaption();
    // Content that may grow or shrink while it shows: asked for the number
    // of pictures as each new round of pictures begins (in turn, when the
    // last was shown; shuffled, when the round is used up; at random, after
    // as many pictures as there were).
    void SetRecount(std::function<int()> recount) { recount_ = std::move(recount); }
    int PictureCount() const { return count_; }

private:
    // The next of `round`, refilled with 0 .. count - 1 in a random order
    // when used up; `last` is what ended the previous round.
    static int NextShuffled(std::vector<int>& round, int count, int last);

    const TShowChoices& choices_;
    std::vector<TShowStyle> styles_; // the chosen styles, or every transition
    bool named_;                     // the styles were named
    int count_;
    int next_;
    bool caption_ = false;
    bool styled_ = false; // a style was given
    std::vector<int> picture_round_, style_round_;
    int last_picture_ = -1, last_style_ = -1;
    std::function<int()> recount_;
    int taken_ = 0; // pictures of this round taken at random
};

} // namespace tevrin
