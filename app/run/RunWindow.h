#pragma once

// What the run asks of its window: the widget work (log, dialogs, minimising
// and repainting, the slideshow timer, the marks of the commands). The main
// view does it on a desktop; tests do it with a recording fake.

#include <array>
#include <functional>
#include <string_view>

#include "publish/ActivityLog.h"
#include "settings/Settings.h"

namespace lumivanta {

// Whether a check-style command shows its check mark (menu) and pressed look (toolbar).
struct CommandMark {
  unsigned command_id = 0;
  bool checked = false;
};
using CommandMarks = std::array<CommandMark, 5>;

class RunWindow : public ActivityLog {
 public:
  // The information dialog with the message; returns when it is closed.
  virtual void ShowInformationDialog(std::string_view message) = 0;
  // Takes the program's own window out of the picture before a capture:
  // minimised and repainted, then a pause. Nothing when it is minimised,
  // unless other things are leaving the screen too (the desktop's
  // notification pop-ups): then the pause alone.
  virtual void ClearScreenForCapture(bool others_leaving) = 0;
  // Lets the window system draw what changed, before and after a capture.
  virtual void RepaintForCapture() = 0;
  // Restores the minimised main window, or minimises it.
  virtual void ToggleMainWindow() = 0;
  virtual void ShowMarks(const CommandMarks& marks) = 0;

  // The slideshow timer: one tick every interval until stopped. Start tells
  // whether the timer runs.
  virtual bool StartSlideshowTimer(int interval_ms) = 0;
  virtual void StopSlideshowTimer() = 0;
  virtual bool IsSlideshowTimerRunning() const = 0;

  // The first-run wizard's welcome page.
  virtual void ShowWelcomePage() = 0;
  // The settings page on the live settings; true when it was left with Next.
  virtual bool ShowSettingsPage(CSettings& settings) = 0;
  // The connection-test page; true when it was left with Back.
  virtual bool ShowConnectionTestPage(const CSettings& settings, std::function<bool()> test_connection) = 0;

  // Runs work on a thread of its own and returns once it has finished, while
  // the window keeps painting and the events that arrive run as usual (the
  // run refuses commands meanwhile). False when the program is ending: then
  // cancel is called first, and the return waits for work to finish.
  virtual bool RunWhileResponsive(std::function<void()> work, std::function<void()> cancel) = 0;
  // Runs task on the window's thread, from its event loop; callable from any
  // thread. Tasks still waiting when the window goes are dropped.
  virtual void Post(std::function<void()> task) = 0;
};

}  // namespace lumivanta
