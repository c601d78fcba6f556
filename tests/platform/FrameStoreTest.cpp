// The newest frame of a screen cast: converted into the screen's byte order,
// handed out without waiting once one has come, never overwritten while a
// grab holds it, and a bounded wait before the first one or an expected change.

#include "platform/wayland/FrameStore.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <thread>
#include <vector>

namespace lumivanta {
namespace {

using namespace std::chrono_literals;

// A frame of 2x2 pixels whose rows are 12 bytes apart (4 bytes of padding).
std::vector<std::uint8_t> PaddedFrame(std::uint8_t first) {
  std::vector<std::uint8_t> bytes(24, 0xee);
  for (int row = 0; row < 2; ++row) {
    for (int byte = 0; byte < 8; ++byte) {
      bytes[static_cast<std::size_t>(row * 12 + byte)] = static_cast<std::uint8_t>(first + row * 8 + byte);
    }
  }
  return bytes;
}

TEST(FrameStore, KeepsBlueFirstPixelsAndSwapsRedFirstOnesDroppingThePadding) {
  FrameStore store;
  const std::vector<std::uint8_t> frame = PaddedFrame(1);
  ScreenImage screen;
  store.Store(frame.data(), 2, 2, 12, FramePixelOrder::kBlueFirst);
  ASSERT_TRUE(store.Take(screen, 0ms));
  EXPECT_EQ(screen.width, 2u);
  EXPECT_EQ(screen.height, 2u);
  EXPECT_EQ(screen.bytes_per_row, 8u);
  ASSERT_TRUE(HoldsAllRows(screen));
  EXPECT_EQ(std::vector<std::uint8_t>(screen.pixels.begin(), screen.pixels.end()),
            (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}));

  store.Store(frame.data(), 2, 2, 12, FramePixelOrder::kRedFirst);
  ASSERT_TRUE(store.Take(screen, 0ms));
  EXPECT_EQ(std::vector<std::uint8_t>(screen.pixels.begin(), screen.pixels.end()),
            (std::vector<std::uint8_t>{3, 2, 1, 4, 7, 6, 5, 8, 11, 10, 9, 12, 15, 14, 13, 16}));
}

TEST(FrameStore, AHeldFrameStaysAsItWasWhileNewerOnesArrive) {
  FrameStore store;
  const std::vector<std::uint8_t> first = PaddedFrame(1);
  store.Store(first.data(), 2, 2, 12, FramePixelOrder::kBlueFirst);
  ScreenImage held;
  EXPECT_TRUE(store.NewSinceTake());
  ASSERT_TRUE(store.Take(held, 0ms));
  EXPECT_FALSE(store.NewSinceTake());  // the screen has not changed since
  for (std::uint8_t start = 100; start < 200; start += 20) {
    const std::vector<std::uint8_t> later = PaddedFrame(start);
    store.Store(later.data(), 2, 2, 12, FramePixelOrder::kBlueFirst);
  }
  EXPECT_TRUE(store.NewSinceTake());
  EXPECT_EQ(held.pixels[0], 1);
  EXPECT_EQ(held.pixels[15], 16);
  ScreenImage newest;
  ASSERT_TRUE(store.Take(newest, 0ms));
  EXPECT_EQ(newest.pixels[0], 180);
  // The size follows the stream's.
  const std::array<std::uint8_t, 4> one_pixel{9, 8, 7, 0};
  store.Store(one_pixel.data(), 1, 1, 4, FramePixelOrder::kBlueFirst);
  ASSERT_TRUE(store.Take(newest, 0ms));
  EXPECT_EQ(newest.width, 1u);
  EXPECT_EQ(newest.pixels.size(), 4u);
  EXPECT_EQ(held.pixels[0], 1);
}

TEST(FrameStore, BeforeTheFirstFrameATakeWaitsBoundedOrUntilItComes) {
  FrameStore store;
  ScreenImage screen;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(store.Take(screen, 100ms));
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, 100ms);
  EXPECT_LT(waited, 1s);
  EXPECT_EQ(screen.width, 0u);
  EXPECT_FALSE(store.HasFrame());

  const std::vector<std::uint8_t> frame = PaddedFrame(1);
  std::thread stream([&] {
    std::this_thread::sleep_for(50ms);
    store.Store(frame.data(), 2, 2, 12, FramePixelOrder::kBlueFirst);
  });
  EXPECT_TRUE(store.Take(screen, 5s));
  stream.join();
  EXPECT_EQ(screen.pixels[0], 1);
}

// The window goes away for a capture: the frame without it comes a little
// later, and the take waits for it rather than sending the window, also past
// a frame shown before that comes late.
TEST(FrameStore, AfterAnExpectedChangeATakeWaitsForTheNextFrameBounded) {
  FrameStore store;
  const std::vector<std::uint8_t> with_window = PaddedFrame(1);
  const std::vector<std::uint8_t> without_window = PaddedFrame(100);
  store.Store(with_window.data(), 2, 2, 12, FramePixelOrder::kBlueFirst);
  store.ExpectChange();
  std::thread stream([&] {
    std::this_thread::sleep_for(50ms);
    store.Store(without_window.data(), 2, 2, 12, FramePixelOrder::kBlueFirst);
  });
  ScreenImage screen;
  ASSERT_TRUE(store.Take(screen, 5s));
  stream.join();
  EXPECT_EQ(screen.pixels[0], 100);

  // A change that never comes costs the bound once, then the newest frame goes.
  store.ExpectChange();
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(store.Take(screen, 100ms));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 100ms);
  EXPECT_EQ(screen.pixels[0], 100);
  const auto again = std::chrono::steady_clock::now();
  ASSERT_TRUE(store.Take(screen, 5s));  // nothing awaited any more: at once
  EXPECT_LT(std::chrono::steady_clock::now() - again, 1s);

  // A frame that the desktop showed before the change, still on its way then, is not the change.
  const auto change = std::chrono::steady_clock::now();
  store.ExpectChange(change);
  store.Store(with_window.data(), 2, 2, 12, FramePixelOrder::kBlueFirst, change - 1ms);
  std::thread late_stream([&] {
    std::this_thread::sleep_for(50ms);
    store.Store(without_window.data(), 2, 2, 12, FramePixelOrder::kBlueFirst, change);
  });
  ASSERT_TRUE(store.Take(screen, 5s));
  late_stream.join();
  EXPECT_EQ(screen.pixels[0], 100);
}

// A desktop that animates the window away sends frames of it going: the take
// hands out the screen at rest, not the first frame after the change; a frame
// shown once the animation is over goes at once, and a screen that rests
// right after the change costs far less than the bound.
TEST(FrameStore, AfterAnExpectedChangeATakeWaitsForTheScreenAtRest) {
  FrameStore store;
  std::vector<std::vector<std::uint8_t>> steps;
  for (std::uint8_t step = 1; step <= 5; ++step) {
    steps.push_back(PaddedFrame(step));
  }
  store.ExpectChange();
  std::thread animation([&] {
    for (const auto& step : steps) {
      std::this_thread::sleep_for(60ms);
      store.Store(step.data(), 2, 2, 12, FramePixelOrder::kBlueFirst);
    }
  });
  ScreenImage screen;
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(store.Take(screen, 5s));
  animation.join();
  EXPECT_EQ(screen.pixels[0], 5);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);

  const auto over = std::chrono::steady_clock::now();
  store.ExpectChange(over - FrameStore::kWindowAnimation);
  store.Store(steps[0].data(), 2, 2, 12, FramePixelOrder::kBlueFirst, over);
  ASSERT_TRUE(store.Take(screen, 5s));
  EXPECT_LT(std::chrono::steady_clock::now() - over, FrameStore::kRestingGap);
  EXPECT_EQ(screen.pixels[0], 1);
}

TEST(FrameStore, IgnoresFramesWhoseRowsAreShorterThanTheirWidth) {
  FrameStore store;
  const std::vector<std::uint8_t> frame = PaddedFrame(1);
  store.Store(frame.data(), 4, 2, 12, FramePixelOrder::kBlueFirst);
  store.Store(nullptr, 2, 2, 12, FramePixelOrder::kBlueFirst);
  EXPECT_FALSE(store.HasFrame());
}

}  // namespace
}  // namespace lumivanta
