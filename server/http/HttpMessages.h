#pragma once

#include <boost/beast/core/buffers_range.hpp>
#include <boost/beast/http.hpp>
#include <boost/optional.hpp>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "server/http/ReceivedBytes.h"
#include "server/store/ImmutableBytes.h"

namespace lumivanta::server {

namespace http = boost::beast::http;

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

// A request body in a block written once as it arrives: the body's length is
// reserved when the header gives it, and each piece is added after the last.
// The connection reads a body of known length straight into the block's room.
struct ReceivedBody {
  using value_type = ReceivedBytes;

  static std::uint64_t size(const value_type& body) { return body.size(); }

  class reader {
   public:
    template <bool kIsRequest, class Fields>
    reader(http::header<kIsRequest, Fields>&, value_type& body) : body_(body) {}

    void init(const boost::optional<std::uint64_t>& length, boost::beast::error_code& error) {
      error = {};
      if (length) {
        if (*length > body_.max_size()) {
          error = http::error::buffer_overflow;
          return;
        }
        body_.Reserve(static_cast<std::size_t>(*length));
      }
    }

    template <class ConstBufferSequence>
    std::size_t put(const ConstBufferSequence& buffers, boost::beast::error_code& error) {
      error = {};
      std::size_t taken = 0;
      for (const auto buffer : boost::beast::buffers_range_ref(buffers)) {
        body_.Append({static_cast<const char*>(buffer.data()), buffer.size()});
        taken += buffer.size();
      }
      return taken;
    }

    void finish(boost::beast::error_code& error) { error = {}; }

   private:
    value_type& body_;
  };
};

using Request = http::request<ReceivedBody>;
using Response = http::response<SharedBytesBody>;

// An answer with the given body, its length set.
inline Response Reply(http::status status, SharedBytes body, std::string_view content_type) {
  Response response(status, 11);
  response.set(http::field::content_type, content_type);
  response.body() = std::move(body);
  response.prepare_payload();
  return response;
}

}  // namespace lumivanta::server
