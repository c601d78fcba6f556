#pragma once

// The program's presence on the desktop beside its main window: a tray icon
// that looks different while the screen is on air and while uploads fail,
// says in its tooltip what is going on, offers the commands and the viewer
// link in its menu and shows or hides the main window when clicked; and
// notifications for the first failed upload of a run of failures, for the
// recovery, and for a slideshow that has run for an hour. Where the desktop
// has no tray the icon simply does not appear.

#include <QIcon>
#include <QObject>
#include <QSystemTrayIcon>
#include <chrono>
#include <memory>
#include <string_view>

#include "app/desktop/DesktopNotifier.h"
#include "app/desktop/TrayStatus.h"
#include "app/run/RunListener.h"

class QMenu;
class QTimer;

namespace lumivanta {

class PublishingRun;
struct Command;

class DesktopPresence : public QObject, public RunListener {
  Q_OBJECT

 public:
  static constexpr std::chrono::milliseconds kStillOnAirAfter = std::chrono::hours(1);

  // Listens to the run from now on; the run and the notifier must outlive
  // this object.
  DesktopPresence(PublishingRun& run, DesktopNotifier& notifier,
                  std::chrono::milliseconds still_on_air_after = kStillOnAirAfter);
  DesktopPresence(const DesktopPresence&) = delete;
  DesktopPresence& operator=(const DesktopPresence&) = delete;
  ~DesktopPresence() override;

  void OnSlideshowStarted() override;
  void OnSlideshowStopped() override;
  void OnPictureHandedOver(bool single) override;
  void OnUploadSent() override;
  void OnUploadFailed(std::string_view failure_line, bool first_of_a_run) override;
  void OnUploadsWorkAgain() override;

 private:
  // The icon's look: a grey monitor, a red sign while on air, an amber
  // warning while uploads fail.
  enum class Look { kIdle, kOnAir, kFailing };

  // Puts the icon's look and tooltip in line with the status.
  void Update();
  void OnActivated(QSystemTrayIcon::ActivationReason reason);
  // "Copy viewer link" and "Open viewer in browser", as in the information dialog.
  void AddViewerLinkEntries();
  void RunTrayCommand(const Command& command);
  void Notify(NoticeKind kind, unsigned summary_id, std::string_view body);

  PublishingRun& run_;
  DesktopNotifier& notifier_;
  TrayStatus status_;
  QIcon idle_icon_;
  QIcon on_air_icon_;
  QIcon failing_icon_;
  Look look_ = Look::kIdle;
  QSystemTrayIcon* tray_ = nullptr;
  std::unique_ptr<QMenu> menu_;
  // Keeps the age in the tooltip current.
  QTimer* refresh_timer_ = nullptr;
  // Ends a single picture's time on air.
  QTimer* single_picture_timer_ = nullptr;
  // The reminder of a slideshow that has run for a long time, once per slideshow.
  QTimer* still_on_air_timer_ = nullptr;
};

}  // namespace lumivanta
