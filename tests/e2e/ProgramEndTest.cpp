// How the real program ends when it is ended from outside: a termination
// signal takes the normal way (settings saved, delete request sent), and the
// X server going away under it still leaves the settings saved.

#include <signal.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "settings/Settings.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ProgramSession.h"
#include "tests/support/ServerProcess.h"
#include "tests/support/TempDir.h"
#include "tests/support/XvfbSession.h"

namespace lumivanta {
namespace {

using namespace std::chrono_literals;
using test::kMainWindowTitle;

class ProgramEndBySignal : public ::testing::TestWithParam<int> {};

TEST_P(ProgramEndBySignal, TakesTheNormalWaySavingAndDeleting) {
  test::ProgramSession session;
  session.StartProgram();
  ASSERT_TRUE(session.WaitShown(kMainWindowTitle));
  ASSERT_TRUE(session.Program().WaitForErrorText("tested successfully", 15s));
  session.Press("ctrl+p");
  ASSERT_TRUE(session.WaitForPictureAfter(0));
  ASSERT_TRUE(session.PressIn(test::kInformationTitle, "Return"));
  // The file is written anew at the end.
  const std::string configuration = session.Directory().File("lumivanta.lic");
  std::filesystem::remove(configuration);

  session.Program().Signal(GetParam());
  const test::ChildProcess::Finished finished = session.Program().WaitForExit(15s);
  EXPECT_EQ(finished.exit_code, 0) << finished.err;
  EXPECT_TRUE(std::filesystem::is_regular_file(configuration));
  EXPECT_FALSE(session.State().present);  // the delete request went out
}

INSTANTIATE_TEST_SUITE_P(Signals, ProgramEndBySignal, ::testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const auto& info) { return std::string(sigabbrev_np(info.param)); });

TEST(ProgramEnd, LosingTheXServerSavesTheSettings) {
  test::TempDir directory;
  test::ServerProcess server;
  CSettings settings;
  settings.file_name = directory.File("lumivanta.lic");
  settings.server_url = "http://127.0.0.1:" + std::to_string(server.Port()) + "/";
  settings.contact_name = "lost";
  settings.Save();

  auto xvfb = std::make_unique<test::XvfbSession>();
  test::ChildProcess program({LUMIVANTA_PROGRAM}, true, directory.Path().string(),
                             {"DISPLAY=" + xvfb->DisplayName(), "DBUS_SESSION_BUS_ADDRESS=disabled:",
                              "XDG_CONFIG_HOME=" + directory.File("config"), "http_proxy", "no_proxy=127.0.0.1"});
  ASSERT_TRUE(program.WaitForErrorText("tested successfully", 15s)) << program.ErrorOutput();
  std::filesystem::remove(settings.file_name);

  xvfb->Kill();
  const test::ChildProcess::Finished finished = program.WaitForExit(15s);
  EXPECT_NE(finished.exit_code, 0);  // it did not end the normal way
  CSettings saved;
  saved.file_name = settings.file_name;
  ASSERT_TRUE(saved.Load()) << finished.err;
  EXPECT_EQ(saved.contact_name, "lost");
}

}  // namespace
}  // namespace lumivanta
