#include "dialogs/HeaderLabel.h"

#include <QFrame>
#include <QPalette>

namespace lumivanta {
namespace {
void PaintOnWhite(QWidget* widget) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, Qt::white);
  widget->setPalette(palette);
  widget->setAutoFillBackground(true);
}
}  // namespace

CHeaderLabel::CHeaderLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
  PaintOnWhite(this);
  setWordWrap(true);
}

void MakeTitleBold(QLabel* label) {
  QFont font = label->font();
  font.setWeight(QFont::Bold);
  label->setFont(font);
}

QWidget* MakeWhiteBand(QWidget* parent) {
  auto* band = new QWidget(parent);
  PaintOnWhite(band);
  return band;
}

QWidget* MakeEtchedLine(QWidget* parent) {
  auto* line = new QFrame(parent);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  return line;
}

}  // namespace lumivanta
