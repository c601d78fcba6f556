#pragma once

// What the program's dialogs share: how a page is left, and the look of
// their windows.

#include <QDialog>

namespace lumivanta {

// How a page of the wizard or the settings was left: the result of QDialog::exec.
enum DialogResult : int {
  kDialogNext = 1,
  // Cancel, the close box or Escape.
  kDialogCancel = 2,
  kDialogBack = 3,
};

// A caption with its system menu and close box, no help button; above
// every other window where stays_on_top.
inline Qt::WindowFlags DialogWindowFlags(bool stays_on_top = false) {
  Qt::WindowFlags flags = Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  if (stays_on_top) {
    flags |= Qt::WindowStaysOnTopHint;
  }
  return flags;
}

}  // namespace lumivanta
