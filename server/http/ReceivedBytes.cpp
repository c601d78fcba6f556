#include "server/http/ReceivedBytes.h"

#include <algorithm>
#include <cstring>

namespace lumivanta::server {

void ReceivedBytes::Reserve(std::size_t capacity) {
  if (capacity <= capacity_) {
    return;
  }
  std::unique_ptr<char[]> grown = std::make_unique_for_overwrite<char[]>(capacity);
  if (size_ > 0) {
    std::memcpy(grown.get(), block_.get(), size_);
  }
  block_ = std::move(grown);
  capacity_ = capacity;
}

void ReceivedBytes::Append(std::string_view bytes) {
  if (bytes.empty()) {
    return;
  }
  if (bytes.size() > RoomSize()) {
    Reserve(std::max(size_ + bytes.size(), capacity_ + capacity_ / 2));
  }
  std::memcpy(Room(), bytes.data(), bytes.size());
  size_ += bytes.size();
}

std::unique_ptr<char[]> ReceivedBytes::Release() {
  size_ = 0;
  capacity_ = 0;
  return std::move(block_);
}

}  // namespace lumivanta::server
