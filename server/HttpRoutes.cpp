#include "server/HttpRoutes.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <exception>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "server/Limits.h"
#include "server/StreamName.h"
#include "server/ViewerPage.h"

namespace lumivanta::server {

namespace {

constexpr std::string_view kPicturePart = "thescreen";
constexpr std::string_view kPicturesPrefix = "/pictures/";
constexpr std::string_view kNewestPictureSuffix = "/latest.jpg";
constexpr std::string_view kNewestStateSuffix = "/latest.json";
// The uploader reads this exact text, with nothing around it, as a successful delete or connection test.
constexpr std::string_view kDeleteAnswer = "connectok";
constexpr std::string_view kBadNameText = "stream_name must be 1 to 93 characters from A-Z a-z 0-9 _ -\n";

void Reply(httplib::Response& response, int status, std::string_view text) {
  response.status = status;
  response.set_content(text.data(), text.size(), "text/plain; charset=utf-8");
}

void ForbidCaching(httplib::Response& response) {
  response.set_header("Cache-Control", "no-store");
  response.set_header("X-Content-Type-Options", "nosniff");
}

std::int64_t AgeMs(const Picture& picture) {
  const auto age = std::chrono::system_clock::now() - picture.uploaded_at;
  return std::max<std::int64_t>(0, std::chrono::duration_cast<std::chrono::milliseconds>(age).count());
}

void StorePicture(const httplib::Request& request, httplib::Response& response, PictureStore& store,
                  const std::string& name) {
  const std::string part_name(kPicturePart);
  if (!request.has_file(part_name)) {
    Reply(response, 400, "the body has no file part named \"thescreen\"\n");
    return;
  }
  httplib::MultipartFormData part = request.get_file_value(part_name);
  if (part.content.empty()) {
    Reply(response, 400, "the picture is empty\n");
    return;
  }
  store.Store(name, std::make_shared<const std::string>(std::move(part.content)));
  Reply(response, 200, "ok");
}

// The uploader's requests: a POST stores a picture, fkt=end deletes the name's pictures.
void HandleUploaderRequest(const httplib::Request& request, httplib::Response& response, PictureStore& store) {
  if (!request.has_param("stream_name")) {
    Reply(response, 400, "stream_name is missing\n");
    return;
  }
  const std::string name = request.get_param_value("stream_name");
  if (!IsValidStreamName(name)) {
    Reply(response, 400, kBadNameText);
    return;
  }
  try {
    if (request.has_param("fkt")) {
      if (request.get_param_value("fkt") != "end") {
        Reply(response, 400, "unknown fkt; only fkt=end is known\n");
        return;
      }
      store.Delete(name);
      Reply(response, 200, kDeleteAnswer);
      return;
    }
    if (request.method != "POST") {
      Reply(response, 400, "send a picture by POST, or fkt=end to delete\n");
      return;
    }
    StorePicture(request, response, store, name);
  } catch (const std::exception& error) {
    std::cerr << "lumivanta-server: " << error.what() << '\n';
    Reply(response, 500, "the server could not change its stored pictures\n");
  }
}

void ServeNewestPicture(httplib::Response& response, const PictureStore& store, const std::string& name) {
  const std::optional<Picture> picture = store.Newest(name);
  if (!picture) {
    Reply(response, 404, "no picture for this name\n");
    return;
  }
  ForbidCaching(response);
  response.set_header("X-Picture-Sequence", std::to_string(picture->sequence));
  response.set_header("X-Picture-Age-Ms", std::to_string(AgeMs(*picture)));
  // Sends straight from the shared buffer; no lock is held and no copy is made.
  PictureBytes bytes = picture->bytes;
  const std::size_t size = bytes->size();
  response.set_content_provider(
      size, "image/jpeg", [bytes = std::move(bytes)](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
        return sink.write(bytes->data() + offset, length);
      });
}

void ServeNewestState(httplib::Response& response, const PictureStore& store, const std::string& name) {
  const std::optional<Picture> picture = store.Newest(name);
  // Only valid names get here, so the name needs no escaping.
  std::string json = "{\"name\":\"" + name + "\",\"present\":";
  if (picture) {
    json += "true,\"sequence\":" + std::to_string(picture->sequence) +
            ",\"age_ms\":" + std::to_string(AgeMs(*picture)) + ",\"bytes\":" + std::to_string(picture->bytes->size()) +
            "}";
  } else {
    json += "false}";
  }
  ForbidCaching(response);
  response.set_content(json, "application/json");
}

void ServeViewerPage(httplib::Response& response) {
  const std::string_view page = ViewerPageHtml();
  response.set_header("Cache-Control", "no-cache");
  response.set_header("X-Content-Type-Options", "nosniff");
  response.set_header("Content-Security-Policy",
                      "default-src 'none'; img-src 'self' blob: data:; connect-src 'self'; "
                      "script-src 'unsafe-inline'; style-src 'unsafe-inline'; form-action 'self'");
  response.set_content(page.data(), page.size(), "text/html; charset=utf-8");
}

// Serves /pictures/NAME/latest.jpg and /pictures/NAME/latest.json; false for any other path.
bool ServePictureAddress(const httplib::Request& request, httplib::Response& response, const PictureStore& store) {
  std::string_view path = request.path;
  if (!path.starts_with(kPicturesPrefix)) {
    return false;
  }
  path.remove_prefix(kPicturesPrefix.size());
  const bool wants_picture = path.ends_with(kNewestPictureSuffix);
  if (!wants_picture && !path.ends_with(kNewestStateSuffix)) {
    return false;
  }
  const std::string name(
      path.substr(0, path.size() - (wants_picture ? kNewestPictureSuffix.size() : kNewestStateSuffix.size())));
  if (!IsValidStreamName(name)) {
    Reply(response, 400, kBadNameText);
  } else if (wants_picture) {
    ServeNewestPicture(response, store, name);
  } else {
    ServeNewestState(response, store, name);
  }
  return true;
}

httplib::Server::HandlerResponse ExplainError(const httplib::Request&, httplib::Response& response) {
  if (!response.body.empty()) {
    return httplib::Server::HandlerResponse::Unhandled;
  }
  switch (response.status) {
    case 400:
      Reply(response, 400,
            "malformed request; an upload needs a multipart/form-data body with a file part named \"thescreen\"\n");
      break;
    case 413:
      Reply(response, 413,
            "the request body is larger than " + std::to_string(kMaxRequestBodyBytes / kMebibyte) + " MiB\n");
      break;
    case 414:
      Reply(response, 414, "the request address is too long\n");
      break;
    default:
      Reply(response, response.status, "the request was refused\n");
      break;
  }
  return httplib::Server::HandlerResponse::Handled;
}

}  // namespace

void InstallRoutes(httplib::Server& server, PictureStore& store) {
  server.Get(".*", [&store](const httplib::Request& request, httplib::Response& response) {
    if (request.has_param("server")) {
      HandleUploaderRequest(request, response, store);
    } else if (request.path == "/") {
      ServeViewerPage(response);
    } else if (!ServePictureAddress(request, response, store)) {
      Reply(response, 404, "not found\n");
    }
  });
  server.Post(".*", [&store](const httplib::Request& request, httplib::Response& response) {
    if (request.has_param("server")) {
      HandleUploaderRequest(request, response, store);
    } else {
      Reply(response, 404, "uploads go to an address with ?server&stream_name=NAME\n");
    }
  });
  const auto refuse_method = [](const httplib::Request&, httplib::Response& response) {
    response.set_header("Allow", "GET, HEAD, POST");
    Reply(response, 405, "only GET, HEAD and POST are answered\n");
  };
  server.Put(".*", refuse_method);
  server.Patch(".*", refuse_method);
  server.Delete(".*", refuse_method);
  server.Options(".*", refuse_method);
  server.set_error_handler(httplib::Server::HandlerWithResponse(ExplainError));
}

}  // namespace lumivanta::server
