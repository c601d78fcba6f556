#include "server/store/PictureIndex.h"

#include <utility>

#include "server/store/PictureDigest.h"

namespace lumivanta::server {

PictureIndex::PictureIndex(StoreLimits limits, std::uint64_t first_sequence)
    : limits_(limits), next_sequence_(first_sequence) {}

std::vector<std::string> PictureIndex::Put(const std::string& name, PictureBytes bytes,
                                           std::chrono::system_clock::time_point uploaded_at) {
  Remove(name);
  const std::uint64_t sequence = next_sequence_++;
  picture_bytes_total_ += bytes->size();
  names_by_order_.emplace(sequence, name);
  std::string digest = PictureDigest(*bytes);
  pictures_.emplace(name, Entry{Picture{std::move(bytes), sequence, uploaded_at, std::move(digest)}, sequence});

  std::vector<std::string> dropped;
  while (OverLimits() && pictures_.size() > 1) {
    std::string oldest = names_by_order_.begin()->second;
    Remove(oldest);
    dropped.push_back(std::move(oldest));
  }
  return dropped;
}

bool PictureIndex::RenewIfSame(const std::string& name, std::string_view bytes,
                               std::chrono::system_clock::time_point uploaded_at) {
  const auto found = pictures_.find(name);
  if (found == pictures_.end() || *found->second.picture.bytes != bytes) {
    return false;
  }
  Entry& entry = found->second;
  entry.picture.uploaded_at = uploaded_at;
  names_by_order_.erase(entry.order);
  entry.order = next_sequence_++;
  names_by_order_.emplace(entry.order, name);
  return true;
}

bool PictureIndex::Remove(const std::string& name) {
  const auto found = pictures_.find(name);
  if (found == pictures_.end()) {
    return false;
  }
  picture_bytes_total_ -= found->second.picture.bytes->size();
  names_by_order_.erase(found->second.order);
  pictures_.erase(found);
  return true;
}

std::optional<Picture> PictureIndex::Find(const std::string& name) const {
  const auto found = pictures_.find(name);
  if (found == pictures_.end()) {
    return std::nullopt;
  }
  return found->second.picture;
}

bool PictureIndex::OverLimits() const {
  return pictures_.size() > limits_.max_names || picture_bytes_total_ > limits_.max_picture_bytes;
}

}  // namespace lumivanta::server
