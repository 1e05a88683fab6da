#include "window_services/link_label.h"

#include "window_services/accessible_widgets.h"
#include "window_services/fonts.h"
#include "window_services/text_colour.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMouseEvent>

namespace {

class AccessibleLinkLabel final : public QAccessibleWidget {
public:
    explicit AccessibleLinkLabel(LinkLabel *label) : QAccessibleWidget(label, QAccessible::Link) {}

    QString text(QAccessible::Text t) const override
    {
        const auto *label = static_cast<const LinkLabel *>(widget());
        if (t == QAccessible::Name && label->accessibleName().isEmpty())
            return label->text();
        return QAccessibleWidget::text(t);
    }
    QStringList actionNames() const override { return {pressAction()}; }
    // The link opens once the caller has its answer: a modal window it opens would otherwise
    // hold the caller until the window closes.
    void doAction(const QString &actionName) override
    {
        if (actionName != pressAction())
            return;
        auto *label = static_cast<LinkLabel *>(widget());
        accessibility::postAction(label, [label] { emit label->clicked(); });
    }
    // A link set as a control's buddy names that control.
    QList<QPair<QAccessibleInterface *, QAccessible::Relation>>
    relations(QAccessible::Relation match) const override
    {
        auto all = QAccessibleWidget::relations(match);
        const auto *label = static_cast<const LinkLabel *>(widget());
        if ((match & QAccessible::Labelled) && label->buddy()) {
            if (QAccessibleInterface *named = QAccessible::queryAccessibleInterface(label->buddy()))
                all.append({named, QAccessible::Labelled});
        }
        return all;
    }
};

QAccessibleInterface *linkLabelAccessible(const QString &className, QObject *object)
{
    if (className == QLatin1String("LinkLabel") && object && object->isWidgetType())
        return new AccessibleLinkLabel(static_cast<LinkLabel *>(object));
    return nullptr;
}

}  // namespace

LinkLabel::LinkLabel(QWidget *parent, double pointSize) : QLabel(parent)
{
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(linkLabelAccessible);
        return true;
    }();
    Q_UNUSED(factoryInstalled);

    QFont font = classicFont(pointSize, true);
    font.setUnderline(true);
    setFont(font);
    text_colour::drawTextIn(this, QColor(0, 0, 255));
    setCursor(Qt::PointingHandCursor);
    setTextFormat(Qt::PlainText);
    // Reached by Tab only, so a click shows nothing new to a mouse user.
    setFocusPolicy(Qt::TabFocus);
}

void LinkLabel::setCaption(const QString &caption)
{
    setText(caption);
    adjustSize();
}

void LinkLabel::mousePressEvent(QMouseEvent *event)
{
    m_pressed = event->button() == Qt::LeftButton;
    QLabel::mousePressEvent(event);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent *event)
{
    const bool click = m_pressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    m_pressed = false;
    QLabel::mouseReleaseEvent(event);
    if (click)
        emit clicked();
}

void LinkLabel::mouseDoubleClickEvent(QMouseEvent *event)
{
    // The second press of a double-click: the first click has opened the link already.
    m_pressed = false;
    event->accept();
}

void LinkLabel::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        // A held key opens the link once; the repeats go nowhere else either.
        event->accept();
        if (!event->isAutoRepeat())
            emit clicked();
        return;
    default:
        break;
    }
    QLabel::keyPressEvent(event);
}
