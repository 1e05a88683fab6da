#include "window_services/window_placement.h"

#include "window_services/window_frame.h"

#include <QGuiApplication>
#include <QPointer>
#include <QRect>
#include <QScreen>
#include <QWidget>

namespace {

void place(QWidget &window, const QWidget *owner, const QMargins &frame)
{
    const QScreen *screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    QRect outer(QPoint(), window.size().grownBy(frame));
    outer.moveCenter(area.center());
    // Right and bottom first, so that a window larger than the area keeps its title bar and
    // close box on the screen.
    if (outer.right() > area.right())
        outer.moveRight(area.right());
    if (outer.bottom() > area.bottom())
        outer.moveBottom(area.bottom());
    if (outer.left() < area.left())
        outer.moveLeft(area.left());
    if (outer.top() < area.top())
        outer.moveTop(area.top());
    // The inner position, which every platform takes as given; the frame goes around it.
    window.setGeometry(QRect(outer.topLeft() + QPoint(frame.left(), frame.top()), window.size()));
}

}  // namespace

void centreOnScreen(QWidget *window, const QWidget *owner)
{
    // A Wayland client cannot place its windows: the compositor does, a dialog over its
    // transient parent.
    if (window_frame::onWayland())
        return;
    const auto frame = window_frame::reported(*window);
    place(*window, owner, frame.value_or(QMargins()));
    if (!frame) {
        QPointer<const QWidget> ownerStill(owner);
        const bool hadOwner = owner != nullptr;
        window_frame::whenReported(*window, [window, ownerStill, hadOwner](const QMargins &known) {
            if (hadOwner && !ownerStill)
                return;
            place(*window, ownerStill.data(), known);
        });
    }
}
