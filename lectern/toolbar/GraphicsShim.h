// Temporary: colour values until the class layer's Graphics unit lands in this branch.
#pragma once
#include <cstdint>
using TColor = std::int32_t;
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;
constexpr TColor clBlack = 0;
constexpr TColor clWhite = 0xFFFFFF;
inline TColor ColorToRGB(TColor c) { return c < 0 ? 0xC0C0C0 : c; }
