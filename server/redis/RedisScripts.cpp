#include "server/redis/RedisScripts.h"

namespace lumivanta::server::redis_scripts {

// Embedded at build time from the .lua files.
std::string_view ForgetNameLua();
std::string_view StorePictureLua();
std::string_view DeletePictureLua();

namespace {

std::string WithForget(std::string_view script) {
  std::string text(ForgetNameLua());
  text += script;
  return text;
}

}  // namespace

const std::string& StoreScript() {
  static const std::string text = WithForget(StorePictureLua());
  return text;
}

const std::string& DeleteScript() {
  static const std::string text = WithForget(DeletePictureLua());
  return text;
}

}  // namespace lumivanta::server::redis_scripts
