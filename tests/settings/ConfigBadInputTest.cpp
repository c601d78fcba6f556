// Files that no build of the program writes: nothing may crash, and nothing
// may be read or written out of bounds (the sanitizer build checks the latter).

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>

#include "settings/Settings.h"
#include "tests/support/TempDir.h"

namespace lumivanta {
namespace {

using test::TempDir;
using test::WriteWholeFile;

class BadInput : public ::testing::Test {
 protected:
  bool LoadFrom(std::string_view content) {
    WriteWholeFile(dir_.File("lumivanta.lic"), content);
    return Load();
  }
  bool Load() {
    settings_ = CSettings();
    settings_.file_name = dir_.File("lumivanta.lic");
    return settings_.Load();
  }
  void ExpectDefaults() const {
    EXPECT_EQ(settings_.server_url, "http://localhost:8080/");
    EXPECT_EQ(settings_.picture_quality, 0u);
    EXPECT_EQ(settings_.picture_size, 600u);
    EXPECT_EQ(settings_.refresh_rate_ms, 1000);
  }

  TempDir dir_;
  CSettings settings_;
};

TEST_F(BadInput, EmptyFileLoadsTheDefaults) {
  EXPECT_TRUE(LoadFrom(""));
  ExpectDefaults();
}

TEST_F(BadInput, OnlyTheFirst6000BytesAreRead) {
  std::string content(5993, ';');
  content += "\n07=8000\n";  // starts at byte 5995: "07=800" lies inside the limit
  content += std::string(20000, 'x');
  content += "\n08=300\n";
  EXPECT_TRUE(LoadFrom(content));
  EXPECT_EQ(settings_.refresh_rate_ms, 800);
  EXPECT_EQ(settings_.picture_size, 600u);
}

TEST_F(BadInput, NulBytesEndTheText) {
  EXPECT_TRUE(LoadFrom(std::string("07=2000\n\0\n08=300\n", 18)));
  EXPECT_EQ(settings_.refresh_rate_ms, 2000);
  EXPECT_EQ(settings_.picture_size, 600u);
}

TEST_F(BadInput, BinaryGarbageChangesNothingKnown) {
  std::mt19937 random(99);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int round = 0; round < 50; ++round) {
    std::string content(7000, '\0');
    for (char& c : content) {
      c = static_cast<char>(byte(random));
    }
    LoadFrom(content);
  }
  // Garbage that happens to hold no key line at all.
  EXPECT_TRUE(LoadFrom(std::string(3000, '\xff') + "\n" + std::string(192, 'G')));
  ExpectDefaults();
}

TEST_F(BadInput, LinesAroundTheStoredLength) {
  const CSettings writer;
  const std::string stored = writer.EncipherValue("07=2000");
  ASSERT_EQ(stored.size(), 192u);
  EXPECT_TRUE(LoadFrom(stored.substr(0, 191) + "\n"));
  ExpectDefaults();
  EXPECT_TRUE(LoadFrom(stored + "\n"));
  EXPECT_EQ(settings_.refresh_rate_ms, 2000);
  EXPECT_TRUE(LoadFrom(stored + "F\n"));  // 193: half the length is still 96
  EXPECT_EQ(settings_.refresh_rate_ms, 2000);
  EXPECT_TRUE(LoadFrom(std::string(10000, 'A') + "\n" + stored + "\n"));
  EXPECT_EQ(settings_.refresh_rate_ms, 1000);  // the stored line lies beyond 6000 bytes
  EXPECT_TRUE(LoadFrom(stored + "\n" + std::string(10000, '7') + "\n"));
  EXPECT_EQ(settings_.refresh_rate_ms, 2000);
  // A plain line of 191 characters is taken as it stands.
  EXPECT_TRUE(LoadFrom("05=" + std::string(188, 'n') + "\n"));
  EXPECT_EQ(settings_.contact_name, std::string(188, 'n'));
}

TEST_F(BadInput, LowerCaseHexIsNotTheLineItCameFrom) {
  const CSettings writer;
  std::string stored = writer.EncipherValue("07=2000");
  for (char& c : stored) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  EXPECT_TRUE(LoadFrom(stored + "\r\n"));
  EXPECT_EQ(settings_.refresh_rate_ms, 1000);
}

TEST_F(BadInput, ADirectoryOrAFifoNamedLikeTheFileIsNoFile) {
  std::filesystem::create_directory(dir_.File("lumivanta.lic"));
  EXPECT_FALSE(Load());
  ExpectDefaults();
  std::filesystem::remove(dir_.File("lumivanta.lic"));
  ASSERT_EQ(::mkfifo(dir_.File("lumivanta.lic").c_str(), 0600), 0);
  EXPECT_FALSE(Load());  // at once: nobody writes into the FIFO
  ExpectDefaults();
}

// One wrong hex digit or one stray byte deciphers to junk: under a known key
// it becomes the default, never a value the settings page would refuse.
TEST_F(BadInput, ADamagedFileGivesItsValuesOrTheDefaultsNeverJunk) {
  CSettings writer;
  writer.file_name = dir_.File("lumivanta.lic");
  writer.server_url = "http://pictures.example.org/u/Upload-key_0123456789/";
  writer.contact_name = "Damaged_name";
  writer.refresh_rate_ms = 2500;
  ASSERT_TRUE(writer.Save());
  const std::string good = test::ReadWholeFile(writer.file_name);
  std::mt19937 random(20);
  for (int round = 0; round < 100; ++round) {
    std::string damaged = good;
    const std::size_t at = 83 + random() % (good.size() - 85);  // in the stored lines
    if (round % 2 == 0) {
      damaged[at] = damaged[at] == '7' ? 'C' : '7';
    } else {
      damaged.insert(at, 1, static_cast<char>(random()));
    }
    LoadFrom(damaged);
    const CSettings& read = settings_;
    EXPECT_TRUE((read.server_url == writer.server_url || read.server_url == "http://localhost:8080/") &&
                (read.contact_name == writer.contact_name ||
                 read.contact_name.find_first_not_of("0123456789") == std::string::npos) &&
                (read.refresh_rate_ms == 2500 || read.refresh_rate_ms == 1000) && read.picture_quality == 0 &&
                read.picture_size == 600)
        << round;
  }
}

TEST_F(BadInput, AnUnreadableFileIsLikeNoFile) {
  WriteWholeFile(dir_.File("lumivanta.lic"), "07=2000\n");
  ::chmod(dir_.File("lumivanta.lic").c_str(), 0);
  ::chmod(dir_.Path().c_str(), 0755);
  // Root reads everything: check from an ordinary identity then.
  const pid_t child = ::fork();
  if (child == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
      ::_exit(3);
    }
    CSettings settings;
    settings.file_name = dir_.File("lumivanta.lic");
    const bool loaded = settings.Load();
    ::_exit(!loaded && settings.refresh_rate_ms == 1000 ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace lumivanta
