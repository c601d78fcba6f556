// Feeds arbitrary uploads to lumivanta-server's multipart parser: the first
// line is the Content-Type header's value, the rest the body. A part it
// finds must be bytes of the body, found whole between its delimiters.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "server/MultipartUpload.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t line_end = input.find('\n');
  const std::string_view content_type = input.substr(0, line_end);
  const std::string_view original =
      line_end == std::string_view::npos ? std::string_view() : input.substr(line_end + 1);

  std::string body(original);
  if (lumivanta::server::KeepOnlyPart(body, content_type, "thescreen") != lumivanta::server::MultipartResult::kFound) {
    return 0;
  }
  // The part stands in the body followed by a line that starts a delimiter.
  for (std::size_t at = original.find(body); at != std::string_view::npos; at = original.find(body, at + 1)) {
    if (original.substr(at + body.size()).starts_with("\r\n--")) {
      return 0;
    }
  }
  std::abort();
}
