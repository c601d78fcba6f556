#pragma once

// The data of one publish job: the captured screen and the job's own copies
// of the settings it needs. Built on the user interface thread; from its
// handing to the worker until the busy flag is cleared, only the worker
// touches it.

#include <atomic>
#include <cstdint>
#include <string>

#include "pictures/ScreenEncoder.h"
#include "pictures/ScreenImage.h"
#include "publish/UploadOutcome.h"
#include "web/CancelToken.h"
#include "web/WebRequest.h"

namespace lumivanta {

class CThreadData {
 public:
  // Keeps the screen (its pixels are not copied) and sets the busy flag.
  CThreadData(std::string upload_address, ScreenImage screen, std::int32_t target_height, std::int32_t quality_index,
              ScreenEncoder& encoder);
  CThreadData(const CThreadData&) = delete;
  CThreadData& operator=(const CThreadData&) = delete;

  // The captured screen, kept until the worker has encoded it; the worker
  // draws the pointer arrow into it.
  ScreenImage screen;
  // Set when nothing changed since the last picture: its file goes again,
  // and the screen stays empty.
  bool repeat_last_picture = false;
  // The publisher's encoder, which only this job's worker uses while it runs.
  ScreenEncoder* encoder = nullptr;
  // The publisher's connection to the server, kept from upload to upload;
  // only this job's worker uses it while it runs. Null: one of its own.
  KeptConnection* connection = nullptr;
  // Where the worker reports the upload's outcome; may be empty.
  const UploadOutcomeHandler* on_outcome = nullptr;
  // Height in pixels; 0 or less keeps the captured size.
  std::int32_t target_height = 0;
  // 0, 1 or 2; see JpegQualityForIndex.
  std::int32_t quality_index = 0;
  std::string upload_address;
  // The job's number, given by the publisher.
  std::uint64_t number = 0;
  // Set until the worker has finished with this job; cleared with release
  // ordering after the worker's last use of the data, read with acquire.
  std::atomic<bool> busy{false};
  // Ends the job's upload at once when the publisher is destroyed.
  CancelToken cancel;
};

}  // namespace lumivanta
