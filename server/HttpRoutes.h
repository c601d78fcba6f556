#pragma once

#include <optional>
#include <string>

#include "server/HttpMessages.h"
#include "server/PictureStore.h"

namespace lumivanta::server {

// Answers the uploader's requests (any path with "?server"), the viewer page
// at "/", and each name's newest picture at /pictures/NAME/latest.jpg with its
// state at /pictures/NAME/latest.json. An upload's body is moved into the
// store, not copied.
Response Answer(Request& request, PictureStore& store);

// The name whose event stream, /pictures/NAME/events, a GET asks for; the
// connection keeps such a request open and sends each change of the name.
std::optional<std::string> EventStreamName(const Request& request);

// A plain-text answer, for the refusals made before a request reaches Answer.
Response TextAnswer(http::status status, std::string_view text);

}  // namespace lumivanta::server
