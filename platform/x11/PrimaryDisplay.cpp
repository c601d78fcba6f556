#include "platform/x11/PrimaryDisplay.h"

#include <algorithm>
#include <optional>

#include "platform/x11/XlibHandles.h"

namespace lumivanta {
namespace {

std::optional<ScreenRect> RootRect(Display* display, Window root) {
  Window geometry_root = None;
  int x = 0;
  int y = 0;
  unsigned width = 0;
  unsigned height = 0;
  unsigned border_width = 0;
  unsigned depth = 0;
  if (XGetGeometry(display, root, &geometry_root, &x, &y, &width, &height, &border_width, &depth) == 0) {
    return std::nullopt;
  }
  return ScreenRect{0, 0, static_cast<int>(width), static_cast<int>(height)};
}

bool HasRandrPrimary(Display* display) {
  int event_base = 0;
  int error_base = 0;
  int major = 0;
  int minor = 0;
  // Primary outputs and the non-polling resource query came with RandR 1.3.
  return XRRQueryExtension(display, &event_base, &error_base) != 0 && XRRQueryVersion(display, &major, &minor) != 0 &&
         (major > 1 || (major == 1 && minor >= 3));
}

// The CRTC's rectangle cut to the root window; nothing when it is off or empty.
std::optional<ScreenRect> ActiveCrtcRect(Display* display, XRRScreenResources* resources, RRCrtc crtc,
                                         const ScreenRect& root) {
  if (crtc == None) {
    return std::nullopt;
  }
  const CrtcInfoHandle info(XRRGetCrtcInfo(display, resources, crtc));
  if (!info || info->mode == None || info->width == 0 || info->height == 0) {
    return std::nullopt;
  }
  const int left = std::max(info->x, root.x);
  const int top = std::max(info->y, root.y);
  const int right = std::min(info->x + static_cast<int>(info->width), root.x + root.width);
  const int bottom = std::min(info->y + static_cast<int>(info->height), root.y + root.height);
  if (right <= left || bottom <= top) {
    return std::nullopt;
  }
  return ScreenRect{left, top, right - left, bottom - top};
}

std::optional<ScreenRect> PrimaryOutputRect(Display* display, Window root, XRRScreenResources* resources,
                                            const ScreenRect& root_rect) {
  const RROutput primary = XRRGetOutputPrimary(display, root);
  if (primary == None) {
    return std::nullopt;
  }
  const OutputInfoHandle output(XRRGetOutputInfo(display, resources, primary));
  if (!output) {
    return std::nullopt;
  }
  return ActiveCrtcRect(display, resources, output->crtc, root_rect);
}

}  // namespace

ScreenRect FindPrimaryDisplay(Display* display, Window root) {
  const std::optional<ScreenRect> root_rect = RootRect(display, root);
  if (!root_rect) {
    return ScreenRect{};
  }
  if (!HasRandrPrimary(display)) {
    return *root_rect;
  }
  const ScreenResourcesHandle resources(XRRGetScreenResourcesCurrent(display, root));
  if (!resources) {
    return *root_rect;
  }
  if (const auto primary = PrimaryOutputRect(display, root, resources.get(), *root_rect)) {
    return *primary;
  }
  for (int index = 0; index < resources->ncrtc; ++index) {
    if (const auto crtc = ActiveCrtcRect(display, resources.get(), resources->crtcs[index], *root_rect)) {
      return *crtc;
    }
  }
  return *root_rect;
}

}  // namespace lumivanta
