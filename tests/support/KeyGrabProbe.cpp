#include "tests/support/KeyGrabProbe.h"

#include <stdexcept>
#include <thread>

namespace lumivanta::test {

KeyGrabProbe::KeyGrabProbe(const std::string& display_name) : connection_(xcb_connect(display_name.c_str(), nullptr)) {
  if (xcb_connection_has_error(connection_.get()) != 0) {
    throw std::runtime_error("cannot connect to " + display_name);
  }
  root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_.get())).data->root;
}

std::vector<std::uint16_t> KeyGrabProbe::ControlWithLocks() const {
  const std::uint16_t num_lock = NumLockModifier();
  return {XCB_MOD_MASK_CONTROL, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_LOCK,
          static_cast<std::uint16_t>(XCB_MOD_MASK_CONTROL | num_lock),
          static_cast<std::uint16_t>(XCB_MOD_MASK_CONTROL | num_lock | XCB_MOD_MASK_LOCK)};
}

bool KeyGrabProbe::Grab(xcb_keycode_t keycode, std::uint16_t modifiers) const {
  const XcbReply<xcb_generic_error_t> error(xcb_request_check(
      connection_.get(),
      xcb_grab_key_checked(connection_.get(), 0, root_, modifiers, keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)));
  return !error;
}

void KeyGrabProbe::Ungrab(xcb_keycode_t keycode, std::uint16_t modifiers) const {
  xcb_request_check(connection_.get(), xcb_ungrab_key_checked(connection_.get(), keycode, root_, modifiers));
}

bool KeyGrabProbe::CanGrabAllLockVariants(xcb_keycode_t keycode) const {
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

bool KeyGrabProbe::AwaitAllLockVariantsFree(xcb_keycode_t keycode) const {
  const auto deadline = std::chrono::steady_clock::now() + kGrabReleaseTimeout;
  while (!CanGrabAllLockVariants(keycode)) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

bool KeyGrabProbe::NoLockVariantFree(xcb_keycode_t keycode) const {
  for (const std::uint16_t modifiers : ControlWithLocks()) {
    if (Grab(keycode, modifiers)) {
      Ungrab(keycode, modifiers);
      return false;
    }
  }
  return true;
}

}  // namespace lumivanta::test
