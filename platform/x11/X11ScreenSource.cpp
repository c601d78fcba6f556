#include "platform/x11/X11ScreenSource.h"

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/x11/PrimaryDisplay.h"
#include "platform/x11/SharedMemoryImage.h"
#include "platform/x11/XErrorTrap.h"
#include "platform/x11/XlibHandles.h"

namespace lumivanta {
namespace {

constexpr unsigned long kRedMask = 0xff0000;
constexpr unsigned long kGreenMask = 0x00ff00;
constexpr unsigned long kBlueMask = 0x0000ff;

// Why the screen's pixels cannot be handed on as blue, green, red, unused
// bytes; empty when they can.
std::string UnsupportedFormat(Display* display) {
  const int screen = DefaultScreen(display);
  const int depth = DefaultDepth(display, screen);
  if (depth != 24 && depth != 32) {
    return "unsupported screen depth " + std::to_string(depth) + " (24 or 32 needed)";
  }
  int format_count = 0;
  XPixmapFormatValues* formats = XListPixmapFormats(display, &format_count);
  int bits_per_pixel = 0;
  for (int index = 0; index < format_count; ++index) {
    if (formats[index].depth == depth) {
      bits_per_pixel = formats[index].bits_per_pixel;
    }
  }
  XFree(formats);
  if (bits_per_pixel != 32) {
    return "unsupported " + std::to_string(bits_per_pixel) + " bits per pixel at depth " + std::to_string(depth);
  }
  const Visual* visual = DefaultVisual(display, screen);
  if (visual->red_mask != kRedMask || visual->green_mask != kGreenMask || visual->blue_mask != kBlueMask) {
    return "unsupported colour masks of the screen's visual";
  }
  return {};
}

bool HasExpectedLayout(const XImage& image) {
  return image.bits_per_pixel == 32 && image.byte_order == LSBFirst && image.bytes_per_line >= image.width * 4;
}

}  // namespace

struct X11ScreenSource::Connection {
  DisplayHandle display;
  Window root = None;
  std::string unsupported_format;
  bool use_shared_memory = true;
  std::unique_ptr<SharedMemoryImage> shared_image;
  XImageHandle fetched_image;
  // The rectangle of the last successful grab: the pointer is placed on the
  // picture that was taken, without asking RandR a second time per capture.
  ScreenRect grabbed;
};

X11ScreenSource::X11ScreenSource(X11GrabMethod method) {
  DisplayHandle display(XOpenDisplay(nullptr));
  if (!display) {
    Report("cannot open the X display \"" + std::string(XDisplayName(nullptr)) + "\"");
    return;
  }
  connection_ = std::make_unique<Connection>();
  connection_->root = DefaultRootWindow(display.get());
  connection_->unsupported_format = UnsupportedFormat(display.get());
  connection_->use_shared_memory = method == X11GrabMethod::kSharedMemory;
  connection_->display = std::move(display);
}

X11ScreenSource::~X11ScreenSource() = default;

bool X11ScreenSource::UsesSharedMemory() const { return connection_ && connection_->use_shared_memory; }

bool X11ScreenSource::Grab(GrabbedScreen& screen) {
  screen = GrabbedScreen{};
  if (!connection_) {
    return false;
  }
  Connection& connection = *connection_;
  if (!connection.unsupported_format.empty()) {
    Report(connection.unsupported_format);
    return false;
  }
  Display* display = connection.display.get();
  XErrorTrap trap(display);
  const ScreenRect primary = FindPrimaryDisplay(display, connection.root);
  if (primary.width <= 0 || primary.height <= 0) {
    Report("cannot find the primary display");
    return false;
  }

  if (connection.use_shared_memory && (!connection.shared_image || connection.shared_image->Width() != primary.width ||
                                       connection.shared_image->Height() != primary.height)) {
    connection.shared_image.reset();
    std::string refusal;
    connection.shared_image = SharedMemoryImage::Create(display, primary.width, primary.height, refusal);
    if (!connection.shared_image) {
      Report("shared memory refused, grabbing with XGetImage instead: " + refusal);
      connection.use_shared_memory = false;
    }
  }

  XImage* image = nullptr;
  if (connection.use_shared_memory) {
    if (!connection.shared_image->Fill(connection.root, primary.x, primary.y) || trap.SyncAndTakeError() != Success) {
      Report("XShmGetImage failed");
      return false;
    }
    image = &connection.shared_image->Image();
  } else {
    connection.fetched_image.reset();
    connection.fetched_image.reset(XGetImage(display, connection.root, primary.x, primary.y,
                                             static_cast<unsigned>(primary.width),
                                             static_cast<unsigned>(primary.height), AllPlanes, ZPixmap));
    if (!connection.fetched_image || trap.SyncAndTakeError() != Success) {
      connection.fetched_image.reset();
      Report("XGetImage failed");
      return false;
    }
    image = connection.fetched_image.get();
  }
  if (!HasExpectedLayout(*image)) {
    Report("the X server sent an image of an unexpected layout");
    return false;
  }

  screen.width = static_cast<std::uint32_t>(image->width);
  screen.height = static_cast<std::uint32_t>(image->height);
  screen.bytes_per_row = static_cast<std::uint32_t>(image->bytes_per_line);
  screen.pixels = reinterpret_cast<std::uint8_t*>(image->data);
  connection.grabbed = primary;
  last_report_.clear();
  return true;
}

PointerState X11ScreenSource::Pointer() {
  PointerState pointer;
  if (!connection_) {
    return pointer;
  }
  Display* display = connection_->display.get();
  XErrorTrap trap(display);
  Window pointer_root = None;
  Window child = None;
  int root_x = 0;
  int root_y = 0;
  int window_x = 0;
  int window_y = 0;
  unsigned modifier_mask = 0;
  const bool on_this_screen = XQueryPointer(display, connection_->root, &pointer_root, &child, &root_x, &root_y,
                                            &window_x, &window_y, &modifier_mask) != 0;
  if (!on_this_screen) {
    return pointer;
  }
  const ScreenRect primary =
      connection_->grabbed.width > 0 ? connection_->grabbed : FindPrimaryDisplay(display, connection_->root);
  pointer.showing = primary.Contains(root_x, root_y);
  pointer.x = root_x - primary.x;
  pointer.y = root_y - primary.y;
  return pointer;
}

void X11ScreenSource::Report(const std::string& failure) {
  if (failure == last_report_) {
    return;
  }
  last_report_ = failure;
  std::fprintf(stderr, "lumivanta: screen capture: %s\n", failure.c_str());
}

}  // namespace lumivanta
