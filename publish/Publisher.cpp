#include "publish/Publisher.h"

#include <exception>
#include <new>
#include <span>
#include <string>
#include <system_error>
#include <utility>

#include "publish/Audience.h"
#include "web/HttpTimeouts.h"
#include "web/WebRequest.h"

namespace lumivanta {
namespace {

// Everything the worker does with the job data before it reports and clears the flag.
int RunJob(CThreadData& job, UploadOutcome& outcome) {
  // A grab may still be on its way: its pixels are waited for here, off the user-interface thread.
  if (!job.repeat_last_picture &&
      (job.screen.width == 0 || job.screen.height == 0 || !HoldsAllRows(job.screen) || !AwaitPixels(job.screen))) {
    outcome.failure_cause = "no picture was captured";
    return kWorkerExitNoPicture;
  }
  const std::span<const std::uint8_t> jpeg =
      job.repeat_last_picture ? job.encoder->LastBytes()
                              : job.encoder->Encode(job.screen, job.target_height, job.quality_index);
  // The pixels are read: the screen source may grab into them again.
  job.screen = ScreenImage{};
  // A failed encoding leaves no picture worth showing (a file item without
  // bytes would even make the request read a file from disk): nothing is
  // sent, and the next capture tries again.
  if (jpeg.empty()) {
    outcome.failure_cause = "the picture could not be encoded";
    return kWorkerExitComplete;
  }
  CWebRequest request;
  request.SetCancelToken(&job.cancel);
  request.SetKeptConnection(job.connection);
  request.SetTimeLimit(http_timeouts::kUploadTotal);
  request.ClearFormItems();
  request.AddFormItem("thescreen", "image.jpg", true, jpeg.data(), static_cast<std::uint32_t>(jpeg.size()));
  request.Request(job.upload_address, RequestPostMultipart, "");
  outcome.failure_cause = request.FailureCause();
  outcome.sent = outcome.failure_cause.empty();
  if (outcome.sent) {
    outcome.viewers = ViewerCountOf(request.ResponseHeader(kViewersHeader));
  }
  return kWorkerExitComplete;
}

void Report(const CThreadData& job, const UploadOutcome& outcome) {
  // A job ended by the publisher's end concerns nobody any more.
  if (job.on_outcome == nullptr || !*job.on_outcome || job.cancel.IsCancelled()) {
    return;
  }
  try {
    (*job.on_outcome)(outcome);
  } catch (const std::exception&) {
    // Out of memory while handing the outcome on: nobody can be told.
  }
}

}  // namespace

int PublishWorker(CThreadData* job) {
  if (job == nullptr) {
    return kWorkerExitNoPicture;
  }
  int exit_code = kWorkerExitNoPicture;
  UploadOutcome outcome;
  outcome.job_number = job->number;
  try {
    exit_code = RunJob(*job, outcome);
  } catch (const std::exception& error) {
    // Out of memory, or a failure deeper down: the picture stays unpublished,
    // like after any other failed upload, and the next capture is accepted.
    outcome.sent = false;
    outcome.failure_cause = std::string("error while publishing: ") + error.what();
  } catch (...) {
    outcome.sent = false;
    outcome.failure_cause = "error while publishing";
  }
  Report(*job, outcome);
  job->busy.store(false, std::memory_order_release);
  return exit_code;
}

CPublisher::CPublisher(UploadOutcomeHandler on_outcome)
    : on_outcome_(std::move(on_outcome)),
      encoder_(std::make_unique<ScreenEncoder>()),
      connection_(std::make_unique<KeptConnection>()) {}

CPublisher::~CPublisher() {
  if (job_) {
    job_->cancel.Cancel();
  }
  {
    const std::lock_guard lock(mutex_);
    ending_ = true;
  }
  job_handed_.notify_one();
  if (worker_.joinable()) {
    worker_.join();
  }
}

void CPublisher::RunWorker() {
  std::unique_lock lock(mutex_);
  for (;;) {
    job_handed_.wait(lock, [this] { return handed_job_ != nullptr || ending_; });
    if (handed_job_ == nullptr) {
      return;
    }
    CThreadData* job = std::exchange(handed_job_, nullptr);
    lock.unlock();
    PublishWorker(job);
    lock.lock();
    running_job_ = false;
    worker_idle_.notify_all();
  }
}

bool CPublisher::IsBusy() const { return job_ && job_->busy.load(std::memory_order_acquire); }

const ScreenEncoder::Encoded* CPublisher::LastEncoded() const { return IsBusy() ? nullptr : &encoder_->LastEncoded(); }

bool CPublisher::StartJob(std::string upload_address, ScreenImage screen, std::int32_t target_height,
                          std::int32_t quality_index) {
  if (IsBusy()) {
    return false;
  }
  try {
    return Start(std::make_unique<CThreadData>(std::move(upload_address), std::move(screen), target_height,
                                               quality_index, *encoder_));
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool CPublisher::StartRepeatJob(std::string upload_address) {
  if (IsBusy()) {
    return false;
  }
  const ScreenEncoder::Encoded& last = encoder_->LastEncoded();
  try {
    auto job = std::make_unique<CThreadData>(std::move(upload_address), ScreenImage{}, last.target_height,
                                             last.quality_index, *encoder_);
    job->repeat_last_picture = true;
    return Start(std::move(job));
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool CPublisher::Start(std::unique_ptr<CThreadData> job) {
  // The finished worker may still be leaving PublishWorker: wait for it before its job data goes.
  {
    std::unique_lock lock(mutex_);
    worker_idle_.wait(lock, [this] { return !running_job_; });
  }
  job_ = std::move(job);
  job_->on_outcome = &on_outcome_;
  job_->connection = connection_.get();
  job_->number = ++last_job_number_;
  if (!worker_.joinable()) {
    try {
      worker_ = std::thread(&CPublisher::RunWorker, this);
    } catch (const std::system_error&) {
      job_->busy.store(false, std::memory_order_release);
      return false;
    }
  }
  {
    const std::lock_guard lock(mutex_);
    handed_job_ = job_.get();
    running_job_ = true;
  }
  job_handed_.notify_one();
  return true;
}

}  // namespace lumivanta
