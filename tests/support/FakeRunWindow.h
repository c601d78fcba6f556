#pragma once

// The window side of a run for tests without widgets: it writes down, in
// order, what the run asked of it, and answers the dialogs as the test says.

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "app/run/RunWindow.h"

namespace lumivanta::test {

class FakeRunWindow : public RunWindow {
 public:
  void LogMessage(unsigned string_id, bool with_time_stamp) override {
    events.push_back("log " + std::to_string(string_id) + (with_time_stamp ? " stamped" : ""));
  }
  void LogText(std::string_view text, bool with_time_stamp) override {
    events.push_back("log \"" + std::string(text) + "\"" + (with_time_stamp ? " stamped" : ""));
  }
  void ShowInformationDialog(std::string_view message) override {
    events.push_back("information \"" + std::string(message) + "\"");
    if (while_information_open) {
      while_information_open(message);
    }
  }
  void ClearScreenForCapture(bool others_leaving) override {
    events.push_back(others_leaving ? "clear screen, pop-ups leaving" : "clear screen");
  }
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
  // The work runs on this thread, after while_waiting; the program never ends meanwhile.
  bool RunWhileResponsive(std::function<void()> work, std::function<void()>) override {
    if (while_waiting) {
      while_waiting();
    }
    work();
    return true;
  }
  void Post(std::function<void()> task) override {
    const std::lock_guard<std::mutex> lock(posted_mutex_);
    posted_.push_back(std::move(task));
  }

  // Runs the tasks posted so far, as the event loop would; waits up to
  // timeout for at least one when none is there yet.
  void RunPosted(std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::vector<std::function<void()>> tasks;
    while (tasks.empty() && std::chrono::steady_clock::now() < deadline) {
      {
        const std::lock_guard<std::mutex> lock(posted_mutex_);
        tasks.swap(posted_);
      }
      if (tasks.empty()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
    }
    for (const auto& task : tasks) {
      task();
    }
  }

  // The events since the last call, and forgets them.
  std::vector<std::string> Take() { return std::exchange(events, {}); }

  std::vector<std::string> events;
  CommandMarks shown_marks{};
  int timer_interval_ms = 0;
  // Runs while the run waits for the server, as events arriving meanwhile would.
  std::function<void()> while_waiting;
  // Runs while the information dialog is open.
  std::function<void(std::string_view message)> while_information_open;
  // The answers of the pages: true for Next on the settings page, for Back on the test page.
  std::function<bool(CSettings&)> settings_page;
  std::function<bool(const std::function<bool()>& test_connection)> test_page;

 private:
  std::mutex posted_mutex_;
  std::vector<std::function<void()>> posted_;
};

}  // namespace lumivanta::test
