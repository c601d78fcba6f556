#pragma once

#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "server/Limits.h"
#include "server/Picture.h"
#include "server/PictureFiles.h"
#include "server/PictureIndex.h"

namespace lumivanta::server {

// The newest picture of every name, safe to use from many threads. Pictures
// live in memory; with a directory they are also kept there as files and
// loaded again on start. It also remembers the names whose uploader deleted
// them, so that a viewer can tell an ended screen from one not yet shared.
class PictureStore {
 public:
  // Called after a name's picture was stored or deleted, on the thread that changed it.
  using ChangeHandler = std::function<void(const std::string& name)>;

  // Throws std::filesystem::filesystem_error when the directory cannot be used.
  PictureStore(StoreLimits limits, std::optional<std::filesystem::path> directory);

  // Throws std::system_error when the picture cannot be written; nothing changes then.
  void Store(const std::string& name, PictureBytes bytes);
  // Throws std::system_error when the file cannot be deleted; nothing changes then.
  void Delete(const std::string& name);
  std::optional<Picture> Newest(const std::string& name) const;
  // True when the name's pictures were deleted and none came since.
  bool Ended(const std::string& name) const;

  void OnChange(ChangeHandler handler) { on_change_ = std::move(handler); }

 private:
  void Changed(const std::string& name) const;
  void PutLocked(const std::string& name, PictureBytes bytes, std::chrono::system_clock::time_point uploaded_at);

  mutable std::mutex mutex_;
  PictureIndex index_;
  std::optional<PictureFiles> files_;
  // The ended names, each once, oldest first, within a bound; the same names as ended_.
  std::deque<std::string> ended_order_;
  std::set<std::string, std::less<>> ended_;
  ChangeHandler on_change_;
};

}  // namespace lumivanta::server
