#pragma once

// The program's own pointer image: a 32x32 red arrow with a white outline,
// transparent elsewhere, its tip (the hot spot) at column 0, row 1.

#include <array>
#include <cstdint>

#include "pictures/ScreenImage.h"

namespace lumivanta {

inline constexpr int kPointerArrowSize = 32;
inline constexpr int kPointerArrowHotSpotX = 0;
inline constexpr int kPointerArrowHotSpotY = 1;

enum class ArrowPixel : std::uint8_t { kTransparent, kRed, kWhite };

using PointerArrowImage = std::array<std::array<ArrowPixel, kPointerArrowSize>, kPointerArrowSize>;

// Rows top first, columns left first.
const PointerArrowImage& PointerArrow();

// Draws the arrow into 32-bit blue-green-red-unused pixels (top row first) so
// that its tip lands on (x, y); what falls outside the picture is left out.
void DrawPointerArrow(std::uint8_t* pixels, int width, int height, int bytes_per_row, int x, int y);

// Draws the arrow into the screen where its pointer_arrow says, into each of
// its parts where it has them; nothing when it says nothing or the screen has
// fewer pixels than its size says.
void DrawPointerArrow(ScreenImage& screen);

// The pixels that the arrow with its tip on (x, y) may cover, before clipping.
PixelRect PointerArrowBounds(PixelPoint tip);

}  // namespace lumivanta
