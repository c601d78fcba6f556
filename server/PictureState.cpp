#include "server/PictureState.h"

#include <algorithm>
#include <chrono>
#include <optional>

namespace lumivanta::server {

std::int64_t AgeMs(const Picture& picture) {
  const auto age = std::chrono::system_clock::now() - picture.uploaded_at;
  return std::max<std::int64_t>(0, std::chrono::duration_cast<std::chrono::milliseconds>(age).count());
}

std::string NewestStateJson(const PictureStore& store, const std::string& name) {
  std::string json = "{\"name\":\"" + name + "\",\"present\":";
  if (const std::optional<Picture> picture = store.Newest(name); picture) {
    json += "true,\"sequence\":" + std::to_string(picture->sequence) +
            ",\"age_ms\":" + std::to_string(AgeMs(*picture)) + ",\"bytes\":" + std::to_string(picture->bytes->size());
  } else {
    json += std::string("false,\"ended\":") + (store.Ended(name) ? "true" : "false");
  }
  return json + "}";
}

}  // namespace lumivanta::server
