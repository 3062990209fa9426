// SPDX-License-Identifier: MIT
#include "tools/studio/Session.h"

#include "base/IntConv.h"
#include "base/Paths.h"
#include "base/System.h"
#include "base/Unicode.h"

#include <filesystem>
#include <nlohmann/json.hpp>

namespace tevrin::studio {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

constexpr std::size_t kMaxSessionFile = 4096;

// One spelling per folder, however the command line named it.
std::string CanonicalFolder(const std::string& folder) {
    std::error_code error;
    fs::path path = fs::weakly_canonical(PathOf(folder), error);
    if (error) path = fs::absolute(PathOf(folder), error).lexically_normal();
    return Utf8Of(path);
}

bool IsToken(const std::string& text) {
    if (text.size() < 16 || text.size() > 128) return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

} // namespace

TSessionStore::TSessionStore(std::string folder) : folder_(std::move(folder)) {
    if (folder_.empty()) folder_ = JoinPath(JoinPath(UserConfigDir(), kAppConfigFolder), "studio");
}

std::string TSessionStore::FileFor(const std::string& project_folder) const {
    const std::string canonical = CanonicalFolder(project_folder);
    const auto digest = Sha256(canonical.data(), canonical.size());
    return JoinPath(folder_, HexText(std::span(digest).first(16)) + ".json");
}

std::optional<TSession> TSessionStore::Read(const std::string& project_folder) const {
    const std::string path = FileFor(project_folder);
    if (!IsOwnRegularFile(path)) return std::nullopt;
    const std::optional<std::string> text = ReadSmallFile(path, kMaxSessionFile);
    if (!text) return std::nullopt;
    const json read = json::parse(*text, nullptr, false);
    if (!read.is_object() || read.value("folder", "") != CanonicalFolder(project_folder))
        return std::nullopt;
    TSession session;
    const json port = read.value("port", json());
    const json token = read.value("token", json());
    if (!port.is_number_integer() || !token.is_string()) return std::nullopt;
    session.Port = port.get<int>();
    session.Token = token.get<std::string>();
    if (session.Port < 1 || session.Port > 65535 || !IsToken(session.Token)) return std::nullopt;
    return session;
}

bool TSessionStore::Write(const std::string& project_folder, const TSession& session) const {
    std::error_code error;
    fs::create_directories(PathOf(folder_).parent_path(), error);
    MakePrivateDirectory(folder_);
    if (!IsOwnPrivateDirectory(folder_)) return false;
    const json written = {{"folder", CanonicalFolder(project_folder)},
                          {"port", session.Port},
                          {"token", session.Token}};
    return ReplacePrivateFile(FileFor(project_folder), written.dump(2) + "\n");
}

} // namespace tevrin::studio
