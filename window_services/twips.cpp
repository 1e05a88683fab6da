#include "window_services/twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QVariant>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace twips {
namespace {
double g_override = 0.0;
const char *const kTwipsProperty = "quorbixTwipsRect";
// The fewest logical pixels that span a whole number of device pixels at `ratio`; 1 where
// that takes more than a few (the position is then only rounded).
int wholeDeviceStep(double ratio)
{
    for (int step = 1; step <= 4; ++step) {
        const double device = step * ratio;
        if (std::abs(device - std::round(device)) < 1e-6)
            return step;
    }
    return 1;
}

// A control's rectangle in pixels. At a fractional scale (1.25, 1.5) a frame line of one
// logical pixel that starts between two device pixels is covered by the control's inside and
// lost, so there the control's first and last pixel rows and columns each go to the nearest
// logical pixel that starts on a whole device pixel.
QRect pixelRect(const QWidget *widget, const QRectF &r)
{
    const int step = wholeDeviceStep(widget->devicePixelRatioF());
    if (step == 1)
        return QRect(toPixels(r.left()), toPixels(r.top()), toPixels(r.width()), toPixels(r.height()));
    const auto edge = [step](double value) {
        return static_cast<int>(std::lround(value / perPixel() / step)) * step;
    };
    const int x = edge(r.left());
    const int y = edge(r.top());
    return QRect(x, y, std::max(0, edge(r.left() + r.width()) - x + 1),
                 std::max(0, edge(r.top() + r.height()) - y + 1));
}

}  // namespace

double perPixel()
{
    if (g_override > 0.0)
        return g_override;
    const QScreen *screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInchX() : 96.0;
    return dpi > 0.0 ? 1440.0 / dpi : 15.0;
}

void setPerPixelOverride(double twipsPerPixel) { g_override = twipsPerPixel; }

int toPixels(double value) { return static_cast<int>(std::lround(value / perPixel())); }

double fromPixels(int pixels) { return pixels * perPixel(); }

void setGeometry(QWidget *widget, double left, double top, double width, double height)
{
    widget->setProperty(kTwipsProperty, QRectF(left, top, width, height));
    widget->setGeometry(pixelRect(widget, QRectF(left, top, width, height)));
}

void move(QWidget *widget, double left, double top)
{
    QRectF r = geometry(widget);
    r.moveTo(left, top);
    widget->setProperty(kTwipsProperty, r);
    widget->move(pixelRect(widget, r).topLeft());
}

QRectF geometry(const QWidget *widget)
{
    const QVariant stored = widget->property(kTwipsProperty);
    const QRect px = widget->geometry();
    if (!stored.isValid())
        return QRectF(fromPixels(px.x()), fromPixels(px.y()), fromPixels(px.width()),
                      fromPixels(px.height()));
    QRectF r = stored.toRectF();
    // An auto-sized widget keeps its twips position but takes the size it has now.
    const QRect set = pixelRect(widget, r);
    if (set.width() != px.width())
        r.setWidth(fromPixels(px.width()));
    if (set.height() != px.height())
        r.setHeight(fromPixels(px.height()));
    return r;
}

void setInnerSize(QWidget *window, double width, double height)
{
    window->resize(toPixels(width), toPixels(height));
}

}  // namespace twips
