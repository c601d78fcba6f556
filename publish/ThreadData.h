#pragma once

// The data of one publish job: the captured screen and the job's own copies
// of the settings it needs. Built on the user interface thread; from the start
// of its worker until the busy flag is cleared, only the worker touches it.

#include <atomic>
#include <cstdint>
#include <string>

#include "pictures/CxImage.h"
#include "pictures/ScreenImage.h"
#include "web/CancelToken.h"

namespace lumivanta {

class CThreadData {
 public:
  // Keeps the screen (its pixels are not copied) and sets the busy flag.
  CThreadData(std::string upload_address, ScreenImage screen, std::int32_t target_height, std::int32_t quality_index);
  CThreadData(const CThreadData&) = delete;
  CThreadData& operator=(const CThreadData&) = delete;

  // The captured screen, kept until the job data goes; the worker draws the
  // pointer arrow into it.
  ScreenImage screen;
  // What the worker made of the screen: 24 bits, scaled.
  CxImage picture{0};
  // Height in pixels; 0 or less keeps the captured size.
  std::int32_t target_height = 0;
  // 0, 1 or 2; see JpegQualityForIndex.
  std::int32_t quality_index = 0;
  std::string upload_address;
  // Set until the worker has finished with this job; cleared with release
  // ordering after the worker's last use of the data, read with acquire.
  std::atomic<bool> busy{false};
  // Ends the job's upload at once when the publisher is destroyed.
  CancelToken cancel;
};

}  // namespace lumivanta
