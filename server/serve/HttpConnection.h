#pragma once

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "server/http/HttpMessages.h"
#include "server/serve/HttpRoutes.h"
#include "server/serve/ServingState.h"
#include "server/serve/SharedBytesFiles.h"

namespace lumivanta::server {

// One client's connection: reads requests one after the other within the
// header and body deadlines, answers each, and closes on any refusal.
class HttpConnection : public std::enable_shared_from_this<HttpConnection> {
 public:
  HttpConnection(boost::asio::ip::tcp::socket socket, ServingState& state);
  HttpConnection(const HttpConnection&) = delete;
  HttpConnection& operator=(const HttpConnection&) = delete;
  ~HttpConnection();

  void Start();
  // Answers 503 at once without reading a request, for a connection past the cap.
  void RefuseAsBusy();

 private:
  using Parser = http::request_parser<ReceivedBody>;

  void ReadHeader();
  void OnHeader(boost::beast::error_code error);
  // A refusal for what the header says, or nullopt when the body may be read.
  std::optional<Response> CheckHeader();
  void ReadBody();
  bool BodyIsWhole() const;
  // Reads what comes of the body next, once the budget holds room for it,
  // within the body's deadline and its rate.
  void ReadBodyPart();
  void OnBodyPart(boost::beast::error_code error, std::size_t bytes);
  // Hands the parser the body bytes in the read buffer.
  boost::beast::error_code ParseBuffered();
  void OnBody();
  // Hands the socket to an event stream for the name's pictures, while
  // streams hold less than their share of the connections.
  void FollowPictures(std::string name, bool keep_alive);
  // Answers on a store worker where the store may wait, else at once.
  void AnswerRequest(bool keep_alive, bool head);
  // Answer, or 500 when it throws, such as when memory runs out.
  static Response AnswerOrExplainFailure(Request& request, const ServingState& state);
  void SendAnswer(Response response, bool keep_alive, bool head);
  // Adds the name's viewer count to an answer for its uploader or a poller.
  void TellAudience(Response& response, const AudienceRole& audience);
  // Sends the answer's header and body without waiting, its body from the
  // body's memory file with sendfile() when it has one; waits for room only
  // within the body deadline.
  void Send(Response response, bool keep_alive);
  void SendStep(bool keep_alive);
  void WatchAnswerDeadline();
  void OnAnswerSent(boost::beast::error_code error, bool keep_alive);
  void OnSent(boost::beast::error_code error, bool keep_alive);
  void Refuse(http::status status, std::string_view text);
  // Stops sending, then reads and drops what the client still sends, so the
  // answer is not lost to a reset; closes at the client's end or a deadline.
  void CloseGracefully();
  void Drain();
  // While on, closing resets the connection, so the kernel drops at once what
  // it still holds for a client that takes nothing.
  void CloseAbortively(bool on);
  void Log(unsigned status, std::uint64_t bytes_sent);

  boost::beast::tcp_stream stream_;
  ServingState& state_;
  std::string client_;
  // The client's address without its port: one viewer over many connections.
  std::string client_host_;
  std::optional<AudienceRole> audience_;
  boost::beast::flat_buffer buffer_;
  std::optional<Parser> parser_;
  std::optional<BodyBudget::Reservation> body_reservation_;
  std::optional<Response> response_;
  // The answer going out: its header's text, its body's memory file if any, the bytes of each sent.
  SharedBytesFiles::File answer_file_;
  std::string answer_header_;
  std::size_t header_sent_ = 0;
  std::size_t body_sent_ = 0;
  boost::asio::steady_timer answer_deadline_;
  bool answer_deadline_set_ = false;
  // Whether closing resets the connection just now (SO_LINGER with no time).
  bool abortive_close_ = false;
  std::string method_;
  std::string target_;
  std::uint64_t bytes_received_ = 0;
  std::chrono::steady_clock::time_point request_started_;
  // The most the body may hold: its declared length, or the limit when chunked.
  std::size_t body_limit_ = 0;
  std::chrono::steady_clock::time_point body_deadline_;
  // The body's bytes since the start of its current rate window.
  std::chrono::steady_clock::time_point window_start_;
  std::size_t window_bytes_ = 0;
};

}  // namespace lumivanta::server
