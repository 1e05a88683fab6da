#include "window_services/accessible_widgets.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QHash>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTextBlock>
#include <QTextBoundaryFinder>
#include <QTimer>

#include <algorithm>

namespace accessibility {
namespace {

const char kWindowProperty[] = "quorbixAccessibleWindow";
const char kFirstStopProperty[] = "quorbixFirstTabStop";

QHash<const QAbstractItemView *, std::function<void(const QModelIndex &)>> &openActions()
{
    static QHash<const QAbstractItemView *, std::function<void(const QModelIndex &)>> actions;
    return actions;
}

// ---- Text boundaries ----------------------------------------------------------------------

// The places where items of `type` begin or end in `text`, from 0 to its length. The walk
// stops at the end: the finder answers -1 there, which a walk bounded by the length alone
// (the toolkit's) takes for a boundary still to come, for ever.
QList<int> itemEdges(const QString &text, QAccessible::TextBoundaryType type)
{
    QList<int> edges{0};
    const int length = int(text.size());
    if (type == QAccessible::CharBoundary || type == QAccessible::WordBoundary
        || type == QAccessible::SentenceBoundary) {
        const auto finderType = type == QAccessible::CharBoundary   ? QTextBoundaryFinder::Grapheme
                                : type == QAccessible::WordBoundary ? QTextBoundaryFinder::Word
                                                                    : QTextBoundaryFinder::Sentence;
        QTextBoundaryFinder finder(finderType, text);
        for (qsizetype at = finder.toNextBoundary(); at > 0 && at < length; at = finder.toNextBoundary()) {
            const auto reasons = finder.boundaryReasons();
            if (type == QAccessible::CharBoundary
                || (reasons & (QTextBoundaryFinder::StartOfItem | QTextBoundaryFinder::EndOfItem)))
                edges << int(at);
        }
    } else if (type == QAccessible::LineBoundary || type == QAccessible::ParagraphBoundary) {
        for (int at = 0; at < length; ++at) {
            if (text.at(at) == QLatin1Char('\n') || text.at(at) == QChar::ParagraphSeparator)
                edges << at + 1;
        }
    }
    if (length > 0 && edges.last() != length)
        edges << length;
    return edges;
}

enum class Side { Before, At, After };

// The item of `type` at, before or after `offset`; the item at the end of the text is the
// last one (the caret after the last word stands on that word).
QString textAround(const QString &text, int offset, QAccessible::TextBoundaryType type, Side side,
                   int *startOffset, int *endOffset)
{
    *startOffset = *endOffset = -1;
    const int length = int(text.size());
    if (offset < 0 || offset > length)
        return QString();
    if (length == 0) {
        *startOffset = *endOffset = 0;
        return QString();
    }
    const QList<int> edges = itemEdges(text, type);
    // The item holding `offset`: [edges[i], edges[i + 1]).
    qsizetype i = std::upper_bound(edges.begin(), edges.end(), offset) - edges.begin() - 1;
    i = std::clamp<qsizetype>(i, 0, edges.size() - 2);
    if (type == QAccessible::CharBoundary && offset == length && side == Side::At) {
        *startOffset = *endOffset = length;
        return QString();
    }
    if (side == Side::Before)
        --i;
    else if (side == Side::After && !(type == QAccessible::CharBoundary && offset == length))
        ++i;
    if (i < 0 || i + 1 >= edges.size() || (type == QAccessible::CharBoundary && offset == length && side == Side::After)) {
        *startOffset = *endOffset = i < 0 ? 0 : length;
        return QString();
    }
    *startOffset = edges.at(i);
    *endOffset = edges.at(i + 1);
    return text.mid(*startOffset, *endOffset - *startOffset);
}

QString withoutAccessKey(QString text)
{
    text.replace(QLatin1String("&&"), QChar(0xfffe));
    text.remove(QLatin1Char('&'));
    text.replace(QChar(0xfffe), QLatin1Char('&'));
    return text;
}

// The text of the label whose buddy `widget` is, among its siblings.
QString buddyText(const QWidget *widget)
{
    if (const QWidget *parent = widget->parentWidget()) {
        for (const QLabel *label : parent->findChildren<QLabel *>(QString(), Qt::FindDirectChildrenOnly)) {
            if (label->buddy() == widget)
                return withoutAccessKey(label->text());
        }
    }
    return QString();
}

QString nameOf(const QWidget *widget)
{
    const QString name = widget->accessibleName();
    return name.isEmpty() ? buddyText(widget) : name;
}

// ---- Text boxes ---------------------------------------------------------------------------

// The parts of the text interface that hold for any box: boundaries over the whole text.
class TextParts : public QAccessibleTextInterface {
public:
    virtual QString wholeText() const = 0;

    QString text(int startOffset, int endOffset) const override
    {
        const QString all = wholeText();
        startOffset = std::clamp(startOffset, 0, int(all.size()));
        endOffset = endOffset < 0 ? int(all.size()) : std::clamp(endOffset, startOffset, int(all.size()));
        return all.mid(startOffset, endOffset - startOffset);
    }
    int characterCount() const override { return int(wholeText().size()); }
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType type, int *startOffset,
                             int *endOffset) const override
    {
        return textAround(wholeText(), offset, type, Side::Before, startOffset, endOffset);
    }
    QString textAtOffset(int offset, QAccessible::TextBoundaryType type, int *startOffset,
                         int *endOffset) const override
    {
        return textAround(wholeText(), offset, type, Side::At, startOffset, endOffset);
    }
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType type, int *startOffset,
                            int *endOffset) const override
    {
        return textAround(wholeText(), offset, type, Side::After, startOffset, endOffset);
    }
    QString attributes(int, int *startOffset, int *endOffset) const override
    {
        *startOffset = 0;
        *endOffset = characterCount();
        return QString();
    }
};

class AccessibleLineEdit final : public QAccessibleWidget,
                                 public TextParts,
                                 public QAccessibleEditableTextInterface {
public:
    explicit AccessibleLineEdit(QLineEdit *edit) : QAccessibleWidget(edit, QAccessible::EditableText) {}

    QLineEdit *edit() const { return static_cast<QLineEdit *>(widget()); }

    void *interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        // A read-only box offers no editing at all, so a request to set its text fails.
        if (t == QAccessible::EditableTextInterface)
            return edit()->isReadOnly() ? nullptr : static_cast<QAccessibleEditableTextInterface *>(this);
        return QAccessibleWidget::interface_cast(t);
    }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name)
            return nameOf(edit());
        if (t == QAccessible::Value)
            return wholeText();
        return QAccessibleWidget::text(t);
    }
    void setText(QAccessible::Text t, const QString &text) override
    {
        if (t == QAccessible::Value && !edit()->isReadOnly())
            edit()->setText(text);
        else if (t != QAccessible::Value)
            QAccessibleWidget::setText(t, text);
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.editable = !edit()->isReadOnly();
        s.readOnly = edit()->isReadOnly();
        s.selectableText = true;
        s.passwordEdit = edit()->echoMode() != QLineEdit::Normal;
        return s;
    }

    QString wholeText() const override
    {
        return edit()->echoMode() == QLineEdit::Normal ? edit()->text() : edit()->displayText();
    }
    QString text(int startOffset, int endOffset) const override { return TextParts::text(startOffset, endOffset); }
    void selection(int selectionIndex, int *startOffset, int *endOffset) const override
    {
        *startOffset = *endOffset = 0;
        if (selectionIndex == 0 && edit()->hasSelectedText()) {
            *startOffset = edit()->selectionStart();
            *endOffset = *startOffset + int(edit()->selectedText().size());
        }
    }
    int selectionCount() const override { return edit()->hasSelectedText() ? 1 : 0; }
    void addSelection(int startOffset, int endOffset) override { setSelection(0, startOffset, endOffset); }
    void removeSelection(int) override { edit()->deselect(); }
    void setSelection(int, int startOffset, int endOffset) override
    {
        edit()->setSelection(startOffset, endOffset - startOffset);
    }
    int cursorPosition() const override { return edit()->cursorPosition(); }
    void setCursorPosition(int position) override { edit()->setCursorPosition(position); }
    QRect characterRect(int offset) const override
    {
        const QString all = wholeText();
        if (offset < 0 || offset >= all.size())
            return QRect();
        // From the text's left edge; a text scrolled sideways is not accounted for.
        const QFontMetrics metrics = edit()->fontMetrics();
        const QRect inner = edit()->contentsRect().marginsRemoved(edit()->textMargins());
        const int x = inner.left() + 2 + metrics.horizontalAdvance(all.left(offset));
        const QRect local(x, inner.center().y() - metrics.height() / 2,
                          metrics.horizontalAdvance(all.at(offset)), metrics.height());
        return QRect(edit()->mapToGlobal(local.topLeft()), local.size());
    }
    int offsetAtPoint(const QPoint &point) const override
    {
        return edit()->cursorPositionAt(edit()->mapFromGlobal(point));
    }
    void scrollToSubstring(int startIndex, int endIndex) override
    {
        edit()->setCursorPosition(endIndex);
        edit()->setCursorPosition(startIndex);
    }

    void deleteText(int startOffset, int endOffset) override { replaceText(startOffset, endOffset, QString()); }
    void insertText(int offset, const QString &text) override { replaceText(offset, offset, text); }
    void replaceText(int startOffset, int endOffset, const QString &text) override
    {
        if (edit()->isReadOnly())
            return;
        QString all = edit()->text();
        startOffset = std::clamp(startOffset, 0, int(all.size()));
        endOffset = std::clamp(endOffset, startOffset, int(all.size()));
        edit()->setText(all.replace(startOffset, endOffset - startOffset, text));
    }
};

// A read-only many-line box: its text to read, nothing to edit.
class AccessibleReadOnlyMemo final : public QAccessibleWidget, public TextParts {
public:
    explicit AccessibleReadOnlyMemo(QPlainTextEdit *edit) : QAccessibleWidget(edit, QAccessible::EditableText) {}

    QPlainTextEdit *edit() const { return static_cast<QPlainTextEdit *>(widget()); }

    void *interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        if (t == QAccessible::EditableTextInterface)
            return nullptr;
        return QAccessibleWidget::interface_cast(t);
    }
    int childCount() const override { return 0; }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name)
            return nameOf(edit());
        if (t == QAccessible::Value)
            return wholeText();
        return QAccessibleWidget::text(t);
    }
    void setText(QAccessible::Text t, const QString &text) override
    {
        if (t != QAccessible::Value)
            QAccessibleWidget::setText(t, text);
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.readOnly = true;
        s.editable = false;
        s.multiLine = true;
        s.selectableText = true;
        return s;
    }

    QString wholeText() const override { return edit()->toPlainText(); }
    QString text(int startOffset, int endOffset) const override { return TextParts::text(startOffset, endOffset); }
    void selection(int selectionIndex, int *startOffset, int *endOffset) const override
    {
        const QTextCursor cursor = edit()->textCursor();
        *startOffset = *endOffset = 0;
        if (selectionIndex == 0 && cursor.hasSelection()) {
            *startOffset = cursor.selectionStart();
            *endOffset = cursor.selectionEnd();
        }
    }
    int selectionCount() const override { return edit()->textCursor().hasSelection() ? 1 : 0; }
    void addSelection(int startOffset, int endOffset) override { setSelection(0, startOffset, endOffset); }
    void removeSelection(int) override
    {
        QTextCursor cursor = edit()->textCursor();
        cursor.clearSelection();
        edit()->setTextCursor(cursor);
    }
    void setSelection(int, int startOffset, int endOffset) override
    {
        QTextCursor cursor = cursorAt(startOffset);
        cursor.setPosition(std::clamp(endOffset, 0, characterCount()), QTextCursor::KeepAnchor);
        edit()->setTextCursor(cursor);
    }
    int cursorPosition() const override { return edit()->textCursor().position(); }
    void setCursorPosition(int position) override { edit()->setTextCursor(cursorAt(position)); }
    QRect characterRect(int offset) const override
    {
        if (offset < 0 || offset >= characterCount())
            return QRect();
        const QRect caret = edit()->cursorRect(cursorAt(offset));
        const int width = edit()->fontMetrics().horizontalAdvance(wholeText().at(offset));
        return QRect(edit()->viewport()->mapToGlobal(caret.topLeft()), QSize(width, caret.height()));
    }
    int offsetAtPoint(const QPoint &point) const override
    {
        return edit()->cursorForPosition(edit()->viewport()->mapFromGlobal(point)).position();
    }
    void scrollToSubstring(int startIndex, int) override
    {
        edit()->setTextCursor(cursorAt(startIndex));
        edit()->ensureCursorVisible();
    }

private:
    QTextCursor cursorAt(int offset) const
    {
        QTextCursor cursor(edit()->document());
        cursor.setPosition(std::clamp(offset, 0, characterCount()));
        return cursor;
    }
};

// ---- Buttons and the drop-down list -------------------------------------------------------

class AccessibleButton final : public QAccessibleWidget {
public:
    explicit AccessibleButton(QAbstractButton *button) : QAccessibleWidget(button, roleOf(button)) {}

    QAbstractButton *button() const { return static_cast<QAbstractButton *>(widget()); }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && button()->accessibleName().isEmpty())
            return withoutAccessKey(button()->text());
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.checkable = button()->isCheckable();
        s.checked = button()->isChecked();
        s.pressed = button()->isDown();
        if (const auto *push = qobject_cast<const QPushButton *>(button()))
            s.defaultButton = push->isDefault();
        return s;
    }
    QStringList actionNames() const override
    {
        return button()->isEnabled() ? QStringList{pressAction()} : QStringList();
    }
    // The click runs once the caller has its answer: a button that opens a modal window
    // would otherwise hold the caller until the window closes.
    void doAction(const QString &actionName) override
    {
        if (actionName == pressAction() && button()->isEnabled()) {
            QAbstractButton *pressed = button();
            postAction(pressed, [pressed] { pressed->click(); });
        }
    }
    QStringList keyBindingsForAction(const QString &actionName) const override
    {
        const QKeySequence key = QKeySequence::mnemonic(button()->text());
        if (actionName == pressAction() && !key.isEmpty())
            return {key.toString(QKeySequence::NativeText)};
        return {};
    }

private:
    static QAccessible::Role roleOf(const QAbstractButton *button)
    {
        if (qobject_cast<const QRadioButton *>(button))
            return QAccessible::RadioButton;
        if (qobject_cast<const QCheckBox *>(button))
            return QAccessible::CheckBox;
        return QAccessible::Button;
    }
};

// Named by its own name; what it shows is its value, also read as its text.
class AccessibleComboBox final : public QAccessibleWidget, public TextParts {
public:
    explicit AccessibleComboBox(QComboBox *box) : QAccessibleWidget(box, QAccessible::ComboBox) {}

    QComboBox *box() const { return static_cast<QComboBox *>(widget()); }

    void *interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        return QAccessibleWidget::interface_cast(t);
    }
    int childCount() const override { return 0; }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name)
            return nameOf(box());
        if (t == QAccessible::Value)
            return box()->currentText();
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.hasPopup = true;
        s.expandable = true;
        s.expanded = box()->view() && box()->view()->isVisible();
        s.collapsed = !s.expanded;
        return s;
    }
    QStringList actionNames() const override { return {showMenuAction(), setFocusAction()}; }
    void doAction(const QString &actionName) override
    {
        QComboBox *opened = box();
        if (actionName == showMenuAction())
            postAction(opened, [opened] { opened->showPopup(); });
        else
            QAccessibleWidget::doAction(actionName);
    }

    QString wholeText() const override { return box()->currentText(); }
    void selection(int, int *startOffset, int *endOffset) const override { *startOffset = *endOffset = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QRect characterRect(int) const override { return QRect(); }
    int offsetAtPoint(const QPoint &) const override { return -1; }
    void scrollToSubstring(int, int) override {}
};

// ---- Lists and grids ----------------------------------------------------------------------

class AccessibleItemView;

// One item of a list, one cell of a grid, or (row -1) a column's heading.
class AccessibleItem final : public QAccessibleInterface,
                             public QAccessibleTableCellInterface,
                             public TextParts,
                             public QAccessibleActionInterface {
public:
    AccessibleItem(QAbstractItemView *view, int row, int column) : m_view(view), m_row(row), m_column(column) {}

    bool isHeading() const { return m_row < 0; }
    bool isList() const { return qobject_cast<QListView *>(m_view.data()); }
    QModelIndex index() const
    {
        return m_view && m_view->model() && !isHeading() ? m_view->model()->index(m_row, m_column, m_view->rootIndex())
                                                          : QModelIndex();
    }

    bool isValid() const override
    {
        return m_view && m_view->model() && (isHeading() ? m_column < m_view->model()->columnCount() : index().isValid());
    }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return m_view ? m_view->window()->windowHandle() : nullptr; }
    QAccessibleInterface *parent() const override { return QAccessible::queryAccessibleInterface(m_view.data()); }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QAccessibleInterface *focusChild() const override { return nullptr; }
    QString text(QAccessible::Text t) const override
    {
        if (!isValid() || (t != QAccessible::Name && t != QAccessible::Value))
            return QString();
        return wholeText();
    }
    void setText(QAccessible::Text, const QString &) override {}
    QRect rect() const override
    {
        if (!isValid())
            return QRect();
        QRect local;
        QWidget *onto = m_view->viewport();
        if (isHeading()) {
            auto *table = qobject_cast<QTableView *>(m_view.data());
            QHeaderView *header = table ? table->horizontalHeader() : nullptr;
            if (!header)
                return QRect();
            onto = header->viewport();
            local = QRect(header->sectionViewportPosition(m_column), 0, header->sectionSize(m_column), header->height());
        } else {
            local = m_view->visualRect(index());
        }
        return QRect(onto->mapToGlobal(local.topLeft()), local.size());
    }
    QAccessible::Role role() const override
    {
        return isHeading() ? QAccessible::ColumnHeader : isList() ? QAccessible::ListItem : QAccessible::Cell;
    }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        if (!isValid())
            return s;
        const QRect shown = m_view->viewport()->rect();
        if (isHeading()) {
            s.invisible = m_view->isHidden();
            return s;
        }
        const QModelIndex at = index();
        s.selectable = true;
        s.focusable = true;
        s.selected = m_view->selectionModel() && m_view->selectionModel()->isSelected(at);
        s.focused = m_view->hasFocus() && m_view->currentIndex() == at;
        s.readOnly = true;
        s.offscreen = !m_view->isVisible() || !shown.intersects(m_view->visualRect(at));
        s.invisible = !m_view->isVisible();
        return s;
    }
    void *interface_cast(QAccessible::InterfaceType t) override
    {
        switch (t) {
        case QAccessible::TableCellInterface:
            return isList() ? nullptr : static_cast<QAccessibleTableCellInterface *>(this);
        case QAccessible::TextInterface:
            return static_cast<QAccessibleTextInterface *>(this);
        case QAccessible::ActionInterface:
            return isHeading() ? nullptr : static_cast<QAccessibleActionInterface *>(this);
        default:
            return nullptr;
        }
    }

    // The table cell.
    bool isSelected() const override { return state().selected; }
    QList<QAccessibleInterface *> columnHeaderCells() const override;
    QList<QAccessibleInterface *> rowHeaderCells() const override { return {}; }
    int columnIndex() const override { return m_column; }
    int rowIndex() const override { return m_row; }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface *table() const override { return parent(); }

    // The text.
    QString wholeText() const override
    {
        if (!m_view || !m_view->model())
            return QString();
        if (isHeading())
            return m_view->model()->headerData(m_column, Qt::Horizontal).toString();
        return index().data(Qt::DisplayRole).toString();
    }
    void selection(int, int *startOffset, int *endOffset) const override { *startOffset = *endOffset = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QRect characterRect(int) const override { return QRect(); }
    int offsetAtPoint(const QPoint &) const override { return -1; }
    void scrollToSubstring(int, int) override {}

    // The actions: select the item; open it, where the window gives its items an opening.
    QStringList actionNames() const override
    {
        QStringList names{toggleAction()};
        if (m_view && openActions().contains(m_view.data()))
            names.prepend(pressAction());
        return names;
    }
    void doAction(const QString &actionName) override
    {
        if (!isValid())
            return;
        QAbstractItemView *view = m_view.data();
        const QPersistentModelIndex at = index();
        const bool open = actionName == pressAction() && openActions().contains(view);
        if (!open && actionName != toggleAction())
            return;
        postAction(view, [view, at, open] {
            if (!at.isValid())
                return;
            view->setCurrentIndex(at);
            if (view->selectionModel())
                view->selectionModel()->select(at, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            if (open) {
                const auto found = openActions().constFind(view);
                if (found != openActions().constEnd())
                    (*found)(at);
            }
        });
    }
    QStringList keyBindingsForAction(const QString &actionName) const override
    {
        return actionName == pressAction() ? QStringList{QStringLiteral("Return")} : QStringList();
    }

private:
    QPointer<QAbstractItemView> m_view;
    int m_row;
    int m_column;
};

// A list or a grid. Its children follow the toolkit's numbering, which its focus events
// use: a grid's column headings first (when shown), then its cells row by row.
class AccessibleItemView final : public QAccessibleWidget, public QAccessibleTableInterface {
public:
    explicit AccessibleItemView(QAbstractItemView *view)
        : QAccessibleWidget(view, qobject_cast<QListView *>(view) ? QAccessible::List : QAccessible::Table)
    {
    }
    ~AccessibleItemView() override { forgetItems(); }

    QAbstractItemView *view() const { return static_cast<QAbstractItemView *>(widget()); }
    QAbstractItemModel *model() const { return view()->model(); }

    void *interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::TableInterface)
            return static_cast<QAccessibleTableInterface *>(this);
        return QAccessibleWidget::interface_cast(t);
    }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name)
            return nameOf(view());
        return QAccessibleWidget::text(t);
    }

    int headingRows() const
    {
        auto *table = qobject_cast<QTableView *>(view());
        return table && !table->horizontalHeader()->isHidden() ? 1 : 0;
    }
    int childCount() const override
    {
        if (!model())
            return 0;
        return (rowCount() + headingRows()) * columnCount();
    }
    QAccessibleInterface *child(int index) const override
    {
        if (index < 0 || index >= childCount() || columnCount() == 0)
            return nullptr;
        if (const auto found = m_items.constFind(index); found != m_items.constEnd())
            return QAccessible::accessibleInterface(*found);
        const int row = index / columnCount() - headingRows();
        auto *item = new AccessibleItem(view(), row, index % columnCount());
        m_items.insert(index, QAccessible::registerAccessibleInterface(item));
        return item;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        if (!child || child->role() == QAccessible::ScrollBar)
            return -1;
        const QAccessible::Id id = QAccessible::uniqueId(const_cast<QAccessibleInterface *>(child));
        for (auto it = m_items.constBegin(); it != m_items.constEnd(); ++it) {
            if (it.value() == id)
                return it.key();
        }
        return -1;
    }
    QAccessibleInterface *childAt(int x, int y) const override
    {
        const QPoint at = view()->viewport()->mapFromGlobal(QPoint(x, y));
        const QModelIndex index = view()->indexAt(at);
        return index.isValid() ? cellAt(index.row(), index.column()) : nullptr;
    }
    QAccessibleInterface *focusChild() const override
    {
        const QModelIndex current = view()->currentIndex();
        return current.isValid() ? cellAt(current.row(), current.column()) : nullptr;
    }

    // The table.
    QAccessibleInterface *caption() const override { return nullptr; }
    QAccessibleInterface *summary() const override { return nullptr; }
    QAccessibleInterface *cellAt(int row, int column) const override
    {
        if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount())
            return nullptr;
        return child((row + headingRows()) * columnCount() + column);
    }
    int selectedCellCount() const override { return int(selectedIndexes().size()); }
    QList<QAccessibleInterface *> selectedCells() const override
    {
        QList<QAccessibleInterface *> cells;
        for (const QModelIndex &index : selectedIndexes())
            cells << cellAt(index.row(), index.column());
        return cells;
    }
    QString columnDescription(int column) const override
    {
        return model() ? model()->headerData(column, Qt::Horizontal).toString() : QString();
    }
    QString rowDescription(int) const override { return QString(); }
    int selectedColumnCount() const override { return 0; }
    int selectedRowCount() const override { return int(selectedRows().size()); }
    int columnCount() const override { return model() ? model()->columnCount(view()->rootIndex()) : 0; }
    int rowCount() const override { return model() ? model()->rowCount(view()->rootIndex()) : 0; }
    QList<int> selectedColumns() const override { return {}; }
    QList<int> selectedRows() const override
    {
        QList<int> rows;
        if (view()->selectionModel()) {
            for (const QModelIndex &index : view()->selectionModel()->selectedRows())
                rows << index.row();
        }
        return rows;
    }
    bool isColumnSelected(int) const override { return false; }
    bool isRowSelected(int row) const override
    {
        return view()->selectionModel() && model()
               && view()->selectionModel()->isRowSelected(row, view()->rootIndex());
    }
    bool selectRow(int row) override
    {
        if (!view()->selectionModel() || !model() || row < 0 || row >= rowCount())
            return false;
        view()->setCurrentIndex(model()->index(row, 0, view()->rootIndex()));
        return true;
    }
    bool selectColumn(int) override { return false; }
    bool unselectRow(int row) override
    {
        if (!view()->selectionModel() || !model())
            return false;
        view()->selectionModel()->select(model()->index(row, 0, view()->rootIndex()),
                                         QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
        return true;
    }
    bool unselectColumn(int) override { return false; }
    // Rows come and go with the listing: the items made so far are made afresh.
    void modelChange(QAccessibleTableModelChangeEvent *) override { forgetItems(); }

private:
    QModelIndexList selectedIndexes() const
    {
        return view()->selectionModel() ? view()->selectionModel()->selectedIndexes() : QModelIndexList();
    }
    void forgetItems()
    {
        const auto ids = m_items.values();
        m_items.clear();
        for (const QAccessible::Id id : ids)
            QAccessible::deleteAccessibleInterface(id);
    }

    mutable QHash<int, QAccessible::Id> m_items;
};

QList<QAccessibleInterface *> AccessibleItem::columnHeaderCells() const
{
    auto *table = qobject_cast<QTableView *>(m_view.data());
    if (!table || table->horizontalHeader()->isHidden() || isHeading())
        return {};
    QAccessibleInterface *grid = QAccessible::queryAccessibleInterface(table);
    QAccessibleInterface *heading = grid ? grid->child(m_column) : nullptr;
    return heading ? QList<QAccessibleInterface *>{heading} : QList<QAccessibleInterface *>();
}

// ---- Windows ------------------------------------------------------------------------------

// A window or a group of controls: its shown controls, in Tab order, each label just before
// what it labels; anything else (a heading, a status line) before the first control below it.
class AccessibleContainer final : public QAccessibleWidget {
public:
    explicit AccessibleContainer(QWidget *container) : QAccessibleWidget(container, roleOf(container)) {}

    QList<QWidget *> controls() const
    {
        QList<QWidget *> shown;
        for (QObject *child : widget()->children()) {
            auto *control = qobject_cast<QWidget *>(child);
            // A decoration the pointer passes through (the focus frame) is not a control.
            if (control && !control->isWindow() && !control->isHidden()
                && !control->testAttribute(Qt::WA_TransparentForMouseEvents))
                shown << control;
        }
        QList<QWidget *> ordered;
        const auto place = [&](QWidget *control) {
            if (shown.contains(control) && !ordered.contains(control))
                ordered << control;
        };
        // The focus chain is a ring: it is read from the window's first stop round to it.
        auto *first = qvariant_cast<QObject *>(widget()->window()->property(kFirstStopProperty));
        QWidget *start = first && first->isWidgetType() ? static_cast<QWidget *>(first) : widget()->window();
        QWidget *at = start == widget()->window() ? start->nextInFocusChain() : start;
        bool began = false;
        for (int steps = 0; at && !(began && at == start) && steps < 10000; ++steps, at = at->nextInFocusChain()) {
            began = true;
            QWidget *own = at;
            while (own && own->parentWidget() != widget())
                own = own->parentWidget();
            if (!own || !shown.contains(own) || ordered.contains(own) || own->focusPolicy() == Qt::NoFocus)
                continue;
            for (QWidget *control : shown) {
                if (auto *label = qobject_cast<QLabel *>(control); label && label->buddy() == own)
                    place(label);
            }
            place(own);
        }
        // The rest in reading order: by line, then from the left.
        QList<QWidget *> rest;
        for (QWidget *control : shown) {
            if (!ordered.contains(control))
                rest << control;
        }
        std::stable_sort(rest.begin(), rest.end(), [](const QWidget *a, const QWidget *b) {
            return std::pair(a->geometry().top(), a->geometry().left()) < std::pair(b->geometry().top(), b->geometry().left());
        });
        for (QWidget *rest : rest) {
            const auto below = std::find_if(ordered.begin(), ordered.end(), [rest](const QWidget *placed) {
                return placed->geometry().top() > rest->geometry().top();
            });
            ordered.insert(below, rest);
        }
        return ordered;
    }

    int childCount() const override { return int(controls().size()); }
    QAccessibleInterface *child(int index) const override
    {
        const QList<QWidget *> all = controls();
        return index >= 0 && index < all.size() ? QAccessible::queryAccessibleInterface(all.at(index)) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        if (!child || !child->object() || !child->object()->isWidgetType())
            return -1;
        return int(controls().indexOf(static_cast<QWidget *>(child->object())));
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        if (widget()->isWindow())
            s.modal = widget()->isModal() || widget()->windowModality() != Qt::NonModal;
        return s;
    }

private:
    static QAccessible::Role roleOf(const QWidget *container)
    {
        if (!container->isWindow())
            return QAccessible::Grouping;
        return qobject_cast<const QDialog *>(container) ? QAccessible::Dialog : QAccessible::Window;
    }
};

QAccessibleInterface *factory(const QString &className, QObject *object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    auto *widget = static_cast<QWidget *>(object);
    if (widget->property(kWindowProperty).toBool())
        return new AccessibleContainer(widget);
    // Matched by the class the toolkit names, so that what derives from these (a link drawn
    // on a label) keeps its own interface.
    if (className == QLatin1String("QLineEdit"))
        return new AccessibleLineEdit(static_cast<QLineEdit *>(widget));
    if (className == QLatin1String("QPlainTextEdit") && static_cast<QPlainTextEdit *>(widget)->isReadOnly())
        return new AccessibleReadOnlyMemo(static_cast<QPlainTextEdit *>(widget));
    if (className == QLatin1String("QPushButton") || className == QLatin1String("QRadioButton")
        || className == QLatin1String("QCheckBox"))
        return new AccessibleButton(static_cast<QAbstractButton *>(widget));
    if (className == QLatin1String("QComboBox"))
        return new AccessibleComboBox(static_cast<QComboBox *>(widget));
    if (className == QLatin1String("QListWidget") || className == QLatin1String("QListView")
        || className == QLatin1String("QTableView"))
        return new AccessibleItemView(static_cast<QAbstractItemView *>(widget));
    return nullptr;
}

}  // namespace

void install()
{
    static const bool installed = [] {
        QAccessible::installFactory(factory);
        return true;
    }();
    Q_UNUSED(installed);
}

void markWindow(QWidget *container, QWidget *firstStop)
{
    install();
    container->setProperty(kWindowProperty, true);
    if (firstStop)
        container->setProperty(kFirstStopProperty, QVariant::fromValue(static_cast<QObject *>(firstStop)));
}

void setOpenAction(QAbstractItemView *view, std::function<void(const QModelIndex &)> open)
{
    install();
    openActions().insert(view, std::move(open));
    QObject::connect(view, &QObject::destroyed, [view] { openActions().remove(view); });
}

void postAction(QWidget *context, std::function<void()> action)
{
    QTimer::singleShot(0, context, std::move(action));
}

}  // namespace accessibility
