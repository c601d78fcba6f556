#include "platform/wayland/PortalScreenSource.h"

#include <utility>

#include "base/Report.h"
#include "platform/wayland/PipeWireStream.h"
#include "platform/wayland/PortalScreenCast.h"
#include "platform/wayland/RestoreToken.h"

namespace lumivanta {

namespace {

constexpr unsigned kCursorHidden = 1;
constexpr unsigned kCursorEmbedded = 2;
constexpr unsigned kCursorMetadata = 4;

}  // namespace

PortalScreenSource::PortalScreenSource() : cursor_modes_(PortalScreenCast::AvailableCursorModes()) { BeginCast(); }

void PortalScreenSource::BeginCast() {
  stream_.reset();
  cast_ = std::make_unique<PortalScreenCast>(
      [this](UniqueFd remote, std::uint32_t node) { OnStarted(std::move(remote), node); },
      [this](const std::string& cause) { OnUnavailable(cause); },
      [](const std::string& token) { SaveRestoreToken(RestoreTokenFile(), token); });
  unsigned cursor_mode = 0;
  if ((cursor_modes_ & kCursorMetadata) != 0) {
    cursor_mode = kCursorMetadata;
  } else if (pointer_embedded_) {
    cursor_mode = kCursorEmbedded;
  } else if ((cursor_modes_ & kCursorHidden) != 0) {
    cursor_mode = kCursorHidden;
  }
  cast_->Begin(LoadRestoreToken(RestoreTokenFile()), cursor_mode);
}

PointerState PortalScreenSource::Pointer() {
  const std::lock_guard lock(pointer_mutex_);
  return pointer_;
}

PointerDrawing PortalScreenSource::ShowPointer(bool shown) {
  if (!unavailable_ && (cursor_modes_ & kCursorMetadata) != 0) {
    return PointerDrawing::kArrow;
  }
  if (unavailable_ || (cursor_modes_ & kCursorEmbedded) == 0) {
    return PointerDrawing::kNone;
  }
  if (shown != pointer_embedded_) {
    pointer_embedded_ = shown;
    // The newest frame stays the current screen until the new cast sends one.
    BeginCast();
  }
  return PointerDrawing::kEmbedded;
}

// The stream and its thread end first: nothing is handed over afterwards.
PortalScreenSource::~PortalScreenSource() {
  stream_.reset();
  cast_.reset();
}

void PortalScreenSource::OnStarted(UniqueFd remote, std::uint32_t node) {
  auto hand_over = [this](std::function<void()> task) {
    QMetaObject::invokeMethod(&context_, std::move(task), Qt::QueuedConnection);
  };
  stream_ = std::make_unique<PipeWireStream>(
      frames_,
      [](const std::string& format) {
        ReportLine("screen capture", "the desktop portal casts the screen (" + format + ")");
      },
      [this, hand_over](const std::string& cause) { hand_over([this, cause] { OnUnavailable(cause); }); },
      (cursor_modes_ & kCursorMetadata) != 0 ? PipeWireStream::PointerHandler([this](const PointerState& pointer) {
        const std::lock_guard lock(pointer_mutex_);
        pointer_ = pointer;
      })
                                             : PipeWireStream::PointerHandler());
  std::string failure;
  if (!stream_->Start(std::move(remote), node, failure)) {
    stream_.reset();
    OnUnavailable(failure);
  }
}

void PortalScreenSource::OnUnavailable(const std::string& cause) {
  if (unavailable_) {
    return;
  }
  unavailable_ = true;
  ReportUnavailable(cause);
}

bool PortalScreenSource::Grab(ScreenImage& screen) {
  screen = ScreenImage{};
  if (unavailable_) {
    Report("the desktop portal does not cast the screen");
    return false;
  }
  const bool change_expected = std::exchange(change_expected_, false);
  if (!frames_.Take(screen, change_expected ? kChangeWait : kFirstFrameWait)) {
    Report("no picture of the screen came from the desktop portal within " + std::to_string(kFirstFrameWait.count()) +
           " ms");
    return false;
  }
  last_report_.clear();
  return true;
}

void PortalScreenSource::ScreenWillChange() {
  change_expected_ = true;
  frames_.ExpectChange();
}

void PortalScreenSource::Report(const std::string& failure) {
  if (failure == last_report_) {
    return;
  }
  last_report_ = failure;
  ReportLine("screen capture", failure);
}

}  // namespace lumivanta
