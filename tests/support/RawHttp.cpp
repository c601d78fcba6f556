#include "tests/support/RawHttp.h"

#include "base/UniqueFd.h"

namespace lumivanta::test {

TcpConnection::TcpConnection(int port, int receive_buffer) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
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

TcpConnection::~TcpConnection() {
  if (fd_ >= 0) {
    ::close(fd_);
  }
}

void TcpConnection::SendAll(std::string_view bytes) const {
  while (!bytes.empty()) {
    const ssize_t sent = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent <= 0) {
      throw std::runtime_error("send failed");
    }
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
}

bool TcpConnection::TrySend(std::string_view bytes) const {
  return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT) >= 0 || errno == EAGAIN;
}

std::string TcpConnection::ReceiveUntil(std::string_view text) {
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

std::string TcpConnection::ReceiveAll() const {
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

bool TcpConnection::EndsInAReset() const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  char buffer[65536];
  ssize_t got = 0;
  while ((got = ::recv(fd_, buffer, sizeof(buffer), 0)) > 0 && std::chrono::steady_clock::now() < deadline) {
  }
  return got < 0 && errno == ECONNRESET;
}

HttpAnswer ParseAnswer(const std::string& raw) {
  const std::size_t head_end = raw.find("\r\n\r\n");
  if (!raw.starts_with("HTTP/1.") || raw.size() < 12 || head_end == std::string::npos) {
    throw std::runtime_error("not an HTTP answer: " + raw.substr(0, 80));
  }
  return HttpAnswer{std::stoi(raw.substr(9, 3)), raw.substr(0, head_end + 2), raw.substr(head_end + 4)};
}

HttpAnswer Exchange(int port, std::string_view request) {
  const TcpConnection connection(port);
  connection.SendAll(request);
  return ParseAnswer(connection.ReceiveAll());
}

int FreeLoopbackPort() {
  const UniqueFd probe(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  if (::bind(probe.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
      ::getsockname(probe.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw std::runtime_error("no free port on 127.0.0.1");
  }
  return ntohs(address.sin_port);
}

bool Accepts(int port) {
  try {
    const TcpConnection probe(port);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

HttpAnswer Get(int port, std::string_view target) {
  return Exchange(port, "GET " + std::string(target) + " HTTP/1.0\r\nHost: 127.0.0.1\r\nAccept: */*\r\n\r\n");
}

std::string ProgramMultipartBody(std::string_view jpeg) {
  return "--" + std::string(kProgramBoundary) +
         "\r\nContent-Disposition: form-data; name=\"thescreen\"; filename=\"image.jpg\"\r\n"
         "Content-Type: image/jpeg\r\n\r\n" +
         std::string(jpeg) + "\r\n--" + std::string(kProgramBoundary) + "--\r\n";
}

std::string PostRequest(int port, std::string_view target, std::string_view content_type, std::string_view body) {
  return "POST " + std::string(target) + " HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(port) +
         "\r\nAccept: */*\r\nContent-Type: " + std::string(content_type) +
         "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + std::string(body);
}

std::string ProgramUpload(int port, std::string_view name, std::string_view jpeg, std::string_view path) {
  return PostRequest(port, std::string(path) + "?server&stream_name=" + std::string(name),
                     "multipart/form-data; boundary=" + std::string(kProgramBoundary), ProgramMultipartBody(jpeg));
}

std::string ProgramDelete(int port, std::string_view name, std::string_view path) {
  return "GET " + std::string(path) + "?server&stream_name=" + std::string(name) +
         "&fkt=end HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\nAccept: */*\r\n\r\n";
}

HttpAnswer NewestPicture(int port, std::string_view name) {
  return Get(port, "/pictures/" + std::string(name) + "/latest.jpg");
}

}  // namespace lumivanta::test
