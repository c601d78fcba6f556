#pragma once

// The three requests the program makes of the picture server, built from the
// settings record: the upload (see the publish job), and the delete request,
// which doubles as the connection test. The server must answer the delete
// request with exactly "connectok".

#include <string>
#include <string_view>

#include "settings/Settings.h"

namespace lumivanta {

// Where the operations report to the user: the activity log.
class IActivityLog {
 public:
  virtual ~IActivityLog() = default;
  // Appends the string-table text with this number, with or without a time stamp.
  virtual void LogMessage(unsigned string_id, bool with_time_stamp) = 0;
};

inline constexpr std::string_view kConnectOk = "connectok";

// The upload address followed by "&fkt=end".
std::string DeleteAddress(const CSettings& settings);

// Exactly "connectok": case-sensitive, nothing before or after it.
bool IsConnectOk(std::string_view body);

// Sends the delete request and sets or clears the connected flag by its
// answer. Logs nothing.
bool TestConnection(CSettings& settings);

// Sends the delete request; on failure appends message 134 without a time
// stamp. Leaves the connected flag alone.
bool DeletePictures(const CSettings& settings, IActivityLog& log);

// True at once while the connected flag is set; otherwise tests the
// connection and logs message 133 or 134 with a time stamp.
bool EnsureConnectionTested(CSettings& settings, IActivityLog& log);

}  // namespace lumivanta
