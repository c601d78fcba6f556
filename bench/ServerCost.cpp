// The server's CPU per request against nginx doing the same job, measured in
// interleaved rounds in one run, each server's CPU read from /proc:
//   uploads   100 kB multipart uploads per server CPU-second; nginx reads the
//             same body into one memory buffer (the echo module's
//             echo_read_request_body) and answers "ok";
//   fetches   the newest picture fetched per server CPU-second; nginx serves
//             the same bytes as a static file with sendfile;
//   viewers   the server's CPU per picture delivered to 200 event-stream
//             viewers, each fetching every announced picture at its
//             sequence's address as the page does, against nginx's CPU per
//             static fetch.
// Both servers run one serving process or thread; the clients are the same
// small keep-alive HTTP/1.1 client for both.
// Usage: server_cost LUMIVANTA-SERVER [rounds [uploads|fetches|viewers]]
// With a third argument only that load runs, against lumivanta-server alone,
// for a profiler or a system-call count to watch it.

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kPictureBytes = 100'000;
constexpr int kClientConnections = 4;
constexpr int kUploadsPerConnection = 1000;
constexpr int kFetchesPerConnection = 3000;
constexpr int kViewers = 200;
constexpr int kViewerPictures = 20;
constexpr std::string_view kBoundary = "lumivantabenchboundary";

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "server_cost: %s\n", what.c_str());
  std::exit(1);
}

// Nanoseconds on a CPU of all threads of a process, from the scheduler's own
// accounting (finer than the clock ticks of /proc/PID/stat).
double CpuSeconds(pid_t pid) {
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  double total = 0;
  for (const auto& task : fs::directory_iterator(tasks)) {
    std::ifstream schedstat(task.path() / "schedstat");
    unsigned long long on_cpu_ns = 0;
    if (schedstat >> on_cpu_ns) {
      total += static_cast<double>(on_cpu_ns) / 1e9;
    }
  }
  return total;
}

// One keep-alive client connection with blocking reads and writes.
class Connection {
 public:
  explicit Connection(int port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd_ < 0 || ::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
      Fail("cannot connect to port " + std::to_string(port));
    }
    const int on = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  ~Connection() { ::close(fd_); }

  void Send(std::string_view head, std::string_view body = {}) {
    std::size_t sent = 0;
    const std::size_t total = head.size() + body.size();
    while (sent < total) {
      iovec parts[2];
      int count = 0;
      if (sent < head.size()) {
        parts[count++] = {const_cast<char*>(head.data() + sent), head.size() - sent};
      }
      const std::size_t body_sent = sent > head.size() ? sent - head.size() : 0;
      if (body_sent < body.size()) {
        parts[count++] = {const_cast<char*>(body.data() + body_sent), body.size() - body_sent};
      }
      const ssize_t written = ::writev(fd_, parts, count);
      if (written <= 0) {
        Fail("write failed");
      }
      sent += static_cast<std::size_t>(written);
    }
  }

  // Reads one answer (Content-Length or chunked); returns its status and puts its body in body.
  int ReadAnswer(std::string& body) {
    std::size_t header_end;
    while ((header_end = in_.find("\r\n\r\n")) == std::string::npos) {
      Fill();
    }
    const std::string header = in_.substr(0, header_end + 4);
    in_.erase(0, header_end + 4);
    const int status = std::atoi(header.c_str() + header.find(' ') + 1);
    body.clear();
    if (const std::size_t length_at = FindField(header, "content-length:"); length_at != std::string::npos) {
      const std::size_t length = std::strtoul(header.c_str() + length_at, nullptr, 10);
      while (in_.size() < length) {
        Fill();
      }
      body.assign(in_, 0, length);
      in_.erase(0, length);
    } else if (FindField(header, "transfer-encoding:") != std::string::npos) {
      while (true) {
        std::size_t line_end;
        while ((line_end = in_.find("\r\n")) == std::string::npos) {
          Fill();
        }
        const std::size_t size = std::strtoul(in_.c_str(), nullptr, 16);
        while (in_.size() < line_end + 2 + size + 2) {
          Fill();
        }
        body.append(in_, line_end + 2, size);
        in_.erase(0, line_end + 2 + size + 2);
        if (size == 0) {
          break;
        }
      }
    }
    return status;
  }

  // Reads until a whole event-stream message ("...\n\n") is there, and returns it.
  std::string ReadEvent() {
    std::size_t end;
    while ((end = in_.find("\n\n")) == std::string::npos) {
      Fill();
    }
    std::string message = in_.substr(0, end + 2);
    in_.erase(0, end + 2);
    return message;
  }

 private:
  static std::size_t FindField(const std::string& header, std::string_view name) {
    std::string lower = header;
    std::ranges::transform(lower, lower.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const std::size_t at = lower.find("\r\n" + std::string(name));
    return at == std::string::npos ? at : at + 2 + name.size();
  }

  void Fill() {
    char chunk[65536];
    const ssize_t got = ::read(fd_, chunk, sizeof chunk);
    if (got <= 0) {
      Fail("connection closed early");
    }
    in_.append(chunk, static_cast<std::size_t>(got));
  }

  int fd_ = -1;
  std::string in_;
};

int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    Fail("no free port");
  }
  ::close(fd);
  return ntohs(address.sin_port);
}

pid_t Spawn(const std::vector<std::string>& arguments, const fs::path& log) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(out, 1);
    ::dup2(out, 2);
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
      argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    std::_Exit(127);
  }
  return pid;
}

void Stop(pid_t pid) {
  ::kill(pid, SIGTERM);
  ::waitpid(pid, nullptr, 0);
}

bool Answers(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return connected;
}

void WaitUntilAnswering(int port, pid_t pid, const fs::path& log) {
  for (int i = 0; i < 200; ++i) {
    if (Answers(port)) {
      return;
    }
    if (::waitpid(pid, nullptr, WNOHANG) == pid) {
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  std::ifstream text(log);
  std::stringstream content;
  content << text.rdbuf();
  Fail("a server did not start: " + content.str());
}

std::string NginxConfig(const fs::path& dir, int port) {
  const std::string d = dir.string();
  return "load_module /usr/lib/nginx/modules/ngx_http_echo_module.so;\n"
         "daemon off;\nmaster_process off;\nworker_processes 1;\n"
         "error_log " +
         d + "/nginx-error.log;\npid " + d +
         "/nginx.pid;\n"
         "events { worker_connections 4096; }\n"
         "http {\n"
         "  access_log off;\n"
         "  client_body_temp_path " +
         d +
         "/nginx-body;\n"
         "  proxy_temp_path " +
         d +
         "/nginx-proxy;\n"
         "  fastcgi_temp_path " +
         d +
         "/nginx-fastcgi;\n"
         "  uwsgi_temp_path " +
         d +
         "/nginx-uwsgi;\n"
         "  scgi_temp_path " +
         d +
         "/nginx-scgi;\n"
         "  sendfile on;\n  tcp_nodelay on;\n"
         "  keepalive_requests 1000000;\n  keepalive_timeout 120s;\n"
         "  server {\n"
         "    listen 127.0.0.1:" +
         std::to_string(port) +
         ";\n"
         "    root " +
         d +
         "/www;\n"
         // The whole body is read into one buffer in memory, never a file.
         "    location = /upload {\n"
         "      client_max_body_size 1m;\n"
         "      client_body_buffer_size 1m;\n"
         "      client_body_in_single_buffer on;\n"
         "      echo_read_request_body;\n"
         "      echo -n ok;\n"
         "    }\n"
         "  }\n"
         "}\n";
}

std::string RandomPicture(unsigned seed) {
  std::mt19937 random(seed);
  std::string picture(kPictureBytes, '\0');
  for (char& c : picture) {
    c = static_cast<char>(random());
  }
  picture[0] = '\xFF';
  picture[1] = '\xD8';
  return picture;
}

std::string MultipartBody(const std::string& picture) {
  return "--" + std::string(kBoundary) +
         "\r\nContent-Disposition: form-data; name=\"thescreen\"; filename=\"image.jpg\"\r\n"
         "Content-Type: image/jpeg\r\n\r\n" +
         picture + "\r\n--" + std::string(kBoundary) + "--\r\n";
}

std::string UploadHead(std::string_view target, std::size_t body_bytes) {
  return "POST " + std::string(target) +
         " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: multipart/form-data; boundary=" + std::string(kBoundary) +
         "\r\nContent-Length: " + std::to_string(body_bytes) + "\r\n\r\n";
}

std::string GetHead(std::string_view target) {
  return "GET " + std::string(target) + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
}

// Runs job(connection index) on kClientConnections threads and waits for them.
void OnConnections(const std::function<void(int)>& job) {
  std::vector<std::thread> threads;
  for (int c = 0; c < kClientConnections; ++c) {
    threads.emplace_back(job, c);
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
}

// Each connection posts its own copy of the body, changed in a few bytes per
// upload so that no upload repeats the one before.
double UploadSeconds(int port, pid_t pid, std::string_view target, const std::string& body) {
  std::vector<std::unique_ptr<Connection>> connections;
  for (int c = 0; c < kClientConnections; ++c) {
    connections.push_back(std::make_unique<Connection>(port));
  }
  const std::size_t counter_at = body.find("\r\n\r\n") + 4 + 16;
  const std::string head = UploadHead(target, body.size());
  const double before = CpuSeconds(pid);
  OnConnections([&](int c) {
    std::string own = body;
    std::string answer;
    for (int i = 0; i < kUploadsPerConnection; ++i) {
      const std::uint32_t stamp = static_cast<std::uint32_t>(c * kUploadsPerConnection + i);
      std::memcpy(own.data() + counter_at, &stamp, sizeof stamp);
      connections[c]->Send(head, own);
      if (connections[c]->ReadAnswer(answer) != 200) {
        Fail("an upload was refused: " + answer);
      }
    }
  });
  return CpuSeconds(pid) - before;
}

double FetchSeconds(int port, pid_t pid, std::string_view target) {
  std::vector<std::unique_ptr<Connection>> connections;
  for (int c = 0; c < kClientConnections; ++c) {
    connections.push_back(std::make_unique<Connection>(port));
  }
  const std::string head = GetHead(target);
  const double before = CpuSeconds(pid);
  OnConnections([&](int c) {
    std::string answer;
    for (int i = 0; i < kFetchesPerConnection; ++i) {
      connections[c]->Send(head);
      if (connections[c]->ReadAnswer(answer) != 200 || answer.size() != kPictureBytes) {
        Fail("a fetch failed");
      }
    }
  });
  return CpuSeconds(pid) - before;
}

std::uint64_t SequenceIn(std::string_view message) {
  const std::size_t at = message.find("\"sequence\":");
  return at == std::string_view::npos ? 0 : std::strtoull(message.data() + at + 11, nullptr, 10);
}

// 200 viewers follow the name's event stream and fetch each picture it
// announces; the next picture is uploaded once every viewer has the last.
double ViewerSeconds(int port, pid_t pid, const std::string& name, const std::string& body) {
  std::atomic<int> ready{0};
  std::atomic<long> delivered{0};
  std::vector<std::thread> viewers;
  for (int v = 0; v < kViewers; ++v) {
    viewers.emplace_back([&] {
      Connection events(port);
      Connection fetches(port);
      events.Send(GetHead("/pictures/" + name + "/events"));
      std::string answer;
      {
        // The stream's header, then its first message: the state it starts from.
        std::string first = events.ReadEvent();
        while (SequenceIn(first) == 0) {
          first = events.ReadEvent();
        }
        std::uint64_t seen = SequenceIn(first);
        ++ready;
        long fetched = 0;
        while (fetched < kViewerPictures) {
          const std::uint64_t sequence = SequenceIn(events.ReadEvent());
          if (sequence <= seen) {
            continue;
          }
          seen = sequence;
          fetches.Send(GetHead("/pictures/" + name + "/" + std::to_string(sequence) + ".jpg"));
          if (fetches.ReadAnswer(answer) != 200 || answer.size() != kPictureBytes) {
            Fail("a viewer's fetch failed");
          }
          ++fetched;
          delivered.fetch_add(1);
          delivered.notify_all();
        }
      }
    });
  }
  while (ready < kViewers) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  Connection uploader(port);
  const std::string head = UploadHead("/?server&stream_name=" + name, body.size());
  std::string own = body;
  const std::size_t counter_at = body.find("\r\n\r\n") + 4 + 16;
  std::string answer;
  const double before = CpuSeconds(pid);
  for (int p = 0; p < kViewerPictures; ++p) {
    const std::uint32_t stamp = 0x80000000u + static_cast<std::uint32_t>(p);
    std::memcpy(own.data() + counter_at, &stamp, sizeof stamp);
    uploader.Send(head, own);
    if (uploader.ReadAnswer(answer) != 200) {
      Fail("a viewers' upload was refused");
    }
    const long goal = static_cast<long>(p + 1) * kViewers;
    for (long now = delivered.load(); now < goal; now = delivered.load()) {
      delivered.wait(now);
    }
  }
  const double seconds = CpuSeconds(pid) - before;
  for (std::thread& viewer : viewers) {
    viewer.join();
  }
  return seconds;
}

struct Figures {
  std::vector<double> values;

  void Add(double value) { values.push_back(value); }
  double Min() const { return *std::ranges::min_element(values); }
  double Median() const {
    std::vector<double> sorted = values;
    std::ranges::sort(sorted);
    const std::size_t n = sorted.size();
    return n % 2 == 1 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
  }
};

void Print(const char* what, const Figures& figures, const char* unit) {
  std::printf("  %-52s min %9.2f  median %9.2f %s\n", what, figures.Min(), figures.Median(), unit);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: server_cost LUMIVANTA-SERVER [rounds]\n");
    return 2;
  }
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
  ::signal(SIGPIPE, SIG_IGN);

  char dir_template[] = "/tmp/server-cost-XXXXXX";
  if (::mkdtemp(dir_template) == nullptr) {
    Fail("no temporary folder");
  }
  const fs::path dir = dir_template;
  const std::string picture = RandomPicture(1);
  fs::create_directories(dir / "www/pictures/bench");
  std::ofstream(dir / "www/pictures/bench/latest.jpg", std::ios::binary) << picture;
  const std::string body = MultipartBody(picture);

  const int nginx_port = FreePort();
  std::ofstream(dir / "nginx.conf") << NginxConfig(dir, nginx_port);
  const pid_t nginx = Spawn(
      {"nginx", "-p", dir.string(), "-e", (dir / "nginx-error.log").string(), "-c", (dir / "nginx.conf").string()},
      dir / "nginx.log");
  const int server_port = FreePort();
  const pid_t server =
      Spawn({argv[1], "--listen", "127.0.0.1:" + std::to_string(server_port)}, dir / "lumivanta-server.log");
  WaitUntilAnswering(nginx_port, nginx, dir / "nginx-error.log");
  WaitUntilAnswering(server_port, server, dir / "lumivanta-server.log");

  // The picture the fetches read, and the viewers' first state.
  {
    Connection setup(server_port);
    std::string answer;
    for (const char* name : {"bench", "watched"}) {
      setup.Send(UploadHead(std::string("/?server&stream_name=") + name, body.size()), body);
      if (setup.ReadAnswer(answer) != 200) {
        Fail("the first upload was refused");
      }
    }
  }

  if (argc > 3) {
    const std::string_view only = argv[3];
    for (int round = 0; round < rounds; ++round) {
      if (only == "uploads") {
        UploadSeconds(server_port, server, "/?server&stream_name=bench", body);
      } else if (only == "fetches") {
        FetchSeconds(server_port, server, "/pictures/bench/latest.jpg");
      } else {
        ViewerSeconds(server_port, server, "watched", body);
      }
    }
    Stop(server);
    Stop(nginx);
    fs::remove_all(dir);
    return 0;
  }

  const double uploads = kClientConnections * kUploadsPerConnection;
  const double fetches = kClientConnections * kFetchesPerConnection;
  Figures server_uploads, nginx_uploads, upload_ratio;
  Figures server_fetches, nginx_fetches, fetch_ratio;
  Figures viewer_us, nginx_fetch_us, viewer_ratio;
  for (int round = 0; round < rounds; ++round) {
    // Which server goes first changes from round to round.
    const bool server_first = round % 2 == 0;
    double server_upload = 0, nginx_upload = 0, server_fetch = 0, nginx_fetch = 0;
    for (int turn = 0; turn < 2; ++turn) {
      if ((turn == 0) == server_first) {
        server_upload = UploadSeconds(server_port, server, "/?server&stream_name=bench", body);
        server_fetch = FetchSeconds(server_port, server, "/pictures/bench/latest.jpg");
      } else {
        nginx_upload = UploadSeconds(nginx_port, nginx, "/upload", body);
        nginx_fetch = FetchSeconds(nginx_port, nginx, "/pictures/bench/latest.jpg");
      }
    }
    const double viewers = ViewerSeconds(server_port, server, "watched", body);
    server_uploads.Add(uploads / server_upload);
    nginx_uploads.Add(uploads / nginx_upload);
    upload_ratio.Add(nginx_upload / server_upload);
    server_fetches.Add(fetches / server_fetch);
    nginx_fetches.Add(fetches / nginx_fetch);
    fetch_ratio.Add(nginx_fetch / server_fetch);
    const double per_delivery = viewers / (kViewers * kViewerPictures) * 1e6;
    const double per_static_fetch = nginx_fetch / fetches * 1e6;
    viewer_us.Add(per_delivery);
    nginx_fetch_us.Add(per_static_fetch);
    viewer_ratio.Add(per_delivery / per_static_fetch);
    std::printf("round %d: uploads %.2fx nginx, fetches %.2fx nginx, per viewer delivery %.2fx nginx's fetch\n",
                round + 1, nginx_upload / server_upload, nginx_fetch / server_fetch, per_delivery / per_static_fetch);
    std::fflush(stdout);
  }
  Stop(server);
  Stop(nginx);
  fs::remove_all(dir);

  std::printf("%d rounds; %.0f uploads of %zu-byte pictures, %.0f fetches, %d viewers x %d pictures per round\n",
              rounds, uploads, kPictureBytes, fetches, kViewers, kViewerPictures);
  std::printf("uploads per server CPU-second (goal: at least 0.5x nginx)\n");
  Print("lumivanta-server", server_uploads, "/s");
  Print("nginx reading the body into memory", nginx_uploads, "/s");
  Print("ratio", upload_ratio, "x");
  std::printf("picture fetches per server CPU-second (goal: at least 1.0x nginx)\n");
  Print("lumivanta-server latest.jpg", server_fetches, "/s");
  Print("nginx static file with sendfile", nginx_fetches, "/s");
  Print("ratio", fetch_ratio, "x");
  std::printf("server CPU per picture delivered to %d event-stream viewers (goal: at most 1.0x nginx's fetch)\n",
              kViewers);
  Print("lumivanta-server per viewer and picture", viewer_us, "us");
  Print("nginx per static fetch", nginx_fetch_us, "us");
  Print("ratio", viewer_ratio, "x");
  return 0;
}
