#include "app/MainFrame.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QToolBar>
#include <map>
#include <vector>

#include "app/VantacastView.h"
#include "app/run/CommandTable.h"
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
  for (const char* name :
       {"icon-16.png", "icon-32.png", "icon-48.png", "icon-64.png", "icon-128.png", "icon-256.png"}) {
    icon.addFile(ArtworkPath(name));
  }
  setWindowIcon(icon);
  view_ = new CvantacastView(hotkeys, screen, this);
  setCentralWidget(view_);
}

void CMainFrame::SetDocumentTitle(const QString& document_title) {
  setWindowTitle(FromText(Text(ids::kMainTitle)) + " - " + document_title);
}

bool CMainFrame::OnCreate() {
  const QPixmap strip(ArtworkPath("toolbar.png"));
  const std::vector<const Command*> buttons = ToolbarCommands();
  if (strip.isNull() || strip.width() < static_cast<int>(buttons.size()) * kToolbarPictureSizePx) {
    return false;
  }
  QToolBar* toolbar = addToolBar("Toolbar");
  toolbar->setObjectName("toolbar");
  toolbar->setMovable(false);
  toolbar->setFloatable(false);
  toolbar->setIconSize(QSize(kToolbarPictureSizePx, kToolbarPictureSizePx));
  toolbar->setToolButtonStyle(Qt::ToolButtonIconOnly);
  toolbar->setContextMenuPolicy(Qt::PreventContextMenu);

  const std::map<MenuPopup, QMenu*> menus = {{MenuPopup::kFile, menuBar()->addMenu("&File")},
                                             {MenuPopup::kExtras, menuBar()->addMenu("&Extras")},
                                             {MenuPopup::kHelp, menuBar()->addMenu("&Help")}};
  std::map<const Command*, QAction*> actions;
  std::map<unsigned, QAction*> mark_actions;
  for (const Command& command : Commands()) {
    if (command.menu == MenuPopup::kNone) {
      continue;
    }
    // A command without a button has no picture of its own in the strip.
    const QIcon picture = command.toolbar_button < 0
                              ? QIcon()
                              : QIcon(strip.copy(command.toolbar_button * kToolbarPictureSizePx, 0,
                                                 kToolbarPictureSizePx, kToolbarPictureSizePx));
    QAction* action = MakeAction(command, picture);
    actions[&command] = action;
    if (command.check_style) {
      mark_actions[command.id] = action;
    }
    QMenu* menu = menus.at(command.menu);
    if (command.separator_before_in_menu) {
      menu->addSeparator();
    }
    menu->addAction(action);
  }
  for (const Command* command : buttons) {
    if (command->separator_before_on_toolbar) {
      toolbar->addSeparator();
    }
    toolbar->addAction(actions.at(command));
  }
  view_->SetMarkActions(std::move(mark_actions));
  return true;
}

QAction* CMainFrame::MakeAction(const Command& command, const QIcon& icon) {
  auto* action = new QAction(icon, FromText(command.menu_text), this);
  action->setObjectName(QStringLiteral("command%1").arg(command.id));
  action->setToolTip(ToolTipOf(command.id));
  action->setCheckable(command.check_style);
  // The shortcut texts of the menu are served by the system-wide hotkeys, not by the window.
  action->setShortcutContext(Qt::WidgetShortcut);
  if (command.id == ids::kCommandExit) {
    connect(action, &QAction::triggered, this, &QWidget::close);
  } else if (command.id == ids::kCommandAbout) {
    connect(action, &QAction::triggered, this, &CMainFrame::AboutRequested);
  } else {
    connect(action, &QAction::triggered, this, [this, &command] { view_->OnCommand(command); });
  }
  return action;
}

}  // namespace lumivanta
