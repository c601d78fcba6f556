#pragma once

// The page that tests the connection to the picture server: "Test
// connection" tests and stays; "Next" closes once a test has succeeded;
// "Back" returns to the settings; "Cancel" keeps the settings untested.

#include <QDialog>
#include <functional>

#include "settings/Settings.h"

namespace lumivanta {

class CConnectionTestDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kNext = 1;
  static constexpr int kCancel = 2;
  static constexpr int kBack = 3;

  // test_connection sends the test request and sets or clears the record's
  // connected flag.
  CConnectionTestDialog(const CSettings& settings, std::function<bool()> test_connection, QWidget* parent = nullptr);

  void OnTestConnection();
  void OnNext();
  void OnBack() { done(kBack); }
  void reject() override { done(kCancel); }

 private:
  // Tests and shows the outcome in a message box; true on success.
  bool TestAndReport();

  const CSettings& settings_;
  std::function<bool()> test_connection_;
};

// Shows a text in the program's information message box.
void ShowInformationBox(QWidget* parent, const QString& text);

}  // namespace lumivanta
