#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <string>
#include <string_view>

namespace lumivanta::server {

// The viewers that follow a name by polling its state rather than by its
// event stream: each distinct viewer (its address, and the page's own viewer
// token when it sends one) that polled in the last ten seconds. Bounded, so
// that made-up viewers cannot grow it without end: once full, a new viewer is
// not counted until old ones expire. Used from the serving thread only.
class RecentPollers {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::seconds kWindow{10};
  static constexpr std::size_t kMostViewers = 65536;

  void Noted(const std::string& name, std::string_view viewer, Clock::time_point now);
  // The distinct viewers that polled name within the window before now.
  std::size_t Count(std::string_view name, Clock::time_point now);

 private:
  using Viewers = std::map<std::string, Clock::time_point, std::less<>>;
  // Drops the viewers last seen before the window; false when none is left.
  bool DropExpired(Viewers& viewers, Clock::time_point now);
  void DropAllExpired(Clock::time_point now);

  std::map<std::string, Viewers, std::less<>> names_;
  std::size_t viewers_ = 0;
};

}  // namespace lumivanta::server
