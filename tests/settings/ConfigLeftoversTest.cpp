// Replacement files that saves killed before their rename left behind are
// removed by the next save; nothing else in the directory is touched.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <map>
#include <string>

#include "settings/FileStream.h"
#include "settings/Settings.h"
#include "tests/support/TempDir.h"

namespace lumivanta {
namespace {

namespace fs = std::filesystem;
using test::ReadWholeFile;
using test::TempDir;
using test::WriteWholeFile;

// Every entry below a directory, with what it is: a file's content, or
// "<dir>", "<link:target>", "<fifo>".
std::map<std::string, std::string> Listing(const fs::path& root) {
  std::map<std::string, std::string> entries;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string name = fs::relative(entry.path(), root).string();
    if (entry.is_symlink()) {
      entries[name] = "<link:" + fs::read_symlink(entry.path()).string() + ">";
    } else if (entry.is_directory()) {
      entries[name] = "<dir>";
    } else if (entry.is_fifo()) {
      entries[name] = "<fifo>";
    } else {
      entries[name] = ReadWholeFile(entry.path().string());
    }
  }
  return entries;
}

class ConfigFileLeftovers : public ::testing::Test {
 protected:
  bool Save(const std::string& contact_name = "saved") const {
    CSettings settings;
    settings.file_name = FileName();
    settings.contact_name = contact_name;
    return settings.Save();
  }
  std::string LoadedContactName() const {
    CSettings settings;
    settings.file_name = FileName();
    return settings.Load() ? settings.contact_name : "<no file>";
  }
  std::string FileName() const { return dir_.File("lumivanta.lic"); }

  TempDir dir_;
};

TEST_F(ConfigFileLeftovers, LeftoversOfEarlierSavesAreRemoved) {
  ASSERT_TRUE(Save("old"));
  WriteWholeFile(dir_.File("lumivanta.lic.new-abcd1234"), "partial");
  WriteWholeFile(dir_.File("lumivanta.lic.new-00000000"), "");
  WriteWholeFile(dir_.File("lumivanta.lic.new-zzzzzzzz"), std::string(5000, 'z'));
  ::chmod(dir_.File("lumivanta.lic.new-zzzzzzzz").c_str(), 0400);
  // One left the way it happens: a save killed after writing, before its rename.
  const pid_t child = ::fork();
  if (child == 0) {
    CFileStream file;
    if (file.OpenReplacementFor(FileName()) && file.WriteLine("half written")) {
      ::raise(SIGKILL);
    }
    ::_exit(1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status));
  ASSERT_EQ(Listing(dir_.Path()).size(), 5u);

  ASSERT_TRUE(Save("new"));
  const auto entries = Listing(dir_.Path());
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries.begin()->first, "lumivanta.lic");
  EXPECT_EQ(LoadedContactName(), "new");
}

TEST_F(ConfigFileLeftovers, LookAlikesAndEverythingElseAreKept) {
  for (const char* name :
       {"lumivanta.lic.new-abcdefg", "lumivanta.lic.new-abcdefghi", "lumivanta.lic.new-ABCDEFGH",
        "lumivanta.lic.new-abcd_fgh", "lumivanta.lic.new-", "lumivanta.lic.old-abcdefgh",
        "lumivanta.lic.new-abcdefgh.bak", "xlumivanta.lic.new-abcdefgh", "other.lic.new-abcdefgh", "lumivanta.lic"}) {
    WriteWholeFile(dir_.File(name), name);
  }
  for (const char* name : {"lumivanta.lic.new-x", "lumivanta.lic.new-dirdirdi", "sub"}) {
    fs::create_directory(dir_.Path() / name);
  }
  WriteWholeFile(dir_.File("lumivanta.lic.new-x/other"), "inside");
  WriteWholeFile(dir_.File("lumivanta.lic.new-dirdirdi/other"), "inside");
  WriteWholeFile(dir_.File("sub/lumivanta.lic.new-abcdefgh"), "another directory");
  WriteWholeFile(dir_.File("target"), "the link's target");
  fs::create_symlink(dir_.File("target"), dir_.File("lumivanta.lic.new-linklink"));
  fs::create_symlink(dir_.File("missing"), dir_.File("lumivanta.lic.new-danglin1"));
  ASSERT_EQ(::mkfifo(dir_.File("lumivanta.lic.new-fifofifo").c_str(), 0600), 0);
  auto before = Listing(dir_.Path());

  ASSERT_TRUE(Save());
  auto after = Listing(dir_.Path());
  before.erase("lumivanta.lic");
  after.erase("lumivanta.lic");
  EXPECT_EQ(after, before);
  EXPECT_EQ(LoadedContactName(), "saved");
}

TEST_F(ConfigFileLeftovers, AReplacementStillBeingWrittenIsLeftAlone) {
  CFileStream writer;
  ASSERT_TRUE(writer.OpenReplacementFor(FileName()));
  ASSERT_TRUE(writer.WriteLine("in progress"));
  ASSERT_TRUE(Save());
  EXPECT_TRUE(fs::exists(writer.Name()));
  EXPECT_EQ(ReadWholeFile(writer.Name()), "in progress\r\n");

  // Once its writer is gone it is a leftover like any other.
  writer.Close();
  ASSERT_TRUE(Save());
  EXPECT_FALSE(fs::exists(writer.Name()));
}

TEST_F(ConfigFileLeftovers, ALeftoverThatCannotBeRemovedDoesNotFailTheSave) {
  // An ordinary user cannot open a leftover without permissions; root's
  // leftover in a sticky directory can be opened by another user, but not
  // removed, which root's test checks by saving as nobody.
  const std::string leftover = dir_.File("lumivanta.lic.new-stuck123");
  WriteWholeFile(leftover, "stuck");
  ::chmod(leftover.c_str(), ::geteuid() == 0 ? 0644 : 0);
  ::chmod(dir_.Path().c_str(), 01777);
  const pid_t child = ::fork();
  if (child == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
      ::_exit(2);
    }
    ::_exit(Save() ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ::chmod(dir_.Path().c_str(), 0700);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_TRUE(fs::exists(leftover));
  EXPECT_EQ(LoadedContactName(), "saved");
}

}  // namespace
}  // namespace lumivanta
