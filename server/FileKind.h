#pragma once

#include <sys/stat.h>

#include <string>

namespace lumivanta::server {

// What a file is, for messages: "a regular file", "a directory", "a named pipe", ...
inline std::string FileKind(mode_t mode) {
  switch (mode & S_IFMT) {
    case S_IFREG:
      return "a regular file";
    case S_IFDIR:
      return "a directory";
    case S_IFIFO:
      return "a named pipe";
    case S_IFSOCK:
      return "a socket";
    case S_IFCHR:
    case S_IFBLK:
      return "a device";
    default:
      return "a special file";
  }
}

}  // namespace lumivanta::server
