#pragma once

// What a run shows of its state to the user and to the command line: the
// marks of its check-style commands, and why it would drop a hotkey now.

#include <string_view>

#include "app/run/PublishingRun.h"
#include "strings/StringTable.h"

namespace lumivanta::test {

inline bool Marked(const PublishingRun& run, unsigned command_id) {
  for (const CommandMark& mark : run.Marks()) {
    if (mark.command_id == command_id) {
      return mark.checked;
    }
  }
  return false;
}

inline bool InSinglePictureMode(const PublishingRun& run) { return Marked(run, ids::kCommandPublish); }
inline bool ShowsPointer(const PublishingRun& run) { return Marked(run, ids::kCommandShowMouseCursor); }
inline bool DialogOpen(const PublishingRun& run) { return run.WhyHotkeyIsDropped() == "a dialog is open"; }
inline bool WaitingForServer(const PublishingRun& run) {
  return run.WhyHotkeyIsDropped() == "a request to the server is pending";
}

}  // namespace lumivanta::test
