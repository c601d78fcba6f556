#include "app/desktop/DesktopPresence.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeySequence>
#include <QMenu>
#include <QTimer>
#include <string>

#include "app/run/CommandTable.h"
#include "app/run/PublishingRun.h"
#include "dialogs/QtText.h"
#include "dialogs/ViewerLink.h"
#include "res/Artwork.h"
#include "settings/ViewerAddress.h"
#include "strings/StringTable.h"

namespace lumivanta {
namespace {

constexpr std::chrono::milliseconds kRefreshInterval = std::chrono::seconds(1);
// How late the tooltip's refresh comes after its time. A slideshow's picture
// handed over within twice this of the refresh brings it along, so that a
// slideshow of a second or less never wakes the program for the tooltip.
constexpr std::chrono::milliseconds kRefreshLeeway(100);

// One of the tray icon's looks, "idle" or "on-air", in every size drawn.
QIcon TrayLook(const std::string& look) {
  QIcon icon;
  for (const int size : {16, 32, 64}) {
    icon.addFile(ArtworkPath(("tray-" + look + "-" + std::to_string(size) + ".png").c_str()));
  }
  return icon;
}

// A tray that speaks StatusNotifierItem is there or not; on X11 Qt also
// embeds the icon in an XEmbed tray that appears later. Elsewhere (Wayland
// without such a tray) Qt's X11 fallback would only complain.
bool TrayCanAppear() {
  return QSystemTrayIcon::isSystemTrayAvailable() || QGuiApplication::platformName() == QLatin1String("xcb");
}

// A menu entry: what the information dialog says of the hotkey.
QString TrayMenuText(const Command& command) {
  return command.hotkey_id == 0 ? FromText(command.menu_text) : FromText(Text(command.hotkey_text_id));
}

}  // namespace

DesktopPresence::DesktopPresence(PublishingRun& run, DesktopNotifier& notifier,
                                 std::chrono::milliseconds still_on_air_after)
    : run_(run),
      notifier_(notifier),
      idle_icon_(TrayLook("idle")),
      on_air_icon_(TrayLook("on-air")),
      failing_icon_(TrayLook("failing")),
      tray_(new QSystemTrayIcon(this)),
      menu_(std::make_unique<QMenu>()),
      refresh_timer_(new QTimer(this)),
      single_picture_timer_(new QTimer(this)),
      still_on_air_timer_(new QTimer(this)) {
  for (const Command* command : TrayMenuCommands()) {
    if (command->id == ids::kCommandExit) {
      menu_->addSeparator();
      AddViewerLinkEntries();
      menu_->addSeparator();
    }
    QAction* action = menu_->addAction(TrayMenuText(*command));
    if (command->hotkey_id != 0) {
      // Shown beside the entry (also in a tray that draws the menu itself);
      // the system-wide hotkey serves the key, not the menu.
      action->setShortcut(QKeySequence(QStringLiteral("Ctrl+") + QChar(HotkeyKey(*command))));
      action->setShortcutContext(Qt::WidgetShortcut);
    }
    action->setObjectName(QStringLiteral("tray-") +
                          (command->remote_name.empty() ? QStringLiteral("exit") : FromText(command->remote_name)));
    connect(action, &QAction::triggered, this, [this, command] { RunTrayCommand(*command); });
  }
  tray_->setContextMenu(menu_.get());
  connect(tray_, &QSystemTrayIcon::activated, this, &DesktopPresence::OnActivated);

  refresh_timer_->setSingleShot(true);
  refresh_timer_->setTimerType(Qt::PreciseTimer);
  connect(refresh_timer_, &QTimer::timeout, this, [this] {
    run_.DeliverWaitingOutcomes();
    Update();
  });
  single_picture_timer_->setSingleShot(true);
  connect(single_picture_timer_, &QTimer::timeout, this, &DesktopPresence::Update);
  still_on_air_timer_->setSingleShot(true);
  still_on_air_timer_->setInterval(still_on_air_after);
  connect(still_on_air_timer_, &QTimer::timeout, this,
          [this] { Notify(NoticeKind::kStillOnAir, ids::kNoticeStillOnAirSummary, Text(ids::kNoticeStillOnAirBody)); });

  tray_->setIcon(idle_icon_);
  Update();
  if (TrayCanAppear()) {
    tray_->show();
  }
  run_.SetListener(this);
}

DesktopPresence::~DesktopPresence() { run_.SetListener(nullptr); }

void DesktopPresence::OnSlideshowStarted() {
  status_.SlideshowStarted();
  still_on_air_timer_->start();
  Update();
}

void DesktopPresence::OnSlideshowStopped() {
  status_.SlideshowStopped();
  still_on_air_timer_->stop();
  // A reminder that the notification hold kept back would come too late now.
  notifier_.Withdraw(NoticeKind::kStillOnAir);
  Update();
}

void DesktopPresence::OnPictureHandedOver(bool single) {
  // A slideshow's picture changes nothing that the icon shows; a refresh of
  // the tooltip that is nearly due goes now, while the program is awake.
  if (!single) {
    if (refresh_timer_->isActive() && refresh_timer_->remainingTimeAsDuration() <= 2 * kRefreshLeeway) {
      run_.DeliverWaitingOutcomes();
      Update();
    }
    return;
  }
  const auto now = TrayStatus::Clock::now();
  status_.PictureHandedOver(single, now);
  if (const auto until = status_.SinglePictureOnAirUntil(now)) {
    // A little late rather than early, so that the status has ended its time by then.
    single_picture_timer_->start(std::chrono::ceil<std::chrono::milliseconds>(*until - now) +
                                 std::chrono::milliseconds(1));
  }
  Update();
}

void DesktopPresence::OnUploadSent() {
  // The look stays; the tooltip's counts follow with its refresh, within a
  // second, rather than with a slideshow's every picture.
  status_.UploadSent(TrayStatus::Clock::now());
  if (!refresh_timer_->isActive()) {
    refresh_timer_->start(kRefreshInterval);
  }
}

void DesktopPresence::OnUploadFailed(std::string_view failure_line, bool first_of_a_run) {
  status_.UploadFailed();
  if (first_of_a_run) {
    Notify(NoticeKind::kUploads, ids::kNoticeUploadsFailSummary, failure_line);
  }
  Update();
}

void DesktopPresence::OnUploadsWorkAgain() {
  status_.UploadsWorkAgain();
  Notify(NoticeKind::kUploads, ids::kNoticeUploadsWorkSummary, Text(ids::kUploadsWorkAgain));
  Update();
}

void DesktopPresence::OnViewersCounted(std::uint32_t viewers) {
  // Most uploads bring the count they brought before: nothing to show anew.
  if (status_.Viewers() == viewers) {
    return;
  }
  status_.ViewersCounted(viewers);
  Update();
}

void DesktopPresence::Update() {
  const auto now = TrayStatus::Clock::now();
  const Look look = status_.UploadsFail() ? Look::kFailing : status_.IsOnAir(now) ? Look::kOnAir : Look::kIdle;
  if (look != look_) {
    look_ = look;
    tray_->setIcon(look == Look::kFailing ? failing_icon_ : look == Look::kOnAir ? on_air_icon_ : idle_icon_);
  }
  const QString tip = FromText(status_.ToolTip(run_.Settings().contact_name, now));
  if (tip != tray_->toolTip()) {
    tray_->setToolTip(tip);
  }
  // The next refresh when time changes the tooltip, a little late rather
  // than early; an idle program with nothing to say anew is not woken.
  if (const auto unchanged = status_.UnchangedFor(now)) {
    refresh_timer_->start(std::chrono::ceil<std::chrono::milliseconds>(*unchanged) + kRefreshLeeway);
  } else {
    refresh_timer_->stop();
  }
}

void DesktopPresence::AddViewerLinkEntries() {
  // The link of the settings as they are when the entry is chosen.
  const auto viewer_link = [this] {
    const CSettings& settings = run_.Settings();
    return ViewerLink(settings.viewer_address, settings.contact_name);
  };
  QAction* copy = menu_->addAction(kCopyViewerLinkText);
  copy->setObjectName("tray-copy-viewer-link");
  connect(copy, &QAction::triggered, this, [viewer_link] { CopyViewerLink(viewer_link()); });
  QAction* open = menu_->addAction(kOpenViewerText);
  open->setObjectName("tray-open-viewer");
  connect(open, &QAction::triggered, this, [viewer_link] { OpenViewerLink(viewer_link()); });
}

void DesktopPresence::OnActivated(QSystemTrayIcon::ActivationReason reason) {
  // A click does what Ctrl+R does; the menu has its own button. The second
  // click of a double click is left alone, so that a double click restores.
  if (reason == QSystemTrayIcon::Trigger) {
    if (const Command* show = CommandForRemoteName("show"); show != nullptr) {
      run_.OnHotKey(show->hotkey_id);
    }
  }
}

void DesktopPresence::RunTrayCommand(const Command& command) {
  if (command.id == ids::kCommandExit) {
    // As the window's Exit, also while the window is hidden or a dialog is open.
    QCoreApplication::quit();
    return;
  }
  run_.OnTrayCommand(command);
}

void DesktopPresence::Notify(NoticeKind kind, unsigned summary_id, std::string_view body) {
  if (run_.NotificationsOn()) {
    notifier_.Notify(kind, Text(summary_id), body);
  }
}

}  // namespace lumivanta
