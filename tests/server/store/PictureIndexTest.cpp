#include "server/store/PictureIndex.h"

#include "server/store/PictureDigest.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace lumivanta::server {
namespace {

PictureBytes Bytes(std::size_t size, char fill = 'x') { return SharedText(std::string(size, fill)); }

const auto kTime = std::chrono::system_clock::time_point(std::chrono::hours(1000));

// The digest is the pictures' ETag and is shared between servers through
// Redis: it must be XXH3-128 whichever instructions compute it, on every
// length the hash treats differently (empty, short, middle, long, past a block).
TEST(PictureDigestTest, IsXxh3Of128BitsOnEveryLength) {
  const std::vector<std::pair<std::size_t, std::string>> known = {
      {0, "99aa06d3014798d86001c324468d497f"},    {1, "495b62073ef70ca44c5cca45d0f4811f"},
      {240, "4536dcb050ba614460a06c4f31468cc3"},  {241, "b4125661642a66f9246c5fe4ed1436a3"},
      {1025, "1c489c9ad8646bff13d178f3e2b48e9e"}, {100003, "9c2c629bd6b7b0494a8c90dfc160deb9"}};
  for (const auto& [size, digest] : known) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
      bytes[i] = static_cast<char>((i * 131 + 7) % 251);
    }
    EXPECT_EQ(PictureDigest(bytes), digest) << size << " bytes";
  }
}

TEST(PictureIndexTest, KeepsOnlyTheNewestPictureOfANameAndCountsItsBytesOnce) {
  PictureIndex index(StoreLimits{}, 7);
  index.Put("abc", Bytes(100, 'a'), kTime);
  index.Put("abc", Bytes(30, 'b'), kTime);

  ASSERT_TRUE(index.Find("abc").has_value());
  EXPECT_EQ(*index.Find("abc")->bytes, std::string(30, 'b'));
  EXPECT_EQ(index.Find("abc")->sequence, 8u);
  EXPECT_EQ(index.NameCount(), 1u);
  EXPECT_EQ(index.PictureBytesTotal(), 30u);

  EXPECT_TRUE(index.Remove("abc"));
  EXPECT_FALSE(index.Remove("abc"));
  EXPECT_EQ(index.PictureBytesTotal(), 0u);
}

TEST(PictureIndexTest, DropsTheNamesWithTheOldestPicturesPastTheNameLimit) {
  PictureIndex index(StoreLimits{.max_names = 3, .max_picture_bytes = 1000}, 1);
  index.Put("a", Bytes(1), kTime);
  index.Put("b", Bytes(1), kTime);
  index.Put("c", Bytes(1), kTime);
  index.Put("a", Bytes(1), kTime);  // a is now newer than b and c

  EXPECT_EQ(index.Put("d", Bytes(1), kTime), std::vector<std::string>{"b"});
  EXPECT_FALSE(index.Find("b").has_value());
  EXPECT_TRUE(index.Find("a") && index.Find("c") && index.Find("d"));

  // The same bytes again renew c, which keeps its sequence and digest but is now the last to go.
  const Picture c = *index.Find("c");
  EXPECT_FALSE(index.RenewIfSame("c", "y", kTime + std::chrono::hours(1)));
  EXPECT_TRUE(index.RenewIfSame("c", "x", kTime + std::chrono::hours(1)));
  EXPECT_EQ(index.Find("c")->sequence, c.sequence);
  EXPECT_EQ(index.Find("c")->uploaded_at, kTime + std::chrono::hours(1));
  EXPECT_EQ(index.Put("e", Bytes(1, 'z'), kTime), std::vector<std::string>{"a"});
  EXPECT_NE(index.Find("e")->digest, c.digest);
}

TEST(PictureIndexTest, DropsAsManyOldNamesAsNeededPastTheByteLimitButNeverTheNewPicture) {
  PictureIndex index(StoreLimits{.max_names = 100, .max_picture_bytes = 100}, 1);
  index.Put("a", Bytes(40), kTime);
  index.Put("b", Bytes(40), kTime);
  index.Put("c", Bytes(10), kTime);

  EXPECT_EQ(index.Put("d", Bytes(70), kTime), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(index.PictureBytesTotal(), 80u);

  // A picture bigger than the whole limit is still kept, alone.
  EXPECT_EQ(index.Put("e", Bytes(150), kTime), (std::vector<std::string>{"c", "d"}));
  EXPECT_TRUE(index.Find("e").has_value());
  EXPECT_EQ(index.NameCount(), 1u);
}

}  // namespace
}  // namespace lumivanta::server
