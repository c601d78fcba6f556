#include "server/StoreWorkers.h"

#include <utility>

namespace lumivanta::server {

StoreWorkers::StoreWorkers(std::size_t threads, std::optional<std::chrono::milliseconds> max_wait)
    : max_wait_(max_wait) {
  for (std::size_t index = 0; index < threads; ++index) {
    threads_.emplace_back([this](const std::stop_token& stop) { Work(stop); });
  }
}

StoreWorkers::~StoreWorkers() {
  for (std::jthread& thread : threads_) {
    thread.request_stop();
  }
  threads_.clear();
  jobs_.clear();
}

void StoreWorkers::Run(Job job) {
  {
    const std::lock_guard lock(mutex_);
    jobs_.push_back({std::move(job), std::chrono::steady_clock::now()});
  }
  wake_.notify_one();
}

void StoreWorkers::Work(const std::stop_token& stop) {
  for (;;) {
    Queued queued;
    {
      std::unique_lock lock(mutex_);
      if (!wake_.wait(lock, stop, [this] { return !jobs_.empty(); }) || stop.stop_requested()) {
        return;
      }
      queued = std::move(jobs_.front());
      jobs_.pop_front();
    }
    const bool late = max_wait_ && std::chrono::steady_clock::now() - queued.since > *max_wait_;
    queued.job(late);
  }
}

}  // namespace lumivanta::server
