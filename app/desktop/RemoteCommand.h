#pragma once

// The sending side of the remote control: a short-lived process hands one
// command to the running instance over the session bus.

namespace lumivanta {

struct Command;

// Calls the command's method on the running instance and waits briefly for
// its answer; needs a QCoreApplication. Returns the exit status: 0 when the
// instance took the command, 1 (with one line on standard error) when no
// running instance took it, 3 (with "not done: " and why on standard error)
// when the instance dropped it.
int SendToRunningInstance(const Command& command);

}  // namespace lumivanta
