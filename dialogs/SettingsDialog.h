#pragma once

// The dialog in which the user changes the five settings. It edits the live
// settings record: "Next" writes the controls into it, "Cancel" leaves it alone.

#include <QDialog>

#include "dialogs/CharacterSet.h"
#include "dialogs/DialogWindow.h"
#include "settings/Settings.h"
#include "settings/SettingsRules.h"

class QComboBox;
class QLineEdit;
class QPushButton;

namespace lumivanta {

class CFilteredEdit;

class CSettingsDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr std::int32_t kMinimumRefreshRateMs = lumivanta::kMinimumRefreshRateMs;

  // Target heights of the size list, in list order.
  static constexpr const auto& kPictureSizes = lumivanta::kPictureSizes;

  CSettingsDialog(CSettings& live_settings, QWidget* parent = nullptr);

  // Shows the values of settings in the controls.
  void FillControls(const CSettings& settings);
  // Writes the controls into the live record.
  void ApplyControls();
  // Shows the values of a freshly made record; the live record is untouched.
  void UseDefaultValues();

  void accept() override;
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void BuildLayout();
  void AddToolTips();

  CSettings& live_settings_;
  CharacterList digit_set_{kDigitCharacters};
  CharacterList name_set_{kNameCharacters};
  QLineEdit* server_url_ = nullptr;
  CFilteredEdit* contact_name_ = nullptr;
  QComboBox* picture_quality_ = nullptr;
  QComboBox* picture_size_ = nullptr;
  CFilteredEdit* refresh_rate_ = nullptr;
  QPushButton* use_defaults_ = nullptr;
  QPushButton* next_ = nullptr;
  QPushButton* cancel_ = nullptr;
};

}  // namespace lumivanta
