// The real server with an upload key and a view key: requests without the
// right key are refused and change nothing.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/RawHttp.h"
#include "tests/support/ServerProcess.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestPictures.h"

namespace lumivanta::test {
namespace {

const std::string kUploadKey = "Up1oad-key_0123456789abcdef";
const std::string kViewKey = "V1ew-key_0123456789abcdef";
const std::string kKeyedPath = "/u/" + kUploadKey + "/";
const std::string kViewerPath = "/v/" + kViewKey + "/";

// The server's environment without keys, but for the given changes.
std::vector<std::string> KeyEnvironment(const std::vector<std::string>& changes = {}) {
  std::vector<std::string> environment = {"LUMIVANTA_UPLOAD_KEY", "LUMIVANTA_VIEW_KEY", "CREDENTIALS_DIRECTORY"};
  environment.insert(environment.end(), changes.begin(), changes.end());
  return environment;
}

std::string KeyFile(const TempDir& directory, const std::string& name, const std::string& key) {
  const std::string file = directory.File(name);
  WriteWholeFile(file, key + "\n");
  ::chmod(file.c_str(), 0600);
  return file;
}

TEST(KeysTest, UploadsAndDeletesNeedTheUploadKeyFromAFileOrTheEnvironment) {
  const TempDir directory;
  const std::string key_file = KeyFile(directory, "upload-key", kUploadKey);
  const std::vector<std::string> wrong_paths = {"/",
                                                "/u/",
                                                "/u/wrong-key_0123456789abcdef/",
                                                "/u/" + kUploadKey.substr(0, kUploadKey.size() - 1) + "/",
                                                "/u/" + kUploadKey + "0/",
                                                "/u/" + kUploadKey.substr(1) + "/",
                                                "/u/Up1oad%2Dkey_0123456789abcdef/",
                                                "/v/" + kUploadKey + "/",
                                                "/x" + kKeyedPath};
  for (const bool from_file : {true, false}) {
    SCOPED_TRACE(from_file ? "key from a file" : "key from the environment");
    std::optional<ServerProcess> server;
    if (from_file) {
      server.emplace(std::vector<std::string>{"--upload-key-file", key_file}, KeyEnvironment());
    } else {
      server.emplace(std::vector<std::string>{}, KeyEnvironment({"LUMIVANTA_UPLOAD_KEY=" + kUploadKey}));
    }
    const int port = server->Port();
    ASSERT_EQ(Exchange(port, ProgramUpload(port, "abc", FirstJpeg(), kKeyedPath)).status, 200);

    for (const std::string& path : wrong_paths) {
      SCOPED_TRACE(path);
      EXPECT_EQ(Exchange(port, ProgramUpload(port, "abc", SecondJpeg(), path)).status, 403);
      const HttpAnswer refused_delete = Exchange(port, ProgramDelete(port, "abc", path));
      EXPECT_EQ(refused_delete.status, 403);
      EXPECT_NE(refused_delete.body, "connectok");
      EXPECT_EQ(NewestPicture(port, "abc").body, FirstJpeg());
    }

    // An upload without the key is refused on its header; its body is never awaited.
    const std::string large_upload = ProgramUpload(port, "abc", std::string(1 << 20, 'x'));
    const TcpConnection connection(port);
    connection.SendAll(std::string_view(large_upload).substr(0, large_upload.find("\r\n\r\n") + 4));
    EXPECT_EQ(ParseAnswer(connection.ReceiveAll()).status, 403);

    // The upload key opens the viewer at the server URL too.
    const HttpAnswer page = Get(port, kKeyedPath);
    EXPECT_EQ(page.status, 200);
    EXPECT_TRUE(page.HasHeader("Content-Type: text/html; charset=utf-8"));
    EXPECT_EQ(Get(port, kKeyedPath + "pictures/abc/latest.jpg").body, FirstJpeg());

    // Deletion by GET with the key, here from a server URL without the final slash.
    EXPECT_EQ(Exchange(port, ProgramDelete(port, "abc", "/u/" + kUploadKey)).body, "connectok");
    EXPECT_EQ(NewestPicture(port, "abc").status, 404);
  }
}

TEST(KeysTest, TheViewerAndItsPicturesNeedTheViewKey) {
  const TempDir directory;
  ServerProcess server({"--view-key-file", KeyFile(directory, "view-key", kViewKey)},
                       KeyEnvironment({"LUMIVANTA_UPLOAD_KEY=" + kUploadKey}));
  const int port = server.Port();
  ASSERT_EQ(Exchange(port, ProgramUpload(port, "abc", FirstJpeg(), kKeyedPath)).status, 200);

  for (const std::string& target :
       {std::string("/"), std::string("/?name=abc"), std::string("/pictures/abc/latest.jpg"),
        std::string("/pictures/abc/latest.json"), "/v/" + kUploadKey + "x/",
        "/v/" + kViewKey + "x/pictures/abc/latest.jpg", "/u/" + kViewKey + "/"}) {
    SCOPED_TRACE(target);
    const HttpAnswer refused = Get(port, target);
    EXPECT_EQ(refused.status, 403);
    EXPECT_EQ(refused.body.find("abc"), std::string::npos);
  }
  // The view key does not let anyone upload.
  EXPECT_EQ(Exchange(port, ProgramUpload(port, "abc", SecondJpeg(), kViewerPath)).status, 403);

  const HttpAnswer page = Get(port, kViewerPath + "?name=abc");
  EXPECT_EQ(page.status, 200);
  EXPECT_TRUE(page.HasHeader("Content-Type: text/html; charset=utf-8"));
  const HttpAnswer newest = Get(port, kViewerPath + "pictures/abc/latest.jpg");
  EXPECT_EQ(newest.body, FirstJpeg());
  EXPECT_TRUE(newest.HasHeader("Cache-Control: private, no-cache"));  // no shared cache keeps a keyed picture
  EXPECT_NE(Get(port, kViewerPath + "pictures/abc/latest.json").body.find("\"present\":true"), std::string::npos);
  EXPECT_EQ(Get(port, kKeyedPath + "pictures/abc/latest.jpg").body, FirstJpeg());

  // Without its final slash the page's relative addresses would leave the key behind.
  const HttpAnswer redirect = Get(port, "/v/" + kViewKey + "?name=abc");
  EXPECT_EQ(redirect.status, 308);
  EXPECT_TRUE(redirect.HasHeader("Location: " + kViewerPath + "?name=abc")) << redirect.head;
}

}  // namespace
}  // namespace lumivanta::test
