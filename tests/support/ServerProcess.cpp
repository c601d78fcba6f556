#include "tests/support/ServerProcess.h"

namespace lumivanta::test {

const std::string kServerBinary = LUMIVANTA_SERVER_BINARY;

namespace {

std::vector<std::string> Arguments(const std::vector<std::string>& options) {
  std::vector<std::string> arguments = {kServerBinary, "--listen", "127.0.0.1:0"};
  arguments.insert(arguments.end(), options.begin(), options.end());
  return arguments;
}

}  // namespace

ServerProcess::ServerProcess(const std::vector<std::string>& options,
                             const std::vector<std::string>& environment_changes, bool capture_log)
    : child_(Arguments(options), capture_log, {}, environment_changes) {
  // The server announces "lumivanta-server: listening on http://127.0.0.1:PORT/".
  const std::string line = child_.ReadLine(kServerStartTimeout);
  const std::size_t colon = line.rfind(':');
  if (line.find("listening on") == std::string::npos || colon == std::string::npos) {
    throw std::runtime_error("unexpected first line: " + line);
  }
  port_ = std::stoi(line.substr(colon + 1));
}

ServerProcess::~ServerProcess() {
  if (running_) {
    child_.Signal(SIGTERM);
  }
}

void ServerProcess::Kill() {
  running_ = false;
  child_.Signal(SIGKILL);
  child_.WaitForExit(kServerStopTimeout);
}

int ServerProcess::Stop() {
  running_ = false;
  child_.Signal(SIGTERM);
  return child_.WaitForExit(kServerStopTimeout).exit_code;
}

}  // namespace lumivanta::test
