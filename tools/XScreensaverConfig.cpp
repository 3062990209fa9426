// SPDX-License-Identifier: MIT
#include "tools/XScreensaverConfig.h"

#include "base/Paths.h"
#include "base/Unicode.h"

namespace tevrin {
namespace {

// The record's texts are UTF-8, as the file says; markup characters become
// entities and characters XML does not allow (controls) are left out.
std::string Escaped(const std::string& text) {
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
        const char32_t c = NextCodePoint(text, at);
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&apos;";
            break;
        default:
            if (c >= 0x20 || c == '\t' || c == '\n') {
                if (c != 0xFFFE && c != 0xFFFF) AppendUtf8(out, c);
            }
        }
    }
    return out;
}

} // namespace

std::string XScreensaverConfig(const TSSFileLocations& record, int pictures,
                               const std::string& program) {
    const std::string label = record.Title.empty() ? program : record.Title;
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n\n";
    text += "<screensaver name=\"" + Escaped(program) + "\" _label=\"" + Escaped(label) + "\">\n\n";
    text += "  <command arg=\"--root\"/>\n\n";
    text += "  <_description>\n";
    text += Escaped(label) + ": a slide show";
    if (pictures > 0) text += " of " + std::to_string(pictures) + " pictures";
    text += ", each entering through an animated transition.\n";
    if (!record.Author.empty()) text += "\n" + Escaped(record.Author) + "\n";
    if (!record.Web.empty()) text += "\n" + Escaped(record.Web) + "\n";
    text += "  </_description>\n";
    text += "</screensaver>\n";
    return text;
}

std::string XScreensaverConfigPath(const std::string& saver) {
    std::string path = saver;
    const std::string name = ExtractFileName(saver);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) path.resize(path.size() - (name.size() - dot));
    return path + ".xml";
}

} // namespace tevrin
