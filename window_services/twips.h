#pragma once

#include <QRectF>

class QWidget;

/// Positions and sizes are kept in twips (1/1440 inch) and converted to pixels here only.
namespace twips {

/// Twips per pixel: 1440 / the primary screen's logical DPI (15 at 96 DPI).
double perPixel();
/// Tests set a fixed scale (15, 12); 0 goes back to the screen's.
void setPerPixelOverride(double twipsPerPixel);

/// Twips to whole pixels, rounded to nearest.
int toPixels(double twips);
double fromPixels(int pixels);

/// Places `widget` at a twips rectangle (relative to its parent's inner area) and keeps that
/// rectangle on the widget, so positions read back exactly as they were set.
void setGeometry(QWidget *widget, double left, double top, double width, double height);
void move(QWidget *widget, double left, double top);
/// The twips rectangle last set (or the pixel geometry converted, if none was set).
QRectF geometry(const QWidget *widget);

/// Sets the inner (client) size of a top-level window in twips.
void setInnerSize(QWidget *window, double width, double height);

}  // namespace twips
