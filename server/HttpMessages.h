#pragma once

#include <boost/beast/http.hpp>
#include <boost/optional.hpp>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "server/Picture.h"

namespace lumivanta::server {

namespace http = boost::beast::http;

// An answer body of shared, unchanging bytes: a stored picture is sent
// straight from the store's buffer, without a copy and without a lock.
struct SharedBytesBody {
  using value_type = PictureBytes;

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

inline PictureBytes SharedText(std::string_view text) { return std::make_shared<const std::string>(text); }

}  // namespace lumivanta::server
