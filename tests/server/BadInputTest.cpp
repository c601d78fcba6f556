// Every kind of bad request gets its 4xx with a reason and changes no stored picture.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/RawHttp.h"
#include "tests/support/ServerProcess.h"
#include "tests/support/TestPictures.h"

namespace lumivanta::test {
namespace {

struct BadRequest {
  std::string what;
  std::string request;
  int status = 400;
};

std::vector<BadRequest> BadRequests(int port) {
  const std::string picture = SecondJpeg();
  const std::string body = ProgramMultipartBody(picture);
  const std::string multipart = "multipart/form-data; boundary=" + std::string(kProgramBoundary);
  const std::string target = "/?server&stream_name=abc";
  std::string wrong_part = body;
  wrong_part.replace(wrong_part.find("thescreen"), 9, "thepicture");

  std::vector<BadRequest> requests = {
      {"empty name", PostRequest(port, "/?server&stream_name=", multipart, body)},
      {"no stream_name", PostRequest(port, "/?server", multipart, body)},
      {"name of 94 characters", ProgramUpload(port, std::string(94, 'a'), picture)},
      {"bad name on delete", ProgramDelete(port, "..")},
      {"unknown fkt", "GET /?server&stream_name=abc&fkt=remove HTTP/1.0\r\n\r\n"},
      {"GET without fkt", "GET /?server&stream_name=abc HTTP/1.0\r\n\r\n"},
      {"wrong boundary", PostRequest(port, target, "multipart/form-data; boundary=other", body)},
      {"missing boundary", PostRequest(port, target, "multipart/form-data", body)},
      {"not multipart", PostRequest(port, target, "image/jpeg", picture)},
      {"no parts", PostRequest(port, target, multipart, "--" + std::string(kProgramBoundary) + "--\r\n")},
      {"truncated body", PostRequest(port, target, multipart, body.substr(0, body.size() - 20))},
      {"no thescreen part", PostRequest(port, target, multipart, wrong_part)},
      {"empty picture", ProgramUpload(port, "abc", "")},
      {"body over 32 MiB", ProgramUpload(port, "abc", std::string(32 * 1024 * 1024, 'x')), 413},
  };
  for (const char* name : {"a/b", "a%2Fb", "..", "%2E%2E%2Fabc", "a%20b", "a+b", "a%25", "%C3%A9", "a%00b"}) {
    requests.push_back({std::string("name ") + name, ProgramUpload(port, name, picture)});
  }
  return requests;
}

TEST(BadInputTest, EachBadRequestIsRefusedWithAReasonAndChangesNothing) {
  ServerProcess server;
  const int port = server.Port();
  ASSERT_EQ(Exchange(port, ProgramUpload(port, "abc", FirstJpeg())).status, 200);
  ASSERT_EQ(Exchange(port, ProgramUpload(port, "other", TrickyBytes())).status, 200);

  for (const BadRequest& bad : BadRequests(port)) {
    SCOPED_TRACE(bad.what);
    const HttpAnswer answer = Exchange(port, bad.request);
    EXPECT_EQ(answer.status, bad.status);
    EXPECT_TRUE(answer.HasHeader("Content-Type: text/plain; charset=utf-8"));
    EXPECT_GT(answer.body.size(), 10u) << answer.body;

    EXPECT_EQ(NewestPicture(port, "abc").body, FirstJpeg());
    EXPECT_EQ(NewestPicture(port, "other").body, TrickyBytes());
  }
}

TEST(BadInputTest, PictureAddressesRefuseBadNames) {
  ServerProcess server;
  for (const char* target : {"/pictures/a%2Fb/latest.jpg", "/pictures/../latest.json", "/pictures/a%20b/latest.jpg"}) {
    EXPECT_EQ(Get(server.Port(), target).status, 400) << target;
  }
}

}  // namespace
}  // namespace lumivanta::test
