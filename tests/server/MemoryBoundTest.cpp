// The server's memory stays within its bounds: names, picture bytes, and bodies in flight.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/RawHttp.h"
#include "tests/support/ServerProcess.h"

namespace lumivanta::test {
namespace {

constexpr std::size_t kMebibyte = 1024 * 1024;

// The peak resident size of a process, from /proc/PID/status.
std::size_t PeakResidentBytes(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.starts_with("VmHWM:")) {
      return std::stoull(line.substr(6)) * 1024;
    }
  }
  return 0;
}

TEST(MemoryBoundTest, UploadsPastTheNameLimitDropTheOldestNames) {
  constexpr int kNameLimit = 1000;
  constexpr int kExtraNames = 5;
  ServerProcess server;
  const int port = server.Port();
  for (int index = 0; index < kNameLimit + kExtraNames; ++index) {
    const std::string name = "n" + std::to_string(index);
    ASSERT_EQ(Exchange(port, ProgramUpload(port, name, "picture " + name)).status, 200) << name;
  }
  for (int index = 0; index < kExtraNames; ++index) {
    EXPECT_EQ(NewestPicture(port, "n" + std::to_string(index)).status, 404) << index;
  }
  for (const int index : {kExtraNames, kNameLimit / 2, kNameLimit + kExtraNames - 1}) {
    const std::string name = "n" + std::to_string(index);
    EXPECT_EQ(NewestPicture(port, name).body, "picture " + name);
  }
}

#if defined(__SANITIZE_ADDRESS__)
#define LUMIVANTA_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LUMIVANTA_UNDER_ASAN 1
#endif
#endif

TEST(MemoryBoundTest, PeakResidentSizeWithAFullStoreAnd32ParallelUploadsStaysBelowTheBoundPlus64MiB) {
#ifdef LUMIVANTA_UNDER_ASAN
  GTEST_SKIP() << "AddressSanitizer keeps freed memory on purpose";
#endif
  constexpr std::size_t kStoreBound = 256 * kMebibyte;
  constexpr int kUploads = 32;
  ServerProcess server;
  const int port = server.Port();
  const std::string picture(30 * kMebibyte, 'p');
  for (int index = 0; index < 10; ++index) {
    ASSERT_EQ(Exchange(port, ProgramUpload(port, "full" + std::to_string(index), picture)).status, 200);
  }

  const std::string upload = ProgramUpload(port, "parallel", picture);
  std::vector<int> statuses(kUploads);
  {
    std::vector<std::jthread> uploaders;
    for (int index = 0; index < kUploads; ++index) {
      uploaders.emplace_back([&, index] { statuses[index] = Exchange(port, upload).status; });
    }
  }
  int stored = 0;
  for (const int status : statuses) {
    EXPECT_TRUE(status == 200 || status == 503) << status;
    stored += status == 200 ? 1 : 0;
  }
  EXPECT_GT(stored, 0);
  const std::size_t peak = PeakResidentBytes(server.Pid());
  std::printf("peak resident size %zu MiB with a %zu MiB store; %d of %d parallel 30 MiB uploads stored\n",
              peak / kMebibyte, kStoreBound / kMebibyte, stored, kUploads);
  EXPECT_LT(peak, kStoreBound + 64 * kMebibyte);
}

}  // namespace
}  // namespace lumivanta::test
