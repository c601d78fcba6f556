#include "app/desktop/TrayStatus.h"

#include <algorithm>

#include "strings/StringTable.h"

namespace lumivanta {
std::string AgeText(std::chrono::seconds age) {
  using std::chrono::hours;
  using std::chrono::minutes;
  if (age < std::chrono::seconds(0)) {
    age = std::chrono::seconds(0);
  }
  if (age < minutes(1)) {
    return std::to_string(age.count()) + " s";
  }
  if (age < hours(1)) {
    return std::to_string(std::chrono::duration_cast<minutes>(age).count()) + " min";
  }
  const auto whole_hours = std::chrono::duration_cast<hours>(age);
  const auto rest = std::chrono::duration_cast<minutes>(age - whole_hours);
  return std::to_string(whole_hours.count()) + " h " + std::to_string(rest.count()) + " min";
}

void TrayStatus::SlideshowStarted() {
  slideshow_running_ = true;
  sent_ = 0;
  failed_ = 0;
}

void TrayStatus::SlideshowStopped() { slideshow_running_ = false; }

void TrayStatus::PictureHandedOver(bool single, Clock::time_point now) {
  if (single) {
    single_picture_until_ = now + kSinglePictureOnAir;
  }
}

void TrayStatus::UploadSent(Clock::time_point now) {
  ++sent_;
  last_upload_ = now;
}

void TrayStatus::UploadFailed() {
  ++failed_;
  uploads_fail_ = true;
}

void TrayStatus::UploadsWorkAgain() { uploads_fail_ = false; }

bool TrayStatus::IsOnAir(Clock::time_point now) const {
  return slideshow_running_ || SinglePictureOnAirUntil(now).has_value();
}

std::optional<TrayStatus::Clock::time_point> TrayStatus::SinglePictureOnAirUntil(Clock::time_point now) const {
  if (single_picture_until_ && now < *single_picture_until_) {
    return single_picture_until_;
  }
  return std::nullopt;
}

std::optional<TrayStatus::Clock::duration> TrayStatus::UnchangedFor(Clock::time_point now) const {
  using std::chrono::minutes;
  using std::chrono::seconds;
  if (slideshow_running_) {
    return seconds(1);
  }
  if (!last_upload_) {
    return std::nullopt;
  }
  // The age is said in seconds for its first minute, in minutes after it.
  const Clock::duration age = std::max(now - *last_upload_, Clock::duration::zero());
  const Clock::duration step = age < minutes(1) ? Clock::duration(seconds(1)) : Clock::duration(minutes(1));
  return step - age % step;
}

std::string TrayStatus::ToolTip(std::string_view contact_name, Clock::time_point now) const {
  std::string tip(Text(slideshow_running_ ? ids::kTraySlideshowOnAir
                       : IsOnAir(now)     ? ids::kTrayPictureOnAir
                                          : ids::kTrayNotOnAir));
  tip += '\n';
  tip += Text(ids::kTrayContactName);
  tip += contact_name;
  if (slideshow_running_) {
    tip += '\n';
    tip += FilledText(ids::kTrayCounts, std::to_string(sent_), std::to_string(failed_));
  }
  if (uploads_fail_) {
    tip += '\n';
    tip += Text(ids::kTrayUploadsFail);
  }
  if (viewers_) {
    tip += '\n';
    tip += FilledText(ids::kTrayViewers, std::to_string(*viewers_));
  }
  tip += '\n';
  tip += last_upload_ ? FilledText(ids::kTrayLastUpload,
                                   AgeText(std::chrono::duration_cast<std::chrono::seconds>(now - *last_upload_)))
                      : std::string(Text(ids::kTrayNoUploadYet));
  return tip;
}

}  // namespace lumivanta
