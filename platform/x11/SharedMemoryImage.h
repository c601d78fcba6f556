#pragma once

// A screen-sized image in a System V shared memory segment that the X server
// fills directly (MIT-SHM): a grab costs one request and no copy through the
// socket, and its reply can be waited for on another thread.

#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace lumivanta {

// The segment's memory in this process. It stays mapped for as long as
// anyone holds it, also after the X server has let go of it, so that a
// picture handed to another thread outlives the image it was grabbed into.
struct SharedSegment {
  SharedSegment(const SharedSegment&) = delete;
  SharedSegment& operator=(const SharedSegment&) = delete;
  SharedSegment(void* mapped, std::size_t size) : address(mapped), size_bytes(size) {}
  ~SharedSegment();

  void* address = nullptr;
  std::size_t size_bytes = 0;
  // Set while a grab of this segment is out with a keeper: the X server
  // must not write into it then.
  std::atomic<bool> kept{false};
};

class SharedMemoryImage {
 public:
  // Nothing, and the reason in refusal, when the server has no MIT-SHM or
  // cannot attach the segment (a remote server, another user's server), or
  // when the system gives no segment. Rows of 32-bit pixels, width * 4 bytes.
  static std::unique_ptr<SharedMemoryImage> Create(xcb_connection_t* connection, int width, int height,
                                                   std::string& refusal);

  // Only Create makes one.
  class Key {
    friend class SharedMemoryImage;
    Key() = default;
  };
  SharedMemoryImage(Key, xcb_connection_t* connection);
  SharedMemoryImage(const SharedMemoryImage&) = delete;
  SharedMemoryImage& operator=(const SharedMemoryImage&) = delete;
  // Detaches the segment from the X server; the memory goes with its last holder.
  ~SharedMemoryImage();

  // Asks the server to copy the rectangle of the root window at (x, y) of
  // this image's size into the segment, without waiting for it.
  xcb_shm_get_image_cookie_t RequestFill(xcb_window_t root, int x, int y);
  // The same for a smaller rectangle, its rows width * 4 bytes apart from
  // offset on; it must fit into the segment. The request stays in the
  // connection's buffer, so that many parts go in one write: the caller
  // flushes once it has asked for all.
  xcb_shm_get_image_cookie_t RequestFill(xcb_window_t root, int x, int y, int width, int height, std::size_t offset);

  int Width() const { return width_; }
  int Height() const { return height_; }
  std::uint32_t BytesPerRow() const { return static_cast<std::uint32_t>(width_) * 4; }
  const std::shared_ptr<SharedSegment>& Segment() const { return segment_; }

 private:
  xcb_connection_t* connection_ = nullptr;
  xcb_shm_seg_t segment_id_ = 0;
  int width_ = 0;
  int height_ = 0;
  std::shared_ptr<SharedSegment> segment_;
  bool attached_ = false;
};

}  // namespace lumivanta
