// SPDX-License-Identifier: MIT
#include "payload/Trailer.h"

#include "base/Errors.h"
#include "base/IntConv.h"

#include <string_view>

namespace tevrin {

TFile OpenOwnFile(const std::string& path) {
    TFile file(path, TFile::TMode::ReadShared);
    if (!file.IsOpen()) throw EReadError(msg::kCannotOpenFile, {path});
    return file;
}

namespace {

template <typename T> bool ReadAt(TFile& file, std::int64_t at, T& value) {
    std::uint8_t bytes[sizeof(T)];
    if (at < 0 || !file.Seek(at) || file.Read(bytes, sizeof bytes) != sizeof bytes) return false;
    value = 0;
    for (std::size_t i = sizeof bytes; i-- > 0;)
        value = static_cast<T>((value << 8) | bytes[i]); // little-endian
    return true;
}

// The certificate table's file offset, when the file is a PE executable
// whose security directory names a table that ends where the file ends.
std::optional<std::int64_t> CertificateTable(TFile& file) {
    const std::int64_t size = file.Size();
    std::uint16_t mz = 0, magic = 0;
    std::uint32_t pe_at = 0, signature = 0, count = 0, table_at = 0, table_size = 0;
    if (!ReadAt(file, 0, mz) || mz != 0x5A4D || !ReadAt(file, 0x3C, pe_at) ||
        !ReadAt(file, pe_at, signature) || signature != 0x00004550)
        return std::nullopt;
    // The optional header follows the 4-byte signature and the 20-byte file
    // header; its data directories are 8 bytes each, the security one fifth.
    const std::int64_t optional_at = std::int64_t{pe_at} + 24;
    if (!ReadAt(file, optional_at, magic)) return std::nullopt;
    const int header = magic == 0x10B ? 96 : magic == 0x20B ? 112 : 0;
    if (header == 0 || !ReadAt(file, optional_at + header - 4, count) || count < 5)
        return std::nullopt;
    const std::int64_t security_at = optional_at + header + 4 * 8;
    if (!ReadAt(file, security_at, table_at) || !ReadAt(file, security_at + 4, table_size))
        return std::nullopt;
    if (table_at == 0 || table_size == 0 || std::int64_t{table_at} + table_size != size)
        return std::nullopt;
    return table_at;
}

} // namespace

std::int64_t TrailerEnd(TFile& file) {
    const std::optional<std::int64_t> table = CertificateTable(file);
    if (!table) return file.Size();
    std::int64_t end = *table;
    std::uint8_t byte = 0;
    for (int pad = 0; pad < 7 && ReadAt(file, end - 1, byte) && byte == 0; ++pad)
        --end;
    return end;
}

std::optional<std::int32_t> ReadTrailerField(TFile& file, TTrailerField field) {
    std::int64_t size = TrailerEnd(file);
    std::int64_t at = size - kTrailerSize + kTrailerFieldWidth * (static_cast<int>(field) - 1);
    char text[kTrailerFieldWidth];
    if (size < kTrailerSize || !file.Seek(at) || file.Read(text, sizeof text) != sizeof text)
        return std::nullopt;
    return StrToIntDef(TrimControl(std::string_view(text, sizeof text)), 0);
}

std::string MakeTrailer(std::int64_t payload_length, std::int64_t record_offset) {
    auto field = [](std::int64_t value) {
        std::string text = std::to_string(value);
        text.resize(kTrailerFieldWidth, ' ');
        return text;
    };
    return field(payload_length) + field(record_offset);
}

} // namespace tevrin
