#include "publish/Publisher.h"

#include <exception>
#include <new>
#include <system_error>
#include <utility>

#include "pictures/MallocBuffer.h"
#include "pictures/MemoryFile.h"
#include "web/WebRequest.h"

namespace lumivanta {
namespace {

// Everything the worker does with the job data before it clears the flag.
int RunJob(CThreadData& job) {
  if (!job.picture.HasPixels()) {
    return kWorkerExitNoPicture;
  }
  const EncodedPicture encoded = ConvertScaleEncode(job.picture, job.target_height, job.quality_index);
  // A failed encoding leaves no picture worth showing (a file item without
  // bytes would even make the request read a file from disk): nothing is
  // sent, and the next capture tries again.
  if (encoded.bytes && encoded.byte_count > 0) {
    CWebRequest request;
    request.SetCancelToken(&job.cancel);
    request.ClearFormItems();
    request.AddFormItem("thescreen", "image.jpg", true, encoded.bytes.get(), encoded.byte_count);
    request.Request(job.upload_address, RequestPostMultipart, "");
  }
  return kWorkerExitComplete;
}

}  // namespace

std::uint8_t JpegQualityForIndex(std::int32_t quality_index) {
  switch (quality_index) {
    case 1:
      return 60;
    case 2:
      return 99;
    default:
      return 25;
  }
}

std::int32_t WidthForHeight(std::uint32_t width, std::uint32_t height, std::int32_t target_height) {
  if (height == 0 || target_height <= 0) {
    return 0;
  }
  const auto product = static_cast<float>(std::uint64_t{width} * static_cast<std::uint32_t>(target_height));
  const float new_width = product / static_cast<float>(height);
  return new_width < 2147483648.0f ? static_cast<std::int32_t>(new_width) : 0;
}

EncodedPicture ConvertScaleEncode(CxImage& picture, std::int32_t target_height, std::int32_t quality_index) {
  // A grey-scale palette picture stays one and is encoded with one component.
  if (!picture.IsGreyScale()) {
    picture.ConvertTo24Bit();
  }
  if (target_height > 0 && static_cast<std::uint32_t>(target_height) != picture.Height()) {
    // A failed scaling leaves the picture at its captured size.
    picture.ScaleToFast(WidthForHeight(picture.Width(), picture.Height(), target_height), target_height);
  }
  picture.SetQuality(JpegQualityForIndex(quality_index));

  CMemoryFile file;
  file.Open();
  const bool encoded = picture.EncodeJpeg(&file);
  EncodedPicture result;
  result.bytes.reset(file.DetachBuffer(true));
  if (encoded && file.Size() > 0) {
    result.byte_count = static_cast<std::uint32_t>(file.Size());
  } else {
    result.bytes.reset();
  }
  return result;
}

int PublishWorker(CThreadData* job) {
  if (job == nullptr) {
    return kWorkerExitNoPicture;
  }
  int exit_code = kWorkerExitNoPicture;
  try {
    exit_code = RunJob(*job);
  } catch (const std::exception&) {
    // Out of memory in the upload: the picture stays unpublished, like after
    // any other failed upload, and the next capture is accepted.
  }
  job->busy.store(false, std::memory_order_release);
  return exit_code;
}

CPublisher::~CPublisher() {
  if (job_) {
    job_->cancel.Cancel();
  }
  if (worker_.joinable()) {
    worker_.join();
  }
}

bool CPublisher::IsBusy() const { return job_ && job_->busy.load(std::memory_order_acquire); }

bool CPublisher::StartJob(std::string upload_address, const ScreenImage* bitmap, std::int32_t target_height,
                          std::int32_t quality_index) {
  if (IsBusy()) {
    return false;
  }
  // The finished worker may still be leaving PublishWorker: wait for it before its job data goes.
  if (worker_.joinable()) {
    worker_.join();
  }
  job_.reset();
  try {
    job_ = std::make_unique<CThreadData>(std::move(upload_address), bitmap, target_height, quality_index);
  } catch (const std::bad_alloc&) {
    return false;
  }
  try {
    worker_ = std::thread(PublishWorker, job_.get());
  } catch (const std::system_error&) {
    job_->busy.store(false, std::memory_order_release);
    return false;
  }
  return true;
}

}  // namespace lumivanta
