// SPDX-License-Identifier: MIT
// The description record: a finished saver's display choices, texts, and
// where each stored picture, sound and movie lies in the executable file.
#pragma once

#include "gfx/Compose.h"
#include "payload/Font.h"
#include "payload/Stream.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tevrin {

// How a saver uses several monitors: its show on the primary one and the
// others black; the same picture and transition on every one, each composed
// at its monitor's size; or a show of its own on each.
enum class TMonitorMode { mmPrimary, mmMirror, mmEach };
// Whether a picture moves while it is on screen: still, as designed, or a
// slow zoom and pan over its whole time.
enum class TMotion { moNone, moPanZoom };

using TStringList = std::vector<std::string>;

class TSSFileLocations final : public TComponent {
public:
    // The comma-list properties, in their stored order.
    enum TListId {
        PicList,
        PicFileNamesList,
        SndList,
        SndFileNamesList,
        SndSizesList,
        FlashList,
        FlashFileNamesList,
        FlashSizesList,
        DescriptList,
        kListCount
    };

    explicit TSSFileLocations(int pixels_per_inch = kDefaultPixelsPerInch)
        : TextFont(pixels_per_inch) {}

    std::string_view ClassName() const override { return "TSSFileLocations"; }

    std::string Text;
    TFont TextFont;
    bool lRandomStyle = false;
    bool lRandomPic = false;
    bool lClearOldImage = false;
    std::int32_t Interval = 0;
    std::int32_t SoundRandom = 0;
    bool lSoundLoop = false;
    bool lMute = false;
    std::string Title;
    std::string Author;
    std::string Email;
    std::string Web;
    std::string Ver;
    // Beyond the classic record, each stored only when it differs from its
    // default, which keeps the classic behaviour: how pictures are fitted to
    // the screen, and whether the borders a fitted picture leaves show a
    // blurred copy of it instead of black.
    TFitMode FitMode = TFitMode::fmNatural;
    bool BlurBorders = false;
    // What the other monitors show (stored only when not mmPrimary, whose
    // classic show on the primary monitor leaves the others black).
    TMonitorMode MonitorMode = TMonitorMode::mmPrimary;
    // The transitions the show takes, in the order it takes them in turn
    // (stored as "Styles", numbers separated by commas, only when not empty).
    // Empty, as in the classic record, means every transition.
    std::vector<int> Styles;
    // Each stored only where it is set, and absent in classic records, which
    // then show as designed.
    // One caption per picture, in picture order ("CaptionCommaList"); an
    // empty entry is no caption. When present the show's own Text is not
    // drawn.
    std::optional<TStringList> Captions;
    // The caption is drawn with a dark outline, clear of the screen's edges.
    bool CaptionShadow = false;
    // With lRandomPic (and lRandomStyle): at random without repeats, every
    // picture (style) once a round.
    bool lShuffle = false;
    // Milliseconds per picture ("IntervalCommaList"); an empty entry, or a
    // picture past the list's end, takes Interval.
    std::optional<TStringList> Intervals;
    // Milliseconds a transition lasts (0: the design's 25 frames of 40 ms).
    std::int32_t TransitionTime = 0;
    // Stored only when not moNone.
    TMotion Motion = TMotion::moNone;
    // Folders whose pictures the show takes at run time besides the stored
    // ones ("PictureFolders", a comma list; stored only when not empty), as
    // the machine running the saver names them: one starting with `~`, or
    // naming $VARIABLE or %VARIABLE%, is expanded there. With lRecursive
    // (stored only when set) their subfolders count too.
    TStringList PictureFolders;
    bool lRecursive = false;
    // A folder saver's caption template and the date format of its {date}
    // ("CaptionTemplate", "CaptionDateFormat"; stored only when not empty):
    // the folders' pictures take their captions from it when shown. Stored
    // pictures keep the captions the pack made.
    std::string CaptionTemplate;
    std::string CaptionDateFormat;

    static std::string_view FitModeName(TFitMode mode);
    static std::optional<TFitMode> FitModeByName(std::string_view name);
    static std::string_view MonitorModeName(TMonitorMode mode);
    static std::optional<TMonitorMode> MonitorModeByName(std::string_view name);
    static std::string_view MotionName(TMotion motion);
    static std::optional<TMotion> MotionByName(std::string_view name);

    // A list property as text, and assignment from text (CommaList.h rules).
    std::string CommaText(TListId list) const;
    void SetCommaText(TListId list, std::string_view text);
    TStringList& List(TListId list) { return lists_[list]; }
    const TStringList& List(TListId list) const { return lists_[list]; }
    static std::string_view ListPropertyName(TListId list);

    // Counts are the lengths of the offset lists; the indexed operations
    // check the list they read and raise "Index is out of bounds".
    int PicCount() const { return Count(PicList); }
    std::int32_t PicOffset(int i) const { return IntEntry(PicList, i); }
    int SndCount() const { return Count(SndList); }
    std::int32_t SndOffset(int i) const { return IntEntry(SndList, i); }
    const std::string& SndFileName(int i) const { return Entry(SndFileNamesList, i); }
    std::int32_t SndSize(int i) const { return IntEntry(SndSizesList, i); }
    int FlashCount() const { return Count(FlashList); }
    std::int32_t FlashOffset(int i) const { return IntEntry(FlashList, i); }
    const std::string& FlashFileName(int i) const { return Entry(FlashFileNamesList, i); }
    std::int32_t FlashSize(int i) const { return IntEntry(FlashSizesList, i); }

    bool ReadProperty(std::string_view name, TReader& reader) override;
    TPersistent* SubObject(std::string_view name) override;
    void WriteProperties(TWriter& writer) const override;

private:
    int Count(TListId list) const { return static_cast<int>(lists_[list].size()); }
    const std::string& Entry(TListId list, int i) const;
    std::int32_t IntEntry(TListId list, int i) const;

    TStringList lists_[kListCount];
};

} // namespace tevrin
