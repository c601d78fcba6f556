// Two real lumivanta-server instances over one real redis-server: every
// viewer of either instance gets every picture, keys and bounds hold for
// both together, and Redis lost, hung and back costs no picture that was taken.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "server/redis/RedisClient.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/RawHttp.h"
#include "tests/support/RedisProcess.h"
#include "tests/support/ServerProcess.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestPictures.h"

namespace lumivanta::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::string kUploadKey = "Upl0ad-key_0123456789abcdef";

// Keys come from the environment only where a test asks for them.
const std::vector<std::string> kNoKeys = {"LUMIVANTA_UPLOAD_KEY", "LUMIVANTA_VIEW_KEY", "CREDENTIALS_DIRECTORY",
                                          "LUMIVANTA_REDIS_PASSWORD"};

std::vector<std::string> Over(const RedisProcess& redis, std::vector<std::string> more = {}) {
  more.insert(more.begin(), {"--redis", redis.Url()});
  return more;
}

std::uint64_t NumberAfter(std::string_view text, std::string_view label) {
  const std::size_t at = text.find(label);
  return at == std::string_view::npos ? 0 : std::stoull(std::string(text.substr(at + label.size())));
}

// One viewer's event stream at one instance.
class EventViewer {
 public:
  EventViewer(int port, std::string_view name) : connection_(port) {
    connection_.SendAll("GET /pictures/" + std::string(name) + "/events HTTP/1.1\r\nHost: x\r\n\r\n");
    connection_.ReceiveUntil("retry: 1000\n\n");
  }
  // The next state the server sends, keep-alive comments skipped, and the
  // state again that an instance sends when its feed (re)subscribes.
  std::string NextState() {
    std::string message = connection_.ReceiveUntil("\n\n");
    while (message.starts_with(":") || (message == last_ && last_.find("\"present\":false") != std::string::npos) ||
           (last_sequence_ != 0 && NumberAfter(message, "\"sequence\":") == last_sequence_)) {
      message = connection_.ReceiveUntil("\n\n");
    }
    last_ = message;
    last_sequence_ = NumberAfter(message, "\"sequence\":");
    return message;
  }
  // The next "live" event: the newest picture uploaded again.
  std::string NextLive() {
    std::string message = connection_.ReceiveUntil("\n\n");
    while (!message.starts_with("event: live\n")) {
      message = connection_.ReceiveUntil("\n\n");
    }
    return message;
  }

 private:
  TcpConnection connection_;
  std::string last_;
  std::uint64_t last_sequence_ = 0;
};

std::string RandomJpeg(std::size_t bytes) {
  std::mt19937 random(static_cast<unsigned>(bytes));
  std::string picture(bytes, '\0');
  for (char& c : picture) {
    c = static_cast<char>(random());
  }
  picture.replace(0, 2, "\xFF\xD8");
  return picture;
}

pid_t RedisPid(const RedisProcess& redis) {
  server::RedisClient client(redis.Address(), 2s);
  const std::string info = server::RedisClient::StringOf(*client.Command({"INFO", "server"})).value_or("");
  return std::stoi(info.substr(info.find("process_id:") + 11));
}

int Upload(int port, std::string_view name, std::string_view jpeg) {
  return Exchange(port, ProgramUpload(port, name, jpeg)).status;
}

// Redis's bookkeeping agrees with the pictures it holds, read in one step
// while uploads may go on: every name counted has its whole picture, and the
// byte count is their sum.
void ExpectWholeStore(const RedisProcess& redis) {
  constexpr std::string_view kCheck =
      "local sum = 0\n"
      "for _, name in ipairs(redis.call('ZRANGE', 'lumivanta:names', 0, -1)) do\n"
      "  local key = 'lumivanta:picture:' .. name\n"
      "  local size = tonumber(redis.call('HGET', 'lumivanta:sizes', name) or -1)\n"
      "  if redis.call('HSTRLEN', key, 'jpeg') ~= size or not redis.call('HGET', key, 'sequence') or\n"
      "     not redis.call('HGET', key, 'uploaded_ms') then return 'half-written: ' .. name end\n"
      "  sum = sum + size\n"
      "end\n"
      "if redis.call('HLEN', 'lumivanta:sizes') ~= redis.call('ZCARD', 'lumivanta:names') then\n"
      "  return 'sizes of names not kept'\n"
      "end\n"
      "if tonumber(redis.call('GET', 'lumivanta:bytes') or 0) ~= sum then return 'byte count is not the sum' end\n"
      "return 'whole'\n";
  server::RedisClient client(redis.Address(), 2s);
  EXPECT_EQ(server::RedisClient::StringOf(*client.Command({"EVAL", kCheck, "0"})), "whole");
}

TEST(SharedStoreTest, EveryViewerOfEitherInstanceGetsEveryPictureBehindTheSameKeys) {
  RedisProcess redis;
  std::vector<std::string> environment = kNoKeys;
  environment.push_back("LUMIVANTA_UPLOAD_KEY=" + kUploadKey);
  ServerProcess a(Over(redis), environment);
  ServerProcess b(Over(redis), environment);
  const std::string keyed = "/u/" + kUploadKey + "/";
  EventViewer at_a(a.Port(), "abc");
  EventViewer at_b(b.Port(), "abc");
  // Each instance counts the viewers it serves.
  EXPECT_EQ(at_a.NextState(), "data: {\"name\":\"abc\",\"present\":false,\"ended\":false,\"viewers\":1}\n\n");
  EXPECT_EQ(at_b.NextState(), "data: {\"name\":\"abc\",\"present\":false,\"ended\":false,\"viewers\":1}\n\n");

  const std::string pictures[] = {FirstJpeg(), SecondJpeg()};
  std::uint64_t last_sequence = 0;
  for (int round = 0; round < 10; ++round) {
    const std::string& picture = pictures[round % 2];
    ServerProcess& uploader = round % 2 == 0 ? a : b;
    ServerProcess& other = round % 2 == 0 ? b : a;
    ASSERT_EQ(Exchange(uploader.Port(), ProgramUpload(uploader.Port(), "abc", picture, keyed)).status, 200);
    const std::string seen_at_a = at_a.NextState();
    const std::uint64_t sequence = NumberAfter(seen_at_a, "\"sequence\":");
    EXPECT_EQ(NumberAfter(at_b.NextState(), "\"sequence\":"), sequence);
    EXPECT_GT(sequence, last_sequence) << seen_at_a;
    EXPECT_EQ(NumberAfter(seen_at_a, "\"bytes\":"), picture.size());
    last_sequence = sequence;
    const HttpAnswer newest = NewestPicture(other.Port(), "abc");
    EXPECT_TRUE(newest.body == picture);
    EXPECT_TRUE(newest.HasHeader("X-Picture-Sequence: " + std::to_string(sequence)));
  }

  // The newest bytes again, through the other instance, renew the picture's
  // time at both and keep its sequence and ETag: the viewers hear it is live.
  std::this_thread::sleep_for(1100ms);
  ASSERT_EQ(Exchange(a.Port(), ProgramUpload(a.Port(), "abc", pictures[1], keyed)).status, 200);
  for (EventViewer* viewer : {&at_a, &at_b}) {
    const std::string live = viewer->NextLive();
    EXPECT_EQ(NumberAfter(live, "\"sequence\":"), last_sequence) << live;
    EXPECT_LT(NumberAfter(live, "\"age_ms\":"), 1000u) << live;
  }
  const auto etag = [](const HttpAnswer& answer) { return answer.head.substr(answer.head.find("ETag: ")); };
  const HttpAnswer at_a_kept = Get(a.Port(), "/pictures/abc/" + std::to_string(last_sequence) + ".jpg");
  const HttpAnswer at_b_newest = NewestPicture(b.Port(), "abc");
  EXPECT_TRUE(at_a_kept.body == pictures[1]);
  EXPECT_EQ(etag(at_a_kept).substr(0, 40), etag(at_b_newest).substr(0, 40));
  // b keeps the picture it read, with its renewed time.
  EXPECT_LT(NumberAfter(at_b_newest.head, "X-Picture-Age-Ms: "), 1000u);

  // The key is each instance's own; without it nothing changes anywhere.
  EXPECT_EQ(Upload(b.Port(), "abc", FirstJpeg()), 403);
  EXPECT_EQ(Exchange(a.Port(), ProgramDelete(a.Port(), "abc")).status, 403);
  EXPECT_TRUE(NewestPicture(a.Port(), "abc").body == pictures[1]);

  ASSERT_EQ(Exchange(a.Port(), ProgramDelete(a.Port(), "abc", keyed)).body, "connectok");
  EXPECT_EQ(at_a.NextState(), "data: {\"name\":\"abc\",\"present\":false,\"ended\":true,\"viewers\":1}\n\n");
  EXPECT_EQ(at_b.NextState(), "data: {\"name\":\"abc\",\"present\":false,\"ended\":true,\"viewers\":1}\n\n");
  EXPECT_EQ(Get(b.Port(), "/pictures/abc/latest.json").body,
            "{\"name\":\"abc\",\"present\":false,\"ended\":true,\"viewers\":2}");
  EXPECT_EQ(NewestPicture(b.Port(), "abc").status, 404);

  // A picture taken by an instance that then dies is still served by the other.
  ASSERT_EQ(Exchange(a.Port(), ProgramUpload(a.Port(), "abc", pictures[0], keyed)).status, 200);
  a.Kill();
  EXPECT_NE(at_b.NextState().find("\"present\":true"), std::string::npos);
  EXPECT_TRUE(NewestPicture(b.Port(), "abc").body == pictures[0]);
  ExpectWholeStore(redis);
  // With its worker threads and its subscription, the instance still ends cleanly.
  EXPECT_EQ(b.Stop(), 0);
}

TEST(SharedStoreTest, BoundsAndLifetimeHoldForAllInstancesTogether) {
  RedisProcess redis({}, RedisProcess::Transport::kTcp);
  const std::vector<std::string> bounds = {"--max-names", "3", "--max-store-mib", "1"};
  ServerProcess a(Over(redis, bounds), kNoKeys);
  ServerProcess b(Over(redis, bounds), kNoKeys);
  const auto kept = [&](std::string_view name) {
    const int at_a = NewestPicture(a.Port(), name).status;
    EXPECT_EQ(NewestPicture(b.Port(), name).status, at_a) << name;
    return at_a == 200;
  };

  for (const char* name : {"n1", "n2", "n3", "n4", "n5"}) {
    ASSERT_EQ(Upload((name[1] % 2) != 0 ? a.Port() : b.Port(), name, FirstJpeg()), 200);
  }
  EXPECT_FALSE(kept("n1"));
  EXPECT_FALSE(kept("n2"));
  EXPECT_TRUE(kept("n3") && kept("n4") && kept("n5"));

  // Three pictures of 400 KiB pass 1 MiB: the oldest names go until they fit.
  const std::string large = RandomJpeg(400 * 1024);
  for (const char* name : {"big1", "big2", "big3"}) {
    ASSERT_EQ(Upload((name[3] % 2) != 0 ? a.Port() : b.Port(), name, large), 200);
  }
  EXPECT_FALSE(kept("n3") || kept("n4") || kept("n5") || kept("big1"));
  EXPECT_TRUE(kept("big2") && kept("big3"));
  ExpectWholeStore(redis);

  // With a lifetime of one second, a picture is gone soon after, and leaves the bounds.
  ServerProcess brief(Over(redis, {"--redis-ttl", "1"}), kNoKeys);
  ASSERT_EQ(Upload(brief.Port(), "brief", FirstJpeg()), 200);
  EXPECT_EQ(NewestPicture(a.Port(), "brief").status, 200);
  const auto deadline = Clock::now() + 5s;
  while (NewestPicture(a.Port(), "brief").status == 200 && Clock::now() < deadline) {
    std::this_thread::sleep_for(100ms);
  }
  EXPECT_EQ(NewestPicture(a.Port(), "brief").status, 404);
  ASSERT_EQ(Upload(a.Port(), "after", FirstJpeg()), 200);
  EXPECT_TRUE(kept("big3") && kept("after"));
  ExpectWholeStore(redis);
}

TEST(SharedStoreTest, ARedisOutOfMemoryRefusesWholeUploadsAndKeepsWhatItHas) {
  RedisProcess redis({"--maxmemory", "4mb", "--maxmemory-policy", "noeviction"});
  ChildProcess a({kServerBinary, "--listen", "127.0.0.1:0", "--redis", redis.Url()}, true, {}, kNoKeys);
  const std::string listening = a.ReadLine(20s);
  const int port = std::stoi(listening.substr(listening.rfind(':') + 1));
  const std::string large = RandomJpeg(512 * 1024);
  int stored = 0;
  int status = 200;
  for (; stored < 40 && status == 200; stored += status == 200 ? 1 : 0) {
    status = Upload(port, "full" + std::to_string(stored), large);
  }
  EXPECT_EQ(status, 503);
  ASSERT_GT(stored, 0);
  EXPECT_TRUE(NewestPicture(port, "full" + std::to_string(stored - 1)).body == large);
  EXPECT_EQ(NewestPicture(port, "full" + std::to_string(stored)).status, 404);
  ExpectWholeStore(redis);
  EXPECT_TRUE(a.WaitForErrorText("lumivanta-server: Redis refused: OOM command not allowed", 5s));
}

// Uploads to one instance as fast as it answers, noting every answer.
class SteadyUploader {
 public:
  SteadyUploader(int port, std::string name) : port_(port), name_(std::move(name)) {
    thread_ = std::jthread([this](const std::stop_token& stop) {
      const std::string pictures[] = {FirstJpeg(), SecondJpeg()};
      for (int round = 0; !stop.stop_requested(); ++round) {
        const auto started = Clock::now();
        int status = 0;
        try {
          status = Upload(port_, name_, pictures[round % 2]);
        } catch (const std::exception&) {
          status = -1;
        }
        const std::lock_guard lock(mutex_);
        ++statuses_[status];
        slowest_ = std::max(slowest_, Clock::now() - started);
        if (status == 200) {
          last_stored_ = pictures[round % 2];
          last_success_ = Clock::now();
        }
        std::this_thread::sleep_for(5ms);
      }
    });
  }
  ~SteadyUploader() { thread_.request_stop(); }

  // Waits for a stored upload that started after now; false after the time limit.
  bool StoresAgainWithin(Clock::duration limit) {
    const auto now = Clock::now();
    while (Clock::now() < now + limit) {
      {
        const std::lock_guard lock(mutex_);
        if (last_success_ > now + 1ms) {
          return true;
        }
      }
      std::this_thread::sleep_for(10ms);
    }
    return false;
  }
  int Count(int status) {
    const std::lock_guard lock(mutex_);
    return statuses_[status];
  }
  std::map<int, int> Statuses() {
    const std::lock_guard lock(mutex_);
    return statuses_;
  }
  Clock::duration Slowest() {
    const std::lock_guard lock(mutex_);
    return slowest_;
  }
  std::string LastStored() {
    const std::lock_guard lock(mutex_);
    return last_stored_;
  }
  void Stop() {
    thread_.request_stop();
    thread_.join();
  }

 private:
  int port_;
  std::string name_;
  std::mutex mutex_;
  std::map<int, int> statuses_;
  Clock::duration slowest_{};
  std::string last_stored_;
  Clock::time_point last_success_;
  std::jthread thread_;
};

TEST(SharedStoreTest, RedisLostHungAndBackUnderLoadCostsNoPictureAndLeavesNothingHalfWritten) {
  ::signal(SIGPIPE, SIG_IGN);
  RedisProcess redis({}, RedisProcess::Transport::kTcp);
  ServerProcess a(Over(redis), kNoKeys);
  ServerProcess b(Over(redis), kNoKeys);
  EventViewer viewer(b.Port(), "load");
  viewer.NextState();
  SteadyUploader uploader(a.Port(), "load");
  ASSERT_TRUE(uploader.StoresAgainWithin(5s));

  // Every connection to Redis cut at once, mid-upload.
  for (int cut = 0; cut < 3; ++cut) {
    server::RedisClient admin(redis.Address(), 2s);
    admin.Command({"CLIENT", "KILL", "TYPE", "normal"});
    admin.Command({"CLIENT", "KILL", "TYPE", "pubsub"});
    EXPECT_TRUE(uploader.StoresAgainWithin(5s)) << cut;
  }
  ExpectWholeStore(redis);

  // Redis hung: once a request has waited out the time limit, the others get
  // 503 at once, but for a picture the instance has read, which it still serves.
  // b keeps the picture it reads once its feed, back since the cuts, has heard of it.
  EventViewer still(b.Port(), "still");
  still.NextState();
  for (const std::string& picture : {SecondJpeg(), FirstJpeg()}) {
    ASSERT_EQ(Upload(a.Port(), "still", picture), 200);
    ASSERT_NE(still.NextState().find("\"present\":true"), std::string::npos);
  }
  ASSERT_TRUE(NewestPicture(b.Port(), "still").body == FirstJpeg());
  const pid_t redis_pid = RedisPid(redis);
  ::kill(redis_pid, SIGSTOP);
  const int refused_before_hang = uploader.Count(503);
  std::this_thread::sleep_for(4s);
  EXPECT_GT(uploader.Count(503), refused_before_hang + 10);
  EXPECT_EQ(NewestPicture(b.Port(), "never").status, 503);
  const auto asked = Clock::now();
  EXPECT_TRUE(NewestPicture(b.Port(), "still").body == FirstJpeg());
  const HttpAnswer unavailable = NewestPicture(b.Port(), "never");
  EXPECT_EQ(unavailable.status, 503);
  EXPECT_TRUE(unavailable.HasHeader("Retry-After: 1"));
  EXPECT_LT(Clock::now() - asked, 1s);
  ::kill(redis_pid, SIGCONT);
  EXPECT_TRUE(uploader.StoresAgainWithin(5s));
  ExpectWholeStore(redis);

  // Redis gone: uploads and pictures get 503 at once, and the viewer keeps its stream.
  redis.Stop();
  const int refused_before = uploader.Count(503);
  std::this_thread::sleep_for(1s);
  EXPECT_GT(uploader.Count(503), refused_before);
  EXPECT_EQ(NewestPicture(b.Port(), "load").status, 503);
  EXPECT_EQ(Get(a.Port(), "/pictures/load/latest.json").status, 503);

  // Redis back, empty: within 5 s uploads are stored again and reach the viewer at the other instance.
  redis.Start();
  const auto back = Clock::now();
  ASSERT_TRUE(uploader.StoresAgainWithin(5s));
  while (NewestPicture(b.Port(), "load").status != 200 && Clock::now() < back + 5s) {
    std::this_thread::sleep_for(10ms);
  }
  // The viewer never lost its picture, and has the pictures stored since.
  const std::uint64_t recovered = NumberAfter(Get(b.Port(), "/pictures/load/latest.json").body, "\"sequence\":");
  for (std::uint64_t seen = 0; seen < recovered;) {
    // A live event names a picture too: the uploader may send one twice after a refusal, and a stream
    // that is behind keeps only the newest message.
    const std::string state = viewer.NextState();
    ASSERT_TRUE(state.find("\"present\":true") != std::string::npos || state.starts_with("event: live\n")) << state;
    seen = NumberAfter(state, "\"sequence\":");
  }
  EXPECT_LT(Clock::now() - back, 5s);
  uploader.Stop();
  EXPECT_TRUE(NewestPicture(b.Port(), "load").body == uploader.LastStored());
  ExpectWholeStore(redis);

  // Nothing but stored or refused-for-now.
  for (const auto& [status, count] : uploader.Statuses()) {
    EXPECT_TRUE(status == 200 || status == 503) << count << " answers " << status;
  }
  // The first request into the hang waits out the time limit of 2 s, and no other waits.
  EXPECT_LT(uploader.Slowest(), 3s);
  EXPECT_EQ(a.Stop(), 0);
  EXPECT_EQ(b.Stop(), 0);
}

TEST(SharedStoreTest, StartsOnlyWithAReachableRedisThatTakesItsLogin) {
  const auto run_to_exit = [](std::vector<std::string> options, std::vector<std::string> environment) {
    options.insert(options.begin(), {kServerBinary, "--listen", "127.0.0.1:0"});
    environment.insert(environment.end(), kNoKeys.begin(), kNoKeys.end() - 1);
    ChildProcess child(options, true, {}, environment);
    return child.WaitForExit(20s);
  };
  TempDir folder;
  const ChildProcess::Finished unreachable =
      run_to_exit({"--redis", "unix://" + folder.File("none.sock")}, {"LUMIVANTA_REDIS_PASSWORD"});
  EXPECT_EQ(unreachable.exit_code, 1);
  EXPECT_NE(unreachable.err.find("cannot reach Redis at unix://" + folder.File("none.sock")), std::string::npos)
      << unreachable.err;

  RedisProcess redis({"--requirepass", "s3cret pass"});
  const ChildProcess::Finished no_login = run_to_exit(Over(redis), {"LUMIVANTA_REDIS_PASSWORD"});
  EXPECT_EQ(no_login.exit_code, 1);
  EXPECT_NE(no_login.err.find("NOAUTH"), std::string::npos) << no_login.err;
  const ChildProcess::Finished wrong = run_to_exit(Over(redis), {"LUMIVANTA_REDIS_PASSWORD=wrong"});
  EXPECT_EQ(wrong.exit_code, 1);
  EXPECT_NE(wrong.err.find("refused the login"), std::string::npos) << wrong.err;

  ServerProcess from_environment(Over(redis), {"LUMIVANTA_REDIS_PASSWORD=s3cret pass"});
  EXPECT_EQ(Upload(from_environment.Port(), "abc", FirstJpeg()), 200);
  const std::string password_file = folder.File("redis-password");
  std::ofstream(password_file) << "s3cret pass\n";
  ::chmod(password_file.c_str(), 0600);
  ServerProcess from_file(Over(redis, {"--redis-password-file", password_file}), {"LUMIVANTA_REDIS_PASSWORD"});
  EXPECT_TRUE(NewestPicture(from_file.Port(), "abc").body == FirstJpeg());
}

}  // namespace
}  // namespace lumivanta::test
