// Serves arbitrary bytes as a picture server's answer on 127.0.0.1 and lets the
// program's connection test read them through libcurl: its handling of the
// status, the headers and the body, and the cause it names for a failure.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "base/UniqueFd.h"
#include "publish/ServerProtocol.h"
#include "settings/Settings.h"

namespace {

using lumivanta::UniqueFd;

// Answers every connection with the current answer, then closes it.
class AnswerServer {
 public:
  AnswerServer() : listener_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (!listener_.IsValid() || ::bind(listener_.Get(), reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener_.Get(), 8) != 0 ||
        ::getsockname(listener_.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      std::abort();
    }
    port_ = ntohs(address.sin_port);
    std::thread([this] { Serve(); }).detach();  // lives as long as the fuzzing process
  }

  void SetAnswer(std::string_view answer) {
    std::lock_guard lock(mutex_);
    answer_ = answer;
  }
  int Port() const { return port_; }

 private:
  void Serve() {
    while (true) {
      const UniqueFd connection(::accept4(listener_.Get(), nullptr, nullptr, SOCK_CLOEXEC));
      if (!connection.IsValid()) {
        continue;
      }
      ReadRequestHead(connection.Get());
      std::string answer;
      {
        std::lock_guard lock(mutex_);
        answer = answer_;
      }
      std::string_view rest = answer;
      while (!rest.empty()) {
        const ssize_t sent = ::send(connection.Get(), rest.data(), rest.size(), MSG_NOSIGNAL);
        if (sent <= 0) {
          break;
        }
        rest.remove_prefix(static_cast<std::size_t>(sent));
      }
      ::shutdown(connection.Get(), SHUT_WR);
    }
  }

  // The request is a GET without a body: its head ends with an empty line.
  static void ReadRequestHead(int connection) {
    std::string head;
    char chunk[1024];
    pollfd readable{connection, POLLIN, 0};
    while (head.find("\r\n\r\n") == std::string::npos && ::poll(&readable, 1, 1000) == 1) {
      const ssize_t got = ::recv(connection, chunk, sizeof(chunk), 0);
      if (got <= 0) {
        return;
      }
      head.append(chunk, static_cast<std::size_t>(got));
    }
  }

  UniqueFd listener_;
  int port_ = 0;
  std::mutex mutex_;
  std::string answer_;
};

AnswerServer& Server() {
  static AnswerServer server;
  return server;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) {
    ::unsetenv(name);
  }
  Server();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Server().SetAnswer(std::string_view(reinterpret_cast<const char*>(data), size));
  lumivanta::CSettings settings;
  settings.upload_address = "http://127.0.0.1:" + std::to_string(Server().Port()) + "/?server&stream_name=fuzz";
  std::string cause;
  const bool connected = lumivanta::TestConnection(settings, &cause, nullptr);
  // Success and a named cause exclude each other, and a cause is printable text.
  if (connected == !cause.empty()) {
    std::abort();
  }
  for (const char c : cause) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
      std::abort();
    }
  }
  return 0;
}
