#pragma once

#include <cstddef>

#include "server/AccessKeys.h"
#include "server/BodyBudget.h"
#include "server/Limits.h"
#include "server/PictureEvents.h"
#include "server/PictureStore.h"
#include "server/StoreWorkers.h"

namespace lumivanta::server {

// What every connection shares; used from the one thread that serves.
struct ServingState {
  PictureStore& store;
  // Where the store's calls run when they may wait; null when the store answers at once.
  StoreWorkers* workers = nullptr;
  RequestLimits limits;
  bool log_every_request = false;
  AccessKeys keys;
  BodyBudget body_budget{limits.max_bodies_in_flight_bytes};
  // Open connections, event streams included.
  std::size_t open_connections = 0;
  std::size_t event_streams = 0;
  PictureEvents events;
};

}  // namespace lumivanta::server
