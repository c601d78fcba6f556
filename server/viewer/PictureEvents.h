#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "server/store/ImmutableBytes.h"
#include "server/viewer/RecentPollers.h"

namespace lumivanta::server {

// The viewers following each name: a change to a name's picture reaches every
// one of them as one Server-Sent Events message, formatted once for all. It
// also counts each name's audience: its open event streams and the viewers
// that polled its state lately. Used from the serving thread only.
class PictureEvents {
 public:
  // The same shared bytes as an answer body, so a message can also be one.
  using Message = SharedBytes;

  class Listener {
   public:
    // Must not end the listener's subscription before it returns.
    virtual void Deliver(const Message& message) = 0;

   protected:
    ~Listener() = default;
  };

  // Follows one name for as long as it lives.
  class Subscription {
   public:
    Subscription(PictureEvents& events, std::string name, Listener& listener);
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;
    ~Subscription();

   private:
    PictureEvents& events_;
    std::string name_;
    Listener& listener_;
  };

  // The message that carries a name's state, as NewestStateJson writes it.
  static Message StateMessage(std::string_view state_json);
  // The "live" event: the picture named by the still-live word (LiveJson) was uploaded again.
  static Message LiveMessage(std::string_view live_json);
  // The state with "viewers":N added, as latest.json and the events carry it.
  static std::string WithViewers(std::string_view state_json, std::size_t viewers);

  // Sends the state, with the name's viewer count added, to its listeners.
  void Publish(const std::string& name, std::string_view state_json);
  // Sends the still-live word, with the viewer count added, to the name's listeners.
  void PublishLive(const std::string& name, std::string_view live_json);
  std::size_t ListenerCount() const { return listener_count_; }
  std::vector<std::string> FollowedNames() const;

  // A viewer that polled the name's state: its address, and the page's own
  // viewer token when it sent one.
  void NotePoller(const std::string& name, std::string_view viewer);
  // The name's event streams plus its viewers that polled in the last ten seconds.
  std::size_t Viewers(std::string_view name);

 private:
  void DeliverToListeners(const std::string& name, const Message& message);

  std::map<std::string, std::set<Listener*>, std::less<>> listeners_;
  std::size_t listener_count_ = 0;
  RecentPollers pollers_;
};

}  // namespace lumivanta::server
