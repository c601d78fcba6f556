#pragma once

// A short message on the desktop, beside the program's own window: the
// desktop's notification server shows it however it shows such messages.

#include <string_view>

namespace lumivanta {

// What a message is about: each one takes the place of the one of its kind
// shown before, rather than piling up beside it.
enum class NoticeKind { kUploads, kStillOnAir };

class DesktopNotifier {
 public:
  // Never waits: a desktop without a notification server shows nothing.
  virtual void Notify(NoticeKind kind, std::string_view summary, std::string_view body) = 0;
  // Takes the last message of this kind off the desktop, shown or still
  // waiting there (held back while on air).
  virtual void Withdraw(NoticeKind kind) = 0;

 protected:
  ~DesktopNotifier() = default;
};

}  // namespace lumivanta
