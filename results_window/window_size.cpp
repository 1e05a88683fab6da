#include "results_window/window_size.h"

#include "window_services/twips.h"
#include "window_services/window_frame.h"

#include <QCoreApplication>
#include <QLocale>
#include <QResizeEvent>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace window_size {

std::optional<QSize> outerPixels(const QWidget &window)
{
    const auto frame = window_frame::reported(window);
    if (!frame)
        return std::nullopt;
    return window.size().grownBy(*frame);
}

double innerWidth(const QWidget &window) { return twips::fromPixels(window.width()); }

double innerHeight(const QWidget &window) { return twips::fromPixels(window.height()); }

int pixelsOf(double twipsValue)
{
    const double largest = QWIDGETSIZE_MAX * twips::perPixel();
    if (!(twipsValue > 0.0))
        return 0;
    return twips::toPixels(std::min(twipsValue, largest));
}

void resizeInner(QWidget &window, const QSize &inner)
{
    const QSize old = window.size();
    window.resize(inner.expandedTo(QSize(0, 0)));
    // Qt holds a hidden window's resize event back until it is shown.
    if (!window.isVisible() && window.size() != old) {
        QResizeEvent event(window.size(), old);
        QCoreApplication::sendEvent(&window, &event);
    }
}

std::optional<float> sizeFromText(const QString &text)
{
    bool ok = false;
    const float value = QLocale::c().toFloat(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value) || value < 0.0f)
        return std::nullopt;
    return value;
}

QString textFromSize(float twips)
{
    if (std::isfinite(twips) && twips == std::trunc(twips) && std::fabs(twips) < 1e9f)
        return QString::number(static_cast<qlonglong>(twips));
    // Nine significant digits read back as the same single-precision number.
    return QString::number(static_cast<double>(twips), 'g', 9);
}

}  // namespace window_size
