#pragma once

// The primary display and the pointer, as the screen capture needs them. One
// implementation per platform, chosen once at start-up.

#include <cstdint>

namespace lumivanta {

// A grabbed screen: 32-bit pixels in the byte order blue, green, red, unused,
// top row first. The pixels belong to the source and stay valid, and
// writable, until its next Grab.
struct GrabbedScreen {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t bytes_per_row = 0;
  std::uint8_t* pixels = nullptr;
};

struct PointerState {
  bool showing = false;  // the pointer is on this screen
  int x = 0;             // relative to the primary display's top-left corner
  int y = 0;
};

class ScreenSource {
 public:
  virtual ~ScreenSource() = default;

  // Copies the primary display; false (and nothing to use) when it cannot.
  virtual bool Grab(GrabbedScreen& screen) = 0;
  virtual PointerState Pointer() = 0;
};

}  // namespace lumivanta
