#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "server/Picture.h"

namespace lumivanta::server {

// Pictures kept as files NAME.jpg in one directory. A picture is written to a
// temporary file first and renamed over the old one, so a reader or a crash
// never sees half a picture.
class PictureFiles {
 public:
  struct LoadedPicture {
    std::string name;
    PictureBytes bytes;
    std::chrono::system_clock::time_point modified_at;
  };

  // A written and flushed temporary file; removed again unless committed.
  class PendingFile {
   public:
    explicit PendingFile(std::filesystem::path path) : path_(std::move(path)) {}
    PendingFile(PendingFile&& other) noexcept : path_(std::exchange(other.path_, {})) {}
    PendingFile& operator=(PendingFile&&) = delete;
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;
    ~PendingFile();

   private:
    friend class PictureFiles;
    std::filesystem::path path_;
  };

  // Creates the directory when it is missing; throws std::exception when it
  // cannot, or when the path is something other than a directory.
  explicit PictureFiles(std::filesystem::path directory);

  // These throw std::system_error when the file system refuses. A directory
  // removed meanwhile is made again by the next write.
  PendingFile WriteTemporary(std::string_view bytes) const;
  void Commit(PendingFile& pending, std::string_view name) const;
  // Removing a picture that has no file is not an error.
  void Remove(std::string_view name) const;

  // Every stored picture, oldest first. Leftovers of interrupted writes are
  // deleted; files that are not NAME.jpg with a valid name are left alone.
  std::vector<LoadedPicture> LoadAll() const;

  std::filesystem::path PathFor(std::string_view name) const;

 private:
  std::filesystem::path directory_;
};

}  // namespace lumivanta::server
