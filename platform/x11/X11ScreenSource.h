#pragma once

// The primary display and the pointer of the X server named by $DISPLAY,
// through a connection of the source's own.

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/ScreenSource.h"

namespace lumivanta {

enum class X11GrabMethod {
  kSharedMemory,  // MIT-SHM, falling back to XGetImage where the server refuses it
  kGetImage,      // XGetImage only
};

class X11ScreenSource : public ScreenSource {
 public:
  explicit X11ScreenSource(X11GrabMethod method = X11GrabMethod::kSharedMemory);
  X11ScreenSource(const X11ScreenSource&) = delete;
  X11ScreenSource& operator=(const X11ScreenSource&) = delete;
  ~X11ScreenSource() override;

  // With MIT-SHM the server writes straight into one of a few shared
  // segments: one that nobody keeps, so that the next grab never overwrites
  // pixels that a publish job still reads.
  bool Grab(ScreenImage& screen) override;
  // From the X DAMAGE extension, which follows every drawing on the screen;
  // nothing where the server lacks it.
  std::optional<std::vector<PixelRect>> TakeChanges() override;
  // After a take that found more than half the display changed, the grab
  // that the take asked for in its own round trip.
  bool GrabForChanges(ScreenImage& screen) override;
  // Into one free shared segment, or through the socket.
  bool GrabParts(std::span<const PixelRect> parts, std::uint32_t width, std::uint32_t height,
                 ScreenImage& screen) override;
  // Relative to the primary display as the next grab takes it.
  PointerState Pointer() override;

  // Whether grabs go through MIT-SHM: false when XGetImage was asked for or
  // the server refused the shared segment.
  bool UsesSharedMemory() const;

 private:
  struct Connection;

  // Starts following the screen's damage where the server offers DAMAGE and XFIXES.
  void FollowDamage();

  // Writes a failure to stderr unless it is the one reported last, so that a
  // slideshow on an unsuitable display does not repeat it at every picture.
  void Report(const std::string& failure);

  std::unique_ptr<Connection> connection_;
  std::string last_report_;
};

}  // namespace lumivanta
