#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

#include "server/store/Picture.h"

namespace lumivanta::server {

// The store cannot be reached for now; the request may be tried again later.
class StoreUnavailable : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What a viewer may know of a name without its picture's bytes.
struct NameState {
  struct Newest {
    std::uint64_t sequence = 0;
    std::chrono::system_clock::time_point uploaded_at;
    std::size_t bytes = 0;
  };
  std::optional<Newest> newest;
  // The uploader deleted the name's pictures and none came since.
  bool ended = false;
  // The change was an upload of the newest picture's own bytes: only its time
  // was renewed, so viewers need not fetch it again.
  bool renewed = false;
};

// The newest picture of every name, safe to use from many threads.
class PictureStore {
 public:
  // Called after a name's picture was stored or deleted, from any thread.
  using ChangeHandler = std::function<void(const std::string& name, const NameState& state)>;
  // Called when changes may have been missed, so that followers read the states again.
  using StaleHandler = std::function<void()>;

  virtual ~PictureStore() = default;

  // Each throws StoreUnavailable when the store cannot be reached, and
  // std::system_error when it cannot be changed; nothing changes then.
  // Storing the bytes of the name's newest picture again renews its upload
  // time and lifetime, keeping its sequence.
  virtual void Store(const std::string& name, PictureBytes bytes) = 0;
  virtual void Delete(const std::string& name) = 0;
  virtual std::optional<Picture> Newest(const std::string& name) const = 0;
  virtual NameState State(const std::string& name) const = 0;

  // Whether reading or changing may wait, on another machine or on a disk;
  // such calls run on the store's workers, never on the serving thread.
  virtual bool ReadsMayWait() const = 0;
  virtual bool ChangesMayWait() const = 0;
  // The longest a call may wait, where the store has such a limit: a request
  // that waited for a worker longer than this is told to come again instead.
  virtual std::optional<std::chrono::milliseconds> TimeLimit() const { return std::nullopt; }

  // Starts and stops hearing the changes made by other instances sharing
  // the store; the handlers are set first, and outlive the following.
  virtual void FollowChanges() {}
  virtual void StopFollowing() {}

  // Set before the store is shared between threads.
  void OnChange(ChangeHandler handler) { on_change_ = std::move(handler); }
  void OnStale(StaleHandler handler) { on_stale_ = std::move(handler); }

 protected:
  void Changed(const std::string& name, const NameState& state) const {
    if (on_change_) {
      on_change_(name, state);
    }
  }
  void Stale() const {
    if (on_stale_) {
      on_stale_();
    }
  }

 private:
  ChangeHandler on_change_;
  StaleHandler on_stale_;
};

}  // namespace lumivanta::server
