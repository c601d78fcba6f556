#pragma once

// Desktop notifications through org.freedesktop.Notifications on the D-Bus
// session bus, which every Linux desktop's notification server offers.

#include <QObject>
#include <array>
#include <cstdint>

#include "app/desktop/DesktopNotifier.h"

namespace lumivanta {

class FreedesktopNotifications final : public DesktopNotifier {
 public:
  // Sends the message without waiting for the answer; nothing happens
  // without a session bus or a server on it. The server's number for it,
  // once it answers, lets the next message of its kind replace it.
  void Notify(NoticeKind kind, std::string_view summary, std::string_view body) override;
  void Withdraw(NoticeKind kind) override;

 private:
  // Receives the server's answers; those still on their way when the object goes are dropped.
  QObject context_;
  // The server's number of the last message of each kind; 0 for none.
  std::array<std::uint32_t, 2> shown_{};
};

}  // namespace lumivanta
