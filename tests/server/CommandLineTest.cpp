// The server program's options, exit codes and shutdown.

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"
#include "tests/support/RawHttp.h"
#include "tests/support/ServerProcess.h"

namespace lumivanta::test {
namespace {

constexpr std::chrono::seconds kExitTimeout{20};

ChildProcess::Finished RunToExit(const std::vector<std::string>& options) {
  std::vector<std::string> arguments = {kServerBinary};
  arguments.insert(arguments.end(), options.begin(), options.end());
  ChildProcess child(arguments, true);
  return child.WaitForExit(kExitTimeout);
}

TEST(CommandLineTest, HelpShowsTheOptionsAndTheMemoryBound) {
  const ChildProcess::Finished help = RunToExit({"--help"});
  EXPECT_EQ(help.exit_code, 0);
  for (const char* text : {"--listen", "--store", "1000 names", "256 MiB", "32 MiB"}) {
    EXPECT_NE(help.out.find(text), std::string::npos) << text;
  }
}

TEST(CommandLineTest, BadOptionsPrintTheUsageOnStandardErrorAndExit2) {
  for (const std::vector<std::string>& options : {std::vector<std::string>{"--bogus"}, {"--listen", "nowhere"}}) {
    const ChildProcess::Finished refused = RunToExit(options);
    EXPECT_EQ(refused.exit_code, 2) << options.front();
    EXPECT_NE(refused.err.find("Usage:"), std::string::npos) << refused.err;
    EXPECT_TRUE(refused.out.empty());
  }
}

TEST(CommandLineTest, ATakenPortIsReportedWithoutServing) {
  ServerProcess first;
  const ChildProcess::Finished second = RunToExit({"--listen", "127.0.0.1:" + std::to_string(first.Port())});
  EXPECT_NE(second.exit_code, 0);
  EXPECT_NE(second.err.find("cannot listen on 127.0.0.1:" + std::to_string(first.Port())), std::string::npos)
      << second.err;
  EXPECT_EQ(Get(first.Port(), "/").status, 200);
}

TEST(CommandLineTest, InterruptEndsTheServerCleanly) {
  ChildProcess child({kServerBinary, "--listen", "127.0.0.1:0"}, true);
  child.ReadLine(kServerStartTimeout);
  child.Signal(SIGINT);
  const ChildProcess::Finished finished = child.WaitForExit(kExitTimeout);
  EXPECT_EQ(finished.exit_code, 0);
  EXPECT_TRUE(finished.err.empty()) << finished.err;
}

}  // namespace
}  // namespace lumivanta::test
