#include "dialogs/InformationDialog.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "dialogs/DialogWindow.h"
#include "dialogs/QtText.h"
#include "dialogs/ViewerLink.h"
#include "settings/ViewerAddress.h"
#include "strings/StringTable.h"

namespace lumivanta {
namespace {

constexpr int kHotkeyColumnWidthPx = 70;
constexpr int kCommandColumnMarginPx = 74;
constexpr int kAddressLines = 7;

}  // namespace

QString ViewerAddressText(const std::string& viewer_address, const std::string& contact_name) {
  std::string text(Text(ids::kViewerAddressTemplate));
  for (const auto& [mark, value] :
       {std::pair{std::string("#2"), viewer_address}, std::pair{std::string("#1"), contact_name}}) {
    for (std::size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at + value.size())) {
      text.replace(at, mark.size(), value);
    }
  }
  return DisplayText(text);
}

CInformationDialog::CInformationDialog(const QString& message, const std::string& viewer_address,
                                       const std::string& contact_name, std::span<const HotkeyListRow> hotkeys,
                                       QWidget* parent)
    : QDialog(parent), viewer_link_(ViewerLink(viewer_address, contact_name)) {
  setWindowTitle("Lumivanta: Hinweis");
  setWindowFlags(DialogWindowFlags(true));

  message_ = new QLabel(message, this);
  message_->setObjectName("message");
  QFont bold = message_->font();
  bold.setWeight(QFont::Bold);
  message_->setFont(bold);

  auto* address_group = new QGroupBox(FromText(Text(ids::kDocumentTitle)), this);
  address_ = new QPlainTextEdit(address_group);
  address_->setObjectName("address");
  address_->setReadOnly(true);
  address_->setLineWrapMode(QPlainTextEdit::NoWrap);
  address_->setPlainText(ViewerAddressText(viewer_address, contact_name));
  // Tall enough for the seven lines of the text; long lines scroll sideways.
  address_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  address_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  address_->setFixedHeight(kAddressLines * address_->fontMetrics().lineSpacing() + 2 * address_->frameWidth() +
                           2 * static_cast<int>(address_->document()->documentMargin()) +
                           address_->horizontalScrollBar()->sizeHint().height());
  auto* address_layout = new QVBoxLayout(address_group);
  address_layout->addWidget(address_);
  auto* copy_link = new QPushButton(kCopyViewerLinkText, address_group);
  copy_link->setObjectName("copyViewerLink");
  auto* open_viewer = new QPushButton(kOpenViewerText, address_group);
  open_viewer->setObjectName("openViewer");
  for (QPushButton* button : {copy_link, open_viewer}) {
    button->setAutoDefault(false);  // Enter still means OK
  }
  connect(copy_link, &QPushButton::clicked, this, [this] { CopyViewerLink(viewer_link_); });
  connect(open_viewer, &QPushButton::clicked, this, [this] { OpenViewerLink(viewer_link_); });
  auto* link_buttons = new QHBoxLayout;
  link_buttons->addWidget(copy_link);
  link_buttons->addWidget(open_viewer);
  link_buttons->addStretch();
  address_layout->addLayout(link_buttons);

  auto* commands_group = new QGroupBox("Available commands:", this);
  hotkeys_ = new QTreeWidget(commands_group);
  hotkeys_->setObjectName("hotkeys");
  hotkeys_->setRootIsDecorated(false);
  hotkeys_->setEnabled(false);
  hotkeys_->setColumnCount(2);
  hotkeys_->setHeaderLabels({FromText(Text(ids::kColumnHotkey)), FromText(Text(ids::kColumnCommand))});
  hotkeys_->header()->setSectionsClickable(false);
  hotkeys_->header()->setStretchLastSection(true);
  for (const HotkeyListRow& row : hotkeys) {
    hotkeys_->addTopLevelItem(new QTreeWidgetItem({row.key, row.command}));
  }
  // As tall as its rows, as the list needs no scrolling.
  hotkeys_->ensurePolished();
  hotkeys_->setFixedHeight(hotkeys_->header()->sizeHint().height() +
                           static_cast<int>(hotkeys.size()) * hotkeys_->sizeHintForRow(0) + 2 * hotkeys_->frameWidth() +
                           2);
  hotkeys_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  hotkeys_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  auto* commands_layout = new QVBoxLayout(commands_group);
  commands_layout->addWidget(hotkeys_);

  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("ok");
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addStretch();

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(message_);
  layout->addWidget(address_group);
  layout->addWidget(commands_group);
  layout->addLayout(buttons);
  // A fixed size, as a message dialog has: tiling window managers (sway, i3) float it rather than
  // stretching it over the screen, also when it stands on its own without the main window.
  setFixedSize(std::max(351, sizeHint().width()), sizeHint().height());
}

QString CInformationDialog::MessageText() const { return message_->text(); }

QString CInformationDialog::AddressText() const { return address_->toPlainText(); }

QList<QStringList> CInformationDialog::HotkeyRows() const {
  QList<QStringList> rows;
  for (int index = 0; index < hotkeys_->topLevelItemCount(); ++index) {
    const QTreeWidgetItem* item = hotkeys_->topLevelItem(index);
    rows.append({item->text(0), item->text(1)});
  }
  return rows;
}

void CInformationDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  const int list_width = hotkeys_->width();
  hotkeys_->setColumnWidth(0, kHotkeyColumnWidthPx);
  hotkeys_->setColumnWidth(1, std::max(0, list_width - kCommandColumnMarginPx));
  if (const QScreen* screen = this->screen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
  raise();
  activateWindow();
}

}  // namespace lumivanta
