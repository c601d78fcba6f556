#pragma once

// A short message on the desktop, beside the program's own window: the
// desktop's notification server shows it however it shows such messages.

#include <string_view>

namespace lumivanta {

class DesktopNotifier {
 public:
  // Never waits: a desktop without a notification server shows nothing.
  virtual void Notify(std::string_view summary, std::string_view body) = 0;

 protected:
  ~DesktopNotifier() = default;
};

}  // namespace lumivanta
