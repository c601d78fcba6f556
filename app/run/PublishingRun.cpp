#include "app/run/PublishingRun.h"

#include <algorithm>
#include <climits>
#include <memory>
#include <utility>

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
    : window_(window), hotkeys_(hotkeys), screen_(screen) {
  // The worker's outcome is handled on the user-interface thread, at once
  // unless it may wait for the run's next turn.
  publisher_ = std::make_unique<CPublisher>([this](const UploadOutcome& outcome) {
    if (!quiet_outcomes_.Keep(outcome)) {
      window_.Post([this, outcome] { HandOn(outcome); });
    }
  });
  hotkeys_.SetHandler([this](int hotkey_id) { OnHotKey(hotkey_id); });
  // A desktop that took the keys but bound none: the command line is the way, as where it has no hotkeys.
  hotkeys_.SetUnboundHandler([this] { window_.LogMessage(ids::kHotkeysUnavailable, true); });
  if (screen_ != nullptr) {
    screen_->SetUnavailableHandler([this](const std::string& cause) {
      window_.LogText(std::string(Text(ids::kCaptureUnavailable)) + cause, true);
    });
  }
  preferences_.Load();
  settings_.viewer_key = preferences_.viewer_key;
}

PublishingRun::~PublishingRun() {
  hotkeys_.SetHandler(nullptr);
  hotkeys_.SetUnboundHandler(nullptr);
  if (screen_ != nullptr) {
    screen_->SetUnavailableHandler(nullptr);
  }
  ReleaseHotkeys();
  start_up_test_cancel_.Cancel();
  if (start_up_test_.joinable()) {
    start_up_test_.join();
  }
}

void PublishingRun::RegisterHotkeys() {
  hotkeys_registered_ = true;
  if (preferences_.global_hotkeys) {
    GrabHotkeys();
  }
}

void PublishingRun::GrabHotkeys() {
  hotkeys_held_ = true;
  held_hotkeys_.clear();
  for (const Command& command : Commands()) {
    if (command.hotkey_id != 0 && HotkeyKey(command) != '\0' &&
        !hotkeys_.Register(command.hotkey_id, HotkeyKey(command))) {
      held_hotkeys_.push_back(&command);
    }
  }
}

void PublishingRun::LogHeldHotkeys() {
  // A desktop without system-wide hotkeys refuses every key: one line says
  // so and names the command line, which a key binding of the desktop can run.
  if (!hotkeys_.Available()) {
    if (!held_hotkeys_.empty()) {
      window_.LogMessage(ids::kHotkeysUnavailable, true);
    }
    return;
  }
  for (const Command* command : held_hotkeys_) {
    window_.LogText(std::string(Text(ids::kHotkeyHeldElsewhere)) + std::string(Text(command->key_text_id)), true);
  }
}

void PublishingRun::OnGlobalHotkeys() {
  preferences_.global_hotkeys = !preferences_.global_hotkeys;
  if (preferences_.global_hotkeys) {
    GrabHotkeys();
    window_.LogMessage(ids::kGlobalHotkeysOn, true);
    LogHeldHotkeys();
  } else {
    ReleaseHotkeys();
    window_.LogMessage(ids::kGlobalHotkeysOff, true);
  }
  preferences_.Save();
  window_.ShowMarks(Marks());
}

void PublishingRun::OnNotificationHold() {
  preferences_.hold_notifications = !preferences_.hold_notifications;
  window_.LogMessage(preferences_.hold_notifications ? ids::kNotificationHoldOn : ids::kNotificationHoldOff, true);
  if (!preferences_.hold_notifications) {
    ReleaseNotifications();
  } else if (IsSlideshowRunning()) {
    HoldNotifications(true);
  }
  preferences_.Save();
  window_.ShowMarks(Marks());
}

bool PublishingRun::HoldNotifications(bool said_if_unavailable) {
  if (notification_hold_ == nullptr || !preferences_.hold_notifications) {
    return false;
  }
  const NotificationHold::Result result = notification_hold_->Hold();
  if (result == NotificationHold::Result::kUnavailable && said_if_unavailable && !hold_unavailable_said_) {
    hold_unavailable_said_ = true;
    window_.LogMessage(ids::kNotificationHoldUnavailable, true);
  }
  return result == NotificationHold::Result::kTaken;
}

void PublishingRun::ReleaseNotifications() {
  if (notification_hold_ != nullptr) {
    notification_hold_->Release();
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
  LogHeldHotkeys();
  if (settings_.Load()) {
    TestConnectionAtStartUp();
  } else {
    RunFirstRunWizard();
  }
  single_picture_mode_ = true;
  window_.ShowMarks(Marks());
}

void PublishingRun::TestConnectionAtStartUp() {
  waiting_for_server_ = true;
  auto tested = std::make_shared<CSettings>(settings_);
  auto log = std::make_shared<DeferredLog>();
  start_up_test_ = std::thread([this, tested, log] {
    lumivanta::EnsureConnectionTested(*tested, *log, &start_up_test_cancel_);
    window_.Post([this, tested, log] {
      start_up_test_.join();
      waiting_for_server_ = false;
      settings_.connected = tested->connected;
      log->WriteTo(window_);
    });
  });
}

void PublishingRun::EndRun() {
  hotkeys_.SetHandler(nullptr);
  ReleaseNotifications();
  start_up_test_cancel_.Cancel();
  if (start_up_test_.joinable()) {
    start_up_test_.join();
  }
  ReleaseHotkeys();
  settings_.Save();
  // A failure here logs into a window that is going away; nobody sees it.
  DeletePictures(settings_, window_);
  publisher_.reset();
}

void PublishingRun::ShowInformation(unsigned string_id) {
  dialog_open_ = true;
  window_.ShowInformationDialog(Text(string_id));
  // Failures that came while the dialog was open follow it, one by one.
  while (!failures_to_show_.empty()) {
    const std::string failure = failures_to_show_.front();
    failures_to_show_.erase(failures_to_show_.begin());
    window_.ShowInformationDialog(failure);
  }
  dialog_open_ = false;
}

void PublishingRun::ShowFailure(std::string text) {
  if (dialog_open_) {
    failures_to_show_.push_back(std::move(text));
    return;
  }
  dialog_open_ = true;
  window_.ShowInformationDialog(text);
  dialog_open_ = false;
}

bool PublishingRun::AskServer(CSettings& settings, const ServerRequest& request, bool quietly) {
  CSettings asked;
  asked.CopyFrom(settings);
  DeferredLog log;
  CancelToken cancel;
  bool answered = false;
  waiting_for_server_ = true;
  const bool completed =
      window_.RunWhileResponsive([&] { answered = request(asked, log, &cancel); }, [&] { cancel.Cancel(); });
  waiting_for_server_ = false;
  if (!completed) {
    return false;
  }
  settings.connected = asked.connected;
  if (!quietly) {
    log.WriteTo(window_);
  }
  return answered;
}

bool PublishingRun::EnsureConnectionTested(bool quietly) {
  if (settings_.connected) {
    return true;
  }
  return AskServer(
      settings_,
      [](CSettings& settings, ActivityLog& log, CancelToken* cancel) {
        return lumivanta::EnsureConnectionTested(settings, log, cancel);
      },
      quietly);
}

void PublishingRun::DeliverWaitingOutcomes() {
  for (const UploadOutcome& outcome : quiet_outcomes_.TakeAll()) {
    OnUploadOutcome(outcome);
  }
}

void PublishingRun::HandOn(const UploadOutcome& outcome) {
  for (const UploadOutcome& earlier : quiet_outcomes_.TakeBefore(outcome.job_number)) {
    OnUploadOutcome(earlier);
  }
  OnUploadOutcome(outcome);
}

void PublishingRun::OnUploadOutcome(const UploadOutcome& outcome) {
  const bool single = outcome.job_number == last_single_job_;
  if (outcome.sent) {
    if (uploads_failing_ || tick_tests_failing_) {
      window_.LogMessage(ids::kUploadsWorkAgain, true);
      if (uploads_failing_ && listener_ != nullptr) {
        listener_->OnUploadsWorkAgain();
      }
      uploads_failing_ = false;
      tick_tests_failing_ = false;
    }
    if (listener_ != nullptr) {
      listener_->OnUploadSent();
    }
    if (outcome.viewers) {
      NoteViewers(*outcome.viewers);
    }
    return;
  }
  // The next publication tests the connection again.
  settings_.connected = false;
  const bool first_of_a_run = !uploads_failing_;
  const bool slideshow_run_said = uploads_failing_ || tick_tests_failing_;
  uploads_failing_ = true;
  const std::string line = std::string(Text(ids::kUploadFailed)) + outcome.failure_cause;
  if (listener_ != nullptr) {
    listener_->OnUploadFailed(line, first_of_a_run);
  }
  // A slideshow's failures, its first picture's included, are logged once per
  // run of failures and never shown in a dialog, which would hold the
  // slideshow up; a single picture's every time, in the log and a dialog.
  if (!single) {
    if (!slideshow_run_said) {
      window_.LogText(line, true);
    }
    return;
  }
  window_.LogText(line, true);
  if (single_picture_mode_) {
    ShowFailure(line);
  }
}

void PublishingRun::NoteViewers(std::uint32_t viewers) {
  if (listener_ != nullptr) {
    listener_->OnViewersCounted(viewers);
  }
  if (audience_log_.ShouldLog(viewers, AudienceLog::Clock::now())) {
    window_.LogText(FilledText(ids::kViewersLine, std::to_string(viewers)), true);
  }
}

CommandMarks PublishingRun::Marks() const {
  return {CommandMark{ids::kCommandPublish, single_picture_mode_},
          CommandMark{ids::kCommandSlideshow, !single_picture_mode_},
          CommandMark{ids::kCommandShowMouseCursor, show_mouse_cursor_},
          CommandMark{ids::kCommandGlobalHotkeys, preferences_.global_hotkeys},
          CommandMark{ids::kCommandNotificationHold, preferences_.hold_notifications}};
}

}  // namespace lumivanta
