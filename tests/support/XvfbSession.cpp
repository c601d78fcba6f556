#include "tests/support/XvfbSession.h"

#include <X11/Xatom.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace lumivanta::test {
namespace {

bool ReadLine(int fd, std::chrono::seconds timeout, std::string& line) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  char byte = 0;
  while (true) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd request = {fd, POLLIN, 0};
    if (left.count() <= 0 || ::poll(&request, 1, static_cast<int>(left.count())) != 1 || ::read(fd, &byte, 1) != 1) {
      return false;
    }
    if (byte == '\n') {
      return true;
    }
    line += byte;
  }
}

// The exit status; the process is killed when it does not end in time.
int WaitFor(pid_t pid, std::chrono::seconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return status;
}

void Stop(pid_t& pid) {
  if (pid <= 0) {
    return;
  }
  ::kill(pid, SIGTERM);
  WaitFor(pid, kStopTimeout);
  pid = -1;
}

}  // namespace

bool MapUntilViewable(Display* display, Window window) {
  constexpr int kPollsPerRequest = 25;
  const auto deadline = std::chrono::steady_clock::now() + kWindowTimeout;
  for (int poll = 0; std::chrono::steady_clock::now() < deadline; ++poll) {
    if (poll % kPollsPerRequest == 0) {
      XMapRaised(display, window);
    }
    XWindowAttributes attributes{};
    XGetWindowAttributes(display, window, &attributes);
    if (attributes.map_state == IsViewable) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

XvfbSession::XvfbSession(const XvfbOptions& options) {
  StartXvfb(options);
  if (options.window_manager) {
    try {
      StartWindowManager();
    } catch (...) {
      Stop(xvfb_pid_);
      throw;
    }
  }
}

XvfbSession::~XvfbSession() {
  Stop(window_manager_pid_);
  Stop(xvfb_pid_);
}

void XvfbSession::Kill() {
  if (xvfb_pid_ > 0) {
    ::kill(xvfb_pid_, SIGKILL);
    ::waitpid(xvfb_pid_, nullptr, 0);
    xvfb_pid_ = -1;
  }
  Stop(window_manager_pid_);
}

void XvfbSession::MakeCurrent() const { ::setenv("DISPLAY", display_name_.c_str(), 1); }

int XvfbSession::Run(const std::vector<std::string>& arguments) const {
  const pid_t pid = Spawn(arguments);
  if (pid < 0) {
    return -1;
  }
  const int status = WaitFor(pid, kProgramTimeout);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void XvfbSession::StartXvfb(const XvfbOptions& options) {
  int pipe_fds[2] = {-1, -1};
  if (::pipe2(pipe_fds, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe2 failed");
  }
  // Xvfb writes the display number it chose to the inherited write end.
  ::fcntl(pipe_fds[1], F_SETFD, 0);
  std::vector<std::string> arguments = {LUMIVANTA_XVFB_PROGRAM,
                                        "-displayfd",
                                        std::to_string(pipe_fds[1]),
                                        "-screen",
                                        "0",
                                        options.screen,
                                        "-noreset",
                                        "-nolisten",
                                        "tcp"};
  arguments.insert(arguments.end(), options.extra_arguments.begin(), options.extra_arguments.end());
  xvfb_pid_ = Spawn(arguments);
  ::close(pipe_fds[1]);
  std::string number;
  const bool announced = xvfb_pid_ > 0 && ReadLine(pipe_fds[0], kXvfbStartTimeout, number);
  ::close(pipe_fds[0]);
  if (!announced || number.empty()) {
    Stop(xvfb_pid_);
    throw std::runtime_error("Xvfb did not start");
  }
  display_name_ = ":" + number;
}

void XvfbSession::StartWindowManager() {
  window_manager_pid_ = Spawn({LUMIVANTA_OPENBOX_PROGRAM, "--sm-disable"});
  if (window_manager_pid_ < 0) {
    throw std::runtime_error("openbox did not start");
  }
  // A window manager that follows the EWMH announces itself on the root window.
  Display* display = XOpenDisplay(display_name_.c_str());
  if (display == nullptr) {
    throw std::runtime_error("cannot open " + display_name_);
  }
  const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False);
  const auto deadline = std::chrono::steady_clock::now() + kWindowManagerStartTimeout;
  bool running = false;
  while (!running && std::chrono::steady_clock::now() < deadline) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    XGetWindowProperty(display, DefaultRootWindow(display), check, 0, 1, False, XA_WINDOW, &type, &format, &count,
                       &remaining, &data);
    running = data != nullptr && count == 1;
    XFree(data);
    if (!running) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  // Announced is not yet ready: it manages windows once one of ours is shown.
  bool managing = false;
  if (running) {
    const Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 10, 10, 0, 0, 0);
    managing = MapUntilViewable(display, window);
    XDestroyWindow(display, window);
  }
  XCloseDisplay(display);
  if (!managing) {
    throw std::runtime_error("openbox did not take over the display");
  }
}

pid_t XvfbSession::Spawn(const std::vector<std::string>& arguments) const {
  std::vector<std::string> environment;
  for (char** variable = environ; *variable != nullptr; ++variable) {
    if (std::string(*variable).rfind("DISPLAY=", 0) != 0) {
      environment.emplace_back(*variable);
    }
  }
  if (!display_name_.empty()) {
    environment.push_back("DISPLAY=" + display_name_);
  }
  std::vector<char*> argv;
  for (const auto& argument : arguments) {
    argv.push_back(const_cast<char*>(argument.c_str()));
  }
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (auto& variable : environment) {
    envp.push_back(variable.data());
  }
  envp.push_back(nullptr);

  // Forked by hand rather than spawned: the child asks to be killed when the
  // test process dies, so that a crashed test leaves no X server behind.
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) {
      ::_exit(127);
    }
    const int null_fd = ::open("/dev/null", O_WRONLY);
    ::dup2(null_fd, STDOUT_FILENO);
    ::dup2(null_fd, STDERR_FILENO);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  return pid;
}

}  // namespace lumivanta::test
