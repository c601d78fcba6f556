#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
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
  // Gives the name's newest picture a new upload time, and makes it the last
  // to be dropped, when its bytes are these; false otherwise.
  bool RenewIfSame(const std::string& name, std::string_view bytes, std::chrono::system_clock::time_point uploaded_at);
  bool Remove(const std::string& name);
  std::optional<Picture> Find(const std::string& name) const;

  std::size_t NameCount() const { return pictures_.size(); }
  std::size_t PictureBytesTotal() const { return picture_bytes_total_; }

 private:
  bool OverLimits() const;

  StoreLimits limits_;
  struct Entry {
    Picture picture;
    // Where the name stands in the order of dropping: its sequence, or a
    // later number once renewed.
    std::uint64_t order = 0;
  };

  // Hands out both sequences and orders, so each is new.
  std::uint64_t next_sequence_ = 0;
  std::size_t picture_bytes_total_ = 0;
  std::map<std::string, Entry> pictures_;
  std::map<std::uint64_t, std::string> names_by_order_;
};

}  // namespace lumivanta::server
