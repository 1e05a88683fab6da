#pragma once

#include <QString>

#include <optional>

class QWidget;

/// A top-level window's outer size (its frame included) and inner size in twips, and the
/// text in which a size is remembered.
namespace window_size {

double outerWidth(const QWidget &window);
double outerHeight(const QWidget &window);
double innerWidth(const QWidget &window);
double innerHeight(const QWidget &window);

/// Sets the outer width or height; the inner size takes what the frame leaves. A hidden
/// window gets its resize event at once, as a shown one does, so that a resize handler sees
/// every size change made while the window is being loaded.
void setOuterWidth(QWidget &window, double twips);
void setOuterHeight(QWidget &window, double twips);

/// Where the platform tells the frame around a window only once it is on screen, keeps
/// the outer size just given to the hidden `window` when the frame arrives: the inner size
/// gives way to the frame, once, unless something else has resized the window by then.
void keepOuterSizeWhenFramed(QWidget &window);

/// A remembered size as a single-precision number of twips; nothing when the text is not a
/// usable size (not a number, not finite, negative).
std::optional<float> sizeFromText(const QString &text);

/// The text a size is remembered as: decimal, whole numbers without a point; sizeFromText
/// reads it back as the same number.
QString textFromSize(float twips);

}  // namespace window_size
