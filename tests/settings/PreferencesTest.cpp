#include "settings/Preferences.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>

#include "tests/support/TempDir.h"

namespace lumivanta {
namespace {

namespace fs = std::filesystem;
using test::ReadWholeFile;
using test::TempDir;
using test::WriteWholeFile;

mode_t ModeOf(const fs::path& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

class PreferencesFileTest : public ::testing::Test {
 protected:
  PreferencesFileTest() { old_umask_ = ::umask(022); }
  ~PreferencesFileTest() override { ::umask(old_umask_); }

  std::string Path() const { return dir_.File("lumivanta/preferences"); }
  Preferences Loaded() const {
    Preferences preferences(Path());
    EXPECT_TRUE(preferences.Load());
    return preferences;
  }

  TempDir dir_;
  mode_t old_umask_ = 0;
};

TEST_F(PreferencesFileTest, ThePathFollowsXdgConfigHomeThenHome) {
  EXPECT_EQ(PreferencesPathFor("/x/cfg", "/home/u"), "/x/cfg/lumivanta/preferences");
  EXPECT_EQ(PreferencesPathFor("/x/cfg/", "/home/u"), "/x/cfg/lumivanta/preferences");
  EXPECT_EQ(PreferencesPathFor(nullptr, "/home/u"), "/home/u/.config/lumivanta/preferences");
  EXPECT_EQ(PreferencesPathFor("", "/home/u/"), "/home/u/.config/lumivanta/preferences");
  EXPECT_EQ(PreferencesPathFor("relative/cfg", "/home/u"), "/home/u/.config/lumivanta/preferences");
  EXPECT_EQ(PreferencesPathFor(nullptr, "/"), "/.config/lumivanta/preferences");
  EXPECT_EQ(PreferencesPathFor(nullptr, nullptr), "");
  EXPECT_EQ(PreferencesPathFor("", "relative"), "");
}

TEST_F(PreferencesFileTest, WithoutAFileLoadGivesTheDefaultsAndWritesNothing) {
  Preferences preferences(Path());
  preferences.global_hotkeys = false;
  EXPECT_TRUE(preferences.Load());
  EXPECT_TRUE(preferences.global_hotkeys);
  EXPECT_FALSE(fs::exists(dir_.Path() / "lumivanta"));

  Preferences homeless{std::string()};
  EXPECT_TRUE(homeless.Load());
  EXPECT_FALSE(homeless.Save());
}

TEST_F(PreferencesFileTest, SaveAndLoadRoundTrip) {
  Preferences preferences(Path());
  preferences.global_hotkeys = false;
  ASSERT_TRUE(preferences.Save());
  EXPECT_EQ(ReadWholeFile(Path()), "global-hotkeys=off\nnotifications=on\nnotification-hold=on\n");
  EXPECT_FALSE(Loaded().global_hotkeys);
  EXPECT_TRUE(Loaded().notifications);
  EXPECT_TRUE(Loaded().hold_notifications);

  preferences.global_hotkeys = true;
  preferences.notifications = false;
  preferences.hold_notifications = false;
  ASSERT_TRUE(preferences.Save());
  EXPECT_EQ(ReadWholeFile(Path()), "global-hotkeys=on\nnotifications=off\nnotification-hold=off\n");
  EXPECT_TRUE(Loaded().global_hotkeys);
  EXPECT_FALSE(Loaded().notifications);
  EXPECT_FALSE(Loaded().hold_notifications);
}

TEST_F(PreferencesFileTest, HandWrittenValuesAreRead) {
  fs::create_directory(dir_.Path() / "lumivanta");
  for (const char* off : {"global-hotkeys=off", "  global-hotkeys = No \r", "global-hotkeys=FALSE", "global-hotkeys=0",
                          "global-hotkeys=on\nglobal-hotkeys=off", "global-hotkeys=off\nglobal-hotkeys=sometimes"}) {
    WriteWholeFile(Path(), off);
    EXPECT_FALSE(Loaded().global_hotkeys) << off;
  }
  for (const char* on : {"global-hotkeys=yes", "global-hotkeys=1", "#global-hotkeys=off", "global-hotkeys off",
                         "global-hotkeys=", "global-hotkeys=offf", "Global-Hotkeys=off", ""}) {
    WriteWholeFile(Path(), on);
    EXPECT_TRUE(Loaded().global_hotkeys) << on;
  }
  // A viewer key that the server would not take is no viewer key.
  WriteWholeFile(Path(), " viewer-key = View-key_0123456789\nviewer-key=short\n");
  EXPECT_EQ(Loaded().viewer_key, "View-key_0123456789");
}

TEST_F(PreferencesFileTest, LinesNotUnderstoodAreWrittenBackAsTheyWere) {
  fs::create_directory(dir_.Path() / "lumivanta");
  const std::string kept_before =
      "# written by a newer version\n"
      "notifications=off\n"
      "notification-hold=on\n"
      "viewer-key=View-key_0123456789\n"
      "tray-icon=off\n"
      "\n"
      "future key with spaces = a=b # not a comment\n"
      "a line without equals sign\r\n"
      "global-hotkeys=ask\n";
  const std::string kept_after = "\tcolour=#ff0000\n  # indented comment";
  WriteWholeFile(Path(), kept_before + "global-hotkeys = OFF\n" + kept_after);
  Preferences preferences = Loaded();
  EXPECT_FALSE(preferences.global_hotkeys);
  EXPECT_FALSE(preferences.notifications);
  EXPECT_EQ(preferences.viewer_key, "View-key_0123456789");

  // An unchanged value keeps its line untouched; a changed one is rewritten in place.
  ASSERT_TRUE(preferences.Save());
  EXPECT_EQ(ReadWholeFile(Path()), kept_before + "global-hotkeys = OFF\n" + kept_after + "\n");
  preferences.global_hotkeys = true;
  ASSERT_TRUE(preferences.Save());
  EXPECT_EQ(ReadWholeFile(Path()), kept_before + "global-hotkeys=on\n" + kept_after + "\n");

  // A preference the file has no line for is added at its end.
  WriteWholeFile(Path(), kept_before);
  preferences = Loaded();
  preferences.global_hotkeys = false;
  ASSERT_TRUE(preferences.Save());
  EXPECT_EQ(ReadWholeFile(Path()), kept_before + "global-hotkeys=off\n");
  EXPECT_FALSE(Loaded().global_hotkeys);
}

TEST_F(PreferencesFileTest, SaveMakesPrivateDirectoriesAndFileAndNarrowsAFilesMode) {
  const fs::path home = dir_.Path() / "home";
  fs::create_directory(home);
  Preferences preferences(PreferencesPathFor(nullptr, home.c_str()));
  ASSERT_TRUE(preferences.Save());
  EXPECT_EQ(ModeOf(home / ".config"), 0700u);
  EXPECT_EQ(ModeOf(home / ".config/lumivanta"), 0700u);
  EXPECT_EQ(ModeOf(home / ".config/lumivanta/preferences"), 0600u);

  ::chmod((home / ".config/lumivanta/preferences").c_str(), 0644);
  ::chmod((home / ".config/lumivanta").c_str(), 0750);
  ASSERT_TRUE(preferences.Save());
  EXPECT_EQ(ModeOf(home / ".config/lumivanta"), 0750u);
  EXPECT_EQ(ModeOf(home / ".config/lumivanta/preferences"), 0600u);
  EXPECT_EQ(std::distance(fs::directory_iterator(home / ".config/lumivanta"), fs::directory_iterator()), 1);
}

TEST_F(PreferencesFileTest, FailuresReturnFalseAndDamageNothing) {
  // A file where the directory should be.
  WriteWholeFile(dir_.File("lumivanta"), "in the way");
  Preferences blocked(Path());
  EXPECT_TRUE(blocked.Load());
  EXPECT_FALSE(blocked.Save());
  EXPECT_EQ(ReadWholeFile(dir_.File("lumivanta")), "in the way");
  fs::remove(dir_.File("lumivanta"));

  // A directory or a FIFO in place of the file: Load does not hang, neither is replaced.
  fs::create_directories(Path());
  Preferences preferences(Path());
  EXPECT_FALSE(preferences.Load());
  EXPECT_FALSE(preferences.Save());
  EXPECT_TRUE(fs::is_directory(Path()));
  fs::remove(Path());
  ASSERT_EQ(::mkfifo(Path().c_str(), 0600), 0);
  EXPECT_FALSE(preferences.Load());
  EXPECT_TRUE(preferences.global_hotkeys);
  fs::remove(Path());

  // A write that fails halfway leaves the old file and nothing else.
  WriteWholeFile(Path(), "global-hotkeys=on\nkept=1\n");
  const pid_t child = ::fork();
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{5, 5};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    Preferences writer(Path());
    writer.Load();
    writer.global_hotkeys = false;
    ::_exit(writer.Save() ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
  EXPECT_EQ(ReadWholeFile(Path()), "global-hotkeys=on\nkept=1\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_.Path() / "lumivanta"), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace lumivanta
