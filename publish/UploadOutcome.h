#pragma once

#include <functional>
#include <string>

namespace lumivanta {

// What became of a job's picture.
struct UploadOutcome {
  // The server took the picture (an answer with a status below 400).
  bool sent = false;
  // Why it did not, in words; empty when it was sent.
  std::string failure_cause;
};

using UploadOutcomeHandler = std::function<void(const UploadOutcome& outcome)>;

}  // namespace lumivanta
