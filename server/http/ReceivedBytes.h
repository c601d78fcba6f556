#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

namespace lumivanta::server {

// A request body's bytes in one block that is never zero-filled: the socket
// reads straight into the room after the bytes, and a picture cut out of the
// body takes the block along instead of copying out of it. Room reserved but
// not yet written costs no memory until the kernel fills it.
class ReceivedBytes {
 public:
  std::size_t size() const { return size_; }
  std::size_t max_size() const { return static_cast<std::size_t>(-1) / 2; }
  std::string_view View() const { return {block_.get(), size_}; }

  // Makes room for at least capacity bytes in all; the bytes move when the block grows.
  void Reserve(std::size_t capacity);
  // The room after the bytes, written in place; Commit then counts the first bytes of it as body bytes.
  char* Room() { return block_.get() + size_; }
  std::size_t RoomSize() const { return capacity_ - size_; }
  void Commit(std::size_t bytes) { size_ += bytes; }
  // Adds bytes at the end, growing the block by half again when it is full.
  void Append(std::string_view bytes);
  // Hands over the block; nothing is left.
  std::unique_ptr<char[]> Release();

 private:
  std::unique_ptr<char[]> block_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace lumivanta::server
