#pragma once

#include <QSize>
#include <QString>

#include <optional>

class QWidget;

/// A top-level window's outer size (its frame included) and inner size, and the text in
/// which a size is remembered.
namespace window_size {

/// The outer size in pixels: the inner size and the frame around it, once the frame is
/// reported (window_services/window_frame.h); nothing before.
std::optional<QSize> outerPixels(const QWidget &window);

double innerWidth(const QWidget &window);
double innerHeight(const QWidget &window);

/// Whole pixels for a size in twips, bounded to what a widget can take; 0 for a size that
/// is not positive.
int pixelsOf(double twips);

/// Gives the window the inner size `inner`. A hidden window gets its resize event at once,
/// as a shown one does, so that a resize handler sees every size change made while the
/// window is being loaded.
void resizeInner(QWidget &window, const QSize &inner);

/// A remembered size as a single-precision number of twips; nothing when the text is not a
/// usable size (not a number, not finite, negative).
std::optional<float> sizeFromText(const QString &text);

/// The text a size is remembered as: decimal, whole numbers without a point; sizeFromText
/// reads it back as the same number.
QString textFromSize(float twips);

}  // namespace window_size
