// lumivanta-server behind nginx as the caching proxy that the README shows for
// large audiences: a hundred viewers fetching each picture through it cost the
// server one fetch per picture, and the event stream passes through at once.

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <filesystem>
#include <fstream>
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

constexpr int kViewers = 100;

std::string FindNginx() {
  for (const char* path : {"/usr/sbin/nginx", "/usr/local/sbin/nginx", "/usr/local/nginx/sbin/nginx"}) {
    if (std::filesystem::exists(path)) {
      return path;
    }
  }
  return {};
}

// A port that was free a moment ago; nginx is started again on another if it was taken meanwhile.
int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{.sin_family = AF_INET, .sin_port = 0, .sin_addr = {htonl(INADDR_LOOPBACK)}, .sin_zero = {}};
  socklen_t length = sizeof(address);
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address));
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

bool Accepts(int port) {
  try {
    const TcpConnection probe(port);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

// nginx as one process of this test's own (no master, no daemon), its files in a temporary folder.
class NginxProxy {
 public:
  NginxProxy(const std::string& nginx, int upstream_port) {
    for (int attempt = 0; attempt < 5 && !process_; ++attempt) {
      port_ = FreePort();
      const std::string root = directory_.Path().string();
      std::ofstream(directory_.File("nginx.conf"))
          << "daemon off;\nmaster_process off;\n"
          << "pid " << root << "/nginx.pid;\nerror_log stderr warn;\n"
          << "events { worker_connections 1024; }\nhttp {\n"
          << "  access_log off;\n"
          << "  client_body_temp_path " << root << "/body;\n"
          << "  proxy_temp_path " << root << "/proxy;\n"
          << "  fastcgi_temp_path " << root << "/fastcgi;\n"
          << "  uwsgi_temp_path " << root << "/uwsgi;\n"
          << "  scgi_temp_path " << root << "/scgi;\n"
          << "  proxy_cache_path " << root << "/cache keys_zone=pictures:10m max_size=1g inactive=10m;\n"
          << "  upstream lumivanta { server 127.0.0.1:" << upstream_port << "; }\n"
          << "  server {\n    listen 127.0.0.1:" << port_ << ";\n"
          << ProxyLocation() << "  }\n}\n";
      process_.emplace(std::vector<std::string>{nginx, "-e", "stderr", "-p", root, "-c", directory_.File("nginx.conf")},
                       true);
      const auto deadline = std::chrono::steady_clock::now() + 10s;
      while (process_->IsRunning() && !Accepts(port_) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(20ms);
      }
      if (!process_->IsRunning()) {
        process_.reset();
      }
    }
    if (!process_) {
      throw std::runtime_error("nginx did not start");
    }
  }
  NginxProxy(const NginxProxy&) = delete;
  NginxProxy& operator=(const NginxProxy&) = delete;
  ~NginxProxy() {
    if (process_) {
      process_->Signal(SIGQUIT);
      process_->WaitForExit(10s);
    }
  }

  int Port() const { return port_; }

  // The location block of the README's example.
  static std::string ProxyLocation() {
    return "    location / {\n"
           "      proxy_pass http://lumivanta;\n"
           "      proxy_http_version 1.1;\n"
           "      proxy_set_header Host $host;\n"
           "      proxy_cache pictures;\n"
           "      proxy_cache_lock on;\n"
           "      proxy_read_timeout 1h;\n"
           "    }\n";
  }

 private:
  TempDir directory_;
  std::optional<ChildProcess> process_;
  int port_ = 0;
};

// Fetches the address through the proxy as many viewers at once; how many got the picture.
int FetchedByViewers(int port, const std::string& target, const std::string& picture) {
  std::vector<std::thread> viewers;
  std::atomic<int> got{0};
  for (int viewer = 0; viewer < kViewers; ++viewer) {
    viewers.emplace_back([&] {
      const HttpAnswer answer = Get(port, target);
      got += answer.status == 200 && answer.body == picture ? 1 : 0;
    });
  }
  for (std::thread& viewer : viewers) {
    viewer.join();
  }
  return got;
}

TEST(CachingProxyTest, AHundredViewersThroughNginxCostTheServerOneFetchPerPicture) {
  const std::string nginx = FindNginx();
  if (nginx.empty()) {
    GTEST_SKIP() << "nginx is not installed";
  }
  ServerProcess server({"--verbose"}, {"LUMIVANTA_UPLOAD_KEY", "LUMIVANTA_VIEW_KEY", "CREDENTIALS_DIRECTORY"}, true);
  NginxProxy proxy(nginx, server.Port());

  TcpConnection events(proxy.Port());
  events.SendAll("GET /pictures/abc/events HTTP/1.1\r\nHost: x\r\n\r\n");
  EXPECT_NE(events.ReceiveUntil("}\n\n").find("\"present\":false"), std::string::npos);

  for (const std::string& picture : {FirstJpeg(), SecondJpeg()}) {
    ASSERT_EQ(Exchange(server.Port(), ProgramUpload(server.Port(), "abc", picture)).status, 200);
    const std::string state = events.ReceiveUntil("}\n\n");
    const std::size_t at = state.find("\"sequence\":");
    ASSERT_NE(at, std::string::npos) << state;
    const std::string target = "/pictures/abc/" + std::to_string(std::stoull(state.substr(at + 11))) + ".jpg";

    EXPECT_EQ(FetchedByViewers(proxy.Port(), target, picture), kViewers);
    // The log hides what follows the name, so a fetch of this picture is told by its size.
    const std::string fetch = "GET /pictures/abc/* 200 in 0 out " + std::to_string(picture.size()) + " ";
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (ChildProcess::Occurrences(server.Log(), fetch) == 0 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(ChildProcess::Occurrences(server.Log(), fetch), 1u) << server.Log();
  }
  // The same bytes again reach the viewers as the short live event, through the proxy at once.
  ASSERT_EQ(Exchange(server.Port(), ProgramUpload(server.Port(), "abc", SecondJpeg())).status, 200);
  const std::string live = events.ReceiveUntil("}\n\n");
  // nginx passes the stream on in chunks, so the event is within the chunk's frame.
  EXPECT_NE(live.find("event: live\n"), std::string::npos) << live;
}

}  // namespace
}  // namespace lumivanta::test
