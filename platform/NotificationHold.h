#pragma once

// Holding back the desktop's notification pop-ups while the screen is on
// the web, so that private messages stay out of the pictures. The desktop
// keeps what arrives meanwhile and shows it once the hold is released.

namespace lumivanta {

class NotificationHold {
 public:
  enum class Result {
    kTaken,        // held back from now on: pop-ups shown so far may be leaving the screen
    kAlreadyHeld,  // held back already, by this hold or by the user
    kUnavailable,  // this desktop offers no way to hold them back
  };

  virtual ~NotificationHold() = default;

  // Holds the pop-ups back until Release.
  virtual Result Hold() = 0;
  // Lets them show again, as they were before Hold; nothing when not held.
  virtual void Release() = 0;
};

}  // namespace lumivanta
