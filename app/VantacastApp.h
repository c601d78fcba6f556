#pragma once

// The application: creates the document, the main window with its view,
// runs the start-up before the window is shown, then puts the tray icon up,
// and answers About. A termination signal ends it the normal way; an exit
// that skips the normal way (the X server gone) still saves the settings and
// lets the desktop's notifications show again.

#include <functional>
#include <memory>

#include "app/VantacastDoc.h"
#include "app/desktop/DesktopPresence.h"
#include "app/desktop/FreedesktopNotifications.h"
#include "app/desktop/ProgramExit.h"
#include "platform/DesktopNotificationHold.h"
#include "platform/GlobalHotkeys.h"
#include "platform/ScreenSource.h"

namespace lumivanta {

class CMainFrame;
class PublishingRun;

class CvantacastApp {
 public:
  CvantacastApp(std::unique_ptr<GlobalHotkeys> hotkeys, std::unique_ptr<ScreenSource> screen);
  ~CvantacastApp();

  // False ends the program: the main window could not be made. before_start_up
  // runs once the run exists, before the start-up's wizard or connection test.
  bool InitInstance(const std::function<void(PublishingRun&)>& before_start_up = {});

  // The main window, once InitInstance made it. Closing it, or SIGTERM,
  // SIGINT or SIGHUP, ends the event loop; it is destroyed, and the run
  // ended in order, with the application.
  CMainFrame* MainWindow() const { return frame_.get(); }

  void OnAppAbout();

 private:
  std::unique_ptr<GlobalHotkeys> hotkeys_;
  std::unique_ptr<ScreenSource> screen_;
  ExitSignals exit_signals_;
  CvantacastDoc document_;
  FreedesktopNotifications notifications_;
  // Outlives the frame, whose run releases it at the end.
  DesktopNotificationHold notification_hold_;
  std::unique_ptr<CMainFrame> frame_;
  // Goes before the frame, whose run it listens to.
  std::unique_ptr<DesktopPresence> presence_;
};

}  // namespace lumivanta
