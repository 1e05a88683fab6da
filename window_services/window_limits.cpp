#include "window_services/window_limits.h"

#include "window_services/twips.h"
#include "window_services/window_frame.h"

#include <QEvent>
#include <QScreen>
#include <QWidget>

#include <cmath>
#include <limits>
#include <optional>
#include <utility>

bool trackSizesOf(quintptr hWnd, int &minWidth, int &minHeight, int &maxWidth, int &maxHeight);
#ifdef Q_OS_WIN
void answerSizeQueries();  // window_limits_native.cpp
#endif

namespace {

// The table lives until the program ends and is never destroyed: the window objects it keeps
// must not end after the application object has gone.
std::optional<std::vector<WindowLimits>> &table()
{
    static auto *windowLimitsTable = new std::optional<std::vector<WindowLimits>>();
    return *windowLimitsTable;
}

/// Holds a registered window between its limits: Qt has no size query to answer, so the hook
/// asks the table whenever the window's size may have changed and applies the answer as the
/// window's minimum and maximum size, which Qt enforces for resize() and hands on to the window
/// manager for dragging (the maximum never less than the screen's available area, so that the
/// window can still be maximised). A size the window is given from outside anyway (a window manager that
/// ignores the hints, or none) is taken back between the limits.
///
/// Track sizes are outer sizes and Qt's limits are on the inner size, so nothing is applied
/// before the frame around the window is known.
class LimitsHook final : public QObject {
    Q_OBJECT
public:
    explicit LimitsHook(QWidget *window) : QObject(window), m_window(window)
    {
        window->installEventFilter(this);
        window_frame::whenReported(*window, [this](const QMargins &frame) {
            m_frame = frame;
            apply();
        });
    }

    void apply()
    {
        // A maximised or full-screen window has the size and the frame the manager gives it.
        if (!m_frame || (m_window->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)))
            return;
        const auto frame = window_frame::reported(*m_window);
        if (!frame)
            return;
        MINMAXINFO info;
        info.ptMinTrackSize = {m_window->minimumWidth() + frame->left() + frame->right(),
                               m_window->minimumHeight() + frame->top() + frame->bottom()};
        info.ptMaxTrackSize = {m_window->maximumWidth() + frame->left() + frame->right(),
                               m_window->maximumHeight() + frame->top() + frame->bottom()};
        if (!LimitsWindowProc(m_window->internalWinId(), info))
            return;
        // The inner sizes the track sizes leave inside `around`.
        const auto inner = [&info](const QMargins &around) {
            const int frameWidth = around.left() + around.right(), frameHeight = around.top() + around.bottom();
            const QSize minimum(qBound(0, info.ptMinTrackSize.x - frameWidth, QWIDGETSIZE_MAX),
                                qBound(0, info.ptMinTrackSize.y - frameHeight, QWIDGETSIZE_MAX));
            const QSize maximum = QSize(qBound(0, info.ptMaxTrackSize.x - frameWidth, QWIDGETSIZE_MAX),
                                        qBound(0, info.ptMaxTrackSize.y - frameHeight, QWIDGETSIZE_MAX))
                                      .expandedTo(minimum);
            return std::pair{minimum, maximum};
        };
        // What the window manager is told comes from the frame of the window as first framed:
        // a manager that frames a maximised window less sends its size before its state, and
        // limits worked out from that frame would keep the window from being restored.
        const auto [minimum, maximum] = inner(*m_frame);
        // The largest size that the platform hands on must come out as the largest outer size
        // where the platform leaves part of the frame out. (The smallest stays the inner one:
        // the window is given exactly that size.) Nor may it forbid maximising: a manager
        // refuses to maximise a window past the largest size it is told (xfwm4 does), and the
        // window it maximises may have less frame. So it is at least the screen's available
        // area; a drag past the limits is taken back below.
        QSize handedOn = maximum.grownBy(window_frame::leftOutOfLimits(*m_window));
        if (const QScreen *screen = m_window->screen())
            handedOn = handedOn.expandedTo(screen->availableGeometry().size());
        handedOn = handedOn.boundedTo(QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
        // Setting a limit can resize the window, which comes back here with the same answer.
        if (m_window->minimumSize() != minimum)
            m_window->setMinimumSize(minimum);
        if (m_window->maximumSize() != handedOn)
            m_window->setMaximumSize(handedOn);
        const auto [least, most] = inner(*frame);
        const QSize held = m_window->size().expandedTo(least).boundedTo(most);
        if (held != m_window->size())
            m_window->resize(held);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_window) {
            switch (event->type()) {
            case QEvent::Show:
            case QEvent::Resize:
            case QEvent::WinIdChange:
                apply();
                break;
            default:
                break;
            }
        }
        return false;  // every event goes on to the window itself
    }

private:
    QWidget *m_window;
    std::optional<QMargins> m_frame;  // as first reported
};

LimitsHook *hookOf(QWidget *window)
{
    return window->findChild<LimitsHook *>(QString(), Qt::FindDirectChildrenOnly);
}

}  // namespace

const std::optional<std::vector<WindowLimits>> &WindowLimitsTable() { return table(); }

qsizetype WindowLimitsUBound()
{
    return table() ? static_cast<qsizetype>(table()->size()) - 1 : -1;
}

std::optional<qint32> TwipsToPixels(qint32 twips, float twipsPerPixel)
{
    if (!(twipsPerPixel > 0.0f) || !std::isfinite(twipsPerPixel))
        return std::nullopt;
    // nearbyint in the default rounding mode sends an exact half to the even neighbour.
    const double pixels = std::nearbyint(static_cast<double>(twips) / twipsPerPixel);
    if (pixels < std::numeric_limits<qint32>::min() || pixels > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return static_cast<qint32>(pixels);
}

bool SetWindowLimits(const std::shared_ptr<QWidget> &form, qint32 minWidth, qint32 minHeight,
                     qint32 maxWidth, qint32 maxHeight)
{
    return SetWindowLimits(form.get(), form, minWidth, minHeight, maxWidth, maxHeight);
}

bool SetWindowLimits(QWidget *form, std::shared_ptr<const void> formObject, qint32 minWidth,
                     qint32 minHeight, qint32 maxWidth, qint32 maxHeight)
{
    if (!form || !formObject)
        return false;
    // The scale is read afresh for each conversion, as the screen reports it (single precision).
    const auto scale = [] { return static_cast<float>(twips::perPixel()); };
    const auto minW = TwipsToPixels(minWidth, scale());
    const auto minH = TwipsToPixels(minHeight, scale());
    const auto maxW = TwipsToPixels(maxWidth, scale());
    const auto maxH = TwipsToPixels(maxHeight, scale());
    if (!minW || !minH || !maxW || !maxH)
        return false;

    WindowLimits record;
    record.FormRef = FormReference(form, std::move(formObject));
    record.hWnd = form->winId();
    record.MinWidth = *minW;
    record.MinHeight = *minH;
    record.MaxWidth = *maxW;
    record.MaxHeight = *maxH;

    auto &limits = table();
    if (!limits)
        limits.emplace(2);  // slots 0 and 1; slot 0 stays empty
    else
        limits->emplace_back();

    // A second hook on one window would chain the window to itself: hook it once only.
    LimitsHook *hook = hookOf(form);
    if (!hook)
        hook = new LimitsHook(form);
    record.PrevWndProc = hook;

    limits->back() = std::move(record);
    hook->apply();
#ifdef Q_OS_WIN
    answerSizeQueries();
#endif
    return true;
}

bool trackSizesOf(quintptr hWnd, int &minWidth, int &minHeight, int &maxWidth, int &maxHeight)
{
    MINMAXINFO info;
    if (!LimitsWindowProc(hWnd, info))
        return false;
    minWidth = info.ptMinTrackSize.x;
    minHeight = info.ptMinTrackSize.y;
    maxWidth = info.ptMaxTrackSize.x;
    maxHeight = info.ptMaxTrackSize.y;
    return true;
}

bool LimitsWindowProc(WindowHandle hWnd, MINMAXINFO &info)
{
    const auto &limits = table();
    if (!limits)
        return false;
    const WindowLimits *found = nullptr;
    // No early exit: when several records carry the handle, the last registered wins.
    for (std::size_t slot = 1; slot < limits->size(); ++slot) {
        if ((*limits)[slot].hWnd == hWnd)
            found = &(*limits)[slot];
    }
    if (!found)
        return false;
    info.ptMinTrackSize = {found->MinWidth, found->MinHeight};
    info.ptMaxTrackSize = {found->MaxWidth, found->MaxHeight};
    return true;
}

QSize BoundedTrackSize(WindowHandle hWnd, const QSize &outer)
{
    MINMAXINFO info;
    if (!LimitsWindowProc(hWnd, info))
        return outer;
    const QSize minimum(info.ptMinTrackSize.x, info.ptMinTrackSize.y);
    const QSize maximum = QSize(info.ptMaxTrackSize.x, info.ptMaxTrackSize.y).expandedTo(minimum);
    return outer.expandedTo(minimum).boundedTo(maximum);
}

void resetWindowLimitsTable() { table().reset(); }

#include "window_limits.moc"
