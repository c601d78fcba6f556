#include "publish/ServerProtocol.h"

#include "strings/StringTable.h"
#include "web/WebRequest.h"

namespace lumivanta {
namespace {

bool SendDeleteRequest(const CSettings& settings) {
  CWebRequest request;
  return request.Request(DeleteAddress(settings), RequestGet, "") && IsConnectOk(request.ResponseBody());
}

}  // namespace

std::string DeleteAddress(const CSettings& settings) { return settings.upload_address + "&fkt=end"; }

bool IsConnectOk(std::string_view body) { return body == kConnectOk; }

bool TestConnection(CSettings& settings) {
  settings.connected = SendDeleteRequest(settings);
  return settings.connected;
}

bool DeletePictures(const CSettings& settings, ActivityLog& log) {
  if (SendDeleteRequest(settings)) {
    return true;
  }
  log.LogMessage(ids::kConnectionFailed, false);
  return false;
}

bool EnsureConnectionTested(CSettings& settings, ActivityLog& log) {
  if (settings.connected) {
    return true;
  }
  const bool connected = TestConnection(settings);
  log.LogMessage(connected ? ids::kConnectionTested : ids::kConnectionFailed, true);
  return connected;
}

}  // namespace lumivanta
