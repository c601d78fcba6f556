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
  explicit TcpConnection(int port, int receive_buffer = 0) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    if (receive_buffer > 0) {
      ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof(receive_buffer));
    }
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const timeval timeout = {20, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    ::setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof(timeout));
    if (fd_ < 0 || ::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
      throw std::runtime_error("cannot connect to port " + std::to_string(port));
    }
  }
  TcpConnection(const TcpConnection&) = delete;
  TcpConnection& operator=(const TcpConnection&) = delete;
  ~TcpConnection() {
    if (fd_ >= 0) {
      ::close(fd_);
    }
  }

  void SendAll(std::string_view bytes) const {
    while (!bytes.empty()) {
      const ssize_t sent = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (sent <= 0) {
        throw std::runtime_error("send failed");
      }
      bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
  }

  // Sends what fits without waiting; false once the connection is closed.
  bool TrySend(std::string_view bytes) const {
    return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT) >= 0 || errno == EAGAIN;
  }

  // What the server sends until the text is among it; throws at the end of the connection or after 20 s.
  std::string ReceiveUntil(std::string_view text) {
    char buffer[4096];
    while (unread_.find(text) == std::string::npos) {
      const ssize_t got = ::recv(fd_, buffer, sizeof(buffer), 0);
      if (got <= 0) {
        throw std::runtime_error("the connection ended before \"" + std::string(text) + "\" came");
      }
      unread_.append(buffer, static_cast<std::size_t>(got));
    }
    const std::size_t end = unread_.find(text) + text.size();
    std::string received = unread_.substr(0, end);
    unread_.erase(0, end);
    return received;
  }

  // Everything the server sends until it closes the connection.
  std::string ReceiveAll() const {
    std::string received;
    char buffer[65536];
    ssize_t got = 0;
    while ((got = ::recv(fd_, buffer, sizeof(buffer), 0)) > 0) {
      received.append(buffer, static_cast<std::size_t>(got));
    }
    if (got < 0) {
      throw std::runtime_error("receive failed or timed out");
    }
    return received;
  }

  // Reads to the end; true when the server reset the connection rather than closing it, within 10 s.
  bool EndsInAReset() const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    char buffer[65536];
    ssize_t got = 0;
    while ((got = ::recv(fd_, buffer, sizeof(buffer), 0)) > 0 && std::chrono::steady_clock::now() < deadline) {
    }
    return got < 0 && errno == ECONNRESET;
  }

 private:
  int fd_ = -1;
  // Received by ReceiveUntil past the text it waited for.
  std::string unread_;
};

inline HttpAnswer ParseAnswer(const std::string& raw) {
  const std::size_t head_end = raw.find("\r\n\r\n");
  if (!raw.starts_with("HTTP/1.") || raw.size() < 12 || head_end == std::string::npos) {
    throw std::runtime_error("not an HTTP answer: " + raw.substr(0, 80));
  }
  return HttpAnswer{std::stoi(raw.substr(9, 3)), raw.substr(0, head_end + 2), raw.substr(head_end + 4)};
}

// Sends one request on a new connection and reads the answer to the end, as the program does.
inline HttpAnswer Exchange(int port, std::string_view request) {
  const TcpConnection connection(port);
  connection.SendAll(request);
  return ParseAnswer(connection.ReceiveAll());
}

inline HttpAnswer Get(int port, std::string_view target) {
  return Exchange(port, "GET " + std::string(target) + " HTTP/1.0\r\nHost: 127.0.0.1\r\nAccept: */*\r\n\r\n");
}

inline constexpr std::string_view kProgramBoundary = "--MULTI-PARTS-FORM-DATA-BOUNDARY";

inline std::string ProgramMultipartBody(std::string_view jpeg) {
  return "--" + std::string(kProgramBoundary) +
         "\r\nContent-Disposition: form-data; name=\"thescreen\"; filename=\"image.jpg\"\r\n"
         "Content-Type: image/jpeg\r\n\r\n" +
         std::string(jpeg) + "\r\n--" + std::string(kProgramBoundary) + "--\r\n";
}

inline std::string PostRequest(int port, std::string_view target, std::string_view content_type,
                               std::string_view body) {
  return "POST " + std::string(target) + " HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(port) +
         "\r\nAccept: */*\r\nContent-Type: " + std::string(content_type) +
         "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + std::string(body);
}

// The program's upload for server URL http://127.0.0.1:PORT<path>.
inline std::string ProgramUpload(int port, std::string_view name, std::string_view jpeg, std::string_view path = "/") {
  return PostRequest(port, std::string(path) + "?server&stream_name=" + std::string(name),
                     "multipart/form-data; boundary=" + std::string(kProgramBoundary), ProgramMultipartBody(jpeg));
}

// The program's delete and connection test.
inline std::string ProgramDelete(int port, std::string_view name, std::string_view path = "/") {
  return "GET " + std::string(path) + "?server&stream_name=" + std::string(name) +
         "&fkt=end HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\nAccept: */*\r\n\r\n";
}

inline HttpAnswer NewestPicture(int port, std::string_view name) {
  return Get(port, "/pictures/" + std::string(name) + "/latest.jpg");
}

}  // namespace lumivanta::test
