#pragma once

#include <string_view>

namespace lumivanta::server {

// The viewer page: one HTML document with its style and script, needing nothing else.
std::string_view ViewerPageHtml();

}  // namespace lumivanta::server
