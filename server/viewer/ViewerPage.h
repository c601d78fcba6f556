#pragma once

#include <string_view>

#include "server/http/HttpMessages.h"

namespace lumivanta::server {

// The viewer page: one HTML document with its style and script written into
// it at build time (ViewerPage.html, .css and .js), needing nothing else.
std::string_view ViewerPageHtml();

// The answer to GET /: the page, revalidated on each visit, its scripts and
// connections held to this server.
Response ServeViewerPage();

}  // namespace lumivanta::server
