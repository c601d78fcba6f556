#pragma once

#include <cstddef>
#include <optional>
#include <utility>

namespace lumivanta::server {

// The bytes of request bodies that may be held at once. A body takes its
// bytes here as they arrive, a read ahead of them, so memory stays bounded
// however many clients upload at the same time, and a body that a header
// merely announces holds nothing. Used from one thread.
class BodyBudget {
 public:
  class Reservation {
   public:
    Reservation(Reservation&& other) noexcept
        : budget_(std::exchange(other.budget_, nullptr)), bytes_(std::exchange(other.bytes_, 0)) {}
    Reservation& operator=(Reservation&&) = delete;
    Reservation(const Reservation&) = delete;
    Reservation& operator=(const Reservation&) = delete;
    ~Reservation() {
      if (budget_ != nullptr) {
        budget_->reserved_ -= bytes_;
      }
    }

    std::size_t Bytes() const { return bytes_; }

    // Holds bytes in all from now on, if they fit; false, changing nothing, when they do not.
    bool GrowTo(std::size_t bytes) {
      if (bytes <= bytes_) {
        return true;
      }
      if (bytes - bytes_ > budget_->capacity_ - budget_->reserved_) {
        return false;
      }
      budget_->reserved_ += bytes - bytes_;
      bytes_ = bytes;
      return true;
    }

   private:
    friend class BodyBudget;
    Reservation(BodyBudget& budget, std::size_t bytes) : budget_(&budget), bytes_(bytes) {}

    BodyBudget* budget_;
    std::size_t bytes_;
  };

  explicit BodyBudget(std::size_t capacity) : capacity_(capacity) {}

  // Nullopt when the bytes do not fit beside the bodies already being received.
  std::optional<Reservation> Reserve(std::size_t bytes) {
    if (bytes > capacity_ - reserved_) {
      return std::nullopt;
    }
    reserved_ += bytes;
    return Reservation(*this, bytes);
  }

 private:
  std::size_t capacity_;
  std::size_t reserved_ = 0;
};

}  // namespace lumivanta::server
