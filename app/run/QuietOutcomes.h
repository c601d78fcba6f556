#pragma once

// The outcomes of a slideshow's uploads that change nothing worth waking the
// user-interface thread for: a success after a success, with the audience
// the server counted before. They wait for the run's next turn (its next
// tick, the end of the slideshow, the next outcome that does wake it) instead
// of a wake-up of their own, which costs a still screen more than its upload.

#include <cstdint>
#include <limits>
#include <mutex>
#include <optional>
#include <vector>

#include "publish/UploadOutcome.h"

namespace lumivanta {

class QuietOutcomes {
 public:
  // User-interface thread: the outcome of this job may wait (0: of none).
  void LetWait(std::uint64_t job_number);
  // The worker: true when the outcome waits here, false when it must be
  // handed on at once. Every outcome passes through here, in order.
  bool Keep(const UploadOutcome& outcome);
  // User-interface thread: the waiting outcomes of jobs before job_number,
  // oldest first; they wait no more.
  std::vector<UploadOutcome> TakeBefore(std::uint64_t job_number);
  std::vector<UploadOutcome> TakeAll() { return TakeBefore(std::numeric_limits<std::uint64_t>::max()); }

 private:
  std::mutex mutex_;
  std::uint64_t may_wait_ = 0;
  bool last_sent_ = false;
  std::optional<std::uint32_t> last_viewers_;
  std::vector<UploadOutcome> waiting_;
};

}  // namespace lumivanta
