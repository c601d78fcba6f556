#pragma once

#include <boost/asio/io_context.hpp>

#include "server/serve/ServingState.h"
#include "server/store/PictureStore.h"

namespace lumivanta::server {

// Every change to a name's picture, made at this instance or at another that
// shares the store, reaches the viewers following the name here, on the
// serving thread; an upload that only renewed the picture reaches them as the
// short "live" event. When changes may have been missed, each followed name's
// state is read again and sent, unless the name is merely absent.
void ForwardChangesToViewers(PictureStore& store, ServingState& state, boost::asio::io_context& context);

}  // namespace lumivanta::server
