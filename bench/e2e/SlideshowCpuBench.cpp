// The processor time the whole program costs per published picture, beside
// ffmpeg doing the same work on the same screen in the same run.
//
// At 1920x1080 and at 3840x2160 (the test screen tiled), the real program runs
// a slideshow under a private Xvfb with openbox against the real
// lumivanta-server: picture size 600, quality 60, a picture every 500 ms. Three
// screens: one that stands still; one where a clock and a typing terminal
// change some 5 % of the screen between two pictures; one whose every pixel
// changes four times a second, so at least once between two pictures.
// Another client of the X server draws the changes; what that drawing costs
// the X server is measured alone, per draw, just before and just after each
// stretch of the program and of ffmpeg, and the mean of the two, times the
// draws the stretch saw, is taken off the X server's time of that stretch.
// The drawing's cost drifts with the load on the machine, and a picture every
// 500 ms carries many times more of the scene than one of ffmpeg's frames:
// measured once for a whole screen, a drift of a few per cent moved the
// program's figure by milliseconds.
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
// ffmpeg runs at two paces: as fast as it can grab, and at the slideshow's
// pace, a frame every 500 ms. On a virtual machine memory touched after the
// processor idled can cost several times more (the X server's copy of a
// whole 3840x2160 screen: about 2 ms back to back, about 10 ms 500 ms apart),
// so the two anchors differ; the program always works at the slideshow's pace.
//
// Prints min and median over the rounds and the ratios program / ffmpeg, and
// PASS or FAIL for each screen, size and anchor against its goal for the
// ratio of the program's cost per picture (process + X server) to ffmpeg's
// per frame: still 0.05, small changes 0.25, whole-screen changes 0.5 at
// 1920x1080 and 0.35 at 3840x2160. Exits non-zero only when the measurement
// itself failed.

#include <X11/Xlib.h>

#include <algorithm>
#include <atomic>
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
constexpr std::uint64_t kMeasuredPictures = 20;
constexpr std::int32_t kRefreshRateMs = 500;
constexpr std::uint32_t kPictureHeight = 600;
// The published picture, compared with the screen averaged down to its size,
// differs by JPEG's loss and the scaler's rounding; a picture of something
// else differs by far more.
constexpr double kMostMeanDifference = 7.0;
// Far more than one picture takes; only reached when the slideshow stalls.
constexpr auto kPictureTimeout = 20s;
constexpr auto kDialogTimeout = 20s;

// ffmpeg's frame rate, and the frames of its short and long runs.
struct FfmpegPace {
  const char* name;
  const char* framerate;
  int short_frames;
  int long_frames;
};
// A frame rate far above what can be grabbed: ffmpeg grabs one frame after
// the other without waiting. About four seconds of work in the long run.
constexpr FfmpegPace kFullSpeed1080{"full speed", "10000", 30, 330};
constexpr FfmpegPace kFullSpeed2160{"full speed", "10000", 15, 135};
// As many frames between the short and the long run as the program's stretch has pictures.
constexpr FfmpegPace kSlideshowPace{"slideshow's pace", "2", 4, 4 + static_cast<int>(kMeasuredPictures)};
static_assert(kRefreshRateMs == 500, "the slideshow's pace for ffmpeg is two frames a second");

struct ScreenSize {
  std::uint32_t width;
  std::uint32_t height;
  FfmpegPace full_speed;
};
constexpr ScreenSize kSizes[] = {{1920, 1080, kFullSpeed1080}, {3840, 2160, kFullSpeed2160}};

// Milliseconds of processor time per picture.
struct Cost {
  double process_ms = 0;
  double x_server_ms = 0;
  double Sum() const { return process_ms + x_server_ms; }
};

enum class Scene { kStill, kSmallChanges, kWholeChanges };
constexpr Scene kScenes[] = {Scene::kStill, Scene::kSmallChanges, Scene::kWholeChanges};

const char* NameOf(Scene scene) {
  switch (scene) {
    case Scene::kStill:
      return "still screen";
    case Scene::kSmallChanges:
      return "small changes";
    case Scene::kWholeChanges:
      return "whole-screen changes";
  }
  return "";
}

double GoalFor(Scene scene, const ScreenSize& size) {
  switch (scene) {
    case Scene::kStill:
      return 0.05;
    case Scene::kSmallChanges:
      return 0.25;
    case Scene::kWholeChanges:
      return size.height > 1080 ? 0.35 : 0.5;
  }
  return 0;
}

double CpuMs(pid_t pid, const char* what) {
  const std::optional<double> spent = lumivanta::bench::ProcessCpuMs(pid);
  if (!spent) {
    throw std::runtime_error(std::string("cannot read the CPU time of ") + what);
  }
  return *spent;
}

// Draws a scene's changes from a thread of its own, over a connection of its
// own until it goes: every 100 ms, a clock face whose hand turns (a square of
// 4 % of the screen) and a terminal where a character appears each time; or
// every 250 ms, the whole screen, inverted every other time. The whole screen
// is drawn no more often than that because its drawing, taken off the X
// server's time, costs the X server several times what a picture does: the
// fewer the draws, the less their drift blurs the program's share.
class ScenePainter {
 public:
  ScenePainter(const std::string& display_name, Scene scene, std::uint32_t width, std::uint32_t height)
      : scene_(scene), width_(static_cast<int>(width)), height_(static_cast<int>(height)) {
    if (scene_ == Scene::kStill) {
      return;
    }
    display_ = XOpenDisplay(display_name.c_str());
    if (display_ == nullptr) {
      throw std::runtime_error("the painter cannot open " + display_name);
    }
    const double unit = height_ / 1080.0;
    clock_side_ = static_cast<int>(std::sqrt(0.04 * width_ * height_));
    clock_ = {width_ - clock_side_ - static_cast<int>(60 * unit), static_cast<int>(60 * unit),
              width_ - static_cast<int>(60 * unit), static_cast<int>(60 * unit) + clock_side_};
    terminal_ = {static_cast<int>(40 * unit), height_ - static_cast<int>(340 * unit), static_cast<int>(840 * unit),
                 height_ - static_cast<int>(40 * unit)};
    cell_width_ = static_cast<int>(9 * unit);
    cell_height_ = static_cast<int>(18 * unit);
    thread_ = std::thread([this] { Run(); });
  }
  ScenePainter(const ScenePainter&) = delete;
  ScenePainter& operator=(const ScenePainter&) = delete;
  ~ScenePainter() {
    stop_.store(true);
    if (thread_.joinable()) {
      thread_.join();
    }
    if (display_ != nullptr) {
      XCloseDisplay(display_);
    }
  }

  // The draws done so far; none on a still screen.
  std::uint64_t Draws() const { return draws_.load(); }

  // Where the screen changes, left out when a picture is compared with it.
  std::vector<ProgramSession::Area> ChangingAreas() const {
    if (scene_ == Scene::kSmallChanges) {
      return {clock_, terminal_};
    }
    return {};
  }

 private:
  void Run() {
    const Window root = DefaultRootWindow(display_);
    const GC gc = XCreateGC(display_, root, 0, nullptr);
    const auto width = static_cast<unsigned>(width_);
    const auto height = static_cast<unsigned>(height_);
    // The whole screen is copied in each time, as it is or inverted, so that
    // parts that windows uncover never stay out of step.
    const Pixmap screen = XCreatePixmap(display_, root, width, height,
                                        static_cast<unsigned>(DefaultDepth(display_, DefaultScreen(display_))));
    XCopyArea(display_, root, screen, gc, 0, 0, width, height, 0, 0);
    if (scene_ == Scene::kSmallChanges) {
      Fill(gc, 0x202020, terminal_);
    }
    for (int tick = 0; !stop_.load(); ++tick) {
      if (scene_ == Scene::kWholeChanges) {
        XSetFunction(display_, gc, tick % 2 == 0 ? GXcopyInverted : GXcopy);
        XCopyArea(display_, screen, root, gc, 0, 0, width, height, 0, 0);
        XSetFunction(display_, gc, GXcopy);
      } else {
        DrawClock(gc, tick);
        Type(gc, tick);
      }
      XSync(display_, False);
      draws_.fetch_add(1);
      std::this_thread::sleep_for(scene_ == Scene::kWholeChanges ? 250ms : 100ms);
    }
    // The next scene starts from the test screen again.
    XClearWindow(display_, root);
    XSync(display_, False);
    XFreePixmap(display_, screen);
    XFreeGC(display_, gc);
  }

  void Fill(GC gc, unsigned long colour, const ProgramSession::Area& area) {
    XSetForeground(display_, gc, colour);
    XFillRectangle(display_, DefaultRootWindow(display_), gc, area.left, area.top,
                   static_cast<unsigned>(area.right - area.left), static_cast<unsigned>(area.bottom - area.top));
  }

  void DrawClock(GC gc, int tick) {
    Fill(gc, 0xf0f0e0, clock_);
    const double angle = tick * 6.0 * 3.14159265358979 / 180.0;
    const int centre_x = (clock_.left + clock_.right) / 2;
    const int centre_y = (clock_.top + clock_.bottom) / 2;
    const double reach = clock_side_ * 0.45;
    XSetForeground(display_, gc, 0x101010);
    XSetLineAttributes(display_, gc, static_cast<unsigned>(std::max(2, clock_side_ / 40)), LineSolid, CapRound,
                       JoinRound);
    XDrawLine(display_, DefaultRootWindow(display_), gc, centre_x, centre_y,
              centre_x + static_cast<int>(reach * std::sin(angle)),
              centre_y - static_cast<int>(reach * std::cos(angle)));
  }

  void Type(GC gc, int tick) {
    const int columns = (terminal_.right - terminal_.left) / cell_width_;
    const int rows = (terminal_.bottom - terminal_.top) / cell_height_;
    const int cell = tick % (columns * rows);
    const ProgramSession::Area at{terminal_.left + (cell % columns) * cell_width_,
                                  terminal_.top + (cell / columns) * cell_height_, 0, 0};
    Fill(gc, tick % 2 == 0 ? 0x80e080 : 0xe0e0e0,
         {at.left + 1, at.top + 2, at.left + cell_width_ - 1, at.top + cell_height_ - 2});
  }

  Scene scene_;
  int width_;
  int height_;
  Display* display_ = nullptr;
  int clock_side_ = 0;
  ProgramSession::Area clock_;
  ProgramSession::Area terminal_;
  int cell_width_ = 1;
  int cell_height_ = 1;
  std::atomic<bool> stop_{false};
  std::atomic<std::uint64_t> draws_{0};
  std::thread thread_;
};

// The X server's time, the painter's draws and the clock at one moment.
struct XServerReading {
  double x_server_ms = 0;
  std::uint64_t draws = 0;
  Clock::time_point at;
};

// What the X server spends on the painter's drawing: counted per draw, so
// that a stretch is charged for the draws it saw, also when the X server's
// other work delays them; per second on a still screen, where the X server
// only idles.
class SceneCost {
 public:
  SceneCost(const ProgramSession& session, const ScenePainter& painter, Scene scene)
      : session_(session), painter_(painter), per_draw_(scene != Scene::kStill) {}

  XServerReading Read() const { return {CpuMs(session_.XServerPid(), "the X server"), painter_.Draws(), Clock::now()}; }

  // Draws, or seconds on a still screen, between the readings.
  double Units(const XServerReading& from, const XServerReading& to) const {
    return per_draw_ ? static_cast<double>(to.draws - from.draws)
                     : std::chrono::duration<double>(to.at - from.at).count();
  }

  // The X server's milliseconds per unit with nothing but the scene going.
  double MeasureAlone() const {
    std::this_thread::sleep_for(500ms);  // past what went before
    const XServerReading before = Read();
    std::this_thread::sleep_for(3s);
    const XServerReading after = Read();
    const double units = Units(before, after);
    if (units <= 0) {
      throw std::runtime_error("the scene's painter stalled");
    }
    const double ms_per_unit = (after.x_server_ms - before.x_server_ms) / units;
    std::printf("  the X server drawing the scene alone: %.2f ms per %s\n", ms_per_unit, per_draw_ ? "draw" : "second");
    std::fflush(stdout);
    return ms_per_unit;
  }

 private:
  const ProgramSession& session_;
  const ScenePainter& painter_;
  bool per_draw_;
};

// The X server's time over a stretch and the scene's units in it, to which
// the scene's cost is applied once it has been measured after the stretch.
struct XServerSpent {
  double ms = 0;
  double scene_units = 0;
  double Without(double scene_ms_per_unit) const { return ms - scene_ms_per_unit * scene_units; }
};

XServerSpent SpentBetween(const SceneCost& scene, const XServerReading& from, const XServerReading& to) {
  return {to.x_server_ms - from.x_server_ms, scene.Units(from, to)};
}

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

// The test screen with every colour inverted, as the whole-screen changes leave it every other time.
lumivanta::test::OwnedScreen Inverted(lumivanta::test::OwnedScreen screen) {
  for (std::uint8_t& byte : screen.pixels) {
    byte = static_cast<std::uint8_t>(255 - byte);
  }
  return screen;
}

// Mean difference per channel between the newest published picture and the
// screen averaged down to its size, outside the other program's window and
// the changing areas. Throws when the picture is not of the size the setting
// asks for.
double DifferenceToScreen(const ProgramSession& session, const lumivanta::test::OwnedScreen& screen,
                          std::vector<ProgramSession::Area> skipped) {
  const lumivanta::test::DecodedJpeg picture = session.NewestPicture();
  const std::uint32_t width = screen.width * kPictureHeight / screen.height;
  if (picture.width != width || picture.height != kPictureHeight || picture.components != 3) {
    throw std::runtime_error("the program published a " + std::to_string(picture.width) + "x" +
                             std::to_string(picture.height) + " picture instead of " + std::to_string(width) + "x" +
                             std::to_string(kPictureHeight));
  }
  const std::vector<Coverage> rows = CoverageOf(screen.height, picture.height);
  const std::vector<Coverage> columns = CoverageOf(screen.width, picture.width);
  skipped.push_back(session.FocusHolderArea());
  const auto covers = [](const Coverage& coverage, int low, int high) {
    const auto first = static_cast<int>(coverage.first);
    return first + static_cast<int>(coverage.shares.size()) > low && first < high;
  };
  double total = 0;
  double counted = 0;
  for (std::uint32_t row = 0; row < picture.height; ++row) {
    for (std::uint32_t x = 0; x < picture.width; ++x) {
      if (std::any_of(skipped.begin(), skipped.end(), [&](const ProgramSession::Area& area) {
            return covers(rows[row], area.top, area.bottom) && covers(columns[x], area.left, area.right);
          })) {
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

// One stretch of the slideshow, started and stopped again: the program's
// time and the X server's over whole pictures.
struct SlideshowStretch {
  double process_ms = 0;
  XServerSpent x_server;
  double pictures = 0;
  double seconds = 0;
  double difference = 0;
};

SlideshowStretch MeasureSlideshow(ProgramSession& session, const ScenePainter& painter, const SceneCost& scene_cost,
                                  Scene scene, int round) {
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
  const double program_before = CpuMs(program, "the program");
  const XServerReading x_server_before = scene_cost.Read();
  std::uint64_t last = first;
  while (last - first < kMeasuredPictures) {
    last = NextPicture(session, last);
  }
  const double program_after = CpuMs(program, "the program");
  const XServerReading x_server_after = scene_cost.Read();
  ToggleSlideshow(session, " : Slideshow stopped.", times_logged);
  // Cheap pictures count only when they show the screen.
  double difference = DifferenceToScreen(session, session.TestScreen(), painter.ChangingAreas());
  if (scene == Scene::kWholeChanges) {
    difference = std::min(difference, DifferenceToScreen(session, Inverted(session.TestScreen()), {}));
  }
  if (difference > kMostMeanDifference) {
    throw std::runtime_error("the published picture differs from the screen by " + std::to_string(difference) +
                             " per channel on average");
  }
  return {program_after - program_before, SpentBetween(scene_cost, x_server_before, x_server_after),
          static_cast<double>(last - first),
          std::chrono::duration<double>(x_server_after.at - x_server_before.at).count(), difference};
}

// One ffmpeg run of the given frames: its own CPU time and the X server's during it.
struct FfmpegRunSpent {
  double process_ms = 0;
  XServerSpent x_server;
};

FfmpegRunSpent FfmpegRun(const ProgramSession& session, const SceneCost& scene_cost, const ScreenSize& size,
                         const char* framerate, int frames) {
  const std::string video_size = std::to_string(size.width) + "x" + std::to_string(size.height);
  const std::string filter = "scale=-2:" + std::to_string(kPictureHeight) + ":flags=area";
  // As in the program's pictures: no pointer, colours subsampled 4:2:0,
  // quality about libjpeg's 60.
  const std::string frame_count = std::to_string(frames);
  std::vector<std::string> arguments = {"ffmpeg",   "-hide_banner",    "-loglevel", "error",
                                        "-nostdin", "-filter_threads", "1"};
  const std::vector<std::string> input = {"-f",      "x11grab",     "-draw_mouse", "0",  "-framerate",
                                          framerate, "-video_size", video_size,    "-i", session.DisplayName()};
  const std::vector<std::string> output = {"-vf",      filter, "-pix_fmt",  "yuvj420p",  "-c:v", "mjpeg", "-q:v", "11",
                                           "-threads", "1",    "-frames:v", frame_count, "-f",   "null",  "-"};
  arguments.insert(arguments.end(), input.begin(), input.end());
  arguments.insert(arguments.end(), output.begin(), output.end());
  const XServerReading x_server_before = scene_cost.Read();
  const std::optional<double> ffmpeg = lumivanta::bench::CpuMsOfRun(arguments);
  const XServerReading x_server_after = scene_cost.Read();
  if (!ffmpeg) {
    throw std::runtime_error("ffmpeg is missing or failed");
  }
  return {*ffmpeg, SpentBetween(scene_cost, x_server_before, x_server_after)};
}

// A short and a long ffmpeg run, whose difference is ffmpeg's cost without
// its start-up. Meanwhile the program idles; what that costs it is shown beside.
struct FfmpegStretch {
  FfmpegRunSpent short_run;
  FfmpegRunSpent long_run;
  double idle_ms_per_second = 0;
};

FfmpegStretch MeasureFfmpeg(ProgramSession& session, const SceneCost& scene_cost, const ScreenSize& size,
                            const FfmpegPace& pace) {
  const double program_before = CpuMs(session.Program().Pid(), "the program");
  const auto started = Clock::now();
  FfmpegStretch stretch;
  stretch.short_run = FfmpegRun(session, scene_cost, size, pace.framerate, pace.short_frames);
  stretch.long_run = FfmpegRun(session, scene_cost, size, pace.framerate, pace.long_frames);
  stretch.idle_ms_per_second = (CpuMs(session.Program().Pid(), "the program") - program_before) /
                               std::chrono::duration<double>(Clock::now() - started).count();
  return stretch;
}

// ffmpeg's cost per frame at one pace, with the scene's drawing taken off at
// scene_ms_per_unit, the mean of its measurements just before and just after.
Cost FfmpegFrame(ProgramSession& session, const SceneCost& scene_cost, const ScreenSize& size, const FfmpegPace& pace,
                 int round, double& scene_ms_per_unit) {
  const FfmpegStretch ffmpeg = MeasureFfmpeg(session, scene_cost, size, pace);
  const double scene_after = scene_cost.MeasureAlone();
  const double scene_around = (scene_ms_per_unit + scene_after) / 2;
  scene_ms_per_unit = scene_after;
  const double frames = pace.long_frames - pace.short_frames;
  const Cost frame{
      (ffmpeg.long_run.process_ms - ffmpeg.short_run.process_ms) / frames,
      (ffmpeg.long_run.x_server.Without(scene_around) - ffmpeg.short_run.x_server.Without(scene_around)) / frames};
  std::printf(
      "  ffmpeg at %s, round %d: per frame %.2f + %.2f = %.2f ms (the idle program meanwhile: %.2f ms per "
      "second)\n",
      pace.name, round + 1, frame.process_ms, frame.x_server_ms, frame.Sum(), ffmpeg.idle_ms_per_second);
  std::fflush(stdout);
  return frame;
}

struct SceneResult {
  ScreenSize size;
  Scene scene;
  std::vector<Cost> program;
  std::vector<Cost> ffmpeg_full_speed;
  std::vector<Cost> ffmpeg_paced;
};

void MeasureSize(const ScreenSize& size, std::vector<SceneResult>& results) {
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
  int slideshows = 0;
  for (const Scene scene : kScenes) {
    std::printf("%ux%u, %s:\n", size.width, size.height, NameOf(scene));
    std::fflush(stdout);
    const ScenePainter painter(session.DisplayName(), scene, size.width, size.height);
    const SceneCost scene_cost(session, painter, scene);
    SceneResult result{size, scene, {}, {}, {}};
    // Taking turns, the program first: its slideshow minimises its window,
    // so that ffmpeg sees the screen the program's pictures show. The scene
    // alone is measured between the turns; each turn has the mean of the
    // measurements on either side of it taken off.
    double scene_before = scene_cost.MeasureAlone();
    for (int round = 0; round < kRounds; ++round) {
      const SlideshowStretch slideshow = MeasureSlideshow(session, painter, scene_cost, scene, slideshows++);
      const double scene_between = scene_cost.MeasureAlone();
      const Cost program{slideshow.process_ms / slideshow.pictures,
                         slideshow.x_server.Without((scene_before + scene_between) / 2) / slideshow.pictures};
      std::printf(
          "  program round %d: %.0f pictures in %.1f s; per picture %.2f + %.2f = %.2f ms; "
          "the last differs from the screen by %.2f per channel\n",
          round + 1, slideshow.pictures, slideshow.seconds, program.process_ms, program.x_server_ms, program.Sum(),
          slideshow.difference);
      std::fflush(stdout);

      result.program.push_back(program);
      double scene_cost_now = scene_between;
      result.ffmpeg_full_speed.push_back(
          FfmpegFrame(session, scene_cost, size, size.full_speed, round, scene_cost_now));
      result.ffmpeg_paced.push_back(FfmpegFrame(session, scene_cost, size, kSlideshowPace, round, scene_cost_now));
      scene_before = scene_cost_now;
    }
    results.push_back(std::move(result));
  }
}

void PrintLine(const char* label, const MinMedian& values) {
  std::printf("  %-34s %8.2f / %8.2f\n", label, values.min, values.median);
}

void PrintRatio(const char* label, const MinMedian& numerator, const MinMedian& denominator) {
  PrintLine(label, {numerator.min / denominator.min, numerator.median / denominator.median});
}

// The parts of a cost that the summaries print.
double ProcessMs(const Cost& cost) { return cost.process_ms; }
double XServerMs(const Cost& cost) { return cost.x_server_ms; }
double TogetherMs(const Cost& cost) { return cost.Sum(); }

// Whether every median ratio met its goal, against each of ffmpeg's paces.
struct Verdicts {
  bool full_speed = true;
  bool paced = true;
};

// Prints ffmpeg's figures at one pace and the program's ratios to them; true
// when the median ratio meets the goal.
bool SummariseAgainst(const std::vector<Cost>& program_costs, const std::vector<Cost>& ffmpeg_costs, const char* pace,
                      double goal) {
  const MinMedian program = SummaryOf(program_costs, TogetherMs);
  const MinMedian ffmpeg = SummaryOf(ffmpeg_costs, TogetherMs);
  std::printf("  ffmpeg at %s:\n", pace);
  PrintLine("ffmpeg: process", SummaryOf(ffmpeg_costs, ProcessMs));
  PrintLine("ffmpeg: X server", SummaryOf(ffmpeg_costs, XServerMs));
  PrintLine("ffmpeg: together", ffmpeg);
  PrintRatio("ratio program / ffmpeg, together", program, ffmpeg);
  PrintRatio("ratio program / ffmpeg, process", SummaryOf(program_costs, ProcessMs),
             SummaryOf(ffmpeg_costs, ProcessMs));
  const bool met = program.median <= goal * ffmpeg.median;
  std::printf("  goal: ratio together at most %.2f (median): %s\n", goal, met ? "PASS" : "FAIL");
  return met;
}

// Prints the figures of one screen at one size.
void Summarise(const SceneResult& result, Verdicts& verdicts) {
  std::printf("\n%ux%u, %s, ms per picture (min / median over %d rounds):\n", result.size.width, result.size.height,
              NameOf(result.scene), kRounds);
  PrintLine("program: process", SummaryOf(result.program, ProcessMs));
  PrintLine("program: X server", SummaryOf(result.program, XServerMs));
  PrintLine("program: together", SummaryOf(result.program, TogetherMs));
  const double goal = GoalFor(result.scene, result.size);
  verdicts.full_speed = SummariseAgainst(result.program, result.ffmpeg_full_speed, result.size.full_speed.name, goal) &&
                        verdicts.full_speed;
  verdicts.paced = SummariseAgainst(result.program, result.ffmpeg_paced, kSlideshowPace.name, goal) && verdicts.paced;
}

}  // namespace

int main() {
  std::vector<SceneResult> results;
  try {
    for (const ScreenSize& size : kSizes) {
      MeasureSize(size, results);
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "slideshow_cpu_bench: %s\n", error.what());
    return 1;
  }
  Verdicts verdicts;
  for (const SceneResult& result : results) {
    Summarise(result, verdicts);
  }
  std::printf("\nProgram's cost per picture (process + X server) against ffmpeg's per frame, every goal:\n");
  std::printf("  ffmpeg at full speed: %s\n", verdicts.full_speed ? "PASS" : "FAIL");
  std::printf("  ffmpeg at the slideshow's pace: %s\n", verdicts.paced ? "PASS" : "FAIL");
  return 0;
}
