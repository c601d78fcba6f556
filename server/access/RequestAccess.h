#pragma once

#include <string_view>

#include "server/access/AccessKeys.h"

namespace lumivanta::server {

// What one request may do, judged by the key at the start of its path.
struct RequestAccess {
  // Uploads, connection tests and deletes: the requests with "?server".
  bool may_upload = false;
  // The viewer page, the pictures and their state.
  bool may_view = false;
  // What is left to route: the target after "/u/KEY" or "/v/KEY" when the
  // path starts with a key the server knows about, else the whole target.
  std::string_view routed_target;
};

// An upload key is needed as "/u/KEY" and allows uploading and viewing; a view
// key is needed as "/v/KEY" and allows viewing. Without an upload key anything
// may be uploaded and "/u/ANY" is dropped from the path, so a server URL
// holding a key keeps working against a public server. A key that is not the
// server's allows nothing. The key is read from the raw target, never decoded.
RequestAccess CheckAccess(std::string_view target, const AccessKeys& keys);

}  // namespace lumivanta::server
