#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "server/access/AccessKeys.h"
#include "server/http/HttpMessages.h"
#include "server/store/PictureStore.h"

namespace lumivanta::server {

// Answers the uploader's requests (any path with "?server"), the viewer page
// at "/", and each name's newest picture at /pictures/NAME/latest.jpg with its
// state at /pictures/NAME/latest.json. The newest picture is also at
// /pictures/NAME/SEQUENCE.jpg, cacheable for good; both carry the bytes'
// digest as their ETag and answer a matching If-None-Match with 304. With keys, these paths follow
// "/u/KEY" or "/v/KEY" (see RequestAccess.h), and a request its key does not
// allow gets 403. An upload's body is moved into the store, not copied.
Response Answer(Request& request, PictureStore& store, const AccessKeys& keys);

// 403 for a request its key does not allow, 308 for a viewer address that
// ends in its key without the final slash; nullopt when the request may be
// routed. It needs only the target, so a refusal can come before the body.
std::optional<Response> KeyRefusal(std::string_view target, const AccessKeys& keys);

// The name whose event stream, /pictures/NAME/events after any key, a GET
// that its key allows asks for; the
// connection keeps such a request open and sends each change of the name.
std::optional<std::string> EventStreamName(const Request& request, const AccessKeys& keys);

// True for the uploader's requests (any path with "?server" after the key),
// which may change the stored pictures; the rest only read them.
bool ChangesPictures(std::string_view target, const AccessKeys& keys);

// Whose audience a request concerns: the uploader's requests for a name are
// told its viewer count; a poll of a name's state (latest.json) counts as one
// of its viewers, known by address and the page's "viewer" token, and carries
// the count. Worked out on the serving thread, which keeps the counts.
inline constexpr std::string_view kViewersHeader = "X-Lumivanta-Viewers";
struct AudienceRole {
  enum class Kind { kUploader, kPoller };
  Kind kind = Kind::kUploader;
  std::string name;
  std::string viewer_token;
};
std::optional<AudienceRole> AudienceOf(std::string_view target, const AccessKeys& keys);

// A plain-text answer, for the refusals made before a request reaches Answer.
Response TextAnswer(http::status status, std::string_view text);

// 503 with Retry-After: the store cannot be reached just now.
Response StoreUnavailableAnswer();

}  // namespace lumivanta::server
