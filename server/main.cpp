#include <malloc.h>
#include <signal.h>
#include <sys/resource.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/system/system_error.hpp>
#include <exception>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/Report.h"
#include "server/ServerOptions.h"
#include "server/access/AccessKeys.h"
#include "server/access/KeySetup.h"
#include "server/redis/RedisPictureStore.h"
#include "server/serve/HttpServer.h"
#include "server/serve/ViewerUpdates.h"
#include "server/store/LocalPictureStore.h"
#include "server/store/PictureStore.h"
#include "server/store/StoreWorkers.h"

namespace {

using lumivanta::server::AccessKeys;
using lumivanta::server::CommandLine;
using lumivanta::server::ServerOptions;
using lumivanta::server::ServingState;

// Threads waiting on Redis or the disk at once; each holds one Redis connection.
constexpr std::size_t kStoreWorkerThreads = 4;

// Buffers from this size up get their own mapping, returned to the system
// when freed; a fixed size also stops glibc from raising it after large frees.
constexpr int kOwnMappingFromBytes = 256 * 1024;
// Freed heap up to this size stays for the next requests' buffers rather
// than going back to the system, to be faulted in again page by page for
// every upload; the connection trims after a large body itself.
constexpr int kKeptFreeHeapBytes = 8 * 1024 * 1024;
// File descriptors kept for the store's files and the listening socket.
constexpr rlim_t kSpareDescriptors = 64;

std::string UrlHost(const std::string& host) { return host.find(':') == std::string::npos ? host : "[" + host + "]"; }

// Raises the open-file limit as far as allowed and keeps the connection cap below it.
void FitConnectionCap(std::size_t& max_connections) {
  rlimit limit = {};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) {
    return;
  }
  limit.rlim_cur = limit.rlim_max;
  ::setrlimit(RLIMIT_NOFILE, &limit);
  ::getrlimit(RLIMIT_NOFILE, &limit);
  if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < max_connections + kSpareDescriptors) {
    max_connections = limit.rlim_cur > 2 * kSpareDescriptors ? limit.rlim_cur - kSpareDescriptors : kSpareDescriptors;
    lumivanta::ReportServerLine("the open-file limit allows only " + std::to_string(max_connections) + " connections");
  }
}

sigset_t StopSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  return signals;
}

// The store the options ask for, or nullptr after saying why it cannot be used.
std::unique_ptr<lumivanta::server::PictureStore> OpenStore(const ServerOptions& options,
                                                           const std::string& redis_password) {
  try {
    if (options.redis) {
      lumivanta::server::RedisAddress address = *options.redis;
      address.password = redis_password;
      return std::make_unique<lumivanta::server::RedisPictureStore>(lumivanta::server::RedisStoreOptions{
          .address = std::move(address), .limits = options.store_limits, .lifetime = options.redis_ttl});
    }
    return std::make_unique<lumivanta::server::LocalPictureStore>(options.store_limits, options.store_directory);
  } catch (const std::exception& error) {
    lumivanta::ReportServerLine(std::string(options.redis ? "" : "cannot use the store directory: ") + error.what());
    return nullptr;
  }
}

int Run(ServerOptions options, AccessKeys keys, const std::string& redis_password) {
  // Held back until they can be handled, so that one arriving while the server starts still stops it cleanly.
  const sigset_t stop_signal_set = StopSignals();
  ::sigprocmask(SIG_BLOCK, &stop_signal_set, nullptr);
  ::mallopt(M_MMAP_THRESHOLD, kOwnMappingFromBytes);
  ::mallopt(M_TRIM_THRESHOLD, kKeptFreeHeapBytes);
  ::signal(SIGPIPE, SIG_IGN);
  FitConnectionCap(options.request_limits.max_connections);

  const std::unique_ptr<lumivanta::server::PictureStore> store = OpenStore(options, redis_password);
  if (!store) {
    return 1;
  }
  ServingState state{
      .store = *store, .limits = options.request_limits, .log_every_request = options.verbose, .keys = std::move(keys)};
  // Declared after the state, so connections still pending when it stops go first.
  boost::asio::io_context context(1);
  std::optional<lumivanta::server::StoreWorkers> workers;
  if (store->ReadsMayWait() || store->ChangesMayWait()) {
    workers.emplace(kStoreWorkerThreads, store->TimeLimit());
    state.workers = &*workers;
  }
  lumivanta::server::ForwardChangesToViewers(*store, state, context);
  boost::asio::signal_set stop_signals(context, SIGINT, SIGTERM);
  ::sigprocmask(SIG_UNBLOCK, &stop_signal_set, nullptr);

  std::optional<lumivanta::server::HttpServer> server;
  try {
    server.emplace(context, options.host, options.port, state);
  } catch (const boost::system::system_error& error) {
    lumivanta::ReportServerLine("cannot listen on " + UrlHost(options.host) + ':' + std::to_string(options.port) +
                                ": " + error.code().message());
    return 1;
  }
  std::cout << "lumivanta-server: listening on http://" << UrlHost(options.host) << ':' << server->Port() << '/'
            << std::endl;

  // Stopping drops every connection at once, whatever its clients are doing.
  stop_signals.async_wait([&](boost::system::error_code, int) {
    server->Stop();
    context.stop();
  });
  store->FollowChanges();
  server->Start();
  context.run();
  // Nothing may hand work to the serving thread once it has stopped.
  store->StopFollowing();
  workers.reset();
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
    case CommandLine::Action::kShowVersion:
      std::cout << lumivanta::server::kVersionText;
      return 0;
    case CommandLine::Action::kNewKey:
      std::cout << lumivanta::server::NewRandomKey() << '\n';
      return 0;
    case CommandLine::Action::kFail:
      lumivanta::ReportServerLine(command_line.error);
      std::cerr << '\n' << lumivanta::server::UsageText();
      return 2;
    case CommandLine::Action::kRun:
      break;
  }
  // Keys and the address are checked before anything listens.
  const ServerOptions& options = command_line.options;
  lumivanta::server::KeySetup key_setup =
      lumivanta::server::LoadAccessKeys({.upload_key = options.upload_key_file,
                                         .view_key = options.view_key_file,
                                         .redis_password = options.redis_password_file,
                                         .wants_redis_password = options.redis.has_value()});
  if (key_setup.error.empty()) {
    key_setup.error =
        lumivanta::server::RefusalToStart(options.host, options.port, options.public_uploads, key_setup.keys);
  }
  if (!key_setup.error.empty()) {
    lumivanta::ReportServerLine(key_setup.error);
    return 2;
  }
  return Run(options, std::move(key_setup.keys), key_setup.redis_password);
}
