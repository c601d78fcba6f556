#pragma once

// The notification hold through whatever the desktop's notification server
// offers: dunst's pause (its property "paused" over D-Bus), the Inhibit and
// UnInhibit calls of org.freedesktop.Notifications (KDE Plasma), mako's
// do-not-disturb mode (makoctl), GNOME's show-banners setting (gsettings).
//
// A hold that would outlive the program (dunst's pause, mako's mode, GNOME's
// setting) is written down in the state file "notification-hold" until it is
// released, so that the next start after a crash releases it. An inhibition
// needs no note: the notification server ends it with the program's bus
// connection.

#include <cstdint>
#include <filesystem>
#include <optional>

#include "platform/NotificationHold.h"

namespace lumivanta {

class DesktopNotificationHold final : public NotificationHold {
 public:
  // The ways, as the state file names them.
  enum class Way { kDunstPause, kInhibit, kMakoMode, kGnomeBanners };

  // record: where a hold is written down until released.
  explicit DesktopNotificationHold(std::filesystem::path record);
  DesktopNotificationHold();
  DesktopNotificationHold(const DesktopNotificationHold&) = delete;
  DesktopNotificationHold& operator=(const DesktopNotificationHold&) = delete;
  // Releases a hold still taken.
  ~DesktopNotificationHold() override;

  // Releases what a run that ended without releasing left held back, unless
  // that run still goes on (a Lumivanta process with its PID).
  void ReleaseLeftover();

  Result Hold() override;
  void Release() override;

 private:
  bool Note(Way way) const;
  void EraseNote() const;

  std::filesystem::path record_;
  bool holding_ = false;
  // What this hold changed and must undo; nothing when the pop-ups were held back already.
  std::optional<Way> changed_;
  std::uint32_t inhibition_ = 0;
};

}  // namespace lumivanta
