#include "server/viewer/RecentPollers.h"

namespace lumivanta::server {

bool RecentPollers::DropExpired(Viewers& viewers, Clock::time_point now) {
  for (auto viewer = viewers.begin(); viewer != viewers.end();) {
    if (now - viewer->second >= kWindow) {
      viewer = viewers.erase(viewer);
      --viewers_;
    } else {
      ++viewer;
    }
  }
  return !viewers.empty();
}

void RecentPollers::DropAllExpired(Clock::time_point now) {
  for (auto name = names_.begin(); name != names_.end();) {
    name = DropExpired(name->second, now) ? std::next(name) : names_.erase(name);
  }
}

void RecentPollers::Noted(const std::string& name, std::string_view viewer, Clock::time_point now) {
  if (const auto known = names_.find(name); known != names_.end()) {
    if (const auto seen = known->second.find(viewer); seen != known->second.end()) {
      seen->second = now;
      return;
    }
  }
  if (viewers_ >= kMostViewers) {
    DropAllExpired(now);
    if (viewers_ >= kMostViewers) {
      return;
    }
  }
  names_[name].emplace(std::string(viewer), now);
  ++viewers_;
}

std::size_t RecentPollers::Count(std::string_view name, Clock::time_point now) {
  const auto found = names_.find(name);
  if (found == names_.end()) {
    return 0;
  }
  if (!DropExpired(found->second, now)) {
    names_.erase(found);
    return 0;
  }
  return found->second.size();
}

}  // namespace lumivanta::server
