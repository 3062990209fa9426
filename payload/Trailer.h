// SPDX-License-Identifier: MIT
// The payload trailer: the last 40 bytes of a saver file, two text fields of
// 20 characters each, decimal digits padded with blanks.
//
//   | payload length (20) | record offset (20) |   <- end of file
//
// The payload (picture records first) begins at the trailer's start -
// length. The trailer closes the file, except in a Windows saver signed
// after it was packed: the signature's certificate table then follows it
// (see TrailerEnd).
#pragma once

#include "base/System.h"

#include <cstdint>
#include <optional>
#include <string>

namespace tevrin {

inline constexpr int kTrailerSize = 40;
inline constexpr int kTrailerFieldWidth = 20;

enum class TTrailerField { PayloadLength = 1, RecordOffset = 2 };

// Opens the program's own file (or any saver file) for reading, shared for
// reading only. Raises "Cannot open file %s".
TFile OpenOwnFile(const std::string& path);

// Where the trailer ends: the end of the file, or, when the file is a
// Windows executable whose security directory names a certificate table
// that closes the file, the start of that table less the zero bytes (at
// most 7) a signer puts before it to align it.
std::int64_t TrailerEnd(TFile& file);

// Reads one field from its place before TrailerEnd. Nothing when the file
// is shorter than the trailer or fewer than 20 bytes arrive; otherwise the
// text stripped of blanks and control characters at both ends and converted,
// 0 when it does not convert.
std::optional<std::int32_t> ReadTrailerField(TFile& file, TTrailerField field);

// The 40 trailer bytes a writer appends.
std::string MakeTrailer(std::int64_t payload_length, std::int64_t record_offset);

} // namespace tevrin
