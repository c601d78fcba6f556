#include "app/run/QuietOutcomes.h"

#include <algorithm>
#include <utility>

namespace lumivanta {

void QuietOutcomes::LetWait(std::uint64_t job_number) {
  const std::lock_guard lock(mutex_);
  may_wait_ = job_number;
}

bool QuietOutcomes::Keep(const UploadOutcome& outcome) {
  const std::lock_guard lock(mutex_);
  const bool unremarkable =
      outcome.job_number == may_wait_ && outcome.sent && last_sent_ && outcome.viewers == last_viewers_;
  last_sent_ = outcome.sent;
  if (outcome.sent) {
    last_viewers_ = outcome.viewers;
  }
  if (unremarkable) {
    waiting_.push_back(outcome);
  }
  return unremarkable;
}

std::vector<UploadOutcome> QuietOutcomes::TakeBefore(std::uint64_t job_number) {
  const std::lock_guard lock(mutex_);
  const auto later = std::partition_point(waiting_.begin(), waiting_.end(), [job_number](const UploadOutcome& kept) {
    return kept.job_number < job_number;
  });
  std::vector<UploadOutcome> taken(std::make_move_iterator(waiting_.begin()), std::make_move_iterator(later));
  waiting_.erase(waiting_.begin(), later);
  return taken;
}

}  // namespace lumivanta
