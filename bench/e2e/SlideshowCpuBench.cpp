// The processor time the whole program costs per published picture, beside
// ffmpeg doing the same work on the same screen in the same run.
//
// At 1920x1080 and at 3840x2160 (the test screen tiled), the real program runs
// a slideshow under a private Xvfb with openbox against the real
// lumivanta-server: picture size 600, quality 60, a picture every 500 ms.
// Once a few pictures have passed, the CPU time (user + system, all threads)
// of the program and of the X server is read at one picture arriving at the
// server and again some pictures later, and divided by the pictures between;
// the last picture must be of the right size and show the screen.
// The slideshow is then stopped and ffmpeg grabs the same display with
// x11grab, scales to 600 rows with the area filter and encodes mjpeg with
// one thread, output discarded: its own CPU time from its resource usage plus
// the X server's during the run, per frame, with the start-up removed by the
// difference of a long and a short run. Program and ffmpeg take turns, so
// that other load on the machine falls on both.
//
// Prints min and median over the rounds and the ratios program / ffmpeg, and
// PASS or FAIL for "the program's cost per picture (process + X server) is
// at most ffmpeg's per frame at both sizes". Exits non-zero only when the
// measurement itself failed.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench/support/ProcessCpu.h"
#include "tests/support/ProgramSession.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using lumivanta::test::ProgramOptions;
using lumivanta::test::ProgramSession;

constexpr int kRounds = 3;
constexpr std::uint64_t kWarmUpPictures = 3;
constexpr std::uint64_t kMeasuredPictures = 32;
constexpr std::int32_t kRefreshRateMs = 500;
constexpr std::uint32_t kPictureHeight = 600;
// The published picture, compared with the screen averaged down to its size,
// differs by JPEG's loss and the scaler's rounding; a picture of something
// else differs by far more.
constexpr double kMostMeanDifference = 7.0;
// Far more than one picture takes; only reached when the slideshow stalls.
constexpr auto kPictureTimeout = 20s;
constexpr auto kDialogTimeout = 20s;

struct ScreenSize {
  std::uint32_t width;
  std::uint32_t height;
  // ffmpeg's runs: about four seconds of work in the long one.
  int ffmpeg_short_frames;
  int ffmpeg_long_frames;
};
constexpr ScreenSize kSizes[] = {{1920, 1080, 30, 330}, {3840, 2160, 15, 135}};

// Milliseconds of processor time per picture.
struct Cost {
  double process_ms = 0;
  double x_server_ms = 0;
  double Sum() const { return process_ms + x_server_ms; }
};

struct MinMedian {
  double min = 0;
  double median = 0;
};

MinMedian Summary(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  const double median = values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
  return {values.front(), median};
}

template <typename Part>
MinMedian SummaryOf(const std::vector<Cost>& costs, Part part) {
  std::vector<double> values;
  for (const Cost& cost : costs) {
    values.push_back(part(cost));
  }
  return Summary(values);
}

double CpuMs(pid_t pid, const char* what) {
  const std::optional<double> spent = lumivanta::bench::ProcessCpuMs(pid);
  if (!spent) {
    throw std::runtime_error(std::string("cannot read the CPU time of ") + what);
  }
  return *spent;
}

// Waits for the server's next picture after the given sequence; throws when none comes.
std::uint64_t NextPicture(ProgramSession& session, std::uint64_t after) {
  const auto deadline = Clock::now() + kPictureTimeout;
  while (Clock::now() < deadline) {
    // Reading the program's log keeps its pipe from filling up.
    session.Program().ErrorOutput();
    const lumivanta::test::ServerState state = session.State();
    if (state.present && state.sequence > after) {
      return state.sequence;
    }
    std::this_thread::sleep_for(5ms);
  }
  throw std::runtime_error("the slideshow published no picture in time; program log:\n" +
                           session.Program().ErrorOutput());
}

// The screen pixels that one row (or column) of the picture stands for: the
// first of them and the share each has in the picture's pixel.
struct Coverage {
  std::uint32_t first = 0;
  std::vector<double> shares;
};

std::vector<Coverage> CoverageOf(std::uint32_t screen_pixels, std::uint32_t picture_pixels) {
  std::vector<Coverage> coverage(picture_pixels);
  const double scale = static_cast<double>(screen_pixels) / picture_pixels;
  for (std::uint32_t index = 0; index < picture_pixels; ++index) {
    const double start = index * scale;
    const double end = (index + 1) * scale;
    coverage[index].first = static_cast<std::uint32_t>(start);
    for (std::uint32_t pixel = coverage[index].first; pixel < screen_pixels && pixel < end; ++pixel) {
      coverage[index].shares.push_back((std::min(end, pixel + 1.0) - std::max(start, static_cast<double>(pixel))) /
                                       scale);
    }
  }
  return coverage;
}

// Mean difference per channel between the newest published picture and the
// screen averaged down to its size, outside the other program's window.
// Throws when the picture is not of the size the setting asks for.
double DifferenceToScreen(const ProgramSession& session) {
  const lumivanta::test::DecodedJpeg picture = session.NewestPicture();
  const lumivanta::test::OwnedScreen& screen = session.TestScreen();
  const std::uint32_t width = screen.width * kPictureHeight / screen.height;
  if (picture.width != width || picture.height != kPictureHeight || picture.components != 3) {
    throw std::runtime_error("the program published a " + std::to_string(picture.width) + "x" +
                             std::to_string(picture.height) + " picture instead of " + std::to_string(width) + "x" +
                             std::to_string(kPictureHeight));
  }
  const std::vector<Coverage> rows = CoverageOf(screen.height, picture.height);
  const std::vector<Coverage> columns = CoverageOf(screen.width, picture.width);
  const ProgramSession::Area other = session.FocusHolderArea();
  const auto covers_other = [](const Coverage& coverage, int low, int high) {
    const auto first = static_cast<int>(coverage.first);
    return first + static_cast<int>(coverage.shares.size()) > low && first < high;
  };
  double total = 0;
  double counted = 0;
  for (std::uint32_t row = 0; row < picture.height; ++row) {
    for (std::uint32_t x = 0; x < picture.width; ++x) {
      if (covers_other(rows[row], other.top, other.bottom) && covers_other(columns[x], other.left, other.right)) {
        continue;
      }
      double bgr[3] = {0, 0, 0};
      for (std::size_t down = 0; down < rows[row].shares.size(); ++down) {
        for (std::size_t across = 0; across < columns[x].shares.size(); ++across) {
          const double share = rows[row].shares[down] * columns[x].shares[across];
          const std::uint8_t* pixel = screen.At(columns[x].first + static_cast<std::uint32_t>(across),
                                                rows[row].first + static_cast<std::uint32_t>(down));
          for (int channel = 0; channel < 3; ++channel) {
            bgr[channel] += share * pixel[channel];
          }
        }
      }
      const std::uint8_t* rgb = picture.At(x, row);
      for (int channel = 0; channel < 3; ++channel) {
        total += std::abs(rgb[channel] - bgr[2 - channel]);
      }
      counted += 3;
    }
  }
  return counted == 0 ? 255.0 : total / counted;
}

// Presses Ctrl+S and closes the information dialog it brings, as a person would.
void ToggleSlideshow(ProgramSession& session, const char* logged, std::size_t times_logged) {
  session.Press("ctrl+s");
  if (!session.Program().WaitForErrorText(logged, kDialogTimeout, times_logged) ||
      !session.PressIn(lumivanta::test::kInformationTitle, "Return")) {
    throw std::runtime_error(std::string("Ctrl+S did not log \"") + logged + "\"");
  }
  if (!session.WaitShown(lumivanta::test::kInformationTitle, false, kDialogTimeout)) {
    throw std::runtime_error("the information dialog did not close");
  }
}

// One stretch of the slideshow, started and stopped again.
Cost MeasureSlideshow(ProgramSession& session, int round) {
  const auto times_logged = static_cast<std::size_t>(round + 1);
  ToggleSlideshow(session, " : Slideshow started.", times_logged);
  std::uint64_t sequence = session.State().sequence;
  for (std::uint64_t picture = 0; picture < kWarmUpPictures; ++picture) {
    sequence = NextPicture(session, sequence);
  }
  // Both readings follow a picture's arrival, when the program waits for its
  // next turn: the stretch between holds whole pictures.
  const std::uint64_t first = NextPicture(session, sequence);
  const pid_t program = session.Program().Pid();
  const pid_t x_server = session.XServerPid();
  const double program_before = CpuMs(program, "the program");
  const double x_server_before = CpuMs(x_server, "the X server");
  const auto started = Clock::now();
  std::uint64_t last = first;
  while (last - first < kMeasuredPictures) {
    last = NextPicture(session, last);
  }
  const double program_after = CpuMs(program, "the program");
  const double x_server_after = CpuMs(x_server, "the X server");
  const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
  ToggleSlideshow(session, " : Slideshow stopped.", times_logged);
  // Cheap pictures count only when they show the screen.
  const double difference = DifferenceToScreen(session);
  if (difference > kMostMeanDifference) {
    throw std::runtime_error("the published picture differs from the screen by " + std::to_string(difference) +
                             " per channel on average");
  }

  const auto pictures = static_cast<double>(last - first);
  const Cost cost{(program_after - program_before) / pictures, (x_server_after - x_server_before) / pictures};
  std::printf(
      "  program round %d: %.0f pictures in %.1f s; per picture %.2f + %.2f = %.2f ms; "
      "the last differs from the screen by %.2f per channel\n",
      round + 1, pictures, seconds, cost.process_ms, cost.x_server_ms, cost.Sum(), difference);
  std::fflush(stdout);
  return cost;
}

// One ffmpeg run of the given frames: its own CPU time and the X server's during it.
Cost FfmpegRun(const ProgramSession& session, const ScreenSize& size, int frames) {
  const std::string video_size = std::to_string(size.width) + "x" + std::to_string(size.height);
  const std::string filter = "scale=-2:" + std::to_string(kPictureHeight) + ":flags=area";
  // The frame rate lies far above what can be grabbed, so that ffmpeg grabs
  // one frame after the other without waiting. As in the program's pictures:
  // no pointer, colours subsampled 4:2:0, quality about libjpeg's 60.
  const std::string frame_count = std::to_string(frames);
  std::vector<std::string> arguments = {"ffmpeg",   "-hide_banner",    "-loglevel", "error",
                                        "-nostdin", "-filter_threads", "1"};
  const std::vector<std::string> input = {"-f",    "x11grab",     "-draw_mouse", "0",  "-framerate",
                                          "10000", "-video_size", video_size,    "-i", session.DisplayName()};
  const std::vector<std::string> output = {"-vf",      filter, "-pix_fmt",  "yuvj420p",  "-c:v", "mjpeg", "-q:v", "11",
                                           "-threads", "1",    "-frames:v", frame_count, "-f",   "null",  "-"};
  arguments.insert(arguments.end(), input.begin(), input.end());
  arguments.insert(arguments.end(), output.begin(), output.end());
  const double x_server_before = CpuMs(session.XServerPid(), "the X server");
  const std::optional<double> ffmpeg = lumivanta::bench::CpuMsOfRun(arguments);
  const double x_server_after = CpuMs(session.XServerPid(), "the X server");
  if (!ffmpeg) {
    throw std::runtime_error("ffmpeg is missing or failed");
  }
  return {*ffmpeg, x_server_after - x_server_before};
}

// ffmpeg's cost per frame without its start-up: the difference of a long and
// a short run divided by the difference of their frame counts. Meanwhile the
// program idles; what that costs it is shown beside.
Cost MeasureFfmpeg(ProgramSession& session, const ScreenSize& size, int round) {
  const double program_before = CpuMs(session.Program().Pid(), "the program");
  const auto started = Clock::now();
  const Cost short_run = FfmpegRun(session, size, size.ffmpeg_short_frames);
  const Cost long_run = FfmpegRun(session, size, size.ffmpeg_long_frames);
  const double idle_ms_per_second = (CpuMs(session.Program().Pid(), "the program") - program_before) /
                                    std::chrono::duration<double>(Clock::now() - started).count();
  const double frames = size.ffmpeg_long_frames - size.ffmpeg_short_frames;
  const Cost cost{(long_run.process_ms - short_run.process_ms) / frames,
                  (long_run.x_server_ms - short_run.x_server_ms) / frames};
  std::printf("  ffmpeg round %d: per frame %.2f + %.2f = %.2f ms (the idle program meanwhile: %.2f ms per second)\n",
              round + 1, cost.process_ms, cost.x_server_ms, cost.Sum(), idle_ms_per_second);
  std::fflush(stdout);
  return cost;
}

struct SizeResult {
  ScreenSize size;
  std::vector<Cost> program;
  std::vector<Cost> ffmpeg;
};

SizeResult MeasureSize(const ScreenSize& size) {
  std::printf("%ux%u:\n", size.width, size.height);
  std::fflush(stdout);
  ProgramOptions options;
  options.refresh_rate_ms = kRefreshRateMs;
  options.picture_size = kPictureHeight;
  options.screen_width = size.width;
  options.screen_height = size.height;
  ProgramSession session(options);
  session.StartProgram();
  if (!session.WaitShown(lumivanta::test::kMainWindowTitle) ||
      !session.Program().WaitForErrorText("tested successfully", kDialogTimeout)) {
    throw std::runtime_error("the program did not start; its log:\n" + session.Program().ErrorOutput());
  }
  SizeResult result{size, {}, {}};
  // Taking turns, the program first: its slideshow minimises its window,
  // so that ffmpeg sees the screen the program's pictures show.
  for (int round = 0; round < kRounds; ++round) {
    result.program.push_back(MeasureSlideshow(session, round));
    result.ffmpeg.push_back(MeasureFfmpeg(session, size, round));
  }
  return result;
}

void PrintLine(const char* label, const MinMedian& values) {
  std::printf("  %-34s %8.2f / %8.2f\n", label, values.min, values.median);
}

void PrintRatio(const char* label, const MinMedian& numerator, const MinMedian& denominator) {
  PrintLine(label, {numerator.min / denominator.min, numerator.median / denominator.median});
}

// Prints the figures of one size; true when the program costs at most what ffmpeg does (medians).
bool Summarise(const SizeResult& result) {
  const auto process = [](const Cost& cost) { return cost.process_ms; };
  const auto x_server = [](const Cost& cost) { return cost.x_server_ms; };
  const auto together = [](const Cost& cost) { return cost.Sum(); };
  const MinMedian program_process = SummaryOf(result.program, process);
  const MinMedian program = SummaryOf(result.program, together);
  const MinMedian ffmpeg_process = SummaryOf(result.ffmpeg, process);
  const MinMedian ffmpeg = SummaryOf(result.ffmpeg, together);
  std::printf("\n%ux%u, ms per picture (min / median over %d rounds):\n", result.size.width, result.size.height,
              kRounds);
  PrintLine("program: process", program_process);
  PrintLine("program: X server", SummaryOf(result.program, x_server));
  PrintLine("program: together", program);
  PrintLine("ffmpeg: process", ffmpeg_process);
  PrintLine("ffmpeg: X server", SummaryOf(result.ffmpeg, x_server));
  PrintLine("ffmpeg: together", ffmpeg);
  PrintRatio("ratio program / ffmpeg, together", program, ffmpeg);
  PrintRatio("ratio program / ffmpeg, process", program_process, ffmpeg_process);
  return program.median <= ffmpeg.median;
}

}  // namespace

int main() {
  std::vector<SizeResult> results;
  try {
    for (const ScreenSize& size : kSizes) {
      results.push_back(MeasureSize(size));
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "slideshow_cpu_bench: %s\n", error.what());
    return 1;
  }
  bool met = true;
  for (const SizeResult& result : results) {
    met = Summarise(result) && met;
  }
  std::printf(
      "\nProgram's cost per picture (process + X server) at most ffmpeg's per frame at both sizes "
      "(medians): %s\n",
      met ? "PASS" : "FAIL");
  return 0;
}
