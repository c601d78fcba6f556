// Hostile clients against lumivanta-server over loopback, each measured
// beside a reference taken in the same run. Exits 1 when a bound is missed.
// Usage: server_attacks MODE [SERVER-BINARY]
//   drippers       30 uploads of 100 kB alone, then beside 2 and 50 uploads
//                  that send one byte every 5 s: each must get 200 within 1 s
//   hung-redis     100 viewers polling twice a second and an uploader, with
//                  Redis running, then stopped (SIGSTOP) for 20 s, then back:
//                  every answer within 2.5 s, uploads stored within 1 s of its return
//   stream-memory  the host's TCP memory (/proc/net/sockstat) with 1,000 event
//                  streams on a name that gets 10 pictures a second, read and
//                  never read: never-read ones add less than 64 MiB, and the
//                  server's part is gone within 5 s of it closing them
//   stream-share   event streams opened until one is refused, then uploads: each gets 200
//   store-disk     viewer requests with --store, alone and while 8 MiB pictures
//                  are uploaded: the uploads add less than 10 ms to their 99th percentile
// SERVER-BINARY defaults to the lumivanta-server built beside this program;
// give another build's to measure it the same way.

#include <arpa/inet.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "base/UniqueFd.h"
#include "server/redis/RedisClient.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/RawHttp.h"
#include "tests/support/RedisProcess.h"
#include "tests/support/ServerProcess.h"
#include "tests/support/TempDir.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using lumivanta::UniqueFd;
using lumivanta::test::ProgramUpload;

constexpr std::size_t kMebibyte = 1024 * 1024;

double Ms(Clock::duration duration) { return std::chrono::duration<double, std::milli>(duration).count(); }

std::string RandomJpeg(std::size_t bytes, unsigned seed) {
  std::mt19937 random(seed);
  std::string picture(bytes, '\0');
  for (char& c : picture) {
    c = static_cast<char>(random());
  }
  return picture.replace(0, 2, "\xFF\xD8");
}

// One client connection to 127.0.0.1, optionally with a small receive
// buffer, as a client that wants the server's queue to fill soonest sets it.
class Client {
 public:
  explicit Client(int port, int receive_buffer = 0) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    if (receive_buffer > 0) {
      ::setsockopt(fd_.Get(), SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
    }
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd_.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
      throw std::runtime_error("cannot connect to port " + std::to_string(port));
    }
  }

  void SendAll(std::string_view bytes) const {
    while (!bytes.empty()) {
      const ssize_t sent = ::send(fd_.Get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (sent <= 0) {
        throw std::runtime_error("send failed");
      }
      bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
  }
  void TrySend(std::string_view bytes) const {
    ::send(fd_.Get(), bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
  }

  // What comes until the server closes, or until the text is among it; throws after the time limit.
  std::string Receive(Clock::duration limit, std::string_view until = {}) const {
    std::string received;
    const auto deadline = Clock::now() + limit;
    char buffer[65536];
    while (until.empty() || received.find(until) == std::string::npos) {
      pollfd readable{.fd = fd_.Get(), .events = POLLIN, .revents = 0};
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0 || ::poll(&readable, 1, static_cast<int>(left)) <= 0) {
        throw std::runtime_error("no answer in time");
      }
      const ssize_t got = ::recv(fd_.Get(), buffer, sizeof buffer, 0);
      if (got <= 0) {
        break;
      }
      received.append(buffer, static_cast<std::size_t>(got));
    }
    return received;
  }

  // True once the server closed or reset the connection; reads nothing.
  bool ClosedByServer() const {
    pollfd watched{.fd = fd_.Get(), .events = POLLRDHUP, .revents = 0};
    return ::poll(&watched, 1, 0) > 0 && (watched.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
  }

  // The kernel memory this socket holds: queues and what is set aside for them.
  std::size_t KernelMemory() const {
    std::uint32_t info[SK_MEMINFO_VARS] = {};
    socklen_t length = sizeof info;
    if (::getsockopt(fd_.Get(), SOL_SOCKET, SO_MEMINFO, info, &length) != 0) {
      return 0;
    }
    return std::size_t{info[SK_MEMINFO_RMEM_ALLOC]} + info[SK_MEMINFO_WMEM_QUEUED] + info[SK_MEMINFO_FWD_ALLOC];
  }

  int Fd() const { return fd_.Get(); }

 private:
  UniqueFd fd_;
};

// One request on a new connection, its status (-1 when no answer came) and how long it took.
struct Answer {
  Clock::time_point started;
  int status = -1;
  double ms = 0;
};

Answer Exchange(int port, std::string_view request) {
  Answer answer{.started = Clock::now()};
  try {
    const Client client(port);
    client.SendAll(request);
    const std::string raw = client.Receive(60s);
    if (raw.starts_with("HTTP/1.") && raw.size() >= 12) {
      answer.status = std::stoi(raw.substr(9, 3));
    }
  } catch (const std::exception&) {
  }
  answer.ms = Ms(Clock::now() - answer.started);
  return answer;
}

std::string Get(std::string_view target) {
  return "GET " + std::string(target) + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
}

// Answers summed up by status and time.
class Answers {
 public:
  Answers() = default;
  explicit Answers(std::vector<Answer> list) : list_(std::move(list)) {}

  void Add(const Answer& answer) { list_.push_back(answer); }
  // The answers to requests started within [from, to).
  Answers Between(Clock::time_point from, Clock::time_point to) const {
    std::vector<Answer> part;
    std::ranges::copy_if(list_, std::back_inserter(part),
                         [&](const Answer& answer) { return answer.started >= from && answer.started < to; });
    return Answers(std::move(part));
  }
  const std::vector<Answer>& All() const { return list_; }
  int Count(int status) const { return static_cast<int>(std::ranges::count(list_, status, &Answer::status)); }
  double Percentile(double share) const {
    std::vector<double> times;
    for (const Answer& answer : list_) {
      times.push_back(answer.ms);
    }
    if (times.empty()) {
      return 0;
    }
    std::ranges::sort(times);
    return times[std::min(times.size() - 1, static_cast<std::size_t>(share * static_cast<double>(times.size())))];
  }
  double Max() const { return Percentile(1.0); }
  // "30 answers (30 x 200), median 1.2 ms, 99th percentile 3.4 ms, slowest 5.6 ms"
  std::string Describe() const {
    std::map<int, int> statuses;
    for (const Answer& answer : list_) {
      ++statuses[answer.status];
    }
    std::ostringstream text;
    text << list_.size() << " answers (";
    const char* separator = "";
    for (const auto& [status, count] : statuses) {
      text << separator << count << " x " << (status < 0 ? std::string("none") : std::to_string(status));
      separator = ", ";
    }
    char times[160];
    std::snprintf(times, sizeof times, "), median %.1f ms, 99th percentile %.1f ms, slowest %.1f ms", Percentile(0.5),
                  Percentile(0.99), Max());
    return text.str() + times;
  }

 private:
  std::vector<Answer> list_;
};

// Answers gathered from many threads.
class SharedAnswers {
 public:
  void Add(const Answer& answer) {
    const std::lock_guard lock(mutex_);
    answers_.Add(answer);
  }
  Answers Snapshot() const {
    const std::lock_guard lock(mutex_);
    return answers_;
  }

 private:
  mutable std::mutex mutex_;
  Answers answers_;
};

// The server under measurement on a free port, its request log dropped so
// that a flood of refusals never fills a pipe nobody reads.
class Server {
 public:
  Server(const std::string& binary, const std::vector<std::string>& options)
      : child_(Arguments(binary, options), false, {},
               {"LUMIVANTA_UPLOAD_KEY", "LUMIVANTA_VIEW_KEY", "CREDENTIALS_DIRECTORY", "LUMIVANTA_REDIS_PASSWORD"}) {
    const std::string line = child_.ReadLine(20s);
    port_ = std::stoi(line.substr(line.rfind(':') + 1));
  }
  int Port() const { return port_; }

 private:
  static std::vector<std::string> Arguments(const std::string& binary, const std::vector<std::string>& options) {
    std::vector<std::string> arguments = {"/bin/sh", "-c", "exec \"$0\" --listen 127.0.0.1:0 \"$@\" 2>/dev/null",
                                          binary};
    arguments.insert(arguments.end(), options.begin(), options.end());
    return arguments;
  }

  lumivanta::test::ChildProcess child_;
  int port_ = 0;
};

// Runs work again and again on threads of its own until destroyed; each turn
// starts a period after the last one started, or at once when that one took longer.
class Repeating {
 public:
  Repeating(int threads, Clock::duration period, std::function<void(int)> work) {
    for (int index = 0; index < threads; ++index) {
      threads_.emplace_back([period, work, index](const std::stop_token& stop) {
        while (!stop.stop_requested()) {
          const auto next = Clock::now() + period;
          work(index);
          std::this_thread::sleep_until(next);
        }
      });
    }
  }

 private:
  std::vector<std::jthread> threads_;
};

void AllowOpenFiles(rlim_t count) {
  rlimit limit = {};
  ::getrlimit(RLIMIT_NOFILE, &limit);
  limit.rlim_cur = std::max(limit.rlim_cur, std::min(count, limit.rlim_max));
  ::setrlimit(RLIMIT_NOFILE, &limit);
}

bool Check(bool met, const char* bound) {
  std::printf("  %s: %s\n", met ? "met" : "MISSED", bound);
  return met;
}

// ---- Uploads that drip one byte every 5 s beside normal uploads.

std::string DripperHeader(int index) {
  const std::string start = "POST /?server&stream_name=drip" + std::to_string(index) +
                            " HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                            "Content-Type: multipart/form-data; boundary=B\r\n";
  // Half are chunked, announcing a chunk of 1 MiB; half declare 16 MiB.
  return index % 2 == 0 ? start + "Transfer-Encoding: chunked\r\n\r\n100000\r\n"
                        : start + "Content-Length: " + std::to_string(16 * kMebibyte) + "\r\n\r\n";
}

class Drippers {
 public:
  Drippers(int port, int count) : started_(Clock::now()) {
    for (int index = 0; index < count; ++index) {
      clients_.push_back(std::make_unique<Client>(port));
      clients_.back()->SendAll(DripperHeader(index));
    }
    dripper_ = std::jthread([this](const std::stop_token& stop) {
      while (!stop.stop_requested()) {
        for (const auto& client : clients_) {
          client->TrySend("x");
        }
        for (int tenth = 0; tenth < 50 && !stop.stop_requested(); ++tenth) {
          std::this_thread::sleep_for(100ms);
        }
      }
    });
  }
  // Seconds from their start until the server had closed them all; negative when not within the limit.
  double SecondsUntilAllClosed(Clock::duration limit) const {
    const auto deadline = started_ + limit;
    while (Clock::now() < deadline) {
      if (std::ranges::all_of(clients_, [](const auto& client) { return client->ClosedByServer(); })) {
        return std::chrono::duration<double>(Clock::now() - started_).count();
      }
      std::this_thread::sleep_for(100ms);
    }
    return -1;
  }

 private:
  Clock::time_point started_;
  std::vector<std::unique_ptr<Client>> clients_;
  std::jthread dripper_;
};

Answers ThirtyUploads(int port) {
  const std::string picture = RandomJpeg(100'000, 1);
  Answers uploads;
  for (int index = 0; index < 30; ++index) {
    uploads.Add(Exchange(port, ProgramUpload(port, "normal", picture)));
  }
  return uploads;
}

bool MeasureDrippers(const std::string& binary) {
  bool met = true;
  {
    const Server server(binary, {});
    std::printf("30 uploads of 100 kB alone: %s\n", ThirtyUploads(server.Port()).Describe().c_str());
  }
  for (const int count : {2, 50}) {
    const Server server(binary, {});
    const Drippers drippers(server.Port(), count);
    std::this_thread::sleep_for(500ms);
    const Answers uploads = ThirtyUploads(server.Port());
    std::printf("30 uploads of 100 kB beside %d drippers: %s\n", count, uploads.Describe().c_str());
    const double closed = drippers.SecondsUntilAllClosed(30s);
    if (closed < 0) {
      std::printf("  the drippers were still open after 30 s\n");
    } else {
      std::printf("  the server had closed every dripper %.1f s after it started\n", closed);
    }
    met &= Check(uploads.Count(200) == 30 && uploads.Max() < 1000, "30 of 30 get 200, each within 1 s");
  }
  return met;
}

// ---- A Redis that hangs under viewers and an uploader.

pid_t RedisPid(const lumivanta::test::RedisProcess& redis) {
  lumivanta::server::RedisClient client(redis.Address(), 2s);
  const std::string info = lumivanta::server::RedisClient::StringOf(*client.Command({"INFO", "server"})).value_or("");
  const std::size_t at = info.find("process_id:");
  return at == std::string::npos ? -1 : std::stoi(info.substr(at + 11));
}

// Stops a process and lets it go on when destroyed, whatever happens between.
class Stopped {
 public:
  explicit Stopped(pid_t pid) : pid_(pid) { ::kill(pid_, SIGSTOP); }
  Stopped(const Stopped&) = delete;
  Stopped& operator=(const Stopped&) = delete;
  ~Stopped() { ::kill(pid_, SIGCONT); }

 private:
  pid_t pid_;
};

bool MeasureHungRedis(const std::string& binary) {
  ::signal(SIGPIPE, SIG_IGN);
  lumivanta::test::RedisProcess redis({}, lumivanta::test::RedisProcess::Transport::kTcp);
  const pid_t redis_pid = RedisPid(redis);
  const Server server(binary, {"--redis", redis.Url()});
  const int port = server.Port();
  const std::string picture = RandomJpeg(100'000, 2);
  if (Exchange(port, ProgramUpload(port, "screen", picture)).status != 200) {
    std::printf("the first upload failed\n");
    return false;
  }
  SharedAnswers viewing_answers;
  SharedAnswers upload_answers;
  const auto start = Clock::now();
  std::optional<Stopped> stopped;
  Clock::time_point hung_at;
  Clock::time_point back_at;
  {
    const Repeating viewing(100, 500ms, [&](int index) {
      viewing_answers.Add(
          Exchange(port, Get(index % 2 == 0 ? "/pictures/screen/latest.jpg" : "/pictures/screen/latest.json")));
    });
    const Repeating uploading(1, 100ms,
                              [&](int) { upload_answers.Add(Exchange(port, ProgramUpload(port, "screen", picture))); });
    std::this_thread::sleep_for(5s);
    hung_at = Clock::now();
    stopped.emplace(redis_pid);
    std::this_thread::sleep_for(20s);
    back_at = Clock::now();
    stopped.reset();
    std::this_thread::sleep_for(5s);
  }
  const auto end = Clock::now();
  const Answers viewers = viewing_answers.Snapshot();
  const Answers uploads = upload_answers.Snapshot();
  std::printf("Redis running, 5 s:   viewers %s\n                       uploads %s\n",
              viewers.Between(start, hung_at).Describe().c_str(), uploads.Between(start, hung_at).Describe().c_str());
  const Answers hung_viewers = viewers.Between(hung_at, back_at);
  const Answers hung_uploads = uploads.Between(hung_at, back_at);
  std::printf("Redis stopped, 20 s:  viewers %s\n                       uploads %s\n", hung_viewers.Describe().c_str(),
              hung_uploads.Describe().c_str());
  std::printf("Redis back, 5 s:      viewers %s\n                       uploads %s\n",
              viewers.Between(back_at, end).Describe().c_str(), uploads.Between(back_at, end).Describe().c_str());
  double stored_again_ms = -1;
  const Answers uploads_after = uploads.Between(back_at, end);
  for (const Answer& upload : uploads_after.All()) {
    const double done_ms = Ms(upload.started - back_at) + upload.ms;
    if (upload.status == 200 && (stored_again_ms < 0 || done_ms < stored_again_ms)) {
      stored_again_ms = done_ms;
    }
  }
  std::printf("the first upload stored after Redis came back: %.0f ms after\n", stored_again_ms);
  bool met = Check(hung_viewers.Max() < 2500 && hung_uploads.Max() < 2500, "every answer within 2.5 s while stopped");
  met &= Check(hung_viewers.Count(-1) == 0 && hung_uploads.Count(-1) == 0, "every request answered");
  met &= Check(stored_again_ms >= 0 && stored_again_ms < 1000, "uploads stored again within 1 s");
  return met;
}

// ---- Event streams that are never read.

struct SocketStats {
  std::int64_t tcp_memory = 0;
  int orphans = 0;
};

SocketStats ReadSocketStats() {
  std::ifstream file("/proc/net/sockstat");
  std::string line;
  SocketStats stats;
  while (std::getline(file, line)) {
    if (!line.starts_with("TCP:")) {
      continue;
    }
    std::istringstream words(line.substr(4));
    std::string word;
    std::int64_t value = 0;
    while (words >> word >> value) {
      if (word == "mem") {
        stats.tcp_memory = value * ::sysconf(_SC_PAGESIZE);
      } else if (word == "orphan") {
        stats.orphans = static_cast<int>(value);
      }
    }
  }
  return stats;
}

double MiB(std::int64_t bytes) { return static_cast<double>(bytes) / kMebibyte; }

// Event streams of one name, each a connection of its own.
class Streams {
 public:
  Streams(int port, int count, int receive_buffer) {
    const std::string request = "GET /pictures/busy/events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    for (int index = 0; index < count; ++index) {
      clients_.push_back(std::make_unique<Client>(port, receive_buffer));
      clients_.back()->SendAll(request);
    }
  }
  // Reads every stream as it comes, as viewers do, until destroyed.
  void ReadAll() {
    reader_ = std::jthread([this](const std::stop_token& stop) {
      std::vector<pollfd> watched;
      for (const auto& client : clients_) {
        watched.push_back({.fd = client->Fd(), .events = POLLIN, .revents = 0});
      }
      char buffer[4096];
      while (!stop.stop_requested()) {
        if (::poll(watched.data(), watched.size(), 100) > 0) {
          for (pollfd& one : watched) {
            if ((one.revents & POLLIN) != 0 && ::recv(one.fd, buffer, sizeof buffer, MSG_DONTWAIT) <= 0) {
              one.fd = -1;
            }
          }
        }
      }
    });
  }
  // The kernel memory of the clients' own sockets, which a remote client would hold on its own machine.
  std::int64_t ClientMemory() const {
    std::int64_t sum = 0;
    for (const auto& client : clients_) {
      sum += static_cast<std::int64_t>(client->KernelMemory());
    }
    return sum;
  }
  int ClosedByServer() const {
    return static_cast<int>(
        std::ranges::count_if(clients_, [](const auto& client) { return client->ClosedByServer(); }));
  }
  int Count() const { return static_cast<int>(clients_.size()); }

 private:
  std::vector<std::unique_ptr<Client>> clients_;
  std::jthread reader_;
};

void PrintMemory(const char* when, std::int64_t baseline, const Streams& streams) {
  const SocketStats now = ReadSocketStats();
  const std::int64_t clients = streams.ClientMemory();
  std::printf("%-44s host TCP memory +%7.1f MiB (the test's clients %6.1f MiB, the rest %6.1f MiB), %d orphans\n", when,
              MiB(now.tcp_memory - baseline), MiB(clients), MiB(now.tcp_memory - baseline - clients), now.orphans);
}

bool MeasureStreamMemory(const std::string& binary) {
  constexpr int kStreams = 1000;
  // A small window fills the server's queue soonest; the clients' own share stays small.
  constexpr int kClientReceiveBuffer = 4096;
  AllowOpenFiles(2 * kStreams + 512);
  // Stalled streams are closed after 30 s rather than 120 s, to see the memory come back.
  const Server server(binary, {"--body-timeout", "30"});
  const int port = server.Port();
  const std::string picture = RandomJpeg(2000, 3);
  const Repeating uploading(1, 100ms, [&](int) { Exchange(port, ProgramUpload(port, "busy", picture)); });
  std::this_thread::sleep_for(1s);
  const std::int64_t baseline = ReadSocketStats().tcp_memory;
  std::printf("host TCP memory before any stream: %.1f MiB\n", MiB(baseline));
  {
    Streams reading(port, kStreams, kClientReceiveBuffer);
    reading.ReadAll();
    std::this_thread::sleep_for(20s);
    PrintMemory("1,000 streams read by their viewers, 20 s:", baseline, reading);
  }
  std::this_thread::sleep_for(2s);
  const std::int64_t before_attack = ReadSocketStats().tcp_memory;
  std::int64_t peak = 0;
  bool met = true;
  {
    const Streams never_read(port, kStreams, kClientReceiveBuffer);
    const auto opened = Clock::now();
    Clock::time_point all_closed;
    for (int second = 1; second <= 90; ++second) {
      std::this_thread::sleep_until(opened + std::chrono::seconds(second));
      peak = std::max(peak, ReadSocketStats().tcp_memory - before_attack);
      if (second % 15 == 0) {
        PrintMemory(("1,000 never-read streams, " + std::to_string(second) + " s:").c_str(), before_attack, never_read);
      }
      if (all_closed == Clock::time_point() && never_read.ClosedByServer() == never_read.Count()) {
        all_closed = Clock::now();
        std::printf("the server closed every never-read stream %d s after they opened\n", second);
        PrintMemory("  at once:", before_attack, never_read);
        std::this_thread::sleep_for(5s);
        PrintMemory("  5 s later:", before_attack, never_read);
        const std::int64_t server_part = ReadSocketStats().tcp_memory - before_attack - never_read.ClientMemory();
        met &= Check(server_part < 2 * static_cast<std::int64_t>(kMebibyte),
                     "the server's part is gone within 5 s of it closing the streams");
        break;
      }
    }
    if (all_closed == Clock::time_point()) {
      std::printf("the server had closed %d of %d never-read streams after 90 s\n", never_read.ClosedByServer(),
                  never_read.Count());
      met = Check(false, "the server closes streams whose viewers read nothing");
    }
  }
  std::this_thread::sleep_for(5s);
  std::printf("%-44s host TCP memory +%7.1f MiB, %d orphans\n",
              "5 s after the clients closed theirs:", MiB(ReadSocketStats().tcp_memory - before_attack),
              ReadSocketStats().orphans);
  std::printf("peak added by the never-read streams: %.1f MiB\n", MiB(peak));
  met &= Check(peak < 64 * static_cast<std::int64_t>(kMebibyte), "1,000 never-read streams add less than 64 MiB");
  return met;
}

// ---- Event streams at their share of the connections, and uploads beside them.

bool MeasureStreamShare(const std::string& binary) {
  constexpr int kMaxConnections = 100;
  const Server server(binary, {"--max-connections", std::to_string(kMaxConnections)});
  const int port = server.Port();
  std::vector<std::unique_ptr<Client>> streams;
  int refused_with = 0;
  while (static_cast<int>(streams.size()) <= kMaxConnections) {
    auto client = std::make_unique<Client>(port);
    client->SendAll("GET /pictures/busy/events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    const std::string head = client->Receive(10s, "\r\n\r\n");
    if (!head.starts_with("HTTP/1.1 200")) {
      refused_with = head.size() >= 12 ? std::stoi(head.substr(9, 3)) : -1;
      break;
    }
    streams.push_back(std::move(client));
  }
  std::printf("--max-connections %d: %zu event streams open, the next one refused with %d\n", kMaxConnections,
              streams.size(), refused_with);
  Answers uploads;
  for (int index = 0; index < 10; ++index) {
    uploads.Add(Exchange(port, ProgramUpload(port, "presenter", RandomJpeg(100'000, 4))));
  }
  std::printf("10 uploads of 100 kB beside them: %s\n", uploads.Describe().c_str());
  return Check(uploads.Count(200) == 10, "every upload gets 200");
}

// ---- Viewers beside large uploads kept on the disk.

bool MeasureStoreDisk(const std::string& binary) {
  const lumivanta::test::TempDir folder;
  const Server server(binary, {"--store", folder.File("pictures")});
  const int port = server.Port();
  Exchange(port, ProgramUpload(port, "viewed", RandomJpeg(100'000, 5)));
  SharedAnswers viewing_answers;
  SharedAnswers upload_answers;
  const std::string big = RandomJpeg(8 * kMebibyte, 6);
  const auto start = Clock::now();
  Clock::time_point uploads_at;
  {
    const Repeating viewing(4, 5ms,
                            [&](int) { viewing_answers.Add(Exchange(port, Get("/pictures/viewed/latest.json"))); });
    std::this_thread::sleep_for(5s);
    uploads_at = Clock::now();
    const Repeating uploading(1, 0ms,
                              [&](int) { upload_answers.Add(Exchange(port, ProgramUpload(port, "big", big))); });
    std::this_thread::sleep_for(10s);
  }
  const Answers viewers = viewing_answers.Snapshot();
  const Answers uploads = upload_answers.Snapshot();
  const Answers alone = viewers.Between(start, uploads_at);
  const Answers beside = viewers.Between(uploads_at, Clock::now());
  std::printf("viewers alone, 5 s:                 %s\n", alone.Describe().c_str());
  std::printf("viewers beside 8 MiB uploads, 10 s: %s\n", beside.Describe().c_str());
  std::printf("the uploads:                        %s\n", uploads.Describe().c_str());
  // The slowest single request says more about the other programs on the machine than about the server.
  return Check(beside.Percentile(0.99) - alone.Percentile(0.99) < 10,
               "the uploads add less than 10 ms to the 99th percentile of viewer requests");
}

}  // namespace

int main(int argc, char** argv) {
  const std::map<std::string, std::function<bool(const std::string&)>> modes = {{"drippers", MeasureDrippers},
                                                                                {"hung-redis", MeasureHungRedis},
                                                                                {"stream-memory", MeasureStreamMemory},
                                                                                {"stream-share", MeasureStreamShare},
                                                                                {"store-disk", MeasureStoreDisk}};
  const auto mode = argc >= 2 ? modes.find(argv[1]) : modes.end();
  if (mode == modes.end() || argc > 3) {
    std::fprintf(stderr, "usage: server_attacks drippers|hung-redis|stream-memory|stream-share|store-disk [SERVER]\n");
    return 2;
  }
  const std::string binary = argc == 3 ? std::string(argv[2]) : lumivanta::test::kServerBinary;
  std::printf("server: %s\n", binary.c_str());
  return mode->second(binary) ? 0 : 1;
}
