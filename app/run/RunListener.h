#pragma once

// What the run tells the desktop beyond its window, as it happens: the tray
// icon shows it and notifications report it. Plain C++: no widgets.

#include <string_view>

namespace lumivanta {

class RunListener {
 public:
  virtual void OnSlideshowStarted() = 0;
  virtual void OnSlideshowStopped() = 0;
  // A picture was handed to the uploader: by a command (single) or by the slideshow.
  virtual void OnPictureHandedOver(bool single) = 0;
  virtual void OnUploadSent() = 0;
  // An upload failed; first_of_a_run when the upload before it did not fail.
  virtual void OnUploadFailed(std::string_view failure_line, bool first_of_a_run) = 0;
  // An upload succeeded after a run of failures (OnUploadSent follows).
  virtual void OnUploadsWorkAgain() = 0;

 protected:
  ~RunListener() = default;
};

}  // namespace lumivanta
