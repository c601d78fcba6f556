#pragma once

#include <deque>
#include <filesystem>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "server/store/PictureFiles.h"
#include "server/store/PictureIndex.h"
#include "server/store/PictureStore.h"
#include "server/store/StoreLimits.h"

namespace lumivanta::server {

// Pictures in this process's memory; with a directory they are also kept
// there as files and loaded again on start. It also remembers the names
// whose uploader deleted them, so that a viewer can tell an ended screen from
// one not yet shared.
class LocalPictureStore final : public PictureStore {
 public:
  // Throws std::exception, saying why, when the directory cannot be used.
  LocalPictureStore(StoreLimits limits, std::optional<std::filesystem::path> directory);

  void Store(const std::string& name, PictureBytes bytes) override;
  void Delete(const std::string& name) override;
  std::optional<Picture> Newest(const std::string& name) const override;
  NameState State(const std::string& name) const override;
  bool ReadsMayWait() const override { return false; }
  // Writing and flushing a picture file waits on the disk.
  bool ChangesMayWait() const override { return files_.has_value(); }

 private:
  // Renews the name's newest picture when these are its bytes, and tells the viewers.
  bool Renew(const std::string& name, std::string_view bytes);
  NameState StateLocked(const std::string& name) const;
  void PutLocked(const std::string& name, PictureBytes bytes, std::chrono::system_clock::time_point uploaded_at);

  mutable std::mutex mutex_;
  PictureIndex index_;
  std::optional<PictureFiles> files_;
  // The ended names, each once, oldest first, within a bound; the same names as ended_.
  std::deque<std::string> ended_order_;
  std::set<std::string, std::less<>> ended_;
};

}  // namespace lumivanta::server
