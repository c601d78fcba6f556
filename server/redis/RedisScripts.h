#pragma once

#include <string>
#include <string_view>

// The Lua scripts that change the shared store, kept in the .lua files beside
// this one. Each runs in one MULTI/EXEC transaction with the commands that
// write the picture's bytes, so no instance ever sees a half-written name, and
// the bounds hold across every instance at once. The bytes themselves never pass through Lua, which
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

// The scripts' text, each with the shared forget() before it.
// StorePicture.lua: KEYS picture:NAME, ended:NAME, names, sizes, bytes,
// expiry, sequence; ARGV name, size, lifetime_ms, max_names, max_bytes, channel.
const std::string& StoreScript();
// DeletePicture.lua: KEYS picture:NAME, ended:NAME, names, sizes, bytes,
// expiry; ARGV name, lifetime_ms, channel.
const std::string& DeleteScript();

}  // namespace lumivanta::server::redis_scripts
