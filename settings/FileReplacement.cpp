#include "settings/FileReplacement.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "base/UniqueFd.h"
#include "settings/FileStream.h"

namespace lumivanta {
namespace {

// The configuration file holds the upload key of a keyed server URL.
constexpr mode_t kOwnerOnlyMode = 0600;

struct CloseDirectory {
  void operator()(DIR* directory) const { ::closedir(directory); }
};
using DirectoryHandle = std::unique_ptr<DIR, CloseDirectory>;

std::string DirectoryOf(const std::string& name) {
  const std::size_t slash = name.rfind('/');
  if (slash == std::string::npos) {
    return ".";
  }
  return slash == 0 ? "/" : name.substr(0, slash);
}

std::string_view BaseNameOf(std::string_view name) {
  const std::size_t slash = name.rfind('/');
  return slash == std::string_view::npos ? name : name.substr(slash + 1);
}

// Makes the rename itself durable; a failure here does not undo the save.
void FlushDirectoryOf(const std::string& name) {
  const UniqueFd directory(::open(DirectoryOf(name).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (directory.IsValid()) {
    ::fsync(directory.Get());
  }
}

// Removes one entry of the directory when it is a regular file that no one
// holds locked: every save keeps its replacement locked until the rename, so
// what can be locked was left by a save that died.
void RemoveIfLeftover(int directory, const std::string& entry) {
  const UniqueFd file(::openat(directory, entry.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  struct stat opened {};
  if (!file.IsValid() || ::fstat(file.Get(), &opened) != 0 || !S_ISREG(opened.st_mode) ||
      ::flock(file.Get(), LOCK_EX | LOCK_NB) != 0) {
    return;
  }
  // The name must still lead to the file that was checked.
  struct stat named {};
  if (::fstatat(directory, entry.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 || named.st_dev != opened.st_dev ||
      named.st_ino != opened.st_ino) {
    return;
  }
  ::unlinkat(directory, entry.c_str(), 0);
}

void RemoveLeftoverReplacements(const std::string& name, const std::string& own_replacement) {
  const std::string_view base_name = BaseNameOf(name);
  const std::string_view own_name = BaseNameOf(own_replacement);
  const DirectoryHandle directory(::opendir(DirectoryOf(name).c_str()));
  if (!directory) {
    return;
  }
  // The names are gathered first: removing entries while reading the
  // directory may make the reading skip or repeat some.
  std::vector<std::string> candidates;
  while (const dirent* entry = ::readdir(directory.get())) {
    const std::string_view entry_name = entry->d_name;
    if (entry_name != own_name && IsReplacementName(entry_name, base_name)) {
      candidates.emplace_back(entry_name);
    }
  }
  for (const std::string& candidate : candidates) {
    RemoveIfLeftover(::dirfd(directory.get()), candidate);
  }
}

template <typename WriteContent>
bool ReplaceFile(const std::string& name, mode_t new_file_mode, WriteContent write_content) {
  CFileStream file;
  if (!file.OpenReplacementFor(name, new_file_mode)) {
    return false;
  }
  RemoveLeftoverReplacements(name, file.Name());
  const bool written = write_content(file) && file.Flush();
  // The replacement stays open, and so locked, until it has its final name:
  // a save running elsewhere meanwhile never takes it for a leftover.
  if (!written || std::rename(file.Name().c_str(), name.c_str()) != 0) {
    ::unlink(file.Name().c_str());
    return false;
  }
  file.Close();
  FlushDirectoryOf(name);
  return true;
}

}  // namespace

bool ReplaceFileWithLines(const std::string& name, std::span<const std::string> lines) {
  return ReplaceFile(name, kOwnerOnlyMode, [lines](CFileStream& file) {
    for (const std::string& line : lines) {
      if (!file.WriteLine(line)) {
        return false;
      }
    }
    return true;
  });
}

bool ReplaceFileWithText(const std::string& name, std::string_view text, mode_t new_file_mode) {
  return ReplaceFile(name, new_file_mode, [text](CFileStream& file) { return file.Write(text); });
}

}  // namespace lumivanta
