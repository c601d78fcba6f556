// The limits hold on the bytes that actually arrive, however the body is framed.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/RawHttp.h"
#include "tests/support/ServerProcess.h"
#include "tests/support/TestPictures.h"

namespace lumivanta::test {
namespace {

constexpr std::size_t kBodyLimit = 1024 * 1024;
const std::string kMultipart = "multipart/form-data; boundary=" + std::string(kProgramBoundary);

// An upload of jpeg in chunks of 64 KiB.
std::string ChunkedUpload(std::string_view jpeg) {
  const std::string body = ProgramMultipartBody(jpeg);
  std::string request =
      "POST /?server&stream_name=abc HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
      "Content-Type: " +
      kMultipart + "\r\nTransfer-Encoding: chunked\r\n\r\n";
  constexpr std::size_t kChunk = 64 * 1024;
  char size[32];
  for (std::size_t offset = 0; offset < body.size(); offset += kChunk) {
    const std::string_view chunk = std::string_view(body).substr(offset, kChunk);
    std::snprintf(size, sizeof(size), "%zx\r\n", chunk.size());
    request.append(size).append(chunk).append("\r\n");
  }
  return request + "0\r\n\r\n";
}

// The request with one more header line right after the request line.
std::string WithHeader(std::string request, std::string_view line) {
  return request.insert(request.find("\r\n") + 2, std::string(line) + "\r\n");
}

// A program upload with its Content-Length line replaced.
std::string WithContentLength(int port, std::string_view content_length_lines) {
  std::string request = ProgramUpload(port, "abc", SecondJpeg());
  const std::size_t start = request.find("Content-Length:");
  const std::size_t end = request.find("\r\n", start);
  return request.replace(start, end - start, content_length_lines);
}

TEST(RequestLimitsTest, RequestsPastALimitAreRefusedAndStoreNothing) {
  ServerProcess server({"--max-body-mib", "1", "--max-header-kib", "16"});
  const int port = server.Port();
  ASSERT_EQ(Exchange(port, ChunkedUpload(FirstJpeg())).status, 200);
  const std::string too_big(kBodyLimit, 'x');
  const std::size_t right_length = ProgramMultipartBody(SecondJpeg()).size();

  struct Refused {
    std::string what;
    std::string request;
    int status;
  };
  const std::vector<Refused> refused = {
      {"chunked body over the limit", ChunkedUpload(too_big), 413},
      {"declared body over the limit", ProgramUpload(port, "abc", too_big), 413},
      {"gzip body", WithHeader(ProgramUpload(port, "abc", SecondJpeg()), "Content-Encoding: gzip"), 415},
      {"chunked gzip body", WithHeader(ChunkedUpload(SecondJpeg()), "Content-Encoding: gzip"), 415},
      {"gzip after identity",
       WithHeader(WithHeader(ProgramUpload(port, "abc", SecondJpeg()), "Content-Encoding: gzip"),
                  "Content-Encoding: identity"),
       415},
      {"header over 16 KiB", WithHeader(ChunkedUpload(SecondJpeg()), "X-Filler: " + std::string(20'000, 'f')), 431},
      {"two different lengths",
       WithContentLength(port, "Content-Length: " + std::to_string(right_length) + "\r\nContent-Length: 5"), 400},
      {"malformed length", WithContentLength(port, "Content-Length: 12abc"), 400},
      {"negative length", WithContentLength(port, "Content-Length: -1"), 400},
      {"length and chunked", WithContentLength(port, "Content-Length: 5\r\nTransfer-Encoding: chunked"), 400},
  };
  for (const Refused& request : refused) {
    SCOPED_TRACE(request.what);
    const HttpAnswer answer = Exchange(port, request.request);
    EXPECT_EQ(answer.status, request.status);
    EXPECT_GT(answer.body.size(), 10u) << answer.body;
    EXPECT_EQ(NewestPicture(port, "abc").body, FirstJpeg());
  }
}

// The budget takes a body's bytes as they arrive, not what its header announces,
// and a body slower than the minimum rate is closed.
TEST(RequestLimitsTest, TheInFlightBudgetHoldsTheBytesThatArriveAndSlowBodiesAreClosed) {
  // With a body deadline of 2 s the rate window is 2 s: 16 KiB must come in each.
  ServerProcess server({"--max-body-mib", "1", "--max-bodies-in-flight-mib", "1", "--body-timeout", "2"});
  const int port = server.Port();
  const std::string upload = ProgramUpload(port, "abc", std::string(kBodyLimit / 2 + 1, 'x'));
  const std::size_t header_end = upload.find("\r\n\r\n") + 4;
  // Two headers that announce more than the whole budget between them hold none of it.
  const TcpConnection announcing(port);
  announcing.SendAll(std::string_view(upload).substr(0, header_end));
  const TcpConnection chunked(port);
  chunked.SendAll(ChunkedUpload(SecondJpeg()).substr(0, 200));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(Exchange(port, ProgramUpload(port, "abc", FirstJpeg())).status, 200);

  // Once more than half the budget has arrived for one body, another that needs as much gets 503.
  announcing.SendAll(std::string_view(upload).substr(header_end, kBodyLimit / 2));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  HttpAnswer busy = Exchange(port, upload);
  while (busy.status != 503 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    busy = Exchange(port, upload);
  }
  EXPECT_EQ(busy.status, 503);
  EXPECT_TRUE(busy.HasHeader("Retry-After: 1"));

  // Both stall: each is closed by the end of its rate window, and the budget is free again.
  const auto stalled = std::chrono::steady_clock::now();
  EXPECT_EQ(announcing.ReceiveAll(), "");
  EXPECT_EQ(chunked.ReceiveAll(), "");
  EXPECT_LT(std::chrono::steady_clock::now() - stalled, std::chrono::seconds(5));
  EXPECT_EQ(Exchange(port, upload).status, 200);
  EXPECT_EQ(NewestPicture(port, "abc").body, std::string(kBodyLimit / 2 + 1, 'x'));
}

}  // namespace
}  // namespace lumivanta::test
