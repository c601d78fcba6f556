#pragma once

// Where the primary display lies on the X screen.

#include <xcb/xcb.h>

namespace lumivanta {

struct ScreenRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;

  bool Contains(int point_x, int point_y) const {
    return point_x >= x && point_y >= y && point_x - x < width && point_y - y < height;
  }
  bool IsEmpty() const { return width <= 0 || height <= 0; }
  bool operator==(const ScreenRect&) const = default;
};

// The rectangle of the RandR primary output's CRTC; without one (Xvfb has no
// primary output) the first active CRTC's; without RandR or an active CRTC the
// whole root window. Always inside the root window; empty when even the root
// window's size cannot be had.
ScreenRect FindPrimaryDisplay(xcb_connection_t* connection, xcb_window_t root);

}  // namespace lumivanta
