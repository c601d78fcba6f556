// Feeds arbitrary uploads to lumivanta-server's multipart parser: the first
// line is the Content-Type header's value, the rest the body. A part it
// finds must be a view into the body, followed there by a delimiter's line.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "server/http/MultipartUpload.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t line_end = input.find('\n');
  const std::string_view content_type = input.substr(0, line_end);
  const std::string_view original =
      line_end == std::string_view::npos ? std::string_view() : input.substr(line_end + 1);

  // A copy of its own, so that reading past its end is caught.
  const std::string body(original);
  const lumivanta::server::MultipartPart part = lumivanta::server::FindPart(body, content_type, "thescreen");
  if (part.result != lumivanta::server::MultipartResult::kFound) {
    return 0;
  }
  const char* const begin = body.data();
  const char* const end = begin + body.size();
  if (part.bytes.data() < begin || part.bytes.data() + part.bytes.size() > end ||
      !std::string_view(part.bytes.data() + part.bytes.size(), end).starts_with("\r\n--")) {
    std::abort();
  }
  return 0;
}
