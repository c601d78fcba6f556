#pragma once

// Runs a program with its standard output (and optionally standard error) on
// pipes, and ends it by its PID when the object goes away.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace lumivanta::test {

class ChildProcess {
 public:
  struct Finished {
    int exit_code = -1;  // the negated signal number when a signal ended it
    std::string out;
    std::string err;
  };

  // Starts the program in working_directory (the current one when empty),
  // with this process's environment changed by environment_changes: each
  // "NAME=value" sets a variable, each bare "NAME" removes one. With
  // piped_input its standard input is a pipe that Write feeds.
  ChildProcess(const std::vector<std::string>& arguments, bool capture_stderr,
               const std::string& working_directory = {}, const std::vector<std::string>& environment_changes = {},
               bool piped_input = false);
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess();

  pid_t Pid() const { return pid_; }
  // Writes to the child's standard input (with piped_input); false when it cannot.
  bool Write(std::string_view text) const;
  void Signal(int signal) const;

  // One line of standard output without its line break; throws when none comes in time.
  std::string ReadLine(std::chrono::milliseconds timeout);

  // What the child wrote to its captured standard error so far, read without waiting.
  const std::string& ErrorOutput();

  // Waits until the captured standard error holds text (count times); false on time-out.
  bool WaitForErrorText(std::string_view text, std::chrono::milliseconds timeout, std::size_t count = 1);

  static std::size_t Occurrences(std::string_view text, std::string_view part);

  // Whether the process is still running.
  bool IsRunning();

  // Reads the pipes to their end and reaps the process; throws when it does not end in time.
  Finished WaitForExit(std::chrono::milliseconds timeout);

 private:
  void CloseFds();

  pid_t pid_ = -1;
  int out_fd_ = -1;
  int err_fd_ = -1;
  int in_fd_ = -1;
  int exited_status_ = 0;
  std::string err_text_;
};

}  // namespace lumivanta::test
