#include "settings/FileStream.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "tests/support/TempDir.h"

namespace lumivanta {
namespace {

using test::ReadWholeFile;
using test::TempDir;
using test::WriteWholeFile;
using Access = CFileStream::Access;

TEST(FileStream, ReadingNeedsAnExistingFileWritingCreatesOne) {
  TempDir dir;
  const std::string name = dir.File("f.txt");
  CFileStream file;
  EXPECT_FALSE(file.Open(name, Access::kRead));
  EXPECT_EQ(file.LastFailure(), "Open()");
  EXPECT_FALSE(std::filesystem::exists(name));
  ASSERT_TRUE(file.Open(name, Access::kReadWrite));
  EXPECT_TRUE(file.WriteLine("first"));
  EXPECT_TRUE(file.WriteLine(""));
  EXPECT_TRUE(file.Flush());
  file.Close();
  EXPECT_EQ(ReadWholeFile(name), "first\r\n\r\n");
  EXPECT_FALSE(file.Open("", Access::kRead));
}

TEST(FileStream, ReadTextStopsAtTheLimitAndAtTheFirstZeroByte) {
  TempDir dir;
  const std::string name = dir.File("f.txt");
  WriteWholeFile(name, std::string("abcdef\0ghi", 10));
  CFileStream file;
  ASSERT_TRUE(file.Open(name, Access::kRead));
  EXPECT_EQ(file.ReadText(4), "abcd");
  EXPECT_EQ(file.ReadText(100), "ef");
  EXPECT_EQ(file.ReadText(100), "");
}

TEST(FileStream, AnOpenFileCannotBeOpenedAgainUntilItIsClosed) {
  TempDir dir;
  const std::string name = dir.File("f.txt");
  WriteWholeFile(name, "x");
  CFileStream first;
  CFileStream second;
  ASSERT_TRUE(first.Open(name, Access::kRead));
  EXPECT_FALSE(second.Open(name, Access::kRead));
  EXPECT_FALSE(second.Open(name, Access::kReadWrite));

  // Nor from another process.
  const pid_t child = ::fork();
  if (child == 0) {
    CFileStream other;
    ::_exit(other.Open(name, Access::kRead) ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_EQ(WEXITSTATUS(status), 1);

  first.Close();
  EXPECT_TRUE(second.Open(name, Access::kRead));
  // Opening again closes what the object held before.
  EXPECT_TRUE(second.Open(name, Access::kReadWrite));
  EXPECT_TRUE(first.Open(name, Access::kReadWrite) == false);
}

TEST(FileStream, DirectoriesAndOtherNonFilesAreRefused) {
  TempDir dir;
  CFileStream file;
  EXPECT_FALSE(file.Open(dir.Path().string(), Access::kRead));
  EXPECT_FALSE(file.Open(dir.Path().string(), Access::kReadWrite));
  EXPECT_FALSE(file.Open("/dev/null", Access::kRead));
}

TEST(FileStream, ClosedStreamsFailSilently) {
  CFileStream file;
  EXPECT_EQ(file.ReadText(10), "");
  EXPECT_EQ(file.LastFailure(), "ReadBuffer()");
  EXPECT_FALSE(file.WriteLine("x"));
  EXPECT_EQ(file.LastFailure(), "WriteBuffer()");
  EXPECT_FALSE(file.Flush());
}

TEST(FileStream, AReplacementIsANewFileBesideTheOldOne) {
  TempDir dir;
  const std::string name = dir.File("settings.lic");
  CFileStream first;
  CFileStream second;
  ASSERT_TRUE(first.OpenReplacementFor(name));
  ASSERT_TRUE(second.OpenReplacementFor(name));
  EXPECT_NE(first.Name(), second.Name());
  EXPECT_EQ(std::filesystem::path(first.Name()).parent_path(), dir.Path());
  EXPECT_TRUE(std::filesystem::path(first.Name()).filename().string().starts_with("settings.lic."));
  EXPECT_FALSE(std::filesystem::exists(name));
}

}  // namespace
}  // namespace lumivanta
