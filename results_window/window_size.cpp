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

// Waits for the frame of a window that was sized before the platform knew its frame.
class FrameCatchUp final : public QObject {
    Q_OBJECT
public:
    explicit FrameCatchUp(QWidget &window)
        : QObject(&window), m_window(window), m_inner(window.size())
    {
        window.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        const QEvent::Type type = event->type();
        if (m_done || watched != &m_window || !m_window.isVisible()
            || (type != QEvent::Show && type != QEvent::Move && type != QEvent::Resize))
            return false;
        const QSize frame = frameOf(m_window);
        // Resized by someone else (the user, maximizing) first: that size stands.
        const bool resizedElsewhere = m_window.size() != m_inner;
        if (!resizedElsewhere && frame.isNull())
            return false;
        m_done = true;
        deleteLater();
        if (!resizedElsewhere)
            m_window.resize((m_inner - frame).expandedTo(QSize(0, 0)));
        return false;
    }

private:
    QWidget &m_window;
    const QSize m_inner;
    bool m_done = false;
};

}  // namespace

void keepOuterSizeWhenFramed(QWidget &window)
{
    if (frameOf(window).isNull() && !window.isVisible())
        new FrameCatchUp(window);
}

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

#include "window_size.moc"
