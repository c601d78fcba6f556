// Measures, on a private 1920x1080x24 Xvfb, what one capture costs the
// user-interface thread as the program makes it: the MIT-SHM grab, the
// pointer arrow drawn in, and the hand-over of the pixels to the publisher.
// The publish worker then runs in the background (its upload to a closed
// port fails at once); the benchmark waits for it outside the timed part.
// Beside it, on the same display and in the same run: the bare MIT-SHM grab,
// the XGetImage grab, and ffmpeg's x11grab per frame (single-threaded, the
// start-up removed by the difference of a long and a short run).
// Every figure is given as minimum and median. Exits with 1 when the median
// capture cost exceeds the required 5 ms.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "bench/support/TimedRun.h"
#include "pictures/PointerArrow.h"
#include "pictures/ScreenImage.h"
#include "platform/x11/X11ScreenSource.h"
#include "publish/Publisher.h"
#include "tests/support/X11Scene.h"
#include "tests/support/XvfbSession.h"

namespace {

using lumivanta::X11GrabMethod;
using lumivanta::X11ScreenSource;

constexpr int kCaptures = 200;
constexpr int kGetImageGrabs = 50;
constexpr int kFfmpegRepetitions = 7;
constexpr int kFfmpegShortRun = 30;
constexpr int kFfmpegLongRun = 630;
constexpr double kRequiredCaptureMs = 5.0;
constexpr double kAimedCaptureMs = 3.0;
constexpr std::int32_t kTargetHeight = 600;
constexpr std::int32_t kQualityIndex = 1;
// Nothing listens on port 1: the worker's upload fails at once.
constexpr const char* kUploadAddress = "http://127.0.0.1:1/";
constexpr std::chrono::seconds kWorkerTimeout{60};

constexpr const char* kCapture = "capture: grab, arrow, hand-over";
constexpr const char* kSharedMemoryGrab = "bare MIT-SHM grab";
constexpr const char* kGetImageGrab = "XGetImage grab";
constexpr const char* kFfmpeg = "ffmpeg x11grab per frame";

std::unique_ptr<lumivanta::test::XvfbSession> session;
// Milliseconds of every timed run, by figure.
std::map<std::string, std::vector<double>> samples_ms;

double Milliseconds(std::chrono::steady_clock::duration duration) {
  return std::chrono::duration<double, std::milli>(duration).count();
}

void Record(benchmark::State& state, const char* figure, double milliseconds) {
  samples_ms[figure].push_back(milliseconds);
  state.SetIterationTime(milliseconds / 1000.0);
}

bool WaitUntilIdle(const lumivanta::CPublisher& publisher) {
  const auto deadline = std::chrono::steady_clock::now() + kWorkerTimeout;
  while (publisher.IsBusy()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

void BM_Capture(benchmark::State& state) {
  X11ScreenSource source;
  lumivanta::CPublisher publisher;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    lumivanta::ScreenImage screen;
    const bool grabbed = source.Grab(screen);
    if (grabbed) {
      const lumivanta::PointerState pointer = source.Pointer();
      if (pointer.showing) {
        screen.pointer_arrow = lumivanta::PixelPoint{pointer.x, pointer.y};
      }
    }
    const bool started = grabbed && publisher.StartJob(kUploadAddress, std::move(screen), kTargetHeight, kQualityIndex);
    Record(state, kCapture, Milliseconds(std::chrono::steady_clock::now() - start));
    if (!started || !source.UsesSharedMemory()) {
      state.SkipWithError("the MIT-SHM grab or the hand-over failed");
      break;
    }
    if (!WaitUntilIdle(publisher)) {
      state.SkipWithError("the publish worker did not finish");
      break;
    }
  }
}

void GrabBenchmark(benchmark::State& state, X11GrabMethod method, const char* figure) {
  X11ScreenSource source(method);
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    lumivanta::ScreenImage screen;
    const bool grabbed = source.Grab(screen);
    Record(state, figure, Milliseconds(std::chrono::steady_clock::now() - start));
    if (!grabbed) {
      state.SkipWithError("the grab failed");
      break;
    }
  }
}

void BM_SharedMemoryGrab(benchmark::State& state) {
  GrabBenchmark(state, X11GrabMethod::kSharedMemory, kSharedMemoryGrab);
}
void BM_GetImageGrab(benchmark::State& state) { GrabBenchmark(state, X11GrabMethod::kGetImage, kGetImageGrab); }

// Wall time of one ffmpeg x11grab run of the given frames; negative when it fails.
double FfmpegSeconds(int frames) {
  // The frame rate is set far above what can be grabbed, so that ffmpeg
  // grabs one frame after the other without waiting.
  std::vector<std::string> arguments = {"ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin"};
  const std::vector<std::string> input = {"-f",          "x11grab",   "-framerate", "10000",
                                          "-video_size", "1920x1080", "-i",         session->DisplayName()};
  const std::vector<std::string> output = {"-frames:v", std::to_string(frames), "-threads", "1", "-f", "null", "-"};
  arguments.insert(arguments.end(), input.begin(), input.end());
  arguments.insert(arguments.end(), output.begin(), output.end());
  return lumivanta::bench::WallSecondsOfRun(std::move(arguments));
}

void BM_FfmpegPerFrame(benchmark::State& state) {
  for (auto _ : state) {
    const auto per_frame = lumivanta::bench::SecondsPerItem(FfmpegSeconds, kFfmpegShortRun, kFfmpegLongRun);
    if (!per_frame) {
      state.SkipWithError("ffmpeg is missing or failed");
      break;
    }
    Record(state, kFfmpeg, *per_frame * 1000.0);
  }
}

BENCHMARK(BM_Capture)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(kCaptures);
BENCHMARK(BM_SharedMemoryGrab)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(kCaptures);
BENCHMARK(BM_GetImageGrab)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(kGetImageGrabs);
BENCHMARK(BM_FfmpegPerFrame)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(kFfmpegRepetitions);

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

void PrintRatio(const char* label, const char* numerator, const char* denominator) {
  const MinMedian top = Summary(numerator);
  const MinMedian bottom = Summary(denominator);
  if (bottom.min_ms <= 0 || bottom.median_ms <= 0) {
    std::printf("  %-44s not measured\n", label);
    return;
  }
  std::printf("  %-44s %9.2f / %9.2f\n", label, top.min_ms / bottom.min_ms, top.median_ms / bottom.median_ms);
}

// Prints the figures and ratios; false when the capture cost is missed or was not measured.
bool Summarise() {
  std::printf("\n1920x1080x24 Xvfb, milliseconds (min / median):\n");
  for (const char* figure : {kCapture, kSharedMemoryGrab, kGetImageGrab, kFfmpeg}) {
    const MinMedian summary = Summary(figure);
    std::printf("  %-44s %9.3f / %9.3f  (%zu runs)\n", figure, summary.min_ms, summary.median_ms,
                samples_ms[figure].size());
  }
  std::printf("Ratios (min / median):\n");
  PrintRatio("capture / ffmpeg x11grab per frame", kCapture, kFfmpeg);
  PrintRatio("bare MIT-SHM grab / ffmpeg x11grab per frame", kSharedMemoryGrab, kFfmpeg);
  PrintRatio("capture / bare MIT-SHM grab", kCapture, kSharedMemoryGrab);
  PrintRatio("XGetImage grab / bare MIT-SHM grab", kGetImageGrab, kSharedMemoryGrab);

  const MinMedian capture = Summary(kCapture);
  const bool met =
      samples_ms[kCapture].size() == static_cast<std::size_t>(kCaptures) && capture.median_ms <= kRequiredCaptureMs;
  std::printf("Median capture cost %.3f ms over %zu captures; required <= %.1f ms, aim %.1f ms: %s\n",
              capture.median_ms, samples_ms[kCapture].size(), kRequiredCaptureMs, kAimedCaptureMs,
              met ? "PASS" : "FAIL");
  return met;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  try {
    session = std::make_unique<lumivanta::test::XvfbSession>();
    session->MakeCurrent();
    lumivanta::test::X11Scene(session->DisplayName()).PaintRoot(lumivanta::test::GradientPattern);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "capture_bench: %s\n", error.what());
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  const bool met = Summarise();
  session.reset();
  return met ? 0 : 1;
}
