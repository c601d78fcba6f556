// The server program's options, exit codes and shutdown.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"
#include "tests/support/RawHttp.h"
#include "tests/support/ServerProcess.h"
#include "tests/support/TempDir.h"

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
  for (const char* text : {"--listen", "--store", "1000 names", "256 MiB", "32 MiB", "--upload-key-file",
                           "--view-key-file", "--public", "--new-key", "LUMIVANTA_UPLOAD_KEY"}) {
    EXPECT_NE(help.out.find(text), std::string::npos) << text;
  }
}

TEST(CommandLineTest, VersionIsPrinted) {
  const ChildProcess::Finished version = RunToExit({"--version"});
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_EQ(version.out, "lumivanta-server 1.0\n");
}

TEST(CommandLineTest, BadOptionsPrintTheUsageOnStandardErrorAndExit2) {
  for (const std::vector<std::string>& options : {std::vector<std::string>{"--bogus"},
                                                  {"--upload-key", "Up1oad-key_0123456789abcdef"},
                                                  {"--listen", "nowhere"},
                                                  {"--header-timeout", "0"},
                                                  {"--max-body-mib", "64"}}) {
    const ChildProcess::Finished refused = RunToExit(options);
    EXPECT_EQ(refused.exit_code, 2) << options.front();
    EXPECT_NE(refused.err.find("Usage:"), std::string::npos) << refused.err;
    EXPECT_TRUE(refused.out.empty());
  }
}

TEST(CommandLineTest, NewKeyPrintsARandomUrlSafeKey) {
  const ChildProcess::Finished first = RunToExit({"--new-key"});
  const ChildProcess::Finished second = RunToExit({"--new-key"});
  EXPECT_EQ(first.exit_code, 0);
  EXPECT_TRUE(std::regex_match(first.out, std::regex("[A-Za-z0-9_-]{43}\n"))) << first.out;
  EXPECT_TRUE(std::regex_match(second.out, std::regex("[A-Za-z0-9_-]{43}\n"))) << second.out;
  EXPECT_NE(first.out, second.out);
}

// Checked before anything listens, so no address is taken.
TEST(CommandLineTest, BeyondLoopbackWithoutAnUploadKeyItRefusesToStartAndSaysHow) {
  const std::vector<std::string> no_keys = {"LUMIVANTA_UPLOAD_KEY", "LUMIVANTA_VIEW_KEY", "CREDENTIALS_DIRECTORY"};
  ChildProcess child({kServerBinary, "--listen", "0.0.0.0:0"}, true, {}, no_keys);
  const ChildProcess::Finished refused = child.WaitForExit(kExitTimeout);
  EXPECT_EQ(refused.exit_code, 2);
  EXPECT_TRUE(refused.out.empty()) << refused.out;
  for (const char* how :
       {"--new-key", "umask 077", "--upload-key-file", "LUMIVANTA_UPLOAD_KEY", "/u/KEY/", "--public"}) {
    EXPECT_NE(refused.err.find(how), std::string::npos) << how << '\n' << refused.err;
  }

  const ChildProcess::Finished bad_key = RunToExit({"--view-key-file", "/nonexistent/view-key"});
  EXPECT_EQ(bad_key.exit_code, 2);
  EXPECT_NE(bad_key.err.find("cannot read the view key file /nonexistent/view-key"), std::string::npos) << bad_key.err;
  EXPECT_TRUE(bad_key.out.empty()) << bad_key.out;
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

// One line per logged request: time, client, method, target with every key hidden, status, bytes in and out, duration.
TEST(CommandLineTest, UploadsAndRefusalsAreLoggedAndEveryRequestWithVerbose) {
  const std::string key = "Up1oad-key_0123456789abcdef";
  for (const bool verbose : {false, true}) {
    std::vector<std::string> arguments = {kServerBinary, "--listen", "127.0.0.1:0"};
    if (verbose) {
      arguments.push_back("--verbose");
    }
    ChildProcess child(arguments, true, {},
                       {"LUMIVANTA_UPLOAD_KEY=" + key, "LUMIVANTA_VIEW_KEY", "CREDENTIALS_DIRECTORY"});
    const std::string line = child.ReadLine(kServerStartTimeout);
    const int port = std::stoi(line.substr(line.rfind(':') + 1));
    ASSERT_EQ(Exchange(port, ProgramUpload(port, "abc", "picture", "/u/" + key + "/")).status, 200);
    ASSERT_EQ(Get(port, "/pictures/abc/latest.jpg").status, 200);
    ASSERT_EQ(Get(port, "/nothing").status, 404);
    ASSERT_EQ(Exchange(port, ProgramDelete(port, "abc", "/u/secret/")).status, 403);
    // The right key where the server does not look for it is refused, and hidden all the same.
    for (const std::string& path : {"/U/" + key + "/", "/u//" + key + "/", "/x/" + key + "/"}) {
      ASSERT_EQ(Exchange(port, ProgramDelete(port, "abc", path)).status, 403) << path;
    }
    child.Signal(SIGTERM);
    const std::string log = child.WaitForExit(kExitTimeout).err;

    const std::regex upload(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z 127\.0\.0\.1:\d+ POST )"
                            R"(/u/\*/\?server&stream_name=abc 200 in \d+ out 2 \d+\.\d ms\n)");
    EXPECT_TRUE(std::regex_search(log, upload)) << log;
    EXPECT_NE(log.find(" GET /nothing 404 in 0 out "), std::string::npos) << log;
    EXPECT_NE(log.find(" GET /u/*/*/?server&stream_name=abc&fkt=end 403 "), std::string::npos) << log;
    EXPECT_EQ(log.find("secret"), std::string::npos) << log;
    EXPECT_EQ(log.find(key), std::string::npos) << log;
    EXPECT_EQ(log.find(" GET /pictures/abc/latest.jpg 200 in 0 out 7 ") != std::string::npos, verbose) << log;
  }
}

// Neither a named pipe as a key file nor one as the store holds the start up.
TEST(CommandLineTest, KeyFilesMustBeRegularFilesAndTheStoreADirectory) {
  const TempDir folder;
  const std::string pipe = folder.File("pipe");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  const ChildProcess::Finished key = RunToExit({"--upload-key-file", pipe});
  EXPECT_EQ(key.exit_code, 2);
  EXPECT_NE(key.err.find("the upload key file " + pipe + " is not a regular file but a named pipe"), std::string::npos)
      << key.err;
  const ChildProcess::Finished store = RunToExit({"--listen", "127.0.0.1:0", "--store", pipe});
  EXPECT_EQ(store.exit_code, 1);
  EXPECT_NE(store.err.find("cannot use the store directory: " + pipe + " is not a directory but a named pipe"),
            std::string::npos)
      << store.err;

  // A named pipe under a picture's name in the store is passed over.
  const std::string pictures = folder.File("pictures");
  std::filesystem::create_directory(pictures);
  ASSERT_EQ(::mkfifo((pictures + "/abc.jpg").c_str(), 0600), 0);
  ServerProcess server({"--store", pictures});
  EXPECT_EQ(NewestPicture(server.Port(), "abc").status, 404);
}

}  // namespace
}  // namespace lumivanta::test
