#pragma once

#include <cstdint>

namespace kardelo {

// A colour as 0x00BBGGRR (red in the low byte), or 0x80000000 + the index of a system colour
// that is looked up in the palette when it is used.
using OleColor = std::uint32_t;

constexpr OleColor rgb(std::uint8_t red, std::uint8_t green, std::uint8_t blue)
{
    return static_cast<OleColor>(red) | static_cast<OleColor>(green) << 8 |
           static_cast<OleColor>(blue) << 16;
}

constexpr OleColor SystemColorFlag = 0x80000000u;
constexpr OleColor systemColor(int index)
{
    return SystemColorFlag | static_cast<OleColor>(index);
}
constexpr bool isSystemColor(OleColor color)
{
    return (color & SystemColorFlag) != 0;
}

constexpr OleColor ButtonFace = systemColor(15);

} // namespace kardelo
