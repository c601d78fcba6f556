// Where the screen cast's restore token is kept between runs, and the
// choice of the Wayland road from the session's environment.

#include "platform/wayland/RestoreToken.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/DesktopSession.h"
#include "tests/support/TempDir.h"

namespace lumivanta {
namespace {

TEST(RestoreToken, LivesInTheStateDirectoryAndFallsBackToTheHomeDirectory) {
  {
    const test::ScopedEnvironment state("XDG_STATE_HOME", "/state");
    EXPECT_EQ(RestoreTokenFile(), "/state/lumivanta/screencast-restore-token");
  }
  const test::ScopedEnvironment home("HOME", "/home/someone");
  for (const char* unusable : {"", "relative/state"}) {
    const test::ScopedEnvironment state("XDG_STATE_HOME", unusable);
    EXPECT_EQ(RestoreTokenFile(), "/home/someone/.local/state/lumivanta/screencast-restore-token");
  }
}

TEST(RestoreToken, IsKeptForTheUserOnlyReadBackAndRemovedWhenEmpty) {
  const test::TempDir directory;
  const std::filesystem::path file = directory.Path() / "lumivanta" / "screencast-restore-token";
  EXPECT_EQ(LoadRestoreToken(file), "");
  ASSERT_TRUE(SaveRestoreToken(file, "a1b2-c3d4"));
  EXPECT_EQ(LoadRestoreToken(file), "a1b2-c3d4");
  struct stat status {};
  ASSERT_EQ(::stat(file.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);

  ASSERT_TRUE(SaveRestoreToken(file, "e5f6"));
  EXPECT_EQ(LoadRestoreToken(file), "e5f6");
  ASSERT_TRUE(SaveRestoreToken(file, ""));
  EXPECT_FALSE(std::filesystem::exists(file));
  EXPECT_EQ(LoadRestoreToken(file), "");
}

TEST(RestoreToken, TextThatIsNoTokenIsNeitherKeptNorSent) {
  const test::TempDir directory;
  const std::filesystem::path file = directory.Path() / "token";
  EXPECT_FALSE(SaveRestoreToken(file, "two words"));
  test::WriteWholeFile(file.string(), std::string("bad\x01token\n"));
  EXPECT_EQ(LoadRestoreToken(file), "");
  EXPECT_EQ(LoadRestoreToken({}), "");
  EXPECT_FALSE(SaveRestoreToken({}, "token"));
}

TEST(DesktopSession, WaylandWhenItsDisplayIsNamedOrTheSessionTypeSaysSo) {
  EXPECT_TRUE(IsWaylandSession("wayland-0", nullptr));
  EXPECT_TRUE(IsWaylandSession(nullptr, "wayland"));
  EXPECT_TRUE(IsWaylandSession("/run/user/1000/wayland-1", "x11"));
  EXPECT_FALSE(IsWaylandSession(nullptr, "x11"));
  EXPECT_FALSE(IsWaylandSession("", "tty"));
  EXPECT_FALSE(IsWaylandSession(nullptr, nullptr));
}

}  // namespace
}  // namespace lumivanta
