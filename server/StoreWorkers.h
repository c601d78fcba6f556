#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace lumivanta::server {

// Threads for the store's calls that may wait on another machine or a disk,
// so that the serving thread never does. A job hands its result back to the
// serving thread itself; it must keep no reference to a connection once it has.
class StoreWorkers {
 public:
  // A job hears late = true when it waited for a thread longer than
  // max_wait: it should then answer at once rather than call the store.
  using Job = std::function<void(bool late)>;

  StoreWorkers(std::size_t threads, std::optional<std::chrono::milliseconds> max_wait);
  StoreWorkers(const StoreWorkers&) = delete;
  StoreWorkers& operator=(const StoreWorkers&) = delete;
  // Lets the running jobs finish and drops the waiting ones.
  ~StoreWorkers();

  void Run(Job job);

 private:
  struct Queued {
    Job job;
    std::chrono::steady_clock::time_point since;
  };

  void Work(const std::stop_token& stop);

  const std::optional<std::chrono::milliseconds> max_wait_;
  std::mutex mutex_;
  std::condition_variable_any wake_;
  std::deque<Queued> jobs_;
  std::vector<std::jthread> threads_;
};

}  // namespace lumivanta::server
