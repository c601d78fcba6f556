#include "web/WebRequest.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>

#include "tests/support/LoopbackServer.h"
#include "web/HttpTimeouts.h"

namespace lumivanta {
namespace {

using test::HttpResponse;
using test::LoopbackServer;
using Behaviour = LoopbackServer::Behaviour;

std::size_t OpenDescriptors() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++count;
  }
  return count;
}

std::string HostHeader(const LoopbackServer& server) {
  return "Host: 127.0.0.1:" + std::to_string(server.Port()) + "\r\n";
}

// The server as failure causes name it.
std::string Named(const LoopbackServer& server) { return "(127.0.0.1:" + std::to_string(server.Port()) + ")"; }

// Cancels the request after a few seconds, so that a request its time limit
// fails to end fails the test instead of hanging it.
class Watchdog {
 public:
  explicit Watchdog(CWebRequest& request) { request.SetCancelToken(&token_); }

 private:
  CancelToken token_;
  std::jthread thread_{[this](std::stop_token stop) {
    std::mutex mutex;
    std::condition_variable_any woken;
    std::unique_lock lock(mutex);
    woken.wait_for(lock, stop, std::chrono::seconds(5), [] { return false; });
    if (!stop.stop_requested()) {
      token_.Cancel();
    }
  }};
};

int ClosedPort() {
  LoopbackServer closed(HttpResponse("200 OK", "x"));
  return closed.Port();
}

// A query straight after the port is asked for under the root, as one with its slash.
TEST(WebRequestWire, GetSendsTheRequestLineHostAndOneAcceptOnly) {
  for (const char* target : {"/?server&stream_name=abc&fkt=end", "?server&stream_name=abc&fkt=end"}) {
    LoopbackServer server(HttpResponse("200 OK", "connectok"));
    CWebRequest request;
    ASSERT_TRUE(request.Request(server.Url(target), RequestGet, "")) << target;
    EXPECT_EQ(server.WaitForRequest(),
              "GET /?server&stream_name=abc&fkt=end HTTP/1.0\r\n" + HostHeader(server) + "Accept: */*\r\n\r\n")
        << target;
    EXPECT_EQ(request.ResponseBody(), "connectok");
    EXPECT_TRUE(request.ResponseHeaders().starts_with("HTTP/1.1 200 OK\r\n"));
    EXPECT_NE(request.ResponseHeaders().find("Content-Length: 9\r\n"), std::string_view::npos);
    EXPECT_EQ(request.StatusCode(), 200);
    EXPECT_EQ(request.FailureCause(), "");
  }
}

TEST(WebRequestWire, MultipartUploadIsExactlyTheDocumentedRequest) {
  LoopbackServer server(HttpResponse("200 OK", "ok"));
  std::string jpeg(5000, '\0');
  for (std::size_t i = 0; i < jpeg.size(); ++i) {
    jpeg[i] = static_cast<char>(i * 7);
  }
  CWebRequest request;
  request.ClearFormItems();
  request.AddFormItem("thescreen", "image.jpg", true, jpeg.data(), static_cast<std::uint32_t>(jpeg.size()));
  ASSERT_TRUE(request.Request(server.Url("/up/index.php?server&stream_name=abc"), RequestPostMultipart, ""));

  const std::string body =
      "----MULTI-PARTS-FORM-DATA-BOUNDARY\r\n"
      "Content-Disposition: form-data; name=\"thescreen\"; filename=\"image.jpg\"\r\n"
      "Content-Type: image/jpeg\r\n\r\n" +
      jpeg + "\r\n----MULTI-PARTS-FORM-DATA-BOUNDARY--\r\n";
  ASSERT_EQ(body.size(), 166 + 10 + jpeg.size());
  EXPECT_EQ(server.WaitForRequest(),
            "POST /up/index.php?server&stream_name=abc HTTP/1.0\r\n" + HostHeader(server) +
                "Accept: */*\r\n"
                "Content-Type: multipart/form-data; boundary=--MULTI-PARTS-FORM-DATA-BOUNDARY\r\n"
                "Content-Length: " +
                std::to_string(body.size()) + "\r\n\r\n" + body);
}

TEST(WebRequestWire, AKeptConnectionAsksToStayOpenAndConnectsAgainWhenTheServerClosedIt) {
  // An answer that lets the connection stay open, after which the test
  // server closes it all the same, as a server does with an idle connection.
  LoopbackServer server("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
  const std::string jpeg(3000, 'j');
  KeptConnection connection;
  for (int upload = 1; upload <= 2; ++upload) {
    CWebRequest request;
    request.SetKeptConnection(&connection);
    request.AddFormItem("thescreen", "image.jpg", true, jpeg.data(), static_cast<std::uint32_t>(jpeg.size()));
    ASSERT_TRUE(request.Request(server.Url("/?server&stream_name=abc"), RequestPostMultipart, ""));
    EXPECT_EQ(request.FailureCause(), "");
    EXPECT_EQ(request.NewConnections(), 1);
    const std::string sent = server.WaitForRequest(static_cast<std::size_t>(upload));
    const std::size_t body = sent.find("\r\n\r\n") + 4;
    EXPECT_EQ(sent.substr(0, body),
              "POST /?server&stream_name=abc HTTP/1.0\r\n" + HostHeader(server) +
                  "Accept: */*\r\n"
                  "Content-Type: multipart/form-data; boundary=--MULTI-PARTS-FORM-DATA-BOUNDARY\r\n"
                  "Content-Length: " +
                  std::to_string(sent.size() - body) + "\r\nConnection: keep-alive\r\n\r\n");
    EXPECT_NE(sent.find("\r\n\r\n" + jpeg + "\r\n----MULTI-PARTS-FORM-DATA-BOUNDARY--\r\n"), std::string::npos);
  }
}

TEST(WebRequestWire, LargeUploadStillSendsNoExpectHeader) {
  LoopbackServer server(HttpResponse("200 OK", "ok"));
  const std::string picture(2'000'000, 'p');
  CWebRequest request;
  request.AddFormItem("thescreen", "image.jpg", true, picture.data(), static_cast<std::uint32_t>(picture.size()));
  ASSERT_TRUE(request.Request(server.Url("/"), RequestPostMultipart, ""));
  const std::string received = server.WaitForRequest();
  const std::string headers = received.substr(0, received.find("\r\n\r\n"));
  EXPECT_EQ(headers.find("Expect"), std::string::npos);
  EXPECT_EQ(headers.find("User-Agent"), std::string::npos);
  EXPECT_EQ(received.size(), headers.size() + 4 + 166 + 10 + picture.size());
}

TEST(WebRequestWire, FormPostSendsTheItemsUnescaped) {
  LoopbackServer server(HttpResponse("200 OK", "ok"));
  CWebRequest request;
  request.AddFormItem("a", "1 2", false, nullptr, 0);
  request.AddFormItem("b", "x&y", false, nullptr, 0);
  ASSERT_TRUE(request.Request(server.Url("/form"), RequestPostForm, ""));
  EXPECT_EQ(server.WaitForRequest(), "POST /form HTTP/1.0\r\n" + HostHeader(server) +
                                         "Accept: */*\r\n"
                                         "Content-Type: application/x-www-form-urlencoded\r\n"
                                         "Content-Length: 11\r\n\r\na=1 2&b=x&y");
}

TEST(WebRequestWire, UnknownKindsAreGetsAndAnAgentIsAnnouncedOnlyWhenGiven) {
  LoopbackServer server(HttpResponse("200 OK", "ok"));
  CWebRequest request;
  ASSERT_TRUE(request.Request(server.Url(""), 7, "Tester/1"));
  EXPECT_EQ(server.WaitForRequest(),
            "GET / HTTP/1.0\r\n" + HostHeader(server) + "User-Agent: Tester/1\r\nAccept: */*\r\n\r\n");
}

TEST(WebRequestWire, OnlyTheExactSchemeHttpsSpeaksTls) {
  // A peer that hangs up on the first bytes it gets, noting them.
  LoopbackServer tls_peer("", Behaviour::kCloseWhileReading, 1);
  CWebRequest secure;
  EXPECT_FALSE(secure.Request("https://127.0.0.1:" + std::to_string(tls_peer.Port()) + "/", RequestGet, ""));
  EXPECT_NE(secure.LastError(), 0u);
  EXPECT_TRUE(secure.FailureCause().starts_with("TLS: ")) << secure.FailureCause();
  EXPECT_TRUE(secure.FailureCause().ends_with(Named(tls_peer))) << secure.FailureCause();
  ASSERT_FALSE(tls_peer.Requests().empty());
  EXPECT_EQ(tls_peer.Requests()[0].substr(0, 1), "\x16");  // a TLS handshake record, nothing in clear

  LoopbackServer server(HttpResponse("200 OK", "connectok"));
  CWebRequest plain;
  EXPECT_TRUE(plain.Request("HTTPS://127.0.0.1:" + std::to_string(server.Port()) + "/", RequestGet, ""));
  EXPECT_EQ(plain.ResponseBody(), "connectok");
}

TEST(WebRequestResponse, AnyStatusButTwoHundredsIsNamedButOnlyAnEmptyBodyFails) {
  {
    LoopbackServer server(HttpResponse("503 Service Unavailable", "connectok"));
    CWebRequest request;
    EXPECT_TRUE(request.Request(server.Url("/"), RequestGet, ""));
    EXPECT_EQ(request.ResponseBody(), "connectok");
    EXPECT_EQ(request.StatusCode(), 503);
    EXPECT_EQ(request.FailureCause(), "HTTP status 503 " + Named(server));
  }
  {
    LoopbackServer server(HttpResponse("404 Not Found", ""));
    CWebRequest request;
    EXPECT_FALSE(request.Request(server.Url("/"), RequestGet, ""));
    EXPECT_EQ(request.FailureCause(), "HTTP status 404 " + Named(server));
  }
  {
    LoopbackServer server(HttpResponse("200 OK", ""));
    CWebRequest request;
    EXPECT_FALSE(request.Request(server.Url("/"), RequestGet, ""));
    EXPECT_EQ(request.ResponseBody(), "");
    EXPECT_TRUE(request.ResponseHeaders().starts_with("HTTP/1.1 200 OK"));
    EXPECT_EQ(request.StatusCode(), 200);
    EXPECT_EQ(request.FailureCause(), "empty answer " + Named(server));
  }
  {
    // A proxy's redirect from http to https, with a body: not followed, so
    // the upload reached no server. Its address is named, the key masked.
    LoopbackServer server(
        "HTTP/1.1 302 Found\r\nLocation: https://example.org/u/Upload-key_0123456789/?server&stream_name=x\r\n"
        "Content-Length: 5\r\nConnection: close\r\n\r\nmoved");
    CWebRequest request;
    request.AddFormItem("thescreen", "image.jpg", true, "jpeg", 4);
    EXPECT_TRUE(
        request.Request(server.Url("/u/Upload-key_0123456789/?server&stream_name=x"), RequestPostMultipart, ""));
    EXPECT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(request.FailureCause(),
              "HTTP status 302 " + Named(server) + ", redirected to https://example.org/u/*/?server&stream_name=x");
  }
}

TEST(WebRequestResponse, OnlyTheFirst100000BytesOfALongAnswerAreKept) {
  std::string answer(1'000'000, 'a');
  for (std::size_t i = 0; i < answer.size(); i += 1000) {
    answer[i] = 'x';
  }
  LoopbackServer server(HttpResponse("200 OK", answer));
  CWebRequest request;
  ASSERT_TRUE(request.Request(server.Url("/"), RequestGet, ""));
  EXPECT_EQ(request.ResponseBody(), answer.substr(0, CWebRequest::kResponseCapacity));
}

TEST(WebRequestResponse, TheBodyEndsAtItsFirstNulByte) {
  LoopbackServer server(HttpResponse("200 OK", std::string("connectok\0tail", 14)));
  CWebRequest request;
  ASSERT_TRUE(request.Request(server.Url("/"), RequestGet, ""));
  EXPECT_EQ(request.ResponseBody(), "connectok");
}

TEST(WebRequestFailure, ARefusedPortFailsWithTheConnectError) {
  const int port = ClosedPort();
  CWebRequest request;
  EXPECT_FALSE(request.Request("http://127.0.0.1:" + std::to_string(port) + "/", RequestGet, ""));
  EXPECT_EQ(request.LastError(), static_cast<std::uint32_t>(CURLE_COULDNT_CONNECT));
  EXPECT_EQ(request.ResponseBody(), "");
  EXPECT_EQ(request.StatusCode(), 0);
  EXPECT_EQ(request.FailureCause(), "connection refused (127.0.0.1:" + std::to_string(port) + ")");

  // The next exchange of the same object starts from a clean slate.
  LoopbackServer server(HttpResponse("200 OK", "connectok"));
  EXPECT_TRUE(request.Request(server.Url("/"), RequestGet, ""));
  EXPECT_EQ(request.LastError(), 0u);
  EXPECT_EQ(request.FailureCause(), "");
}

TEST(WebRequestFailure, EachCauseIsNamedInWordsWithTheServer) {
  test::ClearProxyEnvironment();
  {
    CWebRequest request;
    request.SetTimeLimit(std::chrono::seconds(5));  // a resolver that does not answer fails the test, not hangs it
    EXPECT_FALSE(request.Request("http://lumivanta-test.invalid:8080/", RequestGet, ""));
    EXPECT_EQ(request.LastError(), static_cast<std::uint32_t>(CURLE_COULDNT_RESOLVE_HOST));
    EXPECT_EQ(request.FailureCause(), "unknown host (lumivanta-test.invalid)");
  }
  {
    LoopbackServer server("", Behaviour::kReset);
    CWebRequest request;
    EXPECT_FALSE(request.Request(server.Url("/"), RequestGet, ""));
    EXPECT_EQ(request.FailureCause(), "connection reset " + Named(server));
  }
  {
    LoopbackServer server("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nshort");
    CWebRequest request;
    EXPECT_FALSE(request.Request(server.Url("/"), RequestGet, ""));
    EXPECT_EQ(request.StatusCode(), 200);
    EXPECT_EQ(request.FailureCause(), "answer cut short " + Named(server));
  }
  {
    // A typed host cannot break the log line its cause goes into.
    CWebRequest request;
    EXPECT_FALSE(request.Request("http://bad\nhost/", RequestGet, ""));
    EXPECT_EQ(request.FailureCause().find('\n'), std::string::npos) << request.FailureCause();
  }
}

TEST(WebRequestFailure, AConnectionClosedInTheMiddleOfAnUploadFails) {
  LoopbackServer server("", Behaviour::kCloseWhileReading, 64 * 1024);
  const std::string picture(4'000'000, 'p');
  CWebRequest request;
  request.AddFormItem("thescreen", "image.jpg", true, picture.data(), static_cast<std::uint32_t>(picture.size()));
  EXPECT_FALSE(request.Request(server.Url("/"), RequestPostMultipart, ""));
  EXPECT_NE(request.LastError(), 0u);
}

TEST(WebRequestFailure, AServerThatClosesWithoutAnswerFails) {
  LoopbackServer server("");
  CWebRequest request;
  EXPECT_FALSE(request.Request(server.Url("/"), RequestGet, ""));
  EXPECT_EQ(request.LastError(), static_cast<std::uint32_t>(CURLE_GOT_NOTHING));
  EXPECT_EQ(request.FailureCause(), "empty answer " + Named(server));
}

TEST(WebRequestFailure, ACancelEndsAStalledRequestAtOnce) {
  LoopbackServer server("", Behaviour::kNeverAnswer);
  CancelToken token;
  CWebRequest request;
  request.SetCancelToken(&token);
  const auto start = std::chrono::steady_clock::now();
  std::thread canceller([&] {
    server.WaitForRequest();
    token.Cancel();
  });
  EXPECT_FALSE(request.Request(server.Url("/"), RequestGet, ""));
  const auto waited = std::chrono::steady_clock::now() - start;
  canceller.join();
  EXPECT_EQ(request.LastError(), static_cast<std::uint32_t>(CURLE_ABORTED_BY_CALLBACK));
  EXPECT_EQ(request.FailureCause(), "cancelled");
  EXPECT_LT(waited, std::chrono::milliseconds(1500));

  // A cancelled token refuses the next request before anything is sent.
  EXPECT_FALSE(request.Request(server.Url("/"), RequestGet, ""));
  EXPECT_EQ(request.LastError(), static_cast<std::uint32_t>(CURLE_ABORTED_BY_CALLBACK));
  EXPECT_EQ(server.Requests().size(), 1u);
}

// Neither peer trips the connect time-out or the low-speed limit (the trickle
// sends 2 bytes a second): only the total bound ends them.
TEST(WebRequestFailure, TheTimeLimitEndsASilentAndATricklingServer) {
  constexpr auto kLimit = std::chrono::milliseconds(1500);
  for (const Behaviour behaviour : {Behaviour::kNeverAnswer, Behaviour::kTrickle}) {
    LoopbackServer server("", behaviour);
    CWebRequest request;
    request.SetTimeLimit(kLimit);
    const Watchdog watchdog(request);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(request.Request(server.Url("/?server&stream_name=abc&fkt=end"), RequestGet, ""));
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(request.LastError(), static_cast<std::uint32_t>(CURLE_OPERATION_TIMEDOUT));
    EXPECT_GT(waited, kLimit - std::chrono::milliseconds(50));  // libcurl's clock may see it a little earlier
    EXPECT_LT(waited, kLimit + std::chrono::seconds(1));
    EXPECT_EQ(request.FailureCause(), "no answer within 1.5 s " + Named(server));
    if (behaviour == Behaviour::kTrickle) {
      EXPECT_EQ(request.StatusCode(), 200);
      EXPECT_FALSE(request.ResponseBody().empty());
    }
  }
}

TEST(WebRequestFailure, NoRequestIsEverUnbounded) {
  CWebRequest request;
  EXPECT_EQ(request.TimeLimit(), http_timeouts::kDefaultTotal);
  request.SetTimeLimit(http_timeouts::kConnectionTestTotal);
  EXPECT_EQ(request.TimeLimit(), std::chrono::seconds(10));
  // libcurl would take zero for "no limit".
  request.SetTimeLimit(std::chrono::milliseconds::zero());
  EXPECT_EQ(request.TimeLimit(), http_timeouts::kDefaultTotal);
}

TEST(WebRequestFailure, NothingStaysOpenAfterRequestWhateverHappened) {
  test::ClearProxyEnvironment();
  CWebRequest warm_up;
  warm_up.Request("http://127.0.0.1:1/", RequestGet, "");
  const std::size_t before = OpenDescriptors();
  {
    LoopbackServer server(HttpResponse("200 OK", "connectok"));
    const std::size_t with_server = OpenDescriptors();
    CWebRequest request;
    EXPECT_TRUE(request.Request(server.Url("/"), RequestGet, ""));
    ASSERT_TRUE(server.WaitForClosedConnections(1));  // the server's own end of the connection
    EXPECT_EQ(OpenDescriptors(), with_server);
    LoopbackServer silent("");
    const std::size_t with_both = OpenDescriptors();
    EXPECT_FALSE(request.Request(silent.Url("/"), RequestGet, ""));
    ASSERT_TRUE(silent.WaitForClosedConnections(1));
    EXPECT_EQ(OpenDescriptors(), with_both);
    EXPECT_FALSE(request.Request("http://127.0.0.1:1/", RequestGet, ""));
    EXPECT_EQ(OpenDescriptors(), with_both);
  }
  EXPECT_EQ(OpenDescriptors(), before);
}

}  // namespace
}  // namespace lumivanta
