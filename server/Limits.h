#pragma once

#include <chrono>
#include <cstddef>

namespace lumivanta::server {

inline constexpr std::size_t kMebibyte = 1024 * 1024;
inline constexpr std::size_t kKibibyte = 1024;

// The default limit of a request body, and so of a picture file loaded from the store directory.
inline constexpr std::size_t kMaxRequestBodyBytes = 32 * kMebibyte;

// Bound on what the server keeps: past either number the names whose newest
// picture is oldest are dropped first.
struct StoreLimits {
  std::size_t max_names = 1000;
  std::size_t max_picture_bytes = 256 * kMebibyte;
};

// Bounds on the requests being received, each counted on the bytes that
// actually arrive.
struct RequestLimits {
  // Larger request bodies are refused with 413, chunked or not.
  std::size_t max_body_bytes = kMaxRequestBodyBytes;
  // Request line and header fields together; more is refused with 431.
  std::size_t max_header_bytes = 16 * kKibibyte;
  // All request bodies being received at once; a body that does not fit is refused with 503.
  std::size_t max_bodies_in_flight_bytes = 48 * kMebibyte;
  // Open connections; more are refused with 503 and closed.
  std::size_t max_connections = 4000;
  // A whole request header must arrive within this time, else the connection is closed.
  std::chrono::seconds header_timeout{10};
  // A whole request body must arrive within this time, and an answer must be taken within it.
  std::chrono::seconds body_timeout{120};
};

}  // namespace lumivanta::server
