#include <httplib.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <exception>
#include <iostream>
#include <memory>
#include <stop_token>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "server/HttpRoutes.h"
#include "server/Limits.h"
#include "server/PictureStore.h"
#include "server/ServerOptions.h"

namespace {

using lumivanta::server::CommandLine;
using lumivanta::server::ServerOptions;

// Enough workers for about 40 clients at once, with browsers that keep a connection open between polls.
constexpr std::size_t kWorkerThreads = 64;
constexpr std::time_t kReadTimeoutSeconds = 10;
constexpr std::time_t kWriteTimeoutSeconds = 10;
constexpr std::time_t kKeepAliveTimeoutSeconds = 3;
constexpr int kListenBacklog = 256;
constexpr long kSignalPollNanoseconds = 100'000'000;

sigset_t StopSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  return signals;
}

std::string UrlHost(const std::string& host) { return host.find(':') == std::string::npos ? host : "[" + host + "]"; }

// httplib listens with a queue of 5 connections; many uploaders and viewers
// connecting at once overflow it, and the kernel then resets connections.
void WidenListenQueue(socket_t listening_socket) {
  if (listening_socket != INVALID_SOCKET) {
    ::listen(listening_socket, kListenBacklog);
  }
}

void ConfigureServer(httplib::Server& server, bool verbose, socket_t& listening_socket) {
  // httplib owns the queue it gets and deletes it when the server stops.
  server.new_task_queue = [] { return std::make_unique<httplib::ThreadPool>(kWorkerThreads).release(); };
  server.set_read_timeout(kReadTimeoutSeconds, 0);
  server.set_write_timeout(kWriteTimeoutSeconds, 0);
  server.set_keep_alive_timeout(kKeepAliveTimeoutSeconds);
  server.set_payload_max_length(lumivanta::server::kMaxRequestBodyBytes);
  // SO_REUSEADDR alone: httplib's default SO_REUSEPORT would let a second server share a port already taken.
  server.set_socket_options([&listening_socket](socket_t socket) {
    listening_socket = socket;
    const int enable = 1;
    ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &enable, sizeof(enable));
  });
  if (verbose) {
    server.set_logger([](const httplib::Request& request, const httplib::Response& response) {
      std::cerr << "lumivanta-server: " << request.method << ' ' << request.target << " -> " << response.status << '\n';
    });
  }
}

bool Bind(httplib::Server& server, ServerOptions& options) {
  errno = 0;
  if (options.port == 0) {
    const int port = server.bind_to_any_port(options.host);
    if (port <= 0) {
      return false;
    }
    options.port = port;
    return true;
  }
  return server.bind_to_port(options.host, options.port);
}

// Stops the server on SIGINT or SIGTERM. A signal that arrives before the
// server runs is kept until it does, since stopping earlier has no effect.
void WaitForStopSignal(std::stop_token stop, httplib::Server& server) {
  const sigset_t signals = StopSignals();
  bool signalled = false;
  while (!stop.stop_requested()) {
    const timespec poll_interval = {0, kSignalPollNanoseconds};
    if (::sigtimedwait(&signals, nullptr, &poll_interval) > 0) {
      signalled = true;
    }
    if (signalled && server.is_running()) {
      server.stop();
      return;
    }
  }
}

int Run(ServerOptions options) {
  // Blocked before any thread starts, so only the waiting thread receives them.
  const sigset_t signals = StopSignals();
  ::pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  ::signal(SIGPIPE, SIG_IGN);

  std::unique_ptr<lumivanta::server::PictureStore> store;
  try {
    store =
        std::make_unique<lumivanta::server::PictureStore>(lumivanta::server::StoreLimits{}, options.store_directory);
  } catch (const std::exception& error) {
    std::cerr << "lumivanta-server: cannot use the store directory: " << error.what() << '\n';
    return 1;
  }

  httplib::Server server;
  socket_t listening_socket = INVALID_SOCKET;
  ConfigureServer(server, options.verbose, listening_socket);
  lumivanta::server::InstallRoutes(server, *store);

  const std::string requested = UrlHost(options.host) + ":" + std::to_string(options.port);
  if (!Bind(server, options)) {
    const int bind_error = errno;
    std::cerr << "lumivanta-server: cannot listen on " << requested;
    if (bind_error != 0) {
      std::cerr << ": " << std::strerror(bind_error);
    }
    std::cerr << '\n';
    return 1;
  }
  WidenListenQueue(listening_socket);
  std::cout << "lumivanta-server: listening on http://" << UrlHost(options.host) << ':' << options.port << '/'
            << std::endl;

  std::jthread signal_waiter([&server](std::stop_token stop) { WaitForStopSignal(stop, server); });
  const bool served = server.listen_after_bind();
  signal_waiter.request_stop();
  if (!served) {
    std::cerr << "lumivanta-server: the server stopped on an error\n";
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string_view> arguments(argv + 1, argv + argc);
  const CommandLine command_line = lumivanta::server::ParseCommandLine(arguments);
  switch (command_line.action) {
    case CommandLine::Action::kShowHelp:
      std::cout << lumivanta::server::UsageText();
      return 0;
    case CommandLine::Action::kFail:
      std::cerr << "lumivanta-server: " << command_line.error << "\n\n" << lumivanta::server::UsageText();
      return 2;
    case CommandLine::Action::kRun:
      break;
  }
  return Run(command_line.options);
}
