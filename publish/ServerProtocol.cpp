#include "publish/ServerProtocol.h"

#include <chrono>

#include "strings/StringTable.h"
#include "web/HttpTimeouts.h"
#include "web/WebRequest.h"

namespace lumivanta {
namespace {

// The delete request within the time limit; false, and
// why in failure_cause, unless the server answered "connectok".
bool SendDeleteRequest(const CSettings& settings, std::chrono::milliseconds time_limit, std::string& failure_cause,
                       CancelToken* cancel) {
  CWebRequest request;
  request.SetCancelToken(cancel);
  request.SetTimeLimit(time_limit);
  const bool answered = request.Request(DeleteAddress(settings), RequestGet, "");
  if (answered && IsConnectOk(request.ResponseBody())) {
    return true;
  }
  failure_cause = request.FailureCause();
  if (failure_cause.empty()) {
    failure_cause = "the server did not answer \"connectok\"";
  }
  return false;
}

void LogFailure(ActivityLog& log, const std::string& failure_cause, bool with_time_stamp) {
  log.LogMessage(ids::kConnectionFailed, with_time_stamp);
  log.LogText(std::string(Text(ids::kFailureCause)) + failure_cause, with_time_stamp);
}

}  // namespace

std::string DeleteAddress(const CSettings& settings) { return settings.upload_address + "&fkt=end"; }

bool IsConnectOk(std::string_view body) { return body == kConnectOk; }

bool TestConnection(CSettings& settings, std::string* failure_cause, CancelToken* cancel) {
  std::string cause;
  settings.connected = SendDeleteRequest(settings, http_timeouts::kConnectionTestTotal, cause, cancel);
  if (failure_cause != nullptr) {
    *failure_cause = cause;
  }
  return settings.connected;
}

bool DeletePictures(const CSettings& settings, ActivityLog& log, CancelToken* cancel) {
  std::string cause;
  if (SendDeleteRequest(settings, http_timeouts::kDeleteRequestTotal, cause, cancel)) {
    return true;
  }
  LogFailure(log, cause, false);
  return false;
}

bool EnsureConnectionTested(CSettings& settings, ActivityLog& log, CancelToken* cancel) {
  if (settings.connected) {
    return true;
  }
  std::string cause;
  if (TestConnection(settings, &cause, cancel)) {
    log.LogMessage(ids::kConnectionTested, true);
    return true;
  }
  LogFailure(log, cause, true);
  return false;
}

}  // namespace lumivanta
