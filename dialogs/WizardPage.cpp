#include "dialogs/WizardPage.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <algorithm>

#include "dialogs/DialogWindow.h"
#include "dialogs/HeaderLabel.h"
#include "res/Artwork.h"

namespace lumivanta {
namespace {
constexpr int kToolTipDurationFactor = 5;
constexpr int kToolTipWidthPx = 200;

// Qt keeps a tool tip for 10 s plus 40 ms per character beyond the hundredth.
int DefaultToolTipDurationMs(const QString& text) {
  return 10000 + 40 * static_cast<int>(std::max<qsizetype>(0, text.size() - 100));
}
}  // namespace

void SetUpWizardPage(QDialog* page) {
  page->setWindowTitle(kWizardTitle);
  page->setWindowFlags(DialogWindowFlags());
}

void LayOutHeaderedPage(QDialog* page, QWidget* header, QLayout* content, QLayout* buttons) {
  auto* body = new QVBoxLayout;
  body->setContentsMargins(content->contentsMargins());
  content->setContentsMargins(0, 0, 0, 0);
  body->addLayout(content);
  body->addStretch();
  body->addWidget(MakeEtchedLine(page));
  body->addLayout(buttons);

  auto* layout = new QVBoxLayout(page);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(header);
  layout->addWidget(MakeEtchedLine(page));
  layout->addLayout(body, 1);
}

void FixPageSize(QDialog* page, int min_width_px, int min_height_px) {
  QLayout* layout = page->layout();
  const int width = std::max(min_width_px, layout->minimumSize().width());
  const int height = layout->hasHeightForWidth() ? layout->totalHeightForWidth(width) : layout->sizeHint().height();
  page->setFixedSize(width, std::max(min_height_px, height));
}

QLabel* MakePictureLabel(QWidget* parent, const QString& resource) {
  auto* picture = new QLabel(parent);
  picture->setPixmap(QPixmap(resource));
  picture->setAlignment(Qt::AlignCenter);
  return picture;
}

QWidget* MakeHeaderBand(QWidget* parent, const QString& title, const QString& subtitle) {
  QWidget* band = MakeWhiteBand(parent);
  auto* title_label = new CHeaderLabel(title, band);
  title_label->setObjectName("title");
  MakeTitleBold(title_label);
  auto* subtitle_label = new CHeaderLabel(subtitle, band);
  subtitle_label->setObjectName("subtitle");
  subtitle_label->setIndent(12);

  auto* texts = new QVBoxLayout;
  texts->addWidget(title_label);
  texts->addWidget(subtitle_label);
  texts->addStretch();
  auto* layout = new QHBoxLayout(band);
  layout->setContentsMargins(12, 6, 6, 6);
  layout->addLayout(texts, 1);
  layout->addWidget(MakePictureLabel(band, ArtworkPath("header.png")));
  return band;
}

void SetLongToolTip(QWidget* widget, const QString& text) {
  // Rich text wraps at the given width and keeps the text's own line breaks.
  QString html = text.toHtmlEscaped();
  html.replace("\n", "<br>");
  widget->setToolTip(QStringLiteral("<table width=\"%1\"><tr><td>%2</td></tr></table>").arg(kToolTipWidthPx).arg(html));
  widget->setToolTipDuration(kToolTipDurationFactor * DefaultToolTipDurationMs(text));
}

}  // namespace lumivanta
