// Measures the picture pipeline on the committed 1920x1080 test screen and
// compares it with ffmpeg doing the same work on the same frame:
//   - the fast scaling to 1066x600 against the reference scaling (at least 10 times faster);
//   - encoding the 1066x600 result at quality 25, 60 and 99;
//   - the publish worker's whole work without the upload (copying the 32-bit
//     screen, scaling, encoding at 60), single-threaded, against ffmpeg's
//     rawvideo -> area scale -> mjpeg with one thread (at most half its time);
//   - the worker's imaging with the pointer arrow, from the 1920x1080 screen and
//     from a 3840x2160 one (the test screen four times) to height 600 at
//     quality index 1: as two steps with fresh buffers for every picture, and
//     with a ScreenEncoder that keeps its buffers (at most the same time).
// Every figure is given as minimum and median over the repetitions. Exits
// with 1 when a required ratio is missed.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "bench/support/TimedRun.h"
#include "pictures/CxImage.h"
#include "pictures/MemoryFile.h"
#include "pictures/PointerArrow.h"
#include "pictures/ScreenEncoder.h"
#include "tests/support/PictureTestSupport.h"

namespace {

using lumivanta::CxImage;
using lumivanta::ScreenImage;

constexpr std::int32_t kTargetWidth = 1066;
constexpr std::int32_t kTargetHeight = 600;
constexpr int kFfmpegShortRun = 10;
constexpr int kFfmpegLongRun = 60;
constexpr double kRequiredScaleSpeedUp = 10.0;
constexpr double kRequiredPipelineShare = 0.5;
constexpr double kAimedPipelineShare = 0.35;
constexpr double kRequiredEncoderShare = 1.0;
constexpr double kAimedEncoderShare = 0.75;
constexpr lumivanta::PixelPoint kPointer{700, 400};

const lumivanta::test::OwnedScreen& Screen() {
  static const lumivanta::test::OwnedScreen screen = lumivanta::test::LoadTestScreen();
  return screen;
}

void CopyScreen(CxImage& picture) {
  const ScreenImage view = Screen().AsGrabbed();
  picture.CreateFromBitmap(&view);
}

void ScaleBenchmark(benchmark::State& state, bool fast) {
  CxImage picture;
  for (auto _ : state) {
    state.PauseTiming();
    CopyScreen(picture);
    state.ResumeTiming();
    const bool scaled =
        fast ? picture.ScaleToFast(kTargetWidth, kTargetHeight) : picture.ScaleTo(kTargetWidth, kTargetHeight);
    benchmark::DoNotOptimize(scaled);
  }
}

void BM_ScaleReference(benchmark::State& state) { ScaleBenchmark(state, false); }
void BM_ScaleFast(benchmark::State& state) { ScaleBenchmark(state, true); }

void BM_EncodeJpeg(benchmark::State& state) {
  CxImage picture;
  CopyScreen(picture);
  picture.ScaleToFast(kTargetWidth, kTargetHeight);
  picture.SetQuality(static_cast<std::uint8_t>(state.range(0)));
  std::int64_t bytes = 0;
  for (auto _ : state) {
    lumivanta::CMemoryFile file;
    file.Open();
    picture.EncodeJpeg(&file);
    const lumivanta::MallocBuffer encoded(file.DetachBuffer(true));
    bytes = file.Size();
  }
  state.counters["jpeg_bytes"] = static_cast<double>(bytes);
}

// What the publish worker does with a captured screen before the upload.
void BM_Pipeline(benchmark::State& state) {
  const ScreenImage view = Screen().AsGrabbed();
  for (auto _ : state) {
    CxImage picture;
    picture.CreateFromBitmap(&view);
    const lumivanta::EncodedPicture encoded = lumivanta::ConvertScaleEncode(picture, kTargetHeight, 1);
    benchmark::DoNotOptimize(encoded.byte_count);
  }
}

// The screen of the given height: the test screen, or the test screen four times.
const lumivanta::test::OwnedScreen& ScreenOfHeight(std::int64_t height) {
  static const lumivanta::test::OwnedScreen large = lumivanta::test::ScreenOfSize(Screen(), 3840, 2160);
  return height == 2160 ? large : Screen();
}

// The worker's imaging as two steps: a fresh 24-bit copy of the whole screen,
// then a fresh scaled picture and a fresh file for every picture.
void BM_WorkerTwoSteps(benchmark::State& state) {
  ScreenImage view = ScreenOfHeight(state.range(0)).AsGrabbed();
  view.pointer_arrow = kPointer;
  for (auto _ : state) {
    lumivanta::DrawPointerArrow(view);
    CxImage picture;
    picture.CreateFromBitmap(&view);
    const lumivanta::EncodedPicture encoded = lumivanta::ConvertScaleEncode(picture, kTargetHeight, 1);
    benchmark::DoNotOptimize(encoded.byte_count);
  }
}

// The same with one ScreenEncoder, warmed by a first picture.
void BM_WorkerScreenEncoder(benchmark::State& state) {
  ScreenImage view = ScreenOfHeight(state.range(0)).AsGrabbed();
  view.pointer_arrow = kPointer;
  lumivanta::ScreenEncoder encoder;
  encoder.Encode(view, kTargetHeight, 1);
  for (auto _ : state) {
    const std::span<const std::uint8_t> encoded = encoder.Encode(view, kTargetHeight, 1);
    benchmark::DoNotOptimize(encoded.size());
  }
}

// The test screen as one raw 32-bit frame for ffmpeg, written on first use.
std::string frame_path;

const std::string& RawFramePath() {
  if (frame_path.empty()) {
    frame_path =
        (std::filesystem::temp_directory_path() / ("lumivanta-bench-frame-" + std::to_string(::getpid()) + ".bgr0"))
            .string();
    std::ofstream out(frame_path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(Screen().pixels.data()),
              static_cast<std::streamsize>(Screen().pixels.size()));
  }
  return frame_path;
}

// Wall time of one ffmpeg run over the same frame repeated; negative when it fails.
double FfmpegSeconds(int frames) {
  const std::string size = std::to_string(Screen().width) + "x" + std::to_string(Screen().height);
  const std::string filter =
      "scale=" + std::to_string(kTargetWidth) + ":" + std::to_string(kTargetHeight) + ":flags=area";
  std::vector<std::string> arguments = {"ffmpeg",   "-hide_banner", "-loglevel",
                                        "error",    "-nostdin",     "-filter_threads",
                                        "1",        "-f",           "rawvideo",
                                        "-pix_fmt", "bgr0",         "-s",
                                        size,       "-stream_loop", std::to_string(frames - 1),
                                        "-i",       RawFramePath(), "-vf",
                                        filter,     "-c:v",         "mjpeg",
                                        "-q:v",     "11",           "-threads",
                                        "1",        "-frames:v",    std::to_string(frames),
                                        "-f",       "null",         "-"};
  return lumivanta::bench::WallSecondsOfRun(std::move(arguments));
}

// ffmpeg's time per frame without its start-up: the difference of a long and a
// short run divided by the difference of their frame counts.
void BM_FfmpegPerFrame(benchmark::State& state) {
  for (auto _ : state) {
    const auto per_frame = lumivanta::bench::SecondsPerItem(FfmpegSeconds, kFfmpegShortRun, kFfmpegLongRun);
    if (!per_frame) {
      state.SkipWithError("ffmpeg is missing or failed");
      break;
    }
    state.SetIterationTime(*per_frame);
  }
}

double Minimum(const std::vector<double>& values) { return *std::min_element(values.begin(), values.end()); }

// Repeated runs; reported as their minimum, median and mean.
benchmark::internal::Benchmark* Repeated(benchmark::internal::Benchmark* benchmark, int repetitions) {
  return benchmark->Unit(benchmark::kMillisecond)
      ->Repetitions(repetitions)
      ->ComputeStatistics("min", Minimum)
      ->ReportAggregatesOnly(true);
}

BENCHMARK(BM_ScaleReference)->Apply([](auto* b) { Repeated(b, 5)->Iterations(3); });
BENCHMARK(BM_ScaleFast)->Apply([](auto* b) { Repeated(b, 9)->MinTime(0.3); });
BENCHMARK(BM_EncodeJpeg)->Arg(25)->Arg(60)->Arg(99)->Apply([](auto* b) { Repeated(b, 9)->MinTime(0.3); });
BENCHMARK(BM_Pipeline)->Apply([](auto* b) { Repeated(b, 9)->MinTime(0.3); });
BENCHMARK(BM_WorkerTwoSteps)->Arg(1080)->Arg(2160)->Apply([](auto* b) { Repeated(b, 9)->MinTime(0.3); });
BENCHMARK(BM_WorkerScreenEncoder)->Arg(1080)->Arg(2160)->Apply([](auto* b) { Repeated(b, 9)->MinTime(0.3); });
BENCHMARK(BM_FfmpegPerFrame)->Apply([](auto* b) { Repeated(b, 7)->UseManualTime()->Iterations(1); });

struct Figure {
  const char* key;
  const char* label;
};

constexpr Figure kFigures[] = {
    {"BM_ScaleReference", "ScaleTo (reference) to 1066x600"},
    {"BM_ScaleFast", "ScaleToFast to 1066x600"},
    {"BM_EncodeJpeg/25", "EncodeJpeg 1066x600, quality 25"},
    {"BM_EncodeJpeg/60", "EncodeJpeg 1066x600, quality 60"},
    {"BM_EncodeJpeg/99", "EncodeJpeg 1066x600, quality 99"},
    {"BM_Pipeline", "pipeline: copy, scale, encode 60"},
    {"BM_FfmpegPerFrame", "ffmpeg per frame, same work"},
    {"BM_WorkerTwoSteps/1080", "worker, two steps, fresh buffers"},
    {"BM_WorkerScreenEncoder/1080", "worker, ScreenEncoder, reused"},
    {"BM_WorkerTwoSteps/2160", "3840x2160: two steps, fresh buffers"},
    {"BM_WorkerScreenEncoder/2160", "3840x2160: ScreenEncoder, reused"},
};

// The console output, plus the figures and ratios at the end.
class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      std::string key = run.run_name.function_name;
      if (!run.run_name.args.empty()) {
        key += "/" + run.run_name.args;
      }
      if (run.error_occurred) {
        failed_.insert(key);
      } else if (run.run_type == Run::RT_Aggregate) {
        figures_[key][run.aggregate_name] = run.GetAdjustedRealTime();
      }
    }
  }

  // Prints the summary; false when a required ratio is missed or its measurement failed.
  bool Summarise() const {
    std::printf("\nThe 1920x1080 test screen (unless marked), milliseconds per run (min / median):\n");
    for (const Figure& figure : kFigures) {
      std::printf("  %-36s %9.3f / %9.3f\n", figure.label, Value(figure.key, "min"), Value(figure.key, "median"));
    }
    const bool fast_enough =
        Ratio("ScaleTo (reference) / ScaleToFast", "BM_ScaleReference", "BM_ScaleFast", ">=", kRequiredScaleSpeedUp, 0);
    const bool lean_enough = Ratio("pipeline / ffmpeg per frame", "BM_Pipeline", "BM_FfmpegPerFrame",
                                   "<=", kRequiredPipelineShare, kAimedPipelineShare);
    const bool encoder_at_1080 = Ratio("ScreenEncoder / two steps, 1920x1080", "BM_WorkerScreenEncoder/1080",
                                       "BM_WorkerTwoSteps/1080", "<=", kRequiredEncoderShare, kAimedEncoderShare);
    const bool encoder_at_2160 = Ratio("ScreenEncoder / two steps, 3840x2160", "BM_WorkerScreenEncoder/2160",
                                       "BM_WorkerTwoSteps/2160", "<=", kRequiredEncoderShare, kAimedEncoderShare);
    return fast_enough && lean_enough && encoder_at_1080 && encoder_at_2160;
  }

 private:
  double Value(const std::string& key, const std::string& aggregate) const {
    const auto found = figures_.find(key);
    if (found == figures_.end()) {
      return 0;
    }
    const auto value = found->second.find(aggregate);
    return value == found->second.end() ? 0 : value->second;
  }

  // Prints numerator / denominator for the minima and the medians; the
  // requirement applies to the medians.
  bool Ratio(const char* label, const std::string& numerator, const std::string& denominator, const char* relation,
             double required, double aimed) const {
    const double median_denominator = Value(denominator, "median");
    const double min_denominator = Value(denominator, "min");
    if (failed_.contains(numerator) || failed_.contains(denominator)) {
      std::printf("Ratio %s: a measurement failed: MISSED\n", label);
      return false;
    }
    if (median_denominator <= 0 || min_denominator <= 0 || Value(numerator, "median") <= 0) {
      std::printf("Ratio %s: not measured in this run\n", label);
      return true;
    }
    const double by_min = Value(numerator, "min") / min_denominator;
    const double by_median = Value(numerator, "median") / median_denominator;
    const bool met = relation[0] == '>' ? by_median >= required : by_median <= required;
    std::printf("Ratio %s: %.2f (min) / %.2f (median); required %s %.2f", label, by_min, by_median, relation, required);
    if (aimed > 0) {
      std::printf(", aim %.2f", aimed);
    }
    std::printf(": %s\n", met ? "met" : "MISSED");
    return met;
  }

  std::map<std::string, std::map<std::string, double>> figures_;
  std::set<std::string> failed_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  if (!frame_path.empty()) {
    std::error_code ignored;
    std::filesystem::remove(frame_path, ignored);
  }
  return reporter.Summarise() ? 0 : 1;
}
