#include "platform/x11/SharedMemoryImage.h"

#include <X11/Xutil.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <cerrno>
#include <cstring>

#include "platform/x11/XErrorTrap.h"

namespace lumivanta {

SharedSegment::~SharedSegment() { shmdt(address); }

SharedMemoryImage::SharedMemoryImage(Key, Display* display) : display_(display) {
  segment_info_.shmid = -1;
  segment_info_.shmaddr = nullptr;
}

SharedMemoryImage::~SharedMemoryImage() {
  if (attached_) {
    XErrorTrap trap(display_);
    XShmDetach(display_, &segment_info_);
    trap.SyncAndTakeError();
  }
  if (image_ != nullptr) {
    // The pixels are the segment's, not Xlib's to free.
    image_->data = nullptr;
    XDestroyImage(image_);
  }
}

std::unique_ptr<SharedMemoryImage> SharedMemoryImage::Create(Display* display, int width, int height,
                                                             std::string& refusal) {
  if (XShmQueryExtension(display) == 0) {
    refusal = "the X server offers no MIT-SHM";
    return nullptr;
  }
  const int screen = DefaultScreen(display);
  auto shared = std::make_unique<SharedMemoryImage>(Key{}, display);
  shared->image_ = XShmCreateImage(display, DefaultVisual(display, screen), DefaultDepth(display, screen), ZPixmap,
                                   nullptr, &shared->segment_info_, width, height);
  if (shared->image_ == nullptr) {
    refusal = "no shared image of " + std::to_string(width) + "x" + std::to_string(height);
    return nullptr;
  }
  const std::size_t size_bytes = static_cast<std::size_t>(shared->image_->bytes_per_line) * height;
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
  shared->segment_ = std::make_shared<SharedSegment>(address);
  shared->segment_info_.shmid = id;
  shared->segment_info_.shmaddr = static_cast<char*>(address);
  shared->segment_info_.readOnly = False;
  shared->image_->data = shared->segment_info_.shmaddr;

  XErrorTrap trap(display);
  const bool sent = XShmAttach(display, &shared->segment_info_) != 0;
  const int error_code = trap.SyncAndTakeError();
  // Marked for removal at once: the segment then goes with the last detach,
  // even when the program is killed.
  shmctl(id, IPC_RMID, nullptr);
  if (!sent || error_code != Success) {
    refusal = "the X server cannot attach the segment";
    if (error_code != Success) {
      refusal += " (X error " + std::to_string(error_code) + ")";
    }
    return nullptr;
  }
  shared->attached_ = true;
  return shared;
}

bool SharedMemoryImage::Fill(Window root, int x, int y) {
  return XShmGetImage(display_, root, image_, x, y, AllPlanes) != 0;
}

}  // namespace lumivanta
