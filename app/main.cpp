// Lumivanta: puts the computer's screen on the web.

#include <QApplication>

#include "GlobalHotkeys.h"
#include "PlatformServices.h"
#include "VantacastApp.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName("Lumivanta");
  QApplication::setDesktopFileName("lumivanta");

  lumivanta::CvantacastApp app(lumivanta::MakeGlobalHotkeys(), lumivanta::MakeScreenSource());
  if (!app.InitInstance()) {
    return 1;
  }
  return QApplication::exec();
}
