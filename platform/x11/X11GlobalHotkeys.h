#pragma once

// System-wide hotkeys on X11: passive grabs of Control plus a key on the root
// window, made through the application's own xcb connection; the presses are
// picked out of Qt's native event stream.

#include <xcb/xcb.h>

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QObject>
#include <QPointer>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/GlobalHotkeys.h"

namespace lumivanta {

class X11GlobalHotkeys : public GlobalHotkeys, private QAbstractNativeEventFilter {
 public:
  // Works through the running QGuiApplication's connection to the X server;
  // on any other Qt platform every Register fails.
  X11GlobalHotkeys();
  X11GlobalHotkeys(const X11GlobalHotkeys&) = delete;
  X11GlobalHotkeys& operator=(const X11GlobalHotkeys&) = delete;
  // Releases every grab still held.
  ~X11GlobalHotkeys() override;

  // Grabs Control plus key with every combination of Caps Lock and Num Lock,
  // so that the hotkey works whatever lock is on. False, and nothing grabbed,
  // when any of them is refused (another program holds it).
  bool Register(int id, char key) override;
  void Unregister(int id) override;

 private:
  struct Hotkey {
    char key = 0;
    xcb_keycode_t keycode = 0;
    std::vector<std::uint16_t> grabbed_modifiers;
  };

  bool nativeEventFilter(const QByteArray& event_type, void* message, qintptr* result) override;
  void Ungrab(const Hotkey& hotkey);
  bool ConnectionAlive() const;

  QPointer<QCoreApplication> application_;
  xcb_connection_t* connection_ = nullptr;
  xcb_window_t root_ = XCB_WINDOW_NONE;
  std::map<int, Hotkey> hotkeys_;
  // Presses are handed to the handler from the event loop, not from inside
  // Qt's processing of the X events; pending ones go with this object.
  QObject delivery_context_;
};

}  // namespace lumivanta
