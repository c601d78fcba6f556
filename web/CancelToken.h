#pragma once

// Lets one thread abandon another thread's running request at once: Cancel
// sets the flag that the transfer's progress callback reads and wakes the
// transfer from its wait, so it ends within milliseconds even when the
// server has stopped answering.

#include <atomic>
#include <functional>
#include <mutex>

namespace lumivanta {

class CancelToken {
 public:
  CancelToken() = default;
  CancelToken(const CancelToken&) = delete;
  CancelToken& operator=(const CancelToken&) = delete;

  void Cancel() {
    cancelled_.store(true, std::memory_order_release);
    std::lock_guard lock(mutex_);
    if (wake_) {
      wake_();
    }
  }
  bool IsCancelled() const { return cancelled_.load(std::memory_order_acquire); }

  // Used by the request while it waits: wake is called (under a lock) by
  // Cancel until the request detaches it again.
  void AttachWaker(std::function<void()> wake) {
    std::lock_guard lock(mutex_);
    wake_ = std::move(wake);
  }
  void DetachWaker() {
    std::lock_guard lock(mutex_);
    wake_ = nullptr;
  }

 private:
  std::atomic<bool> cancelled_{false};
  std::mutex mutex_;
  std::function<void()> wake_;
};

}  // namespace lumivanta
