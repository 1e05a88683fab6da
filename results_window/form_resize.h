#pragma once

#include <QList>

class QWidget;

/// Keeps a resizable window's controls in proportion: every resize scales their current
/// twips positions (and some sizes) by the ratio of the new inner size to the previous one.

/// What a resize does to a control, told apart by type in this order: a grid (item view)
/// moves and stretches both ways; any control but a text box or combo box only moves; a text
/// box or combo box moves and stretches in width.
enum class ResizeKind { MoveAndStretch, MoveOnly, MoveAndWiden };
ResizeKind resizeKindOf(const QWidget *control);

/// Scales `controls`, in order, by the single-precision factors `rx` (lefts, and the widths
/// that stretch) and `ry` (tops, and the grid's height). Each product is the control's
/// current twips value times its factor.
void scaleControls(const QList<QWidget *> &controls, float rx, float ry);

/// One resize to the inner size `scaleWidth` × `scaleHeight` twips: scales `controls` by the
/// ratio to `prevScaleWidth` × `prevScaleHeight` and makes this size the previous one.
/// An inner size of 0 in either direction (a minimized window) changes nothing and returns
/// false, so the layout comes back whole when the window is restored.
bool resizeControls(const QList<QWidget *> &controls, float scaleWidth, float scaleHeight,
                    float &prevScaleWidth, float &prevScaleHeight);
