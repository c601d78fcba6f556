#include "server/store/StreamName.h"

#include <algorithm>

namespace lumivanta::server {

namespace {

bool IsNameCharacter(char character) {
  return (character >= 'A' && character <= 'Z') || (character >= 'a' && character <= 'z') ||
         (character >= '0' && character <= '9') || character == '_' || character == '-';
}

}  // namespace

bool IsValidStreamName(std::string_view name) {
  return !name.empty() && name.size() <= kMaxStreamNameLength && std::ranges::all_of(name, IsNameCharacter);
}

}  // namespace lumivanta::server
