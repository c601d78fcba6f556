// Lumivanta: puts the computer's screen on the web.

#include <malloc.h>

#include <QApplication>

#include "app/VantacastApp.h"
#include "platform/GlobalHotkeys.h"
#include "platform/PlatformServices.h"

namespace {
// Every picture passes through buffers of megabytes that live for one
// capture. Served from mmap, they go back to the system when freed; glibc
// would otherwise raise its threshold after the first one and keep them in
// its heaps, where the resident size steps up over a long slideshow.
constexpr int kLargeBufferBytes = 512 * 1024;
}  // namespace

int main(int argc, char** argv) {
  mallopt(M_MMAP_THRESHOLD, kLargeBufferBytes);
  QApplication application(argc, argv);
  QApplication::setApplicationName("Lumivanta");
  QApplication::setDesktopFileName("lumivanta");

  lumivanta::CvantacastApp app(lumivanta::MakeGlobalHotkeys(), lumivanta::MakeScreenSource());
  if (!app.InitInstance()) {
    return 1;
  }
  return QApplication::exec();
}
