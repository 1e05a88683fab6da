#include "window_services/screen_fit.h"

#include "window_services/accessible_widgets.h"
#include "window_services/window_frame.h"
#include "window_services/window_placement.h"

#include <QPointer>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QWidget>

namespace screen_fit {
namespace {

constexpr char kAreaName[] = "screenFitArea";

QScrollArea *areaOf(QWidget &window) { return window.findChild<QScrollArea *>(kAreaName, Qt::FindDirectChildrenOnly); }

// The window's controls, moved as they are into a scroll area that fills the window.
QScrollArea *wrap(QWidget &window, QSize designed)
{
    const QList<QWidget *> controls = window.findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    auto *area = new QScrollArea(&window);
    area->setObjectName(kAreaName);
    area->setFrameShape(QFrame::NoFrame);
    area->setFocusPolicy(Qt::NoFocus);
    auto *content = new QWidget;
    content->setObjectName(QStringLiteral("screenFitContent"));
    content->setFixedSize(designed);
    for (QWidget *control : controls) {
        if (control->isWindow())
            continue;
        const QRect at = control->geometry();
        const bool hidden = control->isHidden();
        control->setParent(content);
        control->setGeometry(at);
        control->setHidden(hidden);
    }
    accessibility::markWindow(content);
    area->setWidget(content);
    area->show();
    return area;
}

void apply(QWidget &window, QSize designed, const QMargins &frame)
{
    const QScreen *screen = window.screen();
    if (!screen)
        return;
    const QSize room = screen->availableGeometry().size().shrunkBy(frame);
    QScrollArea *area = areaOf(window);
    if (!area && designed.width() <= room.width() && designed.height() <= room.height())
        return;
    if (!area)
        area = wrap(window, designed);
    // A scroll bar across takes height, one down takes width, and each may make the other
    // needed.
    const int across = area->horizontalScrollBar()->sizeHint().height();
    const int down = area->verticalScrollBar()->sizeHint().width();
    QSize size = designed;
    const bool wide = size.width() > room.width(), tall = size.height() > room.height();
    if (wide)
        size.rheight() += across;
    if (tall || size.height() > room.height())
        size.rwidth() += down;
    if (!wide && size.width() > room.width())
        size.rheight() += across;
    size = size.boundedTo(room);
    window.setFixedSize(size);
    area->setGeometry(QRect(QPoint(), size));
    centreOnScreen(&window);
}

}  // namespace

QScrollArea *fit(QWidget &window, QSize designed)
{
    apply(window, designed, window_frame::expected(window).value_or(QMargins()));
    if (!window_frame::reported(window)) {
        QPointer<QWidget> still(&window);
        window_frame::whenReported(window, [still, designed](const QMargins &frame) {
            if (still)
                apply(*still, designed, frame);
        });
    }
    return areaOf(window);
}

}  // namespace screen_fit
