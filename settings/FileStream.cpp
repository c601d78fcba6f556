#include "settings/FileStream.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>
#include <vector>

namespace lumivanta {
namespace {
constexpr mode_t kNewFileMode = 0666;  // narrowed by the process's umask
constexpr int kReplacementNameAttempts = 100;
constexpr std::string_view kReplacementInfix = ".new-";
constexpr std::string_view kSuffixLetters = "abcdefghijklmnopqrstuvwxyz0123456789";
constexpr std::size_t kSuffixLength = 8;

std::string RandomSuffix() {
  std::random_device source;
  std::uniform_int_distribution<std::size_t> pick(0, kSuffixLetters.size() - 1);
  std::string suffix(kSuffixLength, '0');
  for (char& c : suffix) {
    c = kSuffixLetters[pick(source)];
  }
  return suffix;
}
}  // namespace

bool IsReplacementName(std::string_view entry, std::string_view base_name) {
  if (base_name.empty() || !entry.starts_with(base_name)) {
    return false;
  }
  entry.remove_prefix(base_name.size());
  if (!entry.starts_with(kReplacementInfix)) {
    return false;
  }
  entry.remove_prefix(kReplacementInfix.size());
  return entry.size() == kSuffixLength && entry.find_first_not_of(kSuffixLetters) == std::string_view::npos;
}

CFileStream::~CFileStream() { Close(); }

bool CFileStream::OnError(const char* operation) {
  last_failure_ = operation;
  return false;
}

bool CFileStream::TakeOpenedFile(int fd) {
  UniqueFd file(fd);
  if (!file.IsValid()) {
    return OnError("Open()");
  }
  struct stat info {};
  if (::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    return OnError("Open()");
  }
  if (::flock(file.Get(), LOCK_EX | LOCK_NB) != 0) {
    return OnError("Open()");
  }
  fd_ = std::move(file);
  return true;
}

bool CFileStream::Open(std::string name, Access access) {
  Close();
  name_ = std::move(name);
  if (name_.empty()) {
    return OnError("Open()");
  }
  const int flags = access == Access::kRead ? O_RDONLY : O_RDWR | O_CREAT;
  // Non-blocking, so that a FIFO in place of the file cannot stall the open
  // before it is refused as no regular file; a regular file reads as usual.
  return TakeOpenedFile(::open(name_.c_str(), flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, kNewFileMode));
}

bool CFileStream::OpenReplacementFor(const std::string& name, mode_t new_file_mode) {
  Close();
  if (name.empty()) {
    return OnError("Open()");
  }
  for (int attempt = 0; attempt < kReplacementNameAttempts; ++attempt) {
    name_ = name + std::string(kReplacementInfix) + RandomSuffix();
    const int fd = ::open(name_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, new_file_mode);
    if (fd < 0 && errno == EEXIST) {
      continue;
    }
    if (!TakeOpenedFile(fd)) {
      if (fd >= 0) {
        ::unlink(name_.c_str());
      }
      return false;
    }
    struct stat old_file {};
    if (::stat(name.c_str(), &old_file) == 0 && S_ISREG(old_file.st_mode)) {
      ::fchmod(fd_.Get(), old_file.st_mode & new_file_mode & 0777);
    }
    return true;
  }
  return OnError("Open()");
}

bool CFileStream::ReadBuffer(char* buffer, std::size_t count, std::size_t& bytes_read) {
  bytes_read = 0;
  if (!IsOpen()) {
    return OnError("ReadBuffer()");
  }
  while (bytes_read < count) {
    const ssize_t got = ::read(fd_.Get(), buffer + bytes_read, count - bytes_read);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got < 0) {
      return OnError("ReadBuffer()");
    }
    if (got == 0) {
      break;
    }
    bytes_read += static_cast<std::size_t>(got);
  }
  return true;
}

bool CFileStream::WriteBuffer(const char* data, std::size_t count) {
  if (!IsOpen()) {
    return OnError("WriteBuffer()");
  }
  std::size_t written = 0;
  while (written < count) {
    const ssize_t put = ::write(fd_.Get(), data + written, count - written);
    if (put < 0 && errno == EINTR) {
      continue;
    }
    if (put <= 0) {
      return OnError("WriteBuffer()");
    }
    written += static_cast<std::size_t>(put);
  }
  return true;
}

std::string CFileStream::ReadText(std::size_t max_bytes) {
  std::vector<char> buffer(max_bytes);
  std::size_t bytes_read = 0;
  if (!ReadBuffer(buffer.data(), buffer.size(), bytes_read)) {
    return {};
  }
  std::string text(buffer.data(), bytes_read);
  const std::size_t zero = text.find('\0');
  if (zero != std::string::npos) {
    text.resize(zero);
  }
  return text;
}

bool CFileStream::Write(std::string_view text) { return WriteBuffer(text.data(), text.size()); }

bool CFileStream::WriteLine(std::string_view text) {
  std::string line(text);
  line += "\r\n";
  return WriteBuffer(line.data(), line.size());
}

bool CFileStream::Flush() {
  if (!IsOpen() || ::fsync(fd_.Get()) != 0) {
    return OnError("Flush()");
  }
  return true;
}

void CFileStream::Close() { fd_.Reset(); }

}  // namespace lumivanta
