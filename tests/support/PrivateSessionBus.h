#pragma once

// A private D-Bus session bus for one test: its own dbus-daemon with its own
// configuration (no activatable services, nothing of the machine's), listening
// in a fresh directory and ended by its PID when the object goes away.

#include <chrono>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace lumivanta::test {

inline constexpr auto kBusStartTimeout = std::chrono::seconds(20);

class PrivateSessionBus {
 public:
  PrivateSessionBus() : daemon_(DaemonArguments(directory_), false), address_(daemon_.ReadLine(kBusStartTimeout)) {}

  // For DBUS_SESSION_BUS_ADDRESS.
  const std::string& Address() const { return address_; }
  // An address where no bus listens.
  std::string MissingAddress() const { return "unix:path=" + directory_.File("nobody-listens"); }

 private:
  // Writes the configuration; the daemon prints its address on standard output.
  static std::vector<std::string> DaemonArguments(const TempDir& directory) {
    const std::string configuration = directory.File("session.conf");
    std::ofstream file(configuration);
    file << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
            " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
            "<busconfig>\n"
            "  <type>session</type>\n"
            "  <listen>unix:path="
         << directory.File("bus")
         << "</listen>\n"
            "  <auth>EXTERNAL</auth>\n"
            "  <policy context=\"default\">\n"
            "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
            "    <allow eavesdrop=\"true\"/>\n"
            "    <allow own=\"*\"/>\n"
            "  </policy>\n"
            "</busconfig>\n";
    if (!file.flush()) {
      throw std::runtime_error("cannot write " + configuration);
    }
    return {LUMIVANTA_DBUS_DAEMON_PROGRAM, "--config-file=" + configuration, "--nofork", "--nopidfile",
            "--print-address"};
  }

  TempDir directory_;
  ChildProcess daemon_;
  std::string address_;
};

}  // namespace lumivanta::test
