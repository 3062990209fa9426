// PNG files through libpng, for rendered frames and sheets.
#pragma once

#include "gfx/Bitmap24.h"

#include <string>

namespace tevrin {

// Raises EError with libpng's message, or "Cannot create file %s".
void WritePng(const std::string& path, const TBitmap24& bitmap);
// Raises EError with libpng's message, or "Cannot open file %s".
TBitmap24 ReadPng(const std::string& path);

} // namespace tevrin
