// Feeds arbitrary bytes to lumivanta-server as one request: the HTTP parser
// with the server's limits, then the routes (names, query, multipart) against
// an in-memory store, without keys and with them, then the answers' serialization.

#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http.hpp>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "server/serve/HttpRoutes.h"
#include "server/store/LocalPictureStore.h"

namespace {

namespace http = boost::beast::http;
using lumivanta::server::LocalPictureStore;

constexpr std::size_t kHeaderLimit = 16 * 1024;
constexpr std::size_t kBodyLimit = 1024 * 1024;

LocalPictureStore& Store() {
  // Small bounds, so that dropping names is reached too.
  static LocalPictureStore store(lumivanta::server::StoreLimits{.max_names = 4, .max_picture_bytes = 64 * 1024},
                                 std::nullopt);
  return store;
}

// An upload key and a view key, so that the key checks and the routes behind them are reached.
const lumivanta::server::AccessKeys& Keys() {
  static const lumivanta::server::AccessKeys keys{.upload_key = "fuzz-upload-key-0123",
                                                  .view_key = "fuzz-view-key-01234"};
  return keys;
}

void Serialize(lumivanta::server::Response response) {
  http::response_serializer<lumivanta::server::SharedBytesBody> serializer(response);
  boost::beast::error_code error;
  while (!serializer.is_done()) {
    serializer.next(error, [&serializer](boost::beast::error_code&, const auto& buffers) {
      serializer.consume(boost::asio::buffer_size(buffers));
    });
    if (error) {
      break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  http::request_parser<lumivanta::server::ReceivedBody> parser;
  parser.header_limit(kHeaderLimit);
  parser.body_limit(kBodyLimit);
  parser.eager(true);
  boost::beast::error_code error;
  parser.put(boost::asio::buffer(data, size), error);
  if (!error && !parser.is_done()) {
    parser.put_eof(error);
  }
  if (error || !parser.is_done()) {
    return 0;
  }
  lumivanta::server::Request request = parser.release();
  lumivanta::server::Request keyed_request(request.base());
  keyed_request.body().Append(request.body().View());
  // The connection asks this first, to hand a viewer's request to an event stream.
  lumivanta::server::EventStreamName(request, {});
  lumivanta::server::EventStreamName(keyed_request, Keys());
  Serialize(lumivanta::server::Answer(request, Store(), {}));
  Serialize(lumivanta::server::Answer(keyed_request, Store(), Keys()));
  return 0;
}
