#include "server/serve/HttpServer.h"

#include <boost/asio/ip/tcp.hpp>
#include <chrono>
#include <memory>
#include <utility>

namespace lumivanta::server {

namespace {

namespace asio = boost::asio;
using asio::ip::tcp;

// Many uploaders and viewers may connect at the same moment.
constexpr int kListenBacklog = 1024;
// Connections past the cap that still get their 503; any more are closed unanswered.
constexpr std::size_t kRefusedConnectionsAnswered = 64;
// Connections taken in one turn of the loop, at most.
constexpr int kAcceptAtOnce = 16;
// Out of file descriptors, accepting pauses this long rather than spinning.
constexpr std::chrono::milliseconds kAcceptRetryDelay{100};

tcp::endpoint Resolve(asio::io_context& context, const std::string& host, int port) {
  tcp::resolver resolver(context);
  return resolver.resolve(host, std::to_string(port), tcp::resolver::passive | tcp::resolver::numeric_service)
      .begin()
      ->endpoint();
}

}  // namespace

HttpServer::HttpServer(asio::io_context& context, const std::string& host, int port, ServingState& state)
    : context_(context), acceptor_(context), retry_timer_(context), state_(state) {
  const tcp::endpoint endpoint = Resolve(context, host, port);
  acceptor_.open(endpoint.protocol());
  // SO_REUSEADDR alone: a second server must not share a port already taken.
  acceptor_.set_option(tcp::acceptor::reuse_address(true));
  acceptor_.bind(endpoint);
  acceptor_.listen(kListenBacklog);
  // Accepting beyond the first connection of a turn must never wait.
  acceptor_.non_blocking(true);
}

void HttpServer::Stop() {
  boost::system::error_code ignored;
  acceptor_.close(ignored);
  retry_timer_.cancel();
}

void HttpServer::Accept() {
  acceptor_.async_accept(
      context_, [this](boost::system::error_code error, tcp::socket socket) { OnAccepted(error, std::move(socket)); });
}

void HttpServer::OnAccepted(boost::system::error_code error, tcp::socket socket) {
  if (error == asio::error::operation_aborted || !acceptor_.is_open()) {
    return;
  }
  if (error) {
    retry_timer_.expires_after(kAcceptRetryDelay);
    retry_timer_.async_wait([this](boost::system::error_code waited) {
      if (!waited) {
        Accept();
      }
    });
    return;
  }
  Admit(std::move(socket));
  // Connections that are already waiting are taken at once rather than one per turn of the loop.
  for (int taken = 1; taken < kAcceptAtOnce; ++taken) {
    tcp::socket waiting(context_);
    acceptor_.accept(waiting, error);
    if (error) {
      break;
    }
    Admit(std::move(waiting));
  }
  Accept();
}

void HttpServer::Admit(tcp::socket socket) {
  // Answers are sent whole as soon as they are ready; small ones must not wait for an acknowledgement.
  boost::system::error_code ignored;
  socket.set_option(tcp::no_delay(true), ignored);
  const std::size_t cap = state_.limits.max_connections;
  if (state_.open_connections < cap) {
    std::make_shared<HttpConnection>(std::move(socket), state_)->Start();
  } else if (state_.open_connections < cap + kRefusedConnectionsAnswered) {
    std::make_shared<HttpConnection>(std::move(socket), state_)->RefuseAsBusy();
  }
}

}  // namespace lumivanta::server
