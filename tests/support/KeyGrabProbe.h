#pragma once

// Another X client that tries key grabs on the root window, to hold a key
// before the code under test asks for it, or to see whether it let go.

#include <xcb/xcb.h>

#include <X11/keysym.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/x11/XcbKeyboard.h"

namespace lumivanta::test {

inline constexpr std::chrono::seconds kGrabReleaseTimeout{20};

class KeyGrabProbe {
 public:
  explicit KeyGrabProbe(const std::string& display_name);

  xcb_keycode_t Keycode(XcbKeysym keysym) const { return KeycodeForKeysym(connection_.get(), keysym); }

  std::uint16_t NumLockModifier() const { return NumLockMask(connection_.get()); }

  // Control with each combination of Caps Lock and Num Lock.
  std::vector<std::uint16_t> ControlWithLocks() const;

  // True when the server granted the grab.
  bool Grab(xcb_keycode_t keycode, std::uint16_t modifiers) const;

  void Ungrab(xcb_keycode_t keycode, std::uint16_t modifiers) const;

  // Whether this client can have the key with every lock combination; what it
  // gets is given back at once.
  bool CanGrabAllLockVariants(xcb_keycode_t keycode) const;

  // The same, asked again until true or the deadline: another client's
  // release reaches the server in its own time.
  bool AwaitAllLockVariantsFree(xcb_keycode_t keycode) const;

  // None of the lock variants can be had.
  bool NoLockVariantFree(xcb_keycode_t keycode) const;

 private:
  struct Disconnect {
    void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
  };

  std::unique_ptr<xcb_connection_t, Disconnect> connection_;
  xcb_window_t root_ = XCB_WINDOW_NONE;
};

}  // namespace lumivanta::test
