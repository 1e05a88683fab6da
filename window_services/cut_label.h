#pragma once

#include <QLabel>

/// A one-line label of a fixed size that shows a text too long for it cut, with an ellipsis,
/// and offers the whole text as its tooltip and its accessible description. text() stays the
/// whole text (a screen reader reads it whole); only the drawing is cut.
class CutLabel : public QLabel {
    Q_OBJECT
public:
    explicit CutLabel(const QString &text, QWidget *parent = nullptr);

    /// Sets the whole text (hides QLabel::setText, which is not virtual: set it through a
    /// CutLabel).
    void setText(const QString &text);
    /// True while the text does not fit the label's width.
    bool isCut() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void offerWholeText();
    bool m_offered = false;
};
