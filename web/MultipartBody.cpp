// The multipart/form-data body of a request, byte for byte:
//   field:  "--" B CRLF "Content-Disposition: form-data; name="N"" CRLF CRLF value CRLF
//   file:   "--" B CRLF "Content-Disposition: form-data; name="N"; filename="F"" CRLF
//           "Content-Type: " type CRLF CRLF content CRLF
//   end:    "--" B "--" CRLF
// Names, values and contents are inserted unchanged, without escaping.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

#include "base/UniqueFd.h"
#include "web/ContentType.h"
#include "web/WebRequest.h"

namespace lumivanta {
namespace {

constexpr std::size_t kFieldAllowance = 8192;
constexpr std::size_t kFilePartAllowance = 6144;
constexpr std::size_t kFileScratchExtra = 6145;
constexpr std::size_t kReadChunkBytes = 1024;
constexpr std::string_view kCrLf = "\r\n";

// A zero-filled buffer of fixed size that never writes past its end.
class ScratchBuffer {
 public:
  explicit ScratchBuffer(std::size_t capacity) : bytes_(capacity, 0) {}

  void Append(std::string_view text) { Append(text.data(), text.size()); }
  void Append(const void* data, std::size_t size) {
    const std::size_t taken = std::min(size, bytes_.size() - used_);
    std::copy_n(static_cast<const char*>(data), taken, bytes_.data() + used_);
    used_ += taken;
  }
  char* End() { return bytes_.data() + used_; }
  std::size_t Room() const { return bytes_.size() - used_; }
  void Grow(std::size_t size) { used_ += std::min(size, Room()); }
  void CopyTo(std::vector<char>& body) const { body.insert(body.end(), bytes_.begin(), bytes_.begin() + used_); }

 private:
  std::vector<char> bytes_;
  std::size_t used_ = 0;
};

UniqueFd OpenForReading(const std::string& path) {
  return UniqueFd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
}

std::size_t FileSize(const UniqueFd& file) {
  struct stat info {};
  if (!file.IsValid() || ::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    return 0;
  }
  return static_cast<std::size_t>(info.st_size);
}

bool ContentFromMemory(const WebFormItem& item) { return item.data != nullptr && item.data_size != 0; }

std::size_t Allowance(const WebFormItem& item) {
  if (item.kind == ItemField) {
    return kFieldAllowance;
  }
  if (item.kind != ItemFile) {
    return 0;
  }
  if (ContentFromMemory(item)) {
    return kFilePartAllowance + item.data_size;
  }
  return kFilePartAllowance + FileSize(OpenForReading(item.value));
}

void AppendDelimiter(ScratchBuffer& part, std::string_view boundary) {
  part.Append("--");
  part.Append(boundary);
  part.Append(kCrLf);
}

void AppendFieldPart(std::vector<char>& body, const WebFormItem& item, std::string_view boundary) {
  ScratchBuffer part(kFieldAllowance);
  AppendDelimiter(part, boundary);
  part.Append("Content-Disposition: form-data; name=\"");
  part.Append(item.name);
  part.Append("\"\r\n\r\n");
  part.Append(item.value);
  part.Append(kCrLf);
  part.CopyTo(body);
}

void AppendFileHeader(ScratchBuffer& part, const WebFormItem& item, std::string_view boundary) {
  AppendDelimiter(part, boundary);
  part.Append("Content-Disposition: form-data; name=\"");
  part.Append(item.name);
  part.Append("\"; filename=\"");
  part.Append(item.value);
  part.Append("\"\r\nContent-Type: ");
  part.Append(ContentTypeForFile(item.value));
  part.Append("\r\n\r\n");
}

// Reads at most size bytes in chunks; a file that cannot be read gives what was read so far.
void AppendFileContent(ScratchBuffer& part, const UniqueFd& file, std::size_t size) {
  std::size_t remaining = std::min(size, part.Room());
  while (file.IsValid() && remaining > 0) {
    const ssize_t got = ::read(file.Get(), part.End(), std::min(remaining, kReadChunkBytes));
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      break;
    }
    part.Grow(static_cast<std::size_t>(got));
    remaining -= static_cast<std::size_t>(got);
  }
}

void AppendFilePart(std::vector<char>& body, const WebFormItem& item, std::string_view boundary) {
  if (ContentFromMemory(item)) {
    // The content goes straight into the body: the header always fits its
    // scratch, so nothing of the content is ever cut.
    ScratchBuffer header(kFileScratchExtra);
    AppendFileHeader(header, item, boundary);
    header.CopyTo(body);
    body.insert(body.end(), item.data, item.data + item.data_size);
    body.insert(body.end(), kCrLf.begin(), kCrLf.end());
    return;
  }
  const UniqueFd file = OpenForReading(item.value);
  const std::size_t size = FileSize(file);
  ScratchBuffer part(size + kFileScratchExtra);
  AppendFileHeader(part, item, boundary);
  AppendFileContent(part, file, size);
  part.Append(kCrLf);
  part.CopyTo(body);
}

}  // namespace

std::size_t CWebRequest::BuildMultipartBody(std::vector<char>& body, std::string_view boundary) const {
  body.clear();
  const std::size_t closing_length = 2 + boundary.size() + 2 + kCrLf.size();
  std::size_t allowance = closing_length;
  for (const WebFormItem& item : form_items_) {
    allowance += Allowance(item);
  }
  body.reserve(allowance);

  for (const WebFormItem& item : form_items_) {
    if (item.kind == ItemField) {
      AppendFieldPart(body, item, boundary);
    } else if (item.kind == ItemFile) {
      AppendFilePart(body, item, boundary);
    }
  }
  ScratchBuffer closing(closing_length);
  closing.Append("--");
  closing.Append(boundary);
  closing.Append("--");
  closing.Append(kCrLf);
  closing.CopyTo(body);
  return body.size();
}

}  // namespace lumivanta
