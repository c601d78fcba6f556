#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace lumivanta::server {

// Threads for the store's calls that may wait on another machine, so that
// the serving thread never does. A job hands its result back to the serving
// thread itself; it must keep no reference to a connection once it has.
class StoreWorkers {
 public:
  explicit StoreWorkers(std::size_t threads);
  StoreWorkers(const StoreWorkers&) = delete;
  StoreWorkers& operator=(const StoreWorkers&) = delete;
  // Lets the running jobs finish and drops the waiting ones.
  ~StoreWorkers();

  void Run(std::function<void()> job);

 private:
  void Work(const std::stop_token& stop);

  std::mutex mutex_;
  std::condition_variable_any wake_;
  std::deque<std::function<void()>> jobs_;
  std::vector<std::jthread> threads_;
};

}  // namespace lumivanta::server
