#include "app/MainFrame.h"

#include <QAction>
#include <QMenuBar>
#include <QPixmap>
#include <QToolBar>

#include "app/VantacastView.h"
#include "dialogs/QtText.h"
#include "res/Artwork.h"
#include "strings/StringTable.h"

namespace lumivanta {
namespace {

// The tip of a command is the part of its text after the line break.
QString ToolTipOf(unsigned command_id) {
  const std::string_view text = Text(command_id);
  const std::size_t line_break = text.find('\n');
  return FromText(line_break == std::string_view::npos ? text : text.substr(line_break + 1));
}

}  // namespace

CMainFrame::CMainFrame(GlobalHotkeys& hotkeys, ScreenSource* screen, QWidget* parent) : QMainWindow(parent) {
  resize(kWidthPx, kHeightPx);
  QIcon icon;
  for (const char* name : {"icon-16.png", "icon-32.png", "icon-64.png", "icon-128.png"}) {
    icon.addFile(ArtworkPath(name));
  }
  setWindowIcon(icon);
  view_ = new CvantacastView(hotkeys, screen, this);
  setCentralWidget(view_);
}

void CMainFrame::SetDocumentTitle(const QString& document_title) {
  setWindowTitle(FromText(Text(ids::kMainTitle)) + " - " + document_title);
}

QAction* CMainFrame::MakeAction(unsigned command_id, const QString& menu_text, const QIcon& icon, bool check_style) {
  auto* action = new QAction(icon, menu_text, this);
  action->setObjectName(QStringLiteral("command%1").arg(command_id));
  action->setToolTip(ToolTipOf(command_id));
  action->setCheckable(check_style);
  // The shortcut texts of the menu are served by the system-wide hotkeys, not by the window.
  action->setShortcutContext(Qt::WidgetShortcut);
  return action;
}

bool CMainFrame::OnCreate() {
  const QPixmap strip(ArtworkPath("toolbar.png"));
  if (strip.isNull() || strip.width() < 7 * kToolbarPictureSizePx) {
    return false;
  }
  const auto picture = [&strip](int index) {
    return QIcon(strip.copy(index * kToolbarPictureSizePx, 0, kToolbarPictureSizePx, kToolbarPictureSizePx));
  };

  QAction* publish = MakeAction(ids::kCommandPublish, "&Publish current screen\tCtrl+P", picture(0), true);
  QAction* slideshow =
      MakeAction(ids::kCommandSlideshow, "&Slideshow (send screen automatically)\tCtrl+S", picture(1), true);
  QAction* cursor = MakeAction(ids::kCommandShowMouseCursor, "&Show mouse cursor\tCtrl+M", picture(2), true);
  QAction* remove = MakeAction(ids::kCommandDeletePictures, "Delete pictures\tCtrl+D", picture(3), false);
  QAction* options = MakeAction(ids::kCommandOptions, "&Options and settings\tCtrl+O", picture(4), false);
  QAction* exit = MakeAction(ids::kCommandExit, "Exit", picture(5), false);
  QAction* about = MakeAction(ids::kCommandAbout, "&About Lumivanta...", picture(6), false);

  // Every command also puts the marks back in line with the state, since Qt
  // flips a check-style action itself before the command runs.
  const auto command = [this](QAction* action, void (CvantacastView::*handler)()) {
    connect(action, &QAction::triggered, this, [this, handler] {
      (view_->*handler)();
      view_->RefreshMarks();
    });
  };
  command(publish, &CvantacastView::OnPublishScreen);
  command(slideshow, &CvantacastView::OnSlideshow);
  command(cursor, &CvantacastView::OnShowMouseCursor);
  command(remove, &CvantacastView::OnDeletePictures);
  command(options, &CvantacastView::OnOptions);
  connect(exit, &QAction::triggered, this, &QWidget::close);
  connect(about, &QAction::triggered, this, &CMainFrame::AboutRequested);
  view_->SetCommandMarks({publish, slideshow, cursor});

  QMenu* file = menuBar()->addMenu("&File");
  file->addAction(publish);
  file->addSeparator();
  file->addAction(slideshow);
  file->addSeparator();
  file->addAction(remove);
  file->addAction(exit);
  QMenu* extras = menuBar()->addMenu("&Extras");
  extras->addAction(cursor);
  extras->addAction(options);
  QMenu* help = menuBar()->addMenu("&Help");
  help->addAction(about);

  QToolBar* toolbar = addToolBar("Toolbar");
  toolbar->setObjectName("toolbar");
  toolbar->setMovable(false);
  toolbar->setFloatable(false);
  toolbar->setIconSize(QSize(kToolbarPictureSizePx, kToolbarPictureSizePx));
  toolbar->setToolButtonStyle(Qt::ToolButtonIconOnly);
  toolbar->setContextMenuPolicy(Qt::PreventContextMenu);
  toolbar->addAction(publish);
  toolbar->addAction(slideshow);
  toolbar->addSeparator();
  toolbar->addAction(cursor);
  toolbar->addSeparator();
  toolbar->addAction(remove);
  toolbar->addSeparator();
  toolbar->addAction(options);
  toolbar->addSeparator();
  toolbar->addAction(exit);
  toolbar->addSeparator();
  toolbar->addAction(about);
  return true;
}

}  // namespace lumivanta
