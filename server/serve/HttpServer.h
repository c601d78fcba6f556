#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <string>

#include "server/serve/HttpConnection.h"

namespace lumivanta::server {

// Accepts connections on one address and hands each to an HttpConnection,
// all on the io_context's one thread. Past the connection cap a client gets
// 503 and the connection is closed.
class HttpServer {
 public:
  // Throws boost::system::system_error when the address cannot be used.
  HttpServer(boost::asio::io_context& context, const std::string& host, int port, ServingState& state);

  int Port() const { return acceptor_.local_endpoint().port(); }
  void Start() { Accept(); }
  void Stop();

 private:
  void Accept();
  void OnAccepted(boost::system::error_code error, boost::asio::ip::tcp::socket socket);
  // Serves the connection, or refuses it past the connection cap.
  void Admit(boost::asio::ip::tcp::socket socket);

  boost::asio::io_context& context_;
  boost::asio::ip::tcp::acceptor acceptor_;
  boost::asio::steady_timer retry_timer_;
  ServingState& state_;
};

}  // namespace lumivanta::server
