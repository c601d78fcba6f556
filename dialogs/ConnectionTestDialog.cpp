#include "dialogs/ConnectionTestDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "dialogs/HeaderLabel.h"
#include "dialogs/QtText.h"
#include "dialogs/WizardPage.h"
#include "strings/StringTable.h"

namespace lumivanta {
namespace {

QLabel* MakeText(QWidget* parent, const QString& text) {
  auto* label = new QLabel(text, parent);
  label->setWordWrap(true);
  return label;
}
}  // namespace

void ShowInformationBox(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Information, FromText(Text(ids::kMessageCaption)), text, QMessageBox::Ok, parent);
  box.exec();
}

CConnectionTestDialog::CConnectionTestDialog(const CSettings& settings, std::function<bool()> test_connection,
                                             QWidget* parent)
    : QDialog(parent), settings_(settings), test_connection_(std::move(test_connection)) {
  SetUpWizardPage(this);
  QWidget* header = MakeHeaderBand(this, "Settings", "Test connection to the Web-Server");

  auto* first = MakeText(this,
                         "The current settings and connection to the web-server will now be tested.\n\n"
                         "If Firewall-Software is used, please ensure that DNS-Lookups and internet connections "
                         "from this program will NOT blocked.");
  auto* second = MakeText(this,
                          "To ensure this, it might be necessary to change your Firewall-Settings manually.\n\n"
                          "Answer any following authorization requests from your firewall software with \"Allow\".");
  auto* test = new QPushButton("Test connection", this);
  test->setObjectName("testConnection");
  test->setAutoDefault(false);
  auto* back = new QPushButton("Back", this);
  back->setObjectName("back");
  back->setAutoDefault(false);
  auto* next = new QPushButton("Next", this);
  next->setObjectName("next");
  next->setDefault(true);
  auto* cancel = new QPushButton("Cancel", this);
  cancel->setObjectName("cancel");
  cancel->setAutoDefault(false);
  connect(test, &QPushButton::clicked, this, &CConnectionTestDialog::OnTestConnection);
  connect(back, &QPushButton::clicked, this, &CConnectionTestDialog::OnBack);
  connect(next, &QPushButton::clicked, this, &CConnectionTestDialog::OnNext);
  connect(cancel, &QPushButton::clicked, this, &CConnectionTestDialog::reject);

  auto* test_row = new QHBoxLayout;
  test_row->addStretch();
  test_row->addWidget(test);
  test_row->addStretch();
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(back);
  buttons->addWidget(next);
  buttons->addWidget(cancel);

  auto* page = new QVBoxLayout;
  page->setContentsMargins(22, 12, 11, 11);
  page->addWidget(first);
  page->addSpacing(8);
  page->addWidget(second);
  page->addSpacing(12);
  page->addLayout(test_row);
  LayOutHeaderedPage(this, header, page, buttons);
  FixPageSize(this, 446, 379);
}

bool CConnectionTestDialog::TestAndReport() {
  const bool connected = test_connection_();
  ShowInformationBox(this, DisplayText(Text(connected ? ids::kConnectionTested : ids::kConnectionFailed)));
  return connected;
}

void CConnectionTestDialog::OnTestConnection() { TestAndReport(); }

void CConnectionTestDialog::OnNext() {
  if (settings_.connected || TestAndReport()) {
    done(kDialogNext);
  }
}

}  // namespace lumivanta
