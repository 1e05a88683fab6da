#pragma once

#include <QLabel>

/// A label drawn as a link: blue (0, 0, 255, lightened on a dark theme), bold, underlined, sized to its caption, with
/// the pointing-hand pointer. Emits `clicked` when pressed and released over it, and when
/// Enter or Space is pressed while it has the keyboard focus, which it takes from Tab.
/// Assistive technologies see it as a link named by its caption, its address (the tooltip)
/// as its description, with a press action.
class LinkLabel : public QLabel {
    Q_OBJECT
public:
    explicit LinkLabel(QWidget *parent = nullptr, double pointSize = 8.25);

    /// Sets the caption and re-sizes the label to it, growing to the right from its left edge.
    void setCaption(const QString &caption);

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    bool m_pressed = false;
};
