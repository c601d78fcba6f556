#pragma once

// Catches the X errors of one display while the object lives, instead of
// letting Xlib's default handler end the program. The handler it replaces is
// put back afterwards and still receives the errors of other displays. For
// the user-interface thread only: Xlib's error handler is process-wide.

#include <X11/Xlib.h>

namespace lumivanta {

class XErrorTrap {
 public:
  explicit XErrorTrap(Display* display);
  XErrorTrap(const XErrorTrap&) = delete;
  XErrorTrap& operator=(const XErrorTrap&) = delete;
  // Waits for the answers to everything sent under the trap, so that no late
  // error reaches the previous handler, then puts that handler back.
  ~XErrorTrap();

  // Waits for the server to answer everything sent so far; then the first
  // error code caught since the trap was set or last asked (Success when none).
  int SyncAndTakeError();

 private:
  static int Handle(Display* display, XErrorEvent* error);

  Display* display_ = nullptr;
  int first_error_code_ = Success;
  XErrorTrap* outer_trap_ = nullptr;
  XErrorHandler previous_handler_ = nullptr;
};

}  // namespace lumivanta
