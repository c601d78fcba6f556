// The real server's event streams: every viewer of a name gets its state at
// once and then every change, only behind the view key where there is one.

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "tests/support/RawHttp.h"
#include "tests/support/ServerProcess.h"
#include "tests/support/TestPictures.h"

namespace lumivanta::test {
namespace {

const std::string kViewKey = "V1ew-key_0123456789abcdef";

TEST(EventStreamTest, EveryViewerGetsTheStateAtOnceAndEachChangeBehindTheViewKey) {
  ServerProcess server({}, {"LUMIVANTA_UPLOAD_KEY", "LUMIVANTA_VIEW_KEY=" + kViewKey, "CREDENTIALS_DIRECTORY"});
  const int port = server.Port();
  EXPECT_EQ(Get(port, "/pictures/abc/events").status, 403);
  EXPECT_EQ(Get(port, "/v/wrong-key_0123456789abcdef/pictures/abc/events").status, 403);

  const std::string request = "GET /v/" + kViewKey + "/pictures/abc/events HTTP/1.1\r\nHost: x\r\n\r\n";
  std::array<TcpConnection, 2> viewers = {TcpConnection(port), TcpConnection(port)};
  for (TcpConnection& viewer : viewers) {
    viewer.SendAll(request);
    const std::string first = viewer.ReceiveUntil("}\n\n");
    EXPECT_TRUE(first.starts_with("HTTP/1.1 200 OK\r\n")) << first;
    EXPECT_NE(first.find("Content-Type: text/event-stream\r\n"), std::string::npos);
    EXPECT_NE(first.find("data: {\"name\":\"abc\",\"present\":false,\"ended\":false}\n\n"), std::string::npos);
  }

  ASSERT_EQ(Exchange(port, ProgramUpload(port, "abc", FirstJpeg())).status, 200);
  ASSERT_EQ(Exchange(port, ProgramUpload(port, "other", FirstJpeg())).status, 200);
  ASSERT_EQ(Exchange(port, ProgramDelete(port, "abc")).body, "connectok");
  for (TcpConnection& viewer : viewers) {
    const std::string stored = viewer.ReceiveUntil("}\n\n");
    EXPECT_NE(stored.find("data: {\"name\":\"abc\",\"present\":true,\"sequence\":"), std::string::npos) << stored;
    EXPECT_NE(stored.find(",\"bytes\":" + std::to_string(FirstJpeg().size()) + "}"), std::string::npos) << stored;
    EXPECT_EQ(viewer.ReceiveUntil("}\n\n"), "data: {\"name\":\"abc\",\"present\":false,\"ended\":true}\n\n");
  }
  // A name that comes back and is deleted again has ended again.
  ASSERT_EQ(Exchange(port, ProgramUpload(port, "abc", FirstJpeg())).status, 200);
  ASSERT_EQ(Exchange(port, ProgramDelete(port, "abc")).body, "connectok");
  for (TcpConnection& viewer : viewers) {
    EXPECT_NE(viewer.ReceiveUntil("}\n\n").find("\"present\":true"), std::string::npos);
    EXPECT_EQ(viewer.ReceiveUntil("}\n\n"), "data: {\"name\":\"abc\",\"present\":false,\"ended\":true}\n\n");
  }
  // Open streams do not hold the server up when it is told to stop.
  EXPECT_EQ(server.Stop(), 0);
}

}  // namespace
}  // namespace lumivanta::test
