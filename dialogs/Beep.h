#pragma once

// The simple beep that answers refused input. Tests replace it to count beeps.

#include <functional>

namespace lumivanta {

void Beep();

// Replaces what Beep does; returns the previous handler. An empty handler
// restores the system beep.
std::function<void()> SetBeepHandler(std::function<void()> handler);

}  // namespace lumivanta
