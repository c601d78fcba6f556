#pragma once

// The program's command line: start the program, print the usage or the
// version, or send one command of the command table to the running instance.
// Read before any Qt object exists, so that --help and --version need neither
// a display nor a session bus.

#include <span>
#include <string>
#include <string_view>

namespace lumivanta {

struct Command;

struct CommandLine {
  enum class Action { kRun, kShowHelp, kShowVersion, kSend, kFail };
  Action action = Action::kRun;
  // The command to send, for Action::kSend: a row of the command table with a remote name.
  const Command* command = nullptr;
  // Why the command line was refused, for Action::kFail.
  std::string error;
};

// Reads the arguments after the program name: none, or exactly one option.
CommandLine ParseCommandLine(std::span<const std::string_view> arguments);

std::string UsageText();

// "lumivanta 1.0" and a line break.
std::string VersionText();

}  // namespace lumivanta
