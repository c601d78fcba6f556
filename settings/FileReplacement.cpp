#include "settings/FileReplacement.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "base/UniqueFd.h"
#include "settings/FileStream.h"

namespace lumivanta {
namespace {

std::string DirectoryOf(const std::string& name) {
  const std::size_t slash = name.rfind('/');
  if (slash == std::string::npos) {
    return ".";
  }
  return slash == 0 ? "/" : name.substr(0, slash);
}

// Makes the rename itself durable; a failure here does not undo the save.
void FlushDirectoryOf(const std::string& name) {
  const UniqueFd directory(::open(DirectoryOf(name).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (directory.IsValid()) {
    ::fsync(directory.Get());
  }
}

}  // namespace

bool ReplaceFileWithLines(const std::string& name, std::span<const std::string> lines) {
  CFileStream file;
  if (!file.OpenReplacementFor(name)) {
    return false;
  }
  bool written = true;
  for (const std::string& line : lines) {
    if (!file.WriteLine(line)) {
      written = false;
      break;
    }
  }
  written = written && file.Flush();
  const std::string new_name = file.Name();
  file.Close();
  if (!written || std::rename(new_name.c_str(), name.c_str()) != 0) {
    ::unlink(new_name.c_str());
    return false;
  }
  FlushDirectoryOf(name);
  return true;
}

}  // namespace lumivanta
