#include "server/serve/HttpConnection.h"

#include <malloc.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/uio.h>

#include <algorithm>
#include <array>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/beast/core/buffers_range.hpp>
#include <boost/beast/core/error.hpp>
#include <boost/beast/core/string.hpp>
#include <boost/range/iterator_range.hpp>
#include <cerrno>
#include <exception>
#include <tuple>
#include <utility>

#include "base/Report.h"
#include "server/http/RequestLog.h"
#include "server/serve/EventStream.h"
#include "server/serve/HttpRoutes.h"

namespace lumivanta::server {

namespace {

namespace beast = boost::beast;
namespace asio = boost::asio;

// Freed buffers at least this large are handed back to the system at once.
constexpr std::size_t kTrimAfterBytes = kMebibyte;
// The most of a request body read at once: straight into the body's block
// when its length is known, else into the read buffer, where the header's
// small buffer would take a turn of the event loop for every few hundred
// bytes. Kept under 128 KiB, from which glibc maps fresh pages from the
// system for every buffer and the kernel faults them in again.
constexpr std::size_t kBodyReadBytes = 120 * kKibibyte;
// How long a closing connection may keep sending what the server no longer reads.
constexpr std::chrono::seconds kDrainTimeout{10};

// One buffer for all the bytes thrown away; everything runs on one thread.
std::array<char, 65536> drain_buffer;

// The client's host, and its host and port for the log; "-" for both when unknown.
std::pair<std::string, std::string> ClientAddress(const asio::ip::tcp::socket& socket) {
  beast::error_code error;
  const asio::ip::tcp::endpoint peer = socket.remote_endpoint(error);
  if (error) {
    return {"-", "-"};
  }
  const asio::ip::address address = peer.address();
  std::string host = address.is_v6() ? "[" + address.to_string() + "]" : address.to_string();
  std::string host_and_port = host + ":" + std::to_string(peer.port());
  return {std::move(host), std::move(host_and_port)};
}

// A read that failed on the request's bytes rather than on the connection.
bool IsMalformedRequest(const beast::error_code& error) {
  return error.category() == http::make_error_code(http::error::bad_method).category() &&
         error != http::error::end_of_stream && error != http::error::partial_message;
}

Response BusyReceiving() {
  Response busy = TextAnswer(http::status::service_unavailable,
                             "the server is receiving too many uploads at once; try again in a moment\n");
  busy.set(http::field::retry_after, "1");
  return busy;
}

}  // namespace

HttpConnection::HttpConnection(asio::ip::tcp::socket socket, ServingState& state)
    : stream_(std::move(socket)), state_(state), answer_deadline_(stream_.get_executor()) {
  std::tie(client_host_, client_) = ClientAddress(stream_.socket());
  ++state_.open_connections;
}

HttpConnection::~HttpConnection() { --state_.open_connections; }

void HttpConnection::Start() { ReadHeader(); }

void HttpConnection::RefuseAsBusy() {
  request_started_ = std::chrono::steady_clock::now();
  Refuse(http::status::service_unavailable, "the server has too many open connections; try again later\n");
}

void HttpConnection::ReadHeader() {
  parser_.emplace();
  parser_->header_limit(static_cast<std::uint32_t>(state_.limits.max_header_bytes));
  parser_->body_limit(state_.limits.max_body_bytes);
  method_ = "-";
  target_ = "-";
  bytes_received_ = 0;
  // One deadline for the whole header, however slowly its bytes come.
  stream_.expires_after(state_.limits.header_timeout);
  http::async_read_header(stream_, buffer_, *parser_,
                          [self = shared_from_this()](beast::error_code error, std::size_t) { self->OnHeader(error); });
}

void HttpConnection::OnHeader(beast::error_code error) {
  request_started_ = std::chrono::steady_clock::now();
  if (error == http::error::header_limit) {
    Refuse(
        http::status::request_header_fields_too_large,
        "the request header is larger than " + std::to_string(state_.limits.max_header_bytes / kKibibyte) + " KiB\n");
  } else if (error == http::error::body_limit) {
    Refuse(http::status::payload_too_large,
           "the request body is larger than " + std::to_string(state_.limits.max_body_bytes / kMebibyte) + " MiB\n");
  } else if (IsMalformedRequest(error)) {
    Refuse(http::status::bad_request, "malformed request header\n");
  } else if (error) {
    stream_.socket().close(error);
  } else {
    method_ = std::string(parser_->get().method_string());
    target_ = std::string(parser_->get().target());
    if (std::optional<Response> refusal = CheckHeader(); refusal) {
      Send(std::move(*refusal), false);
    } else {
      ReadBody();
    }
  }
}

std::optional<Response> HttpConnection::CheckHeader() {
  const Request& request = parser_->get();
  for (const auto& content_encoding : boost::make_iterator_range(request.equal_range(http::field::content_encoding))) {
    if (!beast::iequals(content_encoding.value(), "identity")) {
      return TextAnswer(http::status::unsupported_media_type, "request bodies with a Content-Encoding are refused\n");
    }
  }
  const auto transfer_encoding = request.find(http::field::transfer_encoding);
  if (transfer_encoding != request.end() && !beast::iequals(transfer_encoding->value(), "chunked")) {
    return parser_->chunked()
               ? TextAnswer(http::status::unsupported_media_type, "only the chunked transfer coding is understood\n")
               : TextAnswer(http::status::bad_request, "the request body's length is unknown\n");
  }
  body_limit_ = parser_->chunked() ? state_.limits.max_body_bytes
                                   : static_cast<std::size_t>(parser_->content_length().value_or(0));
  if (body_limit_ > 0) {
    // A body that its request's key would not allow is not received at all.
    if (std::optional<Response> refusal = KeyRefusal(request.target(), state_.keys); refusal) {
      return refusal;
    }
    // Room for the first read only: what a header announces holds nothing until it arrives.
    std::optional<BodyBudget::Reservation> reservation =
        state_.body_budget.Reserve(std::min(kBodyReadBytes, body_limit_));
    if (!reservation) {
      return BusyReceiving();
    }
    body_reservation_.emplace(std::move(*reservation));
  }
  return std::nullopt;
}

void HttpConnection::ReadBody() {
  Request& request = parser_->get();
  if (parser_->chunked()) {
    // Untouched reserved pages cost no memory, and the body never moves while it grows.
    request.body().Reserve(state_.limits.max_body_bytes);
    buffer_.reserve(kBodyReadBytes);
  }
  const auto now = std::chrono::steady_clock::now();
  body_deadline_ = now + state_.limits.body_timeout;
  window_start_ = now;
  window_bytes_ = 0;
  if (beast::iequals(request[http::field::expect], "100-continue")) {
    auto go_on = std::make_shared<http::response<http::empty_body>>(http::status::continue_, 11);
    http::async_write(stream_, *go_on, [self = shared_from_this(), go_on](beast::error_code error, std::size_t) {
      if (!error) {
        self->window_start_ = std::chrono::steady_clock::now();
        self->ReadBodyPart();
      }
    });
    return;
  }
  ReadBodyPart();
}

bool HttpConnection::BodyIsWhole() const {
  // The parser sees a body of known length only as far as it came with the header.
  return parser_->chunked() ? parser_->is_done() : parser_->get().body().size() >= body_limit_;
}

void HttpConnection::ReadBodyPart() {
  if (!parser_->chunked() && buffer_.size() > 0 && !parser_->is_done()) {
    // Body bytes that came with the header.
    if (const beast::error_code error = ParseBuffered(); error) {
      OnBodyPart(error, 0);
      return;
    }
  }
  if (BodyIsWhole()) {
    OnBody();
    return;
  }
  // The budget takes the body's bytes as they come, with room for one more read.
  const std::size_t held = std::min(parser_->get().body().size() + kBodyReadBytes, body_limit_);
  if (body_reservation_ && !body_reservation_->GrowTo(held)) {
    body_reservation_.reset();
    Send(BusyReceiving(), false);
    return;
  }
  // The next bytes must come before the body's deadline, and before its rate window ends unfilled.
  const auto window = std::min<std::chrono::steady_clock::duration>(kBodyRateWindow, state_.limits.body_timeout);
  stream_.expires_at(std::min(body_deadline_, window_start_ + window));
  if (parser_->chunked()) {
    http::async_read_some(
        stream_, buffer_, *parser_,
        [self = shared_from_this()](beast::error_code error, std::size_t bytes) { self->OnBodyPart(error, bytes); });
    return;
  }
  // A body of known length is read straight into its own block, in pieces as
  // large as what is left of it, up to the read room.
  ReceivedBytes& body = parser_->get().body();
  body.Reserve(body_limit_);
  const std::size_t piece = std::min(body_limit_ - body.size(), kBodyReadBytes);
  stream_.async_read_some(asio::buffer(body.Room(), piece),
                          [self = shared_from_this()](beast::error_code error, std::size_t bytes) {
                            self->parser_->get().body().Commit(bytes);
                            self->OnBodyPart(error, bytes);
                          });
}

beast::error_code HttpConnection::ParseBuffered() {
  beast::error_code error;
  while (buffer_.size() > 0 && !parser_->is_done()) {
    const std::size_t used = parser_->put(buffer_.data(), error);
    buffer_.consume(used);
    if (error == http::error::need_more) {
      return {};
    }
    if (error || used == 0) {
      return error;
    }
  }
  return error;
}

void HttpConnection::OnBodyPart(beast::error_code error, std::size_t bytes) {
  if (error == http::error::body_limit) {
    Refuse(http::status::payload_too_large,
           "the request body is larger than " + std::to_string(state_.limits.max_body_bytes / kMebibyte) + " MiB\n");
    return;
  }
  if (IsMalformedRequest(error)) {
    Refuse(http::status::bad_request, "malformed request body\n");
    return;
  }
  if (error == beast::error::timeout) {
    // Too slow for its rate or its deadline; the stream has closed the socket, so no answer can go.
    bytes_received_ = parser_->get().body().size();
    Log(static_cast<unsigned>(http::status::request_timeout), 0);
    return;
  }
  if (error) {
    stream_.socket().close(error);
    return;
  }
  const auto window = std::min<std::chrono::steady_clock::duration>(kBodyRateWindow, state_.limits.body_timeout);
  const std::size_t window_quota =
      static_cast<std::size_t>(state_.limits.min_body_bytes_per_second * std::chrono::duration<double>(window).count());
  window_bytes_ += bytes;
  if (window_bytes_ >= window_quota) {
    window_start_ = std::chrono::steady_clock::now();
    window_bytes_ = 0;
  }
  ReadBodyPart();
}

void HttpConnection::OnBody() {
  Request& request = parser_->get();
  if (std::optional<std::string> name = EventStreamName(request, state_.keys); name) {
    FollowPictures(std::move(*name), request.keep_alive());
    return;
  }
  bytes_received_ = request.body().size();
  AnswerRequest(request.keep_alive(), request.method() == http::verb::head);
}

void HttpConnection::AnswerRequest(bool keep_alive, bool head) {
  audience_ = AudienceOf(parser_->get().target(), state_.keys);
  if (audience_ && audience_->kind == AudienceRole::Kind::kPoller) {
    state_.events.NotePoller(audience_->name, client_host_ + " " + audience_->viewer_token);
  }
  const bool changes = ChangesPictures(parser_->get().target(), state_.keys);
  if (state_.workers == nullptr || !(changes ? state_.store.ChangesMayWait() : state_.store.ReadsMayWait())) {
    SendAnswer(AnswerOrExplainFailure(parser_->get(), state_), keep_alive, head);
    return;
  }
  // Shared, as a worker's job must be copyable and a body's block is not.
  auto request = std::make_shared<Request>(parser_->release());
  state_.workers->Run([self = shared_from_this(), request = std::move(request), keep_alive, head](bool late) mutable {
    // A request that waited longer than the store may take would find it no better: it is told to come again.
    Response response = late ? StoreUnavailableAnswer() : AnswerOrExplainFailure(*request, self->state_);
    const auto executor = self->stream_.get_executor();
    // The serving thread gets the last reference to the connection.
    asio::post(executor, [self = std::move(self), response = std::move(response), keep_alive, head]() mutable {
      self->SendAnswer(std::move(response), keep_alive, head);
    });
  });
}

void HttpConnection::SendAnswer(Response response, bool keep_alive, bool head) {
  if (audience_) {
    TellAudience(response, *audience_);
    audience_.reset();
  }
  if (head) {
    response.body() = nullptr;
  }
  const std::size_t received = body_reservation_ ? body_reservation_->Bytes() : 0;
  parser_.reset();
  body_reservation_.reset();
  buffer_.shrink_to_fit();
  if (received >= kTrimAfterBytes) {
    ::malloc_trim(0);
  }
  Send(std::move(response), keep_alive);
}

void HttpConnection::TellAudience(Response& response, const AudienceRole& audience) {
  const std::size_t viewers = state_.events.Viewers(audience.name);
  if (audience.kind == AudienceRole::Kind::kUploader) {
    response.set(kViewersHeader, std::to_string(viewers));
  } else if (response.result() == http::status::ok && response.body() != nullptr) {
    response.body() = SharedText(PictureEvents::WithViewers(*response.body(), viewers));
    response.prepare_payload();
  }
}

void HttpConnection::FollowPictures(std::string name, bool keep_alive) {
  if (state_.event_streams >= MaxEventStreams(state_.limits)) {
    // The viewer polls instead, and tries its stream again later.
    Response busy =
        TextAnswer(http::status::service_unavailable, "the server follows too many event streams; try again later\n");
    busy.set(http::field::retry_after, "15");
    SendAnswer(std::move(busy), keep_alive, false);
    return;
  }
  // The connection's own deadline stops here; the stream keeps its own watch.
  stream_.expires_never();
  std::make_shared<EventStream>(stream_.release_socket(), state_, std::move(name), client_, target_)->Start();
}

Response HttpConnection::AnswerOrExplainFailure(Request& request, const ServingState& state) {
  try {
    return Answer(request, state.store, state.keys);
  } catch (const std::exception& error) {
    ReportServerLine(error.what());
    return TextAnswer(http::status::internal_server_error, "the server could not answer this request\n");
  }
}

void HttpConnection::Send(Response response, bool keep_alive) {
  response.keep_alive(keep_alive);
  response_.emplace(std::move(response));
  // The header's bytes as Beast writes them, without a stream's locale and buffers.
  const http::fields::writer header(response_->base(), response_->version(), response_->result_int());
  answer_header_.clear();
  for (const auto part : beast::buffers_range(header.get())) {
    answer_header_.append(static_cast<const char*>(part.data()), part.size());
  }
  // A body sent again and again goes out from its memory file, others from memory.
  answer_file_ = state_.answer_files.FileFor(response_->body());
  header_sent_ = 0;
  body_sent_ = 0;
  answer_deadline_set_ = false;
  // Neither sendmsg() nor sendfile() may wait: the event loop does.
  if (!stream_.socket().non_blocking()) {
    beast::error_code error;
    stream_.socket().non_blocking(true, error);
    if (error) {
      OnAnswerSent(error, keep_alive);
      return;
    }
  }
  SendStep(keep_alive);
}

void HttpConnection::WatchAnswerDeadline() {
  // A client that takes the answer too slowly has its connection reset, which
  // ends the wait for room and drops what the kernel still holds for it.
  answer_deadline_set_ = true;
  answer_deadline_.expires_after(state_.limits.body_timeout);
  answer_deadline_.async_wait([self = shared_from_this()](beast::error_code waited) {
    // A wait cancelled too late finds its answer gone, or a newer one with a later deadline.
    if (!waited && self->answer_deadline_set_ && self->answer_deadline_.expiry() <= std::chrono::steady_clock::now()) {
      self->CloseAbortively(true);
      beast::error_code ignored;
      self->stream_.socket().close(ignored);
    }
  });
}

void HttpConnection::SendStep(bool keep_alive) {
  const int socket = stream_.socket().native_handle();
  const std::size_t body_bytes = response_->body() ? response_->body()->size() : 0;
  while (header_sent_ < answer_header_.size() || body_sent_ < body_bytes) {
    ssize_t sent = 0;
    if (!answer_file_) {
      // Header and body in one call, as most answers leave at once.
      std::array<iovec, 2> parts{};
      std::size_t count = 0;
      if (header_sent_ < answer_header_.size()) {
        parts[count++] = {answer_header_.data() + header_sent_, answer_header_.size() - header_sent_};
      }
      if (body_sent_ < body_bytes) {
        parts[count++] = {const_cast<char*>(response_->body()->data()) + body_sent_, body_bytes - body_sent_};
      }
      msghdr message{};
      message.msg_iov = parts.data();
      message.msg_iovlen = count;
      sent = ::sendmsg(socket, &message, MSG_NOSIGNAL);
    } else if (header_sent_ < answer_header_.size()) {
      // The header waits for the body's first bytes, so both leave in one segment.
      sent = ::send(socket, answer_header_.data() + header_sent_, answer_header_.size() - header_sent_,
                    MSG_MORE | MSG_NOSIGNAL);
    } else {
      auto offset = static_cast<off_t>(body_sent_);
      sent = ::sendfile(socket, answer_file_->Get(), &offset, body_bytes - body_sent_);
    }
    if (sent < 0 && errno == EINTR) {
      continue;
    }
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!answer_deadline_set_) {
        WatchAnswerDeadline();
      }
      stream_.socket().async_wait(asio::socket_base::wait_write,
                                  [self = shared_from_this(), keep_alive](beast::error_code error) {
                                    if (error) {
                                      self->OnAnswerSent(error, keep_alive);
                                    } else {
                                      self->SendStep(keep_alive);
                                    }
                                  });
      return;
    }
    if (sent <= 0) {
      OnAnswerSent(sent < 0 ? beast::error_code(errno, boost::system::system_category())
                            : beast::error_code(asio::error::connection_aborted),
                   keep_alive);
      return;
    }
    auto taken = static_cast<std::size_t>(sent);
    const std::size_t of_header = std::min(taken, answer_header_.size() - header_sent_);
    header_sent_ += of_header;
    body_sent_ += taken - of_header;
  }
  OnAnswerSent({}, keep_alive);
}

void HttpConnection::OnAnswerSent(beast::error_code error, bool keep_alive) {
  if (answer_deadline_set_) {
    answer_deadline_set_ = false;
    answer_deadline_.cancel();
  }
  answer_file_.reset();
  answer_header_.clear();
  OnSent(error, keep_alive);
}

void HttpConnection::OnSent(beast::error_code error, bool keep_alive) {
  const unsigned status = response_->result_int();
  Log(status, response_->body() ? response_->body()->size() : 0);
  response_.reset();
  if (error) {
    stream_.socket().close(error);
    return;
  }
  CloseAbortively(false);
  if (keep_alive) {
    ReadHeader();
  } else {
    CloseGracefully();
  }
}

void HttpConnection::Refuse(http::status status, std::string_view text) {
  body_reservation_.reset();
  Send(TextAnswer(status, text), false);
}

void HttpConnection::CloseGracefully() {
  parser_.reset();
  body_reservation_.reset();
  beast::error_code ignored;
  stream_.socket().shutdown(asio::ip::tcp::socket::shutdown_send, ignored);
  // A client that neither leaves nor reads by the deadline gets a reset.
  CloseAbortively(true);
  stream_.expires_after(kDrainTimeout);
  Drain();
}

void HttpConnection::Drain() {
  stream_.async_read_some(asio::buffer(drain_buffer),
                          [self = shared_from_this()](beast::error_code error, std::size_t) {
                            if (!error) {
                              self->Drain();
                              return;
                            }
                            if (error == asio::error::eof) {
                              self->CloseAbortively(false);
                            }
                            self->stream_.socket().close(error);
                          });
}

void HttpConnection::CloseAbortively(bool on) {
  if (on == abortive_close_) {
    return;
  }
  abortive_close_ = on;
  beast::error_code ignored;
  stream_.socket().set_option(asio::socket_base::linger(on, 0), ignored);
}

void HttpConnection::Log(unsigned status, std::uint64_t bytes_sent) {
  const bool from_uploader = target_.find("?server") != std::string::npos || method_ == "POST";
  if (!state_.log_every_request && status < 400 && !from_uploader) {
    return;
  }
  RequestRecord record;
  record.client = client_;
  record.method = method_;
  record.target = target_;
  record.status = status;
  record.bytes_received = bytes_received_;
  record.bytes_sent = bytes_sent;
  record.duration = std::chrono::steady_clock::now() - request_started_;
  LogRequest(record);
}

}  // namespace lumivanta::server
