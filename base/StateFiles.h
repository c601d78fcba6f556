#pragma once

// The program's state kept between runs, apart from its settings: files in
// $XDG_STATE_HOME/lumivanta/, with ~/.local/state where XDG_STATE_HOME is
// unset or not absolute.

#include <filesystem>
#include <string>

namespace lumivanta {

// The state file with this name; empty where neither XDG_STATE_HOME nor
// HOME is an absolute path.
std::filesystem::path StateFile(const std::string& name);

// Writes text into file, readable by the user only, making its folder where
// missing. Written beside and renamed over, so that a run that ends midway
// leaves the old file. False when it cannot be written.
bool WriteStateFile(const std::filesystem::path& file, const std::string& text);

}  // namespace lumivanta
