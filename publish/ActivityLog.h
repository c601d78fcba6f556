#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lumivanta {

// Where the run reports to the user: the activity log of the main window.
class ActivityLog {
 public:
  virtual ~ActivityLog() = default;
  // Appends the numbered text of the string table, with or without a time stamp.
  virtual void LogMessage(unsigned string_id, bool with_time_stamp) = 0;
  // Appends a text made at run time, such as the cause of a failure.
  virtual void LogText(std::string_view text, bool with_time_stamp) = 0;
};

// Keeps the lines written from another thread, for the log to take them on
// its own thread afterwards, in their order.
class DeferredLog : public ActivityLog {
 public:
  void LogMessage(unsigned string_id, bool with_time_stamp) override {
    lines_.push_back({string_id, {}, with_time_stamp});
  }
  void LogText(std::string_view text, bool with_time_stamp) override {
    lines_.push_back({0, std::string(text), with_time_stamp});
  }
  void WriteTo(ActivityLog& log) const {
    for (const Line& line : lines_) {
      if (line.string_id != 0) {
        log.LogMessage(line.string_id, line.with_time_stamp);
      } else {
        log.LogText(line.text, line.with_time_stamp);
      }
    }
  }

 private:
  struct Line {
    unsigned string_id = 0;
    std::string text;
    bool with_time_stamp = false;
  };
  std::vector<Line> lines_;
};

}  // namespace lumivanta
