#pragma once

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>

#include "server/Limits.h"
#include "server/Picture.h"
#include "server/PictureFiles.h"
#include "server/PictureIndex.h"

namespace lumivanta::server {

// The newest picture of every name, safe to use from many threads. Pictures
// live in memory; with a directory they are also kept there as files and
// loaded again on start.
class PictureStore {
 public:
  // Throws std::filesystem::filesystem_error when the directory cannot be used.
  PictureStore(StoreLimits limits, std::optional<std::filesystem::path> directory);

  // Throws std::system_error when the picture cannot be written; nothing changes then.
  void Store(const std::string& name, PictureBytes bytes);
  // Throws std::system_error when the file cannot be deleted; nothing changes then.
  void Delete(const std::string& name);
  std::optional<Picture> Newest(const std::string& name) const;

 private:
  void PutLocked(const std::string& name, PictureBytes bytes, std::chrono::system_clock::time_point uploaded_at);

  mutable std::mutex mutex_;
  PictureIndex index_;
  std::optional<PictureFiles> files_;
};

}  // namespace lumivanta::server
