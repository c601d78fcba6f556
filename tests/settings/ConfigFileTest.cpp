#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "settings/FileStream.h"
#include "settings/Settings.h"
#include "tests/support/TempDir.h"

namespace lumivanta {
namespace {

using test::ReadWholeFile;
using test::TempDir;
using test::WriteWholeFile;

const std::string kReferenceFile = std::string(LUMIVANTA_TEST_DATA) + "/reference.lic";

std::vector<std::string> SplitCrLfLines(const std::string& content) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < content.size()) {
    const std::size_t end = content.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(content.substr(start));
      break;
    }
    lines.push_back(content.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

class ConfigFile : public ::testing::Test {
 protected:
  CSettings SettingsIn(const std::string& name = "lumivanta.lic") const {
    CSettings settings;
    settings.file_name = dir_.File(name);
    return settings;
  }
  std::string FileName() const { return dir_.File("lumivanta.lic"); }

  TempDir dir_;
};

TEST_F(ConfigFile, SaveWritesExactlyTheBytesOfAnIndependentlyMadeFile) {
  CSettings settings = SettingsIn();
  settings.server_url = "http://example.org/up/index.php";
  settings.contact_name = "abc-123_X";
  settings.picture_quality = 1;
  settings.refresh_rate_ms = 2500;
  settings.picture_size = 768;
  ASSERT_TRUE(settings.Save());
  EXPECT_EQ(ReadWholeFile(FileName()), ReadWholeFile(kReferenceFile));
}

TEST_F(ConfigFile, LoadReadsAnIndependentlyMadeFile) {
  std::filesystem::copy_file(kReferenceFile, FileName());
  CSettings settings = SettingsIn();
  ASSERT_TRUE(settings.Load());
  EXPECT_EQ(settings.server_url, "http://example.org/up/index.php");
  EXPECT_EQ(settings.contact_name, "abc-123_X");
  EXPECT_EQ(settings.picture_quality, 1u);
  EXPECT_EQ(settings.refresh_rate_ms, 2500);
  EXPECT_EQ(settings.picture_size, 768u);
  EXPECT_EQ(settings.upload_address, "http://example.org/up/index.php?server&stream_name=abc-123_X");
  EXPECT_EQ(settings.viewer_address, "http://example.org/up/index.php");
}

TEST_F(ConfigFile, LayoutIsFourCommentsThenFiveStoredLinesInKeyOrder) {
  CSettings settings = SettingsIn();
  settings.refresh_rate_ms = 1234;
  settings.picture_size = 300;
  ASSERT_TRUE(settings.Save());
  const std::string content = ReadWholeFile(FileName());
  ASSERT_TRUE(content.ends_with("\r\n"));
  const std::vector<std::string> lines = SplitCrLfLines(content);
  ASSERT_EQ(lines.size(), 9u);
  EXPECT_EQ(lines[0], ";Please do not change!");
  EXPECT_EQ(lines[1], ";");
  EXPECT_EQ(lines[2], ";If this file is deleted, all settings will be lost");
  EXPECT_EQ(lines[3], ";");
  const char* expected[] = {"04=http://localhost:8080/", nullptr, "06=0", "07=1234", "08=300"};
  for (int i = 0; i < 5; ++i) {
    const std::string& stored = lines[4 + i];
    ASSERT_EQ(stored.size(), 192u);
    EXPECT_EQ(stored.find_first_not_of("0123456789ABCDEF"), std::string::npos);
    const std::string line = settings.DecipherValue(stored);
    if (expected[i] != nullptr) {
      EXPECT_EQ(line, expected[i]);
    } else {
      EXPECT_EQ(line, "05=" + settings.contact_name);
    }
  }
  EXPECT_EQ(content.find('\n'), content.find("\r\n") + 1);
}

TEST_F(ConfigFile, SaveAndLoadGiveBackTheFiveSettings) {
  CSettings saved = SettingsIn();
  saved.server_url = "https://pictures.example.org:8443/a/b.php?x=1";
  saved.contact_name = "Meeting_2026-12";
  saved.picture_quality = 2;
  saved.refresh_rate_ms = 500;
  saved.picture_size = 0;
  ASSERT_TRUE(saved.Save());
  CSettings loaded = SettingsIn();
  ASSERT_TRUE(loaded.Load());
  EXPECT_EQ(loaded.server_url, saved.server_url);
  EXPECT_EQ(loaded.contact_name, saved.contact_name);
  EXPECT_EQ(loaded.picture_quality, 2u);
  EXPECT_EQ(loaded.refresh_rate_ms, 500);
  EXPECT_EQ(loaded.picture_size, 0u);
  EXPECT_FALSE(loaded.connected);
}

TEST_F(ConfigFile, NumbersAreWrittenAs32BitValuesAndReadWithinTheRangesOfTheSettingsPage) {
  CSettings saved = SettingsIn();
  saved.picture_quality = 4294967295u;  // a list without selection
  saved.refresh_rate_ms = -5;
  saved.picture_size = 500;
  ASSERT_TRUE(saved.Save());
  const std::vector<std::string> lines = SplitCrLfLines(ReadWholeFile(FileName()));
  EXPECT_EQ(saved.DecipherValue(lines[6]), "06=4294967295");
  EXPECT_EQ(saved.DecipherValue(lines[7]), "07=4294967291");
  // Out of their ranges, they are read as the defaults and saved so.
  CSettings loaded = SettingsIn();
  ASSERT_TRUE(loaded.Load());
  EXPECT_EQ(loaded.picture_quality, 0u);
  EXPECT_EQ(loaded.refresh_rate_ms, 1000);
  EXPECT_EQ(loaded.picture_size, 600u);
}

TEST_F(ConfigFile, LongAndPaddedValuesAreCutAndTrimmed) {
  CSettings saved = SettingsIn();
  saved.server_url = std::string(100, 'u');
  saved.contact_name = "trail  ";
  ASSERT_TRUE(saved.Save());
  CSettings loaded = SettingsIn();
  ASSERT_TRUE(loaded.Load());
  EXPECT_EQ(loaded.server_url, std::string(93, 'u'));
  EXPECT_EQ(loaded.contact_name, "trail");
}

TEST_F(ConfigFile, WithoutAFileLoadFailsAndKeepsTheDefaults) {
  CSettings settings = SettingsIn();
  settings.server_url = "http://example.org/";
  settings.picture_size = 0;
  EXPECT_FALSE(settings.Load());
  EXPECT_EQ(settings.server_url, "http://localhost:8080/");
  EXPECT_EQ(settings.picture_size, 600u);
}

TEST_F(ConfigFile, OnlyCommentLinesLoadAsDefaults) {
  WriteWholeFile(FileName(),
                 ";Please do not change!\r\n;\r\n;If this file is deleted, all settings will be lost\r\n;\r\n");
  CSettings settings = SettingsIn();
  EXPECT_TRUE(settings.Load());
  EXPECT_EQ(settings.server_url, "http://localhost:8080/");
  EXPECT_EQ(settings.refresh_rate_ms, 1000);
}

TEST_F(ConfigFile, AnEmptyServerUrlFailsTheLoadButTheOtherLinesApply) {
  CSettings writer = SettingsIn();
  WriteWholeFile(FileName(), writer.EncipherValue("04=") + "\r\n" + writer.EncipherValue("07=3000") + "\r\n");
  CSettings settings = SettingsIn();
  EXPECT_FALSE(settings.Load());
  EXPECT_EQ(settings.server_url, "");
  EXPECT_EQ(settings.refresh_rate_ms, 3000);
  EXPECT_EQ(settings.upload_address, "?server&stream_name=" + settings.contact_name);
}

TEST_F(ConfigFile, PlainLinesAreReadAsAtoiDoesWithinTheRulesOfTheSettingsPage) {
  WriteWholeFile(FileName(),
                 "07=2000\n06=abc\n08=  300x\n05=plain_name\n  ;not a comment once trimmed\n"
                 "04=http://a/\r\n\n\n09=ignored\n04=http://later.example/\n");
  CSettings settings = SettingsIn();
  ASSERT_TRUE(settings.Load());
  EXPECT_EQ(settings.refresh_rate_ms, 2000);
  EXPECT_EQ(settings.picture_quality, 0u);
  EXPECT_EQ(settings.picture_size, 300u);
  EXPECT_EQ(settings.contact_name, "plain_name");
  EXPECT_EQ(settings.server_url, "http://later.example/");  // the later line wins

  // What the page would not take is read as the default.
  WriteWholeFile(FileName(), "07=4294967396\n05= plain name\n04=http://a b/\n");
  ASSERT_TRUE(settings.Load());
  EXPECT_EQ(settings.refresh_rate_ms, 1000);  // 100 once wrapped modulo 2^32
  EXPECT_EQ(settings.contact_name.size(), 12u);
  EXPECT_EQ(settings.server_url, "http://localhost:8080/");
}

TEST_F(ConfigFile, ADamagedLineLeavesTheFieldAtItsDefaultOrEarlierValue) {
  CSettings writer = SettingsIn();
  std::string damaged = writer.EncipherValue("07=3000");
  damaged[10] = damaged[10] == 'A' ? 'B' : 'A';
  WriteWholeFile(FileName(),
                 writer.EncipherValue("08=300") + "\r\n" + damaged + "\r\n" + writer.EncipherValue("99=x") + "\r\n");
  CSettings settings = SettingsIn();
  ASSERT_TRUE(settings.Load());
  EXPECT_EQ(settings.refresh_rate_ms, 1000);
  EXPECT_EQ(settings.picture_size, 300u);
}

TEST_F(ConfigFile, TheDefaultFileNameIsResolvedInTheCurrentDirectory) {
  const test::ScopedCurrentDirectory in_dir(dir_.Path());
  CSettings settings;
  settings.contact_name = "here";
  ASSERT_TRUE(settings.Save());
  EXPECT_TRUE(std::filesystem::is_regular_file(dir_.Path() / "lumivanta.lic"));
  CSettings loaded;
  ASSERT_TRUE(loaded.Load());
  EXPECT_EQ(loaded.contact_name, "here");
}

TEST_F(ConfigFile, LoadFailsWhileAnotherOpenerHoldsTheFile) {
  CSettings settings = SettingsIn();
  ASSERT_TRUE(settings.Save());
  CFileStream holder;
  ASSERT_TRUE(holder.Open(FileName(), CFileStream::Access::kRead));
  EXPECT_FALSE(settings.Load());
  holder.Close();
  EXPECT_TRUE(settings.Load());
}

TEST_F(ConfigFile, SaveReplacesTheFileOwnerOnlyAndLeavesNoOtherFileBehind) {
  WriteWholeFile(FileName(), std::string(8000, 'x'));
  ::chmod(FileName().c_str(), 0644);
  CSettings settings = SettingsIn();
  ASSERT_TRUE(settings.Save());
  EXPECT_EQ(ReadWholeFile(FileName()).size(), 83u + 5 * 194u);
  struct stat info {};
  ASSERT_EQ(::stat(FileName().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);  // narrowed: it holds the upload key of a keyed server URL
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir_.Path())) {
    names.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(names, std::vector<std::string>{"lumivanta.lic"});
}

// A save that fails must leave the old file exactly as it was.
class FailingSave : public ConfigFile {
 protected:
  void SetUp() override {
    CSettings old = SettingsIn();
    old.contact_name = "old";
    ASSERT_TRUE(old.Save());
    old_content_ = ReadWholeFile(FileName());
  }
  void ExpectOldFileIntact() const {
    EXPECT_EQ(ReadWholeFile(FileName()), old_content_);
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir_.Path())) {
      ++files;
    }
    EXPECT_EQ(files, 1u) << "no partial file may stay behind";
  }
  // Runs a save in a child process, so that limits and identities can be
  // changed without touching the test process; the exit status is the result.
  template <typename Prepare>
  bool SaveInChild(Prepare prepare) const {
    const pid_t child = ::fork();
    if (child == 0) {
      prepare();
      CSettings settings = SettingsIn();
      settings.contact_name = "new";
      ::_exit(settings.Save() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }

  std::string old_content_;
};

TEST_F(FailingSave, AFullDiskLeavesTheOldFile) {
  const bool saved = SaveInChild([] {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{100, 100};  // room for the comment lines only
    ::setrlimit(RLIMIT_FSIZE, &limit);
  });
  EXPECT_FALSE(saved);
  ExpectOldFileIntact();
}

TEST_F(FailingSave, ADirectoryThatRefusesTheNewFileLeavesTheOldFile) {
  ::chmod(dir_.Path().c_str(), 0555);
  const bool saved = SaveInChild([] {
    // Root ignores directory permissions: take an ordinary identity first.
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
      ::_exit(2);
    }
  });
  ::chmod(dir_.Path().c_str(), 0755);
  EXPECT_FALSE(saved);
  ExpectOldFileIntact();
}

TEST_F(FailingSave, ADirectoryInPlaceOfTheFileIsLeftAlone) {
  std::filesystem::remove(FileName());
  std::filesystem::create_directory(FileName());
  CSettings settings = SettingsIn();
  EXPECT_FALSE(settings.Save());
  EXPECT_TRUE(std::filesystem::is_directory(FileName()));
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir_.Path())) {
    ++files;
  }
  EXPECT_EQ(files, 1u);
}

}  // namespace
}  // namespace lumivanta
