#pragma once

// What the tray icon shows of the run: whether the screen is on air (a
// slideshow runs, or a single picture went out less than two seconds ago),
// whether uploads fail (from a failed one until they work again), and its
// tooltip: the mode, the contact name, the pictures sent and failed since
// the slideshow started, that uploads fail, the age of the last successful
// upload, and how many watch when the server says.
// Plain C++: the caller says what time it is.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lumivanta {

// An age as the tooltip says it: "42 s", "5 min", "2 h 10 min".
std::string AgeText(std::chrono::seconds age);

class TrayStatus {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::seconds kSinglePictureOnAir{2};

  // The counts start again with every slideshow.
  void SlideshowStarted();
  void SlideshowStopped();
  void PictureHandedOver(bool single, Clock::time_point now);
  void UploadSent(Clock::time_point now);
  void UploadFailed();
  void UploadsWorkAgain();
  void ViewersCounted(std::uint32_t viewers) { viewers_ = viewers; }
  std::optional<std::uint32_t> Viewers() const { return viewers_; }

  bool IsOnAir(Clock::time_point now) const;
  bool UploadsFail() const { return uploads_fail_; }
  // When a single picture's time on air ends, while it lasts: the look
  // changes by itself then.
  std::optional<Clock::time_point> SinglePictureOnAirUntil(Clock::time_point now) const;
  // Lines separated by "\n".
  std::string ToolTip(std::string_view contact_name, Clock::time_point now) const;
  // How long the tooltip stays as it is now, as far as time alone changes
  // it: a running slideshow's counts are refreshed every second, the age of
  // the last upload when its text changes; nothing when time changes nothing.
  std::optional<Clock::duration> UnchangedFor(Clock::time_point now) const;

 private:
  bool slideshow_running_ = false;
  int sent_ = 0;
  int failed_ = 0;
  bool uploads_fail_ = false;
  std::optional<Clock::time_point> last_upload_;
  std::optional<Clock::time_point> single_picture_until_;
  // As the server last counted them; unknown until a server says.
  std::optional<std::uint32_t> viewers_;
};

}  // namespace lumivanta
