#pragma once

// Another X client that tries key grabs on the root window, to hold a key
// before the code under test asks for it, or to see whether it let go.

#include <xcb/xcb.h>

#include <X11/keysym.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/x11/XcbKeyboard.h"

namespace lumivanta::test {

inline constexpr std::chrono::seconds kGrabReleaseTimeout{20};

class KeyGrabProbe {
 public:
  explicit KeyGrabProbe(const std::string& display_name) : connection_(xcb_connect(display_name.c_str(), nullptr)) {
    if (xcb_connection_has_error(connection_.get()) != 0) {
      throw std::runtime_error("cannot connect to " + display_name);
    }
    root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_.get())).data->root;
  }

  xcb_keycode_t Keycode(XcbKeysym keysym) const { return KeycodeForKeysym(connection_.get(), keysym); }

  std::uint16_t NumLockModifier() const { return NumLockMask(connection_.get()); }

  // Control with each combination of Caps Lock and Num Lock.
  std::vector<std::uint16_t> ControlWithLocks() const {
    const std::uint16_t num_lock = NumLockModifier();
    return {XCB_MOD_MASK_CONTROL, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_LOCK,
            static_cast<std::uint16_t>(XCB_MOD_MASK_CONTROL | num_lock),
            static_cast<std::uint16_t>(XCB_MOD_MASK_CONTROL | num_lock | XCB_MOD_MASK_LOCK)};
  }

  // True when the server granted the grab.
  bool Grab(xcb_keycode_t keycode, std::uint16_t modifiers) const {
    const XcbReply<xcb_generic_error_t> error(
        xcb_request_check(connection_.get(), xcb_grab_key_checked(connection_.get(), 0, root_, modifiers, keycode,
                                                                  XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)));
    return !error;
  }

  void Ungrab(xcb_keycode_t keycode, std::uint16_t modifiers) const {
    xcb_request_check(connection_.get(), xcb_ungrab_key_checked(connection_.get(), keycode, root_, modifiers));
  }

  // Whether this client can have the key with every lock combination; what it
  // gets is given back at once.
  bool CanGrabAllLockVariants(xcb_keycode_t keycode) const {
    bool all = true;
    for (const std::uint16_t modifiers : ControlWithLocks()) {
      if (Grab(keycode, modifiers)) {
        Ungrab(keycode, modifiers);
      } else {
        all = false;
      }
    }
    return all;
  }

  // The same, asked again until true or the deadline: another client's
  // release reaches the server in its own time.
  bool AwaitAllLockVariantsFree(xcb_keycode_t keycode) const {
    const auto deadline = std::chrono::steady_clock::now() + kGrabReleaseTimeout;
    while (!CanGrabAllLockVariants(keycode)) {
      if (std::chrono::steady_clock::now() > deadline) {
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
  }

  // None of the lock variants can be had.
  bool NoLockVariantFree(xcb_keycode_t keycode) const {
    for (const std::uint16_t modifiers : ControlWithLocks()) {
      if (Grab(keycode, modifiers)) {
        Ungrab(keycode, modifiers);
        return false;
      }
    }
    return true;
  }

 private:
  struct Disconnect {
    void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
  };

  std::unique_ptr<xcb_connection_t, Disconnect> connection_;
  xcb_window_t root_ = XCB_WINDOW_NONE;
};

}  // namespace lumivanta::test
