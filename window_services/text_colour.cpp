#include "window_services/text_colour.h"

#include <QEvent>
#include <QWidget>

#include <cmath>
#include <variant>

namespace text_colour {
namespace {

// The least contrast that ordinary text needs, with a little room for rounding to 8 bits.
constexpr double kReadable = 4.5;
constexpr double kMargin = 0.05;

double luminance(const QColor &c)
{
    const auto linear = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    const QColor rgb = c.toRgb();
    return 0.2126 * linear(rgb.redF()) + 0.7152 * linear(rgb.greenF()) + 0.0722 * linear(rgb.blueF());
}

QColor mix(const QColor &from, const QColor &to, double t)
{
    const QColor a = from.toRgb(), b = to.toRgb();
    const auto channel = [t](int x, int y) { return int(std::lround(x + (y - x) * t)); };
    return QColor(channel(a.red(), b.red()), channel(a.green(), b.green()), channel(a.blue(), b.blue()));
}

using Hue = std::variant<QColor, QPalette::ColorRole>;

// Keeps one widget's text colour readable as its palette changes. Setting the colour
// changes the palette once more; that change finds the colour already right and stops.
class TextHue final : public QObject {
public:
    TextHue(QWidget *widget, Hue hue) : QObject(widget), m_widget(widget), m_hue(hue)
    {
        widget->installEventFilter(this);
        apply();
    }
    void set(Hue hue)
    {
        m_hue = hue;
        apply();
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_widget && event->type() == QEvent::PaletteChange)
            apply();
        return false;
    }

private:
    void apply()
    {
        QPalette palette = m_widget->palette();
        const QColor hue = std::holds_alternative<QColor>(m_hue)
                               ? std::get<QColor>(m_hue)
                               : palette.color(std::get<QPalette::ColorRole>(m_hue));
        const QColor drawn = readable(hue, palette.color(m_widget->backgroundRole()));
        if (palette.color(QPalette::WindowText) == drawn && palette.isBrushSet(QPalette::Active, QPalette::WindowText))
            return;
        palette.setColor(QPalette::WindowText, drawn);
        m_widget->setPalette(palette);
    }

    QWidget *m_widget;
    Hue m_hue;
};

void attach(QWidget *widget, Hue hue)
{
    if (auto *existing = widget->findChild<TextHue *>(QString(), Qt::FindDirectChildrenOnly))
        existing->set(hue);
    else
        new TextHue(widget, hue);
}

}  // namespace

double contrast(const QColor &a, const QColor &b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor readable(const QColor &hue, const QColor &background)
{
    // A hue that reads stays as it is (the layout's own colours on a light background); one
    // that does not is taken towards white on a dark background, towards black on a light one
    // (a theme's pale selection colour), just far enough.
    if (contrast(hue, background) >= kReadable + kMargin)
        return hue.toRgb();
    const bool dark = contrast(Qt::white, background) >= contrast(Qt::black, background);
    const QColor end(dark ? Qt::white : Qt::black);
    constexpr int kSteps = 100;
    for (int step = 1; step < kSteps; ++step) {
        const QColor drawn = mix(hue, end, double(step) / kSteps);
        if (contrast(drawn, background) >= kReadable + kMargin)
            return drawn;
    }
    return end;
}

void drawTextIn(QWidget *widget, const QColor &hue) { attach(widget, hue); }

void drawTextIn(QWidget *widget, QPalette::ColorRole role) { attach(widget, role); }

}  // namespace text_colour
