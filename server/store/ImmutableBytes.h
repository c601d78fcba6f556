#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace lumivanta::server {

// Bytes that never change once made, shared by the pictures and answers that
// send them. They are a string of their own, or a view into a block that was
// received whole, so a picture cut out of an upload's body keeps the body's
// block instead of being copied out of it. Shared through a pointer only, as
// a view into its own string would not survive a move.
class ImmutableBytes {
 public:
  explicit ImmutableBytes(std::string text) : text_(std::move(text)), view_(text_) {}
  // view lies inside block.
  ImmutableBytes(std::unique_ptr<char[]> block, std::string_view view) : block_(std::move(block)), view_(view) {}
  ImmutableBytes(const ImmutableBytes&) = delete;
  ImmutableBytes& operator=(const ImmutableBytes&) = delete;

  const char* data() const { return view_.data(); }
  std::size_t size() const { return view_.size(); }
  bool empty() const { return view_.empty(); }
  std::string_view view() const { return view_; }
  // Read wherever text is read.
  operator std::string_view() const { return view_; }
  friend bool operator==(const ImmutableBytes& bytes, std::string_view text) { return bytes.view_ == text; }

 private:
  std::string text_;
  std::unique_ptr<char[]> block_;
  std::string_view view_;
};

using SharedBytes = std::shared_ptr<const ImmutableBytes>;

inline SharedBytes SharedText(std::string_view text) {
  return std::make_shared<const ImmutableBytes>(std::string(text));
}

}  // namespace lumivanta::server
