#pragma once

#include "server/HttpMessages.h"
#include "server/PictureStore.h"

namespace lumivanta::server {

// Answers the uploader's requests (any path with "?server"), the viewer page
// at "/", and each name's newest picture at /pictures/NAME/latest.jpg with its
// state at /pictures/NAME/latest.json. An upload's body is moved into the
// store, not copied.
Response Answer(Request& request, PictureStore& store);

// A plain-text answer, for the refusals made before a request reaches Answer.
Response TextAnswer(http::status status, std::string_view text);

}  // namespace lumivanta::server
