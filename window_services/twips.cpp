#include "twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QVariant>
#include <QWidget>

#include <cmath>

namespace twips {
namespace {
double g_override = 0.0;
const char *const kTwipsProperty = "quorbixTwipsRect";
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
    widget->setGeometry(toPixels(left), toPixels(top), toPixels(width), toPixels(height));
}

void move(QWidget *widget, double left, double top)
{
    QRectF r = geometry(widget);
    r.moveTo(left, top);
    widget->setProperty(kTwipsProperty, r);
    widget->move(toPixels(left), toPixels(top));
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
    if (toPixels(r.width()) != px.width())
        r.setWidth(fromPixels(px.width()));
    if (toPixels(r.height()) != px.height())
        r.setHeight(fromPixels(px.height()));
    return r;
}

void setInnerSize(QWidget *window, double width, double height)
{
    window->resize(toPixels(width), toPixels(height));
}

}  // namespace twips
