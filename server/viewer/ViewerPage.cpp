#include "server/viewer/ViewerPage.h"

namespace lumivanta::server {

Response ServeViewerPage() {
  static const SharedBytes page = SharedText(ViewerPageHtml());
  Response response = Reply(http::status::ok, page, "text/html; charset=utf-8");
  response.set(http::field::cache_control, "no-cache");
  response.set("X-Content-Type-Options", "nosniff");
  response.set("Content-Security-Policy",
               "default-src 'none'; img-src 'self' blob: data:; connect-src 'self'; "
               "script-src 'unsafe-inline'; style-src 'unsafe-inline'; form-action 'self'");
  return response;
}

}  // namespace lumivanta::server
