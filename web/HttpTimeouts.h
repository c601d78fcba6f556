#pragma once

// Limits that keep every request from blocking for ever.

#include <chrono>

namespace lumivanta::http_timeouts {

// Connecting (name lookup included) gives up after this long.
inline constexpr long kConnectTimeoutMs = 10'000;

// A transfer that moves fewer than kLowSpeedLimitBytesPerSecond for
// kLowSpeedTimeSeconds in a row is abandoned; this includes a server that
// accepts the connection and never answers.
inline constexpr long kLowSpeedLimitBytesPerSecond = 1;
inline constexpr long kLowSpeedTimeSeconds = 30;

// Whole exchanges, from the start of the name lookup to the last byte of the
// answer: a server that answers too slowly to trip the low-speed limit is
// still abandoned after these.
inline constexpr std::chrono::milliseconds kConnectionTestTotal{10'000};
inline constexpr std::chrono::milliseconds kDeleteRequestTotal{10'000};
inline constexpr std::chrono::milliseconds kUploadTotal{60'000};

// The bound of a request whose caller set none: the longest of the above.
inline constexpr std::chrono::milliseconds kDefaultTotal = kUploadTotal;
static_assert(kDefaultTotal >= kConnectionTestTotal && kDefaultTotal >= kDeleteRequestTotal);

}  // namespace lumivanta::http_timeouts
