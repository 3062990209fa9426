// SPDX-License-Identifier: MIT
#include "payload/SSFileLocations.h"

#include "base/Errors.h"
#include "base/IntConv.h"
#include "payload/CommaList.h"

#include <array>

namespace tevrin {
namespace {

constexpr std::array<const char*, TSSFileLocations::kListCount> kListNames{
    "PicCommaList",
    "PicFileNamesCommaList",
    "SndCommaList",
    "SndFileNamesCommaList",
    "SndSizesCommaList",
    "FlashCommaList",
    "FlashFileNamesCommaList",
    "FlashSizesCommaList",
    "DescriptCommaList",
};

constexpr std::array<const char*, 4> kFitModeNames{"fmNatural", "fmShrink", "fmFit", "fmFill"};
constexpr std::array<const char*, 3> kMonitorModeNames{"mmPrimary", "mmMirror", "mmEach"};
constexpr std::array<const char*, 2> kMotionNames{"moNone", "moPanZoom"};

template <typename T, std::size_t N>
std::optional<T> ByName(const std::array<const char*, N>& names, std::string_view name) {
    for (std::size_t i = 0; i < names.size(); ++i)
        if (SameText(name, names[i])) return static_cast<T>(i);
    return std::nullopt;
}

} // namespace

std::string_view TSSFileLocations::FitModeName(TFitMode mode) {
    return kFitModeNames[static_cast<std::size_t>(mode)];
}

std::optional<TFitMode> TSSFileLocations::FitModeByName(std::string_view name) {
    return ByName<TFitMode>(kFitModeNames, name);
}

std::string_view TSSFileLocations::MonitorModeName(TMonitorMode mode) {
    return kMonitorModeNames[static_cast<std::size_t>(mode)];
}

std::optional<TMonitorMode> TSSFileLocations::MonitorModeByName(std::string_view name) {
    return ByName<TMonitorMode>(kMonitorModeNames, name);
}

std::string_view TSSFileLocations::MotionName(TMotion motion) {
    return kMotionNames[static_cast<std::size_t>(motion)];
}

std::optional<TMotion> TSSFileLocations::MotionByName(std::string_view name) {
    return ByName<TMotion>(kMotionNames, name);
}

std::string_view TSSFileLocations::ListPropertyName(TListId list) {
    return kListNames[list];
}

std::string TSSFileLocations::CommaText(TListId list) const {
    return EntriesToCommaText(lists_[list]);
}

void TSSFileLocations::SetCommaText(TListId list, std::string_view text) {
    lists_[list] = CommaTextToEntries(text);
}

const std::string& TSSFileLocations::Entry(TListId list, int i) const {
    if (i < 0 || i >= Count(list)) throw EError(msg::kIndexOutOfBounds);
    return lists_[list][static_cast<std::size_t>(i)];
}

std::int32_t TSSFileLocations::IntEntry(TListId list, int i) const {
    return StrToIntDef(Entry(list, i), 0);
}

TPersistent* TSSFileLocations::SubObject(std::string_view name) {
    return SameText(name, "TextFont") ? &TextFont : nullptr;
}

bool TSSFileLocations::ReadProperty(std::string_view name, TReader& reader) {
    struct TBoolProp {
        const char* name;
        bool TSSFileLocations::*member;
    };
    struct TStringProp {
        const char* name;
        std::string TSSFileLocations::*member;
    };
    static constexpr TBoolProp kBools[] = {
        {"lRandomStyle", &TSSFileLocations::lRandomStyle},
        {"lRandomPic", &TSSFileLocations::lRandomPic},
        {"lClearOldImage", &TSSFileLocations::lClearOldImage},
        {"lSoundLoop", &TSSFileLocations::lSoundLoop},
        {"lMute", &TSSFileLocations::lMute},
        {"BlurBorders", &TSSFileLocations::BlurBorders},
        {"CaptionShadow", &TSSFileLocations::CaptionShadow},
        {"lShuffle", &TSSFileLocations::lShuffle},
        {"lRecursive", &TSSFileLocations::lRecursive},
    };
    static constexpr TStringProp kStrings[] = {
        {"Text", &TSSFileLocations::Text},     {"Title", &TSSFileLocations::Title},
        {"Author", &TSSFileLocations::Author}, {"Email", &TSSFileLocations::Email},
        {"Web", &TSSFileLocations::Web},       {"Ver", &TSSFileLocations::Ver},
    };
    for (const TBoolProp& p : kBools)
        if (SameText(name, p.name)) {
            this->*p.member = reader.ReadBoolean();
            return true;
        }
    for (const TStringProp& p : kStrings)
        if (SameText(name, p.name)) {
            this->*p.member = reader.ReadString();
            return true;
        }
    if (SameText(name, "Interval")) {
        Interval = reader.ReadInteger();
        return true;
    }
    if (SameText(name, "TransitionTime")) {
        TransitionTime = reader.ReadInteger();
        return true;
    }
    if (SameText(name, "CaptionCommaList")) {
        Captions = CommaTextToEntries(reader.ReadString());
        return true;
    }
    if (SameText(name, "PictureFolders")) {
        PictureFolders = CommaTextToEntries(reader.ReadString());
        std::erase(PictureFolders, std::string());
        return true;
    }
    if (SameText(name, "CaptionTemplate")) {
        CaptionTemplate = reader.ReadString();
        return true;
    }
    if (SameText(name, "CaptionDateFormat")) {
        CaptionDateFormat = reader.ReadString();
        return true;
    }
    if (SameText(name, "IntervalCommaList")) {
        Intervals = CommaTextToEntries(reader.ReadString());
        return true;
    }
    if (SameText(name, "FitMode")) {
        // A mode a later writer may add is shown as the classic one.
        FitMode = FitModeByName(reader.ReadIdent()).value_or(TFitMode::fmNatural);
        return true;
    }
    if (SameText(name, "MonitorMode")) {
        // Likewise a later mode: the classic show, the others black.
        MonitorMode = MonitorModeByName(reader.ReadIdent()).value_or(TMonitorMode::mmPrimary);
        return true;
    }
    if (SameText(name, "Motion")) {
        // A later kind of motion: still pictures.
        Motion = MotionByName(reader.ReadIdent()).value_or(TMotion::moNone);
        return true;
    }
    if (SameText(name, "Styles")) {
        // Entries that are no style number are passed over.
        Styles.clear();
        for (const std::string& entry : CommaTextToEntries(reader.ReadString())) {
            std::int32_t number;
            if (TryStrToInt(entry, number) && number >= 0 && number <= 255)
                Styles.push_back(number);
        }
        return true;
    }
    if (SameText(name, "SoundRandom")) {
        SoundRandom = reader.ReadInteger();
        return true;
    }
    for (int list = 0; list < kListCount; ++list)
        if (SameText(name, kListNames[list])) {
            SetCommaText(static_cast<TListId>(list), reader.ReadString());
            return true;
        }
    return false;
}

void TSSFileLocations::WriteProperties(TWriter& writer) const {
    writer.WriteString("Text", Text);
    TextFont.WriteProperties(writer, "TextFont");
    writer.WriteBoolean("lRandomStyle", lRandomStyle);
    writer.WriteBoolean("lRandomPic", lRandomPic);
    writer.WriteBoolean("lClearOldImage", lClearOldImage);
    writer.WriteInteger("Interval", Interval);
    writer.WriteInteger("SoundRandom", SoundRandom);
    writer.WriteBoolean("lSoundLoop", lSoundLoop);
    writer.WriteBoolean("lMute", lMute);
    writer.WriteString("Title", Title);
    writer.WriteString("Author", Author);
    writer.WriteString("Email", Email);
    writer.WriteString("Web", Web);
    writer.WriteString("Ver", Ver);
    for (int list = 0; list < kListCount; ++list)
        writer.WriteString(kListNames[list], CommaText(static_cast<TListId>(list)));
    if (FitMode != TFitMode::fmNatural) writer.WriteIdent("FitMode", FitModeName(FitMode));
    if (BlurBorders) writer.WriteBoolean("BlurBorders", true);
    if (MonitorMode != TMonitorMode::mmPrimary)
        writer.WriteIdent("MonitorMode", MonitorModeName(MonitorMode));
    if (!Styles.empty()) {
        std::string list;
        for (int style : Styles)
            list += (list.empty() ? "" : ",") + std::to_string(style);
        writer.WriteString("Styles", list);
    }
    if (Captions) writer.WriteString("CaptionCommaList", EntriesToCommaText(*Captions));
    if (CaptionShadow) writer.WriteBoolean("CaptionShadow", true);
    if (lShuffle) writer.WriteBoolean("lShuffle", true);
    if (Intervals) writer.WriteString("IntervalCommaList", EntriesToCommaText(*Intervals));
    if (TransitionTime != 0) writer.WriteInteger("TransitionTime", TransitionTime);
    if (Motion != TMotion::moNone) writer.WriteIdent("Motion", MotionName(Motion));
    if (!PictureFolders.empty())
        writer.WriteString("PictureFolders", EntriesToCommaText(PictureFolders));
    if (lRecursive) writer.WriteBoolean("lRecursive", true);
    if (!CaptionTemplate.empty()) writer.WriteString("CaptionTemplate", CaptionTemplate);
    if (!CaptionDateFormat.empty()) writer.WriteString("CaptionDateFormat", CaptionDateFormat);
}

} // namespace tevrin
