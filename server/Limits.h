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
  // A request body must keep this rate, averaged over kBodyRateWindow (or the
  // body deadline when that is shorter), else the connection is closed.
  std::size_t min_body_bytes_per_second = 8 * kKibibyte;
  // Event streams may hold this share of max_connections, in percent, so that
  // uploads and deletes always find a connection.
  std::size_t event_stream_percent = 90;
};

inline constexpr std::chrono::seconds kBodyRateWindow{10};

// The event streams that RequestLimits allows at once.
inline std::size_t MaxEventStreams(const RequestLimits& limits) {
  return limits.max_connections * limits.event_stream_percent / 100;
}

}  // namespace lumivanta::server
