#pragma once

// The requests the program makes of the picture server besides the upload,
// built from the settings record: the delete request, which doubles as the
// connection test. The server must answer it with exactly "connectok". Each
// takes at most its time limit (web/HttpTimeouts.h).

#include <string>
#include <string_view>

#include "publish/ActivityLog.h"
#include "settings/Settings.h"
#include "web/CancelToken.h"

namespace lumivanta {

inline constexpr std::string_view kConnectOk = "connectok";

// The upload address followed by "&fkt=end".
std::string DeleteAddress(const CSettings& settings);

// Exactly "connectok": case-sensitive, nothing before or after it.
bool IsConnectOk(std::string_view body);

// Each request ends at once when cancel (if given) is cancelled, as failed.

// Sends the delete request and sets or clears the connected flag by its
// answer; on failure says why in failure_cause, when given. Logs nothing.
bool TestConnection(CSettings& settings, std::string* failure_cause = nullptr, CancelToken* cancel = nullptr);

// Sends the delete request; on failure logs that the connection failed and
// why, without a time stamp. Leaves the connected flag alone.
bool DeletePictures(const CSettings& settings, ActivityLog& log, CancelToken* cancel = nullptr);

// True at once while the connected flag is set; otherwise tests the
// connection and logs its outcome with a time stamp, and why it failed.
bool EnsureConnectionTested(CSettings& settings, ActivityLog& log, CancelToken* cancel = nullptr);

}  // namespace lumivanta
