#pragma once

// Desktop notifications through org.freedesktop.Notifications on the D-Bus
// session bus, which every Linux desktop's notification server offers.

#include "app/DesktopNotifier.h"

namespace lumivanta {

class FreedesktopNotifications final : public DesktopNotifier {
 public:
  // Sends the message without waiting for the answer; nothing happens
  // without a session bus or a server on it.
  void Notify(std::string_view summary, std::string_view body) override;
};

}  // namespace lumivanta
