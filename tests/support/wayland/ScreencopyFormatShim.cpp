// For tests only, preloaded into xdg-desktop-portal-wlr and never installed.
// With the pixman renderer the compositor announces no DMA-BUF format for a
// screencopy frame, and the backend then refuses to cast at all. This
// library wraps the backend's listener of every screencopy frame so that
// each shared-memory buffer announcement is followed by a DMA-BUF one of the
// same size; the backend then casts in shared memory.

#include <dlfcn.h>

#include <cstdint>
#include <cstring>

extern "C" {

struct wl_proxy;
const char* wl_proxy_get_class(wl_proxy* proxy);

}  // extern "C"

namespace {

// The events of zwlr_screencopy_frame_v1 version 3, in order.
struct ScreencopyFrameListener {
  void (*buffer)(void* data, wl_proxy* frame, std::uint32_t format, std::uint32_t width, std::uint32_t height,
                 std::uint32_t stride);
  void (*flags)(void* data, wl_proxy* frame, std::uint32_t flags);
  void (*ready)(void* data, wl_proxy* frame, std::uint32_t sec_hi, std::uint32_t sec_lo, std::uint32_t nsec);
  void (*failed)(void* data, wl_proxy* frame);
  void (*damage)(void* data, wl_proxy* frame, std::uint32_t x, std::uint32_t y, std::uint32_t width,
                 std::uint32_t height);
  void (*linux_dmabuf)(void* data, wl_proxy* frame, std::uint32_t format, std::uint32_t width, std::uint32_t height);
  void (*buffer_done)(void* data, wl_proxy* frame);
};

constexpr std::uint32_t kDrmFormatXrgb8888 = 0x34325258;  // 'X', 'R', '2', '4'

// The backend's own listener (it has one for all frames) and the wrapped copy.
const ScreencopyFrameListener* backend_listener = nullptr;
ScreencopyFrameListener wrapped{};

void OnBuffer(void* data, wl_proxy* frame, std::uint32_t format, std::uint32_t width, std::uint32_t height,
              std::uint32_t stride) {
  backend_listener->buffer(data, frame, format, width, height, stride);
  if (backend_listener->linux_dmabuf != nullptr) {
    backend_listener->linux_dmabuf(data, frame, kDrmFormatXrgb8888, width, height);
  }
}

using AddListener = int (*)(wl_proxy*, void (**)(void), void*);

}  // namespace

extern "C" __attribute__((visibility("default"))) int wl_proxy_add_listener(wl_proxy* proxy,
                                                                            void (**implementation)(void), void* data) {
  static const auto real = reinterpret_cast<AddListener>(dlsym(RTLD_NEXT, "wl_proxy_add_listener"));
  if (std::strcmp(wl_proxy_get_class(proxy), "zwlr_screencopy_frame_v1") == 0) {
    backend_listener = reinterpret_cast<const ScreencopyFrameListener*>(implementation);
    wrapped = *backend_listener;
    wrapped.buffer = &OnBuffer;
    return real(proxy, reinterpret_cast<void (**)(void)>(&wrapped), data);
  }
  return real(proxy, implementation, data);
}
