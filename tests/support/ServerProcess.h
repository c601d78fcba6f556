#pragma once

// The real lumivanta-server, started on a free port of 127.0.0.1.

#include <signal.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"

namespace lumivanta::test {

// The lumivanta-server program of this build.
extern const std::string kServerBinary;
inline constexpr std::chrono::seconds kServerStartTimeout{20};
inline constexpr std::chrono::seconds kServerStopTimeout{20};

class ServerProcess {
 public:
  // environment_changes as for ChildProcess: "NAME=value" sets, a bare "NAME" removes.
  explicit ServerProcess(const std::vector<std::string>& options = {},
                         const std::vector<std::string>& environment_changes = {});
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;
  ~ServerProcess();

  int Port() const { return port_; }
  pid_t Pid() const { return child_.Pid(); }

  // Ends the server at once with SIGKILL, as a crash would.
  void Kill();

  // Ends the server with SIGTERM and returns its exit code.
  int Stop();

 private:
  ChildProcess child_;
  int port_ = 0;
  bool running_ = true;
};

}  // namespace lumivanta::test
