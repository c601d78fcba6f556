#pragma once

// A CPictureFile that keeps everything in one memory buffer from the C
// library's allocator, growing in steps of 4096 bytes, and can hand the
// buffer to its caller at the end instead of copying it.

#include <cstddef>
#include <cstdint>

#include "pictures/PictureFile.h"

namespace lumivanta {

class CMemoryFile : public CPictureFile {
 public:
  static constexpr std::int32_t kGrowthStep = 4096;

  // Without a buffer the file allocates (and owns) its own once opened. A
  // given buffer stays the caller's: the file reads and overwrites it, and
  // moves to a buffer of its own when a write needs more room.
  CMemoryFile() = default;
  CMemoryFile(std::uint8_t* buffer, std::int32_t size);
  ~CMemoryFile() override;

  // Starts an empty buffer of its own; fails when a buffer exists already.
  bool Open();
  bool Close() override;
  // Empties the file and goes back to its start, keeping the buffer for the
  // next writes; false when there is no buffer.
  bool Truncate();
  std::size_t Read(void* destination, std::size_t item_size, std::size_t count) override;
  std::size_t Write(const void* source, std::size_t item_size, std::size_t count) override;
  bool Seek(std::int64_t offset, int origin) override;
  std::int32_t Tell() override;
  std::int32_t Size() override;
  bool Flush() override;
  bool Eof() override;
  std::int32_t Error() override;
  bool PutByte(std::uint8_t byte) override;
  int GetByte() override;

  std::int32_t Capacity() const { return capacity_; }
  // The file's bytes (Size() of them), in the buffer; null when closed.
  const std::uint8_t* Data() const { return buffer_; }
  // With detach true the caller takes the buffer and frees it with free();
  // the file then leaves it alone.
  std::uint8_t* DetachBuffer(bool detach);

 private:
  bool Grow(std::int64_t needed);

  std::uint8_t* buffer_ = nullptr;
  std::int32_t size_ = 0;
  bool owns_buffer_ = true;
  std::int32_t position_ = 0;
  std::int32_t capacity_ = 0;
};

}  // namespace lumivanta
