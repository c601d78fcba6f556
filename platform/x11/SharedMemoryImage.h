#pragma once

// A screen-sized XImage in a System V shared memory segment that the X server
// fills directly (MIT-SHM): a grab costs one request and no copy through the
// socket.

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>

#include <atomic>
#include <memory>
#include <string>

namespace lumivanta {

// The segment's memory in this process. It stays mapped for as long as
// anyone holds it, also after the X server has let go of it, so that a
// picture handed to another thread outlives the image it was grabbed into.
struct SharedSegment {
  SharedSegment(const SharedSegment&) = delete;
  SharedSegment& operator=(const SharedSegment&) = delete;
  explicit SharedSegment(void* mapped) : address(mapped) {}
  ~SharedSegment();

  void* address = nullptr;
  // Set while a grab of this segment is out with a keeper: the X server
  // must not write into it then.
  std::atomic<bool> kept{false};
};

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
  // Detaches the segment from the X server; the memory goes with its last holder.
  ~SharedMemoryImage();

  // Copies the rectangle of the root window at (x, y) of this image's size.
  // False when the server refused; call under an XErrorTrap.
  bool Fill(Window root, int x, int y);

  XImage& Image() const { return *image_; }
  int Width() const { return image_->width; }
  int Height() const { return image_->height; }
  const std::shared_ptr<SharedSegment>& Segment() const { return segment_; }

 private:
  Display* display_ = nullptr;
  XImage* image_ = nullptr;
  XShmSegmentInfo segment_info_{};
  std::shared_ptr<SharedSegment> segment_;
  bool attached_ = false;
};

}  // namespace lumivanta
