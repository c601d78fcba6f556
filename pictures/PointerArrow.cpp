#include "pictures/PointerArrow.h"

namespace lumivanta {
namespace {

struct Span {
  int first = 0;
  int last = -1;  // an empty span when last < first
};

// The red inside of the arrow, row by row (rows 3 to 29): the head widens
// by one column a row down to row 18; the body then narrows to the lower
// left while a stem three columns wide runs to the lower right.
struct RedRow {
  int row;
  Span body;
  Span stem;
};
constexpr RedRow kRedRows[] = {
    {19, {1, 8}, {}},      {20, {1, 6}, {8, 10}},  {21, {1, 5}, {8, 10}},  {22, {1, 4}, {9, 11}},
    {23, {1, 3}, {9, 11}}, {24, {1, 2}, {10, 12}}, {25, {1, 1}, {10, 12}}, {26, {}, {11, 13}},
    {27, {}, {11, 13}},    {28, {}, {12, 14}},     {29, {}, {12, 14}},
};

bool IsRed(int column, int row) {
  if (row >= 3 && row <= 18) {
    return column >= 1 && column <= row - 2;
  }
  for (const RedRow& red : kRedRows) {
    if (red.row == row) {
      return (column >= red.body.first && column <= red.body.last) ||
             (column >= red.stem.first && column <= red.stem.last);
    }
  }
  return false;
}

// The outline: every pixel beside a red one, and the two pixels of the tip.
bool IsWhite(int column, int row) {
  if (IsRed(column, row)) {
    return false;
  }
  if (column == 0 && (row == 1 || row == 2)) {
    return true;
  }
  return IsRed(column - 1, row) || IsRed(column + 1, row) || IsRed(column, row - 1) || IsRed(column, row + 1);
}

PointerArrowImage MakeArrow() {
  PointerArrowImage image{};
  for (int row = 0; row < kPointerArrowSize; ++row) {
    for (int column = 0; column < kPointerArrowSize; ++column) {
      image[row][column] = IsRed(column, row)     ? ArrowPixel::kRed
                           : IsWhite(column, row) ? ArrowPixel::kWhite
                                                  : ArrowPixel::kTransparent;
    }
  }
  return image;
}

}  // namespace

const PointerArrowImage& PointerArrow() {
  static const PointerArrowImage image = MakeArrow();
  return image;
}

void DrawPointerArrow(std::uint8_t* pixels, int width, int height, int bytes_per_row, int x, int y) {
  const PointerArrowImage& arrow = PointerArrow();
  const int left = x - kPointerArrowHotSpotX;
  const int top = y - kPointerArrowHotSpotY;
  for (int row = 0; row < kPointerArrowSize; ++row) {
    const int screen_y = top + row;
    if (screen_y < 0 || screen_y >= height) {
      continue;
    }
    std::uint8_t* line = pixels + static_cast<std::ptrdiff_t>(screen_y) * bytes_per_row;
    for (int column = 0; column < kPointerArrowSize; ++column) {
      const int screen_x = left + column;
      const ArrowPixel pixel = arrow[row][column];
      if (screen_x < 0 || screen_x >= width || pixel == ArrowPixel::kTransparent) {
        continue;
      }
      std::uint8_t* bgrx = line + static_cast<std::ptrdiff_t>(screen_x) * 4;
      const std::uint8_t green_blue = pixel == ArrowPixel::kWhite ? 255 : 0;
      bgrx[0] = green_blue;
      bgrx[1] = green_blue;
      bgrx[2] = 255;
    }
  }
}

void DrawPointerArrow(ScreenImage& screen) {
  if (!screen.pointer_arrow || !HoldsAllRows(screen) || screen.width > INT32_MAX || screen.height > INT32_MAX ||
      screen.bytes_per_row > INT32_MAX) {
    return;
  }
  const PixelPoint tip = *screen.pointer_arrow;
  if (screen.parts.empty()) {
    DrawPointerArrow(screen.pixels.data(), static_cast<int>(screen.width), static_cast<int>(screen.height),
                     static_cast<int>(screen.bytes_per_row), tip.x, tip.y);
    return;
  }
  // Each part gets the piece of the arrow that falls on it.
  for (const ScreenPart& part : screen.parts) {
    const PixelRect& rect = part.rect;
    DrawPointerArrow(screen.pixels.data() + part.offset, rect.width, rect.height, rect.width * 4, tip.x - rect.x,
                     tip.y - rect.y);
  }
}

PixelRect PointerArrowBounds(PixelPoint tip) {
  return {tip.x - kPointerArrowHotSpotX, tip.y - kPointerArrowHotSpotY, kPointerArrowSize, kPointerArrowSize};
}

}  // namespace lumivanta
