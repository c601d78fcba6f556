#include "server/serve/ViewerUpdates.h"

#include <boost/asio/post.hpp>
#include <exception>
#include <string>

#include "server/store/PictureState.h"

namespace lumivanta::server {

void ForwardChangesToViewers(PictureStore& store, ServingState& state, boost::asio::io_context& context) {
  store.OnChange([&state, &context](const std::string& name, const NameState& change) {
    if (change.renewed) {
      boost::asio::post(context, [&state, name, json = LiveJson(change)] { state.events.PublishLive(name, json); });
    } else {
      boost::asio::post(context, [&state, name, json = StateJson(name, change)] { state.events.Publish(name, json); });
    }
  });
  store.OnStale([&state, &context] {
    boost::asio::post(context, [&state, &context] {
      if (state.workers == nullptr || state.events.ListenerCount() == 0) {
        return;
      }
      // Run however long it waited: the followers would otherwise miss the changes until the next one.
      state.workers->Run([&state, &context, names = state.events.FollowedNames()](bool) {
        for (const std::string& name : names) {
          NameState current;
          try {
            current = state.store.State(name);
          } catch (const std::exception&) {
            // Lost again; the next resumption reads the states once more.
            return;
          }
          // A Redis that came back empty has lost the picture, not the screen:
          // viewers keep the last one until the next upload.
          if (current.newest || current.ended) {
            boost::asio::post(context,
                              [&state, name, json = StateJson(name, current)] { state.events.Publish(name, json); });
          }
        }
      });
    });
  });
}

}  // namespace lumivanta::server
