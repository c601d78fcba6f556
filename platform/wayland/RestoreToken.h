#pragma once

// The screen cast's restore token, kept between runs so that a desktop that
// asks the user for consent asks only once:
// $XDG_STATE_HOME/lumivanta/screencast-restore-token, with ~/.local/state
// where XDG_STATE_HOME is unset or not absolute.

#include <filesystem>
#include <string>

namespace lumivanta {

std::filesystem::path RestoreTokenFile();

// The token kept in file; empty when there is none.
std::string LoadRestoreToken(const std::filesystem::path& file);
// Keeps token in file, readable by the user only; an empty token removes the
// file. False when it cannot be written.
bool SaveRestoreToken(const std::filesystem::path& file, const std::string& token);

}  // namespace lumivanta
