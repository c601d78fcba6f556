// The command handlers of the main view: hotkeys, publishing, slideshow,
// pointer, delete and options.

#include <QAction>
#include <QApplication>
#include <QThread>
#include <QTimer>

#include "app/VantacastView.h"
#include "strings/StringTable.h"

namespace lumivanta {
namespace {

enum HotkeyId : int {
  kHotkeyPublish = 1,
  kHotkeySlideshow = 2,
  kHotkeyMouseCursor = 3,
  kHotkeyOptions = 4,
  kHotkeyDelete = 5,
  kHotkeyRestore = 6,
};

// Lets the window system carry out what was asked of it (a window minimised,
// repainted) before the screen is copied.
void LetWindowSystemCatchUp() { QApplication::processEvents(QEventLoop::ExcludeUserInputEvents); }

}  // namespace

void CvantacastView::OnHotKey(int hotkey_id) {
  if (dialog_open_) {
    return;
  }
  switch (hotkey_id) {
    case kHotkeyPublish:
      OnPublishScreen();
      break;
    case kHotkeySlideshow:
      OnSlideshow();
      break;
    case kHotkeyMouseCursor:
      OnShowMouseCursor();
      if (single_picture_mode_) {
        CaptureScreen(false);
      }
      break;
    case kHotkeyOptions:
      OnOptions();
      break;
    case kHotkeyDelete:
      if (!single_picture_mode_) {
        OnSlideshow();
      }
      OnDeletePictures();
      break;
    case kHotkeyRestore:
      if (window()->isMinimized()) {
        window()->showNormal();
      } else {
        window()->showMinimized();
      }
      break;
    default:
      break;
  }
}

void CvantacastView::OnPublishScreen() {
  if (!EnsureConnection()) {
    return;
  }
  if (slideshow_timer_id_ != 0) {
    OnSlideshow();
  }
  SetPublishingMarks(true);
  single_picture_mode_ = true;
  ClearScreenForCapture();
  CaptureScreen(false);
}

void CvantacastView::OnSlideshow() {
  if (!EnsureConnection()) {
    return;
  }
  if (slideshow_timer_id_ != 0) {
    StopSlideshowTimer();
    QThread::msleep(kCapturePauseMs);
    LogMessage(ids::kSlideshowStopped, true);
    ShowInformation(ids::kSlideshowStopped);
  } else {
    LogMessage(ids::kSlideshowStarted, true);
    ClearScreenForCapture();
    CaptureScreen(true);
    ShowInformation(ids::kSlideshowStarted);
    StartSlideshowTimer();
  }
  single_picture_mode_ = slideshow_timer_id_ == 0;
  SetPublishingMarks(single_picture_mode_);
}

void CvantacastView::OnTimer() { CaptureScreen(true); }

void CvantacastView::ClearScreenForCapture() {
  QWidget* main_window = window();
  if (main_window->isMinimized()) {
    return;
  }
  main_window->showMinimized();
  main_window->repaint();
  LetWindowSystemCatchUp();
  QThread::msleep(kCapturePauseMs);
}

void CvantacastView::CaptureScreen(bool quiet) {
  if (!EnsureConnection() || dialog_open_) {
    return;
  }
  window()->repaint();
  LetWindowSystemCatchUp();

  ScreenImage screen;
  // A failed grab reaches the job as a screen without pixels; the job then uploads nothing.
  if (screen_ != nullptr && screen_->Grab(screen) && show_cursor_ != 0) {
    const PointerState pointer = screen_->Pointer();
    if (pointer.showing) {
      screen.pointer_arrow = PixelPoint{pointer.x, pointer.y};
    }
  }
  publisher_->StartJob(settings_.upload_address, std::move(screen), static_cast<std::int32_t>(settings_.picture_size),
                       static_cast<std::int32_t>(settings_.picture_quality));
  window()->repaint();
  if (!quiet) {
    LogMessage(ids::kPictureSent, true);
    ShowInformation(ids::kPictureSent);
  }
}

void CvantacastView::OnShowMouseCursor() {
  show_cursor_ = show_cursor_ + 1 > 1 ? 0 : show_cursor_ + 1;
  if (marks_.show_mouse_cursor != nullptr) {
    marks_.show_mouse_cursor->setChecked(show_cursor_ == 1);
  }
}

void CvantacastView::OnDeletePictures() {
  if (DeletePictures(settings_, *this)) {
    LogMessage(ids::kPicturesDeleted, true);
    ShowInformation(ids::kPicturesDeleted);
  }
}

void CvantacastView::OnOptions() { RunSettingsSequence(); }

}  // namespace lumivanta
