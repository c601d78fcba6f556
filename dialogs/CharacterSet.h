#pragma once

// Which characters an input field lets in.

#include <string_view>
#include <vector>

#include "settings/SettingsRules.h"

namespace lumivanta {

class CCharacterSet {
 public:
  virtual ~CCharacterSet() = default;
  virtual bool IsAllowed(char c) const = 0;
};

// A set given by the list of its characters, compared byte for byte.
class CharacterList : public CCharacterSet {
 public:
  explicit CharacterList(std::string_view characters) : characters_(characters.begin(), characters.end()) {}
  bool IsAllowed(char c) const override {
    for (const char allowed : characters_) {
      if (allowed == c) {
        return true;
      }
    }
    return false;
  }

 private:
  std::vector<char> characters_;
};

inline constexpr std::string_view kDigitCharacters = "0123456789";
inline constexpr std::string_view kNameCharacters = kContactNameCharacters;

}  // namespace lumivanta
