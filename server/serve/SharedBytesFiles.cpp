#include "server/serve/SharedBytesFiles.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <string_view>

#include "base/ByteSizes.h"

namespace lumivanta::server {

namespace {

// Below this a body costs less to copy than a file's calls.
constexpr std::size_t kSmallestBytes = 16 * kKibibyte;
constexpr std::size_t kLargestBytes = 8 * kMebibyte;
// Bounds on the files kept: descriptors and memory beside the bodies themselves.
constexpr std::size_t kMostFiles = 16;
constexpr std::size_t kMostFileBytes = 32 * kMebibyte;

// A memory file with bytes written once and sealed against any change.
SharedBytesFiles::File SealedFile(std::string_view bytes) {
  UniqueFd file(::memfd_create("lumivanta-answer", MFD_CLOEXEC | MFD_ALLOW_SEALING));
  if (!file.IsValid()) {
    return nullptr;
  }
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t step = ::write(file.Get(), bytes.data() + written, bytes.size() - written);
    if (step <= 0) {
      return nullptr;
    }
    written += static_cast<std::size_t>(step);
  }
  if (::fcntl(file.Get(), F_ADD_SEALS, F_SEAL_WRITE | F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL) != 0) {
    return nullptr;
  }
  return std::make_shared<const UniqueFd>(std::move(file));
}

}  // namespace

SharedBytesFiles::File SharedBytesFiles::FileFor(const SharedBytes& bytes) {
  if (!bytes || bytes->size() < kSmallestBytes || bytes->size() > kLargestBytes) {
    return nullptr;
  }
  // A live entry at the same address holds the same bytes: shared bytes never change while alive.
  const auto find = [&] {
    return std::ranges::find_if(entries_, [&](const Entry& entry) { return entry.address == bytes.get(); });
  };
  DropForgotten();
  ++uses_;
  if (find() == entries_.end()) {
    entries_.push_back({.bytes = bytes, .address = bytes.get()});
  }
  find()->last_use = uses_;
  MakeRoom(0);
  auto found = find();
  if (++found->sends < 2) {
    return nullptr;
  }
  if (!found->file) {
    MakeRoom(bytes->size());
    found = find();
    found->file = SealedFile(*bytes);
    if (!found->file) {
      return nullptr;
    }
    found->size = bytes->size();
    file_bytes_ += found->size;
  }
  return found->file;
}

void SharedBytesFiles::DropForgotten() {
  std::erase_if(entries_, [this](const Entry& entry) {
    if (!entry.bytes.expired()) {
      return false;
    }
    file_bytes_ -= entry.size;
    return true;
  });
}

void SharedBytesFiles::MakeRoom(std::size_t size) {
  while (entries_.size() > kMostFiles || file_bytes_ + size > kMostFileBytes) {
    // The least recently used; never the body being sent just now, which holds the newest mark.
    const auto oldest = std::ranges::min_element(entries_, {}, &Entry::last_use);
    if (oldest == entries_.end() || oldest->last_use == uses_) {
      return;
    }
    file_bytes_ -= oldest->size;
    entries_.erase(oldest);
  }
}

}  // namespace lumivanta::server
