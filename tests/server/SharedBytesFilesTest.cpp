// The memory files behind bodies sent again and again: the file holds the
// body's bytes exactly, comes only from the second send, and the kept files
// stay within their bounds while bodies come and go.

#include "server/serve/SharedBytesFiles.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace lumivanta::server {
namespace {

SharedBytes Body(std::size_t size, char fill) { return std::make_shared<const std::string>(size, fill); }

std::string Contents(const SharedBytesFiles::File& file, std::size_t size) {
  std::string read(size + 1, '\0');
  const ssize_t got = ::pread(file->Get(), read.data(), read.size(), 0);
  read.resize(got < 0 ? 0 : static_cast<std::size_t>(got));
  return read;
}

TEST(SharedBytesFilesTest, ABodyGetsASealedFileOfItsBytesOnItsSecondSend) {
  SharedBytesFiles files;
  std::string varied(100'000, '\0');
  for (std::size_t i = 0; i < varied.size(); ++i) {
    varied[i] = static_cast<char>(i * 7);
  }
  const SharedBytes body = std::make_shared<const std::string>(varied);
  EXPECT_EQ(files.FileFor(body), nullptr);
  const SharedBytesFiles::File file = files.FileFor(body);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(Contents(file, body->size()), *body);
  EXPECT_EQ(files.FileFor(body), file);
  // Sealed: nobody can change what sockets may still be sending.
  EXPECT_LT(::pwrite(file->Get(), "x", 1, 0), 0);

  // Bodies too small to gain, too large to keep twice, and none at all never get one.
  for (const SharedBytes& other : {Body(100, 's'), Body(9 << 20, 'l'), SharedBytes()}) {
    files.FileFor(other);
    EXPECT_EQ(files.FileFor(other), nullptr);
  }
}

TEST(SharedBytesFilesTest, FilesOfForgottenOrLeastRecentBodiesAreDropped) {
  SharedBytesFiles files;
  // A new body at the address of a forgotten one must not be sent from the old one's file.
  SharedBytes first = Body(50'000, 'a');
  files.FileFor(first);
  const SharedBytesFiles::File first_file = files.FileFor(first);
  ASSERT_NE(first_file, nullptr);
  first.reset();
  const SharedBytes second = Body(50'000, 'b');
  files.FileFor(second);
  EXPECT_EQ(Contents(files.FileFor(second), second->size()), *second);
  // The file stays readable for a send still using it.
  EXPECT_EQ(Contents(first_file, 50'000), std::string(50'000, 'a'));

  // Many bodies of 4 MiB each: the newest always gets its file, the oldest
  // lose theirs, and no more than 32 MiB of files stay open.
  const auto open_files = [] { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); };
  const auto files_before = open_files();
  std::vector<SharedBytes> bodies;
  for (int index = 0; index < 20; ++index) {
    bodies.push_back(Body(4 << 20, static_cast<char>('c' + index % 20)));
    files.FileFor(bodies.back());
    const SharedBytesFiles::File file = files.FileFor(bodies.back());
    ASSERT_NE(file, nullptr) << index;
    EXPECT_EQ(Contents(file, bodies.back()->size()), *bodies.back()) << index;
  }
  EXPECT_LE(open_files() - files_before, 8);
  // The oldest body starts over: its next send has no file.
  EXPECT_EQ(files.FileFor(bodies.front()), nullptr);
}

}  // namespace
}  // namespace lumivanta::server
