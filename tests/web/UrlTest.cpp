#include "web/Url.h"

#include <gtest/gtest.h>

namespace lumivanta {
namespace {

struct UrlCase {
  const char* url;
  const char* scheme;
  const char* host;
  int port;
  const char* path;
};

TEST(ParseUrl, GivesExactlyTheDocumentedParts) {
  const UrlCase cases[] = {
      {"http://example.org:8080/up/index.php?server&stream_name=abc", "http", "example.org", 8080,
       "/up/index.php?server&stream_name=abc"},
      {"example.org/pics", "http", "example.org", 80, "/pics"},
      {"localhost:8080/x", "http", "localhost", 8080, "/x"},
      {"http://example.org", "http", "example.org", 80, ""},
      {"https://example.org/x", "https", "example.org", 443, "/x"},
      {"HTTPS://example.org/x", "HTTPS", "example.org", 80, "/x"},
      {"http://example.org:81/a?b=c:d", "http", "example.org", 81, "/a?b=c:d"},
      // Further cases of the same rules.
      {"http://localhost:8080/?server&stream_name=a&fkt=end", "http", "localhost", 8080,
       "/?server&stream_name=a&fkt=end"},
      {"example.org", "http", "example.org", 80, ""},
      {"", "http", "", 80, ""},
      {"http://", "http", "", 80, ""},
      {"http://h:/x", "http", "h", 0, "/x"},
      {"http://h:99999999999/x", "http", "h", 999999, "/x"},
      // A query straight after the host is asked for under "/".
      {"http://myhost:8080?server&stream_name=abc", "http", "myhost", 8080, "/?server&stream_name=abc"},
      {"myhost?x", "http", "myhost", 80, "/?x"},
      {"https://h?a=b:c/d", "https", "h", 443, "/?a=b:c/d"},
      {"http://h/p?q", "http", "h", 80, "/p?q"},
  };
  for (const UrlCase& c : cases) {
    const ParsedUrl parsed = ParseUrl(c.url);
    EXPECT_EQ(parsed.scheme, c.scheme) << c.url;
    EXPECT_EQ(parsed.host, c.host) << c.url;
    EXPECT_EQ(parsed.port, c.port) << c.url;
    EXPECT_EQ(parsed.path, c.path) << c.url;
  }
}

}  // namespace
}  // namespace lumivanta
