#pragma once

// The main window: 450 x 150 pixels, the menu, one toolbar and the main view
// as its whole client area. No status bar.

#include <QMainWindow>

#include "platform/GlobalHotkeys.h"
#include "platform/ScreenSource.h"

class QAction;

namespace lumivanta {

class CvantacastView;
struct Command;

class CMainFrame : public QMainWindow {
  Q_OBJECT

 public:
  static constexpr int kWidthPx = 450;
  static constexpr int kHeightPx = 150;
  static constexpr int kToolbarPictureSizePx = 25;

  CMainFrame(GlobalHotkeys& hotkeys, ScreenSource* screen, QWidget* parent = nullptr);

  // Builds the menu and the toolbar; false when the toolbar's pictures cannot
  // be had, and the window then must not be used.
  bool OnCreate();

  CvantacastView& View() { return *view_; }

  // The caption: the frame's title, " - ", the document's title.
  void SetDocumentTitle(const QString& document_title);

 signals:
  void AboutRequested();

 private:
  // The menu and toolbar action of a command, connected to its answer.
  QAction* MakeAction(const Command& command, const QIcon& icon);

  CvantacastView* view_ = nullptr;
};

}  // namespace lumivanta
