#pragma once

// A file as the picture writers see it: bytes in and out at a position, with
// the C library's stream semantics. The writers do not know where the bytes go.

#include <cstddef>
#include <cstdint>

namespace lumivanta {

class CPictureFile {
 public:
  CPictureFile() = default;
  CPictureFile(const CPictureFile&) = delete;
  CPictureFile& operator=(const CPictureFile&) = delete;
  virtual ~CPictureFile() = default;

  virtual bool Close() = 0;
  // Both return the number of whole items moved.
  virtual std::size_t Read(void* destination, std::size_t item_size, std::size_t count) = 0;
  virtual std::size_t Write(const void* source, std::size_t item_size, std::size_t count) = 0;
  // origin 0: from the start, 1: from the position, 2: from the end.
  virtual bool Seek(std::int64_t offset, int origin) = 0;
  virtual std::int32_t Tell() = 0;
  virtual std::int32_t Size() = 0;
  virtual bool Flush() = 0;
  virtual bool Eof() = 0;
  // Non-zero after an error.
  virtual std::int32_t Error() = 0;
  virtual bool PutByte(std::uint8_t byte) { return Write(&byte, 1, 1) == 1; }
  // The next byte, or -1 at the end.
  virtual int GetByte() = 0;
};

}  // namespace lumivanta
