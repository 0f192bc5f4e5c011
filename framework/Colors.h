#pragma once

#include <QColor>
#include <cstdint>

// A colour as the layout and the window logic write it: 0x00BBGGRR for an RGB
// colour, or 0x80000000 + n for the desktop's system colour n.
using TColor = std::uint32_t;

constexpr TColor clBlack = 0x000000;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clBtnFace = 0x8000000F;
constexpr TColor clBtnShadow = 0x80000010;
constexpr TColor clBtnHighlight = 0x80000014;

namespace fw {

// System colours come from the application's palette, so lamps follow the
// desktop theme the way the rest of the window does.
QColor ColorToQColor(TColor color);

} // namespace fw
