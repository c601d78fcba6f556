#include "tests/support/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace lumivanta::test {
namespace {

std::vector<std::string> ChangedEnvironment(const std::vector<std::string>& changes) {
  const auto name_of = [](std::string_view variable) { return variable.substr(0, variable.find('=')); };
  std::vector<std::string> environment;
  for (char** variable = environ; *variable != nullptr; ++variable) {
    const std::string_view current(*variable);
    const bool changed = std::any_of(changes.begin(), changes.end(),
                                     [&](const std::string& change) { return name_of(change) == name_of(current); });
    if (!changed) {
      environment.emplace_back(current);
    }
  }
  for (const std::string& change : changes) {
    if (change.find('=') != std::string::npos) {
      environment.push_back(change);
    }
  }
  return environment;
}

bool WaitReadable(int fd, std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  pollfd request = {fd, POLLIN, 0};
  return left.count() > 0 && ::poll(&request, 1, static_cast<int>(left.count())) == 1;
}

void DrainUntilClosed(int fd, std::string& into, std::chrono::steady_clock::time_point deadline) {
  char buffer[4096];
  while (fd >= 0) {
    if (!WaitReadable(fd, deadline)) {
      throw std::runtime_error("the child process kept its output open too long");
    }
    const ssize_t got = ::read(fd, buffer, sizeof(buffer));
    if (got <= 0) {
      return;
    }
    into.append(buffer, static_cast<std::size_t>(got));
  }
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& arguments, bool capture_stderr,
                           const std::string& working_directory, const std::vector<std::string>& environment_changes,
                           bool piped_input) {
  int out_pipe[2] = {-1, -1};
  int err_pipe[2] = {-1, -1};
  int in_pipe[2] = {-1, -1};
  if (::pipe2(out_pipe, O_CLOEXEC) != 0 || (capture_stderr && ::pipe2(err_pipe, O_CLOEXEC) != 0) ||
      (piped_input && ::pipe2(in_pipe, O_CLOEXEC) != 0)) {
    throw std::runtime_error("pipe2 failed");
  }
  if (capture_stderr) {
    // Room for a long log that is read only now and then, so that the child does not wait on it.
    ::fcntl(err_pipe[0], F_SETPIPE_SZ, 1 << 20);
  }
  std::vector<char*> argv;
  for (const auto& argument : arguments) {
    argv.push_back(const_cast<char*>(argument.c_str()));
  }
  argv.push_back(nullptr);
  std::vector<std::string> environment = ChangedEnvironment(environment_changes);
  std::vector<char*> envp;
  for (auto& variable : environment) {
    envp.push_back(variable.data());
  }
  envp.push_back(nullptr);
  const pid_t parent = ::getpid();
  pid_ = ::fork();
  if (pid_ == 0) {
    // In the child only async-signal-safe calls until exec. It dies with
    // the test, so that a test that crashes leaves nothing running.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) {
      ::_exit(127);
    }
    ::dup2(out_pipe[1], STDOUT_FILENO);
    if (capture_stderr) {
      ::dup2(err_pipe[1], STDERR_FILENO);
    }
    if (piped_input) {
      ::dup2(in_pipe[0], STDIN_FILENO);
    }
    if (!working_directory.empty() && ::chdir(working_directory.c_str()) != 0) {
      ::_exit(127);
    }
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  const bool spawned = pid_ > 0;
  ::close(out_pipe[1]);
  out_fd_ = out_pipe[0];
  if (capture_stderr) {
    ::close(err_pipe[1]);
    err_fd_ = err_pipe[0];
  }
  if (piped_input) {
    ::close(in_pipe[0]);
    in_fd_ = in_pipe[1];
    // A child that has ended makes Write fail rather than end the test.
    ::signal(SIGPIPE, SIG_IGN);
  }
  if (!spawned) {
    pid_ = -1;
    CloseFds();
    throw std::runtime_error("cannot start " + arguments.front());
  }
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  CloseFds();
}

bool ChildProcess::Write(std::string_view text) const {
  return ::write(in_fd_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

void ChildProcess::Signal(int signal) const { ::kill(pid_, signal); }

std::string ChildProcess::ReadLine(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::string line;
  char byte = 0;
  while (WaitReadable(out_fd_, deadline) && ::read(out_fd_, &byte, 1) == 1) {
    if (byte == '\n') {
      return line;
    }
    line += byte;
  }
  throw std::runtime_error("no line from the child process; got '" + line + "'");
}

const std::string& ChildProcess::ErrorOutput() {
  char buffer[4096];
  pollfd request = {err_fd_, POLLIN, 0};
  while (err_fd_ >= 0 && ::poll(&request, 1, 0) == 1) {
    const ssize_t got = ::read(err_fd_, buffer, sizeof(buffer));
    if (got <= 0) {
      break;
    }
    err_text_.append(buffer, static_cast<std::size_t>(got));
  }
  return err_text_;
}

bool ChildProcess::WaitForErrorText(std::string_view text, std::chrono::milliseconds timeout, std::size_t count) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (true) {
    if (Occurrences(ErrorOutput(), text) >= count) {
      return true;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    WaitReadable(err_fd_, std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(50)));
  }
}

std::size_t ChildProcess::Occurrences(std::string_view text, std::string_view part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string_view::npos; at = text.find(part, at + part.size())) {
    ++count;
  }
  return count;
}

bool ChildProcess::IsRunning() {
  int status = 0;
  if (pid_ > 0 && ::waitpid(pid_, &status, WNOHANG) == pid_) {
    pid_ = -1;
    exited_status_ = status;
  }
  return pid_ > 0;
}

ChildProcess::Finished ChildProcess::WaitForExit(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  Finished finished;
  DrainUntilClosed(out_fd_, finished.out, deadline);
  ErrorOutput();
  finished.err = err_text_;
  DrainUntilClosed(err_fd_, finished.err, deadline);
  if (pid_ < 0) {
    finished.exit_code = WIFEXITED(exited_status_) ? WEXITSTATUS(exited_status_) : -WTERMSIG(exited_status_);
    return finished;
  }
  int status = 0;
  while (::waitpid(pid_, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      throw std::runtime_error("the child process did not end in time");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  pid_ = -1;
  finished.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
  return finished;
}

void ChildProcess::CloseFds() {
  for (int* fd : {&out_fd_, &err_fd_, &in_fd_}) {
    if (*fd >= 0) {
      ::close(*fd);
      *fd = -1;
    }
  }
}

}  // namespace lumivanta::test
