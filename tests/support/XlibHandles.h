#pragma once

// Owning handles for what Xlib and its RandR extension hand out to the test
// harnesses, each released with the function that belongs to it.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>

#include <memory>

namespace lumivanta {

struct DisplayCloser {
  void operator()(Display* display) const { XCloseDisplay(display); }
};
using DisplayHandle = std::unique_ptr<Display, DisplayCloser>;

struct XImageDestroyer {
  void operator()(XImage* image) const { XDestroyImage(image); }
};
using XImageHandle = std::unique_ptr<XImage, XImageDestroyer>;

struct ScreenResourcesFreer {
  void operator()(XRRScreenResources* resources) const { XRRFreeScreenResources(resources); }
};
using ScreenResourcesHandle = std::unique_ptr<XRRScreenResources, ScreenResourcesFreer>;

struct OutputInfoFreer {
  void operator()(XRROutputInfo* output) const { XRRFreeOutputInfo(output); }
};
using OutputInfoHandle = std::unique_ptr<XRROutputInfo, OutputInfoFreer>;

struct CrtcInfoFreer {
  void operator()(XRRCrtcInfo* crtc) const { XRRFreeCrtcInfo(crtc); }
};
using CrtcInfoHandle = std::unique_ptr<XRRCrtcInfo, CrtcInfoFreer>;

}  // namespace lumivanta
