#include "tests/support/X11Scene.h"

#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>

namespace lumivanta::test {

std::uint32_t GradientPattern(int x, int y) {
  const auto red = static_cast<std::uint32_t>(x & 0xff);
  const auto green = static_cast<std::uint32_t>(y & 0xff);
  const auto blue = static_cast<std::uint32_t>(((x >> 8) * 32 + (y >> 8) * 5 + 17) & 0xff);
  return red << 16 | green << 8 | blue;
}

std::uint32_t ChequerPattern(int x, int y) { return ((x / 16 + y / 16) % 2 == 0) ? 0x00c81e64 : 0x0014a0f0; }

std::vector<unsigned long> WindowListProperty(Display* display, Window window, Atom property) {
  std::vector<unsigned long> values;
  if (window == None) {
    return values;
  }
  Atom type = None;
  int format = 0;
  unsigned long count = 0;
  unsigned long remaining = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(display, window, property, 0, 1024, False, AnyPropertyType, &type, &format, &count, &remaining,
                         &data) == Success &&
      data != nullptr) {
    if (format == 32) {
      const auto* items = reinterpret_cast<const unsigned long*>(data);
      values.assign(items, items + count);
    }
    XFree(data);
  }
  return values;
}

X11Scene::X11Scene(const std::string& display_name) : display_(XOpenDisplay(display_name.c_str())) {
  if (!display_) {
    throw std::runtime_error("cannot open " + display_name);
  }
  root_ = DefaultRootWindow(display_.get());
}

void X11Scene::PaintRoot(const PixelPattern& pattern) {
  XWindowAttributes root{};
  XGetWindowAttributes(display_.get(), root_, &root);
  const auto width = static_cast<unsigned>(root.width);
  const auto height = static_cast<unsigned>(root.height);
  // XDestroyImage frees the pixels with free().
  auto* pixels = static_cast<std::uint32_t*>(std::malloc(std::size_t{width} * height * 4));
  const XImageHandle image(XCreateImage(display_.get(), root.visual, static_cast<unsigned>(root.depth), ZPixmap, 0,
                                        reinterpret_cast<char*>(pixels), width, height, 32, 0));
  if (pixels == nullptr || !image) {
    std::free(pixels);
    throw std::runtime_error("XCreateImage failed");
  }
  for (int y = 0; y < root.height; ++y) {
    for (int x = 0; x < root.width; ++x) {
      pixels[static_cast<std::size_t>(y) * width + x] = pattern(x, y);
    }
  }
  const Pixmap pixmap = XCreatePixmap(display_.get(), root_, width, height, static_cast<unsigned>(root.depth));
  const GC gc = XCreateGC(display_.get(), pixmap, 0, nullptr);
  XPutImage(display_.get(), pixmap, gc, image.get(), 0, 0, 0, 0, width, height);
  XFreeGC(display_.get(), gc);
  // The root keeps the pixmap as its background after the name is freed.
  XSetWindowBackgroundPixmap(display_.get(), root_, pixmap);
  XFreePixmap(display_.get(), pixmap);
  XClearWindow(display_.get(), root_);
  XSync(display_.get(), False);
}

void X11Scene::SetPrimaryOutput(int x, int y, unsigned width, unsigned height) {
  const ScreenResourcesHandle resources(XRRGetScreenResourcesCurrent(display_.get(), root_));
  if (!resources || resources->ncrtc < 1 || resources->noutput < 1) {
    throw std::runtime_error("no CRTC or output to configure");
  }
  const RRMode mode = ModeOfSize(resources.get(), width, height);
  XRRSetCrtcConfig(display_.get(), resources.get(), resources->crtcs[0], CurrentTime, x, y, mode, RR_Rotate_0,
                   resources->outputs, 1);
  XRRSetOutputPrimary(display_.get(), root_, resources->outputs[0]);
  XSync(display_.get(), False);
}

void X11Scene::DisableOutputs() {
  const ScreenResourcesHandle resources(XRRGetScreenResourcesCurrent(display_.get(), root_));
  if (!resources || resources->ncrtc < 1) {
    throw std::runtime_error("no CRTC to configure");
  }
  XRRSetCrtcConfig(display_.get(), resources.get(), resources->crtcs[0], CurrentTime, 0, 0, None, RR_Rotate_0, nullptr,
                   0);
  XSync(display_.get(), False);
}

Window X11Scene::MapFocusedWindow() {
  const Window window =
      XCreateSimpleWindow(display_.get(), root_, 100, 100, 400, 300, 0, 0, WhitePixel(display_.get(), 0));
  XStoreName(display_.get(), window, "focus holder");
  if (!MapUntilViewable(display_.get(), window)) {
    throw std::runtime_error("the window manager did not map the window");
  }
  const auto deadline = std::chrono::steady_clock::now() + kWindowTimeout;
  while (std::chrono::steady_clock::now() < deadline) {
    XSetInputFocus(display_.get(), window, RevertToParent, CurrentTime);
    if (Focus() == window) {
      return window;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  throw std::runtime_error("the window did not get the focus");
}

Window X11Scene::Focus() const {
  Window focus = None;
  int revert = 0;
  XGetInputFocus(display_.get(), &focus, &revert);
  return focus;
}

unsigned X11Scene::ModifierState() const {
  Window root = None;
  Window child = None;
  int root_x = 0;
  int root_y = 0;
  int window_x = 0;
  int window_y = 0;
  unsigned mask = 0;
  XQueryPointer(display_.get(), root_, &root, &child, &root_x, &root_y, &window_x, &window_y, &mask);
  return mask;
}

RRMode X11Scene::ModeOfSize(XRRScreenResources* resources, unsigned width, unsigned height) {
  for (int index = 0; index < resources->nmode; ++index) {
    if (resources->modes[index].width == width && resources->modes[index].height == height) {
      return resources->modes[index].id;
    }
  }
  std::string name = std::to_string(width) + "x" + std::to_string(height);
  XRRModeInfo info{};
  info.width = width;
  info.height = height;
  info.hTotal = width;
  info.vTotal = height;
  info.dotClock = static_cast<unsigned long>(width) * height * 60;
  info.name = name.data();
  info.nameLength = static_cast<unsigned>(name.size());
  const RRMode mode = XRRCreateMode(display_.get(), root_, &info);
  XRRAddOutputMode(display_.get(), resources->outputs[0], mode);
  return mode;
}

}  // namespace lumivanta::test
