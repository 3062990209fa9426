// SPDX-License-Identifier: MIT
#include "tools/Install.h"

#include "base/Errors.h"
#include "base/IntConv.h"
#include "base/Paths.h"
#include "base/System.h"
#include "payload/Payload.h"
#include "payload/Trailer.h"
#include "tools/XScreensaverConfig.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string_view>
#include <vector>

namespace tevrin {

namespace fs = std::filesystem;
using json = nlohmann::json;

namespace {

constexpr std::size_t kMaxPrefsBytes = 4 << 20;
constexpr const char* kEntryTail = "\t\t\t\t    \\n\\\n";
constexpr std::string_view kProgramsKey = "programs:";

// Lines with their ends, so that joining them gives the text back.
std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find('\n', at);
        const std::size_t next = end == std::string::npos ? text.size() : end + 1;
        lines.push_back(text.substr(at, next - at));
        at = next;
    }
    return lines;
}

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += line;
    return text;
}

std::string_view Body(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    return line;
}

bool Continues(std::string_view line) {
    const std::string_view body = Body(line);
    return !body.empty() && body.back() == '\\';
}

// The lines [first, end) of the resource `key` ("programs:", "*mode:"),
// continuation lines included; first == end when there is none.
struct TBlock {
    std::size_t First = 0, End = 0;
};

TBlock FindBlock(const std::vector<std::string>& lines, std::string_view key) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!lines[i].starts_with(key)) continue;
        std::size_t end = i + 1;
        while (Continues(lines[end - 1]) && end < lines.size())
            ++end;
        return {i, end};
    }
    return {lines.size(), lines.size()};
}

// The entries a run of list lines holds: pieces between "\n" escapes that
// are not blank. The first line of a block carries its key.
int CountEntries(const std::vector<std::string>& lines, std::size_t first, std::size_t end,
                 std::size_t key_length) {
    std::string joined;
    for (std::size_t i = first; i < end; ++i) {
        std::string_view body = Body(lines[i]);
        if (i == first) body.remove_prefix(std::min(key_length, body.size()));
        if (!body.empty() && body.back() == '\\') body.remove_suffix(1);
        joined += body;
    }
    int count = 0;
    std::size_t at = 0;
    while (at <= joined.size()) {
        std::size_t next = joined.find("\\n", at);
        if (next == std::string::npos) next = joined.size();
        if (!TrimControl(std::string_view(joined).substr(at, next - at)).empty()) ++count;
        at = next + 2;
    }
    return count;
}

// The command of one list line: what follows its "-" (disabled), its visual
// ("GL:") and its quoted title.
std::string_view EntryCommand(std::string_view line) {
    std::string_view rest = TrimControl(Body(line));
    if (rest.ends_with("\\")) rest.remove_suffix(1);
    if (rest.ends_with("\\n")) rest.remove_suffix(2);
    rest = TrimControl(rest);
    if (rest.starts_with('-')) rest = TrimControl(rest.substr(1));
    const std::size_t word = rest.find_first_of(" \t\"");
    if (word != std::string_view::npos && word > 0 && rest[word - 1] == ':')
        rest = TrimControl(rest.substr(word));
    if (rest.starts_with('"')) {
        const std::size_t close = rest.find('"', 1);
        rest = close == std::string_view::npos ? std::string_view{}
                                               : TrimControl(rest.substr(close + 1));
    }
    return rest;
}

std::optional<int> ValueNumber(std::string_view line, std::string_view key) {
    const std::string_view value = TrimControl(Body(line).substr(key.size()));
    int number = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (error != std::errc() || end != value.data() + value.size()) return std::nullopt;
    return number;
}

// `line` of `key` with its value replaced, keeping the spacing after the key.
std::string WithValue(const std::string& line, std::string_view key, const std::string& value) {
    std::size_t at = key.size();
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t'))
        ++at;
    return line.substr(0, at) + value + "\n";
}

std::string ShellWord(const std::string& text) {
    const bool plain = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               std::string_view("/._+-,").find(c) != std::string_view::npos;
    });
    if (plain) return text;
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

} // namespace

std::string XScreensaverEntry(const std::string& title, const std::string& path) {
    // The list's own syntax has no escapes inside a title.
    std::string label;
    for (char c : title)
        label += c == '"' || c == '\\' || c == '\n' || c == '\r' || c == '\t' ? ' ' : c;
    return "\"" + label + "\" " + ShellWord(path) + " --root";
}

TXScreensaverEdit AddXScreensaverProgram(const std::string& prefs, const std::string& entry,
                                         bool only, const std::string& defaults) {
    std::vector<std::string> lines = SplitLines(prefs);
    if (!lines.empty() && !lines.back().ends_with('\n')) lines.back() += '\n';
    TBlock list = FindBlock(lines, "programs:");
    if (list.First == list.End) {
        // Without a list of its own the daemon runs the system's; the file
        // gets a copy of it, so that adding ours keeps the others.
        const std::vector<std::string> system = SplitLines(defaults);
        const TBlock from = FindBlock(system, "*programs:");
        std::vector<std::string> copied(system.begin() + static_cast<std::ptrdiff_t>(from.First),
                                        system.begin() + static_cast<std::ptrdiff_t>(from.End));
        if (copied.empty()) copied.push_back("programs:\t\\\n");
        if (copied.front().starts_with('*')) copied.front().erase(0, 1);
        if (!copied.back().ends_with('\n')) copied.back() += '\n';
        if (Continues(copied.back()) || !TrimControl(Body(copied.back())).empty()) {
            if (!Continues(copied.back())) copied.back().insert(Body(copied.back()).size(), "\\");
            copied.push_back("\n");
        }
        if (!lines.empty() && !TrimControl(Body(lines.back())).empty()) lines.push_back("\n");
        list = {lines.size(), lines.size() + copied.size()};
        lines.insert(lines.end(), copied.begin(), copied.end());
    }
    // Ours goes before the line that ends the list: the blank line the
    // daemon's settings write there, or an entry without a continuation.
    std::size_t at = list.End - 1;
    if (at == list.First) {
        // A list on its key's line alone: it continues into ours.
        if (!Continues(lines[at])) lines[at].insert(Body(lines[at]).size(), " \\n\\");
        ++at;
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), "\n");
    }
    TXScreensaverEdit edit;
    edit.Index = CountEntries(lines, list.First, at, kProgramsKey.size());
    std::string line = "\t\t\t\t" + entry + kEntryTail;
    if (edit.Index > 0) {
        std::string before;
        for (std::size_t i = list.First; i < at; ++i)
            before += Body(lines[i]);
        std::string_view tail = TrimControl(before);
        if (tail.ends_with('\\')) tail.remove_suffix(1);
        // The entry before ends without its separator: ours brings it.
        if (!TrimControl(tail).ends_with("\\n")) line = "\t\t\t\t\\n" + entry + kEntryTail;
    }
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), line);

    TBlock mode = FindBlock(lines, "mode:"), selected = FindBlock(lines, "selected:");
    if (only) {
        edit.PreviousMode = mode.First < mode.End ? Body(lines[mode.First]) : "";
        edit.PreviousSelected = selected.First < selected.End ? Body(lines[selected.First]) : "";
        // Missing values go just before the list.
        if (mode.First == mode.End)
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(list.First), "mode:\t\tone\n");
        else
            lines[mode.First] = WithValue(lines[mode.First], "mode:", "one");
        selected = FindBlock(lines, "selected:");
        list = FindBlock(lines, "programs:");
        const std::string chosen = std::to_string(edit.Index);
        if (selected.First == selected.End)
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(list.First),
                         "selected:\t" + chosen + "\n");
        else
            lines[selected.First] = WithValue(lines[selected.First], "selected:", chosen);
    } else if (selected.First < selected.End) {
        // A selection behind ours keeps its program.
        const std::optional<int> number = ValueNumber(lines[selected.First], "selected:");
        if (number && *number >= edit.Index)
            lines[selected.First] =
                WithValue(lines[selected.First], "selected:", std::to_string(*number + 1));
    }
    edit.Text = JoinLines(lines);
    return edit;
}

std::string RemoveXScreensaverProgram(const std::string& prefs, const std::string& command,
                                      const std::optional<std::string>& previous_mode,
                                      const std::optional<std::string>& previous_selected) {
    std::vector<std::string> lines = SplitLines(prefs);
    const TBlock list = FindBlock(lines, "programs:");
    std::optional<int> removed;
    for (std::size_t i = list.End; i-- > list.First + 1;) {
        const std::string_view rest = EntryCommand(lines[i]);
        if (rest != command && !rest.starts_with(command + " ") &&
            !rest.starts_with(command + "\t"))
            continue;
        removed = CountEntries(lines, list.First, i, kProgramsKey.size());
        lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i));
    }
    if (!removed) return prefs;

    const TBlock mode = FindBlock(lines, "mode:"), selected = FindBlock(lines, "selected:");
    const std::optional<int> number = selected.First < selected.End
                                          ? ValueNumber(lines[selected.First], "selected:")
                                          : std::nullopt;
    const bool still_ours = number && *number == *removed && mode.First < mode.End &&
                            TrimControl(Body(lines[mode.First]).substr(5)) == "one";
    if (still_ours && previous_mode && previous_selected) {
        // Put back what the install replaced; a line it added goes.
        auto restore = [&](TBlock block, const std::string& previous) {
            if (previous.empty())
                lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(block.First));
            else
                lines[block.First] = previous + "\n";
        };
        if (selected.First > mode.First) {
            restore(selected, *previous_selected);
            restore(mode, *previous_mode);
        } else {
            restore(mode, *previous_mode);
            restore(selected, *previous_selected);
        }
    } else if (number && *number > *removed) {
        lines[selected.First] =
            WithValue(lines[selected.First], "selected:", std::to_string(*number - 1));
    }
    return JoinLines(lines);
}

namespace {

enum class TSaverKind { Linux, Windows, Other };

struct TSaverFacts {
    TSaverKind Kind = TSaverKind::Other;
    TSSFileLocations Record;
};

// What the file at `path` is; raises EError when it carries no payload.
TSaverFacts ReadSaverFacts(const std::string& path) {
    std::error_code error;
    if (!fs::is_regular_file(PathOf(path), error)) throw EError(msg::kNoSuchFile, {path});
    TSaverFacts facts;
    TFile file = OpenOwnFile(path);
    const std::optional<std::int32_t> record_offset =
        ReadTrailerField(file, TTrailerField::RecordOffset);
    if (!record_offset || !ReadTrailerField(file, TTrailerField::PayloadLength))
        throw EError(msg::kNoTrailerNoSaver, {path});
    char magic[4] = {};
    if (!file.Seek(0) || file.Read(magic, 4) != 4) throw EError(msg::kNoTrailerNoSaver, {path});
    if (magic[0] == 0x7F && magic[1] == 'E' && magic[2] == 'L' && magic[3] == 'F')
        facts.Kind = TSaverKind::Linux;
    else if (magic[0] == 'M' && magic[1] == 'Z')
        facts.Kind = TSaverKind::Windows;
    // Any file's last bytes may pass for a trailer; only a record behind it
    // makes a saver.
    try {
        if (!file.Seek(*record_offset)) throw EError(msg::kNoTrailerNoSaver, {path});
        ReadRecord(file, facts.Record);
    } catch (const EError&) {
        throw EError(msg::kNoTrailerNoSaver, {path});
    }
    return facts;
}

std::string SaversFolder() {
    const std::string base = UserDataDir();
    if (base.empty()) throw EError(msg::kNoHomeFolder);
#if defined(_WIN32)
    return JoinPath(JoinPath(base, "Tevrin"), "Savers");
#else
    return JoinPath(JoinPath(base, "tevrin"), "savers");
#endif
}

// What each install changed, by the saver's file name.
class TInstallState {
public:
    explicit TInstallState(std::string folder) : path_(JoinPath(folder, "installs.json")) {
        if (const std::optional<std::string> text = ReadSmallFile(path_, 1 << 20)) {
            json parsed = json::parse(*text, nullptr, false);
            if (parsed.is_object()) state_ = std::move(parsed);
        }
    }
    json& operator[](const std::string& name) { return state_[name]; }
    bool Has(const std::string& name) const { return state_.contains(name); }
    void Forget(const std::string& name) { state_.erase(name); }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& [name, value] : state_.items())
            names.push_back(name);
        return names;
    }
    void Save() const {
        if (!ReplaceFileContents(path_, state_.dump(2) + "\n"))
            throw EError(msg::kCannotWrite, {path_, LastErrorText()});
    }

private:
    std::string path_;
    json state_ = json::object();
};

std::optional<std::string> TextOrNull(const json& value) {
    return value.is_string() ? std::optional<std::string>(value.get<std::string>()) : std::nullopt;
}

json NullOr(const std::optional<std::string>& value) {
    return value ? json(*value) : json(nullptr);
}

void CopySaver(const std::string& from, const std::string& to) {
    std::error_code error;
    if (fs::equivalent(PathOf(from), PathOf(to), error)) return;
    fs::copy_file(PathOf(from), PathOf(to), fs::copy_options::overwrite_existing, error);
    if (error) throw EError(msg::kCannotWrite, {to, error.message()});
    fs::permissions(PathOf(to),
                    fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                        fs::perms::others_read | fs::perms::others_exec,
                    error);
}

#if !defined(_WIN32)

// ~/.xscreensaver, or the file it links to (kept with other dotfiles).
std::string HomePrefsPath() {
    const std::string home = UserDocumentsDir();
    if (home.empty()) throw EError(msg::kNoHomeFolder);
    const std::string path = JoinPath(home, ".xscreensaver");
    std::error_code error;
    if (fs::is_symlink(PathOf(path), error)) {
        const fs::path target = fs::canonical(PathOf(path), error);
        if (error || !fs::is_regular_file(target, error))
            throw EError(msg::kCannotWrite, {path, "it links to no file"});
        return Utf8Of(target);
    }
    if (fs::exists(PathOf(path), error) && !fs::is_regular_file(PathOf(path), error))
        throw EError(msg::kCannotWrite, {path, "it is no file"});
    return path;
}

// The resource file the daemon takes its defaults from (Debian links it to
// the variant it chose).
std::string SystemDefaults() {
    for (const char* path :
         {"/etc/X11/app-defaults/XScreenSaver", "/usr/share/X11/app-defaults/XScreenSaver"}) {
        std::error_code error;
        const fs::path target = fs::canonical(path, error);
        if (error) continue;
        if (std::optional<std::string> text = ReadSmallFile(Utf8Of(target), kMaxPrefsBytes))
            return *text;
    }
    return {};
}

// The preferences a user without a file of their own has: the system's
// choices, in the form the daemon's settings write.
std::string PrefsFromDefaults(const std::string& defaults) {
    const std::vector<std::string> lines = SplitLines(defaults);
    std::string text =
        "# XScreenSaver Preferences File\n# Made by tevrin install from the system's defaults.\n\n";
    for (const char* key : {"*mode:", "*selected:"}) {
        const TBlock block = FindBlock(lines, key);
        if (block.First < block.End) text += lines[block.First].substr(1);
    }
    if (!text.ends_with('\n')) text += '\n';
    text += '\n';
    const TBlock list = FindBlock(lines, "*programs:");
    if (list.First == list.End) return text;
    for (std::size_t i = list.First; i < list.End; ++i)
        text += i == list.First ? lines[i].substr(1) : lines[i];
    // The last entry continues into the blank line that ends the list, as
    // in the daemon's own files.
    if (!text.ends_with('\n')) text += '\n';
    if (!text.ends_with("\\\n")) text.insert(text.size() - 1, "\\");
    return text + "\n";
}

void WritePrefs(const std::string& path, const std::string& text) {
    if (!ReplaceFileContents(path, text)) throw EError(msg::kCannotWrite, {path, LastErrorText()});
}

void TellDaemon(std::FILE* out) {
    // The restart's own status is unreliable: its command may see the old
    // daemon's window go before the answer comes.
    if (RunQuietly({"xscreensaver-command", "-time"}) == 0) {
        RunQuietly({"xscreensaver-command", "-restart"});
        std::fprintf(out, "xscreensaver restarted with the new settings.\n");
    } else
        std::fprintf(out, "No xscreensaver is running: start it with `xscreensaver "
                          "--no-splash &`, or from your desktop's start-up programs.\n");
}

void InstallLinux(const TInstallJob& job, const TSaverFacts& facts, std::FILE* out) {
    const std::string folder = SaversFolder();
    std::error_code error;
    fs::create_directories(PathOf(folder), error);
    const std::string name = ExtractFileName(job.Saver);
    const std::string target = JoinPath(folder, name);
    TInstallState state(folder);
    const std::string command = ShellWord(target);
    const std::string prefs_path = HomePrefsPath();
    const std::string defaults = SystemDefaults();

    std::optional<std::string> prefs = ReadSmallFile(prefs_path, kMaxPrefsBytes);
    bool created = false;
    bool record_had_system_xml = false;
    if (state.Has(name)) {
        // Installed before: that install's changes are undone first, so the
        // values it replaced stay the ones uninstall brings back.
        json& before = state[name];
        created = before.value("created", false);
        record_had_system_xml = before.contains("system_xml");
        if (prefs)
            prefs = RemoveXScreensaverProgram(*prefs, command, TextOrNull(before["mode"]),
                                              TextOrNull(before["selected"]));
    }
    if (!prefs) {
        prefs = PrefsFromDefaults(defaults);
        created = true;
    }
    CopySaver(job.Saver, target);
    std::fprintf(out, "Copied the saver to %s\n", target.c_str());

    const std::string title = facts.Record.Title.empty() ? name : facts.Record.Title;
    const TXScreensaverEdit edit =
        AddXScreensaverProgram(*prefs, XScreensaverEntry(title, target), job.Only, defaults);
    WritePrefs(prefs_path, edit.Text);
    state[name] = {{"system", "linux"},
                   {"path", target},
                   {"created", created},
                   {"mode", NullOr(edit.PreviousMode)},
                   {"selected", NullOr(edit.PreviousSelected)}};
    std::fprintf(out, "%s \"%s\" to the programs of %s%s\n", created ? "Made it with" : "Added",
                 title.c_str(), prefs_path.c_str(),
                 job.Only ? ", as the only saver xscreensaver runs" : "");

    // The description lists the saver in xscreensaver's settings.
    const std::string xml = XScreensaverConfig(facts.Record, facts.Record.PicCount(), name);
    const std::string xml_name = ExtractFileName(XScreensaverConfigPath(target));
    WritePrefs(JoinPath(folder, xml_name), xml);
    // xscreensaver's own descriptions live there too: only a file this
    // install made is written over.
    const std::string system_dir = "/usr/share/xscreensaver/config";
    const std::string system_xml = JoinPath(system_dir, xml_name);
    const bool ours = record_had_system_xml || !fs::exists(PathOf(system_xml), error);
    const bool described =
        ours && fs::is_directory(system_dir, error) && ReplaceFileContents(system_xml, xml);
    if (described) state[name]["system_xml"] = system_xml;
    state.Save();
    if (described)
        std::fprintf(out, "Put its description in %s\n", system_dir.c_str());
    else
        std::fprintf(out,
                     "Only its description is missing from xscreensaver's settings; as root: "
                     "cp %s %s/\n",
                     ShellWord(JoinPath(folder, xml_name)).c_str(), system_dir.c_str());
    TellDaemon(out);
}

void UninstallLinux(const std::string& name, TInstallState& state, const std::string& folder,
                    std::FILE* out) {
    const std::string target = JoinPath(folder, name);
    const json record = state.Has(name) ? state[name] : json::object();
    const std::string prefs_path = HomePrefsPath();
    if (const std::optional<std::string> prefs = ReadSmallFile(prefs_path, kMaxPrefsBytes)) {
        const std::string rest = RemoveXScreensaverProgram(
            *prefs, ShellWord(target), TextOrNull(record.value("mode", json())),
            TextOrNull(record.value("selected", json())));
        if (record.value("created", false) && rest == PrefsFromDefaults(SystemDefaults())) {
            std::error_code error;
            fs::remove(PathOf(prefs_path), error);
            std::fprintf(out, "Removed %s, which install had made\n", prefs_path.c_str());
        } else if (rest != *prefs) {
            WritePrefs(prefs_path, rest);
            std::fprintf(out, "Took it out of the programs of %s\n", prefs_path.c_str());
        }
    }
    std::error_code error;
    const std::string xml_name = ExtractFileName(XScreensaverConfigPath(target));
    fs::remove(PathOf(JoinPath(folder, xml_name)), error);
    if (const std::optional<std::string> system_xml =
            TextOrNull(record.value("system_xml", json())))
        fs::remove(PathOf(*system_xml), error);
    TellDaemon(out);
}

#else

constexpr const char* kSaverKey = "SCRNSAVE.EXE";
constexpr const char* kActiveKey = "ScreenSaveActive";

void InstallWindows(const TInstallJob& job, std::FILE* out) {
    const std::string folder = SaversFolder();
    std::error_code error;
    fs::create_directories(PathOf(folder), error);
    std::string name = ExtractFileName(job.Saver);
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (!lower.ends_with(".scr")) name += ".scr";
    const std::string target = JoinPath(folder, name);
    TInstallState state(folder);
    CopySaver(job.Saver, target);
    std::fprintf(out, "Copied the saver to %s\n", target.c_str());

    if (!state.Has(name)) {
        state[name] = {{"system", "windows"},
                       {"path", target},
                       {"saver", NullOr(ReadDesktopSetting(kSaverKey))},
                       {"active", NullOr(ReadDesktopSetting(kActiveKey))}};
    }
    if (!WriteDesktopSetting(kSaverKey, target) || !WriteDesktopSetting(kActiveKey, "1"))
        throw EError(msg::kCannotWrite, {"HKCU\\Control Panel\\Desktop", LastErrorText()});
    state.Save();
    std::fprintf(out, "It is your screen saver now (Settings, Personalisation, Lock screen, "
                      "Screen saver shows it).\n");
}

void UninstallWindows(const std::string& name, TInstallState& state, const std::string& folder,
                      std::FILE* out) {
    const std::string target = JoinPath(folder, name);
    const json record = state.Has(name) ? state[name] : json::object();
    const std::optional<std::string> current = ReadDesktopSetting(kSaverKey);
    std::error_code error;
    if (current && fs::equivalent(PathOf(*current), PathOf(target), error)) {
        WriteDesktopSetting(kSaverKey, TextOrNull(record.value("saver", json())));
        WriteDesktopSetting(kActiveKey, TextOrNull(record.value("active", json())));
        std::fprintf(out, "Your previous screen saver choice is back.\n");
    }
}

#endif

} // namespace

void RunInstall(const TInstallJob& job, std::FILE* out) {
    const TSaverFacts facts = ReadSaverFacts(job.Saver);
#if defined(_WIN32)
    if (facts.Kind != TSaverKind::Windows)
        throw EError(msg::kSaverForOtherSystem, {job.Saver, "Windows"});
    InstallWindows(job, out);
#else
    if (facts.Kind != TSaverKind::Linux)
        throw EError(msg::kSaverForOtherSystem, {job.Saver, "Linux"});
    InstallLinux(job, facts, out);
#endif
}

void RunUninstall(const std::string& name, std::FILE* out) {
    const std::string folder = SaversFolder();
    TInstallState state(folder);
    std::string installed = ExtractFileName(name);
    std::error_code error;
    auto known = [&](const std::string& candidate) {
        return state.Has(candidate) ||
               fs::is_regular_file(PathOf(JoinPath(folder, candidate)), error);
    };
    if (!known(installed) && known(installed + ".scr")) installed += ".scr";
    if (!known(installed) || installed == "installs.json") {
        std::string names;
        for (const std::string& each : state.Names())
            names += (names.empty() ? "" : ", ") + each;
        throw EError(msg::kNotInstalled, {name, names.empty() ? "none" : names});
    }
#if defined(_WIN32)
    UninstallWindows(installed, state, folder, out);
#else
    UninstallLinux(installed, state, folder, out);
#endif
    const std::string target = JoinPath(folder, installed);
    fs::remove(PathOf(target), error);
    std::fprintf(out, "Removed %s\n", target.c_str());
    state.Forget(installed);
    state.Save();
}

} // namespace tevrin
