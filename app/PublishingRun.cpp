#include "app/PublishingRun.h"

#include <algorithm>
#include <climits>

#include "publish/ServerProtocol.h"
#include "strings/StringTable.h"

namespace lumivanta {
namespace {

constexpr int kMinimumTimerIntervalMs = 10;

}  // namespace

int SlideshowIntervalForRate(std::int32_t refresh_rate_ms) {
  const auto unsigned_rate = static_cast<std::uint32_t>(refresh_rate_ms);
  if (unsigned_rate > static_cast<std::uint32_t>(INT_MAX)) {
    return INT_MAX;
  }
  return std::max(static_cast<int>(unsigned_rate), kMinimumTimerIntervalMs);
}

PublishingRun::PublishingRun(RunWindow& window, GlobalHotkeys& hotkeys, ScreenSource* screen)
    : window_(window), hotkeys_(hotkeys), screen_(screen), publisher_(std::make_unique<CPublisher>()) {
  hotkeys_.SetHandler([this](int hotkey_id) { OnHotKey(hotkey_id); });
}

PublishingRun::~PublishingRun() {
  hotkeys_.SetHandler(nullptr);
  ReleaseHotkeys();
}

void PublishingRun::RegisterHotkeys() {
  hotkeys_registered_ = true;
  hotkeys_held_ = true;
  for (const Command& command : Commands()) {
    if (command.hotkey_id != 0 && HotkeyKey(command) != '\0') {
      hotkeys_.Register(command.hotkey_id, HotkeyKey(command));
    }
  }
}

void PublishingRun::ReleaseHotkeys() {
  if (!hotkeys_held_) {
    return;
  }
  for (const Command& command : Commands()) {
    if (command.hotkey_id != 0) {
      hotkeys_.Unregister(command.hotkey_id);
    }
  }
  hotkeys_held_ = false;
}

void PublishingRun::StartUp() {
  if (settings_.Load()) {
    window_.LogMessage(TestConnection(settings_) ? ids::kConnectionTested : ids::kConnectionFailed, true);
  } else {
    RunFirstRunWizard();
  }
  single_picture_mode_ = true;
  window_.ShowMarks(Marks());
}

void PublishingRun::EndRun() {
  hotkeys_.SetHandler(nullptr);
  ReleaseHotkeys();
  settings_.Save();
  // A failure here logs into a window that is going away; nobody sees it.
  DeletePictures(settings_, window_);
  publisher_.reset();
}

void PublishingRun::ShowInformation(unsigned string_id) {
  dialog_open_ = true;
  window_.ShowInformationDialog(string_id);
  dialog_open_ = false;
}

CommandMarks PublishingRun::Marks() const {
  return {CommandMark{ids::kCommandPublish, single_picture_mode_},
          CommandMark{ids::kCommandSlideshow, !single_picture_mode_},
          CommandMark{ids::kCommandShowMouseCursor, show_mouse_cursor_}};
}

}  // namespace lumivanta
