#pragma once

#include <QSize>

class QScrollArea;
class QWidget;

/// A fixed-size window on a screen smaller than its design: it keeps the design wherever the
/// screen holds it, and otherwise becomes as large as the screen allows, its controls moved
/// unchanged into a scroll area that fills it.
namespace screen_fit {

/// Fits `window` (designed at `designed`, its inner size) to its screen once its frame is
/// known or expected, and again should the window manager report another: a no-op where the
/// screen holds the design. Call before the window is first shown. Returns the scroll area
/// that holds the controls, or null while none is needed.
QScrollArea *fit(QWidget &window, QSize designed);

}  // namespace screen_fit
