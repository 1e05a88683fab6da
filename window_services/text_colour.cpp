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

// Keeps one role of a widget's palette (its text colour, or its text area's fill) what it
// should be as the palette changes, as it does when the desktop's theme is switched. Setting
// the colour changes the palette once more; that change finds the colour already right and stops.
class Follower final : public QObject {
public:
    Follower(QWidget *widget, QPalette::ColorRole target, Hue hue, bool readableOnBackground)
        : QObject(widget), m_widget(widget), m_target(target), m_hue(hue), m_readable(readableOnBackground)
    {
        widget->installEventFilter(this);
        apply();
    }
    QPalette::ColorRole target() const { return m_target; }
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
        const QColor wanted = m_readable ? readable(hue, palette.color(m_widget->backgroundRole())) : hue;
        if (palette.color(m_target) == wanted && palette.isBrushSet(QPalette::Active, m_target))
            return;
        palette.setColor(m_target, wanted);
        m_widget->setPalette(palette);
    }

    QWidget *m_widget;
    QPalette::ColorRole m_target;
    Hue m_hue;
    bool m_readable;
};

void attach(QWidget *widget, QPalette::ColorRole target, Hue hue, bool readableOnBackground)
{
    for (auto *existing : widget->findChildren<Follower *>(QString(), Qt::FindDirectChildrenOnly))
        if (existing->target() == target) {
            existing->set(hue);
            return;
        }
    new Follower(widget, target, hue, readableOnBackground);
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

void drawTextIn(QWidget *widget, const QColor &hue) { attach(widget, QPalette::WindowText, hue, true); }

void drawTextIn(QWidget *widget, QPalette::ColorRole role) { attach(widget, QPalette::WindowText, role, true); }

void fillIn(QWidget *box, QPalette::ColorRole role) { attach(box, QPalette::Base, role, false); }

}  // namespace text_colour
