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

inline const std::string kServerBinary = LUMIVANTA_SERVER_BINARY;
inline constexpr std::chrono::seconds kServerStartTimeout{20};
inline constexpr std::chrono::seconds kServerStopTimeout{20};

class ServerProcess {
 public:
  // environment_changes as for ChildProcess: "NAME=value" sets, a bare "NAME" removes.
  // With capture_log, Log() reads what the server logged.
  explicit ServerProcess(const std::vector<std::string>& options = {},
                         const std::vector<std::string>& environment_changes = {}, bool capture_log = false)
      : child_(Arguments(options), capture_log, {}, environment_changes) {
    // The server announces "lumivanta-server: listening on http://127.0.0.1:PORT/".
    const std::string line = child_.ReadLine(kServerStartTimeout);
    const std::size_t colon = line.rfind(':');
    if (line.find("listening on") == std::string::npos || colon == std::string::npos) {
      throw std::runtime_error("unexpected first line: " + line);
    }
    port_ = std::stoi(line.substr(colon + 1));
  }
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;
  ~ServerProcess() {
    if (running_) {
      child_.Signal(SIGTERM);
    }
  }

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
  void Kill() {
    running_ = false;
    child_.Signal(SIGKILL);
    child_.WaitForExit(kServerStopTimeout);
  }

  // Ends the server with SIGTERM and returns its exit code.
  int Stop() {
    running_ = false;
    child_.Signal(SIGTERM);
    return child_.WaitForExit(kServerStopTimeout).exit_code;
  }

 private:
  static std::vector<std::string> Arguments(const std::vector<std::string>& options) {
    std::vector<std::string> arguments = {kServerBinary, "--listen", "127.0.0.1:0"};
    arguments.insert(arguments.end(), options.begin(), options.end());
    return arguments;
  }

  mutable ChildProcess child_;
  int port_ = 0;
  bool running_ = true;
};

}  // namespace lumivanta::test
