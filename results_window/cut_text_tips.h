#pragma once

#include <QStyledItemDelegate>

/// Draws cells as the style does (a plain one-line text laid out once, not over again for
/// each measure) and, when a cell's text is cut by its column's width, shows the whole text
/// as the cell's tooltip.
class CutTextTips : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override;
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};

class QTableView;

/// Sizes every column of `grid` to its header and to the cells of its first `rows` rows,
/// each between the header's width and `maxWidth` pixels. Only those rows are read, so the
/// time does not grow with the listing.
void sizeColumnsToFirstRows(QTableView &grid, int rows, int maxWidth);
