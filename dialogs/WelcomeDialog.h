#pragma once

#include <QDialog>

namespace lumivanta {

// The first page of the first-run wizard: a welcome text and "Next".
class CWelcomeDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kNext = 1;
  static constexpr int kClosed = 2;

  explicit CWelcomeDialog(QWidget* parent = nullptr);

  void accept() override { done(kNext); }
  void reject() override { done(kClosed); }
};

}  // namespace lumivanta
