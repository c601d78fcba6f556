#pragma once

// The primary display and the pointer, as the screen capture needs them. One
// implementation per platform, chosen once at start-up.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "pictures/ScreenImage.h"

namespace lumivanta {

struct PointerState {
  bool showing = false;  // the pointer is on this screen
  int x = 0;             // relative to the primary display's top-left corner
  int y = 0;
};

// How the pointer gets into the pictures on this desktop.
enum class PointerDrawing {
  kArrow,     // the program draws its red arrow where Pointer says
  kEmbedded,  // the desktop draws its own pointer into the screen
  kNone,      // the pointer cannot be shown
};

class ScreenSource {
 public:
  virtual ~ScreenSource() = default;

  // Copies the primary display into memory that the screen keeps for as long
  // as any copy of it lives; false (and an empty screen) when it cannot. The
  // pixels may arrive after Grab returns: readers wait with AwaitPixels.
  virtual bool Grab(ScreenImage& screen) = 0;
  // What changed on the primary display since the last call, at least: the
  // rectangles, relative to the primary display, and none when nothing did.
  // Nothing when the source cannot tell, or when the primary display itself
  // changed: the next grab then takes the whole screen.
  virtual std::optional<std::vector<PixelRect>> TakeChanges() { return std::nullopt; }
  // The whole primary display for the changes just taken: as it was at the
  // last TakeChanges or later, as what was drawn since is reported next.
  virtual bool GrabForChanges(ScreenImage& screen) { return Grab(screen); }
  // Grabs only these parts of the primary display (inside it), one after the
  // other into the screen's pixels, as screen.parts then says; false (and an
  // empty screen) when the primary display is no longer width x height, or
  // the source grabs only whole screens.
  virtual bool GrabParts(std::span<const PixelRect> /*parts*/, std::uint32_t /*width*/, std::uint32_t /*height*/,
                         ScreenImage& screen) {
    screen = ScreenImage{};
    return false;
  }
  // Where the pointer is, relative to the primary display; ask before Grab,
  // which a source may still be carrying out afterwards.
  virtual PointerState Pointer() = 0;
  // The program's own window is about to go away for a capture: the next
  // Grab should show the screen without it. Sources that learn of changes
  // only afterwards (a screen cast) wait for a picture of the screen shown
  // after this call, within a bound.
  virtual void ScreenWillChange() {}
  // The user switched the pointer in the pictures on or off: how it will be shown.
  virtual PointerDrawing ShowPointer(bool) { return PointerDrawing::kArrow; }

  // Called on the user-interface thread, once, with the cause when the source
  // finds out that it cannot capture at all (a desktop portal that refuses,
  // for example). A cause found before a handler was set is handed to it.
  using UnavailableHandler = std::function<void(const std::string& cause)>;
  void SetUnavailableHandler(UnavailableHandler handler) {
    unavailable_handler_ = std::move(handler);
    if (unavailable_handler_ && pending_cause_) {
      unavailable_handler_(*std::exchange(pending_cause_, std::nullopt));
    }
  }

 protected:
  void ReportUnavailable(const std::string& cause) {
    if (unavailable_handler_) {
      unavailable_handler_(cause);
    } else {
      pending_cause_ = cause;
    }
  }

 private:
  UnavailableHandler unavailable_handler_;
  std::optional<std::string> pending_cause_;
};

}  // namespace lumivanta
