#include "publish/ServerProtocol.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "strings/StringTable.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/RecordingLog.h"

namespace lumivanta {
namespace {

using test::HttpResponse;
using test::LoopbackServer;
using test::RecordingLog;

CSettings SettingsFor(const LoopbackServer& server, std::string_view contact_name = "abc") {
  CSettings settings;
  settings.server_url = server.Url("/");
  settings.contact_name = contact_name;
  settings.UpdateServerAddresses();
  return settings;
}

TEST(ServerProtocol, AnswersOtherThanExactlyConnectokClearTheFlag) {
  for (const char* answer :
       {"connectok\n", "connectok\r\n", "CONNECTOK", " connectok", "connectok.", "", "connect", "error"}) {
    LoopbackServer server(HttpResponse("200 OK", answer));
    CSettings settings = SettingsFor(server);
    settings.connected = true;
    EXPECT_FALSE(TestConnection(settings)) << answer;
    EXPECT_FALSE(settings.connected) << answer;
  }
  // A server error with the right body is reachable.
  LoopbackServer server(HttpResponse("500 Internal Server Error", "connectok"));
  CSettings settings = SettingsFor(server);
  EXPECT_TRUE(TestConnection(settings));
}

TEST(ServerProtocol, DeletePicturesLogsTheFailureWithoutTimeStampAndKeepsTheFlag) {
  LoopbackServer server(HttpResponse("200 OK", "no"));
  CSettings settings = SettingsFor(server);
  settings.connected = true;
  RecordingLog log;
  EXPECT_FALSE(DeletePictures(settings, log));
  EXPECT_TRUE(settings.connected);
  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_EQ(log.lines[0], std::make_pair(ids::kConnectionFailed, false));

  LoopbackServer good(HttpResponse("200 OK", "connectok"));
  RecordingLog quiet;
  EXPECT_TRUE(DeletePictures(SettingsFor(good), quiet));
  EXPECT_TRUE(quiet.lines.empty());
}

}  // namespace
}  // namespace lumivanta
