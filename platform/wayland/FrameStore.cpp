#include "platform/wayland/FrameStore.h"

#include <algorithm>
#include <cstring>

namespace lumivanta {
namespace {

// One for the newest frame, one being written, and spares for grabs that
// publish jobs still hold.
constexpr std::size_t kMostFrames = 4;

void CopyRow(const std::uint8_t* from, std::uint8_t* to, std::uint32_t width, FramePixelOrder order) {
  if (order == FramePixelOrder::kBlueFirst) {
    std::memcpy(to, from, std::size_t{width} * 4);
    return;
  }
  for (std::uint32_t x = 0; x < width; ++x, from += 4, to += 4) {
    to[0] = from[2];
    to[1] = from[1];
    to[2] = from[0];
    to[3] = from[3];
  }
}

}  // namespace

std::shared_ptr<FrameStore::Frame> FrameStore::FreeFrame() {
  const std::lock_guard lock(mutex_);
  for (const auto& frame : frames_) {
    if (frame.use_count() == 1) {
      return frame;
    }
  }
  auto frame = std::make_shared<Frame>();
  if (frames_.size() < kMostFrames) {
    frames_.push_back(frame);
  }
  return frame;
}

void FrameStore::Store(const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height, std::uint32_t stride,
                       FramePixelOrder order, Clock::time_point shown_at) {
  if (pixels == nullptr || width == 0 || height == 0 || stride < std::size_t{width} * 4) {
    return;
  }
  // Written outside the lock: grabs meanwhile take the frame before it.
  std::shared_ptr<Frame> frame = FreeFrame();
  frame->width = width;
  frame->height = height;
  frame->pixels.resize(std::size_t{width} * 4 * height);
  for (std::uint32_t row = 0; row < height; ++row) {
    CopyRow(pixels + std::size_t{stride} * row, frame->pixels.data() + std::size_t{width} * 4 * row, width, order);
  }
  {
    const std::lock_guard lock(mutex_);
    newest_ = std::move(frame);
    newest_shown_at_ = shown_at;
    ++stored_;
    newest_arrived_at_ = Clock::now();
  }
  arrived_.notify_all();
}

void FrameStore::ExpectChange(Clock::time_point since) {
  const std::lock_guard lock(mutex_);
  change_since_ = since;
}

bool FrameStore::Take(ScreenImage& screen, std::chrono::milliseconds wait) {
  screen = ScreenImage{};
  std::shared_ptr<Frame> frame;
  {
    std::unique_lock lock(mutex_);
    const Clock::time_point deadline = Clock::now() + wait;
    for (Clock::time_point now = Clock::now(); !HasChangeCome(now) && now < deadline; now = Clock::now()) {
      // Woken by each frame, and now and then to see whether the screen has come to rest.
      arrived_.wait_until(lock, std::min(deadline, now + kRestingCheck));
    }
    change_since_.reset();  // waited for once, come or not
    frame = newest_;
    taken_ = stored_;
  }
  if (!frame) {
    return false;
  }
  screen.width = frame->width;
  screen.height = frame->height;
  screen.bytes_per_row = frame->width * 4;
  screen.pixels = {frame->pixels.data(), frame->pixels.size()};
  screen.keeper = std::move(frame);
  return true;
}

bool FrameStore::NewSinceTake() const {
  const std::lock_guard lock(mutex_);
  return taken_ == 0 || stored_ != taken_;
}

bool FrameStore::HasChangeCome(Clock::time_point now) const {
  if (newest_ == nullptr) {
    return false;
  }
  if (!change_since_) {
    return true;
  }
  // A frame shown once the window's animation is over shows the change
  // done; short of that, a screen that shows the change and then sends no
  // newer frame for a while is at rest (it sends frames only as it changes).
  const Clock::time_point animated = *change_since_ + kWindowAnimation;
  return newest_shown_at_ >= animated ||
         (newest_shown_at_ >= *change_since_ && now >= animated && now - newest_arrived_at_ >= kRestingGap);
}

bool FrameStore::HasFrame() const {
  const std::lock_guard lock(mutex_);
  return newest_ != nullptr;
}

}  // namespace lumivanta
