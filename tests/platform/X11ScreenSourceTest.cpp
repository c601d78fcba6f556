// The X11 screen source against private Xvfb servers: which rectangle is the
// primary display, the grabbed pixels with MIT-SHM and with XGetImage, the
// pointer, and the failures that must end in a clean false.

#include "platform/x11/X11ScreenSource.h"

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/x11/PrimaryDisplay.h"
#include "tests/support/X11Scene.h"
#include "tests/support/XvfbSession.h"

namespace lumivanta {
namespace {

using test::ChequerPattern;
using test::GradientPattern;
using test::PixelPattern;
using test::X11Scene;
using test::XvfbOptions;
using test::XvfbSession;

constexpr std::chrono::seconds kPointerTimeout{20};

// Pixels that differ from the pattern as seen from (origin_x, origin_y) of the screen.
int CountWrongPixels(const ScreenImage& screen, const PixelPattern& pattern, int origin_x = 0, int origin_y = 0) {
  if (!AwaitPixels(screen)) {
    return -1;
  }
  int wrong = 0;
  for (std::uint32_t y = 0; y < screen.height; ++y) {
    const std::uint8_t* row = screen.pixels.data() + static_cast<std::size_t>(y) * screen.bytes_per_row;
    for (std::uint32_t x = 0; x < screen.width; ++x) {
      const std::uint32_t colour = pattern(origin_x + static_cast<int>(x), origin_y + static_cast<int>(y));
      const std::uint8_t* pixel = row + static_cast<std::size_t>(x) * 4;
      if (pixel[0] != (colour & 0xff) || pixel[1] != ((colour >> 8) & 0xff) || pixel[2] != ((colour >> 16) & 0xff)) {
        ++wrong;
      }
    }
  }
  return wrong;
}

XvfbOptions WithArguments(std::vector<std::string> arguments) {
  XvfbOptions options;
  options.extra_arguments = std::move(arguments);
  return options;
}

XvfbOptions WithScreen(std::string screen) {
  XvfbOptions options;
  options.screen = std::move(screen);
  return options;
}

class X11ScreenSourceTest : public ::testing::Test {
 protected:
  void StartServer(const XvfbOptions& options = {}) {
    session_ = std::make_unique<XvfbSession>(options);
    session_->MakeCurrent();
    scene_ = std::make_unique<X11Scene>(session_->DisplayName());
  }

  void MovePointer(int x, int y, int screen = 0) {
    ASSERT_EQ(session_->Run({LUMIVANTA_XDOTOOL_PROGRAM, "mousemove", "--screen", std::to_string(screen),
                             std::to_string(x), std::to_string(y)}),
              0);
  }

  // The pointer as the source reports it, once it is as expected or the deadline passed.
  static std::string AwaitPointer(X11ScreenSource& source, const std::string& expected) {
    const auto deadline = std::chrono::steady_clock::now() + kPointerTimeout;
    std::string pointer = Describe(source.Pointer());
    while (pointer != expected && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      pointer = Describe(source.Pointer());
    }
    return pointer;
  }

  static std::string Describe(const PointerState& pointer) {
    return pointer.showing ? "at " + std::to_string(pointer.x) + "," + std::to_string(pointer.y) : "not showing";
  }

  std::unique_ptr<XvfbSession> session_;
  std::unique_ptr<X11Scene> scene_;
};

TEST_F(X11ScreenSourceTest, PrimaryDisplayIsThePrimaryOutputElseTheFirstActiveCrtcElseTheRoot) {
  StartServer();
  const std::unique_ptr<xcb_connection_t, void (*)(xcb_connection_t*)> connection(
      xcb_connect(session_->DisplayName().c_str(), nullptr), xcb_disconnect);
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection.get())).data->root;
  // Xvfb has no primary output: its one CRTC covers the screen.
  EXPECT_EQ(FindPrimaryDisplay(connection.get(), root), (ScreenRect{0, 0, 1920, 1080}));

  scene_->SetPrimaryOutput(100, 50, 800, 600);
  EXPECT_EQ(FindPrimaryDisplay(connection.get(), root), (ScreenRect{100, 50, 800, 600}));

  scene_->DisableOutputs();
  EXPECT_EQ(FindPrimaryDisplay(connection.get(), root), (ScreenRect{0, 0, 1920, 1080}));
}

class X11GrabTest : public X11ScreenSourceTest, public ::testing::WithParamInterface<X11GrabMethod> {};

TEST_P(X11GrabTest, GrabsTheScreenAsBlueGreenRedBytesAndSeesItChange) {
  StartServer();
  scene_->PaintRoot(GradientPattern);
  X11ScreenSource source(GetParam());

  ScreenImage screen;
  ASSERT_TRUE(source.Grab(screen));
  EXPECT_EQ(source.UsesSharedMemory(), GetParam() == X11GrabMethod::kSharedMemory);
  ASSERT_EQ(screen.width, 1920U);
  ASSERT_EQ(screen.height, 1080U);
  ASSERT_GE(screen.bytes_per_row, 1920U * 4);
  // With MIT-SHM the pixels arrive after the grab returned: whoever reads them waits.
  ASSERT_TRUE(AwaitPixels(screen));
  // (300, 700) is red 0x2c, green 0xbc, blue 0x3b: stored blue first.
  const std::uint8_t* pixel = screen.pixels.data() + 700 * screen.bytes_per_row + 300 * 4;
  EXPECT_EQ(pixel[0], 0x3b);
  EXPECT_EQ(pixel[1], 0xbc);
  EXPECT_EQ(pixel[2], 0x2c);
  EXPECT_EQ(CountWrongPixels(screen, GradientPattern), 0);
  const std::uint8_t* first_pixels = screen.pixels.data();
  screen.pixels[0] = 0xff;  // the caller draws into the grab

  scene_->PaintRoot(ChequerPattern);
  ASSERT_TRUE(source.Grab(screen));
  EXPECT_EQ(CountWrongPixels(screen, ChequerPattern), 0);
  if (GetParam() == X11GrabMethod::kSharedMemory) {
    EXPECT_EQ(screen.pixels.data(), first_pixels) << "a grab nobody keeps is grabbed into again";
  }

  // A take that follows a whole-screen change asks for the whole screen with
  // the damage: the grab for the changes shows the screen as taken, and what
  // is drawn after the take is the next take's.
  source.TakeChanges();  // the first take only starts from the screen as it is
  scene_->PaintRoot(GradientPattern);
  ASSERT_TRUE(source.TakeChanges().has_value());
  scene_->PaintRoot(ChequerPattern);
  ASSERT_TRUE(source.TakeChanges().has_value());
  Display* display = scene_->Get();
  XFillRectangle(display, scene_->Root(), DefaultGC(display, DefaultScreen(display)), 300, 200, 40, 30);
  XSync(display, False);
  ASSERT_TRUE(source.GrabForChanges(screen));
  EXPECT_EQ(CountWrongPixels(screen, ChequerPattern) == 0, GetParam() == X11GrabMethod::kSharedMemory);
  EXPECT_EQ(source.TakeChanges(), (std::vector<PixelRect>{{300, 200, 40, 30}}));
  ASSERT_TRUE(source.Grab(screen));
  EXPECT_GT(CountWrongPixels(screen, ChequerPattern), 0);
}

TEST_P(X11GrabTest, GrabsOnlyThePrimaryOutputAndFollowsItsSize) {
  StartServer();
  scene_->PaintRoot(GradientPattern);
  X11ScreenSource source(GetParam());
  ScreenImage screen;
  ASSERT_TRUE(source.Grab(screen));
  ASSERT_EQ(screen.width, 1920U);

  scene_->SetPrimaryOutput(100, 50, 800, 600);
  ASSERT_TRUE(source.TakeChanges() == std::nullopt);  // the primary display changed
  ASSERT_TRUE(source.Grab(screen));
  EXPECT_EQ(screen.width, 800U);
  EXPECT_EQ(screen.height, 600U);
  EXPECT_EQ(CountWrongPixels(screen, GradientPattern, 100, 50), 0);

  // Changes and parts relative to the primary display, off it left out.
  EXPECT_EQ(source.TakeChanges(), std::vector<PixelRect>{});
  Display* display = scene_->Get();
  const GC gc = XCreateGC(display, scene_->Root(), 0, nullptr);
  XSetForeground(display, gc, 0x123456);
  XFillRectangle(display, scene_->Root(), gc, 300, 200, 40, 30);
  XSync(display, False);  // one request each: the server reports a request's bounding box
  XFillRectangle(display, scene_->Root(), gc, 1500, 900, 10, 10);
  XFreeGC(display, gc);
  XSync(display, False);
  EXPECT_EQ(source.TakeChanges(), (std::vector<PixelRect>{{200, 150, 40, 30}}));
  EXPECT_EQ(source.TakeChanges(), std::vector<PixelRect>{});  // nothing drawn since
  XDrawPoint(display, scene_->Root(), DefaultGC(display, DefaultScreen(display)), 110, 60);
  XSync(display, False);
  EXPECT_EQ(source.TakeChanges(), (std::vector<PixelRect>{{10, 10, 1, 1}}));
  const std::vector<PixelRect> parts = {{190, 150, 50, 30}, {0, 0, 2, 1}};
  ASSERT_TRUE(source.GrabParts(parts, 800, 600, screen));
  ASSERT_EQ(screen.parts.size(), 2u);
  ASSERT_TRUE(HoldsAllRows(screen) && AwaitPixels(screen));
  const std::uint8_t* part = screen.pixels.data() + screen.parts[0].offset;
  EXPECT_EQ(part[9 * 4 + 2], GradientPattern(299, 200) >> 16);  // left of the rectangle
  EXPECT_EQ(part[10 * 4 + 0], 0x56);
  EXPECT_EQ(part[10 * 4 + 2], 0x12);
  const std::uint8_t* corner = screen.pixels.data() + screen.parts[1].offset;
  EXPECT_EQ(corner[4 + 1], (GradientPattern(101, 50) >> 8) & 0xff);
  EXPECT_FALSE(source.GrabParts(parts, 1920, 1080, screen));  // not the primary display's size
  XClearWindow(display, scene_->Root());

  scene_->SetPrimaryOutput(0, 0, 1920, 1080);
  ASSERT_TRUE(source.Grab(screen));
  EXPECT_EQ(screen.width, 1920U);
  EXPECT_EQ(screen.height, 1080U);
  EXPECT_EQ(CountWrongPixels(screen, GradientPattern), 0);
  EXPECT_EQ(source.UsesSharedMemory(), GetParam() == X11GrabMethod::kSharedMemory);
}

TEST_P(X11GrabTest, AKeptGrabIsNeverGrabbedIntoAndOutlivesTheSource) {
  StartServer();
  scene_->PaintRoot(GradientPattern);
  auto source = std::make_unique<X11ScreenSource>(GetParam());
  ScreenImage kept;
  ASSERT_TRUE(source->Grab(kept));
  const std::uint8_t* kept_memory = kept.pixels.data();

  scene_->PaintRoot(ChequerPattern);
  ScreenImage next;
  ASSERT_TRUE(source->Grab(next));
  EXPECT_NE(next.pixels.data(), kept_memory);
  EXPECT_EQ(CountWrongPixels(kept, GradientPattern), 0);
  EXPECT_EQ(CountWrongPixels(next, ChequerPattern), 0);

  // Let go on another thread, as a publish job does: the memory takes a later grab.
  std::thread([released = std::move(kept)]() mutable { released = ScreenImage{}; }).join();
  ScreenImage third;
  ASSERT_TRUE(source->Grab(third));
  if (GetParam() == X11GrabMethod::kSharedMemory) {
    EXPECT_EQ(third.pixels.data(), kept_memory);
  }

  source.reset();
  EXPECT_EQ(CountWrongPixels(next, ChequerPattern), 0);
  EXPECT_EQ(CountWrongPixels(third, ChequerPattern), 0);
}

INSTANTIATE_TEST_SUITE_P(Methods, X11GrabTest,
                         ::testing::Values(X11GrabMethod::kSharedMemory, X11GrabMethod::kGetImage),
                         [](const auto& info) {
                           return info.param == X11GrabMethod::kSharedMemory ? "SharedMemory" : "GetImage";
                         });

TEST_F(X11ScreenSourceTest, ServerWithoutSharedMemoryIsGrabbedWithGetImage) {
  StartServer(WithArguments({"-extension", "MIT-SHM"}));
  scene_->PaintRoot(GradientPattern);
  X11ScreenSource source;
  ScreenImage screen;

  testing::internal::CaptureStderr();
  const bool first = source.Grab(screen);
  const bool second = first && source.Grab(screen);
  const std::string log = testing::internal::GetCapturedStderr();

  ASSERT_TRUE(first);
  ASSERT_TRUE(second);
  EXPECT_FALSE(source.UsesSharedMemory());
  EXPECT_EQ(CountWrongPixels(screen, GradientPattern), 0);
  EXPECT_EQ(log,
            "lumivanta: screen capture: shared memory refused, grabbing with XGetImage instead: "
            "the X server offers no MIT-SHM\n");
}

TEST_F(X11ScreenSourceTest, ScreenOfSixteenBitsFailsCleanlyAndSaysSoOnce) {
  StartServer(WithScreen("640x480x16"));
  X11ScreenSource source;
  ScreenImage screen;

  testing::internal::CaptureStderr();
  const bool first = source.Grab(screen);
  const bool second = source.Grab(screen);
  const std::string log = testing::internal::GetCapturedStderr();

  EXPECT_FALSE(first);
  EXPECT_FALSE(second);
  EXPECT_TRUE(screen.pixels.empty());
  EXPECT_EQ(log, "lumivanta: screen capture: unsupported screen depth 16 (24 or 32 needed)\n");
  MovePointer(20, 30);
  EXPECT_EQ(AwaitPointer(source, "at 20,30"), "at 20,30");
}

TEST_F(X11ScreenSourceTest, WithoutADisplayEveryGrabFailsAndTheFailureIsLoggedOnce) {
  ::unsetenv("DISPLAY");
  testing::internal::CaptureStderr();
  X11ScreenSource source;
  ScreenImage screen;
  const bool first = source.Grab(screen);
  const bool second = source.Grab(screen);
  const PointerState pointer = source.Pointer();
  const std::string log = testing::internal::GetCapturedStderr();

  EXPECT_FALSE(first);
  EXPECT_FALSE(second);
  EXPECT_FALSE(pointer.showing);
  EXPECT_EQ(log, "lumivanta: screen capture: cannot open the X display \"\"\n");
}

TEST_F(X11ScreenSourceTest, PointerIsReportedRelativeToThePrimaryDisplayWhileOnIt) {
  StartServer();
  X11ScreenSource source;
  MovePointer(100, 200);
  EXPECT_EQ(AwaitPointer(source, "at 100,200"), "at 100,200");

  // The server keeps the pointer on the outputs: only another screen is off them.
  scene_->SetPrimaryOutput(100, 50, 800, 600);
  MovePointer(899, 649);
  EXPECT_EQ(AwaitPointer(source, "at 799,599"), "at 799,599");
  MovePointer(100, 50);
  EXPECT_EQ(AwaitPointer(source, "at 0,0"), "at 0,0");
}

TEST_F(X11ScreenSourceTest, PointerOnAnotherScreenIsNotShowing) {
  StartServer(WithArguments({"-screen", "1", "640x480x24"}));
  X11ScreenSource source;
  MovePointer(10, 10, 0);
  EXPECT_EQ(AwaitPointer(source, "at 10,10"), "at 10,10");
  MovePointer(10, 10, 1);
  EXPECT_EQ(AwaitPointer(source, "not showing"), "not showing");
}

}  // namespace
}  // namespace lumivanta
