#pragma once

// Publishes captured screens: each job converts, scales and encodes its
// picture and uploads it on a worker thread of its own, one job at a time.
// The worker reports nothing back; its cleared busy flag is its only trace.

#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "pictures/CxImage.h"
#include "pictures/MallocBuffer.h"
#include "pictures/ScreenImage.h"
#include "publish/ThreadData.h"

namespace lumivanta {

inline constexpr int kWorkerExitComplete = 0;
inline constexpr int kWorkerExitNoPicture = 1;

// 0 gives 25, 1 gives 60, 2 gives 99; any other index gives 25.
std::uint8_t JpegQualityForIndex(std::int32_t quality_index);

// The width that keeps the aspect ratio at the target height: width x target
// height rounded to single precision, divided in single precision, truncated.
// 0 when the result does not fit.
std::int32_t WidthForHeight(std::uint32_t width, std::uint32_t height, std::int32_t target_height);

// A JPEG file in memory from the C library's allocator.
struct EncodedPicture {
  MallocBuffer bytes;
  std::uint32_t byte_count = 0;
};

// The worker's work on a picture with pixels: converted to 24 bits unless it
// is grey-scale, scaled to the target height (the fast path), encoded at the
// quality of the index. No bytes when the encoding failed.
EncodedPicture ConvertScaleEncode(CxImage& picture, std::int32_t target_height, std::int32_t quality_index);

// The worker's whole run: convert, scale, encode, upload "thescreen" as
// "image.jpg", free the bytes, clear the busy flag. Nothing is uploaded when
// the encoding fails.
int PublishWorker(CThreadData* job);

class CPublisher {
 public:
  CPublisher() = default;
  CPublisher(const CPublisher&) = delete;
  CPublisher& operator=(const CPublisher&) = delete;
  // Cancels a running upload and waits for the worker before the job data
  // goes; returns within moments even when the server has stalled.
  ~CPublisher();

  // Copies the screen's pixels into a new job and starts its worker. False,
  // and the screen dropped, while the previous job is busy or when no thread
  // can be started.
  bool StartJob(std::string upload_address, const ScreenImage* bitmap, std::int32_t target_height,
                std::int32_t quality_index);

  bool IsBusy() const;
  // The last job started, kept until the next StartJob; null before the first.
  const CThreadData* JobData() const { return job_.get(); }

 private:
  std::unique_ptr<CThreadData> job_;
  std::thread worker_;
};

}  // namespace lumivanta
