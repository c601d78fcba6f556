#pragma once

// The primary display and the pointer, as the screen capture needs them. One
// implementation per platform, chosen once at start-up.

#include "pictures/ScreenImage.h"

namespace lumivanta {

struct PointerState {
  bool showing = false;  // the pointer is on this screen
  int x = 0;             // relative to the primary display's top-left corner
  int y = 0;
};

class ScreenSource {
 public:
  virtual ~ScreenSource() = default;

  // Copies the primary display into memory that the screen keeps for as long
  // as any copy of it lives; false (and an empty screen) when it cannot. The
  // pixels may arrive after Grab returns: readers wait with AwaitPixels.
  virtual bool Grab(ScreenImage& screen) = 0;
  // Where the pointer is, relative to the primary display; ask before Grab,
  // which a source may still be carrying out afterwards.
  virtual PointerState Pointer() = 0;
};

}  // namespace lumivanta
