// SPDX-License-Identifier: MIT
#include "tools/Report.h"

#include "base/Errors.h"
#include "base/IntConv.h"
#include "base/Paths.h"
#include "base/System.h"
#include "base/Unicode.h"
#include "gfx/ColorProfile.h"
#include "payload/Font.h"
#include "payload/Image.h"
#include "payload/Payload.h"
#include "payload/SSFileLocations.h"
#include "payload/Trailer.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

namespace tevrin {
namespace {

using json = nlohmann::ordered_json;

json IdentOrNumber(TIdentTable table, std::int32_t value) {
    if (auto name = IdentName(table, value)) return std::string(*name);
    return value;
}

json FontToJson(const TFont& font) {
    json styles = json::array();
    for (TFontStyle s : {fsBold, fsItalic, fsUnderline, fsStrikeOut})
        if (font.Style & s) styles.push_back(std::string(TFont::StyleName(s)));
    return {{"Charset", IdentOrNumber(CharsetNames(), font.Charset)},
            {"Color", IdentOrNumber(ColorNames(), font.Color)},
            {"Height", font.Height},
            {"Name", font.Name},
            {"Pitch", std::string(TFont::PitchName(font.Pitch))},
            {"Size", font.Size()},
            {"Style", styles}};
}

json RecordToJson(const TSSFileLocations& r) {
    json j = {{"Text", r.Text},
              {"TextFont", FontToJson(r.TextFont)},
              {"lRandomStyle", r.lRandomStyle},
              {"lRandomPic", r.lRandomPic},
              {"lClearOldImage", r.lClearOldImage},
              {"Interval", r.Interval},
              {"SoundRandom", r.SoundRandom},
              {"lSoundLoop", r.lSoundLoop},
              {"lMute", r.lMute},
              {"Title", r.Title},
              {"Author", r.Author},
              {"Email", r.Email},
              {"Web", r.Web},
              {"Ver", r.Ver}};
    for (int list = 0; list < TSSFileLocations::kListCount; ++list) {
        auto id = static_cast<TSSFileLocations::TListId>(list);
        j[std::string(TSSFileLocations::ListPropertyName(id))] = r.List(id);
    }
    j["FitMode"] = std::string(TSSFileLocations::FitModeName(r.FitMode));
    j["BlurBorders"] = r.BlurBorders;
    j["MonitorMode"] = std::string(TSSFileLocations::MonitorModeName(r.MonitorMode));
    j["Styles"] = r.Styles;
    // The per-picture lists are shown where the record has them: absent,
    // the pictures share Text and Interval as in the classic show.
    if (r.Captions) j["CaptionCommaList"] = *r.Captions;
    j["CaptionShadow"] = r.CaptionShadow;
    j["lShuffle"] = r.lShuffle;
    j["PictureFolders"] = r.PictureFolders;
    j["lRecursive"] = r.lRecursive;
    if (!r.CaptionTemplate.empty()) j["CaptionTemplate"] = r.CaptionTemplate;
    if (!r.CaptionDateFormat.empty()) j["CaptionDateFormat"] = r.CaptionDateFormat;
    if (r.Intervals) j["IntervalCommaList"] = *r.Intervals;
    j["TransitionTime"] = r.TransitionTime;
    j["Motion"] = std::string(TSSFileLocations::MotionName(r.Motion));
    return j;
}

json ImageToJson(const TImage& image) {
    const TPicture& picture = image.Picture;
    json graphic = {
        {"Class", AnsiToUtf8(picture.GraphicClass)},
        {"Width", picture.Info.Width},
        {"Height", picture.Info.Height},
        {"Orientation", picture.Info.Orientation},
        {"DataLength", picture.JpegData.size()},
        {"DataSha256", HexText(Sha256(picture.JpegData.data(), picture.JpegData.size()))}};
    // The colour profile it carries, by its own name ("" where it gives
    // none or this build reads no profiles, null when it cannot be read).
    const std::vector<std::uint8_t> icc = EmbeddedProfile(picture.JpegData);
    if (!icc.empty()) {
        const std::optional<TColorProfile> profile = TColorProfile::Parse(icc);
        graphic["ColourProfile"] = profile             ? json(profile->Description())
                                   : ConvertsColours() ? json(nullptr)
                                                       : json("");
    }
    return {{"Left", image.Left},
            {"Top", image.Top},
            {"Width", image.Width},
            {"Height", image.Height},
            {"Picture", graphic}};
}

std::string Pad(std::string text, std::size_t width) {
    if (text.size() < width) text.resize(width, ' ');
    return text;
}

// A text as it can go to a terminal: control characters (which could move
// the cursor or start an escape sequence) are shown as \xNN or \u{NNNN}.
std::string Printable(const std::string& text) {
    std::string out;
    char code[16];
    for (std::size_t at = 0; at < text.size();) {
        const char32_t c = NextCodePoint(text, at);
        if (c < 0x20 || c == 0x7F) {
            std::snprintf(code, sizeof code, "\\x%02X", static_cast<unsigned>(c));
            out += code;
        } else if (c >= 0x80 && c < 0xA0) {
            std::snprintf(code, sizeof code, "\\u{%04X}", static_cast<unsigned>(c));
            out += code;
        } else {
            AppendUtf8(out, c);
        }
    }
    return out;
}

std::string Scalar(const json& value) {
    if (value.is_string()) return Printable(value.get<std::string>());
    if (value.is_array()) {
        std::string text;
        for (const json& v : value)
            text += (text.empty() ? "" : ", ") + Scalar(v);
        return "[" + text + "]";
    }
    return value.dump();
}

void Properties(std::ostringstream& out, const json& properties, const std::string& prefix) {
    for (const auto& [name, value] : properties.items()) {
        if (name == "Class") continue;
        if (value.is_object())
            Properties(out, value, prefix + name + ".");
        else
            out << "  " << Pad(prefix + name, 26) << Scalar(value) << "\n";
    }
}

} // namespace

json ComponentToJson(const TComponent& component) {
    json j = {{"Class", std::string(component.ClassName())}};
    if (auto* record = dynamic_cast<const TSSFileLocations*>(&component))
        j.update(RecordToJson(*record));
    else if (auto* image = dynamic_cast<const TImage*>(&component))
        j.update(ImageToJson(*image));
    return j;
}

json InspectSaver(const std::string& path) {
    std::int64_t file_size, trailer_end;
    std::optional<std::int32_t> payload_length, record_offset;
    {
        TFile file = OpenOwnFile(path);
        file_size = file.Size();
        trailer_end = TrailerEnd(file);
        payload_length = ReadTrailerField(file, TTrailerField::PayloadLength);
        record_offset = ReadTrailerField(file, TTrailerField::RecordOffset);
    }
    if (!payload_length || !record_offset) throw EError(msg::kNoTrailerShortFile);

    TSSFileLocations record;
    {
        TFile file = OpenOwnFile(path);
        if (!file.Seek(*record_offset)) throw EReadError(msg::kStreamReadError);
        ReadRecord(file, record);
    }

    // A picture's size is the distance to the next item that follows it.
    std::vector<std::int64_t> starts = {*record_offset, trailer_end - kTrailerSize};
    for (int i = 0; i < record.PicCount(); ++i)
        starts.push_back(record.PicOffset(i));
    for (int i = 0; i < record.SndCount(); ++i)
        starts.push_back(record.SndOffset(i));
    for (int i = 0; i < record.FlashCount(); ++i)
        starts.push_back(record.FlashOffset(i));
    std::sort(starts.begin(), starts.end());
    auto extent = [&](std::int64_t at) {
        auto next = std::upper_bound(starts.begin(), starts.end(), at);
        return next == starts.end() ? trailer_end - at : *next - at;
    };

    json items = json::array();
    // Each distinct picture record is read once, however often the list
    // names it.
    std::map<std::int32_t, json> pictures;
    for (int i = 0; i < record.PicCount(); ++i) {
        const std::int32_t at = record.PicOffset(i);
        auto known = pictures.find(at);
        if (known == pictures.end())
            known = pictures.emplace(at, ComponentToJson(*FetchPicture(path, record, i))).first;
        const auto& names = record.List(TSSFileLocations::PicFileNamesList);
        items.push_back({{"Kind", "picture"},
                         {"Index", i},
                         {"Offset", at},
                         {"Size", extent(at)},
                         {"Name", i < static_cast<int>(names.size()) ? names[i] : ""},
                         {"Record", known->second}});
    }
    for (int i = 0; i < record.SndCount(); ++i)
        items.push_back({{"Kind", "sound"},
                         {"Index", i},
                         {"Offset", record.SndOffset(i)},
                         {"Size", record.SndSize(i)},
                         {"Name", record.SndFileName(i)}});
    for (int i = 0; i < record.FlashCount(); ++i)
        items.push_back({{"Kind", "movie"},
                         {"Index", i},
                         {"Offset", record.FlashOffset(i)},
                         {"Size", record.FlashSize(i)},
                         {"Name", record.FlashFileName(i)}});

    return {{"File", path},
            {"FileSize", file_size},
            {"Trailer", {{"PayloadLength", *payload_length}, {"RecordOffset", *record_offset}}},
            {"PayloadStart", trailer_end - kTrailerSize - *payload_length},
            // A signature's certificate table, when the saver was signed.
            {"AfterTrailer", file_size - trailer_end},
            {"Record", ComponentToJson(record)},
            {"Items", items}};
}

json InspectStream(const std::string& path) {
    const std::vector<std::uint8_t> bytes = ReadFileBytes(path);
    TMemorySource source(bytes);
    TReader reader(source);
    return ComponentToJson(*ReadComponent(reader));
}

std::string SaverReport(const json& saver) {
    std::ostringstream out;
    out << Printable(saver["File"].get<std::string>()) << ": " << saver["FileSize"] << " bytes\n";
    out << "Trailer: payload length " << saver["Trailer"]["PayloadLength"] << ", record at "
        << saver["Trailer"]["RecordOffset"] << " (payload starts at " << saver["PayloadStart"]
        << ")\n";
    out << "Record (" << saver["Record"]["Class"].get<std::string>() << "):\n";
    json shown = saver["Record"];
    for (const char* list :
         {"PicCommaList", "PicFileNamesCommaList", "SndCommaList", "SndFileNamesCommaList",
          "SndSizesCommaList", "FlashCommaList", "FlashFileNamesCommaList", "FlashSizesCommaList",
          "CaptionCommaList", "IntervalCommaList"})
        shown.erase(list); // the table below shows them
    Properties(out, shown, "");
    out << "Items:\n  " << Pad("kind", 8) << Pad("#", 4) << Pad("offset", 12) << Pad("size", 12)
        << Pad("picture", 12) << "name\n";
    for (const json& item : saver["Items"]) {
        std::string picture;
        if (item.contains("Record")) {
            const json& g = item["Record"]["Picture"];
            picture = std::to_string(g["Width"].get<int>()) + "x" +
                      std::to_string(g["Height"].get<int>());
            if (g.contains("ColourProfile")) picture += "*";
        }
        out << "  " << Pad(item["Kind"].get<std::string>(), 8) << Pad(item["Index"].dump(), 4)
            << Pad(item["Offset"].dump(), 12) << Pad(item["Size"].dump(), 12) << Pad(picture, 12)
            << Printable(item["Name"].get<std::string>()) << "\n";
    }
    bool profiles = false;
    for (const json& item : saver["Items"])
        profiles = profiles ||
                   (item.contains("Record") && item["Record"]["Picture"].contains("ColourProfile"));
    if (profiles) out << "  (* carries a colour profile)\n";
    // Each picture's own caption and time, where the record gives them.
    const json& record = saver["Record"];
    for (const char* list : {"CaptionCommaList", "IntervalCommaList"})
        if (record.contains(list)) {
            out << list << ":\n";
            int n = 0;
            for (const json& entry : record[list])
                out << "  " << Pad(std::to_string(n++), 4)
                    << (entry.get<std::string>().empty() ? "(none)"
                                                         : Printable(entry.get<std::string>()))
                    << "\n";
        }
    return out.str();
}

std::string StreamReport(const json& component) {
    std::ostringstream out;
    out << component["Class"].get<std::string>() << ":\n";
    Properties(out, component, "");
    return out.str();
}

} // namespace tevrin
