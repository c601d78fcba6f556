// The requests of the Lumivanta program, byte for byte, against the real server.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "tests/support/RawHttp.h"
#include "tests/support/ServerProcess.h"
#include "tests/support/TestPictures.h"

namespace lumivanta::test {
namespace {

std::uint64_t NumberAfter(std::string_view text, std::string_view label) {
  const std::size_t at = text.find(label);
  return at == std::string_view::npos ? 0 : std::stoull(std::string(text.substr(at + label.size())));
}

class ProtocolTest : public ::testing::Test {
 protected:
  ServerProcess server_;
  int port_ = server_.Port();
};

TEST_F(ProtocolTest, UploadedPictureComesBackUnchangedAtTheNewestPictureAddress) {
  const std::string jpeg = FirstJpeg();
  ASSERT_EQ(ProgramMultipartBody(jpeg).size(), 166 + std::strlen("image/jpeg") + jpeg.size());

  const HttpAnswer upload = Exchange(port_, ProgramUpload(port_, "abc", jpeg));
  EXPECT_EQ(upload.status, 200);

  const HttpAnswer picture = NewestPicture(port_, "abc");
  EXPECT_EQ(picture.status, 200);
  EXPECT_TRUE(picture.HasHeader("Content-Type: image/jpeg"));
  EXPECT_TRUE(picture.HasHeader("Cache-Control: no-cache"));
  EXPECT_EQ(picture.body, jpeg);
  const std::size_t etag_at = picture.head.find("ETag: \"");
  ASSERT_NE(etag_at, std::string::npos) << picture.head;
  const std::string etag = picture.head.substr(etag_at + 6, picture.head.find("\r\n", etag_at) - etag_at - 6);
  const std::string sequence = std::to_string(NumberAfter(picture.head, "X-Picture-Sequence: "));

  // The sequence's own address keeps its picture for good; a cache that has it hears 304.
  const HttpAnswer kept = Get(port_, "/pictures/abc/" + sequence + ".jpg");
  EXPECT_EQ(kept.body, jpeg);
  EXPECT_TRUE(kept.HasHeader("ETag: " + etag));
  EXPECT_TRUE(kept.HasHeader("Cache-Control: public, max-age=31536000, immutable"));
  for (const std::string& target : {std::string("/pictures/abc/latest.jpg"), "/pictures/abc/" + sequence + ".jpg"}) {
    for (const std::string& if_none_match : {etag, "\"other\", W/" + etag, std::string("*")}) {
      const HttpAnswer revalidated =
          Exchange(port_, "GET " + target + " HTTP/1.1\r\nHost: x\r\nIf-None-Match: " + if_none_match + "\r\n\r\n");
      EXPECT_EQ(revalidated.status, 304) << target << " " << if_none_match;
      EXPECT_EQ(revalidated.body, "");
      EXPECT_TRUE(revalidated.HasHeader("ETag: " + etag));
    }
    EXPECT_EQ(Exchange(port_, "GET " + target + " HTTP/1.1\r\nHost: x\r\nIf-None-Match: \"other\"\r\n\r\n").body, jpeg);
  }
  // Another sequence is never this picture, nor a newer one.
  EXPECT_EQ(Get(port_, "/pictures/abc/1.jpg").status, 404);
  EXPECT_EQ(Get(port_, "/pictures/abc/" + sequence + "0.jpg").status, 404);
  EXPECT_EQ(Get(port_, "/pictures/abc/-1.jpg").status, 404);

  const HttpAnswer state = Get(port_, "/pictures/abc/latest.json");
  EXPECT_EQ(state.status, 200);
  EXPECT_NE(state.body.find("\"present\":true"), std::string::npos) << state.body;
  EXPECT_NE(state.body.find("\"bytes\":" + std::to_string(jpeg.size())), std::string::npos) << state.body;
}

TEST_F(ProtocolTest, AnyServerPathWorksAndANewerUploadReplacesThePicture) {
  ASSERT_EQ(Exchange(port_, ProgramUpload(port_, "Team_7-b", FirstJpeg(), "/up/index.php")).status, 200);
  const std::string first_state = Get(port_, "/pictures/Team_7-b/latest.json").body;
  ASSERT_EQ(Exchange(port_, ProgramUpload(port_, "Team_7-b", SecondJpeg(), "/up/index.php")).status, 200);

  EXPECT_EQ(NewestPicture(port_, "Team_7-b").body, SecondJpeg());
  const std::string second_state = Get(port_, "/pictures/Team_7-b/latest.json").body;
  EXPECT_NE(second_state, first_state);
  const std::string old_address = "/pictures/Team_7-b/" + std::to_string(NumberAfter(first_state, "\"sequence\":"));
  EXPECT_EQ(Get(port_, old_address + ".jpg").status, 404);

  // The same bytes again keep the picture's sequence, so its address and ETag stay good.
  ASSERT_EQ(Exchange(port_, ProgramUpload(port_, "Team_7-b", SecondJpeg(), "/up/index.php")).body, "ok");
  EXPECT_EQ(NumberAfter(Get(port_, "/pictures/Team_7-b/latest.json").body, "\"sequence\":"),
            NumberAfter(second_state, "\"sequence\":"));
}

TEST_F(ProtocolTest, BytesResemblingTheDelimiterRoundTrip) {
  const std::string tricky = TrickyBytes();
  ASSERT_EQ(Exchange(port_, ProgramUpload(port_, "abc", tricky)).status, 200);
  EXPECT_EQ(NewestPicture(port_, "abc").body, tricky);
}

TEST_F(ProtocolTest, DeleteAnswersExactlyConnectokAndForgetsThePicture) {
  ASSERT_EQ(Exchange(port_, ProgramUpload(port_, "abc", FirstJpeg())).status, 200);

  const TcpConnection connection(port_);
  connection.SendAll(ProgramDelete(port_, "abc"));
  const std::string raw = connection.ReceiveAll();
  ASSERT_TRUE(raw.starts_with("HTTP/1.1 200 ")) << raw;
  EXPECT_TRUE(raw.ends_with("\r\n\r\nconnectok")) << raw;
  EXPECT_NE(raw.find("Content-Length: 9\r\n"), std::string::npos) << raw;

  EXPECT_EQ(NewestPicture(port_, "abc").status, 404);
  const HttpAnswer state = Get(port_, "/pictures/abc/latest.json");
  EXPECT_EQ(state.status, 200);
  EXPECT_NE(state.body.find("\"present\":false"), std::string::npos) << state.body;

  // The connection test deletes a name that has no picture; it must still succeed.
  EXPECT_EQ(Exchange(port_, ProgramDelete(port_, "never-used", "/up/index.php")).body, "connectok");
}

TEST_F(ProtocolTest, ViewerPageIsServedAtTheRootWithOrWithoutAPresetName) {
  for (const char* target : {"/", "/?name=abc"}) {
    const HttpAnswer page = Get(port_, target);
    EXPECT_EQ(page.status, 200) << target;
    EXPECT_TRUE(page.HasHeader("Content-Type: text/html; charset=utf-8")) << target;
    EXPECT_NE(page.body.find("<label for=\"name\">"), std::string::npos) << target;
  }
  EXPECT_EQ(Get(port_, "/index.html").status, 404);
}

}  // namespace
}  // namespace lumivanta::test
