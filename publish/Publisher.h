#pragma once

// Publishes captured screens: each job scales and encodes its screen and
// uploads it on the publisher's worker thread, one job at a time, through one
// screen encoder that keeps its buffers from picture to picture. The worker
// thread is started with the first job and waits for the next one, so that a
// slideshow's pictures do not each start and end a thread. The worker
// reports the upload's outcome to the publisher's outcome handler. The uploads
// share one connection to the server, kept open while the server allows.

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "pictures/CxImage.h"
#include "pictures/ScreenEncoder.h"
#include "pictures/ScreenImage.h"
#include "publish/ThreadData.h"
#include "publish/UploadOutcome.h"

namespace lumivanta {

inline constexpr int kWorkerExitComplete = 0;
inline constexpr int kWorkerExitNoPicture = 1;

// The worker's whole run: the pointer arrow drawn in, scale, encode (or take
// the last picture's file for a repeat job), let go of the screen, upload "thescreen" as "image.jpg" within the
// upload's time limit, report the outcome, clear the busy flag. Every outcome is reported, unless the publisher ended
// the job: nothing is uploaded, and the outcome says why, when the screen has no pixels, the encoding fails or an error
// ends the job.
int PublishWorker(CThreadData* job);

class CPublisher {
 public:
  // on_outcome is called on the worker thread after each upload (it may be empty).
  explicit CPublisher(UploadOutcomeHandler on_outcome = {});
  CPublisher(const CPublisher&) = delete;
  CPublisher& operator=(const CPublisher&) = delete;
  // Cancels a running upload and waits for the worker before the job data
  // goes; returns within moments even when the server has stalled.
  ~CPublisher();

  // Hands the screen to a new job, without copying its pixels, and hands the
  // job to the worker; the job's number is one more than the last one's.
  // False, and the screen dropped, while the previous job is busy or when no
  // thread can be started.
  bool StartJob(std::string upload_address, ScreenImage screen, std::int32_t target_height, std::int32_t quality_index);
  // Starts a job that uploads the file of the last encoded picture again,
  // for a screen that has not changed since. False as StartJob.
  bool StartRepeatJob(std::string upload_address);
  // What the encoder made the last picture of; null while a job is busy.
  const ScreenEncoder::Encoded* LastEncoded() const;

  bool IsBusy() const;
  // The number the next job started will have.
  std::uint64_t NextJobNumber() const { return last_job_number_ + 1; }
  // The last job started, kept until the next StartJob; null before the first.
  const CThreadData* JobData() const { return job_.get(); }

 private:
  bool Start(std::unique_ptr<CThreadData> job);
  // The worker thread: runs each job handed to it until the publisher ends.
  void RunWorker();

  UploadOutcomeHandler on_outcome_;
  std::unique_ptr<ScreenEncoder> encoder_;
  // Outlives every worker: the destructor joins the last one first.
  std::unique_ptr<KeptConnection> connection_;
  std::unique_ptr<CThreadData> job_;
  std::uint64_t last_job_number_ = 0;
  std::mutex mutex_;
  // Wakes the worker for a job or for the publisher's end.
  std::condition_variable job_handed_;
  // Tells Start that the worker is done with the last job's data.
  std::condition_variable worker_idle_;
  // Guarded by mutex_: the job handed to the worker and not yet taken; set
  // while the worker runs a job (from the handing on); the publisher's end.
  CThreadData* handed_job_ = nullptr;
  bool running_job_ = false;
  bool ending_ = false;
  std::thread worker_;
};

}  // namespace lumivanta
