#pragma once

#include <cstdlib>
#include <memory>

namespace lumivanta {

// xcb replies and errors are allocated with malloc and released with free.
struct XcbFreer {
  void operator()(void* reply) const { std::free(reply); }
};
template <typename Reply>
using XcbReply = std::unique_ptr<Reply, XcbFreer>;

}  // namespace lumivanta
