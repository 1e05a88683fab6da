#include "link_label.h"

#include "fonts.h"

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
    void doAction(const QString &actionName) override
    {
        if (actionName == pressAction())
            emit static_cast<LinkLabel *>(widget())->clicked();
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
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, QColor(0, 0, 255));
    setPalette(pal);
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
