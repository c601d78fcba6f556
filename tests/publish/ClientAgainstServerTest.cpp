// The program's client against the real lumivanta-server on 127.0.0.1.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>

#include "publish/ServerProtocol.h"
#include "strings/StringTable.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/RecordingLog.h"
#include "tests/support/ServerProcess.h"
#include "web/WebRequest.h"

namespace lumivanta {
namespace {

using test::RecordingLog;
class ClientAgainstServer : public ::testing::Test {
 protected:
  ClientAgainstServer() {
    test::ClearProxyEnvironment();
    settings_.server_url = "http://127.0.0.1:" + std::to_string(server_.Port()) + "/";
    settings_.contact_name = "client-test";
    settings_.UpdateServerAddresses();
  }

  std::string NewestPictureAddress() const { return settings_.server_url + "pictures/client-test/latest.jpg"; }

  test::ServerProcess server_;
  CSettings settings_;
};

TEST_F(ClientAgainstServer, UploadThenDeleteThenConnectionTest) {
  std::string picture(150'000, '\0');
  for (std::size_t i = 0; i < picture.size(); ++i) {
    picture[i] = static_cast<char>((i * 31) ^ (i >> 8));
  }
  picture[0] = '\xFF';
  picture[1] = '\xD8';

  CWebRequest upload;
  upload.AddFormItem("thescreen", "image.jpg", true, picture.data(), static_cast<std::uint32_t>(picture.size()));
  ASSERT_TRUE(upload.Request(settings_.upload_address, RequestPostMultipart, ""));
  EXPECT_TRUE(upload.ResponseHeaders().starts_with("HTTP/1.1 200"));

  // The newest picture comes back unchanged (its first 100,000 bytes are what a request keeps).
  CWebRequest fetch;
  ASSERT_TRUE(fetch.Request(NewestPictureAddress(), RequestGet, ""));
  EXPECT_TRUE(fetch.ResponseHeaders().starts_with("HTTP/1.1 200"));
  EXPECT_NE(fetch.ResponseHeaders().find("Content-Length: 150000"), std::string_view::npos);

  RecordingLog log;
  EXPECT_TRUE(DeletePictures(settings_, log));
  EXPECT_TRUE(log.lines.empty());
  CWebRequest after_delete;
  after_delete.Request(NewestPictureAddress(), RequestGet, "");
  EXPECT_TRUE(after_delete.ResponseHeaders().starts_with("HTTP/1.1 404"));

  EXPECT_TRUE(TestConnection(settings_));
  EXPECT_TRUE(settings_.connected);
  EXPECT_TRUE(EnsureConnectionTested(settings_, log));
  EXPECT_TRUE(log.lines.empty());
}

std::size_t OpenDescriptors() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++count;
  }
  return count;
}

TEST_F(ClientAgainstServer, KeptUploadsShareOneConnectionUntilTheServerStops) {
  const std::size_t before = OpenDescriptors();
  {
    KeptConnection connection;
    const auto upload = [&](std::size_t size) {
      std::string picture(size, 'p');
      picture[0] = '\xFF';
      picture[1] = '\xD8';
      CWebRequest request;
      request.SetKeptConnection(&connection);
      request.AddFormItem("thescreen", "image.jpg", true, picture.data(), static_cast<std::uint32_t>(picture.size()));
      const bool sent = request.Request(settings_.upload_address, RequestPostMultipart, "");
      return std::pair{sent && request.FailureCause().empty(), request.NewConnections()};
    };
    for (std::size_t size : {1000, 2000, 3000}) {
      EXPECT_EQ(upload(size), std::pair(true, size == 1000 ? 1L : 0L));
      CWebRequest fetch;
      ASSERT_TRUE(fetch.Request(NewestPictureAddress(), RequestGet, ""));
      EXPECT_NE(fetch.ResponseHeaders().find("Content-Length: " + std::to_string(size)), std::string_view::npos);
    }
    server_.Stop();
    EXPECT_FALSE(upload(1000).first);
  }
  EXPECT_EQ(OpenDescriptors(), before);
}

TEST_F(ClientAgainstServer, AStoppedServerFailsTheTestAndTheDelete) {
  ASSERT_TRUE(TestConnection(settings_));
  server_.Stop();
  EXPECT_FALSE(TestConnection(settings_));
  EXPECT_FALSE(settings_.connected);
  RecordingLog log;
  EXPECT_FALSE(DeletePictures(settings_, log));
  EXPECT_FALSE(EnsureConnectionTested(settings_, log));
  EXPECT_EQ(log.lines,
            (std::vector<std::pair<unsigned, bool>>{{ids::kConnectionFailed, false}, {ids::kConnectionFailed, true}}));
}

}  // namespace
}  // namespace lumivanta
