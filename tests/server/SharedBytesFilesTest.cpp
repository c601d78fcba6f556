// The memory files behind bodies sent again and again (their bytes on the
// wire are checked end to end in ProtocolTest).

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

SharedBytes Body(std::size_t size, char fill) { return SharedText(std::string(size, fill)); }

char FirstByte(const SharedBytesFiles::File& file) {
  char byte = 0;
  return ::pread(file->Get(), &byte, 1, 0) == 1 ? byte : '\0';
}

TEST(SharedBytesFilesTest, FilesComeOnTheSecondSendAreSealedAndStayWithinTheirBounds) {
  SharedBytesFiles files;
  SharedBytes first = Body(50'000, 'a');
  EXPECT_EQ(files.FileFor(first), nullptr);
  const SharedBytesFiles::File first_file = files.FileFor(first);
  ASSERT_NE(first_file, nullptr);
  EXPECT_LT(::pwrite(first_file->Get(), "x", 1, 0), 0);
  // Too small to gain, too large to keep twice, or none: never a file.
  for (const SharedBytes& other : {Body(100, 's'), Body(9 << 20, 'l'), SharedBytes()}) {
    files.FileFor(other);
    EXPECT_EQ(files.FileFor(other), nullptr);
  }
  // A new body, perhaps at a forgotten one's address, never gets the old file, which stays readable.
  first.reset();
  const SharedBytes second = Body(50'000, 'b');
  files.FileFor(second);
  EXPECT_EQ(FirstByte(files.FileFor(second)), 'b');
  EXPECT_EQ(FirstByte(first_file), 'a');

  // Bodies of 4 MiB: the newest always gets its file, the oldest lose theirs, at most 32 MiB stay open.
  const auto open_files = [] { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); };
  const auto files_before = open_files();
  std::vector<SharedBytes> bodies;
  for (int index = 0; index < 20; ++index) {
    bodies.push_back(Body(4 << 20, static_cast<char>('c' + index)));
    files.FileFor(bodies.back());
    EXPECT_EQ(FirstByte(files.FileFor(bodies.back())), 'c' + index);
  }
  EXPECT_LE(open_files() - files_before, 8);
  EXPECT_EQ(files.FileFor(bodies.front()), nullptr);
}

}  // namespace
}  // namespace lumivanta::server
