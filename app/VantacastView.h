#pragma once

// The main view: the activity log that fills the main window. It owns the
// run (settings, publisher, hotkeys, mode flags) and does the window's part
// of its work: the log, the dialogs, minimising and repainting, the
// slideshow timer and the marks of the commands.

#include <QPlainTextEdit>
#include <ctime>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "app/CommandTable.h"
#include "app/PublishingRun.h"
#include "app/RunWindow.h"
#include "platform/GlobalHotkeys.h"
#include "platform/ScreenSource.h"

class QAction;
class QTimer;

namespace lumivanta {

class CvantacastView : public QPlainTextEdit, public RunWindow {
  Q_OBJECT

 public:
  CvantacastView(GlobalHotkeys& hotkeys, ScreenSource* screen, QWidget* parent = nullptr);
  // The end of the run, in order: hotkeys released, settings saved, the
  // delete request sent, the publisher destroyed.
  ~CvantacastView() override;

  // The menu and toolbar actions of the check-style commands, by command id.
  void SetMarkActions(std::map<unsigned, QAction*> actions) { mark_actions_ = std::move(actions); }
  // A menu or toolbar command: the run's answer, then the marks put back in
  // line with the state, as Qt flips a check-style action by itself.
  void OnCommand(const Command& command);
  // A command from the tray icon's menu, then the marks put back in line.
  void OnTrayCommand(const Command& command);

  // The first line registers the hotkeys; every line also goes to standard error.
  void AddLogLine(std::string_view text, bool with_time_stamp);
  void LogMessage(unsigned string_id, bool with_time_stamp) override;
  void LogText(std::string_view text, bool with_time_stamp) override { AddLogLine(text, with_time_stamp); }
  void StartUp() { run_.StartUp(); }
  void OnTimer() { run_.OnTimer(); }
  void ClearScreenForCapture(bool others_leaving) override;

  PublishingRun& Run() { return run_; }
  const PublishingRun& Run() const { return run_; }
  const std::string& LogText() const { return log_text_; }
  int SlideshowIntervalMs() const;
  // Replaces the clock of the log's time stamps (tests).
  void SetClock(std::function<std::time_t()> clock) { clock_ = std::move(clock); }

 private:
  void ShowInformationDialog(std::string_view message) override;
  void RepaintForCapture() override;
  void ToggleMainWindow() override;
  void ShowMarks(const CommandMarks& marks) override;
  bool StartSlideshowTimer(int interval_ms) override;
  void StopSlideshowTimer() override;
  bool IsSlideshowTimerRunning() const override;
  void ShowWelcomePage() override;
  bool ShowSettingsPage(CSettings& settings) override;
  bool ShowConnectionTestPage(const CSettings& settings, std::function<bool()> test_connection) override;
  bool RunWhileResponsive(std::function<void()> work, std::function<void()> cancel) override;
  void Post(std::function<void()> task) override;
  QWidget* DialogParent();

  QTimer* slideshow_timer_ = nullptr;
  std::map<unsigned, QAction*> mark_actions_;
  std::string log_text_;
  std::function<std::time_t()> clock_;
  ScreenSource* screen_;
  PublishingRun run_;
};

}  // namespace lumivanta
