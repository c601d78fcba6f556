// Measures, on a private 1920x1080x24 Xvfb, what one capture costs the
// user-interface thread as the program makes it with the pointer shown: the
// pointer asked for, X11ScreenSource's grab (the request for the pixels,
// which the publish worker waits for), the arrow's place set when the
// pointer shows, and the hand-over of the pixels to a new publish job. The publish worker then runs in the
// background (its upload to a closed port fails at once); the benchmark
// waits for it outside the timed part.
//
// Beside it, in the same loop so that other load on the machine falls on
// both alike, the bare MIT-SHM grab: one XShmGetImage of the root window into
// a segment attached once, written here directly with Xlib, which waits for
// the server's copy; and X11ScreenSource's grab with that wait. After the loop, on the
// same display: the XGetImage grab and ffmpeg's x11grab per frame
// (single-threaded, the start-up removed by the difference of a long and a
// short run).
//
// With each waited-for grab, the worker's imaging of it (to 1066x600 at
// quality index 1): the road before, a fresh 24-bit copy scaled and encoded in
// fresh buffers, and the screen encoder with its kept buffers.
//
// Every figure is given as minimum and median. Exits with 1 when the median
// capture cost exceeds the required 1.0 ms, the worker's imaging is slower
// than before, or the measurement failed.

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "bench/support/TimedRun.h"
#include "pictures/CxImage.h"
#include "pictures/ScreenEncoder.h"
#include "pictures/ScreenImage.h"
#include "platform/x11/X11ScreenSource.h"
#include "publish/Publisher.h"
#include "tests/support/PictureTestSupport.h"
#include "tests/support/X11Scene.h"
#include "tests/support/XlibHandles.h"
#include "tests/support/XvfbSession.h"

namespace {

using Clock = std::chrono::steady_clock;
using lumivanta::X11GrabMethod;
using lumivanta::X11ScreenSource;

// Every order of the three figures 40 times.
constexpr int kCaptures = 240;
constexpr int kGetImageGrabs = 50;
constexpr int kFfmpegRepetitions = 5;
constexpr int kFfmpegShortRun = 30;
constexpr int kFfmpegLongRun = 330;
constexpr double kRequiredCaptureMs = 1.0;
constexpr std::int32_t kTargetHeight = 600;
constexpr std::int32_t kQualityIndex = 1;
// Nothing listens on port 1: the worker's upload fails at once.
constexpr const char* kUploadAddress = "http://127.0.0.1:1/";
constexpr std::chrono::seconds kWorkerTimeout{60};

constexpr const char* kCapture = "capture: pointer, grab, hand-over";
constexpr const char* kSourceGrab = "X11ScreenSource MIT-SHM grab, waited for";
constexpr const char* kBareGrab = "bare MIT-SHM grab (XShmGetImage)";
constexpr const char* kPipelineBefore = "worker before: 24-bit copy, scale, encode";
constexpr const char* kPipelineNow = "worker now: ScreenEncoder, kept buffers";
constexpr const char* kGetImageGrab = "XGetImage grab";
constexpr const char* kFfmpeg = "ffmpeg x11grab per frame";

// Milliseconds of every timed run, by figure.
std::map<std::string, std::vector<double>> samples_ms;

double Milliseconds(Clock::duration duration) { return std::chrono::duration<double, std::milli>(duration).count(); }

// Times one call into the figure's samples and passes on its result.
template <typename Work>
bool Timed(const char* figure, Work work) {
  const auto start = Clock::now();
  const bool done = work();
  samples_ms[figure].push_back(Milliseconds(Clock::now() - start));
  return done;
}

// The whole root window in one shared segment, attached to the X server once:
// a grab is one XShmGetImage and nothing else.
class BareSharedMemoryGrab {
 public:
  explicit BareSharedMemoryGrab(const std::string& display_name) : display_(XOpenDisplay(display_name.c_str())) {
    if (!display_ || XShmQueryExtension(display_.get()) == False) {
      throw std::runtime_error("no MIT-SHM on " + display_name);
    }
    try {
      Attach();
    } catch (...) {
      Release();
      throw;
    }
  }
  BareSharedMemoryGrab(const BareSharedMemoryGrab&) = delete;
  BareSharedMemoryGrab& operator=(const BareSharedMemoryGrab&) = delete;
  ~BareSharedMemoryGrab() { Release(); }

  // An X error here ends the process through Xlib's default handler.
  bool Grab() { return XShmGetImage(display_.get(), root_, image_, 0, 0, AllPlanes) != False; }

 private:
  void Attach() {
    Display* display = display_.get();
    const int screen = DefaultScreen(display);
    root_ = RootWindow(display, screen);
    image_ =
        XShmCreateImage(display, DefaultVisual(display, screen), static_cast<unsigned>(DefaultDepth(display, screen)),
                        ZPixmap, nullptr, &segment_, static_cast<unsigned>(DisplayWidth(display, screen)),
                        static_cast<unsigned>(DisplayHeight(display, screen)));
    if (image_ == nullptr) {
      throw std::runtime_error("XShmCreateImage failed");
    }
    segment_.shmid =
        ::shmget(IPC_PRIVATE, static_cast<std::size_t>(image_->bytes_per_line) * image_->height, IPC_CREAT | 0600);
    if (segment_.shmid < 0) {
      throw std::runtime_error("shmget failed");
    }
    void* address = ::shmat(segment_.shmid, nullptr, 0);
    // Marked for removal at once: the segment goes with the last detach, even when the benchmark is killed.
    ::shmctl(segment_.shmid, IPC_RMID, nullptr);
    if (address == reinterpret_cast<void*>(-1)) {
      throw std::runtime_error("shmat failed");
    }
    segment_.shmaddr = static_cast<char*>(address);
    segment_.readOnly = False;
    image_->data = segment_.shmaddr;
    // An X error here ends the benchmark through Xlib's default handler.
    attached_ = XShmAttach(display, &segment_) != False;
    XSync(display, False);
    if (!attached_) {
      throw std::runtime_error("the X server cannot attach the segment");
    }
  }

  void Release() {
    if (attached_) {
      XShmDetach(display_.get(), &segment_);
      XSync(display_.get(), False);
      attached_ = false;
    }
    if (image_ != nullptr) {
      // The pixels are the segment's, not Xlib's to free.
      image_->data = nullptr;
      XDestroyImage(image_);
      image_ = nullptr;
    }
    if (segment_.shmaddr != nullptr) {
      ::shmdt(segment_.shmaddr);
      segment_.shmaddr = nullptr;
    }
  }

  lumivanta::DisplayHandle display_;
  Window root_ = None;
  XShmSegmentInfo segment_{};
  XImage* image_ = nullptr;
  bool attached_ = false;
};

bool WaitUntilIdle(const lumivanta::CPublisher& publisher) {
  const auto deadline = Clock::now() + kWorkerTimeout;
  while (publisher.IsBusy()) {
    if (Clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// The capture as the program's view makes it.
bool Capture(X11ScreenSource& source, lumivanta::CPublisher& publisher) {
  const lumivanta::PointerState pointer = source.Pointer();
  lumivanta::ScreenImage screen;
  if (!source.Grab(screen)) {
    return false;
  }
  if (pointer.showing) {
    screen.pointer_arrow = lumivanta::PixelPoint{pointer.x, pointer.y};
  }
  return publisher.StartJob(kUploadAddress, std::move(screen), kTargetHeight, kQualityIndex);
}

// The capture, the grab alone and the bare grab, taking turns in every order
// in its turn: each figure comes as often first, after the publish worker
// has run through the caches, as second or third.
void MeasureCaptures(const std::string& display_name) {
  BareSharedMemoryGrab bare(display_name);
  X11ScreenSource grab_alone;
  X11ScreenSource source;
  lumivanta::CPublisher publisher;
  lumivanta::ScreenEncoder encoder;
  int pipeline_turn = 0;
  const std::function<void()> steps[] = {
      [&] {
        if (!Timed(kBareGrab, [&] { return bare.Grab(); })) {
          throw std::runtime_error("the bare MIT-SHM grab failed");
        }
      },
      [&] {
        lumivanta::ScreenImage screen;
        if (!Timed(kSourceGrab, [&] {
              return grab_alone.Grab(screen) && lumivanta::AwaitPixels(screen) && grab_alone.UsesSharedMemory();
            })) {
          throw std::runtime_error("X11ScreenSource's MIT-SHM grab failed");
        }
        // The worker's imaging of that grab: the road before (a fresh 24-bit
        // copy, then scaled and encoded in fresh buffers) and now, taking
        // turns at coming first.
        const auto before = [&] {
          return Timed(kPipelineBefore, [&] {
            lumivanta::CxImage picture;
            return picture.CreateFromBitmap(&screen) &&
                   lumivanta::ConvertScaleEncode(picture, kTargetHeight, kQualityIndex).byte_count > 0;
          });
        };
        const auto now = [&] {
          return Timed(kPipelineNow, [&] { return !encoder.Encode(screen, kTargetHeight, kQualityIndex).empty(); });
        };
        const bool encoded = (pipeline_turn++ % 2 == 0) ? before() && now() : now() && before();
        if (!encoded) {
          throw std::runtime_error("the worker's imaging failed");
        }
      },
      [&] {
        if (!Timed(kCapture, [&] { return Capture(source, publisher) && source.UsesSharedMemory(); })) {
          throw std::runtime_error("the MIT-SHM grab or the hand-over failed");
        }
        if (!WaitUntilIdle(publisher)) {
          throw std::runtime_error("the publish worker did not finish");
        }
      }};
  std::array<int, 3> order = {0, 1, 2};
  for (int round = 0; round < kCaptures; ++round) {
    for (const int step : order) {
      steps[step]();
    }
    std::next_permutation(order.begin(), order.end());
  }
}

void MeasureGetImage() {
  X11ScreenSource source(X11GrabMethod::kGetImage);
  for (int round = 0; round < kGetImageGrabs; ++round) {
    if (!Timed(kGetImageGrab, [&] {
          lumivanta::ScreenImage screen;
          return source.Grab(screen);
        })) {
      throw std::runtime_error("the XGetImage grab failed");
    }
  }
}

// Wall time of one ffmpeg x11grab run of the given frames; negative when it fails.
double FfmpegSeconds(const std::string& display_name, int frames) {
  // The frame rate is set far above what can be grabbed, so that ffmpeg
  // grabs one frame after the other without waiting.
  return lumivanta::bench::WallSecondsOfRun({"ffmpeg",
                                             "-hide_banner",
                                             "-loglevel",
                                             "error",
                                             "-nostdin",
                                             "-f",
                                             "x11grab",
                                             "-framerate",
                                             "10000",
                                             "-video_size",
                                             "1920x1080",
                                             "-i",
                                             display_name,
                                             "-frames:v",
                                             std::to_string(frames),
                                             "-threads",
                                             "1",
                                             "-f",
                                             "null",
                                             "-"});
}

void MeasureFfmpeg(const std::string& display_name) {
  for (int round = 0; round < kFfmpegRepetitions; ++round) {
    const auto per_frame = lumivanta::bench::SecondsPerItem(
        [&](int frames) { return FfmpegSeconds(display_name, frames); }, kFfmpegShortRun, kFfmpegLongRun);
    if (!per_frame) {
      throw std::runtime_error("ffmpeg is missing or failed");
    }
    samples_ms[kFfmpeg].push_back(*per_frame * 1000.0);
  }
}

struct MinMedian {
  double min_ms = 0;
  double median_ms = 0;
};

// Zeros when the figure was not measured.
MinMedian Summary(const char* figure) {
  std::vector<double> values = samples_ms[figure];
  if (values.empty()) {
    return {};
  }
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  const double median = values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
  return {values.front(), median};
}

void PrintRatio(const char* numerator, const char* denominator) {
  const MinMedian top = Summary(numerator);
  const MinMedian bottom = Summary(denominator);
  const std::string label = std::string(numerator) + " / " + denominator;
  if (bottom.min_ms <= 0 || bottom.median_ms <= 0) {
    std::printf("  %-72s not measured\n", label.c_str());
    return;
  }
  std::printf("  %-72s %7.2f / %7.2f\n", label.c_str(), top.min_ms / bottom.min_ms, top.median_ms / bottom.median_ms);
}

// Prints the figures and ratios; false when the capture cost is missed.
bool Summarise() {
  std::printf("1920x1080x24 Xvfb, milliseconds (min / median):\n");
  for (const char* figure : {kCapture, kSourceGrab, kBareGrab, kPipelineBefore, kPipelineNow, kGetImageGrab, kFfmpeg}) {
    const MinMedian summary = Summary(figure);
    std::printf("  %-44s %9.3f / %9.3f  (%zu runs)\n", figure, summary.min_ms, summary.median_ms,
                samples_ms[figure].size());
  }
  std::printf("Ratios (min / median):\n");
  PrintRatio(kCapture, kBareGrab);
  PrintRatio(kSourceGrab, kBareGrab);
  PrintRatio(kPipelineNow, kPipelineBefore);
  PrintRatio(kGetImageGrab, kBareGrab);
  PrintRatio(kBareGrab, kFfmpeg);
  PrintRatio(kCapture, kFfmpeg);

  const MinMedian capture = Summary(kCapture);
  const bool capture_met = capture.median_ms <= kRequiredCaptureMs;
  std::printf("Median capture cost %.3f ms over %zu captures; required <= %.1f ms: %s\n", capture.median_ms,
              samples_ms[kCapture].size(), kRequiredCaptureMs, capture_met ? "PASS" : "FAIL");
  const double pipeline_ratio = Summary(kPipelineNow).median_ms / Summary(kPipelineBefore).median_ms;
  const bool pipeline_met = pipeline_ratio <= 1.0;
  std::printf("Median worker imaging now / before %.2f; required <= 1.00: %s\n", pipeline_ratio,
              pipeline_met ? "PASS" : "FAIL");
  return capture_met && pipeline_met;
}

}  // namespace

int main() {
  try {
    const lumivanta::test::XvfbSession session;
    session.MakeCurrent();
    // The committed test screen, so that the imaging has real content to encode.
    const lumivanta::test::OwnedScreen test_screen = lumivanta::test::LoadTestScreen();
    lumivanta::test::X11Scene(session.DisplayName()).PaintRoot([&](int x, int y) {
      const std::uint8_t* bgrx = test_screen.At(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y));
      return static_cast<std::uint32_t>(bgrx[2]) << 16 | static_cast<std::uint32_t>(bgrx[1]) << 8 | bgrx[0];
    });
    MeasureCaptures(session.DisplayName());
    MeasureGetImage();
    MeasureFfmpeg(session.DisplayName());
  } catch (const std::exception& error) {
    std::fprintf(stderr, "capture_bench: %s\n", error.what());
    return 1;
  }
  return Summarise() ? 0 : 1;
}
