#pragma once

// The real lumivanta-server, started on a free port of 127.0.0.1.

#include <signal.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <string_view>
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
  // With capture_log, Log() reads what the server logged.
  explicit ServerProcess(const std::vector<std::string>& options = {},
                         const std::vector<std::string>& environment_changes = {}, bool capture_log = false);
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;
  ~ServerProcess();

  int Port() const { return port_; }
  const std::string& Log() const { return child_.ErrorOutput(); }
  // How many uploads for the name the server has stored, counted in its log
  // (with capture_log): an upload of the newest picture's bytes again keeps
  // its sequence, so the sequence does not count uploads.
  std::uint64_t StoredUploads(std::string_view name) const {
    return ChildProcess::Occurrences(Log(), "stream_name=" + std::string(name) + " 200 in ");
  }
  pid_t Pid() const { return child_.Pid(); }

  // Ends the server at once with SIGKILL, as a crash would.
  void Kill();

  // Ends the server with SIGTERM and returns its exit code.
  int Stop();

 private:
  mutable ChildProcess child_;
  int port_ = 0;
  bool running_ = true;
};

}  // namespace lumivanta::test
