// The server's keys: comparison, what a request's path allows, where keys are
// read from, and when the server refuses to start.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "server/AccessKeys.h"
#include "server/KeySetup.h"
#include "server/RequestAccess.h"
#include "server/RequestLog.h"
#include "tests/support/TempDir.h"

namespace lumivanta::server {
namespace {

constexpr std::string_view kUploadKey = "upload-KEY_0123456789";
constexpr std::string_view kViewKey = "view-KEY_01234567890";

TEST(AccessKeysTest, KeysMatchOnlyWhenEqualInFullAndAreUrlSafe) {
  EXPECT_TRUE(SameKey(kUploadKey, kUploadKey));
  for (const std::string_view other : {"", "upload-KEY_012345678", "upload-KEY_01234567890", "upload-KEY_0123456788",
                                       "Upload-KEY_0123456789", "upload-KEY_0123456789\n"}) {
    EXPECT_FALSE(SameKey(other, kUploadKey)) << other;
  }
  EXPECT_TRUE(IsWellFormedKey(std::string(16, 'a')));
  EXPECT_TRUE(IsWellFormedKey(std::string(256, '-')));
  for (const std::string& bad : {std::string(15, 'a'), std::string(257, 'a'), std::string(15, 'a') + ".",
                                 std::string(15, 'a') + "/", std::string(15, 'a') + "%", std::string(15, 'a') + " "}) {
    EXPECT_FALSE(IsWellFormedKey(bad)) << bad;
  }
}

struct Expected {
  std::string_view target;
  bool may_upload;
  bool may_view;
  std::string_view routed_target;
};

void ExpectAccess(const AccessKeys& keys, const std::vector<Expected>& cases) {
  for (const Expected& expected : cases) {
    const RequestAccess access = CheckAccess(expected.target, keys);
    EXPECT_EQ(access.may_upload, expected.may_upload) << expected.target;
    EXPECT_EQ(access.may_view, expected.may_view) << expected.target;
    EXPECT_EQ(access.routed_target, expected.routed_target) << expected.target;
  }
}

TEST(AccessKeysTest, ThePathsKeyDecidesWhatARequestMayDo) {
  SCOPED_TRACE("no keys: everything as without keys, and /u/ANY/ dropped");
  ExpectAccess({}, {{"/?server&stream_name=a", true, true, "/?server&stream_name=a"},
                    {"/u/anything/?server", true, true, "/?server"},
                    {"/u/x/pictures/a/latest.jpg", true, true, "/pictures/a/latest.jpg"},
                    {"/v/x/", true, true, "/v/x/"}});

  const AccessKeys upload_only{.upload_key = std::string(kUploadKey), .view_key = std::nullopt};
  SCOPED_TRACE("an upload key");
  ExpectAccess(upload_only,
               {{"/?server&stream_name=a", false, true, "/?server&stream_name=a"},
                {"/u/upload-KEY_0123456789/?server", true, true, "/?server"},
                {"/u/upload-KEY_0123456789?server", true, true, "?server"},
                {"/u/upload-KEY_0123456789/pictures/a/latest.json", true, true, "/pictures/a/latest.json"},
                {"/u/upload-KEY_012345678/?server", false, false, "/?server"},
                {"/u/upload-KEY_01234567890/?server", false, false, "/?server"},
                {"/u/upload%2DKEY_0123456789/?server", false, false, "/?server"},
                {"/u//?server", false, false, "/?server"},
                {"/x/u/upload-KEY_0123456789/?server", false, true, "/x/u/upload-KEY_0123456789/?server"}});

  const AccessKeys view_only{.upload_key = std::nullopt, .view_key = std::string(kViewKey)};
  SCOPED_TRACE("a view key");
  ExpectAccess(view_only, {{"/", true, false, "/"},
                           {"/pictures/a/latest.jpg", true, false, "/pictures/a/latest.jpg"},
                           {"/u/x/", true, false, "/"},
                           {"/v/view-KEY_01234567890/", true, true, "/"},
                           {"/v/view-KEY_01234567890", true, true, ""},
                           {"/v/view-KEY_0123456789/", false, false, "/"}});

  const AccessKeys both{.upload_key = std::string(kUploadKey), .view_key = std::string(kViewKey)};
  SCOPED_TRACE("both keys");
  ExpectAccess(both, {{"/", false, false, "/"},
                      {"/v/view-KEY_01234567890/?server", false, true, "/?server"},
                      {"/u/upload-KEY_0123456789/", true, true, "/"},
                      {"/u/view-KEY_01234567890/", false, false, "/"}});
}

TEST(AccessKeysTest, TheLogHidesUploadAndViewKeys) {
  EXPECT_EQ(TargetWithoutKeys("/v/view-KEY_01234567890/pictures/a/latest.jpg"), "/v/*/pictures/a/latest.jpg");
  EXPECT_EQ(TargetWithoutKeys("/v/view-KEY_01234567890?name=a"), "/v/*?name=a");
  EXPECT_EQ(TargetWithoutKeys("/u/upload-KEY_0123456789/?server&stream_name=a"), "/u/*/?server&stream_name=a");
  EXPECT_EQ(TargetWithoutKeys("/pictures/a/latest.json"), "/pictures/a/latest.json");
}

class KeySetupTest : public ::testing::Test {
 protected:
  // A key file with the given content and permissions.
  std::string KeyFile(std::string_view name, std::string_view content, mode_t mode = 0600) {
    const std::string file = directory_.File(name);
    test::WriteWholeFile(file, content);
    ::chmod(file.c_str(), mode);
    return file;
  }

  KeySetup Load(const ServerOptions& options) {
    return LoadAccessKeys(options, [this](const char* name) -> const char* {
      const auto found = environment_.find(name);
      return found == environment_.end() ? nullptr : found->second.c_str();
    });
  }

  test::TempDir directory_;
  std::map<std::string, std::string, std::less<>> environment_;
};

TEST_F(KeySetupTest, TheOptionsFileComesFirstThenTheCredentialThenTheEnvironment) {
  environment_[kUploadKeyVariable] = "environment-key-0123";
  environment_[kViewKeyVariable] = "";
  ServerOptions options;
  KeySetup setup = Load(options);
  ASSERT_EQ(setup.error, "");
  EXPECT_EQ(setup.keys.upload_key, "environment-key-0123");
  EXPECT_FALSE(setup.keys.view_key);  // an empty variable is no key

  // The service manager's credentials, with the group bits an access list may show.
  const test::TempDir credentials;
  test::WriteWholeFile(credentials.File("upload-key"), "credential-key-01234\n");
  ::chmod(credentials.File("upload-key").c_str(), 0440);
  environment_["CREDENTIALS_DIRECTORY"] = credentials.Path().string();
  setup = Load(options);
  ASSERT_EQ(setup.error, "");
  EXPECT_EQ(setup.keys.upload_key, "credential-key-01234");

  options.upload_key_file = KeyFile("upload", "  file-key-0123456789 \r\n");
  options.view_key_file = KeyFile("view", "view-file-key-012345");
  setup = Load(options);
  ASSERT_EQ(setup.error, "");
  EXPECT_EQ(setup.keys.upload_key, "file-key-0123456789");
  EXPECT_EQ(setup.keys.view_key, "view-file-key-012345");
}

TEST_F(KeySetupTest, UnusableKeysAreRefusedWithTheReason) {
  struct Refused {
    std::string what;
    std::string file;
    std::string expected_error;
  };
  const std::vector<Refused> refused = {
      {"readable by others", KeyFile("open", "file-key-0123456789", 0644), "chmod 600"},
      {"readable by the group", KeyFile("group", "file-key-0123456789", 0640), "chmod 600"},
      {"empty", KeyFile("empty", "\n"), "16 to 256 characters"},
      {"too short", KeyFile("short", "short-key"), "--new-key"},
      {"two lines", KeyFile("lines", "file-key-0123456789\nfile-key-0123456789\n"), "16 to 256 characters"},
      {"missing", directory_.File("missing"), "cannot read"},
      {"a directory", directory_.Path().string(), "not a regular file"},
  };
  for (const Refused& file : refused) {
    SCOPED_TRACE(file.what);
    ServerOptions options;
    options.view_key_file = file.file;
    const KeySetup setup = Load(options);
    EXPECT_NE(setup.error.find(file.expected_error), std::string::npos) << setup.error;
  }
  environment_[kUploadKeyVariable] = "key with spaces in it";
  EXPECT_NE(Load({}).error.find(kUploadKeyVariable), std::string::npos);
}

TEST(StartRefusalTest, BeyondLoopbackAnUploadKeyOrPublicIsNeeded) {
  const AccessKeys none;
  const AccessKeys upload{.upload_key = std::string(kUploadKey), .view_key = std::nullopt};
  ServerOptions options;
  for (const char* loopback : {"127.0.0.1", "127.3.2.1", "::1", "localhost"}) {
    options.host = loopback;
    EXPECT_EQ(RefusalToStart(options, none), "") << loopback;
  }
  for (const char* beyond : {"0.0.0.0", "::", "192.168.1.20", "::ffff:127.0.0.1", "myhost.example"}) {
    options.host = beyond;
    const std::string refusal = RefusalToStart(options, none);
    EXPECT_NE(refusal.find("--upload-key-file"), std::string::npos) << beyond;
    EXPECT_NE(refusal.find("--public"), std::string::npos) << beyond;
    EXPECT_EQ(RefusalToStart(options, upload), "") << beyond;
  }
  options.public_uploads = true;
  EXPECT_EQ(RefusalToStart(options, none), "");

  const AccessKeys same{.upload_key = std::string(kUploadKey), .view_key = std::string(kUploadKey)};
  options.host = "127.0.0.1";
  EXPECT_NE(RefusalToStart(options, same).find("differ"), std::string::npos);
}

}  // namespace
}  // namespace lumivanta::server
