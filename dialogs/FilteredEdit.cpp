#include "dialogs/FilteredEdit.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QValidator>

#include "dialogs/Beep.h"

namespace lumivanta {

// Judges every change by the characters it inserts: the text that differs
// between the edit's last text and the proposed one, after their common
// beginning and end. Characters that were there already are never judged, so a
// field that holds a refused character (from the configuration file) can still
// be edited.
class CFilteredEdit::InsertionValidator : public QValidator {
 public:
  explicit InsertionValidator(CFilteredEdit* edit) : QValidator(edit), edit_(edit), last_text_(edit->text()) {
    connect(edit, &QLineEdit::textChanged, this, [this](const QString& text) { last_text_ = text; });
  }

  State validate(QString& input, int&) const override {
    qsizetype prefix = 0;
    while (prefix < input.size() && prefix < last_text_.size() && input[prefix] == last_text_[prefix]) {
      ++prefix;
    }
    qsizetype suffix = 0;
    while (suffix < input.size() - prefix && suffix < last_text_.size() - prefix &&
           input[input.size() - 1 - suffix] == last_text_[last_text_.size() - 1 - suffix]) {
      ++suffix;
    }
    for (qsizetype i = prefix; i < input.size() - suffix; ++i) {
      if (!edit_->PassesFilter(input[i])) {
        Beep();
        return Invalid;
      }
    }
    return Acceptable;
  }

 private:
  CFilteredEdit* edit_;
  QString last_text_;
};

CFilteredEdit::CFilteredEdit(QWidget* parent) : QLineEdit(parent) { setValidator(new InsertionValidator(this)); }

void CFilteredEdit::SetCharacterSet(const CCharacterSet* characters) { characters_ = characters; }

bool CFilteredEdit::PassesFilter(QChar c) const {
  if (c == QChar(8) || c == QChar(10) || c == QChar(13)) {
    return true;
  }
  if (characters_ == nullptr) {
    return true;
  }
  // Only single-byte characters can be members of a set.
  return c.unicode() < 0x80 && characters_->IsAllowed(static_cast<char>(c.unicode()));
}

void CFilteredEdit::keyPressEvent(QKeyEvent* event) {
  // A paste from a clipboard without text pastes nothing and is answered like a refused paste.
  if (event->matches(QKeySequence::Paste) && !isReadOnly()) {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (data == nullptr || !data->hasText()) {
      Beep();
      event->accept();
      return;
    }
  }
  QLineEdit::keyPressEvent(event);
}

}  // namespace lumivanta
