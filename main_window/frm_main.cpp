#include "main_window/frm_main.h"

#include "catalog/listing/query.h"
#include "catalog/listing/request.h"
#include "catalog/shared_state.h"
#include "detail_window/frm_detail.h"
#include "results_window/frm_software.h"
#include "window_services/accessible_widgets.h"
#include "window_services/focus_ring.h"
#include "window_services/fonts.h"
#include "window_services/link_label.h"
#include "window_services/open_url.h"
#include "window_services/screen_fit.h"
#include "window_services/services.h"
#include "window_services/text_colour.h"
#include "window_services/twips.h"
#include "window_services/window_placement.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>

namespace {

// The window, in twips.
constexpr int kInnerWidth = 12900;
constexpr int kInnerHeight = 7800;

constexpr double kFormFontSize = 8.25;
constexpr double kHeadingFontSize = 9.75;
constexpr double kWebSiteFontSize = 12.0;
const QColor kDarkRed(192, 0, 0);

// The category browser: five columns 2500 apart, rows 2000 apart, each label 250 above
// its list.
constexpr int kBrowserLeft = 240;
constexpr int kBrowserTop = 1560;
constexpr int kColumnStep = 2500;
constexpr int kRowStep = 2000;
constexpr int kLabelAboveList = 250;
constexpr int kColumnsPerRow = 5;
// The featured list and its heading take the third row from its third column on, so the
// window shows twelve categories as designed; more go into a browser area that scrolls, in
// the band between the browser's heading and the featured list's.
constexpr int kCategoriesShownAsDesigned = 12;
constexpr int kBrowserAreaTop = 1260;
constexpr int kBrowserAreaHeight = 3960;
constexpr int kBrowserAreaBottomMargin = 120;

const char *const kTagProperty = "Tag";
// The category's id as the catalog gave it, beside the Tag's text: the listing takes a
// whole-number key as the number it is instead of reading it back from the text.
const char *const kKeyProperty = "CategoryKey";

struct Rect {
    int left, top, width, height;
};
constexpr Rect kLstFeatured{5280, 5520, 7455, 1620};
constexpr Rect kCmdClose{12000, 7320, 735, 375};
constexpr Rect kLstSubCategoryIDs{3000, 1800, 1215, 450};
constexpr Rect kLstSubCategory{240, 1800, 2415, 1620};
constexpr Rect kCmdGo{4080, 240, 615, 375};
constexpr Rect kTxtSearch{1080, 300, 2895, 315};
constexpr Rect kLabel4{5280, 5280, 2055, 255};
constexpr Rect kLabel3{5760, 240, 6285, 300};
constexpr Rect kLblCategory{240, 1560, 2475, 240};
constexpr Rect kLabel2{240, 960, 3975, 255};
constexpr Rect kLabel1{240, 360, 735, 255};

void place(QWidget *widget, const Rect &r)
{
    twips::setGeometry(widget, r.left, r.top, r.width, r.height);
}

QLabel *makeLabel(QWidget *parent, const char *name, const QString &caption, double pointSize,
                  bool bold)
{
    auto *label = new QLabel(caption, parent);
    label->setObjectName(QLatin1String(name));
    label->setFont(classicFont(pointSize, bold));
    label->setTextFormat(Qt::PlainText);
    return label;
}

QString elementName(const char *array, int index)
{
    return QLatin1String(array) + QLatin1Char('_') + QString::number(index);
}

// A Null value counts as empty text wherever start-up puts a value into a control.
QString text(const QVariant &value)
{
    return ado::isNull(value) ? QString() : value.toString();
}

QListWidget *makeList(QWidget *parent, const QString &name)
{
    auto *list = new QListWidget(parent);
    list->setObjectName(name);
    list->installEventFilter(parent);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setUniformItemSizes(true);
    return list;
}

// Handlers pass failures over: nothing thrown may leave a Qt event handler.
template <typename Handler>
void passOver(Handler &&handler) noexcept
{
    try {
        handler();
    } catch (...) {
    }
}

// The selected position of a list box, -1 when nothing is selected.
int listIndex(const QListWidget *list)
{
    const QList<QListWidgetItem *> selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->row(selected.first());
}

QString itemText(const QListWidget *list, int row)
{
    const QListWidgetItem *item = list->item(row);
    return item ? item->text() : QString();
}

// A new control-array element takes its look from element 0 and starts hidden.
void copyLook(QWidget *element, const QWidget *from)
{
    const QRectF r = twips::geometry(from);
    twips::setGeometry(element, r.left(), r.top(), r.width(), r.height());
    element->setFont(from->font());
    element->setPalette(from->palette());
    element->hide();
}

}  // namespace

frmMain::frmMain(Services &services, const QString &appPath, QWidget *parent, const QString &catalogFile)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                          | Qt::WindowCloseButtonHint)
    , m_services(services)
    , m_appPath(appPath)
    , m_catalogFile(catalogFile)
{
    setObjectName(QStringLiteral("frmMain"));
    // Before any control: the toolkit makes a control's interface when the control is made.
    accessibility::markWindow(this);
    buildLayout();
    accessibility::markWindow(this, m_txtSearch);
    focus_ring::attach(this);
    connect(qApp, &QApplication::focusChanged, this,
            [this](QWidget *, QWidget *now) { showCategoryOf(now); });
}

frmMain::~frmMain() = default;

QString frmMain::dataAccessDownloadAddress()
{
    return QStringLiteral("http://www.microsoft.com/data/");
}

QString frmMain::publisherAddress()
{
    return QStringLiteral("http://www.quorbix.example/");
}

QString frmMain::publisherSiteName()
{
    return QStringLiteral("www.quorbix.example");
}

void frmMain::buildLayout()
{
    setWindowTitle(QStringLiteral("Vantarel ver 2.0"));
    setFont(classicFont(kFormFontSize));
    twips::setInnerSize(this, kInnerWidth, kInnerHeight);
    // A fixed single border: the user cannot resize the window.
    setFixedSize(size());
    m_designedSize = size();
    // Centred from the start, so that the start-up prompt, shown before the window, is
    // centred too.
    centreOnScreen(this);

    // In the stored order of the design, which is also the stacking order.
    m_lstFeatured = makeList(this, QStringLiteral("lstFeatured"));
    place(m_lstFeatured, kLstFeatured);

    m_cmdClose = new QPushButton(QStringLiteral("&Exit"), this);
    m_cmdClose->setObjectName(QStringLiteral("cmdClose"));
    place(m_cmdClose, kCmdClose);

    auto *ids = makeList(this, elementName("lstSubCategoryIDs", 0));
    place(ids, kLstSubCategoryIDs);
    ids->hide();
    ids->setFocusPolicy(Qt::NoFocus);
    m_lstSubCategoryIDs.append(ids);

    auto *subCategories = makeList(this, elementName("lstSubCategory", 0));
    place(subCategories, kLstSubCategory);
    m_lstSubCategory.append(subCategories);

    m_cmdGo = new QPushButton(QStringLiteral("&GO"), this);
    m_cmdGo->setObjectName(QStringLiteral("cmdGo"));
    m_cmdGo->setDefault(true);
    place(m_cmdGo, kCmdGo);

    m_txtSearch = new QLineEdit(this);
    m_txtSearch->setObjectName(QStringLiteral("txtSearch"));
    place(m_txtSearch, kTxtSearch);
    m_txtSearch->setAccessibleName(QStringLiteral("Search"));

    m_Label4 = makeLabel(this, "Label4", QStringLiteral("Top Software List"), kHeadingFontSize, true);
    text_colour::drawTextIn(m_Label4, kDarkRed);
    place(m_Label4, kLabel4);
    m_lstFeatured->setAccessibleName(m_Label4->text());

    m_Label3 = new LinkLabel(this, kWebSiteFontSize);
    m_Label3->setObjectName(QStringLiteral("Label3"));
    place(m_Label3, kLabel3);
    m_Label3->setCaption(QStringLiteral("Visit ") + publisherSiteName()
                         + QStringLiteral(" for great Window's Software"));

    auto *category = new LinkLabel(this, kHeadingFontSize);
    category->setObjectName(elementName("lblCategory", 0));
    category->setProperty(kTagProperty, QString());
    place(category, kLblCategory);
    m_lblCategory.append(category);

    m_Label2 = makeLabel(this, "Label2", QStringLiteral("Select a Category or Subcategory"),
                         kHeadingFontSize, true);
    text_colour::drawTextIn(m_Label2, kDarkRed);
    place(m_Label2, kLabel2);

    m_Label1 = makeLabel(this, "Label1", QStringLiteral("Search"), kHeadingFontSize, true);
    place(m_Label1, kLabel1);
    m_Label1->setBuddy(m_txtSearch);
    m_Label4->setBuddy(m_lstFeatured);

    orderTabs();
    m_txtSearch->setFocus();

    connect(m_cmdGo, &QPushButton::clicked, this, [this] { passOver([this] { cmdGo_Click(); }); });
    connect(m_cmdClose, &QPushButton::clicked, this, [this] { passOver([this] { cmdClose_Click(); }); });
    connect(m_Label3, &LinkLabel::clicked, this, [this] { passOver([this] { Label3_Click(); }); });
    connect(m_lstFeatured, &QListWidget::itemDoubleClicked, this,
            [this] { passOver([this] { lstFeatured_DblClick(); }); });
    accessibility::setOpenAction(m_lstFeatured, [this](const QModelIndex &) {
        passOver([this] { lstFeatured_DblClick(); });
    });
    connectCategoryElement(0);
}

void frmMain::connectCategoryElement(int index)
{
    connect(m_lblCategory.at(index), &LinkLabel::clicked, this,
            [this, index] { passOver([this, index] { lblCategory_Click(index); }); });
    connect(m_lstSubCategory.at(index), &QListWidget::itemDoubleClicked, this,
            [this, index] { passOver([this, index] { lstSubCategory_DblClick(index); }); });
    accessibility::setOpenAction(m_lstSubCategory.at(index), [this, index](const QModelIndex &) {
        passOver([this, index] { lstSubCategory_DblClick(index); });
    });
    m_lblCategory.at(index)->setBuddy(m_lstSubCategory.at(index));
}

LinkLabel *frmMain::lblCategory(int index) const { return m_lblCategory.value(index); }

QListWidget *frmMain::lstSubCategory(int index) const { return m_lstSubCategory.value(index); }

QListWidget *frmMain::lstSubCategoryIDs(int index) const
{
    return m_lstSubCategoryIDs.value(index);
}

int frmMain::lblCategoryCount() const { return int(m_lblCategory.size()); }

void frmMain::loadCategoryElement(int index)
{
    auto *label = new LinkLabel(this, kHeadingFontSize);
    label->setObjectName(elementName("lblCategory", index));
    copyLook(label, m_lblCategory.first());
    label->setProperty(kTagProperty, QString());
    m_lblCategory.append(label);

    auto *list = makeList(this, elementName("lstSubCategory", index));
    copyLook(list, m_lstSubCategory.first());
    m_lstSubCategory.append(list);

    auto *ids = makeList(this, elementName("lstSubCategoryIDs", index));
    copyLook(ids, m_lstSubCategoryIDs.first());
    ids->setFocusPolicy(Qt::NoFocus);
    m_lstSubCategoryIDs.append(ids);
    connectCategoryElement(index);
}

void frmMain::addSubCategories(int index, ado::Recordset &subCategories, const QVariant &categoryId)
{
    // A category without an ID can own no subcategory.
    if (ado::isNull(categoryId))
        return;
    subCategories.MoveFirst();
    if (subCategories.Find(QStringLiteral("CategoryID = ") + categoryId.toString(), 0,
                           ado::adSearchForward))
        return;
    QListWidget *names = m_lstSubCategory.at(index);
    QListWidget *ids = m_lstSubCategoryIDs.at(index);
    while (!subCategories.Eof()) {
        // A Null name still adds an (empty) item, so the name and ID lists stay in step.
        names->addItem(text(subCategories.value(QStringLiteral("Name"))));
        const QVariant id = subCategories.value(QStringLiteral("SubCategoryID"));
        ids->addItem(text(id));
        ids->item(ids->count() - 1)->setData(Qt::UserRole, id);
        subCategories.MoveNext();
        if (subCategories.Eof())
            break;
        // The run ends at another category; a Null CategoryID does not end it.
        const QVariant next = subCategories.value(QStringLiteral("CategoryID"));
        if (!ado::isNull(next) && next != categoryId)
            break;
    }
}

void frmMain::Form_Load()
{
    strAppPath = m_appPath;
    strConnect = m_catalogFile.isEmpty() ? catalogConnectionString(strAppPath) : catalogFileConnectionString(m_catalogFile);
    cnCatalog = std::make_shared<ado::Connection>();
    cnCatalog->CursorLocation = ado::adUseClient;
    if (const ado::Error error = cnCatalog->Open(strConnect, QString(), QString(),
                                                 ado::adConnectUnspecified)) {
        showOpenFailurePrompt(error);
        return;
    }

    // All three tables are opened before anything is built, so that a catalog whose
    // start-up tables cannot be read leaves the window as designed, like one that does
    // not open at all.
    auto openTable = [](const QString &source, ado::Recordset &rs) {
        rs.CursorType = ado::adOpenForwardOnly;
        rs.CursorLocation = ado::adUseClient;
        rs.LockType = ado::adLockReadOnly;
        rs.Source = source;
        rs.ActiveConnection = cnCatalog;
        return rs.Open();
    };
    auto rsCategory = std::make_unique<ado::Recordset>();
    auto rsSubCategory = std::make_unique<ado::Recordset>();
    auto rsFeatured = std::make_unique<ado::Recordset>();
    ado::Error error = openTable(QStringLiteral("Select * From Category"), *rsCategory);
    if (!error)
        error = openTable(QStringLiteral("Select * From SubCategory"), *rsSubCategory);
    if (!error)
        error = openTable(QStringLiteral("Select * From FeatureSoftware"), *rsFeatured);
    if (error) {
        showOpenFailurePrompt(error);
        return;
    }

    // Positions are kept in full integers: the grid goes on past row 16 instead of
    // wrapping at the 16-bit limit.
    int index = 0;
    int column = 0;
    int left = kBrowserLeft;
    int top = kBrowserTop;
    while (!rsCategory->Eof()) {
        if (index > 0)
            loadCategoryElement(index);
        const QVariant categoryId = rsCategory->value(QStringLiteral("CategoryID"));

        LinkLabel *label = m_lblCategory.at(index);
        twips::move(label, left, top - kLabelAboveList);
        label->setCaption(text(rsCategory->value(QStringLiteral("Name"))));
        label->setProperty(kTagProperty, text(categoryId));
        label->setProperty(kKeyProperty, categoryId);
        label->show();

        QListWidget *list = m_lstSubCategory.at(index);
        twips::move(list, left, top);
        list->setAccessibleName(label->text());
        list->show();

        addSubCategories(index, *rsSubCategory, categoryId);

        ++index;
        ++column;
        if (column >= kColumnsPerRow) {
            column = 0;
            top += kRowStep;
            left = kBrowserLeft;
        } else {
            left += kColumnStep;
        }
        rsCategory->MoveNext();
    }
    rsCategory->Close();
    rsSubCategory->Close();
    if (index > kCategoriesShownAsDesigned)
        scrollBrowser();
    orderTabs();

    if (rsFeatured->RecordCount() != 0) {
        while (!rsFeatured->Eof()) {
            m_lstFeatured->addItem(text(rsFeatured->value(QStringLiteral("Name")))
                                   + QStringLiteral(" - ")
                                   + text(rsFeatured->value(QStringLiteral("Description"))));
            rsFeatured->MoveNext();
        }
    }
    rsFeatured->Close();
}

// Moves the category browser into a scrolling area between the browser's heading and the
// featured list's, keeping each element's place relative to the others.
void frmMain::scrollBrowser()
{
    m_browserArea = new QScrollArea(this);
    m_browserArea->setObjectName(QStringLiteral("browserArea"));
    m_browserArea->setFrameShape(QFrame::NoFrame);
    m_browserArea->setFocusPolicy(Qt::NoFocus);
    m_browserArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_browserArea->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_browserArea->setAccessibleName(m_Label2->text());
    m_browserArea->installEventFilter(this);
    place(m_browserArea, {0, kBrowserAreaTop, kInnerWidth, kBrowserAreaHeight});

    m_Label2->setBuddy(m_browserArea);
    auto *content = new QWidget;
    content->setObjectName(QStringLiteral("browserContent"));
    accessibility::markWindow(content);
    double bottom = 0;
    const auto moveIn = [content, &bottom](QWidget *element) {
        const QRectF r = twips::geometry(element);
        const bool hidden = element->isHidden();
        element->setParent(content);
        twips::setGeometry(element, r.left(), r.top() - kBrowserAreaTop, r.width(), r.height());
        element->setHidden(hidden);
        if (!hidden)
            bottom = std::max(bottom, r.bottom() - kBrowserAreaTop);
    };
    for (int i = 0; i < m_lblCategory.size(); ++i) {
        moveIn(m_lblCategory.at(i));
        moveIn(m_lstSubCategory.at(i));
        moveIn(m_lstSubCategoryIDs.at(i));
    }
    const int scrollBarWidth = m_browserArea->verticalScrollBar()->sizeHint().width();
    content->resize(twips::toPixels(kInnerWidth) - scrollBarWidth,
                    twips::toPixels(bottom + kBrowserAreaBottomMargin));
    m_browserArea->setWidget(content);
    m_browserArea->verticalScrollBar()->setSingleStep(twips::toPixels(kRowStep) / 4);
    m_browserArea->show();
}

// Tab follows the tab indices: the search box, GO, the category names in category order,
// their lists, the web-site link, Exit and the featured list.
void frmMain::orderTabs()
{
    QList<QWidget *> chain{m_txtSearch, m_cmdGo};
    for (LinkLabel *label : std::as_const(m_lblCategory))
        chain.append(label);
    for (QListWidget *list : std::as_const(m_lstSubCategory))
        chain.append(list);
    chain << m_Label3 << m_cmdClose << m_lstFeatured;
    for (int i = 1; i < chain.size(); ++i)
        setTabOrder(chain.at(i - 1), chain.at(i));
}

// A category name or list that takes the focus is scrolled into view with its partner.
void frmMain::showCategoryOf(QWidget *focused)
{
    if (!m_browserArea || !focused || !m_browserArea->widget()->isAncestorOf(focused))
        return;
    for (int i = 0; i < m_lblCategory.size(); ++i) {
        if (focused != m_lblCategory.at(i) && focused != m_lstSubCategory.at(i))
            continue;
        const QRect cell = m_lblCategory.at(i)->geometry().united(m_lstSubCategory.at(i)->geometry());
        m_browserArea->ensureVisible(cell.center().x(), cell.center().y(), cell.width() / 2,
                                     cell.height() / 2 + 1);
        return;
    }
}

void frmMain::showOpenFailurePrompt(const ado::Error &error)
{
    const QString prompt = QString::number(error.Number) + QStringLiteral(" : ") + error.Description
        + QStringLiteral("\r\n")
        + QStringLiteral("Unable to open database. You may need to install Microsoft Data Access "
                         "Components 2.8 (MDAC). You may download this free from Microsoft's web "
                         "site. Do you want to go to ")
        + dataAccessDownloadAddress() + QStringLiteral(" now?");
    if (m_services.messages.MsgBox(this, prompt, vbYesNo, QStringLiteral("Confirmation Message"))
        == vbYes)
        OpenUrl(m_services.desktop, this, dataAccessDownloadAddress());
}

void frmMain::cmdGo_Click()
{
    const QString text = listing::trimBlanks(m_txtSearch->text());

    showSoftwareWindow(m_services, this, text.isEmpty() ? listing::Request::allTitles() : listing::Request::search(text),
                       listing::searchTitle(text));
}

void frmMain::lblCategory_Click(int Index)
{
    const LinkLabel *label = lblCategory(Index);
    if (!label)
        return;
    const listing::Request request = listing::Request::category(
        label->property(kTagProperty).toString(), listing::wholeNumberKey(label->property(kKeyProperty)));
    showSoftwareWindow(m_services, this, request, label->text());
}

void frmMain::lstSubCategory_DblClick(int Index)
{
    const QListWidget *names = lstSubCategory(Index);
    const QListWidget *ids = lstSubCategoryIDs(Index);
    if (!names || !ids)
        return;
    // With nothing selected there is no subcategory to list.
    const int p = listIndex(names);
    if (p < 0 || p >= ids->count())
        return;
    const listing::Request request
        = listing::Request::subCategory(itemText(ids, p), listing::wholeNumberKey(ids->item(p)->data(Qt::UserRole)));
    showSoftwareWindow(m_services, this, request, listing::subCategoryTitle(lblCategory(Index)->text(), itemText(names, p)));
}

void frmMain::lstFeatured_DblClick()
{
    const QString entry = itemText(m_lstFeatured, listIndex(m_lstFeatured));
    if (entry.isEmpty())
        return;
    const qsizetype cut = entry.indexOf(QLatin1String(" - "), 0, Qt::CaseSensitive);
    const QString name = cut >= 0 ? entry.left(cut) : entry;

    m_services.pointer.setMousePointer(vbHourglass);
    const listing::Request request = listing::Request::title(name);
    strListingSql = request.sql();  // the name's mirror of what is listed
    rsSoftware = std::make_shared<ado::Recordset>();
    rsSoftware->CursorLocation = ado::adUseClient;
    if (rsSoftware->Open(request, cnCatalog, ado::adOpenStatic, ado::adLockReadOnly, ado::adCmdText)) {
        m_services.messages.Beep();
        m_services.pointer.setMousePointer(vbDefault);
        m_services.messages.MsgBox(this, QStringLiteral("Unable to open table Software."),
                                   kNoticeStyle, applicationTitle());
        return;
    }
    if (rsSoftware->RecordCount() == 0) {
        m_services.pointer.setMousePointer(vbDefault);
        m_services.messages.MsgBox(this, QStringLiteral("No records found."), kNoticeStyle,
                                   applicationTitle());
        return;
    }
    // The detail window's load sets the pointer back.
    showDetailWindow(m_services, this);
    if (rsSoftware)
        rsSoftware->Close();
    rsSoftware.reset();
}

void frmMain::Label3_Click()
{
    OpenUrl(m_services.desktop, this, publisherAddress());
}

void frmMain::cmdClose_Click()
{
    close();
}

// Enter or Space on a subcategory or featured title that is selected opens it as its
// double-click does; with nothing selected Enter goes on to GO, and Space selects.
// On a screen smaller than the design the window takes what the screen has and scrolls.
void frmMain::showEvent(QShowEvent *event)
{
    if (!m_fittedToScreen) {
        m_fittedToScreen = true;
        screen_fit::fit(*this, m_designedSize);
    }
    QWidget::showEvent(event);
}

bool frmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    // An arrow that a list has no use for (at its end) does not scroll the browser away
    // from the list that has the focus; the wheel and the scroll bar still scroll it.
    if (watched == m_browserArea) {
        switch (key->key()) {
        case Qt::Key_Up: case Qt::Key_Down: case Qt::Key_Left: case Qt::Key_Right:
        case Qt::Key_PageUp: case Qt::Key_PageDown: case Qt::Key_Home: case Qt::Key_End:
            return true;
        default:
            return QWidget::eventFilter(watched, event);
        }
    }
    auto *list = qobject_cast<QListWidget *>(watched);
    // A list entered with nothing selected shows its focus on an item but has not chosen it:
    // the first Down or Space chooses that item, as list boxes do on every desktop.
    const bool plain = (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (list && plain && listIndex(list) < 0 && list->count() > 0
        && (key->key() == Qt::Key_Down || key->key() == Qt::Key_Space)) {
        list->setCurrentRow(std::max(0, list->currentRow()), QItemSelectionModel::ClearAndSelect);
        return true;
    }
    const bool opens = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter
                       || key->key() == Qt::Key_Space;
    if (!opens || !list || listIndex(list) < 0
        || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
        return QWidget::eventFilter(watched, event);
    if (!key->isAutoRepeat()) {
        if (list == m_lstFeatured) {
            passOver([this] { lstFeatured_DblClick(); });
        } else if (const int index = m_lstSubCategory.indexOf(list); index >= 0) {
            passOver([this, index] { lstSubCategory_DblClick(index); });
        }
    }
    return true;
}

void frmMain::keyPressEvent(QKeyEvent *event)
{
    // Enter presses the button that has the focus, otherwise the default button.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (auto *button = qobject_cast<QPushButton *>(focusWidget()))
            button->click();
        else
            m_cmdGo->click();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

