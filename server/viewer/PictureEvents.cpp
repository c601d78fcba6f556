#include "server/viewer/PictureEvents.h"

#include <utility>
#include <vector>

namespace lumivanta::server {

PictureEvents::Subscription::Subscription(PictureEvents& events, std::string name, Listener& listener)
    : events_(events), name_(std::move(name)), listener_(listener) {
  events_.listeners_[name_].insert(&listener_);
  ++events_.listener_count_;
}

PictureEvents::Subscription::~Subscription() {
  const auto found = events_.listeners_.find(name_);
  found->second.erase(&listener_);
  if (found->second.empty()) {
    events_.listeners_.erase(found);
  }
  --events_.listener_count_;
}

PictureEvents::Message PictureEvents::StateMessage(std::string_view state_json) {
  // A state is one line of JSON, so one "data:" line carries it.
  return std::make_shared<const ImmutableBytes>("data: " + std::string(state_json) + "\n\n");
}

PictureEvents::Message PictureEvents::LiveMessage(std::string_view live_json) {
  // A named event: pages that know only the state messages pass it over.
  return std::make_shared<const ImmutableBytes>("event: live\ndata: " + std::string(live_json) + "\n\n");
}

std::string PictureEvents::WithViewers(std::string_view state_json, std::size_t viewers) {
  if (!state_json.ends_with('}')) {
    return std::string(state_json);
  }
  state_json.remove_suffix(1);
  return std::string(state_json) + ",\"viewers\":" + std::to_string(viewers) + "}";
}

void PictureEvents::NotePoller(const std::string& name, std::string_view viewer) {
  pollers_.Noted(name, viewer, RecentPollers::Clock::now());
}

std::size_t PictureEvents::Viewers(std::string_view name) {
  const auto streams = listeners_.find(name);
  return (streams == listeners_.end() ? 0 : streams->second.size()) + pollers_.Count(name, RecentPollers::Clock::now());
}

std::vector<std::string> PictureEvents::FollowedNames() const {
  std::vector<std::string> names;
  for (const auto& [name, listeners] : listeners_) {
    names.push_back(name);
  }
  return names;
}

void PictureEvents::Publish(const std::string& name, std::string_view state_json) {
  if (listeners_.contains(name)) {
    DeliverToListeners(name, StateMessage(WithViewers(state_json, Viewers(name))));
  }
}

void PictureEvents::PublishLive(const std::string& name, std::string_view live_json) {
  if (listeners_.contains(name)) {
    DeliverToListeners(name, LiveMessage(WithViewers(live_json, Viewers(name))));
  }
}

void PictureEvents::DeliverToListeners(const std::string& name, const Message& message) {
  const auto found = listeners_.find(name);
  // A copy, so that the set may change while its listeners are served.
  const std::vector<Listener*> listeners(found->second.begin(), found->second.end());
  for (Listener* listener : listeners) {
    listener->Deliver(message);
  }
}

}  // namespace lumivanta::server
