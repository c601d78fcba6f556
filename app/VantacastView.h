#pragma once

// The main view: the activity log that fills the main window. It owns the
// run (settings, publisher, hotkeys, mode flags) and does the window's part
// of its work: the log, the dialogs, minimising and repainting, the
// slideshow timer and the marks of the commands.

#include <QPlainTextEdit>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "app/LogLine.h"
#include "app/run/CommandTable.h"
#include "app/run/PublishingRun.h"
#include "app/run/RunWindow.h"
#include "platform/GlobalHotkeys.h"
#include "platform/ScreenSource.h"

class QAction;
class QEventLoop;
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

  // The first line registers the hotkeys; every line also goes to standard
  // error. A text that repeats the last one (its stamp aside) is not added
  // again: the last line says "(repeated N times)" instead.
  void AddLogLine(std::string_view text, bool with_time_stamp);
  void LogMessage(unsigned string_id, bool with_time_stamp) override;
  void LogText(std::string_view text, bool with_time_stamp) override { AddLogLine(text, with_time_stamp); }
  void StartUp() { run_.StartUp(); }
  void OnTimer() { run_.OnTimer(); }
  void ClearScreenForCapture(bool others_leaving) override;

  PublishingRun& Run() { return run_; }
  const PublishingRun& Run() const { return run_; }

  // The program is to end (a termination signal), also before the main event
  // loop runs, which alone would end the dialogs: the open dialogs are closed
  // as cancelled, and so is every one that opens from now on; a pending
  // request to the server is cut short.
  void EndDialogsForExit();

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

  void ReplaceLastLogLine(const std::string& line);
  void CloseOpenDialogs();

  QTimer* slideshow_timer_ = nullptr;
  std::map<unsigned, QAction*> mark_actions_;
  std::string log_text_;
  RepeatCounter repeats_;
  // The last entry as added, and where it starts in log_text_ and in the document.
  std::string last_line_;
  std::size_t last_line_start_ = 0;
  int last_line_position_ = 0;
  // Set once the program is to end: dialogs are closed as cancelled.
  bool ending_ = false;
  QTimer* dialog_closer_ = nullptr;
  // The loop that waits for a request to the server, while one runs.
  QEventLoop* request_loop_ = nullptr;
  ScreenSource* screen_;
  PublishingRun run_;
};

}  // namespace lumivanta
