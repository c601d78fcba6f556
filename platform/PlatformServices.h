#pragma once

// Chooses, once at start-up, the implementations of the platform interfaces
// for the desktop the program runs on.

#include <memory>

#include "platform/GlobalHotkeys.h"
#include "platform/ScreenSource.h"

namespace lumivanta {

std::unique_ptr<GlobalHotkeys> MakeGlobalHotkeys();
std::unique_ptr<ScreenSource> MakeScreenSource();

}  // namespace lumivanta
