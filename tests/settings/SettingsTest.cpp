#include "settings/Settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <limits>
#include <string>
#include <tuple>

#include "settings/ViewerAddress.h"
#include "strings/StringTable.h"

namespace lumivanta {
namespace {

// Runs a test body under a fixed time zone.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone) {
    if (const char* old = std::getenv("TZ")) {
      previous_ = old;
      had_previous_ = true;
    }
    ::setenv("TZ", zone, 1);
    ::tzset();
  }
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;
  ~ScopedTimeZone() {
    if (had_previous_) {
      ::setenv("TZ", previous_.c_str(), 1);
    } else {
      ::unsetenv("TZ");
    }
    ::tzset();
  }

 private:
  std::string previous_;
  bool had_previous_ = false;
};

std::time_t Utc(int year, int month, int day, int hour, int minute, int second) {
  std::tm when{};
  when.tm_year = year - 1900;
  when.tm_mon = month - 1;
  when.tm_mday = day;
  when.tm_hour = hour;
  when.tm_min = minute;
  when.tm_sec = second;
  return ::timegm(&when);
}

TEST(Settings, DefaultContactNameIsTheLocalTimeInTwelveDigits) {
  const ScopedTimeZone utc("UTC0");
  EXPECT_EQ(DefaultContactName(Utc(2008, 1, 15, 14, 30, 5)), "080115143005");
  EXPECT_EQ(DefaultContactName(Utc(2027, 3, 1, 9, 7, 5)), "270301090705");
  // Different seconds give different names, the same second equal ones.
  const std::time_t now = Utc(2026, 12, 8, 23, 59, 59);
  EXPECT_NE(DefaultContactName(now), DefaultContactName(now + 1));
  EXPECT_EQ(DefaultContactName(now), DefaultContactName(now));
  // A time that local time cannot express gives an empty name.
  EXPECT_EQ(DefaultContactName(std::numeric_limits<std::time_t>::max()), "");
  {
    const ScopedTimeZone berlin("CET-1");
    EXPECT_EQ(DefaultContactName(Utc(2008, 1, 15, 14, 30, 5)), "080115153005");
  }
}

TEST(Settings, AFreshRecordHasTheDefaultsAndSetDefaultsKeepsFileKeyEncipherAndConnectedFlag) {
  // The file and the key that existing configuration files were written with.
  const CSettings fresh;
  EXPECT_EQ(fresh.file_name, "lumivanta.lic");
  EXPECT_EQ(fresh.key_text, "KRT3(#mx58qd7.Jz");
  EXPECT_TRUE(fresh.encipher);
  EXPECT_FALSE(fresh.connected);
  // A contact name of the local time, already in the upload address.
  EXPECT_EQ(fresh.contact_name.size(), 12u);
  EXPECT_TRUE(fresh.upload_address.ends_with("=" + fresh.contact_name));

  CSettings settings;
  settings.file_name = "other.lic";
  settings.encipher = false;
  settings.key_text = "0123456789abcdef";
  settings.connected = true;
  settings.server_url = "http://example.org/";
  settings.contact_name = "abc";
  settings.picture_quality = 2;
  settings.picture_size = 768;
  settings.refresh_rate_ms = 100;
  settings.SetDefaults();
  EXPECT_EQ(settings.file_name, "other.lic");
  EXPECT_FALSE(settings.encipher);
  EXPECT_EQ(settings.key_text, "0123456789abcdef");
  EXPECT_TRUE(settings.connected);
  EXPECT_EQ(settings.server_url, "http://localhost:8080/");
  EXPECT_NE(settings.contact_name, "abc");
  EXPECT_EQ(settings.picture_quality, 0u);
  EXPECT_EQ(settings.picture_size, 600u);
  EXPECT_EQ(settings.refresh_rate_ms, 1000);
  EXPECT_EQ(std::tie(settings.server_url, settings.picture_quality, settings.picture_size, settings.refresh_rate_ms),
            std::tie(fresh.server_url, fresh.picture_quality, fresh.picture_size, fresh.refresh_rate_ms));
  // The upload address already ends in the new contact name.
  EXPECT_TRUE(settings.upload_address.ends_with("=" + settings.contact_name));
}

TEST(Settings, UploadAddressJoinsUrlAndNameWithoutEscaping) {
  CSettings settings;
  settings.server_url = "http://example.org/up/index.php";
  settings.contact_name = "a&b c";
  settings.UpdateServerAddresses();
  EXPECT_EQ(settings.upload_address, "http://example.org/up/index.php?server&stream_name=a&b c");
  settings.server_url = "http://example.org/";
  settings.contact_name = "";
  settings.UpdateServerAddresses();
  EXPECT_EQ(settings.upload_address, "http://example.org/?server&stream_name=");
}

TEST(Settings, ViewerAddressIsThePublicAddressOnlyForTheExactDefaultUrl) {
  CSettings settings;
  settings.server_url = "http://localhost:8080/";
  settings.UpdateServerAddresses();
  EXPECT_EQ(settings.viewer_address, Text(ids::kPublicWebAddress));
  for (const char* url : {"http://LOCALHOST:8080/", "http://localhost:8080", "http://example.org/x/"}) {
    settings.server_url = url;
    settings.UpdateServerAddresses();
    EXPECT_EQ(settings.viewer_address, url);
  }
}

TEST(Settings, TheViewerAddressAndLinkNeverCarryTheUploadKey) {
  CSettings settings;
  settings.contact_name = "abc";
  const auto viewer_address = [&](const std::string& url, const std::string& viewer_key) {
    settings.server_url = url;
    settings.viewer_key = viewer_key;
    settings.UpdateServerAddresses();
    return settings.viewer_address;
  };
  const std::string key = "Upload-key_0123456789";
  const std::string view = "View-key_0123456789x";
  EXPECT_EQ(viewer_address("http://h:8080/u/" + key + "/", ""), "http://h:8080/");
  EXPECT_EQ(viewer_address("http://h:8080/u/" + key, ""), "http://h:8080/");
  EXPECT_EQ(viewer_address("https://h/screen/u/" + key + "/", view), "https://h/screen/v/" + view + "/");
  EXPECT_EQ(viewer_address("http://h/u/" + key + "?x=1", view), "http://h/v/" + view + "/?x=1");
  // Every other server URL as before, whatever the viewer key.
  for (const char* url : {"http://h/u/", "http://h/u//x/", "http://u/k/", "http://h/x?u/k/", "http://h/menu/k/"}) {
    EXPECT_EQ(viewer_address(url, view), url);
  }
  EXPECT_EQ(viewer_address("http://localhost:8080/", view), Text(ids::kPublicWebAddress));

  EXPECT_EQ(ViewerLink("http://h:8080/", "abc"), "http://h:8080/?name=abc");
  EXPECT_EQ(ViewerLink("http://h/?x=1#top", "a b&c"), "http://h/?x=1&name=a%20b%26c#top");
  EXPECT_EQ(ViewerLink("http://h/", ""), "http://h/");
}

}  // namespace
}  // namespace lumivanta
