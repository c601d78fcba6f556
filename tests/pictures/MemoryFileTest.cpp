#include "pictures/MemoryFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "pictures/MallocBuffer.h"

namespace lumivanta {
namespace {

TEST(CMemoryFile, GrowsInStepsOf4096AboveTheNeededLength) {
  CMemoryFile file;
  ASSERT_TRUE(file.Open());
  EXPECT_EQ(file.Capacity(), 0);
  const std::vector<std::uint8_t> piece(4096, 0xAB);
  EXPECT_EQ(file.Write(piece.data(), 1, 4096), 4096u);
  EXPECT_EQ(file.Capacity(), 8192);
  EXPECT_EQ(file.Size(), 4096);
  EXPECT_EQ(file.Write(piece.data(), 4, 1024), 1024u);
  EXPECT_EQ(file.Capacity(), 8192);
  EXPECT_TRUE(file.PutByte(7));
  EXPECT_EQ(file.Capacity(), 12288);
  EXPECT_EQ(file.Size(), 8193);
  EXPECT_EQ(file.Write(piece.data(), 1, 4095), 4095u);
  EXPECT_EQ(file.Capacity(), 12288);  // exactly full
  EXPECT_TRUE(file.PutByte(8));
  EXPECT_EQ(file.Capacity(), 16384);
}

TEST(CMemoryFile, WithoutABufferEverythingFails) {
  CMemoryFile file;
  const std::uint8_t byte = 1;
  std::uint8_t out = 0;
  EXPECT_EQ(file.Write(&byte, 1, 1), 0u);
  EXPECT_FALSE(file.PutByte(1));
  EXPECT_EQ(file.Read(&out, 1, 1), 0u);
  EXPECT_EQ(file.GetByte(), -1);
  EXPECT_FALSE(file.Seek(0, 0));
  EXPECT_EQ(file.Tell(), -1);
  EXPECT_EQ(file.Size(), -1);
  EXPECT_FALSE(file.Flush());
  EXPECT_TRUE(file.Eof());
  EXPECT_EQ(file.Error(), -1);
  EXPECT_TRUE(file.Close());
}

TEST(CMemoryFile, ReadsSeeksAndReportsTheEnd) {
  CMemoryFile file;
  ASSERT_TRUE(file.Open());
  EXPECT_FALSE(file.Open());
  const char text[] = "abcdefghij";
  ASSERT_EQ(file.Write(text, 2, 5), 5u);
  EXPECT_EQ(file.Tell(), 10);
  EXPECT_TRUE(file.Eof());
  EXPECT_EQ(file.Write(text, 0, 5), 0u);
  EXPECT_EQ(file.Write(nullptr, 1, 5), 0u);

  ASSERT_TRUE(file.Seek(-4, 2));
  EXPECT_EQ(file.GetByte(), 'g');
  char out[8] = {};
  EXPECT_EQ(file.Read(out, 2, 4), 1u);  // three bytes left: one whole item
  EXPECT_EQ(std::string(out, 3), "hij");
  EXPECT_EQ(file.GetByte(), -1);

  ASSERT_TRUE(file.Seek(-100, 1));
  EXPECT_EQ(file.Tell(), 0);
  EXPECT_FALSE(file.Seek(0, 3));
  ASSERT_TRUE(file.Seek(3, 0));
  EXPECT_TRUE(file.PutByte('X'));
  EXPECT_EQ(file.Size(), 10);

  // Past the end: an error until written; the gap reads as zeros.
  ASSERT_TRUE(file.Seek(12, 0));
  EXPECT_EQ(file.Error(), 1);
  EXPECT_TRUE(file.PutByte('Z'));
  EXPECT_EQ(file.Error(), 0);
  ASSERT_TRUE(file.Seek(0, 0));
  char all[13] = {};
  EXPECT_EQ(file.Read(all, 1, 20), 13u);
  EXPECT_EQ(std::string(all, 13), std::string("abcXefghij\0\0Z", 13));
}

TEST(CMemoryFile, TruncateEmptiesTheFileButKeepsItsBuffer) {
  CMemoryFile file;
  EXPECT_FALSE(file.Truncate());
  ASSERT_TRUE(file.Open());
  const std::vector<std::uint8_t> piece(5000, 0xAB);
  ASSERT_EQ(file.Write(piece.data(), 1, piece.size()), piece.size());
  const std::uint8_t* buffer = file.Data();
  ASSERT_TRUE(file.Truncate());
  EXPECT_EQ(file.Size(), 0);
  EXPECT_EQ(file.Tell(), 0);
  EXPECT_TRUE(file.Eof());
  ASSERT_EQ(file.Write("short", 1, 5), 5u);
  EXPECT_EQ(file.Size(), 5);
  EXPECT_EQ(file.Capacity(), 8192);
  EXPECT_EQ(file.Data(), buffer);
  EXPECT_EQ(std::memcmp(file.Data(), "short", 5), 0);
}

TEST(CMemoryFile, ADetachedBufferOutlivesTheFile) {
  MallocBuffer bytes;
  {
    CMemoryFile file;
    ASSERT_TRUE(file.Open());
    ASSERT_EQ(file.Write("picture", 1, 7), 7u);
    bytes.reset(file.DetachBuffer(true));
    EXPECT_EQ(file.Size(), 7);
  }
  EXPECT_EQ(std::memcmp(bytes.get(), "picture", 7), 0);
}

TEST(CMemoryFile, AGivenBufferIsReadAndNeverReallocated) {
  std::uint8_t callers[4] = {'a', 'b', 'c', 'd'};
  CMemoryFile file(callers, 4);
  EXPECT_EQ(file.Size(), 4);
  EXPECT_EQ(file.GetByte(), 'a');
  EXPECT_TRUE(file.PutByte('B'));
  EXPECT_EQ(callers[1], 'B');
  // Needs more room: continues in a buffer of its own, the caller's stays put.
  ASSERT_EQ(file.Write("xyz", 1, 3), 3u);
  EXPECT_EQ(std::memcmp(callers, "aBcd", 4), 0);
  ASSERT_TRUE(file.Seek(0, 0));
  char out[5] = {};
  EXPECT_EQ(file.Read(out, 1, 5), 5u);
  EXPECT_EQ(std::string(out, 5), "aBxyz");
}

}  // namespace
}  // namespace lumivanta
