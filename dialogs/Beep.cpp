#include "dialogs/Beep.h"

#include <QApplication>

namespace lumivanta {
namespace {
std::function<void()>& Handler() {
  static std::function<void()> handler;
  return handler;
}
}  // namespace

void Beep() {
  if (Handler()) {
    Handler()();
  } else {
    QApplication::beep();
  }
}

std::function<void()> SetBeepHandler(std::function<void()> handler) {
  return std::exchange(Handler(), std::move(handler));
}

}  // namespace lumivanta
