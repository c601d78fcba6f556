#pragma once

// An activity log that remembers which messages were written, for tests.

#include <utility>
#include <vector>

#include "publish/ServerProtocol.h"

namespace lumivanta::test {

class RecordingLog : public ActivityLog {
 public:
  using Line = std::pair<unsigned, bool>;  // string id, with time stamp

  void LogMessage(unsigned string_id, bool with_time_stamp) override { lines.emplace_back(string_id, with_time_stamp); }

  std::vector<Line> lines;
};

}  // namespace lumivanta::test
