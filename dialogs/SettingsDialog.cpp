#include "dialogs/SettingsDialog.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "dialogs/FilteredEdit.h"
#include "dialogs/HeaderLabel.h"
#include "dialogs/QtText.h"
#include "dialogs/WizardPage.h"
#include "settings/TextRules.h"
#include "strings/StringTable.h"

namespace lumivanta {

CSettingsDialog::CSettingsDialog(CSettings& live_settings, QWidget* parent)
    : QDialog(parent), live_settings_(live_settings) {
  SetUpWizardPage(this);
  BuildLayout();
  contact_name_->SetCharacterSet(&name_set_);
  refresh_rate_->SetCharacterSet(&digit_set_);

  picture_quality_->insertItem(0, FromText(Text(ids::kQualityCompressed)));
  picture_quality_->insertItem(1, FromText(Text(ids::kQualityNormal)));
  picture_quality_->insertItem(2, FromText(Text(ids::kQualityHigh)));
  for (const char* item : {"(1024)x768 pixel", "(800)x600 pixel", "(400)x300 pixel"}) {
    picture_size_->insertItem(0, item);
  }
  picture_size_->insertItem(0, FromText(Text(ids::kSizeOriginal)));
  // Both lists start without a selection: a size from the file that no entry
  // offers then leaves none selected, and Next keeps that size.
  picture_quality_->setCurrentIndex(-1);
  picture_size_->setCurrentIndex(-1);
  AddToolTips();
  FixPageSize(this, 447, 380);

  if (live_settings_.server_url.empty()) {
    UseDefaultValues();
    ApplyControls();
  }
  FillControls(live_settings_);
}

void CSettingsDialog::BuildLayout() {
  QWidget* header = MakeHeaderBand(this, "Check and test the current settings",
                                   "Normally, the default settings can be used without change.");

  auto* group = new QGroupBox("Settings", this);
  server_url_ = new QLineEdit(group);
  server_url_->setObjectName("serverUrl");
  contact_name_ = new CFilteredEdit(group);
  contact_name_->setObjectName("contactName");
  picture_quality_ = new QComboBox(group);
  picture_quality_->setObjectName("pictureQuality");
  picture_quality_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  picture_size_ = new QComboBox(group);
  picture_size_->setObjectName("pictureSize");
  refresh_rate_ = new CFilteredEdit(group);
  refresh_rate_->setObjectName("refreshRate");
  refresh_rate_->setAlignment(Qt::AlignRight);
  refresh_rate_->setInputMethodHints(Qt::ImhDigitsOnly);

  auto* refresh_row = new QHBoxLayout;
  refresh_row->addWidget(refresh_rate_);
  refresh_row->addWidget(new QLabel("milliseconds", group));
  refresh_row->addStretch();

  auto* grid = new QGridLayout(group);
  grid->addWidget(new QLabel("Server-URL:", group), 0, 0);
  grid->addWidget(server_url_, 0, 1);
  grid->addWidget(new QLabel("Contact name:", group), 1, 0);
  grid->addWidget(contact_name_, 1, 1);
  grid->addWidget(new QLabel("Picture quality:", group), 2, 0);
  grid->addWidget(picture_quality_, 2, 1);
  grid->addWidget(new QLabel("Picture size:", group), 3, 0);
  grid->addWidget(picture_size_, 3, 1);
  grid->addWidget(new QLabel("Refresh rate:", group), 4, 0);
  grid->addLayout(refresh_row, 4, 1);
  grid->setColumnStretch(1, 1);

  use_defaults_ = new QPushButton("Use default values", this);
  use_defaults_->setObjectName("useDefaults");
  use_defaults_->setAutoDefault(false);
  next_ = new QPushButton("Next", this);
  next_->setObjectName("next");
  next_->setDefault(true);
  cancel_ = new QPushButton("Cancel", this);
  cancel_->setObjectName("cancel");
  cancel_->setAutoDefault(false);
  connect(use_defaults_, &QPushButton::clicked, this, &CSettingsDialog::UseDefaultValues);
  connect(next_, &QPushButton::clicked, this, &CSettingsDialog::accept);
  connect(cancel_, &QPushButton::clicked, this, &CSettingsDialog::reject);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(use_defaults_);
  buttons->addStretch();
  buttons->addWidget(next_);
  buttons->addWidget(cancel_);

  auto* page = new QVBoxLayout;
  page->setContentsMargins(11, 6, 11, 11);
  page->addWidget(group);
  LayOutHeaderedPage(this, header, page, buttons);
}

void CSettingsDialog::AddToolTips() {
  SetLongToolTip(server_url_, FromText(Text(ids::kTipServerUrl)));
  SetLongToolTip(contact_name_, FromText(Text(ids::kTipContactName)));
  SetLongToolTip(picture_quality_, FromText(Text(ids::kTipPictureQuality)));
  SetLongToolTip(picture_size_, FromText(Text(ids::kTipPictureSize)));
  SetLongToolTip(refresh_rate_, FromText(Text(ids::kTipRefreshRate)));
  SetLongToolTip(use_defaults_, FromText(Text(ids::kTipUseDefaults)));
  SetLongToolTip(next_, FromText(Text(ids::kTipNext)));
  SetLongToolTip(cancel_, FromText(Text(ids::kTipCancel)));
}

void CSettingsDialog::FillControls(const CSettings& settings) {
  server_url_->setText(FromText(settings.server_url));
  contact_name_->setText(FromText(settings.contact_name));
  refresh_rate_->setText(QString::number(static_cast<std::uint32_t>(settings.refresh_rate_ms)));
  picture_quality_->setCurrentIndex(settings.picture_quality < 3 ? static_cast<int>(settings.picture_quality) : -1);
  for (int index = 0; index < static_cast<int>(std::size(kPictureSizes)); ++index) {
    if (kPictureSizes[index] == settings.picture_size) {
      picture_size_->setCurrentIndex(index);
    }
  }
}

void CSettingsDialog::ApplyControls() {
  live_settings_.server_url = ToText(server_url_->text());
  live_settings_.contact_name = ToText(contact_name_->text());
  const auto refresh_rate_ms = static_cast<std::int32_t>(LeadingInteger(ToText(refresh_rate_->text())));
  live_settings_.refresh_rate_ms = std::max(refresh_rate_ms, kMinimumRefreshRateMs);
  // Without a selection the index is -1, stored as 4294967295 and encoded like 0.
  live_settings_.picture_quality = static_cast<std::uint32_t>(picture_quality_->currentIndex());
  const int size_index = picture_size_->currentIndex();
  if (size_index >= 0) {
    live_settings_.picture_size = kPictureSizes[size_index];
  }
  live_settings_.UpdateServerAddresses();
}

void CSettingsDialog::UseDefaultValues() {
  const CSettings defaults;
  FillControls(defaults);
}

void CSettingsDialog::accept() {
  ApplyControls();
  done(kDialogNext);
}

void CSettingsDialog::reject() { done(kDialogCancel); }

void CSettingsDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  raise();
  activateWindow();
  server_url_->setFocus();
}

}  // namespace lumivanta
