// Load on lumivanta-server over loopback: uploaders post pictures through the
// program's own request object while viewers fetch the newest picture.
// Several instances sharing one store are given as URLs joined by commas;
// uploaders and viewers are then spread over them in turn.
// Usage: server_load URL[,URL...] [uploaders uploads-each viewers picture-bytes]

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "web/WebRequest.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kDeadline = std::chrono::seconds(120);

int StatusCode(std::string_view headers) {
  // "HTTP/1.1 200 OK"
  const std::size_t blank = headers.find(' ');
  return blank == std::string_view::npos ? 0 : std::atoi(std::string(headers.substr(blank + 1, 3)).c_str());
}

std::string RandomPicture(std::size_t bytes, unsigned seed) {
  std::mt19937 random(seed);
  std::string picture(bytes, '\0');
  for (char& c : picture) {
    c = static_cast<char>(random());
  }
  picture[0] = '\xFF';
  picture[1] = '\xD8';
  return picture;
}

struct Counters {
  std::atomic<long> uploads{0};
  std::atomic<long> upload_errors{0};
  std::atomic<long> fetches{0};
  std::atomic<long> fetch_errors{0};

  // What went wrong: "curl N" for a failed request, "status N" for an unexpected answer.
  void Record(const char* what, std::uint32_t curl_error, int status) {
    const std::string key = std::string(what) + (curl_error != 0 ? " curl " + std::to_string(curl_error)
                                                                 : " status " + std::to_string(status));
    std::lock_guard lock(mutex);
    ++errors[key];
  }
  std::mutex mutex;
  std::map<std::string, long> errors;
};

constexpr int kMaxUploaders = 256;

std::vector<std::string> SplitAtCommas(std::string_view text) {
  std::vector<std::string> parts;
  for (std::size_t start = 0;;) {
    const std::size_t comma = text.find(',', start);
    parts.emplace_back(text.substr(start, comma - start));
    if (comma == std::string_view::npos) {
      return parts;
    }
    start = comma + 1;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: server_load URL[,URL...] [uploaders uploads-each viewers picture-bytes]\n");
    return 2;
  }
  const std::vector<std::string> bases = SplitAtCommas(argv[1]);
  const auto instances = static_cast<int>(bases.size());
  const int uploaders = argc > 2 ? std::atoi(argv[2]) : 20;
  const int uploads_each = argc > 3 ? std::atoi(argv[3]) : 100;
  const int viewers = argc > 4 ? std::atoi(argv[4]) : 20;
  const std::size_t picture_bytes = argc > 5 ? std::strtoul(argv[5], nullptr, 10) : 100'000;

  if (std::ranges::any_of(bases, [](const std::string& base) { return base.empty(); })) {
    std::fprintf(stderr, "server_load: an empty URL in %s\n", argv[1]);
    return 2;
  }
  if (uploaders < 1 || uploaders > kMaxUploaders || viewers < 0) {
    std::fprintf(stderr, "server_load: 1 to %d uploaders, 0 or more viewers\n", kMaxUploaders);
    return 2;
  }
  Counters counters;
  std::atomic<int> uploaders_running{uploaders};
  // A viewer watches a name only once its first picture is there.
  std::array<std::atomic<bool>, kMaxUploaders> first_picture_stored{};
  const auto start = Clock::now();
  std::vector<std::thread> threads;
  for (int u = 0; u < uploaders; ++u) {
    threads.emplace_back([&, u] {
      std::string picture = RandomPicture(picture_bytes, static_cast<unsigned>(u));
      const std::string address = bases[u % instances] + "?server&stream_name=load-" + std::to_string(u);
      for (int i = 0; i < uploads_each && Clock::now() - start < kDeadline; ++i) {
        // Each upload a new picture: the server takes the same bytes again as the same picture.
        std::memcpy(picture.data() + 2, &i, std::min(sizeof(i), picture.size() - 2));
        lumivanta::CWebRequest request;
        request.AddFormItem("thescreen", "image.jpg", true, picture.data(), static_cast<std::uint32_t>(picture.size()));
        const bool sent = request.Request(address, lumivanta::RequestPostMultipart, "");
        const int status = StatusCode(request.ResponseHeaders());
        if (sent && status == 200) {
          ++counters.uploads;
          first_picture_stored[u] = true;
        } else {
          ++counters.upload_errors;
          counters.Record("upload", sent ? 0 : request.LastError(), status);
        }
      }
      --uploaders_running;
    });
  }
  for (int v = 0; v < viewers; ++v) {
    threads.emplace_back([&, v] {
      const int watched = v % uploaders;
      // One instance on from the uploaders' turn, so that with several instances
      // a viewer mostly reads a picture that another instance stored.
      const std::string address =
          bases[(v + 1) % instances] + "pictures/load-" + std::to_string(watched) + "/latest.jpg";
      while (uploaders_running > 0) {
        if (!first_picture_stored[watched]) {
          std::this_thread::sleep_for(std::chrono::milliseconds(1));
          continue;
        }
        lumivanta::CWebRequest request;
        const bool fetched = request.Request(address, lumivanta::RequestGet, "");
        const int status = StatusCode(request.ResponseHeaders());
        if (fetched && status == 200) {
          ++counters.fetches;
        } else {
          ++counters.fetch_errors;
          counters.Record("fetch", fetched ? 0 : request.LastError(), status);
        }
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::printf("uploaders %d x %d uploads of %zu bytes, %d viewers", uploaders, uploads_each, picture_bytes, viewers);
  if (instances > 1) {
    std::printf(", spread over %d instances", instances);
  }
  std::printf("\n");
  std::printf("time %.2f s\n", seconds);
  std::printf("uploads %ld (%.1f per second), upload errors %ld\n", counters.uploads.load(),
              static_cast<double>(counters.uploads.load()) / seconds, counters.upload_errors.load());
  std::printf("viewer fetches %ld (%.1f per second), fetch errors %ld\n", counters.fetches.load(),
              static_cast<double>(counters.fetches.load()) / seconds, counters.fetch_errors.load());
  for (const auto& [what, count] : counters.errors) {
    std::printf("  %s: %ld\n", what.c_str(), count);
  }
  const long expected = static_cast<long>(uploaders) * uploads_each;
  return counters.upload_errors == 0 && counters.fetch_errors == 0 && counters.uploads == expected ? 0 : 1;
}
