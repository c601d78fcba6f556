#include "pictures/MemoryFile.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace lumivanta {
namespace {

constexpr std::int64_t kMaxLength = std::numeric_limits<std::int32_t>::max();

// item_size * count, or -1 when it is 0 or does not fit in the file.
std::int64_t ByteCount(std::size_t item_size, std::size_t count) {
  std::size_t bytes = 0;
  if (__builtin_mul_overflow(item_size, count, &bytes) || bytes == 0 || bytes > static_cast<std::size_t>(kMaxLength)) {
    return -1;
  }
  return static_cast<std::int64_t>(bytes);
}

}  // namespace

CMemoryFile::CMemoryFile(std::uint8_t* buffer, std::int32_t size)
    : buffer_(buffer),
      size_(buffer != nullptr ? std::max(size, 0) : 0),
      owns_buffer_(buffer == nullptr),
      capacity_(size_) {}

CMemoryFile::~CMemoryFile() { Close(); }

bool CMemoryFile::Open() {
  if (buffer_ != nullptr) {
    return false;
  }
  position_ = 0;
  size_ = 0;
  capacity_ = 0;
  buffer_ = static_cast<std::uint8_t*>(std::malloc(1));
  owns_buffer_ = true;
  return buffer_ != nullptr;
}

// A closed file keeps no pointer to a buffer it does not own either, so a
// detached buffer can never be written through it afterwards.
bool CMemoryFile::Close() {
  if (buffer_ != nullptr && owns_buffer_) {
    std::free(buffer_);
  }
  buffer_ = nullptr;
  size_ = 0;
  return true;
}

bool CMemoryFile::Truncate() {
  if (buffer_ == nullptr) {
    return false;
  }
  position_ = 0;
  size_ = 0;
  return true;
}

bool CMemoryFile::Grow(std::int64_t needed) {
  const std::int64_t capacity = needed / kGrowthStep * kGrowthStep + kGrowthStep;
  if (capacity > kMaxLength) {
    return false;
  }
  std::uint8_t* grown = nullptr;
  if (owns_buffer_) {
    grown = static_cast<std::uint8_t*>(std::realloc(buffer_, static_cast<std::size_t>(capacity)));
  } else {
    // The caller's buffer is not ours to reallocate: continue in a copy.
    grown = static_cast<std::uint8_t*>(std::malloc(static_cast<std::size_t>(capacity)));
    if (grown != nullptr && buffer_ != nullptr) {
      std::memcpy(grown, buffer_, static_cast<std::size_t>(size_));
    }
  }
  if (grown == nullptr) {
    return false;
  }
  buffer_ = grown;
  owns_buffer_ = true;
  capacity_ = static_cast<std::int32_t>(capacity);
  return true;
}

std::size_t CMemoryFile::Write(const void* source, std::size_t item_size, std::size_t count) {
  const std::int64_t bytes = ByteCount(item_size, count);
  if (buffer_ == nullptr || source == nullptr || bytes < 0) {
    return 0;
  }
  const std::int64_t end = position_ + bytes;
  if (end > kMaxLength || (end > capacity_ && !Grow(end))) {
    return 0;
  }
  // Bytes skipped by a seek past the end read as zeros, as in a file.
  if (position_ > size_) {
    std::memset(buffer_ + size_, 0, static_cast<std::size_t>(position_ - size_));
  }
  std::memcpy(buffer_ + position_, source, static_cast<std::size_t>(bytes));
  position_ = static_cast<std::int32_t>(end);
  size_ = std::max(size_, position_);
  return count;
}

bool CMemoryFile::PutByte(std::uint8_t byte) { return buffer_ != nullptr && Write(&byte, 1, 1) == 1; }

std::size_t CMemoryFile::Read(void* destination, std::size_t item_size, std::size_t count) {
  const std::int64_t bytes = ByteCount(item_size, count);
  if (buffer_ == nullptr || destination == nullptr || position_ >= size_ || bytes < 0) {
    return 0;
  }
  const std::int64_t copied = std::min<std::int64_t>(bytes, size_ - position_);
  std::memcpy(destination, buffer_ + position_, static_cast<std::size_t>(copied));
  position_ += static_cast<std::int32_t>(copied);
  return static_cast<std::size_t>(copied) / item_size;
}

int CMemoryFile::GetByte() {
  if (Eof()) {
    return -1;
  }
  return buffer_[position_++];
}

bool CMemoryFile::Seek(std::int64_t offset, int origin) {
  if (buffer_ == nullptr) {
    return false;
  }
  std::int64_t base = 0;
  switch (origin) {
    case 0:
      base = 0;
      break;
    case 1:
      base = position_;
      break;
    case 2:
      base = size_;
      break;
    default:
      return false;
  }
  if (offset > kMaxLength || offset < -kMaxLength) {
    return false;
  }
  const std::int64_t target = std::max<std::int64_t>(base + offset, 0);
  if (target > kMaxLength) {
    return false;
  }
  position_ = static_cast<std::int32_t>(target);
  return true;
}

std::int32_t CMemoryFile::Tell() { return buffer_ != nullptr ? position_ : -1; }

std::int32_t CMemoryFile::Size() { return buffer_ != nullptr ? size_ : -1; }

bool CMemoryFile::Flush() { return buffer_ != nullptr; }

bool CMemoryFile::Eof() { return buffer_ == nullptr || position_ >= size_; }

std::int32_t CMemoryFile::Error() {
  if (buffer_ == nullptr) {
    return -1;
  }
  return position_ > size_ ? 1 : 0;
}

std::uint8_t* CMemoryFile::DetachBuffer(bool detach) {
  owns_buffer_ = !detach;
  return buffer_;
}

}  // namespace lumivanta
