// PublishingRun's answers to the commands: publishing, the slideshow and its
// timer, the pointer, deleting the pictures and the options.

#include <chrono>
#include <optional>
#include <thread>
#include <utility>

#include "app/run/PublishingRun.h"
#include "publish/ServerProtocol.h"
#include "strings/StringTable.h"

namespace lumivanta {

PublishingRun::Handler PublishingRun::HandlerFor(Operation operation) {
  switch (operation) {
    case Operation::kNone:
      return nullptr;
    case Operation::kPublishScreen:
      return &PublishingRun::OnPublishScreen;
    case Operation::kSlideshow:
      return &PublishingRun::OnSlideshow;
    case Operation::kShowMouseCursor:
      return &PublishingRun::OnShowMouseCursor;
    case Operation::kShowMouseCursorAndPublish:
      return &PublishingRun::OnShowMouseCursorHotkey;
    case Operation::kOptions:
      return &PublishingRun::OnOptions;
    case Operation::kDeletePictures:
      return &PublishingRun::OnDeletePictures;
    case Operation::kStopAndDeletePictures:
      return &PublishingRun::OnDeletePicturesHotkey;
    case Operation::kToggleMainWindow:
      return &PublishingRun::OnRestoreHotkey;
    case Operation::kGlobalHotkeys:
      return &PublishingRun::OnGlobalHotkeys;
    case Operation::kNotificationHold:
      return &PublishingRun::OnNotificationHold;
  }
  return nullptr;
}

void PublishingRun::RunCommand(Operation operation) {
  if (const auto handler = HandlerFor(operation); handler != nullptr) {
    RunExclusively(handler);
  }
}

void PublishingRun::RunExclusively(Handler handler) {
  // Another command still runs (its dialogs, pauses and waits let events in):
  // the newcomer is lost, not kept for later.
  if (command_running_ || waiting_for_server_) {
    return;
  }
  command_running_ = true;
  (this->*handler)();
  command_running_ = false;
}

std::string_view PublishingRun::WhyHotkeyIsDropped() const {
  if (wizard_open_) {
    return "the first-run wizard is open";
  }
  if (dialog_open_) {
    return "a dialog is open";
  }
  if (waiting_for_server_) {
    return "a request to the server is pending";
  }
  if (command_running_) {
    return "another command is running";
  }
  return {};
}

void PublishingRun::OnHotKey(int hotkey_id) {
  // A hotkey pressed while a dialog of the run or its wizard is open is lost too.
  if (dialog_open_ || wizard_open_) {
    return;
  }
  if (const Command* command = CommandForHotkey(hotkey_id); command != nullptr) {
    RunCommand(command->on_hotkey);
  }
}

void PublishingRun::OnPublishScreen() {
  if (!EnsureConnectionTested()) {
    return;
  }
  if (IsSlideshowRunning()) {
    OnSlideshow();
  }
  single_picture_mode_ = true;
  window_.ShowMarks(Marks());
  // Held before the window goes, so that the pop-ups leave with it.
  window_.ClearScreenForCapture(HoldNotifications(false));
  CaptureScreen(false);
}

void PublishingRun::OnSlideshow() {
  if (!EnsureConnectionTested()) {
    return;
  }
  if (IsSlideshowRunning()) {
    window_.StopSlideshowTimer();
    // The slideshow's last outcomes are heard before its end; one still on its way comes at once.
    quiet_outcomes_.LetWait(0);
    DeliverWaitingOutcomes();
    if (listener_ != nullptr) {
      listener_->OnSlideshowStopped();
    }
    // After the listener, which takes its own notices of the slideshow back first.
    ReleaseNotifications();
    std::this_thread::sleep_for(std::chrono::milliseconds(kCapturePauseMs));
    window_.LogMessage(ids::kSlideshowStopped, true);
    ShowInformation(ids::kSlideshowStopped);
  } else {
    window_.LogMessage(ids::kSlideshowStarted, true);
    if (listener_ != nullptr) {
      listener_->OnSlideshowStarted();
    }
    // From its first picture on the run is in the slideshow's mode: its
    // failures are said in the log alone. The marks follow below.
    single_picture_mode_ = false;
    tick_tests_failing_ = false;
    window_.ClearScreenForCapture(HoldNotifications(true));
    CaptureScreen(true);
    // The timer starts only once the dialog is closed: no picture is taken while it is open.
    ShowInformation(ids::kSlideshowStarted);
    StartSlideshowTimer();
  }
  single_picture_mode_ = !IsSlideshowRunning();
  window_.ShowMarks(Marks());
}

void PublishingRun::StartSlideshowTimer() {
  window_.StartSlideshowTimer(SlideshowIntervalForRate(settings_.refresh_rate_ms));
}

void PublishingRun::OnTimer() {
  DeliverWaitingOutcomes();
  RunExclusively(&PublishingRun::CaptureQuietly);
}

void PublishingRun::CaptureQuietly() { CaptureScreen(true); }

void PublishingRun::CaptureScreen(bool quiet) {
  // A single picture holds the notification pop-ups back for the moment of
  // its capture; a slideshow holds them for as long as it runs.
  const auto end_single_hold = [this, quiet] {
    if (!quiet && !IsSlideshowRunning()) {
      ReleaseNotifications();
    }
  };
  // A tick while the run waits for the server is dropped, as one while a dialog is open.
  if (waiting_for_server_) {
    end_single_hold();
    return;
  }
  // While a slideshow's uploads fail, each tick tests the connection again:
  // the run of failures has been said once, its recovery follows when an
  // upload works.
  const bool failing_run_said = quiet && (uploads_failing_ || tick_tests_failing_);
  if (!EnsureConnectionTested(failing_run_said)) {
    if (quiet) {
      tick_tests_failing_ = true;
    }
    end_single_hold();
    return;
  }
  if (dialog_open_) {
    end_single_hold();
    return;
  }
  if (!quiet && HoldNotifications(false)) {
    // The pop-ups shown so far leave the screen first.
    window_.RepaintForCapture();
    std::this_thread::sleep_for(std::chrono::milliseconds(kCapturePauseMs));
  }
  window_.RepaintForCapture();
  // The pointer is asked for first: asked after the grab, its answer would
  // wait for the display server's copy of the screen.
  const PointerState pointer = show_mouse_cursor_ && screen_ != nullptr ? screen_->Pointer() : PointerState{};
  const std::optional<PixelPoint> arrow =
      pointer.showing ? std::optional(PixelPoint{pointer.x, pointer.y}) : std::nullopt;
  const auto picture_size = static_cast<std::int32_t>(settings_.picture_size);
  const auto picture_quality = static_cast<std::int32_t>(settings_.picture_quality);
  ScreenImage screen;
  bool repeat = false;
  bool grabbed = false;
  if (screen_ != nullptr) {
    screen_changes_.Add(screen_->TakeChanges());
    grabbed = TakeScreen(screen_changes_.PlanFor(publisher_->LastEncoded(), arrow, picture_size, picture_quality),
                         screen, repeat);
  }
  end_single_hold();
  if (!grabbed) {
    // Nothing goes to the server. A command says so each time, a slideshow
    // once per run of failed captures.
    if (!quiet || !capture_failing_) {
      window_.LogMessage(ids::kNothingCaptured, true);
    }
    capture_failing_ = true;
    window_.RepaintForCapture();
    if (!quiet) {
      ShowInformation(ids::kNothingCaptured);
    }
    return;
  }
  capture_failing_ = false;
  screen.pointer_arrow = arrow;
  // A slideshow's upload while uploads work needs no wake-up of its own
  // when it goes as the one before. Said before the job starts, since a
  // quick upload can end before the start returns.
  const bool may_wait = quiet && IsSlideshowRunning() && !uploads_failing_ && !tick_tests_failing_;
  quiet_outcomes_.LetWait(may_wait ? publisher_->NextJobNumber() : 0);
  // An unchanged screen sends the last picture's file again, the same bytes
  // a new capture would give, without grabbing, scaling or encoding.
  const bool started =
      repeat ? publisher_->StartRepeatJob(settings_.upload_address)
             : publisher_->StartJob(settings_.upload_address, std::move(screen), picture_size, picture_quality);
  if (started && !repeat) {
    screen_changes_.Clear();
  }
  // Pictures dropped while the last upload still runs: a command says so
  // each time, a slideshow once per run of drops.
  if (!started && (!quiet || !dropping_pictures_)) {
    window_.LogMessage(ids::kPictureDropped, true);
  }
  dropping_pictures_ = !started;
  if (started) {
    const std::uint64_t job = publisher_->JobData()->number;
    if (!quiet) {
      last_single_job_ = job;
    }
    if (listener_ != nullptr) {
      listener_->OnPictureHandedOver(!quiet);
    }
  }
  window_.RepaintForCapture();
  if (!quiet) {
    // A dropped picture was not sent: its own line stands, and its dialog.
    if (started) {
      window_.LogMessage(ids::kPictureSent, true);
    }
    ShowInformation(started ? ids::kPictureSent : ids::kPictureDropped);
  }
}

bool PublishingRun::TakeScreen(const ScreenChanges::Plan& plan, ScreenImage& screen, bool& repeat) {
  switch (plan.take) {
    case ScreenChanges::Take::kNothing:
      repeat = true;
      return true;
    case ScreenChanges::Take::kParts:
      // Where the parts cannot be had (the screen changed its size), the whole screen is.
      if (screen_->GrabParts(plan.parts, plan.screen_width, plan.screen_height, screen)) {
        return true;
      }
      break;
    case ScreenChanges::Take::kWhole:
      return screen_->GrabForChanges(screen);
  }
  return screen_->Grab(screen);
}

void PublishingRun::OnShowMouseCursor() {
  show_mouse_cursor_ = !show_mouse_cursor_;
  window_.ShowMarks(Marks());
  const PointerDrawing drawing = screen_ != nullptr ? screen_->ShowPointer(show_mouse_cursor_) : PointerDrawing::kNone;
  if (drawing == PointerDrawing::kNone && !pointer_unavailable_said_) {
    pointer_unavailable_said_ = true;
    window_.LogMessage(ids::kPointerUnavailable, true);
  }
}

void PublishingRun::OnShowMouseCursorHotkey() {
  OnShowMouseCursor();
  // In the single-picture mode the change shows at once, without clearing the screen first.
  if (single_picture_mode_) {
    CaptureScreen(false);
  }
}

void PublishingRun::OnDeletePictures() {
  const bool deleted = AskServer(settings_, [](CSettings& settings, ActivityLog& log, CancelToken* cancel) {
    return DeletePictures(settings, log, cancel);
  });
  if (deleted) {
    window_.LogMessage(ids::kPicturesDeleted, true);
    ShowInformation(ids::kPicturesDeleted);
  }
}

void PublishingRun::OnDeletePicturesHotkey() {
  if (!single_picture_mode_) {
    OnSlideshow();
  }
  OnDeletePictures();
}

void PublishingRun::OnRestoreHotkey() { window_.ToggleMainWindow(); }

void PublishingRun::OnTrayCommand(const Command& command) {
  if (dialog_open_) {
    return;
  }
  RunCommand(command.on_command != Operation::kNone ? command.on_command : command.on_hotkey);
  // The tray's menu has no check marks: the window's menu and toolbar show the state.
  window_.ShowMarks(Marks());
}

void PublishingRun::OnOptions() { RunSettingsSequence(); }

}  // namespace lumivanta
