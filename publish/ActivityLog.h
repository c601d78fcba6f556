#pragma once

namespace lumivanta {

// Where the run reports to the user: the activity log of the main window.
class ActivityLog {
 public:
  virtual ~ActivityLog() = default;
  // Appends the numbered text of the string table, with or without a time stamp.
  virtual void LogMessage(unsigned string_id, bool with_time_stamp) = 0;
};

}  // namespace lumivanta
