#include "app/VantacastView.h"

#include <QAction>
#include <QScrollBar>
#include <QTimer>
#include <climits>
#include <cstdio>

#include "app/LogLine.h"
#include "dialogs/InformationDialog.h"
#include "dialogs/QtText.h"
#include "strings/StringTable.h"

namespace lumivanta {
namespace {

constexpr int kLogFontPixelSize = 13;
const QColor kLogBackground(255, 255, 200);
const QColor kLogText(128, 128, 128);
constexpr int kMinimumTimerIntervalMs = 10;

// The hotkey rows: the key is the last character of each key text.
constexpr std::array<unsigned, CvantacastView::kHotkeyCount> kHotkeyKeyTexts{
    ids::kKeyPublish, ids::kKeySlideshow, ids::kKeyMouseCursor, ids::kKeyOptions, ids::kKeyDelete, ids::kKeyRestore};

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
  std::fprintf(stderr, "lumivanta: %s\n", shown.c_str());
  std::fflush(stderr);
}

}  // namespace

int SlideshowIntervalForRate(std::int32_t refresh_rate_ms) {
  const auto unsigned_rate = static_cast<std::uint32_t>(refresh_rate_ms);
  if (unsigned_rate > static_cast<std::uint32_t>(INT_MAX)) {
    return INT_MAX;
  }
  return std::max(static_cast<int>(unsigned_rate), kMinimumTimerIntervalMs);
}

CvantacastView::CvantacastView(GlobalHotkeys& hotkeys, ScreenSource* screen, QWidget* parent)
    : QPlainTextEdit(parent),
      publisher_(std::make_unique<CPublisher>()),
      hotkeys_(hotkeys),
      screen_(screen),
      slideshow_timer_(new QTimer(this)),
      clock_([] { return std::time(nullptr); }) {
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

  slideshow_timer_->setTimerType(Qt::CoarseTimer);
  connect(slideshow_timer_, &QTimer::timeout, this, &CvantacastView::OnTimer);
  hotkeys_.SetHandler([this](int id) { OnHotKey(id); });
  settings_.SetDefaults();
}

CvantacastView::~CvantacastView() {
  ReleaseHotkeys();
  hotkeys_.SetHandler(nullptr);
  settings_.Save();
  // A failure here would log into a window that is going away; nobody sees it.
  DeletePictures(settings_, *this);
  publisher_.reset();
  hotkey_ids_.fill(0);
}

void CvantacastView::AddLogLine(std::string_view text, bool with_time_stamp) {
  const bool first_line = hotkey_ids_[0] == 0;
  if (first_line) {
    RegisterHotkeys();
  }
  const std::string line = MakeLogLine(text, with_time_stamp, first_line, clock_());
  MirrorToStandardError(line);
  const std::string_view fitting = FitIntoLog(line, log_text_.size());
  if (fitting.empty()) {
    return;
  }
  log_text_ += fitting;
  moveCursor(QTextCursor::End);
  insertPlainText(DisplayText(fitting));
  verticalScrollBar()->setValue(verticalScrollBar()->maximum());
  horizontalScrollBar()->setValue(0);
}

void CvantacastView::LogMessage(unsigned string_id, bool with_time_stamp) {
  if (const auto text = LoadText(string_id)) {
    AddLogLine(*text, with_time_stamp);
  }
}

void CvantacastView::ShowInformation(unsigned string_id) {
  dialog_open_ = true;
  CInformationDialog dialog(*this, DisplayText(Text(string_id)), DialogParent());
  dialog.exec();
  dialog_open_ = false;
}

void CvantacastView::RegisterHotkeys() {
  hotkey_modifier_ = kControlModifier;
  for (int row = 0; row < kHotkeyCount; ++row) {
    hotkey_ids_[row] = static_cast<std::uint32_t>(row + 1);
    const std::string_view key_text = Text(kHotkeyKeyTexts[row]);
    if (!key_text.empty()) {
      hotkeys_.Register(static_cast<int>(hotkey_ids_[row]), key_text.back());
    }
  }
}

void CvantacastView::ReleaseHotkeys() {
  for (const std::uint32_t id : hotkey_ids_) {
    if (id != 0) {
      hotkeys_.Unregister(static_cast<int>(id));
    }
  }
}

void CvantacastView::StartUp() {
  if (settings_.Load()) {
    LogMessage(TestConnection(settings_) ? ids::kConnectionTested : ids::kConnectionFailed, true);
  } else {
    RunFirstRunWizard();
  }
  single_picture_mode_ = true;
  SetPublishingMarks(true);
}

void CvantacastView::SetPublishingMarks(bool single) {
  if (marks_.publish != nullptr) {
    marks_.publish->setChecked(single);
  }
  if (marks_.slideshow != nullptr) {
    marks_.slideshow->setChecked(!single);
  }
}

void CvantacastView::RefreshMarks() {
  SetPublishingMarks(single_picture_mode_);
  if (marks_.show_mouse_cursor != nullptr) {
    marks_.show_mouse_cursor->setChecked(show_cursor_ == 1);
  }
}

int CvantacastView::SlideshowIntervalMs() const { return slideshow_timer_->interval(); }

void CvantacastView::StartSlideshowTimer() {
  slideshow_timer_->start(SlideshowIntervalForRate(settings_.refresh_rate_ms));
  slideshow_timer_id_ = slideshow_timer_->isActive() ? kSlideshowTimerEventId : 0;
}

void CvantacastView::StopSlideshowTimer() {
  slideshow_timer_->stop();
  slideshow_timer_id_ = 0;
}

bool CvantacastView::EnsureConnection() { return EnsureConnectionTested(settings_, *this); }

// A minimised or hidden main window cannot carry a dialog: the window manager
// would hide it with its owner. Such dialogs stand on their own.
QWidget* CvantacastView::DialogParent() {
  QWidget* main_window = window();
  return main_window->isVisible() && !main_window->isMinimized() ? main_window : nullptr;
}

}  // namespace lumivanta
