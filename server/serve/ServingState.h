#pragma once

#include <cstddef>

#include "server/access/AccessKeys.h"
#include "server/http/BodyBudget.h"
#include "server/http/RequestLimits.h"
#include "server/serve/SharedBytesFiles.h"
#include "server/store/PictureStore.h"
#include "server/store/StoreWorkers.h"
#include "server/viewer/PictureEvents.h"

namespace lumivanta::server {

// What every connection shares. The serving thread alone uses it, except for
// two members that the store workers also read while they answer a request
// or read states for viewers: `store` (safe to call from any thread) and
// `keys` (never changed once the server starts).
struct ServingState {
  // Read by the store workers too.
  PictureStore& store;
  // Where the store's calls run when they may wait; null when the store answers at once.
  StoreWorkers* workers = nullptr;
  RequestLimits limits;
  bool log_every_request = false;
  // Read by the store workers too; never changed while serving.
  AccessKeys keys;
  BodyBudget body_budget{limits.max_bodies_in_flight_bytes};
  // Open connections, event streams included.
  std::size_t open_connections = 0;
  std::size_t event_streams = 0;
  PictureEvents events;
  // Files of the answer bodies sent again and again, sent with sendfile().
  SharedBytesFiles answer_files;
};

}  // namespace lumivanta::server
