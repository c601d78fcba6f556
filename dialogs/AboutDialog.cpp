#include "dialogs/AboutDialog.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "dialogs/DialogWindow.h"
#include "res/Artwork.h"

namespace lumivanta {

CAboutDialog::CAboutDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle("About Lumivanta");
  setWindowFlags(DialogWindowFlags());

  auto* icon = new QLabel(this);
  icon->setPixmap(QPixmap(ArtworkPath("icon-32.png")));
  icon->setAlignment(Qt::AlignTop);
  auto* name = new QLabel("Lumivanta Version 1.0", this);
  auto* purpose = new QLabel("Your computer screen live on the Internet!", this);
  auto* texts = new QVBoxLayout;
  texts->addWidget(name);
  texts->addWidget(purpose);
  auto* top = new QHBoxLayout;
  top->addWidget(icon);
  top->addSpacing(12);
  top->addLayout(texts, 1);

  auto* notice_frame = new QFrame(this);
  notice_frame->setFrameShape(QFrame::StyledPanel);
  notice_frame->setFrameShadow(QFrame::Sunken);
  auto* notice = new QLabel(
      "Lumivanta puts your screen on the web: one picture on command, or a slideshow, "
      "for everyone who knows the web address and your contact name.\n\n"
      "Copyright (C) 2026 the Lumivanta developers.",
      notice_frame);
  notice->setWordWrap(true);
  auto* notice_layout = new QVBoxLayout(notice_frame);
  notice_layout->addWidget(notice);

  auto* ok = new QPushButton("OK", this);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(notice_frame, 1);
  layout->addLayout(buttons);
  resize(318, 206);
}

}  // namespace lumivanta
