// The program's command line, run as a process without a display and without
// a session bus: usage, version, refused command lines, and commands that find
// no running instance.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "app/desktop/RemoteControl.h"
#include "app/run/CommandTable.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace lumivanta {
namespace {

constexpr std::chrono::seconds kExitTimeout{20};

class CommandLineTest : public ::testing::Test {
 protected:
  test::ChildProcess::Finished Run(const std::vector<std::string>& options) const {
    std::vector<std::string> arguments = {LUMIVANTA_PROGRAM};
    arguments.insert(arguments.end(), options.begin(), options.end());
    test::ChildProcess program(
        arguments, true, {},
        {"DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS=unix:path=" + no_bus_.File("bus")});
    return program.WaitForExit(kExitTimeout);
  }

  test::TempDir no_bus_;
};

TEST_F(CommandLineTest, HelpAndVersionNeedNeitherDisplayNorBus) {
  const test::ChildProcess::Finished help = Run({"--help"});
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_TRUE(help.out.starts_with("Usage: lumivanta [OPTION]\n")) << help.out;
  for (const char* text : {"--publish", "--slideshow", "--cursor", "--options", "--delete", "--show", "--version",
                           "(Ctrl+P)", "(Ctrl+R)", "session bus"}) {
    EXPECT_NE(help.out.find(text), std::string::npos) << text;
  }
  EXPECT_EQ(help.err, "");

  const test::ChildProcess::Finished version = Run({"--version"});
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_EQ(version.out, "lumivanta 1.0\n");
  EXPECT_EQ(version.err, "");
}

TEST_F(CommandLineTest, BadCommandLinesPrintTheUsageOnStandardErrorAndExit2) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
      {{"--bogus"}, "lumivanta: unknown option '--bogus'\n"},
      {{"-p"}, "lumivanta: unknown option '-p'\n"},
      {{"--publish=now"}, "lumivanta: unknown option '--publish=now'\n"},
      {{"picture.jpg"}, "lumivanta: unexpected argument 'picture.jpg'\n"},
      {{"--publish", "--show"}, "lumivanta: one option at a time; '--show' follows '--publish'\n"},
      {{"--help", "extra"}, "lumivanta: one option at a time; 'extra' follows '--help'\n"},
  };
  for (const auto& [options, first_line] : refused) {
    const test::ChildProcess::Finished finished = Run(options);
    EXPECT_EQ(finished.exit_code, 2) << options.front();
    EXPECT_TRUE(finished.err.starts_with(first_line + "\nUsage: lumivanta")) << finished.err;
    EXPECT_EQ(finished.out, "");
  }
}

// Every command with a command-line name, from the table: each has its method
// on the bus interface, and without a bus each says so in one line and exits 1.
TEST_F(CommandLineTest, EachCommandOptionWithoutARunningInstanceExits1) {
  std::size_t remote_commands = 0;
  for (const Command& command : Commands()) {
    if (command.remote_name.empty()) {
      continue;
    }
    ++remote_commands;
    const std::string option = "--" + std::string(command.remote_name);
    const QByteArray method = RemoteMethodName(command).toLatin1() + "()";
    EXPECT_NE(RemoteControl::staticMetaObject.indexOfMethod(method.constData()), -1) << method.constData();

    const auto started = std::chrono::steady_clock::now();
    const test::ChildProcess::Finished finished = Run({option});
    EXPECT_EQ(finished.exit_code, 1) << option;
    EXPECT_EQ(finished.err, "lumivanta: no running Lumivanta to send " + option + " to\n");
    EXPECT_EQ(finished.out, "");
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5)) << option;
  }
  EXPECT_EQ(remote_commands, 6u);
}

}  // namespace
}  // namespace lumivanta
