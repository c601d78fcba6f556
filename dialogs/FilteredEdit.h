#pragma once

// A line edit that lets in only the characters of its character set, however
// they arrive: typed, pasted, dropped or from an input method. A change that
// would bring in any other character is refused as a whole (so a paste is all
// or nothing) and answered with a beep. Undo works as in any line edit.

#include <QLineEdit>

#include "dialogs/CharacterSet.h"

namespace lumivanta {

class CFilteredEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit CFilteredEdit(QWidget* parent = nullptr);

  // Not owned; must outlive the edit. Without a set every character passes.
  void SetCharacterSet(const CCharacterSet* characters);

  // Backspace, line feed and carriage return always pass.
  bool PassesFilter(QChar c) const;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  class InsertionValidator;

  const CCharacterSet* characters_ = nullptr;
};

}  // namespace lumivanta
