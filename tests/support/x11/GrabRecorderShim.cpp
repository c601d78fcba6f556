// For tests only, preloaded into the program: appends the size of every image it asks the X
// server for (MIT-SHM or socket) to the file LUMIVANTA_GRAB_LOG names, one "WIDTHxHEIGHT" a line.

#include <dlfcn.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void Record(std::uint16_t width, std::uint16_t height) {
  const char* log = std::getenv("LUMIVANTA_GRAB_LOG");
  if (log == nullptr) {
    return;
  }
  if (std::FILE* file = std::fopen(log, "a")) {
    std::fprintf(file, "%ux%u\n", static_cast<unsigned>(width), static_cast<unsigned>(height));
    std::fclose(file);
  }
}

}  // namespace

extern "C" __attribute__((visibility("default"))) xcb_shm_get_image_cookie_t xcb_shm_get_image(
    xcb_connection_t* connection, xcb_drawable_t drawable, std::int16_t x, std::int16_t y, std::uint16_t width,
    std::uint16_t height, std::uint32_t plane_mask, std::uint8_t format, xcb_shm_seg_t segment, std::uint32_t offset) {
  using Real =
      xcb_shm_get_image_cookie_t (*)(xcb_connection_t*, xcb_drawable_t, std::int16_t, std::int16_t, std::uint16_t,
                                     std::uint16_t, std::uint32_t, std::uint8_t, xcb_shm_seg_t, std::uint32_t);
  static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "xcb_shm_get_image"));
  Record(width, height);
  return real(connection, drawable, x, y, width, height, plane_mask, format, segment, offset);
}

extern "C" __attribute__((visibility("default"))) xcb_get_image_cookie_t xcb_get_image(
    xcb_connection_t* connection, std::uint8_t format, xcb_drawable_t drawable, std::int16_t x, std::int16_t y,
    std::uint16_t width, std::uint16_t height, std::uint32_t plane_mask) {
  using Real = xcb_get_image_cookie_t (*)(xcb_connection_t*, std::uint8_t, xcb_drawable_t, std::int16_t, std::int16_t,
                                          std::uint16_t, std::uint16_t, std::uint32_t);
  static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "xcb_get_image"));
  Record(width, height);
  return real(connection, format, drawable, x, y, width, height, plane_mask);
}
