#pragma once

// Another X client that sets the scene for a test: known pictures on the
// screen, the RandR layout, a window that holds the focus.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/XlibHandles.h"
#include "tests/support/XvfbSession.h"

namespace lumivanta::test {

// A colour as 0x00RRGGBB.
using PixelPattern = std::function<std::uint32_t(int x, int y)>;

// Distinct red, green and blue in every pixel, different along both axes.
std::uint32_t GradientPattern(int x, int y);

std::uint32_t ChequerPattern(int x, int y);

// The items of a window's list property of 32-bit values (as _NET_CLIENT_LIST);
// empty for no window, or where the property is missing or not such a list.
std::vector<unsigned long> WindowListProperty(Display* display, Window window, Atom property);

class X11Scene {
 public:
  explicit X11Scene(const std::string& display_name);

  Display* Get() const { return display_.get(); }
  Window Root() const { return root_; }

  // Makes the pattern the root window's background, over the whole screen.
  void PaintRoot(const PixelPattern& pattern);

  // Shows only the given part of the screen on the one output, makes that
  // output primary, and leaves the root window at its size.
  void SetPrimaryOutput(int x, int y, unsigned width, unsigned height);

  // Switches the one CRTC off: no output shows anything.
  void DisableOutputs();

  // A plain window, mapped and given the input focus.
  Window MapFocusedWindow();

  Window Focus() const;

  // The modifier and lock state the server holds now.
  unsigned ModifierState() const;

 private:
  RRMode ModeOfSize(XRRScreenResources* resources, unsigned width, unsigned height);

  DisplayHandle display_;
  Window root_ = None;
};

}  // namespace lumivanta::test
