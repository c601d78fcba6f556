#pragma once

// The screen cast's video stream: a PipeWire connection over the remote that
// the portal opened, with its own thread, that copies every frame into a
// frame store. Shared-memory buffers of 32-bit pixels only (blue or red
// first, with or without alpha); no DMA-BUF modifiers are offered, so a
// compositor that could send DMA-BUF sends shared memory.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/UniqueFd.h"
#include "platform/ScreenSource.h"
#include "platform/wayland/FrameStore.h"

namespace lumivanta {

class PipeWireStream {
 public:
  // Called on the stream's thread: the format it settled on, and why it ended.
  using FormatHandler = std::function<void(const std::string& format)>;
  using FailedHandler = std::function<void(const std::string& cause)>;
  // Called on the stream's thread with the pointer from a buffer's cursor metadata.
  using PointerHandler = std::function<void(const PointerState& pointer)>;

  // With a pointer handler the stream asks for cursor metadata.
  PipeWireStream(FrameStore& frames, FormatHandler format, FailedHandler failed, PointerHandler pointer = {});
  PipeWireStream(const PipeWireStream&) = delete;
  PipeWireStream& operator=(const PipeWireStream&) = delete;
  // Ends the stream and its thread; no handler runs afterwards.
  ~PipeWireStream();

  // Connects to node through remote and starts the thread; false and why in
  // failure when it cannot.
  bool Start(UniqueFd remote, std::uint32_t node, std::string& failure);

 private:
  struct Pipe;
  std::unique_ptr<Pipe> pipe_;
};

}  // namespace lumivanta
