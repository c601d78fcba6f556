// --store DIR: pictures as files that survive a restart, and nothing else in DIR.

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "tests/support/RawHttp.h"
#include "tests/support/ServerProcess.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestPictures.h"

namespace lumivanta::test {
namespace {

std::set<std::string> FileNames(const std::filesystem::path& directory) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

TEST(StoreDirectoryTest, PicturesSurviveARestartAndDeletesToo) {
  const TempDir temp;
  const std::string store = temp.File("pictures");
  {
    ServerProcess server({"--store", store});
    const int port = server.Port();
    ASSERT_EQ(Exchange(port, ProgramUpload(port, "abc", FirstJpeg())).status, 200);
    ASSERT_EQ(Exchange(port, ProgramUpload(port, "abc", SecondJpeg())).status, 200);
    ASSERT_EQ(Exchange(port, ProgramUpload(port, "gone", FirstJpeg())).status, 200);
    ASSERT_EQ(Exchange(port, ProgramDelete(port, "gone")).body, "connectok");
    EXPECT_EQ(server.Stop(), 0);
  }
  EXPECT_EQ(FileNames(store), std::set<std::string>{"abc.jpg"});
  EXPECT_EQ(ReadWholeFile(store + "/abc.jpg"), SecondJpeg());

  // Left behind by a write that was cut short, and a file that is not ours.
  WriteWholeFile(store + "/.incoming-Ab12Cd", "half");
  WriteWholeFile(store + "/notes.txt", "keep");

  ServerProcess restarted({"--store", store});
  EXPECT_EQ(NewestPicture(restarted.Port(), "abc").body, SecondJpeg());
  EXPECT_EQ(NewestPicture(restarted.Port(), "gone").status, 404);
  EXPECT_EQ(FileNames(store), (std::set<std::string>{"abc.jpg", "notes.txt"}));

  // A directory removed while the server runs is made again by the next upload.
  std::filesystem::remove_all(store);
  ASSERT_EQ(Exchange(restarted.Port(), ProgramUpload(restarted.Port(), "back", FirstJpeg())).status, 200);
  EXPECT_EQ(ReadWholeFile(store + "/back.jpg"), FirstJpeg());
}

TEST(StoreDirectoryTest, BadNamesNeverCreateAFile) {
  const TempDir temp;
  const std::string store = temp.File("pictures");
  ServerProcess server({"--store", store});
  const int port = server.Port();
  for (const char* name : {"..", "%2E%2E%2Fescape", "..%2Fescape", "a%2Fb", "", "x%00y"}) {
    EXPECT_EQ(Exchange(port, ProgramUpload(port, name, FirstJpeg())).status, 400) << name;
  }
  EXPECT_TRUE(FileNames(store).empty());
  EXPECT_EQ(FileNames(temp.Path()), std::set<std::string>{"pictures"});
}

}  // namespace
}  // namespace lumivanta::test
