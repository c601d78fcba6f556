#include "platform/wayland/PipeWireStream.h"

#include <pipewire/pipewire.h>
#include <spa/buffer/meta.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>
#include <utility>

#include "platform/wayland/CursorMetadata.h"

namespace lumivanta {
namespace {

struct ThreadLoopDeleter {
  void operator()(pw_thread_loop* loop) const { pw_thread_loop_destroy(loop); }
};
struct ContextDeleter {
  void operator()(pw_context* context) const { pw_context_destroy(context); }
};
struct CoreDeleter {
  void operator()(pw_core* core) const { pw_core_disconnect(core); }
};
struct StreamDeleter {
  void operator()(pw_stream* stream) const { pw_stream_destroy(stream); }
};

// Holds the thread loop's lock for a scope.
class LoopLock {
 public:
  explicit LoopLock(pw_thread_loop* loop) : loop_(loop) { pw_thread_loop_lock(loop_); }
  LoopLock(const LoopLock&) = delete;
  LoopLock& operator=(const LoopLock&) = delete;
  ~LoopLock() { pw_thread_loop_unlock(loop_); }

 private:
  pw_thread_loop* loop_;
};

constexpr std::uint32_t kBuilderBytes = 1024;
// Buffers enough that the desktop has one to fill while this side copies
// the last frame out of another, also on a loaded machine: a frame the
// desktop finds no buffer for is lost, and the next comes only with the next
// change of the screen.
constexpr int kBuffers = 4;
constexpr int kMostBuffers = 16;
// Room for the cursor block with a picture of up to 64x64 pixels, and at
// most 384x384: mutter offers the block only in that size, and a block of no
// size both sides take is left out of every buffer.
constexpr int CursorBytes(int side) {
  return static_cast<int>(sizeof(spa_meta_cursor) + sizeof(spa_meta_bitmap)) + side * side * 4;
}
constexpr int kCursorBytes = CursorBytes(64);
constexpr int kMostCursorBytes = CursorBytes(384);

// A compositor's time stamp older than this is not one of this machine's monotonic clock.
constexpr std::chrono::seconds kMostFrameAge{10};

// When the desktop showed a frame: the compositor's time stamp where it is
// one of this machine's monotonic clock (GNOME, KDE and the wlroots portal
// stamp frames so), else the time it arrived here.
FrameStore::Clock::time_point ShownAt(const spa_meta_header* header) {
  const FrameStore::Clock::time_point now = FrameStore::Clock::now();
  if (header != nullptr && header->pts > 0) {
    const FrameStore::Clock::time_point stamped{std::chrono::nanoseconds(header->pts)};
    if (stamped <= now && now - stamped < kMostFrameAge) {
      return stamped;
    }
  }
  return now;
}

const char* FormatName(spa_video_format format) {
  switch (format) {
    case SPA_VIDEO_FORMAT_BGRx:
      return "BGRx";
    case SPA_VIDEO_FORMAT_BGRA:
      return "BGRA";
    case SPA_VIDEO_FORMAT_RGBx:
      return "RGBx";
    case SPA_VIDEO_FORMAT_RGBA:
      return "RGBA";
    default:
      return nullptr;
  }
}

}  // namespace

struct PipeWireStream::Pipe {
  FrameStore& frames;
  FormatHandler on_format;
  FailedHandler on_failed;
  PointerHandler on_pointer;
  // Destroyed in reverse order: the stream, the core, the context, the loop.
  std::unique_ptr<pw_thread_loop, ThreadLoopDeleter> loop;
  std::unique_ptr<pw_context, ContextDeleter> context;
  std::unique_ptr<pw_core, CoreDeleter> core;
  std::unique_ptr<pw_stream, StreamDeleter> stream;
  spa_hook listener{};
  // Written and read on the stream's thread only.
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  FramePixelOrder order = FramePixelOrder::kBlueFirst;
  bool format_known = false;
  bool failed = false;

  Pipe(FrameStore& store, FormatHandler format, FailedHandler failure, PointerHandler pointer)
      : frames(store), on_format(std::move(format)), on_failed(std::move(failure)), on_pointer(std::move(pointer)) {}

  ~Pipe() {
    if (loop) {
      {
        const LoopLock lock(loop.get());
        if (stream) {
          spa_hook_remove(&listener);
        }
        stream.reset();
        core.reset();
      }
      pw_thread_loop_stop(loop.get());
    }
    context.reset();
    loop.reset();
  }

  void Fail(const std::string& cause) {
    if (!failed) {
      failed = true;
      on_failed(cause);
    }
  }

  static const pw_stream_events& Events() {
    static const pw_stream_events events = [] {
      pw_stream_events all{};
      all.version = PW_VERSION_STREAM_EVENTS;
      all.state_changed = &OnStateChanged;
      all.param_changed = &OnParamChanged;
      all.process = &OnProcess;
      return all;
    }();
    return events;
  }

  static void OnStateChanged(void* data, pw_stream_state old_state, pw_stream_state state, const char* error) {
    auto* pipe = static_cast<Pipe*>(data);
    if (state == PW_STREAM_STATE_ERROR) {
      pipe->Fail(std::string("the screen cast's stream failed: ") + (error != nullptr ? error : "unknown error"));
    } else if (state == PW_STREAM_STATE_UNCONNECTED && old_state != PW_STREAM_STATE_UNCONNECTED) {
      pipe->Fail("the screen cast's stream ended");
    }
  }

  static void OnParamChanged(void* data, std::uint32_t id, const spa_pod* param) {
    auto* pipe = static_cast<Pipe*>(data);
    if (param == nullptr || id != SPA_PARAM_Format) {
      return;
    }
    std::uint32_t media_type = 0;
    std::uint32_t media_subtype = 0;
    spa_video_info_raw info{};
    if (spa_format_parse(param, &media_type, &media_subtype) < 0 || media_type != SPA_MEDIA_TYPE_video ||
        media_subtype != SPA_MEDIA_SUBTYPE_raw || spa_format_video_raw_parse(param, &info) < 0) {
      return;
    }
    const char* name = FormatName(info.format);
    if (name == nullptr) {
      pipe->Fail("the screen cast's stream offers no 32-bit pixel format");
      return;
    }
    pipe->width = info.size.width;
    pipe->height = info.size.height;
    pipe->order = info.format == SPA_VIDEO_FORMAT_RGBx || info.format == SPA_VIDEO_FORMAT_RGBA
                      ? FramePixelOrder::kRedFirst
                      : FramePixelOrder::kBlueFirst;
    pipe->format_known = true;

    // Shared memory only, mapped by PipeWire, in several buffers; a header
    // to tell corrupted buffers and when the frame was shown.
    std::uint8_t bytes[kBuilderBytes];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(bytes, sizeof(bytes));
    const spa_pod* params[3];
    params[0] = static_cast<const spa_pod*>(
        spa_pod_builder_add_object(&builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
                                   SPA_POD_CHOICE_RANGE_Int(kBuffers, 2, kMostBuffers), SPA_PARAM_BUFFERS_dataType,
                                   SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr))));
    params[1] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Header),
        SPA_PARAM_META_size, SPA_POD_Int(static_cast<int>(sizeof(spa_meta_header)))));
    std::uint32_t count = 2;
    if (pipe->on_pointer) {
      params[count++] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
          &builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Cursor),
          SPA_PARAM_META_size,
          SPA_POD_CHOICE_RANGE_Int(kCursorBytes, static_cast<int>(sizeof(spa_meta_cursor)), kMostCursorBytes)));
    }
    pw_stream_update_params(pipe->stream.get(), params, count);
    pipe->on_format(std::to_string(pipe->width) + "x" + std::to_string(pipe->height) + " " + name);
  }

  static void OnProcess(void* data) {
    auto* pipe = static_cast<Pipe*>(data);
    // Only the newest of the buffers waiting counts.
    pw_buffer* newest = nullptr;
    while (pw_buffer* buffer = pw_stream_dequeue_buffer(pipe->stream.get())) {
      if (newest != nullptr) {
        pw_stream_queue_buffer(pipe->stream.get(), newest);
      }
      newest = buffer;
    }
    if (newest == nullptr) {
      return;
    }
    pipe->ReadPointer(*newest->buffer);
    pipe->Copy(*newest->buffer);
    pw_stream_queue_buffer(pipe->stream.get(), newest);
  }

  // Buffers that carry only the pointer's move come too: read before the frame's checks.
  void ReadPointer(spa_buffer& buffer) {
    if (!on_pointer || !format_known) {
      return;
    }
    const spa_meta* meta = spa_buffer_find_meta(&buffer, SPA_META_Cursor);
    if (meta == nullptr) {
      return;
    }
    if (const auto pointer = ReadCursorMetadata(meta->data, meta->size, width, height)) {
      on_pointer(*pointer);
    }
  }

  void Copy(const spa_buffer& buffer) {
    if (!format_known || buffer.n_datas < 1) {
      return;
    }
    const auto* header = static_cast<const spa_meta_header*>(
        spa_buffer_find_meta_data(&buffer, SPA_META_Header, sizeof(spa_meta_header)));
    if (header != nullptr && (header->flags & SPA_META_HEADER_FLAG_CORRUPTED) != 0) {
      return;
    }
    const spa_data& plane = buffer.datas[0];
    if (plane.data == nullptr || plane.chunk == nullptr || plane.chunk->size == 0 ||
        (plane.chunk->flags & SPA_CHUNK_FLAG_CORRUPTED) != 0) {
      return;
    }
    const std::uint64_t row_bytes = std::uint64_t{width} * 4;
    const std::uint64_t stride = plane.chunk->stride > 0 ? static_cast<std::uint64_t>(plane.chunk->stride) : row_bytes;
    const std::uint64_t offset = plane.chunk->offset % std::max<std::uint32_t>(plane.maxsize, 1);
    // A buffer too small for the negotiated size is not read past its end.
    if (height == 0 || stride < row_bytes || offset + stride * (height - 1) + row_bytes > plane.maxsize) {
      return;
    }
    frames.Store(static_cast<const std::uint8_t*>(plane.data) + offset, width, height,
                 static_cast<std::uint32_t>(stride), order, ShownAt(header));
  }
};

namespace {

void InitialisePipeWire() {
  static std::once_flag once;
  std::call_once(once, [] { pw_init(nullptr, nullptr); });
}

}  // namespace

PipeWireStream::PipeWireStream(FrameStore& frames, FormatHandler format, FailedHandler failed, PointerHandler pointer)
    : pipe_(std::make_unique<Pipe>(frames, std::move(format), std::move(failed), std::move(pointer))) {}

PipeWireStream::~PipeWireStream() = default;

bool PipeWireStream::Start(UniqueFd remote, std::uint32_t node, std::string& failure) {
  InitialisePipeWire();
  Pipe& pipe = *pipe_;
  pipe.loop.reset(pw_thread_loop_new("lumivanta-cast", nullptr));
  if (!pipe.loop) {
    failure = "cannot make PipeWire's thread";
    return false;
  }
  pipe.context.reset(pw_context_new(pw_thread_loop_get_loop(pipe.loop.get()), nullptr, 0));
  if (!pipe.context) {
    failure = "cannot make a PipeWire context";
    return false;
  }
  if (pw_thread_loop_start(pipe.loop.get()) < 0) {
    failure = "cannot start PipeWire's thread";
    return false;
  }
  const LoopLock lock(pipe.loop.get());
  // The core takes the descriptor over, also when it fails.
  pipe.core.reset(pw_context_connect_fd(pipe.context.get(), remote.Release(), nullptr, 0));
  if (!pipe.core) {
    failure = "cannot connect to PipeWire through the portal";
    return false;
  }
  pipe.stream.reset(pw_stream_new(pipe.core.get(), "lumivanta",
                                  pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY, "Capture",
                                                    PW_KEY_MEDIA_ROLE, "Screen", nullptr)));
  if (!pipe.stream) {
    failure = "cannot make a PipeWire stream";
    return false;
  }
  pw_stream_add_listener(pipe.stream.get(), &pipe.listener, &Pipe::Events(), &pipe);

  std::uint8_t bytes[kBuilderBytes];
  spa_pod_builder builder = SPA_POD_BUILDER_INIT(bytes, sizeof(bytes));
  // Named, as the builder takes their addresses.
  spa_rectangle default_size{1920, 1080};
  spa_rectangle min_size{1, 1};
  spa_rectangle max_size{16384, 16384};
  spa_fraction default_rate{30, 1};
  spa_fraction min_rate{0, 1};
  spa_fraction max_rate{1000, 1};
  const spa_pod* params[1];
  params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
      &builder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video),
      SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
      SPA_POD_CHOICE_ENUM_Id(5, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRA,
                             SPA_VIDEO_FORMAT_RGBx, SPA_VIDEO_FORMAT_RGBA),
      SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&default_size, &min_size, &max_size),
      SPA_FORMAT_VIDEO_framerate, SPA_POD_CHOICE_RANGE_Fraction(&default_rate, &min_rate, &max_rate)));
  const int connected = pw_stream_connect(
      pipe.stream.get(), PW_DIRECTION_INPUT, node,
      static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS), params, 1);
  if (connected < 0) {
    failure = std::string("cannot connect the PipeWire stream: ") + std::strerror(-connected);
    return false;
  }
  return true;
}

}  // namespace lumivanta
