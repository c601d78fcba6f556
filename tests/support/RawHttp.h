#pragma once

// Requests written byte for byte over a plain TCP connection to 127.0.0.1,
// including the exact requests the Lumivanta program sends.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace lumivanta::test {

struct HttpAnswer {
  int status = 0;
  std::string head;
  std::string body;

  bool HasHeader(std::string_view line) const { return head.find(std::string(line) + "\r\n") != std::string::npos; }
};

class TcpConnection {
 public:
  // A receive buffer, when given, is set before connecting, so that the window stays that small.
  explicit TcpConnection(int port, int receive_buffer = 0);
  TcpConnection(const TcpConnection&) = delete;
  TcpConnection& operator=(const TcpConnection&) = delete;
  ~TcpConnection();

  void SendAll(std::string_view bytes) const;
  // Sends what fits without waiting; false once the connection is closed.
  bool TrySend(std::string_view bytes) const;
  // What the server sends until the text is among it; throws at the end of the connection or after 20 s.
  std::string ReceiveUntil(std::string_view text);
  // Everything the server sends until it closes the connection.
  std::string ReceiveAll() const;
  // Reads to the end; true when the server reset the connection rather than closing it, within 10 s.
  bool EndsInAReset() const;

 private:
  int fd_ = -1;
  // Received by ReceiveUntil past the text it waited for.
  std::string unread_;
};

HttpAnswer ParseAnswer(const std::string& raw);

// A port of 127.0.0.1 that was free a moment ago, for a server that takes no port 0.
int FreeLoopbackPort();
// Whether something accepts connections at the port.
bool Accepts(int port);

// Sends one request on a new connection and reads the answer to the end, as the program does.
HttpAnswer Exchange(int port, std::string_view request);

HttpAnswer Get(int port, std::string_view target);

inline constexpr std::string_view kProgramBoundary = "--MULTI-PARTS-FORM-DATA-BOUNDARY";

std::string ProgramMultipartBody(std::string_view jpeg);

std::string PostRequest(int port, std::string_view target, std::string_view content_type, std::string_view body);

// The program's upload for server URL http://127.0.0.1:PORT<path>.
std::string ProgramUpload(int port, std::string_view name, std::string_view jpeg, std::string_view path = "/");

// The program's delete and connection test.
std::string ProgramDelete(int port, std::string_view name, std::string_view path = "/");

HttpAnswer NewestPicture(int port, std::string_view name);

}  // namespace lumivanta::test
