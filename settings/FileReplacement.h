#pragma once

// Replaces a text file as a whole, so that a crash, a full disk or a write
// error never leaves it damaged or missing.

#include <span>
#include <string>

namespace lumivanta {

// Writes the lines, each ended by CR LF, to a new file beside name, flushes it
// to disk and renames it over name. On any failure the new file is removed and
// name is left as it was. True when name now holds exactly the lines.
bool ReplaceFileWithLines(const std::string& name, std::span<const std::string> lines);

}  // namespace lumivanta
