// The in-memory server keeps at most 1000 names; the oldest go first.

#include <gtest/gtest.h>

#include <string>

#include "tests/support/RawHttp.h"
#include "tests/support/ServerProcess.h"

namespace lumivanta::test {
namespace {

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

}  // namespace
}  // namespace lumivanta::test
