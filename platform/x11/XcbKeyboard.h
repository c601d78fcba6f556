#pragma once

// What a key grab needs to know of the keyboard, asked over an xcb connection.

#include <xcb/xcb.h>

#include <cstdint>

#include "platform/x11/XcbReply.h"

namespace lumivanta {

using XcbKeysym = std::uint32_t;

// The first keycode that produces the keysym (0 when none does), searched as
// Xlib does: the unshifted column of every key first, then the next column.
xcb_keycode_t KeycodeForKeysym(xcb_connection_t* connection, XcbKeysym keysym);

// The modifier bit that Num Lock sets (Mod2 on most servers); 0 when no
// modifier carries the Num Lock key.
std::uint16_t NumLockMask(xcb_connection_t* connection);

}  // namespace lumivanta
