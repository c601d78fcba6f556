#pragma once

// The state and the rules of one run of the program: the settings, the
// publisher, the hotkeys and the mode flags, and every command's answer. No
// widgets: the window's part of the work goes through RunWindow, the
// desktop's through the platform services given to the constructor.

#include <cstdint>
#include <memory>

#include "app/CommandTable.h"
#include "app/RunWindow.h"
#include "platform/GlobalHotkeys.h"
#include "platform/ScreenSource.h"
#include "publish/Publisher.h"
#include "settings/Settings.h"

namespace lumivanta {

// The interval the slideshow timer runs at for a refresh rate: as the system
// timer takes it, at least 10 ms, and a negative rate read as a very long one.
int SlideshowIntervalForRate(std::int32_t refresh_rate_ms);

class PublishingRun {
 public:
  static constexpr int kCapturePauseMs = 100;

  // screen may be null where the desktop offers no capture: every capture
  // then reaches the publisher without pixels.
  PublishingRun(RunWindow& window, GlobalHotkeys& hotkeys, ScreenSource* screen);
  PublishingRun(const PublishingRun&) = delete;
  PublishingRun& operator=(const PublishingRun&) = delete;
  // Releases the hotkeys where EndRun did not.
  ~PublishingRun();

  // The hotkeys of the command table, registered with the platform once; a
  // key that another program holds is simply absent.
  void RegisterHotkeys();
  // Whether RegisterHotkeys has run, also after the hotkeys were released at the end.
  bool HotkeysRegistered() const { return hotkeys_registered_; }

  // Once the window exists: the settings from the configuration file and the
  // connection test, or the first-run wizard; then the single-picture mode.
  void StartUp();
  // The end of the run: hotkeys released, settings saved, the delete request
  // sent, the publisher destroyed (it ends a running upload and waits for
  // its worker).
  void EndRun();

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

  void CaptureScreen(bool quiet);
  void ShowInformation(unsigned string_id);
  void RunSettingsSequence();
  void RunFirstRunWizard();

  CommandMarks Marks() const;
  CSettings& Settings() { return settings_; }
  const CSettings& Settings() const { return settings_; }
  CPublisher& Publisher() { return *publisher_; }
  bool IsSinglePictureMode() const { return single_picture_mode_; }
  bool IsSlideshowRunning() const { return window_.IsSlideshowTimerRunning(); }
  bool ShowsMouseCursor() const { return show_mouse_cursor_; }
  bool IsDialogOpen() const { return dialog_open_; }

 private:
  void ReleaseHotkeys();
  void StartSlideshowTimer();

  RunWindow& window_;
  GlobalHotkeys& hotkeys_;
  ScreenSource* screen_;
  CSettings settings_;
  std::unique_ptr<CPublisher> publisher_;
  bool hotkeys_registered_ = false;
  bool hotkeys_held_ = false;
  bool single_picture_mode_ = true;
  bool show_mouse_cursor_ = false;
  // Set while the information dialog or the settings sequence is open: hotkeys
  // are dropped and captures do nothing.
  bool dialog_open_ = false;
};

}  // namespace lumivanta
