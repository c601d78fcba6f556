#pragma once

#include <string_view>

// The Lua scripts that change the shared store. Each runs in one MULTI/EXEC
// transaction with the commands that write the picture's bytes, so no
// instance ever sees a half-written name, and the bounds hold across every
// instance at once. The bytes themselves never pass through Lua, which
// costs Redis far more than the command for a string of that size.
//
// Keys, under the prefix "lumivanta:":
//   picture:NAME  hash of the newest picture: jpeg, sequence, uploaded_ms; expires
//   ended:NAME    present while the name counts as ended; expires
//   names         sorted set of the names kept, by sequence (oldest first)
//   sizes         hash of each name's picture size in bytes
//   bytes         the sizes' sum
//   sequence      the last sequence handed out
//   expiry        sorted set of the names kept, by when their picture expires (ms)
// Numbers are formatted with %d throughout: Lua would write large ones in
// floating-point notation and lose digits.

namespace lumivanta::server::redis_scripts {

inline constexpr std::string_view kPrefix = "lumivanta:";
inline constexpr std::string_view kPicturePrefix = "lumivanta:picture:";
inline constexpr std::string_view kEndedPrefix = "lumivanta:ended:";
inline constexpr std::string_view kNames = "lumivanta:names";
inline constexpr std::string_view kSizes = "lumivanta:sizes";
inline constexpr std::string_view kBytes = "lumivanta:bytes";
inline constexpr std::string_view kSequence = "lumivanta:sequence";
inline constexpr std::string_view kExpiry = "lumivanta:expiry";

// Drops a name from the bounds' bookkeeping; its keys are the caller's.
#define LUMIVANTA_FORGET_NAME                         \
  "local function forget(old)\n"                      \
  "  local size = redis.call('HGET', KEYS[4], old)\n" \
  "  if size then\n"                                  \
  "    redis.call('DECRBY', KEYS[5], size)\n"         \
  "    redis.call('HDEL', KEYS[4], old)\n"            \
  "  end\n"                                           \
  "  redis.call('ZREM', KEYS[3], old)\n"              \
  "  redis.call('ZREM', KEYS[6], old)\n"              \
  "end\n"

// KEYS: picture:NAME, ended:NAME, names, sizes, bytes, expiry, sequence
// ARGV: name, picture bytes, lifetime_ms, max_names, max_bytes, channel
// Makes picture:NAME the new picture's, all but its "jpeg" field, which the
// transaction sets next. Returns the picture's sequence; publishes
// "P NAME SEQUENCE UPLOADED_MS BYTES", and "X NAME" for each name dropped for
// the bounds or found expired.
inline constexpr std::string_view kStore = LUMIVANTA_FORGET_NAME
    "local name, size = ARGV[1], ARGV[2]\n"
    "local now = redis.call('TIME')\n"
    "local now_ms = tonumber(now[1]) * 1000 + math.floor(tonumber(now[2]) / 1000)\n"
    // Names whose picture ran out of time leave the bounds.
    "for _, old in ipairs(redis.call('ZRANGEBYSCORE', KEYS[6], '-inf', string.format('%d', now_ms))) do\n"
    "  if redis.call('EXISTS', 'lumivanta:picture:' .. old) == 0 then\n"
    "    forget(old)\n"
    "    redis.call('PUBLISH', ARGV[6], 'X ' .. old)\n"
    "  end\n"
    "end\n"
    // The first sequence is the time in microseconds, so that viewers see new numbers after Redis starts afresh.
    "if redis.call('EXISTS', KEYS[7]) == 0 then\n"
    "  redis.call('SET', KEYS[7], now[1] .. string.format('%06d', tonumber(now[2])))\n"
    "end\n"
    "local sequence = string.format('%d', redis.call('INCR', KEYS[7]))\n"
    "local uploaded_ms = now[1] .. string.format('%03d', math.floor(tonumber(now[2]) / 1000))\n"
    "forget(name)\n"
    "redis.call('DEL', KEYS[1], KEYS[2])\n"
    "redis.call('HSET', KEYS[1], 'sequence', sequence, 'uploaded_ms', uploaded_ms)\n"
    "redis.call('PEXPIRE', KEYS[1], ARGV[3])\n"
    "redis.call('ZADD', KEYS[3], sequence, name)\n"
    "redis.call('ZADD', KEYS[6], string.format('%d', now_ms + tonumber(ARGV[3])), name)\n"
    "redis.call('HSET', KEYS[4], name, size)\n"
    "redis.call('INCRBY', KEYS[5], size)\n"
    // Past either bound the oldest names go; the picture just stored stays.
    "local max_names, max_bytes = tonumber(ARGV[4]), tonumber(ARGV[5])\n"
    "while redis.call('ZCARD', KEYS[3]) > 1 and (redis.call('ZCARD', KEYS[3]) > max_names or\n"
    "      tonumber(redis.call('GET', KEYS[5])) > max_bytes) do\n"
    "  local oldest = redis.call('ZRANGE', KEYS[3], 0, 0)[1]\n"
    "  redis.call('DEL', 'lumivanta:picture:' .. oldest)\n"
    "  forget(oldest)\n"
    "  redis.call('PUBLISH', ARGV[6], 'X ' .. oldest)\n"
    "end\n"
    "redis.call('PUBLISH', ARGV[6], 'P ' .. name .. ' ' .. sequence .. ' ' .. uploaded_ms .. ' ' .. size)\n"
    "return sequence\n";

// KEYS: picture:NAME, ended:NAME, names, sizes, bytes, expiry
// ARGV: name, lifetime_ms, channel
// Publishes "E NAME".
inline constexpr std::string_view kDelete = LUMIVANTA_FORGET_NAME
    "forget(ARGV[1])\n"
    "redis.call('DEL', KEYS[1])\n"
    "redis.call('SET', KEYS[2], '1', 'PX', ARGV[2])\n"
    "redis.call('PUBLISH', ARGV[3], 'E ' .. ARGV[1])\n"
    "return 1\n";

#undef LUMIVANTA_FORGET_NAME

}  // namespace lumivanta::server::redis_scripts
