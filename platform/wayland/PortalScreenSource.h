#pragma once

// The screen of a Wayland desktop through the desktop portal: one monitor,
// cast for the whole run over PipeWire. Frames come only when the screen
// changes, so the newest frame received is the current screen. The consent
// is asked for when the source is made; the portal's restore token is kept
// between runs so that desktops that ask for consent ask only once.

#include <QObject>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>

#include "base/UniqueFd.h"
#include "platform/ScreenSource.h"
#include "platform/wayland/FrameStore.h"

namespace lumivanta {

class PipeWireStream;
class PortalScreenCast;

class PortalScreenSource : public ScreenSource {
 public:
  // How long a grab waits for the first frame of the run, and for a frame
  // that the desktop showed after the program's window went away: the
  // change reaches the stream later, much later on a loaded machine.
  static constexpr std::chrono::milliseconds kFirstFrameWait{500};
  static constexpr std::chrono::milliseconds kChangeWait{2000};

  PortalScreenSource();
  PortalScreenSource(const PortalScreenSource&) = delete;
  PortalScreenSource& operator=(const PortalScreenSource&) = delete;
  ~PortalScreenSource() override;

  // The newest frame, without waiting once one has come; false when the
  // cast does not work or no frame came in time.
  bool Grab(ScreenImage& screen) override;
  void ScreenWillChange() override;
  // Where the portal sends cursor metadata, the pointer's place from the
  // newest buffer that told it; elsewhere never showing.
  PointerState Pointer() override;
  // With cursor metadata the program draws its arrow; where the portal can
  // only embed the pointer in the frames, the cast starts again with or
  // without it; elsewhere the pointer cannot be shown.
  PointerDrawing ShowPointer(bool shown) override;

 private:
  // Asks the portal for the cast, with the pointer embedded or hidden.
  void BeginCast();
  void OnStarted(UniqueFd remote, std::uint32_t node);
  // On the user-interface thread: the cast cannot work; said once.
  void OnUnavailable(const std::string& cause);
  // Writes a grab's failure to stderr unless it is the one written last.
  void Report(const std::string& failure);

  FrameStore frames_;
  // Receives what the stream's thread hands to the user-interface thread;
  // what is still on its way when the source goes is dropped with it.
  QObject context_;
  std::unique_ptr<PortalScreenCast> cast_;
  std::unique_ptr<PipeWireStream> stream_;
  bool unavailable_ = false;
  // The next grab waits for the screen without the program's window.
  bool change_expected_ = false;
  unsigned cursor_modes_ = 0;
  bool pointer_embedded_ = false;
  // Written on the stream's thread, read on the user-interface thread.
  std::mutex pointer_mutex_;
  PointerState pointer_;
  std::string last_report_;
};

}  // namespace lumivanta
