#include "cut_text_tips.h"

#include <QAbstractItemView>
#include <QHeaderView>
#include <QHelpEvent>
#include <QTableView>
#include <QTextDocument>
#include <QToolTip>

bool CutTextTips::helpEvent(QHelpEvent *event, QAbstractItemView *view,
                            const QStyleOptionViewItem &option, const QModelIndex &index)
{
    if (!event || !view || event->type() != QEvent::ToolTip || !index.isValid())
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    const QString text = index.data(Qt::DisplayRole).toString();
    if (text.isEmpty() || sizeHint(option, index).width() <= option.rect.width()) {
        QToolTip::hideText();
        return true;
    }
    // As rich text the tip wraps, so a long description stays on the screen.
    QToolTip::showText(event->globalPos(), Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal),
                       view->viewport(), option.rect);
    return true;
}

void sizeColumnsToFirstRows(QTableView &grid, int rows, int maxWidth)
{
    const QAbstractItemModel *model = grid.model();
    if (!model)
        return;
    // Measured in the fonts and margins the grid will be drawn with.
    grid.ensurePolished();
    const int last = std::min(rows, model->rowCount());
    // A cell is its column less the grid line drawn at its edge.
    const int gridLine = grid.showGrid() ? 1 : 0;
    QHeaderView *header = grid.horizontalHeader();
    for (int column = 0; column < model->columnCount(); ++column) {
        const int headerWidth = header->sectionSizeHint(column);
        int width = headerWidth;
        for (int row = 0; row < last; ++row)
            width = std::max(width, grid.sizeHintForIndex(model->index(row, column)).width() + gridLine);
        header->resizeSection(column, std::max(headerWidth, std::min(width, maxWidth)));
    }
}
