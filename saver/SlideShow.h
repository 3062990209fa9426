// SPDX-License-Identifier: MIT
// The saver's decisions that know no window beyond the show's own
// (show/): which sound plays next, and when input ends the run.
#pragma once

#include "payload/SSFileLocations.h"

#include <vector>

namespace tevrin {

// The order of the background sounds: in turn, at random, or one sound over
// and over (SoundRandom 1, 2 and 3).
class TSoundOrder {
public:
    explicit TSoundOrder(const TSSFileLocations& record);

    // Candidates for the next sound, best first: the one the order names,
    // then the rest in turn, so a sound that cannot play is passed over.
    // Empty without sounds or when muted.
    std::vector<int> Candidates();
    // The candidate that did play; the order goes on from it.
    void Played(int index);

private:
    const TSSFileLocations& record_;
    int next_ = 0;
};

// When input ends the show: any key or button, and a pointer that moves
// more than two pixels both across and down from where it was last seen, in
// the coordinates of the whole desktop (so crossing from one monitor to the
// next is an ordinary move).
class TExitRules {
public:
    // Begins watching: the next pointer position seen only records.
    void Start() { last_x_ = last_y_ = -1; }
    // True when this move counts as input that ends the show.
    bool PointerMoved(int x, int y);
    // An end was asked for and may be refused: the next five moves are
    // passed over, so the pointer settling after a password box does not
    // ask again at once.
    void EndRequested() { ignore_moves_ = 5; }
    int IgnoredMovesLeft() const { return ignore_moves_; }

private:
    int last_x_ = 0, last_y_ = 0;
    int ignore_moves_ = 0;
};

} // namespace tevrin
