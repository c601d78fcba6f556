#pragma once

#include <boost/beast/http.hpp>
#include <boost/optional.hpp>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace lumivanta::server {

namespace http = boost::beast::http;

// Shared, unchanging bytes: the same type as a stored picture's bytes, so a
// picture is sent straight from the store's buffer.
using SharedBytes = std::shared_ptr<const std::string>;

// An answer body of shared bytes, sent without a copy and without a lock.
struct SharedBytesBody {
  using value_type = SharedBytes;

  static std::uint64_t size(const value_type& bytes) { return bytes ? bytes->size() : 0; }

  class writer {
   public:
    using const_buffers_type = boost::asio::const_buffer;

    template <bool kIsRequest, class Fields>
    writer(const http::header<kIsRequest, Fields>&, const value_type& bytes) : bytes_(bytes) {}

    void init(boost::beast::error_code& error) { error = {}; }

    boost::optional<std::pair<const_buffers_type, bool>> get(boost::beast::error_code& error) {
      error = {};
      if (sent_ || !bytes_ || bytes_->empty()) {
        return boost::none;
      }
      sent_ = true;
      return std::make_pair(const_buffers_type(bytes_->data(), bytes_->size()), false);
    }

   private:
    const value_type& bytes_;
    bool sent_ = false;
  };
};

using Request = http::request<http::string_body>;
using Response = http::response<SharedBytesBody>;

inline SharedBytes SharedText(std::string_view text) { return std::make_shared<const std::string>(text); }

// An answer with the given body, its length set.
inline Response Reply(http::status status, SharedBytes body, std::string_view content_type) {
  Response response(status, 11);
  response.set(http::field::content_type, content_type);
  response.body() = std::move(body);
  response.prepare_payload();
  return response;
}

}  // namespace lumivanta::server
