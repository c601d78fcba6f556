#pragma once

// A scripted HTTP peer on 127.0.0.1 for client tests: it records every request
// byte for byte and answers each with a fixed response, or misbehaves on
// purpose (never answers, closes the connection halfway through a request,
// answers 2 bytes per second, or resets the connection).

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace lumivanta::test {

// Proxy variables would send even loopback requests elsewhere.
void ClearProxyEnvironment();

// An HTTP response with the given status line text and body, closed after sending.
std::string HttpResponse(std::string_view status, std::string_view body);

class LoopbackServer {
 public:
  enum class Behaviour {
    kAnswer,             // read the whole request, send the response, close
    kNeverAnswer,        // read the request, then hold the connection silently
    kCloseWhileReading,  // close after the first close_after_bytes bytes of the request
    // Read the request, send a 200 head at once, then an endless body, 2 bytes
    // per second (above libcurl's low-speed floor), until the client goes away;
    // the response given is not used.
    kTrickle,
    kReset,  // read the request, then reset the connection (RST)
  };

  explicit LoopbackServer(std::string response, Behaviour behaviour = Behaviour::kAnswer,
                          std::size_t close_after_bytes = 0);
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;
  ~LoopbackServer();

  int Port() const { return port_; }
  // What the requests that come from now on are answered.
  void SetResponse(std::string response);
  std::string Url(std::string_view path) const;

  // Every request received so far, complete or as far as it came.
  std::vector<std::string> Requests() const;
  // Waits for the n-th request (counting from 1) to be complete; empty on time-out.
  std::string WaitForRequest(std::size_t n = 1, std::chrono::seconds timeout = std::chrono::seconds(10)) const;
  // Waits until the server has closed its side of n connections.
  bool WaitForClosedConnections(std::size_t n, std::chrono::seconds timeout = std::chrono::seconds(10)) const;

 private:
  static constexpr int kPollMs = 20;
  static constexpr std::string_view kTrickleHead =
      "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nConnection: close\r\n\r\n";
  static constexpr auto kTrickleInterval = std::chrono::milliseconds(500);

  bool WaitReadable(int fd) const;
  void Serve();
  // Length of the request once complete (headers and Content-Length body), else 0.
  static std::size_t CompleteLength(const std::string& request);
  void Handle(int connection);
  static bool SendAll(int connection, std::string_view rest);
  // Waits for the given time; false as soon as the server stops or the client
  // closes or breaks the connection. Whatever the client sends meanwhile is dropped.
  bool WaitWhileClientStays(int connection, std::chrono::milliseconds time) const;
  void Trickle(int connection) const;

  std::string response_;
  const Behaviour behaviour_;
  const std::size_t close_after_bytes_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<std::string> requests_;
  std::size_t completed_ = 0;
  std::size_t closed_ = 0;
  std::thread thread_;
};

}  // namespace lumivanta::test
