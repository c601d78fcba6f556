// The requests of the Lumivanta program, byte for byte, against the real server.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <string_view>

#include "tests/support/RawHttp.h"
#include "tests/support/ServerProcess.h"
#include "tests/support/TestPictures.h"

namespace lumivanta::test {
namespace {

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

  // latest.jpg and the sequence's own address, kept for good, carry the bytes' digest as ETag and answer 304 to it.
  const std::string etag = picture.head.substr(picture.head.find("ETag: ") + 6, 34);
  const std::string sequence = picture.head.substr(picture.head.find("X-Picture-Sequence: ") + 20);
  const std::string kept = "/pictures/abc/" + std::to_string(std::stoull(sequence)) + ".jpg";
  EXPECT_TRUE(Get(port_, kept).HasHeader("Cache-Control: public, max-age=31536000, immutable"));
  for (const std::string& target : {std::string("/pictures/abc/latest.jpg"), kept}) {
    for (const std::string& tags : {etag, "\"other\", W/" + etag, std::string("\"other\"")}) {
      const HttpAnswer answer = Exchange(
          port_, "GET " + target + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\nIf-None-Match: " + tags + "\r\n\r\n");
      EXPECT_EQ(answer.status, tags == "\"other\"" ? 200 : 304) << target << tags;
      EXPECT_EQ(answer.body, tags == "\"other\"" ? jpeg : "");
      EXPECT_TRUE(answer.HasHeader("ETag: " + etag)) << answer.head;
    }
  }
  EXPECT_EQ(Get(port_, "/pictures/abc/1.jpg").status, 404);  // no other sequence names this picture

  const HttpAnswer state = Get(port_, "/pictures/abc/latest.json");
  EXPECT_EQ(state.status, 200);
  EXPECT_NE(state.body.find("\"present\":true"), std::string::npos) << state.body;
  EXPECT_NE(state.body.find("\"bytes\":" + std::to_string(jpeg.size())), std::string::npos) << state.body;
}

TEST_F(ProtocolTest, AnyServerPathWorksAndANewerUploadReplacesThePicture) {
  ASSERT_EQ(Exchange(port_, ProgramUpload(port_, "Team_7-b", FirstJpeg(), "/up/index.php")).status, 200);
  const std::string first_state = Get(port_, "/pictures/Team_7-b/latest.json").body;
  // A name given twice counts as its first value.
  ASSERT_EQ(Exchange(port_, ProgramUpload(port_, "Team_7-b&stream_name=other", SecondJpeg(), "/up/index.php")).status,
            200);

  EXPECT_EQ(NewestPicture(port_, "Team_7-b").body, SecondJpeg());
  EXPECT_EQ(NewestPicture(port_, "other").status, 404);
  EXPECT_NE(Get(port_, "/pictures/Team_7-b/latest.json").body, first_state);
}

TEST_F(ProtocolTest, BytesResemblingTheDelimiterRoundTrip) {
  const std::string tricky = TrickyBytes();
  ASSERT_EQ(Exchange(port_, ProgramUpload(port_, "abc", tricky)).status, 200);
  EXPECT_EQ(NewestPicture(port_, "abc").body, tricky);

  // The picture as the later part of a body mostly made of another.
  const std::string field = "--" + std::string(kProgramBoundary) +
                            "\r\nContent-Disposition: form-data; name=\"note\"\r\n\r\n" + std::string(50'000, 'n') +
                            "\r\n";
  ASSERT_EQ(Exchange(port_, PostRequest(port_, "/?server&stream_name=abc",
                                        "multipart/form-data; boundary=" + std::string(kProgramBoundary),
                                        field + ProgramMultipartBody(FirstJpeg())))
                .status,
            200);
  EXPECT_EQ(NewestPicture(port_, "abc").body, FirstJpeg());
}

// A picture sent more than once goes out from a memory file of its bytes:
// every fetch, on new connections and one after the other on one
// connection, must still carry exactly the newest picture.
TEST_F(ProtocolTest, PicturesFetchedAgainAndAgainComeBackWholeEachTime) {
  std::mt19937 random(7);
  for (const std::size_t size : {std::size_t{20'000}, std::size_t{3'000'000}}) {
    for (int version = 0; version < 2; ++version) {
      std::string picture(size, '\0');
      std::ranges::generate(picture, [&] { return static_cast<char>(random()); });
      ASSERT_EQ(Exchange(port_, ProgramUpload(port_, "abc", picture)).status, 200);
      for (int fetch = 0; fetch < 3; ++fetch) {
        EXPECT_TRUE(NewestPicture(port_, "abc").body == picture) << size << " bytes, fetch " << fetch;
      }
      const HttpAnswer head = Exchange(port_, "HEAD /pictures/abc/latest.jpg HTTP/1.0\r\nHost: x\r\n\r\n");
      EXPECT_TRUE(head.HasHeader("Content-Length: " + std::to_string(size))) << head.head;
      EXPECT_EQ(head.body, "");

      TcpConnection connection(port_);
      const std::string fetch = "GET /pictures/abc/latest.jpg HTTP/1.1\r\nHost: x\r\n";
      connection.SendAll(fetch + "\r\n" + fetch + "\r\n" + fetch + "Connection: close\r\n\r\n");
      const std::string received = connection.ReceiveAll();
      std::string_view answers = received;
      for (int answer = 0; answer < 3; ++answer) {
        const std::size_t header_end = answers.find("\r\n\r\n");
        ASSERT_NE(header_end, std::string_view::npos) << "answer " << answer;
        const std::size_t body_start = header_end + 4;
        ASSERT_GE(answers.size(), body_start + size) << "answer " << answer;
        EXPECT_TRUE(answers.substr(body_start, size) == picture) << size << " bytes, kept-alive answer " << answer;
        answers.remove_prefix(body_start + size);
      }
      EXPECT_EQ(answers, "");
    }
  }
}

// Uploads sent back to back on one kept-alive connection, a small one whose
// body comes with its header and a large one read in many pieces, are each
// read to their last byte and no further.
TEST_F(ProtocolTest, UploadsSentBackToBackOnOneConnectionAreEachStoredWhole) {
  std::mt19937 random(11);
  std::string large(1'000'000, '\0');
  std::ranges::generate(large, [&] { return static_cast<char>(random()); });
  const auto kept_alive = [](std::string request) {
    return request.replace(request.find(" HTTP/1.0\r\n"), 11, " HTTP/1.1\r\n");
  };
  TcpConnection connection(port_);
  connection.SendAll(kept_alive(ProgramUpload(port_, "small", FirstJpeg())) +
                     kept_alive(ProgramUpload(port_, "large", large)) +
                     "GET /pictures/small/latest.jpg HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
  const std::string received = connection.ReceiveAll();
  std::size_t answers = 0;
  for (std::size_t at = received.find("HTTP/1.1 200 "); at != std::string::npos;
       at = received.find("HTTP/1.1 200 ", at + 1)) {
    ++answers;
  }
  EXPECT_EQ(answers, 3U) << received.substr(0, 400);
  EXPECT_TRUE(received.ends_with(FirstJpeg()));
  EXPECT_TRUE(NewestPicture(port_, "large").body == large);
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
