#pragma once

#include <QColor>
#include <QPalette>

class QWidget;

/// Coloured text that stays readable on whatever window colour the desktop's theme gives.
namespace text_colour {

/// The contrast ratio of two colours by their relative luminance: 1 (the same) to 21 (black
/// on white).
double contrast(const QColor &a, const QColor &b);

/// The colour that text of `hue` is drawn in on `background`: the hue itself where it reads at
/// a contrast of at least 4.5:1; otherwise the same hue made lighter on a dark background, or
/// darker on a light one, just far enough.
QColor readable(const QColor &hue, const QColor &background);

/// Draws `widget`'s text in `hue`, made readable on the window colour of its palette, and
/// again whenever that palette changes.
void drawTextIn(QWidget *widget, const QColor &hue);
/// As above, the hue being the palette's colour for `role` (the selection highlight).
void drawTextIn(QWidget *widget, QPalette::ColorRole role);

/// Fills the text area of `box` (a text box) with its palette's colour for `role`, and again
/// whenever that palette changes, so the fill follows a theme switched while it is open.
void fillIn(QWidget *box, QPalette::ColorRole role);

}  // namespace text_colour
