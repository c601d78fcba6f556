#include "platform/x11/XcbKeyboard.h"

#include <X11/keysym.h>

#include <span>

namespace lumivanta {
namespace {

// The server's whole keysym table: keysyms_per_keycode entries per keycode,
// from the first keycode on.
class KeyboardMapping {
 public:
  explicit KeyboardMapping(xcb_connection_t* connection) {
    const xcb_setup_t* setup = xcb_get_setup(connection);
    first_keycode_ = setup->min_keycode;
    keycode_count_ = setup->max_keycode - setup->min_keycode + 1;
    reply_.reset(xcb_get_keyboard_mapping_reply(
        connection, xcb_get_keyboard_mapping(connection, setup->min_keycode, static_cast<std::uint8_t>(keycode_count_)),
        nullptr));
    if (reply_) {
      keysyms_per_keycode_ = reply_->keysyms_per_keycode;
      keysyms_ = {xcb_get_keyboard_mapping_keysyms(reply_.get()),
                  static_cast<std::size_t>(xcb_get_keyboard_mapping_keysyms_length(reply_.get()))};
    }
  }

  XcbKeysym At(int keycode, int column) const {
    const int key = keycode - first_keycode_;
    if (key < 0 || key >= keycode_count_ || column >= keysyms_per_keycode_) {
      return 0;
    }
    const auto index = static_cast<std::size_t>(key * keysyms_per_keycode_ + column);
    return index < keysyms_.size() ? keysyms_[index] : 0;
  }

  int FirstKeycode() const { return first_keycode_; }
  int KeycodeCount() const { return keycode_count_; }
  int KeysymsPerKeycode() const { return keysyms_per_keycode_; }

 private:
  XcbReply<xcb_get_keyboard_mapping_reply_t> reply_;
  std::span<const xcb_keysym_t> keysyms_;
  int first_keycode_ = 0;
  int keycode_count_ = 0;
  int keysyms_per_keycode_ = 0;
};

}  // namespace

xcb_keycode_t KeycodeForKeysym(xcb_connection_t* connection, XcbKeysym keysym) {
  const KeyboardMapping mapping(connection);
  for (int column = 0; column < mapping.KeysymsPerKeycode(); ++column) {
    for (int keycode = mapping.FirstKeycode(); keycode < mapping.FirstKeycode() + mapping.KeycodeCount(); ++keycode) {
      if (mapping.At(keycode, column) == keysym) {
        return static_cast<xcb_keycode_t>(keycode);
      }
    }
  }
  return 0;
}

std::uint16_t NumLockMask(xcb_connection_t* connection) {
  const XcbReply<xcb_get_modifier_mapping_reply_t> modifiers(
      xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), nullptr));
  if (!modifiers || modifiers->keycodes_per_modifier == 0) {
    return 0;
  }
  const KeyboardMapping mapping(connection);
  // Eight rows (Shift, Lock, Control, Mod1 to Mod5) of keycodes_per_modifier keycodes each.
  const xcb_keycode_t* keycodes = xcb_get_modifier_mapping_keycodes(modifiers.get());
  const int keycode_count = xcb_get_modifier_mapping_keycodes_length(modifiers.get());
  for (int index = 0; index < keycode_count; ++index) {
    for (int column = 0; keycodes[index] != 0 && column < mapping.KeysymsPerKeycode(); ++column) {
      if (mapping.At(keycodes[index], column) == XK_Num_Lock) {
        return static_cast<std::uint16_t>(1U << (index / modifiers->keycodes_per_modifier));
      }
    }
  }
  return 0;
}

}  // namespace lumivanta
