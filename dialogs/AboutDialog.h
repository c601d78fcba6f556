#pragma once

#include <QDialog>

namespace lumivanta {

// The About box: the program's name, version and purpose.
class CAboutDialog : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutDialog(QWidget* parent = nullptr);
};

}  // namespace lumivanta
