#pragma once

#include <QDialog>

#include "dialogs/DialogWindow.h"

namespace lumivanta {

// The first page of the first-run wizard: a welcome text and "Next".
class CWelcomeDialog : public QDialog {
  Q_OBJECT

 public:
  explicit CWelcomeDialog(QWidget* parent = nullptr);

  void accept() override { done(kDialogNext); }
  void reject() override { done(kDialogCancel); }
};

}  // namespace lumivanta
