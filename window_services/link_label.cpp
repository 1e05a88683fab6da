#include "link_label.h"

#include "fonts.h"

#include <QMouseEvent>

LinkLabel::LinkLabel(QWidget *parent, double pointSize) : QLabel(parent)
{
    QFont font = classicFont(pointSize, true);
    font.setUnderline(true);
    setFont(font);
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, QColor(0, 0, 255));
    setPalette(pal);
    setCursor(Qt::PointingHandCursor);
    setTextFormat(Qt::PlainText);
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
