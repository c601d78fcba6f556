#include "platform/x11/PrimaryDisplay.h"

#include <xcb/randr.h>

#include <algorithm>
#include <optional>
#include <span>

#include "platform/x11/XcbReply.h"

namespace lumivanta {
namespace {

std::optional<ScreenRect> RootRect(xcb_connection_t* connection, xcb_window_t root) {
  const XcbReply<xcb_get_geometry_reply_t> geometry(
      xcb_get_geometry_reply(connection, xcb_get_geometry(connection, root), nullptr));
  if (!geometry) {
    return std::nullopt;
  }
  return ScreenRect{0, 0, geometry->width, geometry->height};
}

bool HasRandrPrimary(xcb_connection_t* connection) {
  const xcb_query_extension_reply_t* extension = xcb_get_extension_data(connection, &xcb_randr_id);
  if (extension == nullptr || extension->present == 0) {
    return false;
  }
  // Primary outputs and the non-polling resource query came with RandR 1.3.
  const XcbReply<xcb_randr_query_version_reply_t> version(
      xcb_randr_query_version_reply(connection, xcb_randr_query_version(connection, 1, 3), nullptr));
  return version && (version->major_version > 1 || (version->major_version == 1 && version->minor_version >= 3));
}

// The CRTC's rectangle cut to the root window; nothing when it is off or empty.
std::optional<ScreenRect> ActiveCrtcRect(xcb_connection_t* connection, xcb_randr_crtc_t crtc,
                                         xcb_timestamp_t config_timestamp, const ScreenRect& root) {
  if (crtc == XCB_NONE) {
    return std::nullopt;
  }
  const XcbReply<xcb_randr_get_crtc_info_reply_t> info(
      xcb_randr_get_crtc_info_reply(connection, xcb_randr_get_crtc_info(connection, crtc, config_timestamp), nullptr));
  if (!info || info->mode == XCB_NONE || info->width == 0 || info->height == 0) {
    return std::nullopt;
  }
  const int left = std::max<int>(info->x, root.x);
  const int top = std::max<int>(info->y, root.y);
  const int right = std::min(info->x + static_cast<int>(info->width), root.x + root.width);
  const int bottom = std::min(info->y + static_cast<int>(info->height), root.y + root.height);
  if (right <= left || bottom <= top) {
    return std::nullopt;
  }
  return ScreenRect{left, top, right - left, bottom - top};
}

std::optional<ScreenRect> PrimaryOutputRect(xcb_connection_t* connection, xcb_window_t root,
                                            xcb_timestamp_t config_timestamp, const ScreenRect& root_rect) {
  const XcbReply<xcb_randr_get_output_primary_reply_t> primary(
      xcb_randr_get_output_primary_reply(connection, xcb_randr_get_output_primary(connection, root), nullptr));
  if (!primary || primary->output == XCB_NONE) {
    return std::nullopt;
  }
  const XcbReply<xcb_randr_get_output_info_reply_t> output(xcb_randr_get_output_info_reply(
      connection, xcb_randr_get_output_info(connection, primary->output, config_timestamp), nullptr));
  if (!output) {
    return std::nullopt;
  }
  return ActiveCrtcRect(connection, output->crtc, config_timestamp, root_rect);
}

}  // namespace

ScreenRect FindPrimaryDisplay(xcb_connection_t* connection, xcb_window_t root) {
  const std::optional<ScreenRect> root_rect = RootRect(connection, root);
  if (!root_rect) {
    return ScreenRect{};
  }
  if (!HasRandrPrimary(connection)) {
    return *root_rect;
  }
  const XcbReply<xcb_randr_get_screen_resources_current_reply_t> resources(xcb_randr_get_screen_resources_current_reply(
      connection, xcb_randr_get_screen_resources_current(connection, root), nullptr));
  if (!resources) {
    return *root_rect;
  }
  if (const auto primary = PrimaryOutputRect(connection, root, resources->config_timestamp, *root_rect)) {
    return *primary;
  }
  const std::span<const xcb_randr_crtc_t> crtcs(
      xcb_randr_get_screen_resources_current_crtcs(resources.get()),
      static_cast<std::size_t>(xcb_randr_get_screen_resources_current_crtcs_length(resources.get())));
  for (const xcb_randr_crtc_t crtc : crtcs) {
    if (const auto rect = ActiveCrtcRect(connection, crtc, resources->config_timestamp, *root_rect)) {
      return *rect;
    }
  }
  return *root_rect;
}

}  // namespace lumivanta
