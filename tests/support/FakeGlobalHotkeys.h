#pragma once

// Hotkeys for tests: records what is registered and presses keys on demand.

#include <map>
#include <set>
#include <vector>

#include "platform/GlobalHotkeys.h"

namespace lumivanta {

class FakeGlobalHotkeys : public GlobalHotkeys {
 public:
  bool Register(int id, char key) override {
    calls.push_back({true, id, key});
    if (taken_keys.count(key) != 0) {
      return false;
    }
    registered[id] = key;
    return true;
  }
  void Unregister(int id) override {
    calls.push_back({false, id, 0});
    registered.erase(id);
  }

  // Presses Control plus key: delivered when a registered hotkey has that key.
  bool Press(char key) const {
    for (const auto& [id, registered_key] : registered) {
      if (registered_key == key) {
        Deliver(id);
        return true;
      }
    }
    return false;
  }

  struct Call {
    bool registering = false;
    int id = 0;
    char key = 0;
  };
  std::vector<Call> calls;
  std::map<int, char> registered;
  std::set<char> taken_keys;  // keys another program holds
};

}  // namespace lumivanta
