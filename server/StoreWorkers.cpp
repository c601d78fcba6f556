#include "server/StoreWorkers.h"

#include <utility>

namespace lumivanta::server {

StoreWorkers::StoreWorkers(std::size_t threads) {
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

void StoreWorkers::Run(std::function<void()> job) {
  {
    const std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
  }
  wake_.notify_one();
}

void StoreWorkers::Work(const std::stop_token& stop) {
  for (;;) {
    std::function<void()> job;
    {
      std::unique_lock lock(mutex_);
      if (!wake_.wait(lock, stop, [this] { return !jobs_.empty(); }) || stop.stop_requested()) {
        return;
      }
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    job();
  }
}

}  // namespace lumivanta::server
