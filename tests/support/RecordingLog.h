#pragma once

// An activity log that remembers which messages were written, for tests.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "publish/ServerProtocol.h"

namespace lumivanta::test {

class RecordingLog : public ActivityLog {
 public:
  using Line = std::pair<unsigned, bool>;  // string id, with time stamp

  void LogMessage(unsigned string_id, bool with_time_stamp) override { lines.emplace_back(string_id, with_time_stamp); }
  void LogText(std::string_view text, bool with_time_stamp) override {
    texts.emplace_back(std::string(text), with_time_stamp);
  }

  std::vector<Line> lines;
  // The texts made at run time, such as causes of failures.
  std::vector<std::pair<std::string, bool>> texts;
};

}  // namespace lumivanta::test
