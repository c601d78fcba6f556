#pragma once

// The primary display and the pointer, as the screen capture needs them. One
// implementation per platform, chosen once at start-up.

#include <functional>
#include <optional>
#include <string>
#include <utility>

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
