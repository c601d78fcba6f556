#include "server/store/PictureFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <optional>
#include <stdexcept>
#include <system_error>

#include "base/FileKind.h"
#include "base/Report.h"
#include "base/UniqueFd.h"
#include "server/store/StoreLimits.h"
#include "server/store/StreamName.h"

namespace lumivanta::server {

namespace {

constexpr std::string_view kExtension = ".jpg";
// Never a valid stream name, so never mistaken for a picture.
constexpr std::string_view kTemporaryPrefix = ".incoming-";

[[noreturn]] void ThrowErrno(const std::string& what) { throw std::system_error(errno, std::generic_category(), what); }

void WriteAll(int fd, std::string_view bytes, const std::string& path) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      ThrowErrno("cannot write " + path);
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
}

// Reads a whole regular file; nullopt when it vanished, is not a regular file, or is empty or too big to be ours.
std::optional<PictureFiles::LoadedPicture> ReadPicture(const std::filesystem::path& path, std::string name) {
  // Without waiting, should a named pipe stand under a picture's name.
  UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
  struct stat status = {};
  if (!file.IsValid() || ::fstat(file.Get(), &status) != 0 || !S_ISREG(status.st_mode) || status.st_size <= 0 ||
      static_cast<std::size_t>(status.st_size) > kMaxPictureFileBytes) {
    return std::nullopt;
  }
  std::string bytes(static_cast<std::size_t>(status.st_size), '\0');
  std::size_t filled = 0;
  while (filled < bytes.size()) {
    const ssize_t got = ::read(file.Get(), bytes.data() + filled, bytes.size() - filled);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      return std::nullopt;
    }
    filled += static_cast<std::size_t>(got);
  }
  const auto modified_at =
      std::chrono::system_clock::time_point(std::chrono::duration_cast<std::chrono::system_clock::duration>(
          std::chrono::seconds(status.st_mtim.tv_sec) + std::chrono::nanoseconds(status.st_mtim.tv_nsec)));
  return PictureFiles::LoadedPicture{std::move(name), std::make_shared<const ImmutableBytes>(std::move(bytes)),
                                     modified_at};
}

}  // namespace

PictureFiles::PendingFile::~PendingFile() {
  if (!path_.empty()) {
    ::unlink(path_.c_str());
  }
}

PictureFiles::PictureFiles(std::filesystem::path directory) : directory_(std::move(directory)) {
  struct stat status = {};
  if (::stat(directory_.c_str(), &status) != 0) {
    std::filesystem::create_directories(directory_);
  } else if (!S_ISDIR(status.st_mode)) {
    throw std::runtime_error(directory_.string() + " is not a directory but " + FileKind(status.st_mode));
  }
}

PictureFiles::PendingFile PictureFiles::WriteTemporary(std::string_view bytes) const {
  const std::string temporary = (directory_ / (std::string(kTemporaryPrefix) + "XXXXXX")).string();
  std::string path_template = temporary;
  UniqueFd file(::mkstemp(path_template.data()));
  if (!file.IsValid() && errno == ENOENT) {
    // Someone removed the directory while the server ran: it is made again.
    std::error_code error;
    if (std::filesystem::create_directories(directory_, error)) {
      ReportServerLine("made the store directory " + directory_.string() + " again");
    }
    path_template = temporary;
    file.Reset(::mkstemp(path_template.data()));
  }
  if (!file.IsValid()) {
    ThrowErrno("cannot create a file in " + directory_.string());
  }
  PendingFile pending{std::filesystem::path(path_template)};
  WriteAll(file.Get(), bytes, path_template);
  if (::fsync(file.Get()) != 0) {
    ThrowErrno("cannot flush " + path_template);
  }
  if (!file.Close()) {
    ThrowErrno("cannot close " + path_template);
  }
  return pending;
}

void PictureFiles::Commit(PendingFile& pending, std::string_view name) const {
  const std::filesystem::path target = PathFor(name);
  if (::rename(pending.path_.c_str(), target.c_str()) != 0) {
    ThrowErrno("cannot rename to " + target.string());
  }
  pending.path_.clear();
}

void PictureFiles::Remove(std::string_view name) const {
  const std::filesystem::path target = PathFor(name);
  if (::unlink(target.c_str()) != 0 && errno != ENOENT) {
    ThrowErrno("cannot delete " + target.string());
  }
}

std::vector<PictureFiles::LoadedPicture> PictureFiles::LoadAll() const {
  std::vector<LoadedPicture> loaded;
  for (const auto& entry : std::filesystem::directory_iterator(directory_)) {
    const std::string file_name = entry.path().filename().string();
    if (file_name.starts_with(kTemporaryPrefix)) {
      std::error_code ignored;
      std::filesystem::remove(entry.path(), ignored);
      continue;
    }
    if (!file_name.ends_with(kExtension)) {
      continue;
    }
    std::string name = file_name.substr(0, file_name.size() - kExtension.size());
    if (!IsValidStreamName(name)) {
      continue;
    }
    if (auto picture = ReadPicture(entry.path(), std::move(name))) {
      loaded.push_back(std::move(*picture));
    }
  }
  std::ranges::sort(loaded, [](const LoadedPicture& left, const LoadedPicture& right) {
    return left.modified_at != right.modified_at ? left.modified_at < right.modified_at : left.name < right.name;
  });
  return loaded;
}

std::filesystem::path PictureFiles::PathFor(std::string_view name) const {
  if (!IsValidStreamName(name)) {
    throw std::invalid_argument("not a valid stream name");
  }
  return directory_ / (std::string(name) + std::string(kExtension));
}

}  // namespace lumivanta::server
