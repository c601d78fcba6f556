#include "platform/x11/X11GlobalHotkeys.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QMetaObject>
#include <algorithm>

#include "base/Report.h"
#include "platform/x11/XcbKeyboard.h"

// After Qt's headers: Xlib's macros (None, Bool, Status) would clash with them.
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace lumivanta {
namespace {

constexpr std::uint8_t kBadAccess = 10;
// Shift, Lock, Control and Mod1 to Mod5; the pointer buttons' bits above them do not count.
constexpr std::uint16_t kKeyModifierBits = 0xff;

void Report(const std::string& failure) { ReportLine("global hotkeys", failure); }

std::string KeyName(char key) { return std::string("Ctrl+") + key; }

// Upper-case letters give their lower-case keysym, as the keyboard's
// unshifted column holds it; digits give their own.
XcbKeysym KeysymForKey(char key) {
  if (key >= 'A' && key <= 'Z') {
    return XK_a + static_cast<XcbKeysym>(key - 'A');
  }
  if (key >= '0' && key <= '9') {
    return XK_0 + static_cast<XcbKeysym>(key - '0');
  }
  return 0;
}

// Control alone and with each combination of the lock modifiers.
std::vector<std::uint16_t> ControlWithLocks(std::uint16_t num_lock_mask) {
  std::vector<std::uint16_t> variants;
  for (const std::uint16_t locks : {std::uint16_t{0}, std::uint16_t{XCB_MOD_MASK_LOCK}, num_lock_mask,
                                    static_cast<std::uint16_t>(num_lock_mask | XCB_MOD_MASK_LOCK)}) {
    const auto modifiers = static_cast<std::uint16_t>(XCB_MOD_MASK_CONTROL | locks);
    if (std::find(variants.begin(), variants.end(), modifiers) == variants.end()) {
      variants.push_back(modifiers);
    }
  }
  return variants;
}

xcb_window_t DefaultRoot(xcb_connection_t* connection, Display* display) {
  int screen_number = display != nullptr ? XDefaultScreen(display) : 0;
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
  for (; screens.rem > 0; xcb_screen_next(&screens)) {
    if (screen_number-- == 0) {
      return screens.data->root;
    }
  }
  return XCB_WINDOW_NONE;
}

}  // namespace

X11GlobalHotkeys::X11GlobalHotkeys() : application_(QCoreApplication::instance()) {
  auto* x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (x11 == nullptr || x11->connection() == nullptr) {
    Report("no X11 connection; hotkeys are not available");
    return;
  }
  connection_ = x11->connection();
  root_ = DefaultRoot(connection_, x11->display());
  if (root_ == XCB_WINDOW_NONE) {
    Report("no root window; hotkeys are not available");
    connection_ = nullptr;
    return;
  }
  qGuiApp->installNativeEventFilter(this);
}

X11GlobalHotkeys::~X11GlobalHotkeys() {
  if (!ConnectionAlive()) {
    // Closing the connection has released the grabs already.
    return;
  }
  application_->removeNativeEventFilter(this);
  for (const auto& [id, hotkey] : hotkeys_) {
    Ungrab(hotkey);
  }
}

bool X11GlobalHotkeys::ConnectionAlive() const { return connection_ != nullptr && !application_.isNull(); }

bool X11GlobalHotkeys::Register(int id, char key) {
  Unregister(id);
  if (!ConnectionAlive()) {
    return false;
  }
  const XcbKeysym keysym = KeysymForKey(key);
  const xcb_keycode_t keycode = keysym != 0 ? KeycodeForKeysym(connection_, keysym) : 0;
  if (keycode == 0) {
    Report(KeyName(key) + ": no such key on this keyboard");
    return false;
  }
  // A second grab of the same combination by this client would quietly
  // replace the first, and releasing one would release both.
  for (const auto& [other_id, other] : hotkeys_) {
    if (other.keycode == keycode) {
      Report(KeyName(key) + " is registered already");
      return false;
    }
  }

  Hotkey hotkey{key, keycode, {}};
  for (const std::uint16_t modifiers : ControlWithLocks(NumLockMask(connection_))) {
    const xcb_void_cookie_t cookie =
        xcb_grab_key_checked(connection_, 0, root_, modifiers, keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    const XcbReply<xcb_generic_error_t> error(xcb_request_check(connection_, cookie));
    if (error) {
      Ungrab(hotkey);
      Report(error->error_code == kBadAccess
                 ? KeyName(key) + " is held by another program"
                 : KeyName(key) + ": the grab failed with X error " + std::to_string(error->error_code));
      return false;
    }
    hotkey.grabbed_modifiers.push_back(modifiers);
  }
  hotkeys_[id] = std::move(hotkey);
  return true;
}

void X11GlobalHotkeys::Unregister(int id) {
  const auto found = hotkeys_.find(id);
  if (found == hotkeys_.end()) {
    return;
  }
  if (ConnectionAlive()) {
    Ungrab(found->second);
  }
  hotkeys_.erase(found);
}

void X11GlobalHotkeys::Ungrab(const Hotkey& hotkey) {
  for (const std::uint16_t modifiers : hotkey.grabbed_modifiers) {
    xcb_ungrab_key(connection_, hotkey.keycode, root_, modifiers);
  }
  xcb_flush(connection_);
}

bool X11GlobalHotkeys::nativeEventFilter(const QByteArray& event_type, void* message, qintptr*) {
  if (event_type != "xcb_generic_event_t" || message == nullptr) {
    return false;
  }
  const auto* event = static_cast<const xcb_generic_event_t*>(message);
  // The high bit marks an event that a client sent (SendEvent), not a key
  // the user pressed: such events must not publish the screen.
  if (event->response_type != XCB_KEY_PRESS) {
    return false;
  }
  const auto* press = static_cast<const xcb_key_press_event_t*>(message);
  if (press->event != root_) {
    return false;
  }
  const auto modifiers = static_cast<std::uint16_t>(press->state & kKeyModifierBits);
  for (const auto& [id, hotkey] : hotkeys_) {
    const auto& grabbed = hotkey.grabbed_modifiers;
    if (hotkey.keycode == press->detail && std::find(grabbed.begin(), grabbed.end(), modifiers) != grabbed.end()) {
      QMetaObject::invokeMethod(
          &delivery_context_, [this, id = id] { Deliver(id); }, Qt::QueuedConnection);
      return true;
    }
  }
  return false;
}

}  // namespace lumivanta
