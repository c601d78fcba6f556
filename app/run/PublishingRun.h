#pragma once

// The state and the rules of one run of the program: the settings, the
// publisher, the hotkeys and the mode flags, and every command's answer. No
// widgets: the window's part of the work goes through RunWindow, the
// desktop's through the platform services given to the constructor.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "app/run/CommandTable.h"
#include "app/run/QuietOutcomes.h"
#include "app/run/RunListener.h"
#include "app/run/RunWindow.h"
#include "app/run/ScreenChanges.h"
#include "platform/GlobalHotkeys.h"
#include "platform/NotificationHold.h"
#include "platform/ScreenSource.h"
#include "publish/ActivityLog.h"
#include "publish/Audience.h"
#include "publish/Publisher.h"
#include "publish/UploadOutcome.h"
#include "settings/Preferences.h"
#include "settings/Settings.h"
#include "web/CancelToken.h"

namespace lumivanta {

// The interval the slideshow timer runs at for a refresh rate: as the system
// timer takes it, at least 10 ms, and a negative rate read as a very long one.
int SlideshowIntervalForRate(std::int32_t refresh_rate_ms);

class PublishingRun {
 public:
  static constexpr int kCapturePauseMs = 100;

  // screen may be null where the desktop offers no capture: every capture
  // then publishes nothing and says so, as a failed grab does.
  PublishingRun(RunWindow& window, GlobalHotkeys& hotkeys, ScreenSource* screen);
  PublishingRun(const PublishingRun&) = delete;
  PublishingRun& operator=(const PublishingRun&) = delete;
  // Releases the hotkeys where EndRun did not.
  ~PublishingRun();

  // The hotkeys of the command table, registered with the platform once
  // (unless the preferences turned them off); a key that another program
  // holds is simply absent, and named in the log at start-up.
  void RegisterHotkeys();
  // Whether RegisterHotkeys has run, also after the hotkeys were released at the end.
  bool HotkeysRegistered() const { return hotkeys_registered_; }

  // Once the window exists: the settings from the configuration file, or the
  // first-run wizard; the hotkeys that other programs hold named in the log;
  // then the single-picture mode. The connection test after a loaded file
  // runs off the user-interface thread; its line follows when it ends.
  void StartUp();
  // The end of the run: a pending connection test cancelled, hotkeys
  // released, settings saved, the delete request sent, the publisher
  // destroyed (it ends a running upload and waits for its worker).
  void EndRun();

  // Runs an operation of the command table unless another command is still
  // running or the run waits for the server.
  void RunCommand(Operation operation);
  // Why a hotkey pressed now would be dropped ("a dialog is open"), or empty
  // when it would run: a command from outside is answered by it before it runs.
  std::string_view WhyHotkeyIsDropped() const;

  // Commands (see the command table).
  void OnHotKey(int hotkey_id);
  void OnPublishScreen();
  void OnSlideshow();
  void OnTimer();
  void OnShowMouseCursor();
  void OnDeletePictures();
  void OnOptions();
  void OnShowMouseCursorHotkey();
  void OnDeletePicturesHotkey();
  void OnRestoreHotkey();
  // Turns all global hotkeys off or on, and keeps the choice in the preferences.
  void OnGlobalHotkeys();
  // Turns the notification hold off or on, also for a slideshow that runs,
  // and keeps the choice in the preferences.
  void OnNotificationHold();
  // A command from the tray icon's menu: the menu's answer, or the hotkey's
  // for a command that has no menu entry; dropped as a hotkey while a dialog
  // of the run is open. The marks follow.
  void OnTrayCommand(const Command& command);

  // Hears of slideshows, pictures and uploads from now on; null: nobody.
  // The listener must outlive the run or be taken away first.
  void SetListener(RunListener* listener) { listener_ = listener; }
  // Holds the desktop's notification pop-ups back while a slideshow runs and
  // for the moment of a single capture, unless the preferences turned that
  // off; null: nothing is held back. It must outlive the run.
  void SetNotificationHold(NotificationHold* hold) { notification_hold_ = hold; }

  void CaptureScreen(bool quiet);
  void ShowInformation(unsigned string_id);
  void RunSettingsSequence();
  void RunFirstRunWizard();
  // The gate of every publication: true at once while the connected flag is
  // set; otherwise the connection test, off the user-interface thread. Its
  // lines go to the log unless quietly.
  bool EnsureConnectionTested(bool quietly = false);

  CommandMarks Marks() const;
  CSettings& Settings() { return settings_; }
  const CSettings& Settings() const { return settings_; }
  bool IsSlideshowRunning() const { return window_.IsSlideshowTimerRunning(); }
  bool NotificationsOn() const { return preferences_.notifications; }
  // Hears the outcomes of uploads that waited for the run's next turn (the
  // tray's own refresh is one).
  void DeliverWaitingOutcomes();

 private:
  // Its tests wait for the publisher's worker.
  friend class PublishingRunProbe;

  using ServerRequest = std::function<bool(CSettings& settings, ActivityLog& log, CancelToken* cancel)>;

  using Handler = void (PublishingRun::*)();

  // The handler of an operation; null for none.
  static Handler HandlerFor(Operation operation);
  // Runs handler unless another command is still running or the run waits for the server.
  void RunExclusively(Handler handler);
  // Registers the table's hotkeys with the platform, noting those that another program holds.
  void GrabHotkeys();
  void ReleaseHotkeys();
  void LogHeldHotkeys();
  void CaptureQuietly();
  // Takes what the plan says of the screen into screen; true when the screen
  // is there, or nothing is to be taken (repeat).
  bool TakeScreen(const ScreenChanges::Plan& plan, ScreenImage& screen, bool& repeat);
  void StartSlideshowTimer();
  // Runs request on a copy of settings off the user-interface thread and
  // waits for it with the window responsive; the copy's connected flag goes
  // back into settings and what it logged into the log (unless quietly).
  // False also when the program ends meanwhile.
  bool AskServer(CSettings& settings, const ServerRequest& request, bool quietly = false);
  void TestConnectionAtStartUp();
  // An outcome handed on at once, after those of earlier jobs that waited.
  void HandOn(const UploadOutcome& outcome);
  void OnUploadOutcome(const UploadOutcome& outcome);
  void NoteViewers(std::uint32_t viewers);
  // Holds the notification pop-ups back where the preferences want it; true
  // when those shown so far are leaving the screen now. A desktop that
  // offers no way is named once, when said_if_unavailable.
  bool HoldNotifications(bool said_if_unavailable);
  void ReleaseNotifications();
  // Shows a failure in the information dialog, or once the open one is closed.
  void ShowFailure(std::string text);

  RunWindow& window_;
  RunListener* listener_ = nullptr;
  AudienceLog audience_log_;
  NotificationHold* notification_hold_ = nullptr;
  GlobalHotkeys& hotkeys_;
  ScreenSource* screen_;
  CSettings settings_;
  Preferences preferences_;
  // Before the publisher, whose worker uses it until its end.
  QuietOutcomes quiet_outcomes_;
  std::unique_ptr<CPublisher> publisher_;
  bool hotkeys_registered_ = false;
  bool hotkeys_held_ = false;
  bool single_picture_mode_ = true;
  bool show_mouse_cursor_ = false;
  // Set while the information dialog or the settings sequence is open: hotkeys
  // are dropped and captures do nothing.
  bool dialog_open_ = false;
  // While a request to the server made for a command or at start-up is
  // pending, commands and captures are refused: they are dropped, not queued.
  bool waiting_for_server_ = false;
  bool command_running_ = false;
  // Set while the first-run wizard runs: hotkeys are dropped from its first page on.
  bool wizard_open_ = false;
  // Runs of failed uploads and of pictures dropped while the last upload was
  // still running are each reported once.
  bool uploads_failing_ = false;
  // Set when a slideshow tick's connection test failed, until an upload
  // works: while it or uploads_failing_ is set, the ticks test the
  // connection without a line, so that a run of failures is said once.
  bool tick_tests_failing_ = false;
  // The job of the last single picture: its failure is shown in a dialog, a
  // slideshow's never.
  std::uint64_t last_single_job_ = 0;
  bool dropping_pictures_ = false;
  // Set while captures fail: a slideshow says so once per run of them.
  bool capture_failing_ = false;
  // What changed on the screen since the last screen went to the publisher.
  ScreenChanges screen_changes_;
  // A desktop that cannot show the pointer in the pictures, or hold its
  // notifications back, is named once per run.
  bool pointer_unavailable_said_ = false;
  bool hold_unavailable_said_ = false;
  std::vector<std::string> failures_to_show_;
  // Hotkeys that another program holds, named in the log at start-up.
  std::vector<const Command*> held_hotkeys_;
  // The connection test at start-up, and what ends it at the end of the run.
  std::thread start_up_test_;
  CancelToken start_up_test_cancel_;
};

}  // namespace lumivanta
