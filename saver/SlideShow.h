// The saver's decisions that know no window: which picture and style come
// next on a monitor, whether its caption shows, which sound plays next, and
// when input ends the run. The saver's forms ask these and draw what they
// say; one TSlideOrder drives every monitor that shows the same thing.
#pragma once

#include "effects/Effects.h"
#include "payload/SSFileLocations.h"
#include "ui/Text.h"

#include <optional>

namespace tevrin {

// The pictures and styles of one show, in the record's order or at random.
class TSlideOrder {
public:
    // `first` is the show's first picture: several shows in turn start at
    // their monitor's number, so neighbouring monitors differ.
    explicit TSlideOrder(const TSSFileLocations& record, int first = 0);

    // The picture to show next; nothing once a movie saver's pictures are
    // over (its movies take the rest of the run). At random, a picture may
    // follow itself.
    std::optional<int> NextPicture();
    // The transition after `previous` among the record's chosen styles
    // (every transition when it names none): the next in turn, the last
    // followed by the first (127 by 1), or one at random. Styles the record
    // names in turn start with the first named, whatever the show started
    // from.
    TShowStyle NextStyle(TShowStyle previous);
    // Whether the next picture carries the caption: the first does, then
    // every other one.
    bool NextCaption();

private:
    const TSSFileLocations& record_;
    int next_;
    bool caption_ = false;
    bool styled_ = false; // a style was given
};

// The caption drawn on a composed picture: the record's text centred at the
// bottom, at the record's font size for a screen of `pixels_per_inch`.
// Nothing without a text.
void DrawCaption(TBitmap24& canvas, const TSSFileLocations& record, int pixels_per_inch,
                 TTextEngine& text);

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
