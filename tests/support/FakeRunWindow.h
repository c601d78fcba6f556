#pragma once

// The window side of a run for tests without widgets: it writes down, in
// order, what the run asked of it, and answers the dialogs as the test says.

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/RunWindow.h"

namespace lumivanta::test {

class FakeRunWindow : public RunWindow {
 public:
  void LogMessage(unsigned string_id, bool with_time_stamp) override {
    events.push_back("log " + std::to_string(string_id) + (with_time_stamp ? " stamped" : ""));
  }
  void ShowInformationDialog(unsigned string_id) override {
    events.push_back("information " + std::to_string(string_id));
    if (while_information_open) {
      while_information_open(string_id);
    }
  }
  void ClearScreenForCapture() override { events.push_back("clear screen"); }
  void RepaintForCapture() override {}
  void ToggleMainWindow() override { events.push_back("toggle window"); }
  void ShowMarks(const CommandMarks& marks) override { shown_marks = marks; }
  bool StartSlideshowTimer(int interval_ms) override {
    events.push_back("timer " + std::to_string(interval_ms));
    timer_interval_ms = interval_ms;
    return true;
  }
  void StopSlideshowTimer() override {
    events.push_back("timer stopped");
    timer_interval_ms = 0;
  }
  bool IsSlideshowTimerRunning() const override { return timer_interval_ms > 0; }
  void ShowWelcomePage() override { events.push_back("welcome page"); }
  bool ShowSettingsPage(CSettings& settings) override {
    events.push_back("settings page");
    return settings_page && settings_page(settings);
  }
  bool ShowConnectionTestPage(const CSettings&, std::function<bool()> test_connection) override {
    events.push_back("connection test page");
    return test_page && test_page(test_connection);
  }

  // The events since the last call, and forgets them.
  std::vector<std::string> Take() { return std::exchange(events, {}); }

  std::vector<std::string> events;
  CommandMarks shown_marks{};
  int timer_interval_ms = 0;
  // Runs while the information dialog is open.
  std::function<void(unsigned string_id)> while_information_open;
  // The answers of the pages: true for Next on the settings page, for Back on the test page.
  std::function<bool(CSettings&)> settings_page;
  std::function<bool(const std::function<bool()>& test_connection)> test_page;
};

}  // namespace lumivanta::test
