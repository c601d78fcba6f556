#include "platform/x11/XErrorTrap.h"

namespace lumivanta {
namespace {

XErrorTrap* innermost_trap = nullptr;

// Waits for the server's answers, unless it has answered everything sent so
// far already (after a request with a reply): a round trip saved.
void SyncUnlessAnswered(Display* display) {
  if (LastKnownRequestProcessed(display) != NextRequest(display) - 1) {
    XSync(display, False);
  }
}

}  // namespace

XErrorTrap::XErrorTrap(Display* display)
    : display_(display), outer_trap_(innermost_trap), previous_handler_(XSetErrorHandler(&XErrorTrap::Handle)) {
  innermost_trap = this;
}

XErrorTrap::~XErrorTrap() {
  SyncUnlessAnswered(display_);
  innermost_trap = outer_trap_;
  XSetErrorHandler(previous_handler_);
}

int XErrorTrap::SyncAndTakeError() {
  SyncUnlessAnswered(display_);
  const int error_code = first_error_code_;
  first_error_code_ = Success;
  return error_code;
}

int XErrorTrap::Handle(Display* display, XErrorEvent* error) {
  XErrorTrap* outermost = nullptr;
  for (XErrorTrap* trap = innermost_trap; trap != nullptr; trap = trap->outer_trap_) {
    if (trap->display_ == display) {
      if (trap->first_error_code_ == Success) {
        trap->first_error_code_ = error->error_code;
      }
      return 0;
    }
    outermost = trap;
  }
  // Another display's error: its owner's handler decides.
  if (outermost != nullptr && outermost->previous_handler_ != nullptr) {
    return outermost->previous_handler_(display, error);
  }
  return 0;
}

}  // namespace lumivanta
