// What an instance keeps of a shared store's newest pictures: only what the
// change feed vouches for, so that no viewer is served a picture that a
// change, heard or missed, has replaced; and, for a store out of reach, the
// last picture read until the feed follows again.

#include "server/redis/RecentPictures.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace lumivanta::server {
namespace {

using namespace std::chrono_literals;

Picture PictureOf(std::size_t bytes, std::uint64_t sequence) {
  return {SharedText(std::string(bytes, 'x')), sequence, std::chrono::system_clock::now()};
}

const auto kLater = std::chrono::steady_clock::now() + 1h;

TEST(RecentPicturesTest, KeepsOnlyTheNewestAnnouncedPictureWhileFollowing) {
  RecentPictures recent({.max_names = 10, .max_picture_bytes = 1000});
  recent.Announce("a", 5);
  recent.Offer("a", PictureOf(10, 5), kLater);
  EXPECT_FALSE(recent.Find("a")) << "kept before the feed follows";

  recent.SetFollowing(true);
  recent.Offer("a", PictureOf(10, 5), kLater);
  EXPECT_FALSE(recent.Find("a")) << "kept without an announcement";
  recent.Announce("a", 6);
  recent.Offer("a", PictureOf(10, 5), kLater);
  EXPECT_FALSE(recent.Find("a")) << "a read older than the announcement kept";
  recent.Offer("a", PictureOf(10, 6), kLater);
  ASSERT_TRUE(recent.Find("a"));
  EXPECT_EQ(recent.Find("a")->sequence, 6u);

  recent.Announce("a", 7);
  EXPECT_FALSE(recent.Find("a")) << "kept past a newer picture";
  recent.Offer("a", PictureOf(10, 7), kLater);
  recent.Announce("a", std::nullopt);
  EXPECT_FALSE(recent.Find("a")) << "kept past a delete";

  recent.Announce("b", 8);
  recent.Offer("b", PictureOf(10, 8), kLater);
  recent.SetFollowing(false);
  EXPECT_FALSE(recent.Find("b")) << "kept after the feed was lost";
  ASSERT_TRUE(recent.LastRead("b")) << "the last picture read forgotten while the store may be out of reach";
  EXPECT_EQ(recent.LastRead("b")->sequence, 8u);
  recent.SetFollowing(true);
  EXPECT_FALSE(recent.LastRead("b")) << "the last picture read kept once the feed follows again";
  recent.Offer("b", PictureOf(10, 8), kLater);
  EXPECT_FALSE(recent.Find("b")) << "an announcement from before the loss trusted";

  recent.Announce("c", 9);
  recent.Offer("c", PictureOf(10, 9), std::chrono::steady_clock::now());
  EXPECT_FALSE(recent.Find("c")) << "found once the store let it expire";
}

TEST(RecentPicturesTest, StaysWithinTheBounds) {
  RecentPictures recent({.max_names = 2, .max_picture_bytes = 100});
  recent.SetFollowing(true);
  for (std::uint64_t sequence = 1; sequence <= 3; ++sequence) {
    const std::string name = "n" + std::to_string(sequence);
    recent.Announce(name, sequence);
    recent.Offer(name, PictureOf(40, sequence), kLater);
  }
  EXPECT_FALSE(recent.Find("n1"));
  EXPECT_TRUE(recent.Find("n2") && recent.Find("n3"));
  // 61 more bytes fit only without the picture of the name least recently announced.
  recent.Announce("n3", 4);
  recent.Offer("n3", PictureOf(61, 4), kLater);
  EXPECT_FALSE(recent.Find("n2"));
  EXPECT_TRUE(recent.Find("n3"));
  recent.Announce("n2", 5);
  recent.Offer("n2", PictureOf(101, 5), kLater);
  EXPECT_FALSE(recent.Find("n2")) << "a picture past the bound kept";
  EXPECT_TRUE(recent.Find("n3"));
}

}  // namespace
}  // namespace lumivanta::server
