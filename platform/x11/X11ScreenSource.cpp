#include "platform/x11/X11ScreenSource.h"

#include <xcb/damage.h>
#include <xcb/randr.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "base/Report.h"
#include "platform/x11/PrimaryDisplay.h"
#include "platform/x11/SharedMemoryImage.h"
#include "platform/x11/XcbReply.h"

namespace lumivanta {
namespace {

constexpr std::uint32_t kRedMask = 0xff0000;
constexpr std::uint32_t kGreenMask = 0x00ff00;
constexpr std::uint32_t kBlueMask = 0x0000ff;

// At most this many shared segments: one for a grab out with a publish job, one
// for the next grab, and spares for callers that keep grabs longer.
constexpr std::size_t kMostSharedImages = 4;

struct XcbDisconnector {
  void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
};
using XcbConnectionHandle = std::unique_ptr<xcb_connection_t, XcbDisconnector>;

xcb_screen_t* ScreenOfNumber(xcb_connection_t* connection, int number) {
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
  for (; screens.rem > 0; --number, xcb_screen_next(&screens)) {
    if (number == 0) {
      return screens.data;
    }
  }
  return nullptr;
}

// Why the screen's pixels cannot be handed on as blue, green, red, unused
// bytes; empty when they can.
std::string UnsupportedFormat(xcb_connection_t* connection, const xcb_screen_t& screen) {
  const int depth = screen.root_depth;
  if (depth != 24 && depth != 32) {
    return "unsupported screen depth " + std::to_string(depth) + " (24 or 32 needed)";
  }
  const xcb_setup_t* setup = xcb_get_setup(connection);
  int bits_per_pixel = 0;
  for (const xcb_format_t& format :
       std::span(xcb_setup_pixmap_formats(setup), static_cast<std::size_t>(xcb_setup_pixmap_formats_length(setup)))) {
    if (format.depth == depth) {
      bits_per_pixel = format.bits_per_pixel;
    }
  }
  if (bits_per_pixel != 32 || setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST) {
    return "unsupported " + std::to_string(bits_per_pixel) + " bits per pixel at depth " + std::to_string(depth);
  }
  for (xcb_depth_iterator_t depths = xcb_screen_allowed_depths_iterator(&screen); depths.rem > 0;
       xcb_depth_next(&depths)) {
    for (xcb_visualtype_iterator_t visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem > 0;
         xcb_visualtype_next(&visuals)) {
      const xcb_visualtype_t& visual = *visuals.data;
      if (visual.visual_id == screen.root_visual) {
        return visual.red_mask == kRedMask && visual.green_mask == kGreenMask && visual.blue_mask == kBlueMask
                   ? std::string()
                   : "unsupported colour masks of the screen's visual";
      }
    }
  }
  return "the screen's visual is missing";
}

// A grab whose pixels the X server is still writing into a shared segment:
// the reply is waited for by whoever reads the pixels, or thrown away when
// nobody does.
// One request per part of the screen, or one for the whole.
struct PendingGrab {
  std::shared_ptr<xcb_connection_t> connection;
  std::vector<xcb_shm_get_image_cookie_t> cookies;
  bool answered = false;
  bool arrived = false;
  // Set when the server refused a grab, for the next Grab to report.
  std::shared_ptr<std::atomic<bool>> refused;

  bool Await() {
    if (!answered) {
      answered = true;
      arrived = true;
      for (const xcb_shm_get_image_cookie_t cookie : cookies) {
        xcb_generic_error_t* error = nullptr;
        const XcbReply<xcb_shm_get_image_reply_t> reply(xcb_shm_get_image_reply(connection.get(), cookie, &error));
        const XcbReply<xcb_generic_error_t> owned_error(error);
        arrived = arrived && reply != nullptr && error == nullptr;
      }
      if (!arrived) {
        refused->store(true, std::memory_order_relaxed);
      }
    }
    return arrived;
  }
  ~PendingGrab() {
    if (!answered) {
      for (const xcb_shm_get_image_cookie_t cookie : cookies) {
        xcb_discard_reply(connection.get(), cookie.sequence);
      }
    }
  }
};

std::size_t BytesOf(const PixelRect& part) {
  return static_cast<std::size_t>(part.width) * 4 * static_cast<std::size_t>(part.height);
}

}  // namespace

struct X11ScreenSource::Connection {
  // Shared with the grabs that are still on their way, which wait for their
  // replies on it, also after the source is gone.
  std::shared_ptr<xcb_connection_t> connection;
  xcb_window_t root = XCB_NONE;
  std::string unsupported_format;
  bool use_shared_memory = true;
  // The primary display, asked for again only after RandR said that the
  // outputs changed: a grab then costs one request, which is not waited for.
  ScreenRect primary;
  bool primary_known = false;
  // Shared segments of the primary display's size.
  std::vector<std::unique_ptr<SharedMemoryImage>> shared_images;
  std::shared_ptr<std::atomic<bool>> grab_refused = std::make_shared<std::atomic<bool>>(false);
  // The screen's damage, moved into the region at every TakeChanges; none
  // where the server has no DAMAGE.
  xcb_damage_damage_t damage = XCB_NONE;
  xcb_xfixes_region_t damaged = XCB_NONE;
  std::uint8_t damage_notify = 0;
  // Set when the outputs changed since the last TakeChanges.
  bool outputs_changed = false;
  // Set when DAMAGE said, since the damage was last moved into the region,
  // that it is no longer empty; until then there is nothing to ask for.
  bool damage_reported = true;
  // Set when more than half the display changed between the last two takes:
  // the next take then asks for the whole display in the same round trip.
  bool whole_changes_expected = false;
  // The whole display as it was right after the last take moved the damage
  // away, kept for the grab that follows it.
  std::optional<ScreenImage> grabbed_ahead;
  ScreenRect grabbed_ahead_rect;

  ScreenRect PrimaryDisplay() {
    // Besides DAMAGE's notices the only events this connection asks for are RandR's.
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection.get())) {
      const bool damage_event = damage != XCB_NONE && (event->response_type & 0x7f) == damage_notify;
      std::free(event);
      if (damage_event) {
        damage_reported = true;
      } else {
        primary_known = false;
        outputs_changed = true;
      }
    }
    if (!primary_known) {
      primary = FindPrimaryDisplay(connection.get(), root);
      primary_known = !primary.IsEmpty();
    }
    return primary;
  }

  // A shared image of the primary display's size that no grab out holds;
  // null, and why in refusal, when none can be had.
  SharedMemoryImage* FreeSharedImage(const ScreenRect& rect, std::string& refusal) {
    if (!shared_images.empty() &&
        (shared_images.front()->Width() != rect.width || shared_images.front()->Height() != rect.height)) {
      shared_images.clear();
    }
    for (const auto& image : shared_images) {
      if (!image->Segment()->kept.load(std::memory_order_acquire)) {
        return image.get();
      }
    }
    if (shared_images.size() >= kMostSharedImages) {
      refusal = "every shared segment still holds a picture being published";
      return nullptr;
    }
    auto image = SharedMemoryImage::Create(connection.get(), rect.width, rect.height, refusal);
    if (!image) {
      return nullptr;
    }
    shared_images.push_back(std::move(image));
    return shared_images.back().get();
  }

  // Asks for the grab into the segment and hands it out: the keeper holds the
  // segment and marks it free again when its last copy goes, on whatever
  // thread that happens; the pixels are waited for where they are read.
  void GrabShared(SharedMemoryImage& image, const ScreenRect& rect, ScreenImage& screen) {
    auto pending = std::make_shared<PendingGrab>();
    pending->connection = connection;
    pending->refused = grab_refused;
    if (screen.parts.empty()) {
      pending->cookies.push_back(image.RequestFill(root, rect.x, rect.y));
    }
    for (const ScreenPart& part : screen.parts) {
      pending->cookies.push_back(image.RequestFill(root, rect.x + part.rect.x, rect.y + part.rect.y, part.rect.width,
                                                   part.rect.height, part.offset));
    }
    xcb_flush(connection.get());
    const std::shared_ptr<SharedSegment> segment = image.Segment();
    segment->kept.store(true, std::memory_order_relaxed);
    screen.keeper = std::shared_ptr<const void>(segment->address, [segment, pending](const void*) mutable {
      pending.reset();
      segment->kept.store(false, std::memory_order_release);
    });
    screen.await_pixels = [pending] { return pending->Await(); };
    screen.width = static_cast<std::uint32_t>(rect.width);
    screen.height = static_cast<std::uint32_t>(rect.height);
    screen.bytes_per_row = image.BytesPerRow();
    screen.pixels = {static_cast<std::uint8_t*>(segment->address), std::size_t{screen.bytes_per_row} * screen.height};
  }

  // Asks for the whole display into a free segment without waiting, so that
  // the request shares the round trip of the damage's region.
  void GrabAhead() {
    grabbed_ahead.reset();
    if (!use_shared_memory || grab_refused->load(std::memory_order_relaxed)) {
      return;
    }
    const ScreenRect rect = PrimaryDisplay();
    std::string refusal;
    SharedMemoryImage* image = rect.IsEmpty() ? nullptr : FreeSharedImage(rect, refusal);
    if (image != nullptr) {
      GrabShared(*image, rect, grabbed_ahead.emplace());
      grabbed_ahead_rect = rect;
    }
  }

  // The grab asked for at the last take, while it shows the primary display
  // as it stands.
  std::optional<ScreenImage> TakeGrabbedAhead(const ScreenRect& rect) {
    std::optional<ScreenImage> grab = std::exchange(grabbed_ahead, std::nullopt);
    if (!grab || grabbed_ahead_rect != rect) {
      return std::nullopt;
    }
    return grab;
  }

  // Fetches the parts through the socket, one after the other into memory
  // that the grab owns. False when the server refused. All parts are asked
  // for before the first answer is read, so that they take one round trip.
  bool GrabPartsThroughSocket(const ScreenRect& rect, ScreenImage& screen) {
    std::vector<xcb_get_image_cookie_t> cookies;
    cookies.reserve(screen.parts.size());
    for (const ScreenPart& part : screen.parts) {
      const PixelRect& at = part.rect;
      cookies.push_back(xcb_get_image(connection.get(), XCB_IMAGE_FORMAT_Z_PIXMAP, root,
                                      static_cast<std::int16_t>(rect.x + at.x),
                                      static_cast<std::int16_t>(rect.y + at.y), static_cast<std::uint16_t>(at.width),
                                      static_cast<std::uint16_t>(at.height), ~0u));
    }
    auto pixels = std::make_shared<std::vector<std::uint8_t>>();
    bool complete = true;
    for (std::size_t index = 0; index < cookies.size(); ++index) {
      // Every reply is taken, also after a refusal, so that none is left behind.
      const XcbReply<xcb_get_image_reply_t> reply(xcb_get_image_reply(connection.get(), cookies[index], nullptr));
      ScreenPart& part = screen.parts[index];
      if (!complete || !reply ||
          static_cast<std::size_t>(xcb_get_image_data_length(reply.get())) < BytesOf(part.rect)) {
        complete = false;
        continue;
      }
      part.offset = pixels->size();
      pixels->insert(pixels->end(), xcb_get_image_data(reply.get()),
                     xcb_get_image_data(reply.get()) + BytesOf(part.rect));
    }
    if (!complete) {
      return false;
    }
    screen.pixels = {pixels->data(), pixels->size()};
    screen.keeper = std::move(pixels);
    return true;
  }

  // Fetches the rectangle through the socket; the reply holds the pixels and
  // the grab owns the reply. False when the server refused.
  bool GrabThroughSocket(const ScreenRect& rect, ScreenImage& screen) {
    const std::shared_ptr<xcb_get_image_reply_t> reply(
        xcb_get_image_reply(
            connection.get(),
            xcb_get_image(connection.get(), XCB_IMAGE_FORMAT_Z_PIXMAP, root, static_cast<std::int16_t>(rect.x),
                          static_cast<std::int16_t>(rect.y), static_cast<std::uint16_t>(rect.width),
                          static_cast<std::uint16_t>(rect.height), ~0u),
            nullptr),
        XcbFreer{});
    const std::size_t row_bytes = static_cast<std::size_t>(rect.width) * 4;
    if (!reply || static_cast<std::size_t>(xcb_get_image_data_length(reply.get())) < row_bytes * rect.height) {
      return false;
    }
    screen.keeper = reply;
    screen.width = static_cast<std::uint32_t>(rect.width);
    screen.height = static_cast<std::uint32_t>(rect.height);
    screen.bytes_per_row = static_cast<std::uint32_t>(row_bytes);
    screen.pixels = {xcb_get_image_data(reply.get()), row_bytes * rect.height};
    return true;
  }
};

X11ScreenSource::X11ScreenSource(X11GrabMethod method) {
  int screen_number = 0;
  XcbConnectionHandle connection(xcb_connect(nullptr, &screen_number));
  const char* display_name = std::getenv("DISPLAY");
  if (xcb_connection_has_error(connection.get()) != 0) {
    Report("cannot open the X display \"" + std::string(display_name != nullptr ? display_name : "") + "\"");
    return;
  }
  const xcb_screen_t* screen = ScreenOfNumber(connection.get(), screen_number);
  if (screen == nullptr) {
    Report("the X display has no screen " + std::to_string(screen_number));
    return;
  }
  connection_ = std::make_unique<Connection>();
  connection_->root = screen->root;
  connection_->unsupported_format = UnsupportedFormat(connection.get(), *screen);
  connection_->use_shared_memory = method == X11GrabMethod::kSharedMemory;
  const xcb_query_extension_reply_t* randr = xcb_get_extension_data(connection.get(), &xcb_randr_id);
  if (randr != nullptr && randr->present != 0) {
    xcb_randr_select_input(
        connection.get(), screen->root,
        XCB_RANDR_NOTIFY_MASK_SCREEN_CHANGE | XCB_RANDR_NOTIFY_MASK_CRTC_CHANGE | XCB_RANDR_NOTIFY_MASK_OUTPUT_CHANGE);
  }
  connection_->connection = std::shared_ptr<xcb_connection_t>(connection.release(), XcbDisconnector{});
  FollowDamage();
}

void X11ScreenSource::FollowDamage() {
  xcb_connection_t* connection = connection_->connection.get();
  const xcb_query_extension_reply_t* damage = xcb_get_extension_data(connection, &xcb_damage_id);
  const xcb_query_extension_reply_t* xfixes = xcb_get_extension_data(connection, &xcb_xfixes_id);
  if (damage == nullptr || damage->present == 0 || xfixes == nullptr || xfixes->present == 0) {
    return;
  }
  // Both extensions must be told the versions the client speaks before use.
  const XcbReply<xcb_xfixes_query_version_reply_t> xfixes_version(
      xcb_xfixes_query_version_reply(connection, xcb_xfixes_query_version(connection, 2, 0), nullptr));
  const XcbReply<xcb_damage_query_version_reply_t> damage_version(
      xcb_damage_query_version_reply(connection, xcb_damage_query_version(connection, 1, 1), nullptr));
  if (!xfixes_version || !damage_version) {
    return;
  }
  connection_->damage = xcb_generate_id(connection);
  connection_->damaged = xcb_generate_id(connection);
  connection_->damage_notify = static_cast<std::uint8_t>(damage->first_event + XCB_DAMAGE_NOTIFY);
  // One notice when the damage stops being empty: the region is asked for anyway.
  xcb_damage_create(connection, connection_->damage, connection_->root, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
  xcb_xfixes_create_region(connection, connection_->damaged, 0, nullptr);
  // Whatever happened before the first grab is that grab's business.
  connection_->outputs_changed = true;
}

std::optional<std::vector<PixelRect>> X11ScreenSource::TakeChanges() {
  if (!connection_ || connection_->damage == XCB_NONE) {
    return std::nullopt;
  }
  Connection& connection = *connection_;
  xcb_connection_t* xcb = connection.connection.get();
  // The damage is reported once it stops being empty: without a notice since
  // the last take nothing was drawn, and no round trip to the server is
  // needed. A notice still on its way is for drawing that the next take
  // finds, as the damage keeps it until then.
  if (!connection.PrimaryDisplay().IsEmpty() && !connection.outputs_changed && !connection.damage_reported) {
    return std::vector<PixelRect>{};
  }
  connection.damage_reported = false;
  // Everything drawn until the server reads this request moves into the
  // region; what is drawn afterwards is reported next time. A grab after it
  // shows at least what the region names.
  xcb_damage_subtract(xcb, connection.damage, XCB_NONE, connection.damaged);
  // The grab ahead goes before the region's fetch: the server answers a
  // client's requests in order, so once the region is here the grab is done,
  // and nothing drawn after this take is in it.
  if (connection.whole_changes_expected) {
    connection.GrabAhead();
  } else {
    connection.grabbed_ahead.reset();
  }
  const xcb_xfixes_fetch_region_cookie_t asked = xcb_xfixes_fetch_region(xcb, connection.damaged);
  const XcbReply<xcb_xfixes_fetch_region_reply_t> region(xcb_xfixes_fetch_region_reply(xcb, asked, nullptr));
  const ScreenRect primary = connection.PrimaryDisplay();
  if (!region || primary.IsEmpty() || std::exchange(connection.outputs_changed, false)) {
    return std::nullopt;
  }
  std::vector<PixelRect> changes;
  std::uint64_t changed_area = 0;
  for (const xcb_rectangle_t& rect :
       std::span(xcb_xfixes_fetch_region_rectangles(region.get()),
                 static_cast<std::size_t>(xcb_xfixes_fetch_region_rectangles_length(region.get())))) {
    const int left = std::max<int>(rect.x, primary.x);
    const int top = std::max<int>(rect.y, primary.y);
    const int right = std::min(rect.x + rect.width, primary.x + primary.width);
    const int bottom = std::min(rect.y + rect.height, primary.y + primary.height);
    if (left < right && top < bottom) {
      changes.push_back({left - primary.x, top - primary.y, right - left, bottom - top});
      changed_area += static_cast<std::uint64_t>(right - left) * static_cast<std::uint64_t>(bottom - top);
    }
  }
  connection.whole_changes_expected =
      changed_area * 2 > static_cast<std::uint64_t>(primary.width) * static_cast<std::uint64_t>(primary.height);
  return changes;
}

bool X11ScreenSource::GrabParts(std::span<const PixelRect> parts, std::uint32_t width, std::uint32_t height,
                                ScreenImage& screen) {
  screen = ScreenImage{};
  if (!connection_ || !connection_->unsupported_format.empty() || parts.empty()) {
    return false;
  }
  Connection& connection = *connection_;
  connection.grabbed_ahead.reset();
  const ScreenRect primary = connection.PrimaryDisplay();
  if (connection.grab_refused->load(std::memory_order_relaxed) || static_cast<std::uint32_t>(primary.width) != width ||
      static_cast<std::uint32_t>(primary.height) != height) {
    return false;
  }
  std::size_t bytes = 0;
  for (const PixelRect& part : parts) {
    if (part.IsEmpty() || part.x < 0 || part.y < 0 || part.Right() > primary.width || part.Bottom() > primary.height) {
      return false;
    }
    screen.parts.push_back({part, bytes});
    bytes += BytesOf(part);
  }
  screen.width = width;
  screen.height = height;
  screen.bytes_per_row = width * 4;
  if (connection.use_shared_memory) {
    std::string refusal;
    SharedMemoryImage* image = connection.FreeSharedImage(primary, refusal);
    if (image == nullptr || bytes > image->Segment()->size_bytes) {
      screen = ScreenImage{};
      return false;
    }
    connection.GrabShared(*image, primary, screen);
    screen.pixels = screen.pixels.first(bytes);
    return true;
  }
  if (!connection.GrabPartsThroughSocket(primary, screen)) {
    screen = ScreenImage{};
    return false;
  }
  return true;
}

X11ScreenSource::~X11ScreenSource() = default;

bool X11ScreenSource::UsesSharedMemory() const { return connection_ && connection_->use_shared_memory; }

bool X11ScreenSource::Grab(ScreenImage& screen) {
  // The caller's last grab goes first, so that its memory can take this one.
  screen = ScreenImage{};
  if (!connection_) {
    return false;
  }
  Connection& connection = *connection_;
  if (!connection.unsupported_format.empty()) {
    Report(connection.unsupported_format);
    return false;
  }
  connection.grabbed_ahead.reset();
  // A shared grab is refused only once its pixels are waited for: that is
  // reported here, at the next grab, and not cleared by it.
  const bool last_refused = connection.grab_refused->exchange(false, std::memory_order_relaxed);
  if (last_refused) {
    // The primary display may have changed under the request: ask again.
    connection.primary_known = false;
    Report("XShmGetImage failed");
  }
  const ScreenRect primary = connection.PrimaryDisplay();
  if (primary.IsEmpty()) {
    Report("cannot find the primary display");
    return false;
  }

  if (connection.use_shared_memory) {
    std::string refusal;
    if (SharedMemoryImage* image = connection.FreeSharedImage(primary, refusal)) {
      connection.GrabShared(*image, primary, screen);
      if (!last_refused) {
        last_report_.clear();
      }
      return true;
    }
    if (!connection.shared_images.empty()) {
      Report(refusal);
      return false;
    }
    Report("shared memory refused, grabbing with XGetImage instead: " + refusal);
    connection.use_shared_memory = false;
  }
  if (!connection.GrabThroughSocket(primary, screen)) {
    screen = ScreenImage{};
    connection.primary_known = false;
    Report("XGetImage failed");
    return false;
  }
  last_report_.clear();
  return true;
}

bool X11ScreenSource::GrabForChanges(ScreenImage& screen) {
  if (connection_ && connection_->grabbed_ahead && !connection_->grab_refused->load(std::memory_order_relaxed)) {
    if (std::optional<ScreenImage> ahead = connection_->TakeGrabbedAhead(connection_->PrimaryDisplay())) {
      screen = std::move(*ahead);
      last_report_.clear();
      return true;
    }
  }
  return Grab(screen);
}

PointerState X11ScreenSource::Pointer() {
  PointerState pointer;
  if (!connection_) {
    return pointer;
  }
  xcb_connection_t* connection = connection_->connection.get();
  const XcbReply<xcb_query_pointer_reply_t> reply(
      xcb_query_pointer_reply(connection, xcb_query_pointer(connection, connection_->root), nullptr));
  if (!reply || reply->same_screen == 0) {
    return pointer;
  }
  const ScreenRect primary = connection_->PrimaryDisplay();
  pointer.showing = primary.Contains(reply->root_x, reply->root_y);
  pointer.x = reply->root_x - primary.x;
  pointer.y = reply->root_y - primary.y;
  return pointer;
}

void X11ScreenSource::Report(const std::string& failure) {
  if (failure == last_report_) {
    return;
  }
  last_report_ = failure;
  ReportLine("screen capture", failure);
}

}  // namespace lumivanta
