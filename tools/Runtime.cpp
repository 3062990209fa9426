// SPDX-License-Identifier: MIT
#include "tools/Runtime.h"

#include "base/Errors.h"
#include "base/Paths.h"
#include "base/System.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string_view>

namespace tevrin {

namespace fs = std::filesystem;

std::string RuntimeFileName(const std::string& target) {
    return target == "windows" ? "tevrin-saver.exe" : "tevrin-saver";
}

std::vector<std::string> RuntimeStubCandidates(const std::string& tool_dir,
                                               const std::string& target) {
    const fs::path dir = PathOf(tool_dir);
    const std::string name = RuntimeFileName(target);
    return {Utf8Of((dir / name).lexically_normal()),
            Utf8Of((dir / ".." / "lib" / "tevrin" / name).lexically_normal()),
            Utf8Of((dir / ".." / ".." / target / "tools" / name).lexically_normal())};
}

std::string FindRuntimeStub(const std::string& tool_dir, const std::string& target) {
    const std::vector<std::string> candidates = RuntimeStubCandidates(tool_dir, target);
    std::string looked;
    for (const std::string& path : candidates) {
        std::error_code error;
        if (fs::is_regular_file(PathOf(path), error)) return path;
        looked += (looked.empty() ? "" : ", ") + path;
    }
    throw EError(msg::kNoRuntimeStub, {target, looked});
}

namespace {

// Little-endian reads that fail outside the image.
class TImageReader {
public:
    explicit TImageReader(std::span<const std::uint8_t> image) : image_(image) {}

    template <typename T> std::optional<T> At(std::uint64_t at) const {
        if (at > image_.size() || image_.size() - at < sizeof(T)) return std::nullopt;
        T value = 0;
        for (std::size_t i = sizeof(T); i-- > 0;)
            value = static_cast<T>((static_cast<std::uint64_t>(value) << 8) | image_[at + i]);
        return value;
    }
    // The NUL-ended text at `at`, at most `limit` bytes.
    std::string_view Text(std::uint64_t at, std::size_t limit) const {
        if (at >= image_.size()) return {};
        const auto* start = reinterpret_cast<const char*>(image_.data() + at);
        const std::size_t room = std::min<std::uint64_t>(limit, image_.size() - at);
        std::size_t length = 0;
        while (length < room && start[length] != 0)
            ++length;
        return {start, length};
    }

private:
    std::span<const std::uint8_t> image_;
};

bool IsDebugSection(std::string_view name) {
    return name.starts_with(".debug") || name.starts_with(".zdebug");
}

std::uint64_t ElfDebugBytes(const TImageReader& r) {
    // 64-bit only: the runtimes we build.
    if (r.At<std::uint8_t>(4) != 2) return 0;
    const auto table = r.At<std::uint64_t>(0x28);
    const auto entry = r.At<std::uint16_t>(0x3A), count = r.At<std::uint16_t>(0x3C),
               names = r.At<std::uint16_t>(0x3E);
    if (!table || !entry || !count || !names || *entry < 0x28 || *names >= *count) return 0;
    const auto names_at = r.At<std::uint64_t>(*table + std::uint64_t{*names} * *entry + 0x18);
    if (!names_at) return 0;
    std::uint64_t total = 0;
    for (std::uint64_t i = 0; i < *count; ++i) {
        const std::uint64_t header = *table + i * *entry;
        const auto name = r.At<std::uint32_t>(header), type = r.At<std::uint32_t>(header + 4);
        const auto size = r.At<std::uint64_t>(header + 0x20);
        // Sections of type NOBITS take no room in the file.
        if (name && type && size && *type != 8 && IsDebugSection(r.Text(*names_at + *name, 64)))
            total += *size;
    }
    return total;
}

std::uint64_t PeDebugBytes(const TImageReader& r) {
    const auto pe = r.At<std::uint32_t>(0x3C);
    if (!pe || r.At<std::uint32_t>(*pe) != 0x00004550) return 0;
    const auto count = r.At<std::uint16_t>(*pe + 6);
    const auto symbols = r.At<std::uint32_t>(*pe + 12),
               symbol_count = r.At<std::uint32_t>(*pe + 16);
    const auto optional_size = r.At<std::uint16_t>(*pe + 20);
    if (!count || !symbols || !symbol_count || !optional_size) return 0;
    // Names longer than 8 bytes are "/offset" into the string table, which
    // follows the symbol table.
    const std::uint64_t strings = std::uint64_t{*symbols} + std::uint64_t{*symbol_count} * 18;
    std::uint64_t total = 0;
    for (std::uint64_t i = 0; i < *count; ++i) {
        const std::uint64_t header = *pe + 24 + *optional_size + i * 40;
        std::string_view name = r.Text(header, 8);
        if (name.starts_with('/') && *symbols != 0) {
            std::uint64_t offset = 0;
            for (char c : name.substr(1))
                offset =
                    c >= '0' && c <= '9' ? offset * 10 + static_cast<unsigned>(c - '0') : ~0ull;
            if (offset != ~0ull) name = r.Text(strings + offset, 64);
        }
        if (IsDebugSection(name))
            if (const auto size = r.At<std::uint32_t>(header + 16)) total += *size;
    }
    return total;
}

} // namespace

std::uint64_t DebugInformationBytesOf(const std::string& path) {
    std::error_code error;
    if (!fs::is_regular_file(PathOf(path), error)) return 0;
    try {
        return DebugInformationBytes(ReadFileBytes(path));
    } catch (const EError&) {
        return 0;
    }
}

std::uint64_t DebugInformationBytes(std::span<const std::uint8_t> image) {
    const TImageReader r(image);
    if (r.At<std::uint32_t>(0) == 0x464C457Fu) return ElfDebugBytes(r); // "\x7fELF"
    if (r.At<std::uint16_t>(0) == 0x5A4Du) return PeDebugBytes(r);      // "MZ"
    return 0;
}

} // namespace tevrin
