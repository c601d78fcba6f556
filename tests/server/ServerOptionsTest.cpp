#include "server/ServerOptions.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace lumivanta::server {
namespace {

CommandLine Parse(std::vector<std::string_view> arguments) { return ParseCommandLine(arguments); }

TEST(ServerOptionsTest, DefaultsToLocalPort8080InMemory) {
  const CommandLine parsed = Parse({});
  EXPECT_EQ(parsed.action, CommandLine::Action::kRun);
  EXPECT_EQ(parsed.options.host, "127.0.0.1");
  EXPECT_EQ(parsed.options.port, 8080);
  EXPECT_FALSE(parsed.options.store_directory);
}

TEST(ServerOptionsTest, ReadsListenAddressesInBothSpellings) {
  const CommandLine separate = Parse({"--listen", "0.0.0.0:0", "--store", "/tmp/pictures", "--verbose"});
  ASSERT_EQ(separate.action, CommandLine::Action::kRun) << separate.error;
  EXPECT_EQ(separate.options.host, "0.0.0.0");
  EXPECT_EQ(separate.options.port, 0);
  EXPECT_EQ(separate.options.store_directory, "/tmp/pictures");
  EXPECT_TRUE(separate.options.verbose);

  const CommandLine joined = Parse({"--listen=[::1]:65535"});
  ASSERT_EQ(joined.action, CommandLine::Action::kRun) << joined.error;
  EXPECT_EQ(joined.options.host, "::1");
  EXPECT_EQ(joined.options.port, 65535);
}

TEST(ServerOptionsTest, RefusesUnknownOptionsAndBadValues) {
  const std::vector<std::vector<std::string_view>> refused = {{"--port", "80"},
                                                              {"serve"},
                                                              {"--listen"},
                                                              {"--listen", "8080"},
                                                              {"--listen", ":80"},
                                                              {"--listen", "localhost:65536"},
                                                              {"--listen", "localhost:-1"},
                                                              {"--listen", "localhost:80x"},
                                                              {"--store="},
                                                              {"--verbose=yes"}};
  for (const auto& arguments : refused) {
    const CommandLine parsed = Parse(arguments);
    EXPECT_EQ(parsed.action, CommandLine::Action::kFail) << arguments.front();
    EXPECT_FALSE(parsed.error.empty());
  }
  EXPECT_EQ(Parse({"--listen", "1.2.3.4:5", "--help"}).action, CommandLine::Action::kShowHelp);
}

}  // namespace
}  // namespace lumivanta::server
