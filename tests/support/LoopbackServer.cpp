#include "tests/support/LoopbackServer.h"

namespace lumivanta::test {

void ClearProxyEnvironment() {
  for (const char* name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "ALL_PROXY", "all_proxy"}) {
    ::unsetenv(name);
  }
}

std::string HttpResponse(std::string_view status, std::string_view body) {
  std::string response = "HTTP/1.1 ";
  response += status;
  response += "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body.size()) +
              "\r\nConnection: close\r\n\r\n";
  response += body;
  return response;
}

LoopbackServer::LoopbackServer(std::string response, Behaviour behaviour, std::size_t close_after_bytes)
    : response_(std::move(response)), behaviour_(behaviour), close_after_bytes_(close_after_bytes) {
  ClearProxyEnvironment();
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      ::listen(listener_, 16) != 0 || ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw std::runtime_error("loopback listener failed");
  }
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Serve(); });
}

LoopbackServer::~LoopbackServer() {
  stop_ = true;
  thread_.join();
  ::close(listener_);
}

void LoopbackServer::SetResponse(std::string response) {
  std::lock_guard lock(mutex_);
  response_ = std::move(response);
}
std::string LoopbackServer::Url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

std::vector<std::string> LoopbackServer::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}
std::string LoopbackServer::WaitForRequest(std::size_t n, std::chrono::seconds timeout) const {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, timeout, [&] { return completed_ >= n; });
  return completed_ >= n ? requests_[n - 1] : std::string();
}
bool LoopbackServer::WaitForClosedConnections(std::size_t n, std::chrono::seconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return closed_ >= n; });
}

bool LoopbackServer::WaitReadable(int fd) const {
  while (!stop_) {
    pollfd entry{fd, POLLIN, 0};
    if (::poll(&entry, 1, kPollMs) > 0) {
      return true;
    }
  }
  return false;
}

void LoopbackServer::Serve() {
  while (WaitReadable(listener_)) {
    const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) {
      continue;
    }
    Handle(connection);
    ::close(connection);
    {
      std::lock_guard lock(mutex_);
      ++closed_;
    }
    changed_.notify_all();
  }
}

std::size_t LoopbackServer::CompleteLength(const std::string& request) {
  const std::size_t header_end = request.find("\r\n\r\n");
  if (header_end == std::string::npos) {
    return 0;
  }
  std::size_t body_length = 0;
  const std::size_t field = request.find("\r\nContent-Length: ");
  if (field != std::string::npos && field < header_end) {
    body_length = std::strtoul(request.c_str() + field + 18, nullptr, 10);
  }
  const std::size_t total = header_end + 4 + body_length;
  return request.size() >= total ? total : 0;
}

void LoopbackServer::Handle(int connection) {
  std::size_t index = 0;
  {
    std::lock_guard lock(mutex_);
    requests_.emplace_back();
    index = requests_.size() - 1;
  }
  std::string request;
  char chunk[4096];
  while (CompleteLength(request) == 0 && WaitReadable(connection)) {
    const ssize_t got = ::recv(connection, chunk, sizeof(chunk), 0);
    if (got <= 0) {
      break;
    }
    request.append(chunk, static_cast<std::size_t>(got));
    {
      std::lock_guard lock(mutex_);
      requests_[index] = request;
    }
    if (behaviour_ == Behaviour::kCloseWhileReading && request.size() >= close_after_bytes_) {
      ::shutdown(connection, SHUT_RDWR);
      return;
    }
  }
  {
    std::lock_guard lock(mutex_);
    ++completed_;
  }
  changed_.notify_all();
  switch (behaviour_) {
    case Behaviour::kNeverAnswer:
      while (!stop_) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
      }
      return;
    case Behaviour::kTrickle:
      Trickle(connection);
      return;
    case Behaviour::kReset: {
      // With a zero linger time the caller's close sends RST instead of FIN.
      const linger abort_on_close{1, 0};
      ::setsockopt(connection, SOL_SOCKET, SO_LINGER, &abort_on_close, sizeof(abort_on_close));
      return;
    }
    default:
      break;
  }
  std::string response;
  {
    std::lock_guard lock(mutex_);
    response = response_;
  }
  SendAll(connection, response);
  ::shutdown(connection, SHUT_WR);
}

bool LoopbackServer::SendAll(int connection, std::string_view rest) {
  while (!rest.empty()) {
    const ssize_t sent = ::send(connection, rest.data(), rest.size(), MSG_NOSIGNAL);
    if (sent <= 0) {
      return false;
    }
    rest.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

bool LoopbackServer::WaitWhileClientStays(int connection, std::chrono::milliseconds time) const {
  const auto end = std::chrono::steady_clock::now() + time;
  while (!stop_ && std::chrono::steady_clock::now() < end) {
    pollfd entry{connection, POLLIN, 0};
    if (::poll(&entry, 1, kPollMs) > 0) {
      char ignored[4096];
      if ((entry.revents & (POLLHUP | POLLERR)) != 0 || ::recv(connection, ignored, sizeof(ignored), 0) <= 0) {
        return false;
      }
    }
  }
  return !stop_;
}

void LoopbackServer::Trickle(int connection) const {
  if (!SendAll(connection, kTrickleHead)) {
    return;
  }
  while (WaitWhileClientStays(connection, kTrickleInterval)) {
    if (!SendAll(connection, "x")) {
      return;
    }
  }
}

}  // namespace lumivanta::test
