#include "dialogs/ViewerLink.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QUrl>

#include "dialogs/QtText.h"

namespace lumivanta {

void CopyViewerLink(const std::string& link) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboard->setText(FromText(link));
  if (clipboard->supportsSelection()) {
    clipboard->setText(FromText(link), QClipboard::Selection);
  }
}

bool OpenViewerLink(const std::string& link) {
  return QDesktopServices::openUrl(QUrl(FromText(link), QUrl::TolerantMode));
}

}  // namespace lumivanta
