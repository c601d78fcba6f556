#include "PlatformServices.h"

namespace lumivanta {

std::unique_ptr<GlobalHotkeys> MakeGlobalHotkeys() { return std::make_unique<NoGlobalHotkeys>(); }

std::unique_ptr<ScreenSource> MakeScreenSource() { return nullptr; }

}  // namespace lumivanta
