#include "app/VantacastView.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QMetaObject>
#include <QScrollBar>
#include <QThread>
#include <QTimer>
#include <ctime>
#include <thread>
#include <utility>
#include <vector>

#include "app/LogLine.h"
#include "base/Report.h"
#include "dialogs/ConnectionTestDialog.h"
#include "dialogs/InformationDialog.h"
#include "dialogs/QtText.h"
#include "dialogs/SettingsDialog.h"
#include "dialogs/WelcomeDialog.h"
#include "strings/StringTable.h"

namespace lumivanta {
namespace {

constexpr int kLogFontPixelSize = 13;
// How often dialogs are looked for while the program is to end.
constexpr int kDialogCloserIntervalMs = 20;
constexpr int kRequestFinished = 1;
const QColor kLogBackground(255, 255, 200);
const QColor kLogText(128, 128, 128);

// The log's lines also go to standard error, where a desktop session keeps
// them and where a terminal shows them.
void MirrorToStandardError(std::string_view line) {
  if (line.starts_with("\r\n")) {
    line.remove_prefix(2);
  }
  std::string shown;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (!(line[i] == '\r' && i + 1 < line.size() && line[i + 1] == '\n')) {
      shown += line[i];
    }
  }
  ReportLine(shown);
}

// Lets the window system carry out what was asked of it (a window minimised,
// repainted) before the screen is copied.
void LetWindowSystemCatchUp() { QApplication::processEvents(QEventLoop::ExcludeUserInputEvents); }

// A Wayland client cannot minimise itself on every compositor (sway ignores
// the request): there the window is hidden instead, until restored.
bool HidesInsteadOfMinimising() { return QGuiApplication::platformName().startsWith(QLatin1String("wayland")); }

// Out of the way: minimised, or hidden where minimising may not work. While
// the main window is hidden, closing the information dialog must not end
// the program as closing its last window would.
void PutAway(QWidget* main_window) {
  if (HidesInsteadOfMinimising()) {
    QGuiApplication::setQuitOnLastWindowClosed(false);
    main_window->hide();
  } else {
    main_window->showMinimized();
  }
}

bool IsPutAway(const QWidget* main_window) { return main_window->isMinimized() || main_window->isHidden(); }

// The hotkey list of the information dialog, from the command table.
std::vector<HotkeyListRow> HotkeyListRows() {
  std::vector<HotkeyListRow> rows;
  for (const Command& command : Commands()) {
    if (command.hotkey_id != 0) {
      rows.push_back({FromText(Text(command.key_text_id)), FromText(Text(command.hotkey_text_id))});
    }
  }
  return rows;
}

}  // namespace

CvantacastView::CvantacastView(GlobalHotkeys& hotkeys, ScreenSource* screen, QWidget* parent)
    : QPlainTextEdit(parent), slideshow_timer_(new QTimer(this)), screen_(screen), run_(*this, hotkeys, screen) {
  // A display only: disabled, read-only, without scroll bars, following its end.
  setReadOnly(true);
  setEnabled(false);
  setFocusPolicy(Qt::NoFocus);
  setTextInteractionFlags(Qt::NoTextInteraction);
  setContextMenuPolicy(Qt::NoContextMenu);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setUndoRedoEnabled(false);

  QFont font("Arial");
  font.setPixelSize(kLogFontPixelSize);
  font.setWeight(QFont::Normal);
  font.setStyleHint(QFont::SansSerif);
  setFont(font);
  QPalette colours = palette();
  for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    colours.setColor(group, QPalette::Base, kLogBackground);
    colours.setColor(group, QPalette::Text, kLogText);
  }
  setPalette(colours);

  slideshow_timer_->setObjectName("slideshow-timer");
  slideshow_timer_->setTimerType(Qt::CoarseTimer);
  connect(slideshow_timer_, &QTimer::timeout, this, &CvantacastView::OnTimer);
}

CvantacastView::~CvantacastView() { run_.EndRun(); }

void CvantacastView::OnCommand(const Command& command) {
  run_.RunCommand(command.on_command);
  ShowMarks(run_.Marks());
}

void CvantacastView::AddLogLine(std::string_view text, bool with_time_stamp) {
  const bool first_line = !run_.HotkeysRegistered();
  if (first_line) {
    run_.RegisterHotkeys();
  }
  if (const unsigned count = repeats_.Count(text); count > 1) {
    ReplaceLastLogLine(RepeatedLine(last_line_, count));
    return;
  }
  last_line_ = MakeLogLine(text, with_time_stamp, first_line, std::time(nullptr));
  last_line_start_ = log_text_.size();
  moveCursor(QTextCursor::End);
  last_line_position_ = textCursor().position();
  MirrorToStandardError(last_line_);
  const std::string_view fitting = FitIntoLog(last_line_, log_text_.size());
  if (fitting.empty()) {
    return;
  }
  log_text_ += fitting;
  insertPlainText(DisplayText(fitting));
  verticalScrollBar()->setValue(verticalScrollBar()->maximum());
  horizontalScrollBar()->setValue(0);
}

void CvantacastView::ReplaceLastLogLine(const std::string& line) {
  MirrorToStandardError(line);
  log_text_.resize(last_line_start_);
  const std::string_view fitting = FitIntoLog(line, log_text_.size());
  log_text_ += fitting;
  QTextCursor cursor(document());
  cursor.setPosition(last_line_position_);
  cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
  cursor.insertText(DisplayText(fitting));
  verticalScrollBar()->setValue(verticalScrollBar()->maximum());
  horizontalScrollBar()->setValue(0);
}

void CvantacastView::LogMessage(unsigned string_id, bool with_time_stamp) {
  if (const auto text = LoadText(string_id)) {
    AddLogLine(*text, with_time_stamp);
  }
}

void CvantacastView::ShowInformationDialog(std::string_view message) {
  if (ending_) {
    return;
  }
  const CSettings& settings = run_.Settings();
  CInformationDialog dialog(DisplayText(message), settings.viewer_address, settings.contact_name, HotkeyListRows(),
                            DialogParent());
  dialog.exec();
}

bool CvantacastView::RunWhileResponsive(std::function<void()> work, std::function<void()> cancel) {
  if (ending_) {
    return false;
  }
  QEventLoop loop;
  std::thread worker([&] {
    work();
    QMetaObject::invokeMethod(
        &loop, [&loop] { loop.exit(kRequestFinished); }, Qt::QueuedConnection);
  });
  // The loop also ends when the application quits, or the program is to end
  // before its main loop runs; the work is then cut short.
  QEventLoop* const outer_loop = std::exchange(request_loop_, &loop);
  const bool finished = loop.exec() == kRequestFinished;
  request_loop_ = outer_loop;
  if (!finished) {
    cancel();
  }
  worker.join();
  return finished;
}

void CvantacastView::EndDialogsForExit() {
  ending_ = true;
  if (request_loop_ != nullptr) {
    request_loop_->exit(0);
  }
  // A dialog may still open on the way out of the one closed now (a message
  // box of the connection-test page): each one is closed as it comes.
  if (dialog_closer_ == nullptr) {
    dialog_closer_ = new QTimer(this);
    connect(dialog_closer_, &QTimer::timeout, this, &CvantacastView::CloseOpenDialogs);
    dialog_closer_->start(kDialogCloserIntervalMs);
  }
  CloseOpenDialogs();
}

void CvantacastView::CloseOpenDialogs() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (auto* dialog = qobject_cast<QDialog*>(widget); dialog != nullptr && dialog->isVisible()) {
      dialog->reject();
    }
  }
}

void CvantacastView::Post(std::function<void()> task) {
  QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

void CvantacastView::ClearScreenForCapture(bool others_leaving) {
  QWidget* main_window = window();
  if (IsPutAway(main_window)) {
    if (others_leaving) {
      LetWindowSystemCatchUp();
      QThread::msleep(PublishingRun::kCapturePauseMs);
    }
    return;
  }
  // Said before the window system hears of it: no frame that the desktop
  // showed without the window can be from before this moment.
  if (screen_ != nullptr) {
    screen_->ScreenWillChange();
  }
  PutAway(main_window);
  main_window->repaint();
  LetWindowSystemCatchUp();
  // Waits until the window system has carried the change out: Qt hands its
  // requests to a Wayland compositor from its event loop, which a loaded
  // machine may not turn to before the capture.
  QGuiApplication::sync();
  QThread::msleep(PublishingRun::kCapturePauseMs);
}

void CvantacastView::RepaintForCapture() {
  // A window put away is not on the screen: painting it, or waiting for the
  // window system to show it, would do nothing but cost every picture.
  if (IsPutAway(window())) {
    return;
  }
  window()->repaint();
  LetWindowSystemCatchUp();
}

void CvantacastView::ToggleMainWindow() {
  if (IsPutAway(window())) {
    window()->showNormal();
    QGuiApplication::setQuitOnLastWindowClosed(true);
  } else {
    PutAway(window());
  }
}

void CvantacastView::ShowMarks(const CommandMarks& marks) {
  for (const CommandMark& mark : marks) {
    if (const auto action = mark_actions_.find(mark.command_id); action != mark_actions_.end()) {
      action->second->setChecked(mark.checked);
    }
  }
}

bool CvantacastView::StartSlideshowTimer(int interval_ms) {
  slideshow_timer_->start(interval_ms);
  return slideshow_timer_->isActive();
}

void CvantacastView::StopSlideshowTimer() { slideshow_timer_->stop(); }

bool CvantacastView::IsSlideshowTimerRunning() const { return slideshow_timer_->isActive(); }

void CvantacastView::ShowWelcomePage() {
  if (ending_) {
    return;
  }
  CWelcomeDialog welcome(DialogParent());
  welcome.exec();
}

bool CvantacastView::ShowSettingsPage(CSettings& settings) {
  if (ending_) {
    return false;
  }
  CSettingsDialog settings_page(settings, DialogParent());
  return settings_page.exec() == kDialogNext;
}

bool CvantacastView::ShowConnectionTestPage(const CSettings& settings, std::function<bool()> test_connection) {
  if (ending_) {
    return false;
  }
  CConnectionTestDialog test_page(settings, std::move(test_connection), DialogParent());
  return test_page.exec() == kDialogBack;
}

// A minimised or hidden main window cannot carry a dialog: the window manager
// would hide it with its owner. Such dialogs stand on their own.
QWidget* CvantacastView::DialogParent() {
  QWidget* main_window = window();
  return main_window->isVisible() && !main_window->isMinimized() ? main_window : nullptr;
}

}  // namespace lumivanta
