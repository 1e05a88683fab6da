#include "window_services/focus_ring.h"

#include <QApplication>
#include <QEvent>
#include <QFocusEvent>
#include <QPainter>
#include <QPointer>
#include <QWidget>

namespace {

constexpr int kPenWidth = 2;

// The frame is a sibling of the framed control, so it scrolls and clips with it.
class FocusFrame final : public QWidget {
public:
    FocusFrame()
    {
        setObjectName(QStringLiteral("focusRing"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        setFocusPolicy(Qt::NoFocus);
    }

    void frame(QWidget *control)
    {
        target = control;
        if (!control || !control->parentWidget() || !control->isVisible()) {
            hide();
            return;
        }
        if (parentWidget() != control->parentWidget())
            setParent(control->parentWidget());
        follow();
        show();
        raise();
    }
    void follow()
    {
        if (target)
            setGeometry(target->geometry().adjusted(-kPenWidth, -kPenWidth, kPenWidth, kPenWidth));
    }

    QPointer<QWidget> target;
    QPointer<QWidget> window;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        QPen pen(QApplication::palette().color(QPalette::Active, QPalette::Highlight), kPenWidth);
        pen.setJoinStyle(Qt::MiterJoin);
        painter.setPen(pen);
        painter.drawRect(QRectF(rect()).adjusted(kPenWidth / 2.0, kPenWidth / 2.0, -kPenWidth / 2.0,
                                                 -kPenWidth / 2.0));
    }
};

// One watcher for the whole program: it follows the focus, the keys and the mouse.
class Watcher final : public QObject {
public:
    bool eventFilter(QObject *object, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::KeyPress:
            keyboard = true;
            update(QApplication::focusWidget());
            break;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            keyboard = false;
            update(QApplication::focusWidget());
            break;
        case QEvent::FocusIn: {
            const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
            if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason
                || reason == Qt::ShortcutFocusReason)
                keyboard = true;
            else if (reason == Qt::MouseFocusReason)
                keyboard = false;
            if (object->isWidgetType())
                update(static_cast<QWidget *>(object));
            break;
        }
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Hide:
            if (object->isWidgetType())
                if (FocusFrame *f = frameOf(static_cast<QWidget *>(object)); f && f->target == object)
                    event->type() == QEvent::Hide ? f->hide() : f->follow();
            break;
        default:
            break;
        }
        return false;
    }

    FocusFrame *frameOf(const QWidget *widget)
    {
        const QWidget *window = widget ? widget->window() : nullptr;
        if (!window)
            return nullptr;
        frames.removeAll(nullptr);
        for (const QPointer<FocusFrame> &f : std::as_const(frames)) {
            if (f->window == window)
                return f;
        }
        return nullptr;
    }

    QList<QPointer<FocusFrame>> frames;

private:
    void update(QWidget *focus)
    {
        FocusFrame *f = frameOf(focus);
        if (!f)
            return;
        if (keyboard && focus != f)
            f->frame(focus);
        else
            f->hide();
    }

    bool keyboard = false;
};

}  // namespace

namespace focus_ring {

Watcher &watcher()
{
    static Watcher *w = [] {
        auto *created = new Watcher;
        created->setParent(qApp);
        qApp->installEventFilter(created);
        return created;
    }();
    return *w;
}

void attach(QWidget *window)
{
    auto *f = new FocusFrame;
    f->setParent(window);
    f->window = window;
    f->hide();
    watcher().frames.append(f);
}

const QWidget *framedControl(const QWidget *window)
{
    const FocusFrame *f = watcher().frameOf(window);
    return f && f->isVisible() ? f->target.data() : nullptr;
}

}  // namespace focus_ring
