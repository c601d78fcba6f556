#pragma once

// Runs another program (found on PATH) to its end and measures its wall time.

#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

extern char** environ;

namespace lumivanta::bench {

// Seconds from start to exit; negative when the program cannot run or fails.
inline double WallSecondsOfRun(std::vector<std::string> arguments) {
  std::vector<char*> argv;
  for (auto& argument : arguments) {
    argv.push_back(argument.data());
  }
  argv.push_back(nullptr);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = -1;
  if (::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
    return -1.0;
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? elapsed.count() : -1.0;
}

// The time per item of a program whose every run costs its start-up plus a
// time per item: the difference of a long and a short run divided by the
// difference of their item counts. Nothing when a run fails.
template <typename SecondsForItems>
std::optional<double> SecondsPerItem(SecondsForItems run, int short_count, int long_count) {
  const double short_run = run(short_count);
  const double long_run = run(long_count);
  if (short_run < 0 || long_run < 0) {
    return std::nullopt;
  }
  return (long_run - short_run) / (long_count - short_count);
}

}  // namespace lumivanta::bench
