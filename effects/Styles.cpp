#include "effects/Styles.h"

namespace tevrin {
namespace {

constexpr TStyleInfo kStyles[] = {
    {0, TStyleFamily::Custom, false, 4, 4},      {1, TStyleFamily::Rectangle, false, 4, 4},
    {2, TStyleFamily::Rectangle, false, 4, 4},   {3, TStyleFamily::Rectangle, false, 4, 4},
    {4, TStyleFamily::Rectangle, false, 4, 4},   {5, TStyleFamily::Rectangle, false, 4, 4},
    {6, TStyleFamily::Rectangle, false, 4, 4},   {7, TStyleFamily::Rectangle, false, 4, 4},
    {8, TStyleFamily::Rectangle, false, 4, 4},   {9, TStyleFamily::Rectangle, false, 4, 4},
    {10, TStyleFamily::Rectangle, false, 4, 4},  {11, TStyleFamily::Rectangle, false, 4, 4},
    {12, TStyleFamily::MultiPiece, false, 4, 4}, {13, TStyleFamily::MultiPiece, false, 4, 4},
    {14, TStyleFamily::MultiPiece, false, 4, 4}, {15, TStyleFamily::MultiPiece, false, 4, 4},
    {16, TStyleFamily::MultiPiece, false, 4, 4}, {17, TStyleFamily::MultiPiece, false, 4, 4},
    {18, TStyleFamily::Rectangle, false, 4, 4},  {19, TStyleFamily::Rectangle, false, 4, 4},
    {20, TStyleFamily::Rectangle, false, 4, 4},  {21, TStyleFamily::Rectangle, false, 4, 4},
    {22, TStyleFamily::Rectangle, false, 4, 4},  {23, TStyleFamily::Rectangle, false, 4, 4},
    {24, TStyleFamily::Rectangle, false, 4, 4},  {25, TStyleFamily::Rectangle, false, 4, 4},
    {26, TStyleFamily::Rectangle, false, 4, 4},  {27, TStyleFamily::Rectangle, false, 4, 4},
    {28, TStyleFamily::Rectangle, false, 4, 4},  {29, TStyleFamily::MultiPiece, false, 4, 4},
    {30, TStyleFamily::MultiPiece, false, 4, 4}, {31, TStyleFamily::MultiPiece, false, 4, 4},
    {32, TStyleFamily::MultiPiece, false, 4, 4}, {33, TStyleFamily::MultiPiece, false, 4, 4},
    {34, TStyleFamily::MultiPiece, false, 4, 4}, {35, TStyleFamily::Rectangle, false, 4, 4},
    {36, TStyleFamily::Rectangle, false, 4, 4},  {37, TStyleFamily::Rectangle, false, 4, 4},
    {38, TStyleFamily::Rectangle, false, 4, 4},  {39, TStyleFamily::Rectangle, false, 4, 4},
    {40, TStyleFamily::Rectangle, false, 4, 4},  {41, TStyleFamily::Rectangle, false, 4, 4},
    {42, TStyleFamily::Rectangle, false, 4, 4},  {43, TStyleFamily::Rectangle, false, 4, 4},
    {44, TStyleFamily::Rectangle, false, 4, 4},  {45, TStyleFamily::Rectangle, false, 4, 4},
    {46, TStyleFamily::Rectangle, false, 4, 4},  {47, TStyleFamily::Rectangle, false, 4, 4},
    {48, TStyleFamily::Rectangle, false, 4, 4},  {49, TStyleFamily::Rectangle, false, 4, 4},
    {50, TStyleFamily::Rectangle, false, 4, 4},  {51, TStyleFamily::Rectangle, false, 4, 4},
    {52, TStyleFamily::Rectangle, false, 4, 4},  {53, TStyleFamily::Rectangle, false, 4, 4},
    {54, TStyleFamily::MultiPiece, false, 4, 4}, {55, TStyleFamily::MultiPiece, false, 4, 4},
    {56, TStyleFamily::MultiPiece, false, 4, 4}, {57, TStyleFamily::MultiPiece, false, 4, 4},
    {58, TStyleFamily::Shape, false, 4, 4},      {59, TStyleFamily::Shape, false, 4, 4},
    {60, TStyleFamily::Strip, false, 4, 4},      {61, TStyleFamily::Strip, false, 4, 4},
    {62, TStyleFamily::Strip, false, 4, 4},      {63, TStyleFamily::Strip, false, 4, 4},
    {64, TStyleFamily::Strip, false, 4, 4},      {65, TStyleFamily::Strip, true, 4, 4},
    {66, TStyleFamily::Strip, true, 4, 4},       {67, TStyleFamily::Strip, true, 4, 4},
    {68, TStyleFamily::Strip, true, 4, 4},       {69, TStyleFamily::Shape, false, 4, 4},
    {70, TStyleFamily::Shape, false, 4, 4},      {71, TStyleFamily::Strip, false, 4, 4},
    {72, TStyleFamily::Strip, false, 4, 4},      {73, TStyleFamily::Strip, false, 4, 4},
    {74, TStyleFamily::Strip, false, 4, 4},      {75, TStyleFamily::Strip, false, 4, 4},
    {76, TStyleFamily::Strip, true, 4, 4},       {77, TStyleFamily::Strip, true, 4, 4},
    {78, TStyleFamily::Strip, true, 4, 4},       {79, TStyleFamily::Strip, true, 4, 4},
    {80, TStyleFamily::Shape, false, 4, 4},      {81, TStyleFamily::Shape, false, 4, 4},
    {82, TStyleFamily::Shape, false, 4, 4},      {83, TStyleFamily::Shape, false, 4, 4},
    {84, TStyleFamily::Shape, false, 4, 4},      {85, TStyleFamily::Shape, false, 4, 4},
    {86, TStyleFamily::Strip, false, 4, 4},      {87, TStyleFamily::Strip, false, 4, 4},
    {88, TStyleFamily::Strip, false, 4, 4},      {89, TStyleFamily::Strip, false, 4, 4},
    {90, TStyleFamily::Strip, false, 4, 4},      {91, TStyleFamily::Strip, false, 4, 4},
    {92, TStyleFamily::Strip, false, 4, 4},      {93, TStyleFamily::Strip, false, 4, 4},
    {94, TStyleFamily::Strip, false, 4, 4},      {95, TStyleFamily::Strip, false, 4, 4},
    {96, TStyleFamily::Strip, false, 4, 4},      {97, TStyleFamily::Strip, false, 4, 4},
    {98, TStyleFamily::Strip, false, 4, 4},      {99, TStyleFamily::Strip, false, 4, 4},
    {100, TStyleFamily::Strip, true, 4, 4},      {101, TStyleFamily::Strip, true, 4, 4},
    {102, TStyleFamily::Strip, true, 4, 4},      {103, TStyleFamily::Strip, true, 4, 4},
    {104, TStyleFamily::Strip, true, 4, 4},      {105, TStyleFamily::Strip, true, 4, 4},
    {106, TStyleFamily::Strip, true, 4, 4},      {107, TStyleFamily::Strip, true, 4, 4},
    {108, TStyleFamily::Strip, true, 4, 4},      {109, TStyleFamily::Strip, true, 4, 4},
    {110, TStyleFamily::Shape, false, 4, 4},     {111, TStyleFamily::Shape, false, 4, 4},
    {112, TStyleFamily::Shape, false, 4, 4},     {113, TStyleFamily::Shape, false, 4, 4},
    {114, TStyleFamily::Shape, false, 4, 4},     {115, TStyleFamily::Shape, false, 4, 4},
    {116, TStyleFamily::Shape, false, 4, 4},     {117, TStyleFamily::Shape, false, 4, 4},
    {118, TStyleFamily::Pixel, false, 4, 4},     {119, TStyleFamily::Pixel, false, 10, 6},
    {120, TStyleFamily::Pixel, false, 10, 6},    {121, TStyleFamily::Pixel, false, 10, 6},
    {122, TStyleFamily::Pixel, false, 10, 6},    {123, TStyleFamily::Strip, true, 4, 4},
    {124, TStyleFamily::Strip, true, 4, 4},      {125, TStyleFamily::Strip, true, 4, 4},
    {126, TStyleFamily::Strip, true, 4, 4},      {127, TStyleFamily::Strip, true, 4, 4},
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

} // namespace tevrin
