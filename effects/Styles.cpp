// SPDX-License-Identifier: MIT
#include "effects/Styles.h"

namespace tevrin {
namespace {

constexpr TStyleInfo kStyles[] = {
    // clang-format off
    {0, TStyleFamily::Custom, false, 4, 4, "Cut"},
    {1, TStyleFamily::Rectangle, false, 4, 4, "Squeeze in from the right"},
    {2, TStyleFamily::Rectangle, false, 4, 4, "Squeeze in from the left"},
    {3, TStyleFamily::Rectangle, false, 4, 4, "Slide in from the right"},
    {4, TStyleFamily::Rectangle, false, 4, 4, "Slide in from the left"},
    {5, TStyleFamily::Rectangle, false, 4, 4, "Wipe from the left"},
    {6, TStyleFamily::Rectangle, false, 4, 4, "Wipe from the right"},
    {7, TStyleFamily::Rectangle, false, 4, 4, "Stretch in from the left"},
    {8, TStyleFamily::Rectangle, false, 4, 4, "Stretch in from the right"},
    {9, TStyleFamily::Rectangle, false, 4, 4, "Stretch out from the middle, sideways"},
    {10, TStyleFamily::Rectangle, false, 4, 4, "Grow from the middle, sideways"},
    {11, TStyleFamily::Rectangle, false, 4, 4, "Wipe from the middle to the sides"},
    {12, TStyleFamily::MultiPiece, false, 4, 4, "Wipe from the sides to the middle"},
    {13, TStyleFamily::MultiPiece, false, 4, 4, "Squeeze in from both sides"},
    {14, TStyleFamily::MultiPiece, false, 4, 4, "Fold from the left"},
    {15, TStyleFamily::MultiPiece, false, 4, 4, "Fold from the right"},
    {16, TStyleFamily::MultiPiece, false, 4, 4, "Smear from the left"},
    {17, TStyleFamily::MultiPiece, false, 4, 4, "Smear from the right"},
    {18, TStyleFamily::Rectangle, false, 4, 4, "Squeeze in from the bottom"},
    {19, TStyleFamily::Rectangle, false, 4, 4, "Squeeze in from the top"},
    {20, TStyleFamily::Rectangle, false, 4, 4, "Slide in from the bottom"},
    {21, TStyleFamily::Rectangle, false, 4, 4, "Slide in from the top"},
    {22, TStyleFamily::Rectangle, false, 4, 4, "Wipe from the top"},
    {23, TStyleFamily::Rectangle, false, 4, 4, "Wipe from the bottom"},
    {24, TStyleFamily::Rectangle, false, 4, 4, "Stretch in from the top"},
    {25, TStyleFamily::Rectangle, false, 4, 4, "Stretch in from the bottom"},
    {26, TStyleFamily::Rectangle, false, 4, 4, "Stretch out from the middle, up and down"},
    {27, TStyleFamily::Rectangle, false, 4, 4, "Grow from the middle, up and down"},
    {28, TStyleFamily::Rectangle, false, 4, 4, "Wipe from the middle to top and bottom"},
    {29, TStyleFamily::MultiPiece, false, 4, 4, "Wipe from top and bottom to the middle"},
    {30, TStyleFamily::MultiPiece, false, 4, 4, "Squeeze in from top and bottom"},
    {31, TStyleFamily::MultiPiece, false, 4, 4, "Fold from the top"},
    {32, TStyleFamily::MultiPiece, false, 4, 4, "Fold from the bottom"},
    {33, TStyleFamily::MultiPiece, false, 4, 4, "Smear from the top"},
    {34, TStyleFamily::MultiPiece, false, 4, 4, "Smear from the bottom"},
    {35, TStyleFamily::Rectangle, false, 4, 4, "Squeeze in from the bottom right"},
    {36, TStyleFamily::Rectangle, false, 4, 4, "Squeeze in from the top right"},
    {37, TStyleFamily::Rectangle, false, 4, 4, "Squeeze in from the top left"},
    {38, TStyleFamily::Rectangle, false, 4, 4, "Squeeze in from the bottom left"},
    {39, TStyleFamily::Rectangle, false, 4, 4, "Slide in from the bottom right"},
    {40, TStyleFamily::Rectangle, false, 4, 4, "Slide in from the top right"},
    {41, TStyleFamily::Rectangle, false, 4, 4, "Slide in from the top left"},
    {42, TStyleFamily::Rectangle, false, 4, 4, "Slide in from the bottom left"},
    {43, TStyleFamily::Rectangle, false, 4, 4, "Wipe from the top left"},
    {44, TStyleFamily::Rectangle, false, 4, 4, "Wipe from the bottom left"},
    {45, TStyleFamily::Rectangle, false, 4, 4, "Wipe from the bottom right"},
    {46, TStyleFamily::Rectangle, false, 4, 4, "Wipe from the top right"},
    {47, TStyleFamily::Rectangle, false, 4, 4, "Stretch in from the top left"},
    {48, TStyleFamily::Rectangle, false, 4, 4, "Stretch in from the bottom left"},
    {49, TStyleFamily::Rectangle, false, 4, 4, "Stretch in from the bottom right"},
    {50, TStyleFamily::Rectangle, false, 4, 4, "Stretch in from the top right"},
    {51, TStyleFamily::Rectangle, false, 4, 4, "Stretch out from the centre"},
    {52, TStyleFamily::Rectangle, false, 4, 4, "Grow from the centre"},
    {53, TStyleFamily::Rectangle, false, 4, 4, "Box out from the centre"},
    {54, TStyleFamily::MultiPiece, false, 4, 4, "Box in from the edges"},
    {55, TStyleFamily::MultiPiece, false, 4, 4, "Wipe from the four corners"},
    {56, TStyleFamily::MultiPiece, false, 4, 4, "Squeeze in from the four corners"},
    {57, TStyleFamily::MultiPiece, false, 4, 4, "Quarters slide in, turning"},
    {58, TStyleFamily::Shape, false, 4, 4, "Curved wipe from the left"},
    {59, TStyleFamily::Shape, false, 4, 4, "Curved wipe from the right"},
    {60, TStyleFamily::Strip, false, 4, 4, "Comb from the right"},
    {61, TStyleFamily::Strip, false, 4, 4, "Comb from the left"},
    {62, TStyleFamily::Strip, false, 4, 4, "Comb from the left, then the right"},
    {63, TStyleFamily::Strip, false, 4, 4, "Comb from the right, then the left"},
    {64, TStyleFamily::Strip, false, 4, 4, "Comb from both sides at once"},
    {65, TStyleFamily::Strip, true, 4, 4, "Ragged strips from the right"},
    {66, TStyleFamily::Strip, true, 4, 4, "Ragged strips from the left"},
    {67, TStyleFamily::Strip, true, 4, 4, "Ragged strips from the middle, sideways"},
    {68, TStyleFamily::Strip, true, 4, 4, "Ragged strips from the sides in"},
    {69, TStyleFamily::Shape, false, 4, 4, "Curved wipe from the top"},
    {70, TStyleFamily::Shape, false, 4, 4, "Curved wipe from the bottom"},
    {71, TStyleFamily::Strip, false, 4, 4, "Comb from the bottom"},
    {72, TStyleFamily::Strip, false, 4, 4, "Comb from the top"},
    {73, TStyleFamily::Strip, false, 4, 4, "Comb from the top, then the bottom"},
    {74, TStyleFamily::Strip, false, 4, 4, "Comb from the bottom, then the top"},
    {75, TStyleFamily::Strip, false, 4, 4, "Comb from top and bottom at once"},
    {76, TStyleFamily::Strip, true, 4, 4, "Ragged strips from the bottom"},
    {77, TStyleFamily::Strip, true, 4, 4, "Ragged strips from the top"},
    {78, TStyleFamily::Strip, true, 4, 4, "Ragged strips from the middle, up and down"},
    {79, TStyleFamily::Strip, true, 4, 4, "Ragged strips from top and bottom in"},
    {80, TStyleFamily::Shape, false, 4, 4, "Quarter circle from the top left"},
    {81, TStyleFamily::Shape, false, 4, 4, "Quarter circle from the top right"},
    {82, TStyleFamily::Shape, false, 4, 4, "Quarter circle from the bottom left"},
    {83, TStyleFamily::Shape, false, 4, 4, "Quarter circle from the bottom right"},
    {84, TStyleFamily::Shape, false, 4, 4, "Iris, ellipse opening"},
    {85, TStyleFamily::Shape, false, 4, 4, "Iris, ellipse closing"},
    {86, TStyleFamily::Strip, false, 4, 4, "Grid comb from the right and the bottom"},
    {87, TStyleFamily::Strip, false, 4, 4, "Grid comb from the right and the top"},
    {88, TStyleFamily::Strip, false, 4, 4, "Grid comb from the left and the bottom"},
    {89, TStyleFamily::Strip, false, 4, 4, "Grid comb from the left and the top"},
    {90, TStyleFamily::Strip, false, 4, 4, "Grid comb, left then right, top then bottom"},
    {91, TStyleFamily::Strip, false, 4, 4, "Grid comb, left then right, bottom then top"},
    {92, TStyleFamily::Strip, false, 4, 4, "Grid comb, right then left, top then bottom"},
    {93, TStyleFamily::Strip, false, 4, 4, "Grid comb, right then left, bottom then top"},
    {94, TStyleFamily::Strip, false, 4, 4, "Grid comb, rows from the right, columns from both ends"},
    {95, TStyleFamily::Strip, false, 4, 4, "Grid comb, rows from the left, columns from both ends"},
    {96, TStyleFamily::Strip, false, 4, 4, "Grid comb, rows from both sides, columns from the bottom"},
    {97, TStyleFamily::Strip, false, 4, 4, "Grid comb, rows from both sides, columns from the top"},
    {98, TStyleFamily::Strip, false, 4, 4, "Grid comb from all sides at once"},
    {99, TStyleFamily::Strip, false, 4, 4, "Checks, two combs crossing"},
    {100, TStyleFamily::Strip, true, 4, 4, "Ragged strips from the right and the bottom"},
    {101, TStyleFamily::Strip, true, 4, 4, "Ragged strips from the right and the top"},
    {102, TStyleFamily::Strip, true, 4, 4, "Ragged strips from the left and the bottom"},
    {103, TStyleFamily::Strip, true, 4, 4, "Ragged strips from the left and the top"},
    {104, TStyleFamily::Strip, true, 4, 4, "Ragged strips from the right, columns from the middle"},
    {105, TStyleFamily::Strip, true, 4, 4, "Ragged strips from the left, columns from the middle"},
    {106, TStyleFamily::Strip, true, 4, 4, "Ragged strips from the middle, rows from the bottom"},
    {107, TStyleFamily::Strip, true, 4, 4, "Ragged strips from the middle, rows from the top"},
    {108, TStyleFamily::Strip, true, 4, 4, "Ragged strips from the middle out"},
    {109, TStyleFamily::Strip, true, 4, 4, "Ragged strips from all sides in"},
    {110, TStyleFamily::Shape, false, 4, 4, "Diagonal wipe from the top left"},
    {111, TStyleFamily::Shape, false, 4, 4, "Diagonal wipe from the top right"},
    {112, TStyleFamily::Shape, false, 4, 4, "Diagonal wipe from the bottom left"},
    {113, TStyleFamily::Shape, false, 4, 4, "Diagonal wipe from the bottom right"},
    {114, TStyleFamily::Shape, false, 4, 4, "Two fans, from the left and the right"},
    {115, TStyleFamily::Shape, false, 4, 4, "Two fans, from the top and the bottom"},
    {116, TStyleFamily::Shape, false, 4, 4, "Pinwheel from the centre"},
    {117, TStyleFamily::Shape, false, 4, 4, "Triangles in a grid"},
    {118, TStyleFamily::Pixel, false, 4, 4, "Dissolve"},
    {119, TStyleFamily::Pixel, false, 10, 6, "Swing in about the top left"},
    {120, TStyleFamily::Pixel, false, 10, 6, "Swing in about the bottom left"},
    {121, TStyleFamily::Pixel, false, 10, 6, "Swing in about the top right"},
    {122, TStyleFamily::Pixel, false, 10, 6, "Swing in about the bottom right"},
    {123, TStyleFamily::Strip, true, 4, 4, "Crumbling wipe from the right"},
    {124, TStyleFamily::Strip, true, 4, 4, "Crumbling wipe from the left"},
    {125, TStyleFamily::Strip, true, 4, 4, "Crumbling wipe from the bottom"},
    {126, TStyleFamily::Strip, true, 4, 4, "Crumbling wipe from the top"},
    {127, TStyleFamily::Strip, true, 4, 4, "Random squares"},
    // clang-format on
};
static_assert(std::size(kStyles) == kLastStyle + 1);

constexpr bool InNumberOrder() {
    for (int i = 0; i <= kLastStyle; ++i)
        if (kStyles[i].Number != i) return false;
    return true;
}
static_assert(InNumberOrder());

} // namespace

std::span<const TStyleInfo> StyleTable() {
    return kStyles;
}

std::span<const TStyleInfo> Transitions() {
    return StyleTable().subspan(1);
}

TStyleClass ClassOf(TStyleFamily family) {
    switch (family) {
    case TStyleFamily::Custom:
        return TStyleClass::Custom;
    case TStyleFamily::Rectangle:
    case TStyleFamily::MultiPiece:
        return TStyleClass::Rectangle;
    case TStyleFamily::Strip:
    case TStyleFamily::Shape:
        return TStyleClass::Region;
    case TStyleFamily::Pixel:
        return TStyleClass::Pixel;
    }
    return TStyleClass::Custom;
}

const char* FamilyName(TStyleFamily family) {
    switch (family) {
    case TStyleFamily::Custom:
        return "cut";
    case TStyleFamily::Rectangle:
        return "wipe";
    case TStyleFamily::MultiPiece:
        return "pieces";
    case TStyleFamily::Strip:
        return "strips";
    case TStyleFamily::Shape:
        return "shape";
    case TStyleFamily::Pixel:
        return "fade";
    }
    return "";
}

std::string StyleTitle(const TStyleInfo& style) {
    return std::to_string(style.Number) + ": " + style.Name + " (" + FamilyName(style.Family) + ")";
}

} // namespace tevrin
