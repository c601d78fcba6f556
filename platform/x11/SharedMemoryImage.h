#pragma once

// A screen-sized XImage in a System V shared memory segment that the X server
// fills directly (MIT-SHM): a grab costs one request and no copy through the
// socket. The segment is kept for as long as the size stays the same.

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>

#include <memory>
#include <string>

namespace lumivanta {

class SharedMemoryImage {
 public:
  // Nothing, and the reason in refusal, when the server has no MIT-SHM or
  // cannot attach the segment (a remote server, another user's server), or
  // when the system gives no segment. Uses the display's default visual and depth.
  static std::unique_ptr<SharedMemoryImage> Create(Display* display, int width, int height, std::string& refusal);

  // Only Create makes one.
  class Key {
    friend class SharedMemoryImage;
    Key() = default;
  };
  SharedMemoryImage(Key, Display* display);
  SharedMemoryImage(const SharedMemoryImage&) = delete;
  SharedMemoryImage& operator=(const SharedMemoryImage&) = delete;
  ~SharedMemoryImage();

  // Copies the rectangle of the root window at (x, y) of this image's size.
  // False when the server refused; call under an XErrorTrap.
  bool Fill(Window root, int x, int y);

  XImage& Image() const { return *image_; }
  int Width() const { return image_->width; }
  int Height() const { return image_->height; }

 private:
  Display* display_ = nullptr;
  XImage* image_ = nullptr;
  XShmSegmentInfo segment_{};
  bool attached_ = false;
};

}  // namespace lumivanta
