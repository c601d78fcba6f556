#pragma once

// Replaces a text file as a whole, so that a crash, a full disk or a write
// error never leaves it damaged or missing.
//
// Each replacement also removes the replacement files of the same name that
// earlier saves, killed before their rename, left in its directory: regular
// files named exactly as CFileStream::OpenReplacementFor names them. A
// replacement that a save still holds open is never touched, and a failure
// to remove a leftover changes nothing else.

#include <sys/types.h>

#include <span>
#include <string>
#include <string_view>

namespace lumivanta {

// Writes the lines, each ended by CR LF, to a new file beside name, flushes it
// to disk and renames it over name. On any failure the new file is removed and
// name is left as it was. True when name now holds exactly the lines. Only
// the owner may read and write the file (mode 0600): a file it replaces keeps
// no wider permissions than that.
bool ReplaceFileWithLines(const std::string& name, std::span<const std::string> lines);

// The same for text written as it is. The file keeps the permissions of the
// one it replaces narrowed to new_file_mode; a new one gets new_file_mode
// narrowed by the umask.
bool ReplaceFileWithText(const std::string& name, std::string_view text, mode_t new_file_mode);

}  // namespace lumivanta
