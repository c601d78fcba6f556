#pragma once

// Counts the beeps that answer refused input, instead of sounding them.

#include "dialogs/Beep.h"

namespace lumivanta::test {

class BeepCounter {
 public:
  BeepCounter() : previous_(SetBeepHandler([this] { ++count_; })) {}
  BeepCounter(const BeepCounter&) = delete;
  BeepCounter& operator=(const BeepCounter&) = delete;
  ~BeepCounter() { SetBeepHandler(previous_); }

  int Count() const { return count_; }

 private:
  int count_ = 0;
  std::function<void()> previous_;
};

}  // namespace lumivanta::test
