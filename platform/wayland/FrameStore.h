#pragma once

// The newest frame of a screen cast, as the capture thread delivers it and a
// grab takes it: the capture thread copies each frame in, a grab hands out
// the newest one without copying. A frame that a grab still holds is never
// written again; the next frame goes into another buffer. Each frame carries
// the time the desktop showed it, so that a grab after a change of the
// screen can tell a frame of the changed screen from one that was on its way
// before.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "pictures/ScreenImage.h"

namespace lumivanta {

// The byte order of a frame's 32-bit pixels as the stream delivers them.
enum class FramePixelOrder {
  kBlueFirst,  // blue, green, red, unused or alpha: the screen's own order
  kRedFirst,   // red, green, blue, unused or alpha: blue and red swap places on the way in
};

class FrameStore {
 public:
  // The monotonic clock, which the desktops' compositors also stamp frames with.
  using Clock = std::chrono::steady_clock;

  // Copies a frame in, row by row (rows stride bytes apart), and makes it
  // the newest; shown_at is when the desktop showed it.
  void Store(const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height, std::uint32_t stride,
             FramePixelOrder order, Clock::time_point shown_at = Clock::now());

  // The screen changes from since on (the program's own window goes away):
  // the next Take waits for a frame shown at or after since.
  void ExpectChange(Clock::time_point since = Clock::now());

  // Desktops animate a window away (mutter and KWin for a quarter of a
  // second, GNOME Shell for longer), and start late on a loaded machine:
  // frames shown this long after the change show it done.
  static constexpr std::chrono::milliseconds kWindowAnimation{500};
  // A screen that has shown the change and sends no newer frame for this
  // long is at rest; a loaded machine draws frames of an animation this far apart.
  static constexpr std::chrono::milliseconds kRestingGap{250};

  // Hands out the newest frame. Before the first one has come, or while an
  // expected change has not come yet or the screen is not at rest after it,
  // waits at most wait: a change that does not come leaves the newest frame;
  // false and an empty screen when none came.
  bool Take(ScreenImage& screen, std::chrono::milliseconds wait);

  bool HasFrame() const;
  // Whether a frame came after the one the last Take handed out; true before
  // the first Take.
  bool NewSinceTake() const;

 private:
  struct Frame {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> pixels;
  };

  static constexpr std::chrono::milliseconds kRestingCheck{25};

  // Whether Take can hand out the newest frame now (under the lock).
  bool HasChangeCome(Clock::time_point now) const;
  // A buffer that neither the newest frame nor any grab holds.
  std::shared_ptr<Frame> FreeFrame();

  mutable std::mutex mutex_;
  std::condition_variable arrived_;
  std::shared_ptr<Frame> newest_;
  Clock::time_point newest_shown_at_;
  // Frames stored so far, and the number of the one the last Take handed out.
  std::uint64_t stored_ = 0;
  std::uint64_t taken_ = 0;
  Clock::time_point newest_arrived_at_;
  // What the next Take waits for a frame shown at or after, if anything.
  std::optional<Clock::time_point> change_since_;
  // Every buffer the store owns: a frame is free when only this list holds it.
  std::vector<std::shared_ptr<Frame>> frames_;
};

}  // namespace lumivanta
