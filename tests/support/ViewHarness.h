#pragma once

// A main window with its view for tests: fake hotkeys and screen, the
// configuration file in a fresh current directory, and a server address
// that refuses connections at once unless the test sets another.

#include <QString>
#include <memory>
#include <string>

#include "app/MainFrame.h"
#include "app/VantacastView.h"
#include "tests/support/FakeGlobalHotkeys.h"
#include "tests/support/FakeScreenSource.h"
#include "tests/support/TempDir.h"

namespace lumivanta::test {

inline constexpr const char* kRefusingServerUrl = "http://127.0.0.1:1/";

// The log as the view keeps it, with CR LF between its lines.
inline std::string LogTextOf(const CvantacastView& view) {
  return view.toPlainText().replace(QStringLiteral("\n"), QStringLiteral("\r\n")).toStdString();
}

class ViewHarness {
 public:
  ViewHarness() : current_directory_(directory_.Path()), config_home_("XDG_CONFIG_HOME", directory_.File("config")) {
    frame_ = std::make_unique<CMainFrame>(hotkeys_, &screen_);
    frame_->OnCreate();
    PointAt(kRefusingServerUrl);
  }

  CMainFrame& Frame() { return *frame_; }
  CvantacastView& View() { return frame_->View(); }
  FakeGlobalHotkeys& Hotkeys() { return hotkeys_; }
  FakeScreenSource& Screen() { return screen_; }
  const TempDir& Directory() const { return directory_; }

  void PointAt(const std::string& server_url, const std::string& contact_name = "harness") {
    CSettings& settings = View().Run().Settings();
    settings.server_url = server_url;
    settings.contact_name = contact_name;
    settings.UpdateServerAddresses();
  }

  // Ends the run as closing the window does: the view saves and sends its delete request.
  void EndRun() { frame_.reset(); }

 private:
  TempDir directory_;
  ScopedCurrentDirectory current_directory_;
  // The preferences of the run go to the test's directory, never the user's.
  ScopedEnvironment config_home_;
  FakeGlobalHotkeys hotkeys_;
  FakeScreenSource screen_{64, 48};
  std::unique_ptr<CMainFrame> frame_;
};

}  // namespace lumivanta::test
