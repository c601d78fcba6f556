#pragma once

#include <httplib.h>

#include "server/PictureStore.h"

namespace lumivanta::server {

// Answers the uploader's requests (any path with "?server"), the viewer page
// at "/", and each name's newest picture at /pictures/NAME/latest.jpg with its
// state at /pictures/NAME/latest.json. The store must outlive the server.
void InstallRoutes(httplib::Server& server, PictureStore& store);

}  // namespace lumivanta::server
