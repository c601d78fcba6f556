#include "server/serve/EventStream.h"

#include <algorithm>
#include <boost/asio/post.hpp>
#include <boost/asio/write.hpp>
#include <exception>
#include <utility>

#include "server/http/RequestLog.h"
#include "server/store/PictureState.h"

namespace lumivanta::server {

namespace {

namespace asio = boost::asio;

// Proxies commonly close a stream that stays silent for a minute.
constexpr std::chrono::seconds kKeepAliveInterval{15};
// The kernel's send buffer for a stream (it doubles the figure for its own
// bookkeeping). The messages are small and only the newest matters: a viewer
// that does not read holds this much of the host's memory, and the newer
// messages wait in the stream itself, each replacing the last.
constexpr int kSendBufferBytes = 4096;

// The answer's header: no length, as the stream lasts until either side closes it.
constexpr std::string_view kHeader =
    "HTTP/1.1 200 OK\r\n"
    "Content-Type: text/event-stream\r\n"
    "Cache-Control: no-store\r\n"
    "X-Content-Type-Options: nosniff\r\n"
    "X-Accel-Buffering: no\r\n"
    "Connection: close\r\n"
    "\r\n"
    // A viewer whose stream breaks tries again after a second.
    "retry: 1000\n\n";

const PictureEvents::Message& KeepAliveMessage() {
  static const PictureEvents::Message message = SharedText(":\n\n");
  return message;
}

}  // namespace

EventStream::EventStream(asio::ip::tcp::socket socket, ServingState& state, std::string name, std::string client,
                         std::string target)
    : socket_(std::move(socket)),
      keep_alive_timer_(socket_.get_executor()),
      state_(state),
      name_(std::move(name)),
      client_(std::move(client)),
      target_(std::move(target)),
      started_(std::chrono::steady_clock::now()) {
  ++state_.open_connections;
  ++state_.event_streams;
  boost::system::error_code ignored;
  socket_.set_option(asio::socket_base::send_buffer_size(kSendBufferBytes), ignored);
  // Nothing of a stream is worth keeping once it closes, so the kernel drops what it holds at once.
  socket_.set_option(asio::socket_base::linger(true, 0), ignored);
}

EventStream::~EventStream() {
  --state_.open_connections;
  --state_.event_streams;
  if (state_.log_every_request) {
    LogRequest({.client = client_,
                .method = "GET",
                .target = target_,
                .status = 200,
                .bytes_received = 0,
                .bytes_sent = bytes_sent_,
                .duration = std::chrono::steady_clock::now() - started_});
  }
}

void EventStream::Start() {
  subscription_.emplace(state_.events, name_, static_cast<PictureEvents::Listener&>(*this));
  if (state_.workers == nullptr || !state_.store.ReadsMayWait()) {
    Send(std::make_shared<const ImmutableBytes>(
        std::string(kHeader) + std::string(*CountedStateMessage(NewestStateJson(state_.store, name_)))));
  } else {
    Send(SharedText(kHeader));
    SendStateFromWorker();
  }
  WaitForClientToLeave();
  KeepAlive();
}

void EventStream::SendStateFromWorker() {
  state_.workers->Run([self = shared_from_this()](bool late) mutable {
    std::optional<std::string> state;
    try {
      if (!late) {
        state = NewestStateJson(self->state_.store, self->name_);
      }
    } catch (const std::exception&) {
      // The viewer keeps its picture; the state follows once the store is back.
    }
    const auto executor = self->socket_.get_executor();
    // The serving thread gets the last reference to the stream, and counts the viewers.
    asio::post(executor, [self = std::move(self), state = std::move(state)]() mutable {
      if (state) {
        self->Send(self->CountedStateMessage(*state));
      }
    });
  });
}

void EventStream::Deliver(const PictureEvents::Message& message) { Send(message); }

PictureEvents::Message EventStream::CountedStateMessage(std::string_view state_json) {
  return PictureEvents::StateMessage(PictureEvents::WithViewers(state_json, state_.events.Viewers(name_)));
}

void EventStream::Send(PictureEvents::Message message) {
  if (!socket_.is_open()) {
    return;
  }
  if (sending_) {
    // A newer state makes an older one that still waits useless.
    if (!waiting_ || message != KeepAliveMessage()) {
      waiting_ = std::move(message);
    }
    return;
  }
  sending_ = std::move(message);
  sending_since_ = std::chrono::steady_clock::now();
  asio::async_write(
      socket_, asio::buffer(sending_->data(), sending_->size()),
      [self = shared_from_this()](boost::system::error_code error, std::size_t bytes) { self->OnSent(error, bytes); });
}

void EventStream::OnSent(boost::system::error_code error, std::size_t bytes) {
  bytes_sent_ += bytes;
  sending_.reset();
  if (error) {
    Close();
    return;
  }
  if (waiting_) {
    Send(std::exchange(waiting_, nullptr));
  }
}

// A viewer sends nothing after its request; any bytes or the end of the connection mean it has gone.
void EventStream::WaitForClientToLeave() {
  socket_.async_read_some(asio::buffer(read_buffer_),
                          [self = shared_from_this()](boost::system::error_code, std::size_t) { self->Close(); });
}

void EventStream::KeepAlive() {
  // Often enough to find a stalled viewer within the body deadline too.
  keep_alive_timer_.expires_after(std::min<std::chrono::seconds>(kKeepAliveInterval, state_.limits.body_timeout));
  keep_alive_timer_.async_wait([self = shared_from_this()](boost::system::error_code error) {
    if (error || !self->socket_.is_open()) {
      return;
    }
    if (self->sending_ && std::chrono::steady_clock::now() - self->sending_since_ > self->state_.limits.body_timeout) {
      self->Close();
      return;
    }
    self->Send(KeepAliveMessage());
    self->KeepAlive();
  });
}

void EventStream::Close() {
  subscription_.reset();
  keep_alive_timer_.cancel();
  boost::system::error_code ignored;
  socket_.close(ignored);
}

}  // namespace lumivanta::server
