#include "window_services/cut_label.h"

#include <QEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

CutLabel::CutLabel(const QString &text, QWidget *parent) : QLabel(text, parent)
{
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
}

void CutLabel::setText(const QString &text)
{
    QLabel::setText(text);
    offerWholeText();
}

bool CutLabel::isCut() const
{
    return fontMetrics().horizontalAdvance(text()) > contentsRect().width();
}

void CutLabel::paintEvent(QPaintEvent *event)
{
    if (!isCut()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    const QRect area = contentsRect();
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, area.width());
    style()->drawItemText(&painter, area, int(alignment()), palette(), isEnabled(), shown, foregroundRole());
}

void CutLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    offerWholeText();
}

void CutLabel::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        offerWholeText();
}

// The tooltip and the description carry the whole text while it is cut, and go with the cut.
void CutLabel::offerWholeText()
{
    if (isCut()) {
        setToolTip(text());
        setAccessibleDescription(text());
        m_offered = true;
    } else if (m_offered) {
        setToolTip(QString());
        setAccessibleDescription(QString());
        m_offered = false;
    }
}
