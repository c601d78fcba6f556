#pragma once

// The rules the settings page applies to what a user enters. Values read
// from the configuration file are held to the same rules, so that a damaged
// or hand-edited file cannot bring in what the page would never let through.

#include <array>
#include <cstdint>
#include <string_view>

namespace lumivanta {

// The characters a contact name may hold.
inline constexpr std::string_view kContactNameCharacters =
    "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ-_";
// The picture qualities are the indexes of the quality list.
inline constexpr std::uint32_t kPictureQualityCount = 3;
// The target heights of the size list, in list order.
inline constexpr std::array<std::uint32_t, 4> kPictureSizes = {0, 300, 600, 768};
// A lower refresh rate is raised to this one.
inline constexpr std::int32_t kMinimumRefreshRateMs = 500;

// Text a user can type as a web address: UTF-8 without control characters
// or blanks. Empty counts too: the page takes it, and the program then asks
// for the settings again at its next start.
bool IsServerUrlForm(std::string_view url);

// Only the characters of kContactNameCharacters; empty counts too.
bool IsContactNameForm(std::string_view name);

bool IsPictureQuality(std::uint32_t quality);
bool IsPictureSize(std::uint32_t size);
bool IsRefreshRate(std::int32_t refresh_rate_ms);

}  // namespace lumivanta
