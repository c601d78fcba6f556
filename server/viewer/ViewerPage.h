#pragma once

#include <string_view>

namespace lumivanta::server {

// The viewer page: one HTML document with its style and script written into
// it at build time (ViewerPage.html, .css and .js), needing nothing else.
std::string_view ViewerPageHtml();

}  // namespace lumivanta::server
