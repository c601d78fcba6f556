#include "server/store/PictureState.h"

#include <algorithm>

namespace lumivanta::server {

std::int64_t AgeMs(std::chrono::system_clock::time_point uploaded_at) {
  const auto age = std::chrono::system_clock::now() - uploaded_at;
  return std::max<std::int64_t>(0, std::chrono::duration_cast<std::chrono::milliseconds>(age).count());
}

std::string StateJson(const std::string& name, const NameState& state) {
  std::string json = "{\"name\":\"" + name + "\",\"present\":";
  if (state.newest) {
    json += "true,\"sequence\":" + std::to_string(state.newest->sequence) +
            ",\"age_ms\":" + std::to_string(AgeMs(state.newest->uploaded_at)) +
            ",\"bytes\":" + std::to_string(state.newest->bytes);
  } else {
    json += std::string("false,\"ended\":") + (state.ended ? "true" : "false");
  }
  return json + "}";
}

std::string LiveJson(const NameState& state) {
  return "{\"sequence\":" + std::to_string(state.newest->sequence) +
         ",\"age_ms\":" + std::to_string(AgeMs(state.newest->uploaded_at)) + "}";
}

std::string NewestStateJson(const PictureStore& store, const std::string& name) {
  return StateJson(name, store.State(name));
}

}  // namespace lumivanta::server
