// The server's keys: their form, what a path allows where the server tests do
// not look, where keys are read from, and when the server refuses to start.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <string>
#include <string_view>
#include <utility>
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

TEST(AccessKeysTest, KeysAre16To256UrlSafeCharacters) {
  EXPECT_TRUE(IsWellFormedKey(std::string(16, 'a')));
  EXPECT_TRUE(IsWellFormedKey(std::string(256, '-')));
  for (const std::string& bad : {std::string(15, 'a'), std::string(257, 'a'), std::string(15, 'a') + ".",
                                 std::string(15, 'a') + "%", std::string(15, 'a') + " "}) {
    EXPECT_FALSE(IsWellFormedKey(bad)) << bad;
  }
}

// Without keys, and with a view key alone: uploads stay open on any path.
TEST(AccessKeysTest, WithoutAnUploadKeyAnyPathUploadsAndAViewKeyGuardsOnlyViewing) {
  struct Expected {
    std::string_view target;
    bool may_upload;
    bool may_view;
    std::string_view routed_target;
  };
  const AccessKeys view_only{.upload_key = std::nullopt, .view_key = std::string(kViewKey)};
  for (const auto& [keys, expected] :
       std::vector<std::pair<AccessKeys, Expected>>{{{}, {"/u/anything/?server", true, true, "/?server"}},
                                                    {{}, {"/v/x/", true, true, "/v/x/"}},
                                                    {view_only, {"/?server", true, false, "/?server"}},
                                                    {view_only, {"/u/x/", true, false, "/"}},
                                                    {view_only, {"/v/view-KEY_01234567890", true, true, ""}},
                                                    {view_only, {"/v/view-KEY_0123456789/", false, false, "/"}}}) {
    const RequestAccess access = CheckAccess(expected.target, keys);
    EXPECT_EQ(access.may_upload, expected.may_upload) << expected.target;
    EXPECT_EQ(access.may_view, expected.may_view) << expected.target;
    EXPECT_EQ(access.routed_target, expected.routed_target) << expected.target;
  }
}

// Wherever a client puts a key, and however it spells the prefix or the key.
TEST(AccessKeysTest, TheLogHidesEveryPathSegmentThatMayHoldAKey) {
  const std::string key = "Up1oad-key_0123456789abcdef";
  for (const auto& [target, logged] : std::vector<std::pair<std::string, std::string>>{
           {"/v/view-KEY_01234567890/pictures/a/latest.jpg", "/v/*/pictures/a/latest.jpg"},
           {"/v/view-KEY_01234567890?name=a", "/v/*?name=a"},
           {"/u/short/?server", "/u/*/?server"},
           {"/U/" + key + "/?server&stream_name=a", "/U/*/?server&stream_name=a"},
           {"/u//" + key + "/?server", "/u/*/*/?server"},
           {"/x/" + key + "/", "/x/*/"},
           {"/x/" + key, "/x/*"},
           {"/x/Up1oad%2Dkey_0123456789abcdef.jpg", "/x/*"},
           {"/pictures/a/latest.jpg", "/pictures/a/latest.jpg"},
           {"/?server&stream_name=name-of-twenty-chars", "/?server&stream_name=name-of-twenty-chars"}}) {
    EXPECT_EQ(TargetWithoutKeys(target), logged) << target;
  }
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
