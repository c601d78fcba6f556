#include "dialogs/WelcomeDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "dialogs/HeaderLabel.h"
#include "dialogs/WizardPage.h"
#include "res/Artwork.h"

namespace lumivanta {

CWelcomeDialog::CWelcomeDialog(QWidget* parent) : QDialog(parent) {
  SetUpWizardPage(this);

  QWidget* area = MakeWhiteBand(this);
  auto* title = new CHeaderLabel("Welcome", area);
  title->setObjectName("title");
  MakeTitleBold(title);
  QFont large = title->font();
  large.setPointSizeF(large.pointSizeF() * 1.5);
  title->setFont(large);
  auto* text = new CHeaderLabel(
      "Before you use this software, a number of settings should be checked to ensure that the correct "
      "configuration for your system is used.\n\n\nThis wizard will help you!\n\n\nClick \"Next\" to continue.",
      area);
  text->setObjectName("text");
  text->setAlignment(Qt::AlignLeft | Qt::AlignTop);

  auto* texts = new QVBoxLayout;
  texts->setContentsMargins(14, 14, 14, 14);
  texts->addWidget(title);
  texts->addSpacing(12);
  texts->addWidget(text, 1);
  auto* area_layout = new QHBoxLayout(area);
  area_layout->setContentsMargins(0, 0, 0, 0);
  area_layout->addWidget(MakePictureLabel(area, ArtworkPath("welcome.png")));
  area_layout->addLayout(texts, 1);

  auto* next = new QPushButton("Next", this);
  next->setObjectName("next");
  next->setDefault(true);
  connect(next, &QPushButton::clicked, this, &CWelcomeDialog::accept);
  auto* buttons = new QHBoxLayout;
  buttons->setContentsMargins(11, 8, 11, 11);
  buttons->addStretch();
  buttons->addWidget(next);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(area, 1);
  layout->addWidget(MakeEtchedLine(this));
  layout->addLayout(buttons);
  FixPageSize(this, 465, 361);
}

}  // namespace lumivanta
