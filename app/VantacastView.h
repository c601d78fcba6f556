#pragma once

// The main view: the activity log that fills the main window, and the owner of
// the run's state (settings, publisher, hotkeys, slideshow timer, mode flags)
// with every command handler.

#include <QPlainTextEdit>
#include <array>
#include <ctime>
#include <functional>
#include <memory>
#include <string_view>

#include "platform/GlobalHotkeys.h"
#include "platform/ScreenSource.h"
#include "publish/Publisher.h"
#include "publish/ServerProtocol.h"
#include "settings/Settings.h"

class QAction;
class QTimer;

namespace lumivanta {

class CvantacastView : public QPlainTextEdit, public IActivityLog {
  Q_OBJECT

 public:
  static constexpr int kHotkeyCount = 6;
  static constexpr int kControlModifier = 2;
  static constexpr int kSlideshowTimerEventId = 1;
  static constexpr int kCapturePauseMs = 100;

  // The menu and toolbar marks of the three check-style commands.
  struct CommandMarks {
    QAction* publish = nullptr;
    QAction* slideshow = nullptr;
    QAction* show_mouse_cursor = nullptr;
  };

  CvantacastView(GlobalHotkeys& hotkeys, ScreenSource* screen, QWidget* parent = nullptr);
  // The end of the run: hotkeys released, settings saved, the delete request
  // sent, the publisher destroyed (it waits for its worker).
  ~CvantacastView() override;

  void SetCommandMarks(const CommandMarks& marks) { marks_ = marks; }

  // Activity log.
  void AddLogLine(std::string_view text, bool with_time_stamp);
  void LogMessage(unsigned string_id, bool with_time_stamp) override;
  void ShowInformation(unsigned string_id);

  // Start-up, once the window exists: settings, connection test or first-run wizard, marks.
  void StartUp();

  // Commands.
  void OnHotKey(int hotkey_id);
  void OnPublishScreen();
  void OnSlideshow();
  void OnTimer();
  void OnShowMouseCursor();
  void OnDeletePictures();
  void OnOptions();
  void CaptureScreen(bool quiet);
  void ClearScreenForCapture();
  void RunSettingsSequence();
  void RunFirstRunWizard();
  // Sets the menu and toolbar marks from the state (after a command, as Qt
  // toggles a check-style action by itself when it is triggered).
  void RefreshMarks();

  // The run's state, for the frame and for tests.
  CSettings& Settings() { return settings_; }
  const CSettings& Settings() const { return settings_; }
  CPublisher& Publisher() { return *publisher_; }
  const std::string& LogText() const { return log_text_; }
  bool IsSinglePictureMode() const { return single_picture_mode_; }
  int SlideshowTimerId() const { return slideshow_timer_id_; }
  int SlideshowIntervalMs() const;
  std::uint32_t ShowCursorFlag() const { return show_cursor_; }
  bool IsDialogOpen() const { return dialog_open_; }
  const std::array<std::uint32_t, kHotkeyCount>& HotkeyIds() const { return hotkey_ids_; }

  // Replaces the clock of the log's time stamps (tests).
  void SetClock(std::function<std::time_t()> clock) { clock_ = std::move(clock); }

 private:
  void RegisterHotkeys();
  void ReleaseHotkeys();
  void SetPublishingMarks(bool single);
  void StartSlideshowTimer();
  void StopSlideshowTimer();
  bool EnsureConnection();
  QWidget* DialogParent();

  std::array<std::uint32_t, kHotkeyCount> hotkey_ids_{};
  int hotkey_modifier_ = 0;
  int slideshow_timer_id_ = 0;
  bool single_picture_mode_ = true;
  std::uint32_t show_cursor_ = 0;
  std::unique_ptr<CPublisher> publisher_;
  bool dialog_open_ = false;
  CSettings settings_;

  GlobalHotkeys& hotkeys_;
  ScreenSource* screen_;
  QTimer* slideshow_timer_ = nullptr;
  CommandMarks marks_;
  std::string log_text_;
  std::function<std::time_t()> clock_;
};

// The interval the slideshow timer runs at for a refresh rate: as the system
// timer takes it, at least 10 ms, and a negative rate read as a very long one.
int SlideshowIntervalForRate(std::int32_t refresh_rate_ms);

}  // namespace lumivanta
