// SPDX-License-Identifier: MIT
// `tevrin render`: frames of a transition as PNG files, alone or as contact
// sheets, so a saver author can choose styles and we can look at our work.
#pragma once

#include "effects/Effects.h"
#include "gfx/Bitmap24.h"
#include "gfx/Compose.h"

#include <cstdint>
#include <optional>
#include <string>

namespace tevrin {

struct TRenderJob {
    int Style = kInitialStyle;
    int Progress = 50;
    int Width = 1024, Height = 768;
    std::string From, To; // picture files; no From means black
    TFitMode Fit = TFitMode::fmShrink;
    bool BlurBorders = false;
    std::string Output;
    bool Sheet = false; // one style at progress 0, 10, ..., 100
    bool All = false;   // every style at one progress
    std::optional<std::uint32_t> Seed;
};

// Writes what the job asks for; raises EError on bad input.
void Render(const TRenderJob& job);

} // namespace tevrin
