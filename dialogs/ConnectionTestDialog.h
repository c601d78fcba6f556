#pragma once

// The page that tests the connection to the picture server: "Test
// connection" tests and stays; "Next" closes once a test has succeeded;
// "Back" returns to the settings; "Cancel" keeps the settings untested.

#include <QDialog>
#include <functional>

#include "dialogs/DialogWindow.h"
#include "settings/Settings.h"

namespace lumivanta {

class CConnectionTestDialog : public QDialog {
  Q_OBJECT

 public:
  // test_connection sends the test request and sets or clears the record's
  // connected flag.
  CConnectionTestDialog(const CSettings& settings, std::function<bool()> test_connection, QWidget* parent = nullptr);

  void OnTestConnection();
  void OnNext();
  void OnBack() { done(kDialogBack); }
  void reject() override { done(kDialogCancel); }

 private:
  // Tests and shows the outcome in a message box; true on success.
  bool TestAndReport();

  const CSettings& settings_;
  std::function<bool()> test_connection_;
};

// Shows a text in the program's information message box.
void ShowInformationBox(QWidget* parent, const QString& text);

}  // namespace lumivanta
