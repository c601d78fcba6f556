#include "app/desktop/CommandLine.h"

#include <utility>

#include "app/run/CommandTable.h"
#include "strings/StringTable.h"

namespace lumivanta {
namespace {

constexpr std::string_view kOptionPrefix = "--";
constexpr std::size_t kOptionColumnWidth = 13;

CommandLine Failure(std::string error) {
  CommandLine result;
  result.action = CommandLine::Action::kFail;
  result.error = std::move(error);
  return result;
}

std::string OptionLine(std::string_view option, std::string_view text) {
  std::string line = "  ";
  line += option;
  line.append(option.size() < kOptionColumnWidth ? kOptionColumnWidth - option.size() : 1, ' ');
  line += text;
  line += '\n';
  return line;
}

}  // namespace

CommandLine ParseCommandLine(std::span<const std::string_view> arguments) {
  if (arguments.empty()) {
    return {};
  }
  const std::string_view argument = arguments.front();
  CommandLine result;
  if (argument == "--help" || argument == "-h") {
    result.action = CommandLine::Action::kShowHelp;
  } else if (argument == "--version") {
    result.action = CommandLine::Action::kShowVersion;
  } else if (!argument.starts_with('-')) {
    return Failure("unexpected argument '" + std::string(argument) + "'");
  } else if (const Command* command = argument.starts_with(kOptionPrefix)
                                          ? CommandForRemoteName(argument.substr(kOptionPrefix.size()))
                                          : nullptr;
             command != nullptr) {
    result.action = CommandLine::Action::kSend;
    result.command = command;
  } else {
    return Failure("unknown option '" + std::string(argument) + "'");
  }
  // One option per call: each command is a short process of its own, as a key binding runs it.
  if (arguments.size() > 1) {
    return Failure("one option at a time; '" + std::string(arguments[1]) + "' follows '" + std::string(argument) + "'");
  }
  return result;
}

std::string UsageText() {
  std::string usage =
      "Usage: lumivanta [OPTION]\n"
      "\n"
      "Captures this computer's screen and uploads it to a picture server, where viewers\n"
      "watch it in a browser. Without an option it starts the program. Each command\n"
      "option sends its command over the D-Bus session bus to the running Lumivanta,\n"
      "which carries it out as the hotkey in brackets would, and exits.\n"
      "\n";
  for (const Command& command : Commands()) {
    if (!command.remote_name.empty()) {
      const std::string text =
          std::string(Text(command.hotkey_text_id)) + " (Ctrl+" + std::string(1, HotkeyKey(command)) + ")";
      usage += OptionLine(std::string(kOptionPrefix) + std::string(command.remote_name), text);
    }
  }
  usage += OptionLine("--help", "Show this text");
  usage += OptionLine("--version", "Show the version");
  usage +=
      "\n"
      "Exit status: 0 done, 1 the command reached no running Lumivanta, 2 bad command line,\n"
      "3 the running Lumivanta did not do the command (a dialog is open, for example).\n";
  return usage;
}

std::string VersionText() { return std::string("lumivanta ") + LUMIVANTA_VERSION + "\n"; }

}  // namespace lumivanta
