#pragma once

// The processor time that processes spend: another running process by its
// PID, and a program run to its end.

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace lumivanta::bench {

// Milliseconds of user and system time that the process has spent so far, in
// all its threads, those already ended included: utime + stime of
// /proc/PID/stat, in whole clock ticks. Nothing when the process is gone.
inline std::optional<double> ProcessCpuMsFromStat(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
  const std::string stat((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  // The command name in parentheses may hold spaces: the fields are counted after its end.
  const std::size_t name_end = stat.rfind(')');
  if (name_end == std::string::npos) {
    return std::nullopt;
  }
  std::istringstream fields(stat.substr(name_end + 1));
  // The fields after the name are state (3) to cstime (17); utime and stime are 14 and 15.
  std::string skipped;
  for (int field = 3; field < 14; ++field) {
    fields >> skipped;
  }
  unsigned long long user_ticks = 0;
  unsigned long long system_ticks = 0;
  if (!(fields >> user_ticks >> system_ticks)) {
    return std::nullopt;
  }
  return static_cast<double>(user_ticks + system_ticks) * 1e3 / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// The same sum read from the process's CPU clock, without the rounding to
// clock ticks; from /proc/PID/stat where that clock cannot be had.
inline std::optional<double> ProcessCpuMs(pid_t pid) {
  clockid_t clock = 0;
  timespec spent{};
  if (::clock_getcpuclockid(pid, &clock) == 0 && ::clock_gettime(clock, &spent) == 0) {
    return static_cast<double>(spent.tv_sec) * 1e3 + static_cast<double>(spent.tv_nsec) / 1e6;
  }
  return ProcessCpuMsFromStat(pid);
}

// Milliseconds of user and system time of one run of a program (found on
// PATH), from its resource usage at its end; nothing when it cannot run or fails.
inline std::optional<double> CpuMsOfRun(std::vector<std::string> arguments) {
  std::vector<char*> argv;
  for (auto& argument : arguments) {
    argv.push_back(argument.data());
  }
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
    return std::nullopt;
  }
  int status = 0;
  rusage usage{};
  if (::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    return std::nullopt;
  }
  const auto milliseconds = [](const timeval& time) {
    return static_cast<double>(time.tv_sec) * 1e3 + static_cast<double>(time.tv_usec) / 1e3;
  };
  return milliseconds(usage.ru_utime) + milliseconds(usage.ru_stime);
}

}  // namespace lumivanta::bench
