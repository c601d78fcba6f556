#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "server/store/Picture.h"
#include "server/store/StoreLimits.h"

namespace lumivanta::server {

// The newest picture of every name, kept within StoreLimits. Not thread-safe.
class PictureIndex {
 public:
  PictureIndex(StoreLimits limits, std::uint64_t first_sequence);

  // Makes the picture the name's newest and returns the names dropped to stay
  // within the limits, oldest first. The picture just put is never dropped.
  std::vector<std::string> Put(const std::string& name, PictureBytes bytes,
                               std::chrono::system_clock::time_point uploaded_at);
  bool Remove(const std::string& name);
  std::optional<Picture> Find(const std::string& name) const;

  std::size_t NameCount() const { return pictures_.size(); }
  std::size_t PictureBytesTotal() const { return picture_bytes_total_; }

 private:
  bool OverLimits() const;

  StoreLimits limits_;
  std::uint64_t next_sequence_ = 0;
  std::size_t picture_bytes_total_ = 0;
  std::map<std::string, Picture> pictures_;
  std::map<std::uint64_t, std::string> names_by_sequence_;
};

}  // namespace lumivanta::server
