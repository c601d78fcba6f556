#include "server/serve/HttpRoutes.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "base/Report.h"
#include "server/access/RequestAccess.h"
#include "server/http/MultipartUpload.h"
#include "server/http/RequestTarget.h"
#include "server/store/PictureState.h"
#include "server/store/StreamName.h"
#include "server/viewer/PictureEvents.h"
#include "server/viewer/ViewerPage.h"

namespace lumivanta::server {

namespace {

constexpr std::string_view kPicturePart = "thescreen";
constexpr std::string_view kPicturesPrefix = "/pictures/";
constexpr std::string_view kNewestPictureSuffix = "/latest.jpg";
constexpr std::string_view kNewestStateSuffix = "/latest.json";
constexpr std::string_view kEventsSuffix = "/events";
constexpr std::string_view kPictureExtension = ".jpg";
// A sequence address always names the same bytes, so every cache may keep it
// for good; behind a view key only the viewer's own browser may.
constexpr std::string_view kKeepForGood = "public, max-age=31536000, immutable";
constexpr std::string_view kKeepForGoodPrivately = "private, max-age=31536000, immutable";
// latest.jpg changes: a cache may keep it but must ask each time, and gets 304 while it is the same.
constexpr std::string_view kAskEveryTime = "no-cache";
constexpr std::string_view kAskEveryTimePrivately = "private, no-cache";
// The uploader reads this exact text, with nothing around it, as a successful delete or connection test.
constexpr std::string_view kDeleteAnswer = "connectok";
constexpr std::string_view kBadNameText = "stream_name must be 1 to 93 characters from A-Z a-z 0-9 _ -\n";

void ForbidCaching(Response& response) {
  response.set(http::field::cache_control, "no-store");
  response.set("X-Content-Type-Options", "nosniff");
}

Response StorePicture(Request& request, PictureStore& store, const std::string& name) {
  const MultipartPart part = FindPart(request.body().View(), request[http::field::content_type], kPicturePart);
  switch (part.result) {
    case MultipartResult::kMalformed:
      return TextAnswer(
          http::status::bad_request,
          "malformed request; an upload needs a multipart/form-data body with a file part named \"thescreen\"\n");
    case MultipartResult::kNoSuchPart:
      return TextAnswer(http::status::bad_request, "the body has no file part named \"thescreen\"\n");
    case MultipartResult::kFound:
      break;
  }
  if (part.bytes.empty()) {
    return TextAnswer(http::status::bad_request, "the picture is empty\n");
  }
  // The picture stays in the block the body was read into, unless most of
  // that block is other parts, which the store would hold without counting.
  const bool mostly_picture = part.bytes.size() >= request.body().size() / 2;
  store.Store(name, mostly_picture ? std::make_shared<const ImmutableBytes>(request.body().Release(), part.bytes)
                                   : SharedText(part.bytes));
  return TextAnswer(http::status::ok, "ok");
}

// The uploader's requests: a POST stores a picture, fkt=end deletes the name's pictures.
Response HandleUploaderRequest(Request& request, const RequestTarget& target, PictureStore& store) {
  const std::optional<std::string> name = target.Value("stream_name");
  if (!name) {
    return TextAnswer(http::status::bad_request, "stream_name is missing\n");
  }
  if (!IsValidStreamName(*name)) {
    return TextAnswer(http::status::bad_request, kBadNameText);
  }
  try {
    if (const std::optional<std::string> function = target.Value("fkt"); function) {
      if (*function != "end") {
        return TextAnswer(http::status::bad_request, "unknown fkt; only fkt=end is known\n");
      }
      store.Delete(*name);
      return TextAnswer(http::status::ok, kDeleteAnswer);
    }
    if (request.method() != http::verb::post) {
      return TextAnswer(http::status::bad_request, "send a picture by POST, or fkt=end to delete\n");
    }
    return StorePicture(request, store, *name);
  } catch (const StoreUnavailable&) {
    throw;
  } catch (const std::exception& error) {
    ReportServerLine(error.what());
    return TextAnswer(http::status::internal_server_error, "the server could not change its stored pictures\n");
  }
}

// Whether an If-None-Match list names the ETag; a weak tag matches its strong form, as the comparison there is weak.
bool NamesTag(std::string_view list, std::string_view etag) {
  while (!list.empty()) {
    const std::size_t comma = std::min(list.find(','), list.size());
    std::string_view tag = list.substr(0, comma);
    list.remove_prefix(std::min(comma + 1, list.size()));
    while (!tag.empty() && (tag.front() == ' ' || tag.front() == '\t')) {
      tag.remove_prefix(1);
    }
    while (!tag.empty() && (tag.back() == ' ' || tag.back() == '\t')) {
      tag.remove_suffix(1);
    }
    if (tag.starts_with("W/")) {
      tag.remove_prefix(2);
    }
    if (tag == "*" || tag == etag) {
      return true;
    }
  }
  return false;
}

// The picture with its ETag, or 304 when the request names that ETag already.
Response PictureAnswer(const Request& request, const Picture& picture, std::string_view cache_control) {
  const std::string etag = "\"" + picture.digest + "\"";
  const auto if_none_match = request.find(http::field::if_none_match);
  Response response = if_none_match != request.end() && NamesTag(if_none_match->value(), etag)
                          ? Reply(http::status::not_modified, nullptr, "image/jpeg")
                          : Reply(http::status::ok, picture.bytes, "image/jpeg");
  if (response.result() == http::status::not_modified) {
    // A 304 has no body, but its length would describe one.
    response.erase(http::field::content_length);
  }
  response.set(http::field::etag, etag);
  response.set(http::field::cache_control, cache_control);
  response.set("X-Content-Type-Options", "nosniff");
  response.set("X-Picture-Sequence", std::to_string(picture.sequence));
  return response;
}

Response ServeNewestPicture(const Request& request, const PictureStore& store, const std::string& name,
                            bool behind_view_key) {
  const std::optional<Picture> picture = store.Newest(name);
  if (!picture) {
    return TextAnswer(http::status::not_found, "no picture for this name\n");
  }
  Response response = PictureAnswer(request, *picture, behind_view_key ? kAskEveryTimePrivately : kAskEveryTime);
  response.set("X-Picture-Age-Ms", std::to_string(AgeMs(picture->uploaded_at)));
  return response;
}

// The name's picture of that sequence, while it is the newest; 404 once a newer came, never another picture.
Response ServeSequencePicture(const Request& request, const PictureStore& store, const std::string& name,
                              std::uint64_t sequence, bool behind_view_key) {
  const std::optional<Picture> picture = store.Newest(name);
  if (!picture || picture->sequence != sequence) {
    Response gone = TextAnswer(http::status::not_found, "this picture is no longer the newest of the name\n");
    ForbidCaching(gone);
    return gone;
  }
  return PictureAnswer(request, *picture, behind_view_key ? kKeepForGoodPrivately : kKeepForGood);
}

Response ServeNewestState(const PictureStore& store, const std::string& name) {
  Response response = Reply(http::status::ok, SharedText(NewestStateJson(store, name)), "application/json");
  ForbidCaching(response);
  return response;
}

// The name's state as an event stream of one message; the connection serves a
// GET for it as a lasting stream instead, so this answers only what asks for it otherwise.
Response ServeStateAsEvent(const PictureStore& store, const std::string& name) {
  Response response =
      Reply(http::status::ok, PictureEvents::StateMessage(NewestStateJson(store, name)), "text/event-stream");
  ForbidCaching(response);
  return response;
}

enum class PictureResource { kNewestPicture, kNewestState, kEvents, kSequencePicture };

struct PictureAddress {
  std::string name;
  PictureResource resource;
  std::uint64_t sequence = 0;
};

// NAME/SEQUENCE.jpg, with the sequence in decimal digits.
std::optional<PictureAddress> SplitSequenceAddress(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string_view::npos || !path.ends_with(kPictureExtension)) {
    return std::nullopt;
  }
  const std::string_view digits = path.substr(slash + 1, path.size() - slash - 1 - kPictureExtension.size());
  std::uint64_t sequence = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), sequence);
  if (digits.empty() || error != std::errc() || end != digits.data() + digits.size()) {
    return std::nullopt;
  }
  return PictureAddress{std::string(path.substr(0, slash)), PictureResource::kSequencePicture, sequence};
}

// Splits /pictures/NAME/latest.jpg, /pictures/NAME/latest.json,
// /pictures/NAME/events and /pictures/NAME/SEQUENCE.jpg; nullopt for any
// other path. The name is not checked.
std::optional<PictureAddress> SplitPictureAddress(std::string_view path) {
  if (!path.starts_with(kPicturesPrefix)) {
    return std::nullopt;
  }
  path.remove_prefix(kPicturesPrefix.size());
  for (const auto& [suffix, resource] : {std::pair{kNewestPictureSuffix, PictureResource::kNewestPicture},
                                         std::pair{kNewestStateSuffix, PictureResource::kNewestState},
                                         std::pair{kEventsSuffix, PictureResource::kEvents}}) {
    if (path.ends_with(suffix)) {
      return PictureAddress{std::string(path.substr(0, path.size() - suffix.size())), resource};
    }
  }
  return SplitSequenceAddress(path);
}

// Serves a picture address; nullopt for any other path.
std::optional<Response> ServePictureAddress(const Request& request, std::string_view path, const PictureStore& store,
                                            bool behind_view_key) {
  const std::optional<PictureAddress> address = SplitPictureAddress(path);
  if (!address) {
    return std::nullopt;
  }
  if (!IsValidStreamName(address->name)) {
    return TextAnswer(http::status::bad_request, kBadNameText);
  }
  switch (address->resource) {
    case PictureResource::kNewestPicture:
      return ServeNewestPicture(request, store, address->name, behind_view_key);
    case PictureResource::kSequencePicture:
      return ServeSequencePicture(request, store, address->name, address->sequence, behind_view_key);
    case PictureResource::kNewestState:
      return ServeNewestState(store, address->name);
    case PictureResource::kEvents:
      return ServeStateAsEvent(store, address->name);
  }
  return std::nullopt;
}

Response AnswerGet(Request& request, const RequestTarget& target, PictureStore& store, const AccessKeys& keys) {
  if (target.Has("server")) {
    return HandleUploaderRequest(request, target, store);
  }
  if (target.path == "/") {
    return ServeViewerPage();
  }
  if (std::optional<Response> picture = ServePictureAddress(request, target.path, store, keys.view_key.has_value());
      picture) {
    return std::move(*picture);
  }
  return TextAnswer(http::status::not_found, "not found\n");
}

Response AnswerAllowed(Request& request, const RequestTarget& target, PictureStore& store, const AccessKeys& keys) {
  switch (request.method()) {
    case http::verb::get:
    case http::verb::head:
      return AnswerGet(request, target, store, keys);
    case http::verb::post:
      if (target.Has("server")) {
        return HandleUploaderRequest(request, target, store);
      }
      return TextAnswer(http::status::not_found, "uploads go to an address with ?server&stream_name=NAME\n");
    default: {
      Response refusal = TextAnswer(http::status::method_not_allowed, "only GET, HEAD and POST are answered\n");
      refusal.set(http::field::allow, "GET, HEAD, POST");
      return refusal;
    }
  }
}

}  // namespace

Response TextAnswer(http::status status, std::string_view text) {
  return Reply(status, SharedText(text), "text/plain; charset=utf-8");
}

Response StoreUnavailableAnswer() {
  Response response =
      TextAnswer(http::status::service_unavailable, "the server cannot reach its pictures just now; try again soon\n");
  response.set(http::field::retry_after, "1");
  return response;
}

bool ChangesPictures(std::string_view target, const AccessKeys& keys) {
  return ParseRequestTarget(CheckAccess(target, keys).routed_target).Has("server");
}

std::optional<Response> KeyRefusal(std::string_view target, const AccessKeys& keys) {
  const RequestAccess access = CheckAccess(target, keys);
  const RequestTarget routed = ParseRequestTarget(access.routed_target);
  const bool from_uploader = routed.Has("server");
  if (from_uploader && !access.may_upload) {
    return TextAnswer(http::status::forbidden, "uploads and deletes need the server's upload key in the address\n");
  }
  if (!from_uploader && !access.may_view) {
    return TextAnswer(http::status::forbidden, "this viewer needs its secret address\n");
  }
  // The page's relative addresses would otherwise leave the key behind.
  if (!from_uploader && routed.path.empty()) {
    const std::size_t query = std::min(target.find('?'), target.size());
    Response redirect = TextAnswer(http::status::permanent_redirect, "the viewer is one slash further\n");
    redirect.set(http::field::location, std::string(target.substr(0, query)) + "/" + std::string(target.substr(query)));
    return redirect;
  }
  return std::nullopt;
}

std::optional<std::string> EventStreamName(const Request& request, const AccessKeys& keys) {
  if (request.method() != http::verb::get || KeyRefusal(request.target(), keys)) {
    return std::nullopt;
  }
  const RequestTarget target = ParseRequestTarget(CheckAccess(request.target(), keys).routed_target);
  if (target.Has("server")) {
    return std::nullopt;
  }
  std::optional<PictureAddress> address = SplitPictureAddress(target.path);
  if (!address || address->resource != PictureResource::kEvents || !IsValidStreamName(address->name)) {
    return std::nullopt;
  }
  return std::move(address->name);
}

std::optional<AudienceRole> AudienceOf(std::string_view raw_target, const AccessKeys& keys) {
  if (KeyRefusal(raw_target, keys)) {
    return std::nullopt;
  }
  const RequestTarget target = ParseRequestTarget(CheckAccess(raw_target, keys).routed_target);
  if (target.Has("server")) {
    std::optional<std::string> name = target.Value("stream_name");
    if (!name || !IsValidStreamName(*name)) {
      return std::nullopt;
    }
    return AudienceRole{.kind = AudienceRole::Kind::kUploader, .name = std::move(*name)};
  }
  std::optional<PictureAddress> address = SplitPictureAddress(target.path);
  if (!address || address->resource != PictureResource::kNewestState || !IsValidStreamName(address->name)) {
    return std::nullopt;
  }
  std::string token = target.Value("viewer").value_or("");
  return AudienceRole{.kind = AudienceRole::Kind::kPoller,
                      .name = std::move(address->name),
                      .viewer_token = IsValidStreamName(token) ? std::move(token) : std::string()};
}

Response Answer(Request& request, PictureStore& store, const AccessKeys& keys) {
  const std::string_view raw_target = request.target();
  if (std::optional<Response> refusal = KeyRefusal(raw_target, keys); refusal) {
    return std::move(*refusal);
  }
  try {
    return AnswerAllowed(request, ParseRequestTarget(CheckAccess(raw_target, keys).routed_target), store, keys);
  } catch (const StoreUnavailable&) {
    return StoreUnavailableAnswer();
  }
}

}  // namespace lumivanta::server
