#pragma once

// What the three pages of the connection wizard share: the caption, the
// header band with its bold title and picture, and the tool tips' look.

#include <QString>

class QDialog;
class QLabel;
class QLayout;
class QWidget;

namespace lumivanta {

inline constexpr const char* kWizardTitle = "Lumivanta: New Connection Wizard";

// Sets the caption and the window flags of a wizard page (caption, close box, no help button).
void SetUpWizardPage(QDialog* page);

// The white band with the bold title, the subtitle and the header picture at the right.
QWidget* MakeHeaderBand(QWidget* parent, const QString& title, const QString& subtitle);

// Lays out a page: the header band and an etched line on top, then the
// page's own content, then an etched line and the row of buttons.
void LayOutHeaderedPage(QDialog* page, QWidget* header, QLayout* content, QLayout* buttons);

// Gives a page its size: at least the given one, wider when its controls
// need it, and tall enough for its wrapped texts at that width.
void FixPageSize(QDialog* page, int min_width_px, int min_height_px);

// A label showing one of the program's pictures.
QLabel* MakePictureLabel(QWidget* parent, const QString& resource);

// A tool tip that stays five times as long as Qt would keep it by default
// and breaks its lines where the text does.
void SetLongToolTip(QWidget* widget, const QString& text);

}  // namespace lumivanta
