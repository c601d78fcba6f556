#pragma once

// Limits that keep every request from blocking for ever.

namespace lumivanta::http_timeouts {

// Connecting (name lookup included) gives up after this long.
inline constexpr long kConnectTimeoutMs = 10'000;

// A transfer that moves fewer than kLowSpeedLimitBytesPerSecond for
// kLowSpeedTimeSeconds in a row is abandoned; this includes a server that
// accepts the connection and never answers.
inline constexpr long kLowSpeedLimitBytesPerSecond = 1;
inline constexpr long kLowSpeedTimeSeconds = 30;

}  // namespace lumivanta::http_timeouts
