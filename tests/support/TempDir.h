#pragma once

// A fresh directory for one test, removed with everything in it afterwards.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace lumivanta::test {

class TempDir {
 public:
  TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir();

  const std::filesystem::path& Path() const { return path_; }
  std::string File(std::string_view name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// Makes a directory the current one for the lifetime of the object.
class ScopedCurrentDirectory {
 public:
  explicit ScopedCurrentDirectory(const std::filesystem::path& directory);
  ScopedCurrentDirectory(const ScopedCurrentDirectory&) = delete;
  ScopedCurrentDirectory& operator=(const ScopedCurrentDirectory&) = delete;
  ~ScopedCurrentDirectory();

 private:
  std::filesystem::path previous_;
};

std::string ReadWholeFile(const std::string& name);
void WriteWholeFile(const std::string& name, std::string_view content);

// Sets an environment variable for as long as the object lives, then puts back what was there.
class ScopedEnvironment {
 public:
  ScopedEnvironment(std::string name, const std::string& value);
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
  ~ScopedEnvironment();

 private:
  std::string name_;
  std::optional<std::string> previous_;
};

}  // namespace lumivanta::test
