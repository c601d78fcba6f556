#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace lumivanta {

// What became of a job's picture.
struct UploadOutcome {
  // The job it came from: the publisher numbers its jobs from 1.
  std::uint64_t job_number = 0;
  // The server took the picture (an answer with a status of 2xx).
  bool sent = false;
  // Why it did not, in words; empty when it was sent.
  std::string failure_cause;
  // The viewers of the contact name, when the server that took it says.
  std::optional<std::uint32_t> viewers;
};

using UploadOutcomeHandler = std::function<void(const UploadOutcome& outcome)>;

}  // namespace lumivanta
