#include "platform/x11/SharedMemoryImage.h"

#include <sys/ipc.h>
#include <sys/shm.h>

#include <cerrno>
#include <cstring>

#include "platform/x11/XcbReply.h"

namespace lumivanta {

SharedSegment::~SharedSegment() { shmdt(address); }

SharedMemoryImage::SharedMemoryImage(Key, xcb_connection_t* connection) : connection_(connection) {}

SharedMemoryImage::~SharedMemoryImage() {
  if (attached_) {
    xcb_shm_detach(connection_, segment_id_);
    xcb_flush(connection_);
  }
}

std::unique_ptr<SharedMemoryImage> SharedMemoryImage::Create(xcb_connection_t* connection, int width, int height,
                                                             std::string& refusal) {
  const xcb_query_extension_reply_t* extension = xcb_get_extension_data(connection, &xcb_shm_id);
  if (extension == nullptr || extension->present == 0) {
    refusal = "the X server offers no MIT-SHM";
    return nullptr;
  }
  auto shared = std::make_unique<SharedMemoryImage>(Key{}, connection);
  shared->width_ = width;
  shared->height_ = height;
  const std::size_t size_bytes = std::size_t{shared->BytesPerRow()} * static_cast<std::size_t>(height);
  const int id = shmget(IPC_PRIVATE, size_bytes, IPC_CREAT | 0600);
  if (id < 0) {
    refusal = std::string("shmget: ") + std::strerror(errno);
    return nullptr;
  }
  void* address = shmat(id, nullptr, 0);
  if (address == reinterpret_cast<void*>(-1)) {
    refusal = std::string("shmat: ") + std::strerror(errno);
    shmctl(id, IPC_RMID, nullptr);
    return nullptr;
  }
  shared->segment_ = std::make_shared<SharedSegment>(address, size_bytes);
  shared->segment_id_ = xcb_generate_id(connection);
  const XcbReply<xcb_generic_error_t> error(
      xcb_request_check(connection, xcb_shm_attach_checked(connection, shared->segment_id_, id, 0)));
  // Marked for removal at once: the segment then goes with the last detach,
  // even when the program is killed.
  shmctl(id, IPC_RMID, nullptr);
  if (error) {
    refusal = "the X server cannot attach the segment (X error " + std::to_string(error->error_code) + ")";
    return nullptr;
  }
  shared->attached_ = true;
  return shared;
}

xcb_shm_get_image_cookie_t SharedMemoryImage::RequestFill(xcb_window_t root, int x, int y) {
  const xcb_shm_get_image_cookie_t cookie = RequestFill(root, x, y, width_, height_, 0);
  xcb_flush(connection_);
  return cookie;
}

xcb_shm_get_image_cookie_t SharedMemoryImage::RequestFill(xcb_window_t root, int x, int y, int width, int height,
                                                          std::size_t offset) {
  const xcb_shm_get_image_cookie_t cookie =
      xcb_shm_get_image(connection_, root, static_cast<std::int16_t>(x), static_cast<std::int16_t>(y),
                        static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height), ~0u,
                        XCB_IMAGE_FORMAT_Z_PIXMAP, segment_id_, static_cast<std::uint32_t>(offset));
  return cookie;
}

}  // namespace lumivanta
