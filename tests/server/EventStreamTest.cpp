// The real server's event streams: every viewer of a name gets its state at
// once and then every change, only behind the view key where there is one,
// and streams leave room among the connections for the uploader. The
// uploader, the pollers and the streams are told how many watch.

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

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
  for (std::size_t counted = 1; TcpConnection & viewer : viewers) {
    viewer.SendAll(request);
    const std::string first = viewer.ReceiveUntil("}\n\n");
    EXPECT_TRUE(first.starts_with("HTTP/1.1 200 OK\r\n")) << first;
    EXPECT_NE(first.find("Content-Type: text/event-stream\r\n"), std::string::npos);
    EXPECT_NE(first.find("data: {\"name\":\"abc\",\"present\":false,\"ended\":false,\"viewers\":" +
                         std::to_string(counted++) + "}\n\n"),
              std::string::npos);
  }
  // Two pages poll from this address (their own tokens), one of them twice: four viewers with the streams.
  const std::string poll = "/v/" + kViewKey + "/pictures/abc/latest.json?viewer=";
  for (const std::string token : {"page1", "page2", "page1"}) {
    EXPECT_TRUE(Get(port, poll + token).body.starts_with("{\"name\":\"abc\",\"present\":false")) << token;
  }
  EXPECT_NE(Get(port, poll + "page2").body.find(",\"viewers\":4}"), std::string::npos);

  const HttpAnswer upload = Exchange(port, ProgramUpload(port, "abc", FirstJpeg()));
  ASSERT_EQ(upload.status, 200);
  EXPECT_TRUE(upload.HasHeader("X-Lumivanta-Viewers: 4")) << upload.head;
  EXPECT_TRUE(Exchange(port, ProgramUpload(port, "other", FirstJpeg())).HasHeader("X-Lumivanta-Viewers: 0"));
  // The same bytes again only say that the picture is still live.
  ASSERT_EQ(Exchange(port, ProgramUpload(port, "abc", FirstJpeg())).status, 200);
  ASSERT_EQ(Exchange(port, ProgramDelete(port, "abc")).body, "connectok");
  for (TcpConnection& viewer : viewers) {
    const std::string stored = viewer.ReceiveUntil("}\n\n");
    EXPECT_NE(stored.find("data: {\"name\":\"abc\",\"present\":true,\"sequence\":"), std::string::npos) << stored;
    EXPECT_NE(stored.find(",\"bytes\":" + std::to_string(FirstJpeg().size()) + ",\"viewers\":4}"), std::string::npos)
        << stored;
    const std::size_t sequence_at = stored.find("\"sequence\":");
    const std::string sequence = stored.substr(sequence_at, stored.find(',', sequence_at) - sequence_at);
    const std::string live = viewer.ReceiveUntil("}\n\n");
    EXPECT_TRUE(live.starts_with("event: live\ndata: {" + sequence + ",\"age_ms\":")) << live;
    EXPECT_TRUE(live.ends_with(",\"viewers\":4}\n\n")) << live;
    EXPECT_EQ(viewer.ReceiveUntil("}\n\n"),
              "data: {\"name\":\"abc\",\"present\":false,\"ended\":true,\"viewers\":4}\n\n");
  }
  // A name that comes back and is deleted again has ended again.
  ASSERT_EQ(Exchange(port, ProgramUpload(port, "abc", FirstJpeg())).status, 200);
  ASSERT_EQ(Exchange(port, ProgramDelete(port, "abc")).body, "connectok");
  for (TcpConnection& viewer : viewers) {
    EXPECT_NE(viewer.ReceiveUntil("}\n\n").find("\"present\":true"), std::string::npos);
    EXPECT_NE(viewer.ReceiveUntil("}\n\n").find("\"present\":false,\"ended\":true"), std::string::npos);
  }
  // Open streams do not hold the server up when it is told to stop.
  EXPECT_EQ(server.Stop(), 0);
}

TEST(EventStreamTest, StreamsHoldAtMostTheirShareOfTheConnectionsSoUploadsFindOne) {
  ServerProcess server({"--max-connections", "20", "--event-stream-share", "50"});
  const int port = server.Port();
  std::vector<std::unique_ptr<TcpConnection>> streams;
  // Opens one more stream; the head of its answer.
  const auto open_stream = [&] {
    streams.push_back(std::make_unique<TcpConnection>(port));
    streams.back()->SendAll("GET /pictures/abc/events HTTP/1.1\r\nHost: x\r\n\r\n");
    return ParseAnswer(streams.back()->ReceiveUntil("\r\n\r\n"));
  };
  for (int index = 0; index < 10; ++index) {
    ASSERT_EQ(open_stream().status, 200);
  }
  const HttpAnswer refused = open_stream();
  EXPECT_EQ(refused.status, 503);
  EXPECT_TRUE(refused.HasHeader("Retry-After: 15"));
  EXPECT_EQ(Exchange(port, ProgramUpload(port, "abc", FirstJpeg())).status, 200);

  // A stream that ends makes room for another; refused ones are let go.
  streams.pop_back();
  streams.erase(streams.begin());
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (open_stream().status != 200 && std::chrono::steady_clock::now() < deadline) {
    streams.pop_back();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_LT(std::chrono::steady_clock::now(), deadline);
}

}  // namespace
}  // namespace lumivanta::test
