// What the tray icon shows: on air or not, and its tooltip, at times the test chooses.

#include "app/desktop/TrayStatus.h"

#include <gtest/gtest.h>

namespace lumivanta {
namespace {

using namespace std::chrono_literals;
using Clock = TrayStatus::Clock;

TEST(TrayStatus, ASlideshowIsOnAirWithItsCountsASinglePictureForTwoSeconds) {
  const Clock::time_point start{};
  TrayStatus status;
  EXPECT_FALSE(status.IsOnAir(start));
  EXPECT_EQ(status.ToolTip("anna", start), "Lumivanta: not on air\nContact name: anna\nNo successful upload yet");

  // Pictures of the slideshow count from its start; the last success gives the age.
  status.UploadFailed();
  status.SlideshowStarted();
  status.PictureHandedOver(false, start);
  status.UploadSent(start + 1s);
  status.UploadSent(start + 2s);
  status.UploadFailed();
  status.ViewersCounted(3);
  EXPECT_TRUE(status.IsOnAir(start + 2h));
  EXPECT_FALSE(status.SinglePictureOnAirUntil(start + 2s));
  EXPECT_EQ(status.ToolTip("anna", start + 47s),
            "Lumivanta: slideshow on air\nContact name: anna\nSince the slideshow started: 2 sent, 1 failed\n"
            "Uploads fail: the pictures do not reach the server\n3 watching\nLast successful upload: 45 s ago");
  EXPECT_TRUE(status.UploadsFail());
  status.UploadsWorkAgain();
  EXPECT_FALSE(status.UploadsFail());
  status.SlideshowStopped();
  EXPECT_FALSE(status.IsOnAir(start + 3s));
  EXPECT_EQ(status.ToolTip("anna", start + 3s),
            "Lumivanta: not on air\nContact name: anna\n3 watching\nLast successful upload: 1 s ago");
  status.SlideshowStarted();
  EXPECT_NE(status.ToolTip("anna", start + 3s).find("0 sent, 0 failed"), std::string::npos);
  EXPECT_EQ(status.UnchangedFor(start + 90s), 1s);  // the counts, every second
  status.SlideshowStopped();
  // Time alone changes the age: each second in its first minute, each minute after.
  EXPECT_EQ(status.UnchangedFor(start + 2500ms), 500ms);
  EXPECT_EQ(status.UnchangedFor(start + 92s), 30s);
  EXPECT_FALSE(TrayStatus().UnchangedFor(start));  // before any upload, never

  // A single picture is on air for two seconds, whether its upload worked or not.
  const Clock::time_point single = start + 1min;
  status.PictureHandedOver(true, single);
  EXPECT_TRUE(status.IsOnAir(single + 1999ms));
  EXPECT_EQ(status.SinglePictureOnAirUntil(single), single + 2s);
  EXPECT_EQ(status.ToolTip("anna", single).substr(0, 27), "Lumivanta: one picture sent");
  EXPECT_FALSE(status.IsOnAir(single + 2s));
  EXPECT_FALSE(status.SinglePictureOnAirUntil(single + 2s));
}

TEST(TrayStatus, AgesAreSaidInSecondsMinutesOrHours) {
  EXPECT_EQ(AgeText(-3s), "0 s");
  EXPECT_EQ(AgeText(59s), "59 s");
  EXPECT_EQ(AgeText(60s), "1 min");
  EXPECT_EQ(AgeText(3599s), "59 min");
  EXPECT_EQ(AgeText(1h), "1 h 0 min");
  EXPECT_EQ(AgeText(50h + 7min + 30s), "50 h 7 min");
}

}  // namespace
}  // namespace lumivanta
