#pragma once

// Labels of the white header bands of the wizard pages.

#include <QLabel>

namespace lumivanta {

// A label painted on white, for the header band of a wizard page.
class CHeaderLabel : public QLabel {
  Q_OBJECT

 public:
  explicit CHeaderLabel(const QString& text, QWidget* parent = nullptr);
};

// Gives the label a bold copy of its own font; the label keeps the font.
void MakeTitleBold(QLabel* label);

// A white band for headers: its children (labels, pictures) sit on white.
QWidget* MakeWhiteBand(QWidget* parent);

// A sunken horizontal line, as between a header band and the page.
QWidget* MakeEtchedLine(QWidget* parent);

}  // namespace lumivanta
