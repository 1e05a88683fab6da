#include "results_window/cut_text_tips.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QPainter>
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

void CutTextTips::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyleOptionViewItem cell = option;
    initStyleOption(&cell, index);
    // A plain one-line text, as every cell of the grid is: the style draws the cell without
    // it, and the text is cut to fit once and drawn once, where the style would lay it out,
    // measure and cut it over again for each cell at every repaint.
    const QStyleOptionViewItem::ViewItemFeatures others = QStyleOptionViewItem::HasCheckIndicator
        | QStyleOptionViewItem::HasDecoration | QStyleOptionViewItem::WrapText;
    if ((cell.features & others) || cell.text.contains(QChar::LineSeparator)
        || cell.text.contains(QLatin1Char('\n'))) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    const QString text = cell.text;
    cell.text.clear();
    const QWidget *widget = cell.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, widget);
    if (text.isEmpty())
        return;
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    const QRect area = cell.rect.adjusted(margin, 0, -margin, 0);
    const QPalette::ColorGroup group = !(cell.state & QStyle::State_Enabled) ? QPalette::Disabled
        : (cell.state & QStyle::State_Active)                             ? QPalette::Normal
                                                                          : QPalette::Inactive;
    painter->save();
    painter->setFont(cell.font);
    painter->setPen(cell.palette.color(group, (cell.state & QStyle::State_Selected) ? QPalette::HighlightedText
                                                                                   : QPalette::Text));
    const Qt::Alignment alignment = QStyle::visualAlignment(cell.direction, cell.displayAlignment);
    painter->drawText(area, int(alignment) | Qt::TextSingleLine,
                      cell.fontMetrics.elidedText(text, cell.textElideMode, area.width()));
    painter->restore();
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
