#include "platform/x11/X11ScreenSource.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

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

// At most this many shared segments: one for a grab out with a publish job, one
// for the next grab, and spares for callers that keep grabs longer.
constexpr std::size_t kMostSharedImages = 4;

// Marks the segment kept; the returned keeper holds it mapped and marks it
// free again when its last copy goes, on whatever thread that happens.
std::shared_ptr<const void> KeepSegment(const std::shared_ptr<SharedSegment>& segment) {
  segment->kept.store(true, std::memory_order_relaxed);
  return std::shared_ptr<const void>(segment->address,
                                     [segment](const void*) { segment->kept.store(false, std::memory_order_release); });
}

}  // namespace

struct X11ScreenSource::Connection {
  DisplayHandle display;
  Window root = None;
  std::string unsupported_format;
  bool use_shared_memory = true;
  // The primary display, asked for again only after RandR said that the
  // outputs changed: a grab then costs the server one request.
  ScreenRect primary;
  bool primary_known = false;
  // Shared segments of the primary display's size.
  std::vector<std::unique_ptr<SharedMemoryImage>> shared_images;
  // The rectangle of the last successful grab: the pointer is placed on the
  // picture that was taken.
  ScreenRect grabbed;

  ScreenRect PrimaryDisplay() {
    Display* connection = display.get();
    // The only events this connection asks for are RandR's.
    while (XPending(connection) > 0) {
      XEvent event;
      XNextEvent(connection, &event);
      XRRUpdateConfiguration(&event);
      primary_known = false;
    }
    if (!primary_known) {
      primary = FindPrimaryDisplay(connection, root);
      primary_known = primary.width > 0 && primary.height > 0;
    }
    return primary;
  }

  // A shared image of the primary display's size that no grab out holds;
  // null, and why in refusal, when none can be had.
  SharedMemoryImage* FreeSharedImage(const ScreenRect& rect, std::string& refusal) {
    if (!shared_images.empty() &&
        (shared_images.front()->Width() != rect.width || shared_images.front()->Height() != rect.height)) {
      shared_images.clear();
    }
    for (const auto& image : shared_images) {
      if (!image->Segment()->kept.load(std::memory_order_acquire)) {
        return image.get();
      }
    }
    if (shared_images.size() >= kMostSharedImages) {
      refusal = "every shared segment still holds a picture being published";
      return nullptr;
    }
    auto image = SharedMemoryImage::Create(display.get(), rect.width, rect.height, refusal);
    if (!image || !HasExpectedLayout(image->Image())) {
      if (image) {
        refusal = "the X server offers shared images of an unexpected layout";
      }
      return nullptr;
    }
    shared_images.push_back(std::move(image));
    return shared_images.back().get();
  }
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
  int event_base = 0;
  int error_base = 0;
  if (XRRQueryExtension(display.get(), &event_base, &error_base) != 0) {
    XRRSelectInput(display.get(), connection_->root,
                   RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask | RROutputChangeNotifyMask);
  }
  connection_->display = std::move(display);
}

X11ScreenSource::~X11ScreenSource() = default;

bool X11ScreenSource::UsesSharedMemory() const { return connection_ && connection_->use_shared_memory; }

bool X11ScreenSource::Grab(ScreenImage& screen) {
  // The caller's last grab goes first, so that its memory can take this one.
  screen = ScreenImage{};
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
  const ScreenRect primary = connection.PrimaryDisplay();
  if (primary.width <= 0 || primary.height <= 0) {
    Report("cannot find the primary display");
    return false;
  }

  SharedMemoryImage* shared_image = nullptr;
  if (connection.use_shared_memory) {
    std::string refusal;
    shared_image = connection.FreeSharedImage(primary, refusal);
    if (shared_image == nullptr && connection.shared_images.empty()) {
      Report("shared memory refused, grabbing with XGetImage instead: " + refusal);
      connection.use_shared_memory = false;
    } else if (shared_image == nullptr) {
      Report(refusal);
      return false;
    }
  }

  XImage* image = nullptr;
  if (shared_image != nullptr) {
    if (!shared_image->Fill(connection.root, primary.x, primary.y) || trap.SyncAndTakeError() != Success) {
      // The primary display may have changed under the request: ask again next time.
      connection.primary_known = false;
      Report("XShmGetImage failed");
      return false;
    }
    image = &shared_image->Image();
    screen.keeper = KeepSegment(shared_image->Segment());
  } else {
    XImageHandle fetched(XGetImage(display, connection.root, primary.x, primary.y, static_cast<unsigned>(primary.width),
                                   static_cast<unsigned>(primary.height), AllPlanes, ZPixmap));
    if (!fetched || trap.SyncAndTakeError() != Success || !HasExpectedLayout(*fetched)) {
      connection.primary_known = false;
      Report(fetched ? "the X server sent an image of an unexpected layout" : "XGetImage failed");
      return false;
    }
    image = fetched.get();
    // Each fetched image is new memory: the grab owns it.
    const std::shared_ptr<XImage> owner(fetched.release(), XImageDestroyer{});
    screen.keeper = std::shared_ptr<const void>(owner, owner->data);
  }

  screen.width = static_cast<std::uint32_t>(image->width);
  screen.height = static_cast<std::uint32_t>(image->height);
  screen.bytes_per_row = static_cast<std::uint32_t>(image->bytes_per_line);
  screen.pixels = {reinterpret_cast<std::uint8_t*>(image->data), std::size_t{screen.bytes_per_row} * screen.height};
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
  const ScreenRect primary = connection_->grabbed.width > 0 ? connection_->grabbed : connection_->PrimaryDisplay();
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
