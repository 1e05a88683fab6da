#include "window_size.h"

#include "twips.h"

#include <QCoreApplication>
#include <QLocale>
#include <QResizeEvent>
#include <QWidget>

#include <cmath>

namespace window_size {
namespace {

QSize frameOf(const QWidget &window) { return window.frameGeometry().size() - window.size(); }

// Whole pixels for a size in twips, bounded to what a widget can take.
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
    window.resize(inner);
    // Qt holds a hidden window's resize event back until it is shown.
    if (!window.isVisible() && window.size() != old) {
        QResizeEvent event(window.size(), old);
        QCoreApplication::sendEvent(&window, &event);
    }
}

}  // namespace

double outerWidth(const QWidget &window) { return twips::fromPixels(window.frameGeometry().width()); }

double outerHeight(const QWidget &window)
{
    return twips::fromPixels(window.frameGeometry().height());
}

double innerWidth(const QWidget &window) { return twips::fromPixels(window.width()); }

double innerHeight(const QWidget &window) { return twips::fromPixels(window.height()); }

void setOuterWidth(QWidget &window, double twips)
{
    const int inner = std::max(0, pixelsOf(twips) - frameOf(window).width());
    resizeInner(window, QSize(inner, window.height()));
}

void setOuterHeight(QWidget &window, double twips)
{
    const int inner = std::max(0, pixelsOf(twips) - frameOf(window).height());
    resizeInner(window, QSize(window.width(), inner));
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
