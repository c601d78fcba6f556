#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "base/UniqueFd.h"
#include "server/http/HttpMessages.h"

namespace lumivanta::server {

// Sealed memory files holding the same bytes as shared answer bodies that
// are sent again and again (a picture fetched by many viewers), so that
// sendfile() hands the kernel the file's pages instead of copying the bytes
// into every socket. A body gets its file on its second send; the first is
// written as it is, so a picture sent once costs no extra copy. Only the
// most recently sent bodies keep files, within a count and a byte bound.
// Used from the serving thread alone.
class SharedBytesFiles {
 public:
  using File = std::shared_ptr<const UniqueFd>;

  // The file of bytes, or null while it has none, for a body too small or
  // too large to gain, or when the system refuses a file.
  File FileFor(const SharedBytes& bytes);

 private:
  struct Entry {
    std::weak_ptr<const ImmutableBytes> bytes;
    const ImmutableBytes* address = nullptr;
    File file;
    std::size_t size = 0;
    std::size_t sends = 0;
    std::size_t last_use = 0;
  };

  void DropForgotten();
  // Drops the least recently used entries until one more file of size bytes fits.
  void MakeRoom(std::size_t size);

  std::vector<Entry> entries_;
  std::size_t file_bytes_ = 0;
  std::size_t uses_ = 0;
};

}  // namespace lumivanta::server
