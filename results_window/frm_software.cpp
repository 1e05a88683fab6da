#include "results_window/frm_software.h"

#include "catalog/ado/connection.h"
#include "catalog/listing/query.h"
#include "catalog/criteria/record_criteria.h"
#include "catalog/shared_state.h"
#include "detail_window/frm_detail.h"
#include "results_window/cut_text_tips.h"
#include "results_window/form_resize.h"
#include "results_window/listing_progress.h"
#include "results_window/recordset_model.h"
#include "results_window/window_size.h"
#include "window_services/accessible_widgets.h"
#include "window_services/focus_ring.h"
#include "window_services/fonts.h"
#include "window_services/services.h"
#include "window_services/text_colour.h"
#include "window_services/twips.h"
#include "window_services/window_frame.h"
#include "window_services/window_limits.h"
#include "window_services/window_placement.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QScreen>
#include <QShortcut>
#include <QScrollBar>
#include <QTableView>
#include <QWindow>

#include <cmath>
#include <limits>
#include <optional>

namespace {

constexpr double kInnerWidth = 10365;
constexpr double kInnerHeight = 6885;
// What Form_Initialize takes as the inner size seen at the previous resize.
constexpr float kInitialScaleWidth = 10480;
constexpr float kInitialScaleHeight = 6800;
constexpr double kColumnWidth = 1500;
constexpr double kRowHeight = 255;
// Columns fit their header and the first screenful of cells, within this width.
constexpr double kMaxColumnWidth = 3600;
constexpr int kUninstallerColumn = 5;
// The outer size the load gives the window before the remembered one, and its fallback.
constexpr double kDefaultHeight = 6800;
constexpr double kDefaultWidth = 10480;
constexpr int kSettlingMs = 500;  // how long after the frame arrives a manager's own fit is taken back
const QString kOptionsSection = QStringLiteral("Options");
const QString kHeightKey = QStringLiteral("ScreenHeight");
const QString kWidthKey = QStringLiteral("ScreenWidth");

constexpr Qt::Key kSortKey = Qt::Key_F3;

const QString kAscending = QStringLiteral("ASC");
const QString kDescending = QStringLiteral("DESC");

template <typename W>
W *place(const char *name, double left, double top, double width, double height, W *widget)
{
    widget->setObjectName(QLatin1String(name));
    twips::setGeometry(widget, left, top, width, height);
    return widget;
}

QString recordsLine(int count) { return QString::number(count) + QStringLiteral(" records"); }

// Option buttons that answer as one group does on every desktop: one Tab stop, the checked
// button; the arrows move to the next or previous button and check it, as its click does.
class OptionGroup final : public QObject {
public:
    OptionGroup(QObject *parent, QList<QRadioButton *> buttons) : QObject(parent), m_buttons(std::move(buttons))
    {
        for (QRadioButton *button : std::as_const(m_buttons)) {
            button->installEventFilter(this);
            connect(button, &QRadioButton::toggled, this, &OptionGroup::placeTabStop);
        }
        placeTabStop();
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->modifiers() & ~Qt::KeypadModifier)
            return false;
        int step = 0;
        switch (key->key()) {
        case Qt::Key_Up: case Qt::Key_Left: step = -1; break;
        case Qt::Key_Down: case Qt::Key_Right: step = 1; break;
        default: return false;
        }
        const qsizetype at = m_buttons.indexOf(static_cast<QRadioButton *>(watched));
        if (at < 0)
            return false;
        QRadioButton *next = m_buttons.at((at + step + m_buttons.size()) % m_buttons.size());
        next->setFocus(Qt::TabFocusReason);
        if (!next->isChecked())
            next->click();
        return true;
    }

private:
    void placeTabStop()
    {
        // With none checked, the first is the stop.
        const bool anyChecked = std::any_of(m_buttons.cbegin(), m_buttons.cend(),
                                            [](const QRadioButton *b) { return b->isChecked(); });
        for (QRadioButton *button : std::as_const(m_buttons))
            button->setFocusPolicy(button->isChecked() || (!anyChecked && button == m_buttons.first())
                                       ? Qt::StrongFocus
                                       : Qt::ClickFocus);
    }

    QList<QRadioButton *> m_buttons;
};

// Twips to a whole number of twips, an exact half to the even neighbour; nothing when the
// value does not fit the registration's 32-bit arguments.
std::optional<qint32> wholeTwips(double value)
{
    const double whole = std::nearbyint(value);
    if (!(whole >= std::numeric_limits<qint32>::min()
          && whole <= std::numeric_limits<qint32>::max()))
        return std::nullopt;
    return static_cast<qint32>(whole);
}

}  // namespace

void showSoftwareWindow(Services &services, QWidget *owner, const listing::Request &request, const QString &title)
{
    strListingSql = request.sql();
    strListingTitle = title;
    // A closed window goes with its widgets; the limits table keeps only its object.
    const auto form = std::make_unique<frmSoftware>(services, request, title, owner);
    form->Form_Load();
    if (form->isUnloaded())
        return;
    services.dialogs.showModal(*form);
}

frmSoftware::frmSoftware(Services &services, const listing::Request &request, const QString &title, QWidget *owner)
    : frmSoftware(services, std::optional(request), QString(), title, owner)
{
}

frmSoftware::frmSoftware(Services &services, const QString &statement, const QString &title, QWidget *owner)
    : frmSoftware(services, std::nullopt, statement, title, owner)
{
}

frmSoftware::frmSoftware(Services &services, const std::optional<listing::Request> &request, const QString &statement,
                         const QString &title, QWidget *owner)
    : QDialog(nullptr, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                           | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint),
      m_services(services),
      m_request(request),
      m_statement(statement),
      m_title(title),
      m_owner(owner)
{
    setObjectName(QStringLiteral("frmSoftware"));
    // Before any control: the toolkit makes a control's interface when the control is made.
    accessibility::markWindow(this);
    setFont(classicFont());

    // Built in the layout's stored order, which is also the order of children().
    cmdCancel = place("cmdCancel", 6360, 6360, 1095, 375, new QPushButton(tr("&Close"), this));
    cmdSelect = place("cmdSelect", 5040, 6360, 1095, 375, new QPushButton(tr("&Select"), this));
    optBegins = place("optBegins", 2520, 6360, 1215, 375, new QRadioButton(tr("&Begins With"), this));
    optContains = place("optContains", 3840, 6360, 1095, 375, new QRadioButton(tr("C&ontains"), this));
    txtSearch = place("txtSearch", 120, 120, 7455, 285, new QLineEdit(this));
    cmdClear = place("cmdClear", 7680, 120, 735, 255, new QPushButton(tr("C&lear"), this));
    cboField = place("cboField", 8640, 120, 1695, 315, new QComboBox(this));
    dtgOrg = place("dtgOrg", 120, 840, 10215, 5415, new QTableView(this));
    lblOrg = place("lblOrg", 120, 6360, 2295, 255, new QLabel(this));
    lblSort = place("lblSort", 120, 480, 10215, 255, new QLabel(this));

    optBegins->setChecked(true);
    new OptionGroup(this, {optBegins, optContains});
    cmdSelect->setDefault(true);
    lblOrg->setTextFormat(Qt::PlainText);
    lblSort->setTextFormat(Qt::PlainText);
    text_colour::drawTextIn(lblSort, QPalette::Highlight);

    m_model = new RecordsetModel(this);
    dtgOrg->setModel(m_model);
    dtgOrg->setEditTriggers(QAbstractItemView::NoEditTriggers);
    dtgOrg->setSelectionBehavior(QAbstractItemView::SelectRows);
    dtgOrg->setSelectionMode(QAbstractItemView::SingleSelection);
    dtgOrg->setWordWrap(false);
    dtgOrg->verticalHeader()->hide();
    // Fixed sizes: nothing measures the rows, so a listing of any length shows at once.
    dtgOrg->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    dtgOrg->verticalHeader()->setDefaultSectionSize(twips::toPixels(kRowHeight));
    dtgOrg->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    dtgOrg->horizontalHeader()->setDefaultSectionSize(twips::toPixels(kColumnWidth));
    dtgOrg->horizontalHeader()->setSectionsClickable(true);
    dtgOrg->horizontalHeader()->setHighlightSections(false);
    dtgOrg->setItemDelegate(new CutTextTips(dtgOrg));
    // Tab leaves the grid for the next control; the arrows move between cells.
    dtgOrg->setTabKeyNavigation(false);

    txtSearch->setAccessibleName(QStringLiteral("Find"));
    cboField->setAccessibleName(QStringLiteral("Find in"));
    dtgOrg->setAccessibleName(QStringLiteral("Titles"));
    dtgOrg->setAccessibleDescription(QStringLiteral("F3 sorts by the current column; F3 again reverses the order"));

    setTabOrder(dtgOrg, cboField);
    setTabOrder(cboField, cmdClear);
    setTabOrder(cmdClear, txtSearch);
    setTabOrder(txtSearch, optContains);
    setTabOrder(optContains, optBegins);
    setTabOrder(optBegins, cmdSelect);
    setTabOrder(cmdSelect, cmdCancel);
    dtgOrg->setFocus();
    accessibility::markWindow(this, dtgOrg);
    focus_ring::attach(this);

    twips::setInnerSize(this, kInnerWidth, kInnerHeight);
    centreOnScreen(this, owner);
    if (owner && owner->window()->windowHandle()) {
        winId();
        windowHandle()->setTransientParent(owner->window()->windowHandle());
    }

    connect(dtgOrg->horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int section) { dtgOrg_HeadClick(static_cast<qint16>(section)); });
    // The headers take no focus: the key sorts by the current column as its header's click does.
    auto *sortKey = new QShortcut(QKeySequence(kSortKey), dtgOrg);
    sortKey->setContext(Qt::WidgetShortcut);
    connect(sortKey, &QShortcut::activated, this,
            [this] { dtgOrg_HeadClick(static_cast<qint16>(std::max(0, dtgOrg->currentIndex().column()))); });
    connect(dtgOrg, &QAbstractItemView::doubleClicked, this, &frmSoftware::cmdSelect_Click);
    accessibility::setOpenAction(dtgOrg, [this](const QModelIndex &) { cmdSelect_Click(); });
    connect(dtgOrg->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) { moveRecordsetToRow(current.row()); });
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        const auto &rs = m_model->recordset();
        showRecordsetPosition(rs ? rs->AbsolutePosition() : -1);
    });
    connect(txtSearch, &QLineEdit::textChanged, this, &frmSoftware::txtSearch_Change);
    connect(optBegins, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            optBegins_Click();
    });
    connect(optContains, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            optContains_Click();
    });
    connect(cboField, &QComboBox::activated, this, &frmSoftware::cboField_Click);
    connect(cmdClear, &QPushButton::clicked, this, &frmSoftware::cmdClear_Click);
    connect(cmdSelect, &QPushButton::clicked, this, &frmSoftware::cmdSelect_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmSoftware::cmdCancel_Click);

    Form_Initialize();
}

frmSoftware::~frmSoftware() = default;

void frmSoftware::Form_Initialize()
{
    sngPrevScaleWidth = kInitialScaleWidth;
    sngPrevScaleHeight = kInitialScaleHeight;
}

void frmSoftware::Form_Load()
{
    m_services.pointer.setMousePointer(vbHourglass);
    setWindowTitle(m_title);
    blnSkipResize = true;
    lblSort->setText(QStringLiteral("Sorted by Name in ascending order"));

    auto rs = std::make_shared<ado::Recordset>();
    rs->CursorLocation = ado::adUseClient;
    rsSoftware = rs;
    ado::Error opened;
    {
        // A long listing (a large catalog's first) shows how far it has come.
        ListingProgress progress(cnCatalog.get(), m_owner);
        opened = m_request ? rs->Open(*m_request, cnCatalog, ado::adOpenStatic, ado::adLockReadOnly, ado::adCmdText)
                           : rs->Open(m_statement, cnCatalog, ado::adOpenStatic, ado::adLockReadOnly, ado::adCmdText);
    }
    if (opened) {
        m_services.messages.Beep();
        m_services.pointer.setMousePointer(vbDefault);
        m_services.messages.MsgBox(this, QStringLiteral("Unable to open table Software."), kNoticeStyle,
                                   applicationTitle());
        return;
    }
    if (rs->RecordCount() == 0) {
        m_services.pointer.setMousePointer(vbDefault);
        m_services.messages.MsgBox(this, QStringLiteral("No records found."), kNoticeStyle,
                                   applicationTitle());
        Unload();
        return;
    }

    for (int i = 0; i < rs->fieldCount(); ++i)
        cboField->addItem(rs->field(i).Name);
    cboField->setCurrentIndex(0);

    m_model->setRecordset(rs);
    connect(rs.get(), &ado::Recordset::currentChanged, this, &frmSoftware::showRecordsetPosition);

    oStdDataFormat = std::make_shared<StdDataFormat>();
    oStdDataFormat->Type = StdDataFormat::fmtBoolean;
    oStdDataFormat->TrueValue = QStringLiteral("Yes");
    oStdDataFormat->FalseValue = QStringLiteral("No");
    oStdDataFormat->NullValue = QStringLiteral("No");
    m_model->setColumnFormat(kUninstallerColumn, oStdDataFormat);
    const int rowHeight = dtgOrg->verticalHeader()->defaultSectionSize();
    sizeColumnsToFirstRows(*dtgOrg, dtgOrg->height() / std::max(1, rowHeight) + 1,
                           twips::toPixels(kMaxColumnWidth));

    lblOrg->setText(recordsLine(rs->RecordCount()));
    intSearchField = static_cast<qint16>(cboField->currentIndex());
    rs->prepareFilter(intSearchField);
    strSortDirection = kAscending;

    restoreSize();

    m_services.pointer.setMousePointer(vbDefault);
}

void frmSoftware::restoreSize()
{
    // The platform window first: the limits are kept under its handle.
    winId();
    // The default outer size in whole pixels: what the window reads back once it has it.
    const QSize defaultOuter(window_size::pixelsOf(kDefaultWidth), window_size::pixelsOf(kDefaultHeight));
    // The outer size needs the frame around the window. Until the window manager reports it,
    // the window takes each outer size as its inner size, as it would with no frame at all;
    // once the frame is known, the inner size gives way to it. Height first, then width.
    const auto frame = window_frame::expected(*this).value_or(QMargins());
    window_size::resizeInner(*this, QSize(width(), defaultOuter.height()).shrunkBy(frame));
    window_size::resizeInner(*this, defaultOuter.shrunkBy(frame));

    // Each load is a new window object, so a window registers once.
    const QScreen *screen = m_owner ? m_owner->screen() : QGuiApplication::primaryScreen();
    const QSize screenSize = screen ? screen->geometry().size() : QSize();
    const auto minWidth = wholeTwips(twips::fromPixels(defaultOuter.width()));
    const auto minHeight = wholeTwips(twips::fromPixels(defaultOuter.height()));
    const auto maxWidth = wholeTwips(twips::fromPixels(screenSize.width()));
    const auto maxHeight = wholeTwips(twips::fromPixels(screenSize.height()));
    if (minWidth && minHeight && maxWidth && maxHeight)
        SetWindowLimits(this, m_object, *minWidth, *minHeight, *maxWidth, *maxHeight);

    QSize outer = defaultOuter;
    const auto storedHeight = window_size::sizeFromText(m_services.settings.GetSetting(
        applicationTitle(), kOptionsSection, kHeightKey, QString::number(kDefaultHeight)));
    if (storedHeight)
        outer.setHeight(window_size::pixelsOf(*storedHeight));
    const auto storedWidth = window_size::sizeFromText(m_services.settings.GetSetting(
        applicationTitle(), kOptionsSection, kWidthKey, QString::number(kDefaultWidth)));
    if (storedWidth)
        outer.setWidth(window_size::pixelsOf(*storedWidth));
    // Every size change from the registration on ends between the limits. A size kept from a
    // maximised window (or a larger screen) opens as a normal window wholly inside the
    // screen's available area, clear of its panels.
    m_outerSize = BoundedTrackSize(internalWinId(), outer);
    if (screen)
        m_outerSize = m_outerSize.boundedTo(screen->availableGeometry().size());

    window_size::resizeInner(*this, QSize(width(), m_outerSize.height() - frame.top() - frame.bottom()));
    window_size::resizeInner(*this, m_outerSize.shrunkBy(frame));
    window_frame::whenReported(*this, [this](const QMargins &frame) {
        window_size::resizeInner(*this, m_outerSize.shrunkBy(frame));
        m_sizeRestored = true;
        m_settling = QDeadlineTimer(kSettlingMs);
    });
    centreOnScreen(this, m_owner);
}

void frmSoftware::Form_Resize()
{
    if (blnSkipResize) {
        blnSkipResize = false;
        return;
    }
    resizeControls(Controls(), static_cast<float>(window_size::innerWidth(*this)),
                   static_cast<float>(window_size::innerHeight(*this)), sngPrevScaleWidth,
                   sngPrevScaleHeight);
}

QList<QWidget *> frmSoftware::Controls() const
{
    return {cmdCancel, cmdSelect, optBegins, optContains, txtSearch,
            cmdClear,  cboField,  dtgOrg,    lblOrg,      lblSort};
}

void frmSoftware::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    Form_Resize();
    if (m_sizeRestored && !m_settling.hasExpired() && screen() && !isMaximized() && !isFullScreen()) {
        // A manager that fits the window to the screen leaves its outer size at the screen's
        // edge in one dimension; a drag to such a size so soon is not a user's. A Wayland
        // compositor may send back the size it first saw after the window has taken its own
        // (mutter does, when it activates the window).
        const auto frame = window_frame::reported(*this);
        const QSize outer = frame ? size().grownBy(*frame) : QSize();
        const QSize available = screen()->availableGeometry().size();
        const bool fitted = outer.width() == available.width() || outer.height() == available.height()
                            || (window_frame::onWayland()
                                && size() == m_outerSize);
        if (frame && fitted && size() != m_outerSize.shrunkBy(*frame))
            QTimer::singleShot(0, this, [this] {
                if (const auto frame = window_frame::reported(*this))
                    window_size::resizeInner(*this, m_outerSize.shrunkBy(*frame));
            });
    }
}

void frmSoftware::Form_Unload()
{
    // Only the outer size the user has seen is worth remembering: not the layout's size that a
    // load ending early (no listing, or an empty one) leaves, nor a size worked out before the
    // frame around the window was known.
    const auto outer = window_size::outerPixels(*this);
    if (!m_sizeRestored || !outer)
        return;
    const auto asText = [](int pixels) {
        return window_size::textFromSize(static_cast<float>(twips::fromPixels(pixels)));
    };
    m_services.settings.SaveSetting(applicationTitle(), kOptionsSection, kHeightKey,
                                    asText(outer->height()));
    m_services.settings.SaveSetting(applicationTitle(), kOptionsSection, kWidthKey,
                                    asText(outer->width()));
}

void frmSoftware::Form_Terminate()
{
    if (rsSoftware)
        rsSoftware->Close();
    rsSoftware.reset();
}

void frmSoftware::dtgOrg_HeadClick(qint16 colIndex)
{
    const auto &rs = m_model->recordset();
    if (!rs || rs->RecordCount() < 1)
        return;
    // The direction belongs to the window: every click flips it, a refused one too.
    strSortDirection = strSortDirection == kAscending ? kDescending : kAscending;
    m_services.pointer.setMousePointer(vbHourglass);
    const ado::Field field = rs->field(colIndex);
    if (field.Type == ado::adLongVarWChar) {
        lblSort->setText(QStringLiteral("Unable to sort by memo field."));
    } else {
        // The rows are sorted where the user is looking: the grid keeps its sideways scroll
        // (showing the current row would otherwise bring its first column back into view).
        QScrollBar *sideways = dtgOrg->horizontalScrollBar();
        const int scrolled = sideways->value();
        rs->setSort(criteria::fieldReference(field.Name) + QLatin1Char(' ') + strSortDirection);
        sideways->setValue(scrolled);
        lblSort->setText(QStringLiteral("Sorted by ") + field.Name + QLatin1Char(' ')
                         + (strSortDirection == kAscending ? QStringLiteral("ascending")
                                                           : QStringLiteral("descending"))
                         + QStringLiteral(" order"));
    }
    m_services.pointer.setMousePointer(vbDefault);
}

void frmSoftware::txtSearch_Change()
{
    m_services.pointer.setMousePointer(vbHourglass);
    const auto &rs = m_model->recordset();
    if (rs && rs->isOpen()) {
        QString text = txtSearch->text();
        if (listing::trimBlanks(text).isEmpty()) {
            rs->setFilter(QString());
            rs->Requery(ado::adOptionUnspecified);
        } else {
            criteria::FieldSearch search;
            search.column = intSearchField;
            search.mode = optBegins->isChecked() ? criteria::FieldSearch::Mode::BeginsWith
                                                 : criteria::FieldSearch::Mode::Contains;
            search.text = text;
            // A Yes/No column is searched by the words the grid shows in it.
            const auto format = m_model->columnFormat(intSearchField);
            if (format && format->Type == StdDataFormat::fmtBoolean)
                search.yesNoWords = {format->TrueValue, format->FalseValue, format->NullValue};
            rs->setFilter(search);
        }
        lblOrg->setText(recordsLine(rs->RecordCount()));
    }
    m_services.pointer.setMousePointer(vbDefault);
}

void frmSoftware::optBegins_Click() { txtSearch_Change(); }

void frmSoftware::optContains_Click() { txtSearch_Change(); }

void frmSoftware::cboField_Click()
{
    intSearchField = static_cast<qint16>(cboField->currentIndex());
    if (const auto &rs = m_model->recordset())
        rs->prepareFilter(intSearchField);
    txtSearch->setText(QString());
    txtSearch->setFocus();
}

void frmSoftware::cmdClear_Click() { txtSearch->setText(QString()); }

void frmSoftware::cmdSelect_Click()
{
    // Without a current row (nothing listed, or a filter that lets nothing through) there
    // is no title to show.
    const auto &rs = m_model->recordset();
    if (!rs || !dtgOrg->currentIndex().isValid() || rs->Eof() || rs->Bof())
        return;
    showDetailWindow(m_services, this);
}

void frmSoftware::cmdCancel_Click() { Unload(); }

void frmSoftware::Unload() { done(QDialog::Rejected); }

void frmSoftware::done(int result)
{
    if (!m_unloaded)
        Form_Unload();
    m_unloaded = true;
    QDialog::done(result);
    // A closed window lets its listing go at once, not only when it is destroyed.
    if (const auto &rs = m_model->recordset())
        disconnect(rs.get(), nullptr, this, nullptr);
    m_model->setRecordset(nullptr);
}

void frmSoftware::moveRecordsetToRow(int row)
{
    const auto &rs = m_model->recordset();
    if (m_syncingCurrent || !rs || row < 0)
        return;
    m_syncingCurrent = true;
    rs->setAbsolutePosition(row);
    m_syncingCurrent = false;
}

void frmSoftware::showRecordsetPosition(int position)
{
    if (m_syncingCurrent)
        return;
    m_syncingCurrent = true;
    const int column = std::max(0, dtgOrg->currentIndex().column());
    const QModelIndex index = m_model->index(position, column);
    if (index.isValid())
        dtgOrg->setCurrentIndex(index);
    else
        dtgOrg->selectionModel()->clearCurrentIndex();
    m_syncingCurrent = false;
}
