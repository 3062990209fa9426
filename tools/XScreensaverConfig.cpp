#include "tools/XScreensaverConfig.h"

#include "payload/Paths.h"

namespace tevrin {
namespace {

// The record's texts are single-byte (Windows-1252 for the most part), the
// file says ISO-8859-1; markup characters become entities.
std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
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
        default:
            out += c;
        }
    }
    return out;
}

} // namespace

std::string XScreensaverConfig(const TSSFileLocations& record, int pictures,
                               const std::string& program) {
    const std::string label = record.Title.empty() ? program : record.Title;
    std::string text = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n\n";
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
