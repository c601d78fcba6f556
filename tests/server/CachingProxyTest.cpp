// lumivanta-server behind nginx as the caching proxy that the README shows for
// a large audience: a hundred viewers fetching each picture through it cost
// the server one fetch per picture, and the event stream passes through.

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/ChildProcess.h"
#include "tests/support/RawHttp.h"
#include "tests/support/ServerProcess.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestPictures.h"

namespace lumivanta::test {
namespace {

using namespace std::chrono_literals;

const std::string kNginx = "/usr/sbin/nginx";

TEST(CachingProxyTest, AHundredViewersThroughNginxCostTheServerOneFetchPerPicture) {
  if (!std::filesystem::exists(kNginx)) {
    GTEST_SKIP() << "nginx is not installed";
  }
  ServerProcess server({"--verbose"}, {"LUMIVANTA_UPLOAD_KEY", "LUMIVANTA_VIEW_KEY", "CREDENTIALS_DIRECTORY"}, true);
  const TempDir directory;
  std::optional<ChildProcess> nginx;
  int port = 0;
  // Started again on another port where the one chosen was taken meanwhile.
  for (int attempt = 0; attempt < 5 && !(nginx && nginx->IsRunning()); ++attempt) {
    port = FreeLoopbackPort();
    std::string config = ReadWholeFile(std::string(LUMIVANTA_SERVER_TEST_DATA) + "/caching-proxy.conf");
    config = std::regex_replace(config, std::regex("@DIR@"), directory.Path().string());
    config = std::regex_replace(config, std::regex("@PORT@"), std::to_string(port));
    std::ofstream(directory.File("nginx.conf"))
        << std::regex_replace(config, std::regex("@UPSTREAM@"), std::to_string(server.Port()));
    nginx.emplace(std::vector<std::string>{kNginx, "-e", "stderr", "-p", directory.Path().string(), "-c",
                                           directory.File("nginx.conf")},
                  true);
    for (int wait = 0; wait < 500 && nginx->IsRunning() && !Accepts(port); ++wait) {
      std::this_thread::sleep_for(20ms);
    }
  }
  ASSERT_TRUE(nginx && nginx->IsRunning()) << nginx->ErrorOutput();

  TcpConnection events(port);
  events.SendAll("GET /pictures/abc/events HTTP/1.1\r\nHost: x\r\n\r\n");
  EXPECT_NE(events.ReceiveUntil("}\n\n").find("\"present\":false"), std::string::npos);
  for (const std::string& picture : {FirstJpeg(), SecondJpeg()}) {
    ASSERT_EQ(Exchange(server.Port(), ProgramUpload(server.Port(), "abc", picture)).status, 200);
    const std::string state = events.ReceiveUntil("}\n\n");
    const std::string target =
        "/pictures/abc/" + std::to_string(std::stoull(state.substr(state.find("ence\":") + 6))) + ".jpg";
    std::atomic<int> fetched{0};
    std::vector<std::jthread> viewers;
    for (int viewer = 0; viewer < 100; ++viewer) {
      viewers.emplace_back([&] { fetched += Get(port, target).body == picture ? 1 : 0; });
    }
    viewers.clear();
    EXPECT_EQ(fetched, 100);
    // The log hides what follows the name, so a fetch of this picture is told by its size.
    const std::string fetch = "GET /pictures/abc/* 200 in 0 out " + std::to_string(picture.size()) + " ";
    for (int wait = 0; wait < 100 && ChildProcess::Occurrences(server.Log(), fetch) == 0; ++wait) {
      std::this_thread::sleep_for(20ms);
    }
    EXPECT_EQ(ChildProcess::Occurrences(server.Log(), fetch), 1u) << server.Log();
  }
  nginx->Signal(SIGQUIT);
  nginx->WaitForExit(10s);
}

}  // namespace
}  // namespace lumivanta::test
