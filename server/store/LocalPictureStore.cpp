#include "server/store/LocalPictureStore.h"

#include <algorithm>
#include <utility>

namespace lumivanta::server {

namespace {

// Sequences start at the start time in microseconds, so a viewer that stays
// open across a restart still sees a new number for every new picture.
std::uint64_t FirstSequence() {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(now).count());
}

// Ended names remembered; about 100 bytes each.
constexpr std::size_t kMaxEndedNames = 10000;

}  // namespace

LocalPictureStore::LocalPictureStore(StoreLimits limits, std::optional<std::filesystem::path> directory)
    : index_(limits, FirstSequence()) {
  if (!directory) {
    return;
  }
  files_.emplace(std::move(*directory));
  for (auto& loaded : files_->LoadAll()) {
    PutLocked(loaded.name, std::move(loaded.bytes), loaded.modified_at);
  }
}

void LocalPictureStore::Store(const std::string& name, PictureBytes bytes) {
  if (Renew(name, *bytes)) {
    return;
  }
  std::optional<PictureFiles::PendingFile> pending;
  NameState state;
  if (files_) {
    // The slow part, writing and flushing, happens before taking the lock.
    pending.emplace(files_->WriteTemporary(*bytes));
  }
  {
    const std::lock_guard lock(mutex_);
    if (files_) {
      // Renaming under the lock keeps the files in the same order as the index.
      files_->Commit(*pending, name);
    }
    PutLocked(name, std::move(bytes), std::chrono::system_clock::now());
    if (ended_.erase(name) > 0) {
      // Rare: only a name that comes back after its delete pays for the search.
      std::erase(ended_order_, name);
    }
    state = StateLocked(name);
  }
  Changed(name, state);
}

bool LocalPictureStore::Renew(const std::string& name, std::string_view bytes) {
  NameState state;
  {
    const std::lock_guard lock(mutex_);
    const auto now = std::chrono::system_clock::now();
    if (!index_.RenewIfSame(name, bytes, now)) {
      return false;
    }
    if (files_) {
      // The file's time is the upload time after a restart; a file that cannot be touched only looks older then.
      std::error_code ignored;
      std::filesystem::last_write_time(files_->PathFor(name), std::chrono::file_clock::from_sys(now), ignored);
    }
    state = StateLocked(name);
  }
  state.renewed = true;
  Changed(name, state);
  return true;
}

void LocalPictureStore::Delete(const std::string& name) {
  {
    const std::lock_guard lock(mutex_);
    if (files_) {
      files_->Remove(name);
    }
    index_.Remove(name);
    if (ended_.insert(name).second) {
      ended_order_.push_back(name);
    }
    if (ended_order_.size() > kMaxEndedNames) {
      ended_.erase(ended_order_.front());
      ended_order_.pop_front();
    }
  }
  Changed(name, NameState{.ended = true});
}

NameState LocalPictureStore::State(const std::string& name) const {
  const std::lock_guard lock(mutex_);
  return StateLocked(name);
}

NameState LocalPictureStore::StateLocked(const std::string& name) const {
  if (const std::optional<Picture> picture = index_.Find(name); picture) {
    return {.newest = NameState::Newest{picture->sequence, picture->uploaded_at, picture->bytes->size()}};
  }
  return {.ended = ended_.contains(name)};
}

std::optional<Picture> LocalPictureStore::Newest(const std::string& name) const {
  const std::lock_guard lock(mutex_);
  return index_.Find(name);
}

void LocalPictureStore::PutLocked(const std::string& name, PictureBytes bytes,
                                  std::chrono::system_clock::time_point uploaded_at) {
  for (const auto& dropped : index_.Put(name, std::move(bytes), uploaded_at)) {
    if (files_) {
      // A file that cannot be removed comes back on the next start, where the bound applies again.
      std::error_code ignored;
      std::filesystem::remove(files_->PathFor(dropped), ignored);
    }
  }
}

}  // namespace lumivanta::server
