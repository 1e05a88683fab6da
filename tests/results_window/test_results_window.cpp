#include "catalog/listing/query.h"
#include "catalog/shared_state.h"
#include "catalog/reader_client/table_source.h"
#include "results_window/frm_software.h"
#include "results_window/listing_progress.h"
#include "tests/support/built_catalog.h"
#include "tests/support/fake_services.h"
#include "tests/support/fixture_catalog.h"
#include "window_services/field_text.h"
#include "window_services/qt_settings_service.h"
#include "window_services/twips.h"
#include "window_services/window_limits.h"

#include <QtTest>
#include <QtWidgets>

#include <memory>
#include <variant>

namespace {

const QStringList kFieldNames = {
    "Name",        "Description", "Price",        "Type",         "Requirements", "Uninstaller",
    "Limitations", "ScreenURL",   "DownloadURL1", "DownloadURL2", "DownloadURL3", "BuyURL",
    "Rating",      "Company Name", "Company URL", "Company Desc"};
const QString kNameSortLine = "Sorted by Name in ascending order";
const QString kUnableToOpen = "Unable to open table Software.";
const char *const kReopenArgument = "--reopen-with-store";

// Reads and drives a results window through its widgets.
struct View {
    QDialog *form = nullptr;

    template <class T = QWidget> T *get(const char *name) const { return form->findChild<T *>(name); }
    QTableView *grid() const { return get<QTableView>("dtgOrg"); }
    QComboBox *fields() const { return get<QComboBox>("cboField"); }
    QString label(const char *name) const { return get<QLabel>(name)->text(); }
    QString cell(int row, const QString &field) const
    {
        return grid()->model()->index(row, kFieldNames.indexOf(field)).data().toString();
    }
    int rowOf(const QString &name) const
    {
        const QAbstractItemModel *model = grid()->model();
        return model->match(model->index(0, 0), Qt::DisplayRole, name, 1, Qt::MatchExactly).value(0).row();
    }
    QPoint cellCentre(int row) const { return grid()->visualRect(grid()->model()->index(row, 0)).center(); }
    void clickHeader(const QString &field) const { clickColumn(kFieldNames.indexOf(field)); }
    void clickColumn(int c) const
    {
        grid()->scrollTo(grid()->model()->index(0, c));
        QHeaderView *header = grid()->horizontalHeader();
        const QPoint at(header->sectionViewportPosition(c) + header->sectionSize(c) / 2,
                        header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    }
    // Picks an entry of the drop-down list the way the keyboard does.
    void chooseField(const QString &field) const
    {
        QTest::keyClick(fields(), Qt::Key_Home);
        while (fields()->currentText() != field && fields()->currentIndex() < fields()->count() - 1)
            QTest::keyClick(fields(), Qt::Key_Down);
    }
    void type(const QString &text) const
    {
        get<QLineEdit>("txtSearch")->setFocus();
        QTest::keyClicks(get<QLineEdit>("txtSearch"), text);
    }
    QList<QRectF> layout() const
    {
        QList<QRectF> all;
        for (const QWidget *control : static_cast<frmSoftware *>(form)->Controls())
            all << twips::geometry(control);
        return all;
    }
};

// A results window loaded on one listing, with recording services. Made shared, as
// showSoftwareWindow makes it, so that its load can register its size limits.
struct Results : View {
    FakeServices fakes;
    std::unique_ptr<Services> services;  // the fakes, with a real settings store if given
    std::shared_ptr<frmSoftware> owned;
    std::unique_ptr<QAbstractItemModelTester> modelTester;  // the grid's model stays consistent

    QSize outer() const { return form->frameGeometry().size(); }
    void resizeOuter(const QSize &size) const { form->resize(size - outer() + form->size()); }
};

// Stored: the remembered height and width texts, if any.
// A listing's request, or a statement run as it stands.
using Asked = std::variant<listing::Request, QString>;
std::unique_ptr<Results> loadResults(const Asked &asked = listing::Request::allTitles(),
                                     const QStringList &stored = {}, SettingsService *store = nullptr)
{
    auto r = std::make_unique<Results>();
    FakeServices &f = r->fakes;
    SettingsService &settings = store ? *store : f.settings;
    for (qsizetype i = 0; i < stored.size(); ++i)
        settings.SaveSetting("Quorbix", "Options", i ? "ScreenWidth" : "ScreenHeight", stored[i]);
    r->services.reset(new Services{f.messages, f.pointer, f.desktop, settings, f.dialogs});
    const QString title = listing::searchTitle(QString());
    r->owned = std::visit([&](const auto &a) { return std::make_shared<frmSoftware>(*r->services, a, title); }, asked);
    r->form = r->owned.get();
    r->owned->Form_Load();
    r->modelTester = std::make_unique<QAbstractItemModelTester>(
        r->grid()->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    if (!r->owned->isUnloaded()) {
        r->form->show();
        if (!QTest::qWaitForWindowExposed(r->form))
            return nullptr;
    }
    return r;
}


// A table "T" of numbered rows that, as it is read, notes what the user sees: the text of
// the progress window, if one is shown, and the pointer; halfway, the user closes `owner`.
class WatchedSource final : public reader_client::TableSource {
public:
    WatchedSource(int rows, const FakePointerService &pointer, QWidget *owner)
        : m_rows(rows), m_pointer(pointer), m_owner(owner) {}
    QStringList tableNames() const override { return {QStringLiteral("T")}; }
    ado::Error readTable(const QString &, reader_client::RowSink &sink) override
    {
        sink.columns({{"N", jet::StoredType::Long, 0}});
        sink.expectRows(std::uint32_t(m_rows));
        std::vector<reader_client::Cell> cells(1);
        for (int row = 1; row <= m_rows; ++row) {
            cells[0].isNull = false;
            cells[0].integer = row;
            sink.row(cells);
            if (row % 5000 == 0)
                seen << QStringLiteral("%1: %2, pointer %3").arg(row).arg(progressText()).arg(m_pointer.current);
            if (row == m_rows / 2)
                QCoreApplication::postEvent(m_owner->windowHandle(), new QCloseEvent);  // as from the frame
        }
        return {};
    }
    static QString progressText()
    {
        for (QWidget *top : QApplication::topLevelWidgets())
            if (top->objectName() == "listingProgress" && top->isVisible())
                return top->findChild<QLabel *>()->text();
        return QStringLiteral("none");
    }
    QStringList seen;

private:
    int m_rows;
    const FakePointerService &m_pointer;
    QWidget *m_owner;
};

// An id whose text the statement cannot hold: the engine refuses it.
listing::Request refusedStatement() { return listing::Request::category("'"); }

// The child half of the new-run case: prints the outer size a window comes up at.
int reopenInChild(const QString &iniFile)
{
    twips::setPerPixelOverride(15);
    QtSettingsService store(iniFile);
    const auto r = openFixtureCatalog("basic.mdb") ? loadResults(listing::Request::allTitles(), {}, &store) : nullptr;
    const QSize outer = r ? r->outer() : QSize();
    QTextStream(stdout) << outer.width() << 'x' << outer.height();
    return 0;
}

}  // namespace

class TestResultsWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(openFixtureCatalog("basic.mdb")); }
    void init()
    {
        resetWindowLimitsTable();
        twips::setPerPixelOverride(15);
    }
    void cleanupTestCase() { resetWindowLimitsTable(); }

    // The caption is the row's name. Cells: "title|field|text". A failed open still shows
    // the window, empty; an empty listing never shows it.
    void shouldTakeEachListingsRoad_data()
    {
        QTest::addColumn<listing::Request>("request");
        QTest::addColumn<QString>("prompt");
        QTest::addColumn<QString>("countLine");
        QTest::addColumn<QStringList>("cells");
        using listing::Request;
        QTest::newRow("Search Results for ''") << Request::allTitles() << "" << "39 records"
            << QStringList{"ZipMaster|Uninstaller|Yes", "ArcView Zip|Uninstaller|No",
                           "Disk Tool|Price|1234.5", "Backup Buddy|Price|1500000",
                           "Backup Buddy|Rating|", "ArcView Zip|DownloadURL2|", "ZipMaster|Type|Shareware"};
        QTest::newRow("empty listing") << Request::search("no such title") << "No records found."
                                       << "" << QStringList{};
        QTest::newRow("refused statement") << refusedStatement() << kUnableToOpen << "" << QStringList{};
        QTest::newRow("catalog never opened") << Request::allTitles() << kUnableToOpen << "" << QStringList{};
    }
    void shouldTakeEachListingsRoad()
    {
        QFETCH(listing::Request, request);
        QFETCH(QString, prompt);
        QFETCH(QString, countLine);
        QFETCH(QStringList, cells);
        const auto catalog = cnCatalog;
        if (QTest::currentDataTag() == QLatin1String("catalog never opened"))
            cnCatalog.reset();
        FakeServices fakes;
        QStringList seen;
        fakes.dialogs.steps.enqueue([&](QDialog &dialog) {
            const View r{&dialog};
            QStringList chooser, headers;
            for (int i = 0; i < r.fields()->count(); ++i)
                chooser << r.fields()->itemText(i);
            for (int c = 0; c < r.grid()->model()->columnCount(); ++c)
                headers << r.grid()->model()->headerData(c, Qt::Horizontal).toString();
            seen << dialog.windowTitle() << r.label("lblOrg") << r.label("lblSort")
                 << r.fields()->currentText() << chooser.join(',') << headers.join(',');
            for (const QString &cell : cells)
                seen << cell.section('|', 0, 1) + '|'
                            + r.cell(r.rowOf(cell.section('|', 0, 0)), cell.section('|', 1, 1));
            if (countLine.isEmpty()) {  // typing and sorting do nothing in an empty window
                r.type("zip");
                static_cast<frmSoftware *>(r.form)->dtgOrg_HeadClick(2);
                seen << r.label("lblOrg") << r.label("lblSort");
            } else {
                QCOMPARE(r.grid()->currentIndex().row(), rsSoftware->AbsolutePosition());
            }
            QCOMPARE(rsSoftware->Source, request.sql());  // the listing reads as the text it travels as
        });
        showSoftwareWindow(fakes.services, nullptr, request, QTest::currentDataTag());
        cnCatalog = catalog;
        QCOMPARE(strListingSql, request.sql());

        const QString fields = kFieldNames.join(',');
        if (prompt.isEmpty())
            QCOMPARE(seen, QStringList({strListingTitle, countLine, kNameSortLine, "Name", fields, fields})
                               + cells);
        else if (prompt == kUnableToOpen)
            QCOMPARE(seen, QStringList({strListingTitle, "", kNameSortLine, "", "", "", "", kNameSortLine}));
        QCOMPARE(fakes.dialogs.shown.size(), prompt == "No records found." ? 0 : 1);
        // Each box: "prompt|style|title|pointer at the box|beeps before the box".
        const int beeps = prompt == kUnableToOpen ? 1 : 0;
        QStringList boxes;
        for (const FakeMessageService::Call &c : fakes.messages.calls)
            boxes << QString("%1|%2|%3|%4|%5").arg(c.prompt).arg(c.style).arg(c.title)
                         .arg(c.pointerAtCall).arg(c.beepsBefore);
        const QString box = QString("%1|%2|Quorbix|%3|%4").arg(prompt)
                                .arg(vbOKOnly | vbExclamation | vbSystemModal).arg(vbDefault).arg(beeps);
        QCOMPARE(boxes, prompt.isEmpty() ? QStringList() : QStringList{box});
        QCOMPARE(fakes.messages.beeps, beeps);
        QCOMPARE(fakes.pointer.history.first(), int(vbHourglass));
        QCOMPARE(fakes.pointer.current, int(vbDefault));
    }

    // Actions: "type:text", "opt:name" (a click on an option), "field:name", "clear", "sort:column"
    // (a header click), "key:column" (F3 in the grid on a cell of that column). First: "field=text" of the first row, or
    // "Filter=text" of the recordset, when given.
    void shouldFilterAndSortAsTheUserAsks_data()
    {
        QTest::addColumn<QStringList>("actions");
        QTest::addColumn<QString>("countLine");
        QTest::addColumn<QString>("sortLine");
        QTest::addColumn<QString>("first");
        const auto row = [](const char *name, const QStringList &actions, const char *countLine,
                            const QString &sortLine = kNameSortLine, const QString &first = {}) {
            QTest::newRow(name) << actions << QString(countLine) << sortLine << first;
        };
        row("begins with", {"type:zip"}, "1 records");
        row("contains", {"opt:optContains", "type:zip"}, "3 records");
        row("leading blank, begins", {"type: zip"}, "0 records");
        row("leading blank, contains", {"opt:optContains", "type: zip"}, "2 records");
        row("quote doubled", {"type:Don't"}, "1 records");
        row("quote doubled, no match after it", {"type:Don'x"}, "0 records");
        row("blank in field name", {"field:Company Name", "opt:optContains", "type:pixel"}, "1 records");
        row("quote and blank in field name", {"field:Company Name", "type:O'M"}, "1 records", kNameSortLine,
            "Filter=[Company Name] LIKE 'O''M*'");
        row("other field", {"field:Requirements", "type:directx"}, "26 records");
        row("blanks only", {"type:   "}, "39 records");
        row("clear", {"type:zip", "clear"}, "39 records");
        row("field choice", {"type:zip", "field:Description"}, "39 records");
        row("typing after a field choice", {"type:zip", "field:Description", "type:incremental"}, "1 records");
        // The worked sequence, one click more on each row.
        QStringList clicks;
        const auto sorted = [&](const char *name, const char *column, const QString &line, const char *first) {
            clicks << QString("sort:") + column;
            row(name, clicks, "39 records", line, first);
        };
        sorted("Price", "Price", "Sorted by Price descending order", "Name=Backup Buddy");
        sorted("Price again", "Price", "Sorted by Price ascending order", "Price=0");
        sorted("then Name", "Name", "Sorted by Name descending order", "Name=ZipMaster");
        sorted("then a memo", "Description", "Unable to sort by memo field.", "Name=ZipMaster");
        sorted("then Rating", "Rating", "Sorted by Rating descending order", "Rating=5");
        row("sort by a field with a blank", {"sort:Company Name"}, "39 records",
            "Sorted by Company Name descending order", "Company Name=Quiet Pixel");
        row("sort when nothing passes the filter", {"type:qqq", "sort:Price"}, "0 records");
        // The key sorts as the header's click does, and shares its direction.
        row("F3", {"key:Price"}, "39 records", "Sorted by Price descending order", "Name=Backup Buddy");
        row("F3 after a click", {"sort:Price", "key:Price"}, "39 records", "Sorted by Price ascending order", "Price=0");
        row("F3 on a memo", {"key:Description"}, "39 records", "Unable to sort by memo field.");
        // A Yes/No column filters on the words the grid shows, in either mode.
        row("Yes/No: Y", {"field:Uninstaller", "type:Y"}, "20 records");
        row("Yes/No: yes", {"field:Uninstaller", "type:yes"}, "20 records");
        row("Yes/No: N", {"field:Uninstaller", "type:N"}, "19 records");
        row("Yes/No: contains es", {"field:Uninstaller", "opt:optContains", "type:es"}, "20 records");
        row("Yes/No: contains o", {"field:Uninstaller", "opt:optContains", "type:o"}, "19 records");
        row("Yes/No: begins with o", {"field:Uninstaller", "type:o"}, "0 records", kNameSortLine,
            "Filter=Uninstaller = True AND Uninstaller = False");
        row("Yes/No: True is not shown", {"field:Uninstaller", "type:True"}, "0 records");
        row("Yes/No: wildcard", {"field:Uninstaller", "type:*"}, "39 records", kNameSortLine,
            "Filter=Uninstaller = True OR Uninstaller = False OR Uninstaller = Null");
    }
    void shouldFilterAndSortAsTheUserAsks()
    {
        QFETCH(QStringList, actions);
        QFETCH(QString, countLine);
        QFETCH(QString, sortLine);
        QFETCH(QString, first);
        auto r = loadResults();
        QVERIFY(r);
        for (const QString &action : actions) {
            const QString arg = action.section(':', 1);
            if (action.startsWith("type:")) {
                r->type(arg);
            } else if (action.startsWith("opt:")) {
                r->get<QRadioButton>(qPrintable(arg))->click();
            } else if (action.startsWith("sort:")) {
                r->clickHeader(arg);
            } else if (action.startsWith("key:")) {
                r->grid()->setCurrentIndex(r->grid()->model()->index(0, kFieldNames.indexOf(arg)));
                QTest::keyClick(r->grid(), Qt::Key_F3);
            } else {  // a field choice or Clear empties the box and puts the caret in it
                action.startsWith("field:") ? r->chooseField(arg) : r->get<QPushButton>("cmdClear")->click();
                QCOMPARE(r->get<QLineEdit>("txtSearch")->text(), QString());
                QVERIFY(r->get<QLineEdit>("txtSearch")->hasFocus());
            }
        }
        QCOMPARE(r->label("lblOrg"), countLine);
        QCOMPARE(r->grid()->model()->rowCount(), rsSoftware->RecordCount());
        QCOMPARE(r->label("lblSort"), sortLine);
        if (first.startsWith("Filter="))  // as the recordset reads it back on Requery
            QCOMPARE(rsSoftware->Filter(), first.section('=', 1));
        else if (!first.isEmpty())
            QCOMPARE(r->cell(0, first.section('=', 0, 0)), first.section('=', 1));
        if (rsSoftware->RecordCount() > 0)
            QCOMPARE(r->grid()->currentIndex().row(), rsSoftware->AbsolutePosition());
        QCOMPARE(r->fakes.pointer.current, int(vbDefault));
    }

    // Large Number, Date/Time Extended and calculated columns (an ACE 16 file) in the grid:
    // every digit of a 64-bit number, a date-time shown as dates are, sorted as numbers.
    void shouldShowTheNewestAccessTypesAsStored_data()
    {
        QTest::addColumn<QString>("sql");  // another table's statement
        QTest::addColumn<int>("sortClicks");
        QTest::addColumn<QString>("column");
        QTest::addColumn<QStringList>("shown");
        const QString big = "SELECT * FROM Newest";
        const QStringList stored = {"9223372036854775807", "-9223372036854775808", "-1", "", "9007199254740993"};
        QTest::newRow("Large Number, every digit") << big << 0 << "Big" << stored;
        QTest::newRow("Large Number sorted descending") << big << 1 << "Big"
            << QStringList{"9223372036854775807", "9007199254740993", "-1", "-9223372036854775808", ""};
        QTest::newRow("Large Number sorted ascending") << big << 2 << "Big"
            << QStringList{"", "-9223372036854775808", "-1", "9007199254740993", "9223372036854775807"};
        QTest::newRow("Date/Time Extended as a date") << big << 0 << "Stamp"
            << QStringList{fieldText(QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59, 999))),
                           fieldText(QDateTime(QDate(1, 1, 1), QTime(0, 0))),
                           fieldText(QDateTime(QDate(2019, 5, 17), QTime(21, 3, 17, 123))), "",
                           fieldText(QDateTime(QDate(1899, 12, 30), QTime(0, 0)))};
        QTest::newRow("Date/Time Extended sorted ascending") << big << 2 << "Stamp"
            << QStringList{"", fieldText(QDateTime(QDate(1, 1, 1), QTime(0, 0))),
                           fieldText(QDateTime(QDate(1899, 12, 30), QTime(0, 0))),
                           fieldText(QDateTime(QDate(2019, 5, 17), QTime(21, 3, 17, 123))),
                           fieldText(QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59, 999)))};
        const QString calculated = "SELECT * FROM Calculated";
        QTest::newRow("calculated text") << calculated << 0 << "FullName" << QStringList{"Smith, Ann", "", "Lee, Bo"};
        QTest::newRow("calculated number, sorted") << calculated << 1 << "NameLength" << QStringList{"10", "7", ""};
        QTest::newRow("calculated Yes/No, Null as the format shows it") << calculated << 0 << "Flag" << QStringList{"Yes", "No", "No"};
        QTest::newRow("calculated date") << calculated << 0 << "Due"
            << QStringList{fieldText(QDateTime(QDate(2019, 5, 17), QTime(21, 3, 17))), "",
                           fieldText(QDateTime(QDate(1899, 12, 29), QTime(6, 0)))};
    }
    void shouldShowTheNewestAccessTypesAsStored()
    {
        QFETCH(QString, sql);
        QFETCH(int, sortClicks);
        QFETCH(QString, column);
        QFETCH(QStringList, shown);
        const auto catalog = cnCatalog;
        QTemporaryDir dir;
        QVERIFY(openCatalogBytes(builtCatalog(QStringLiteral("newest-types.txt"), *jet::layout::writtenFormat("ace16"),
                                              [](QByteArray &) {}),
                                 dir));
        auto r = loadResults(sql);
        cnCatalog = catalog;
        QVERIFY(r);
        const QAbstractItemModel *model = r->grid()->model();
        int c = 0;
        while (c < model->columnCount() && model->headerData(c, Qt::Horizontal).toString() != column)
            ++c;
        QVERIFY(c < model->columnCount());
        for (int click = 0; click < sortClicks; ++click)
            r->clickColumn(c);
        QStringList seen;
        for (int row = 0; row < model->rowCount(); ++row)
            seen << model->index(row, c).data().toString();
        QCOMPARE(seen, shown);
    }

    // A header click sorts the rows where the user is looking: the grid keeps its sideways
    // scroll, the clicked column in view.
    void shouldKeepTheGridsSidewaysScrollWhenSorted_data()
    {
        QTest::addColumn<QStringList>("columns");  // clicked in turn
        QTest::newRow("Rating") << QStringList{"Rating"};
        QTest::newRow("Company Name, twice") << QStringList{"Company Name", "Company Name"};
        QTest::newRow("a memo, refused") << QStringList{"Company Desc"};
        QTest::newRow("Rating, then Company Name") << QStringList{"Rating", "Company Name"};
    }
    void shouldKeepTheGridsSidewaysScrollWhenSorted()
    {
        QFETCH(QStringList, columns);
        auto r = loadResults();
        QVERIFY(r);
        for (const QString &column : columns) {
            const int c = kFieldNames.indexOf(column);
            r->grid()->scrollTo(r->grid()->model()->index(0, c));  // as the user scrolls to it
            QScrollBar *sideways = r->grid()->horizontalScrollBar();
            const int before = sideways->value();
            QVERIFY(before > 0);  // a view that is scrolled
            r->clickHeader(column);
            QCoreApplication::processEvents();
            QCOMPARE(sideways->value(), before);
            QHeaderView *header = r->grid()->horizontalHeader();
            const int left = header->sectionViewportPosition(c);
            QVERIFY2(left >= 0 && left + header->sectionSize(c) <= header->viewport()->width(),
                     qPrintable(QString("column at %1 of %2").arg(left).arg(header->viewport()->width())));
        }
        QCOMPARE(r->grid()->currentIndex().row(), rsSoftware->AbsolutePosition());
    }

    // The two options are one Tab stop, on the checked one; the arrows move between them and
    // check the one they reach, which filters as its click does.
    void shouldMakeTheOptionsOneTabStop_data()
    {
        QTest::addColumn<QString>("keys");     // from the search box, holding "zip"
        QTest::addColumn<QString>("focused");  // then
        QTest::addColumn<QString>("checked");
        QTest::addColumn<QString>("countLine");
        QTest::newRow("Tab lands on the checked option") << "Tab" << "optBegins" << "optBegins" << "1 records";
        QTest::newRow("the other is no stop") << "Tab Tab" << "cmdSelect" << "optBegins" << "1 records";
        QTest::newRow("and no stop backwards") << "Tab Tab Backtab" << "optBegins" << "optBegins" << "1 records";
        QTest::newRow("an arrow checks the other") << "Tab Right" << "optContains" << "optContains" << "3 records";
        QTest::newRow("Down too") << "Tab Down" << "optContains" << "optContains" << "3 records";
        QTest::newRow("then Tab stops on it") << "Tab Down Backtab Tab" << "optContains" << "optContains" << "3 records";
        QTest::newRow("then it is the stop backwards") << "Tab Down Tab Backtab" << "optContains" << "optContains"
                                                       << "3 records";
        QTest::newRow("and back") << "Tab Down Up" << "optBegins" << "optBegins" << "1 records";
    }
    void shouldMakeTheOptionsOneTabStop()
    {
        QFETCH(QString, keys);
        QFETCH(QString, focused);
        QFETCH(QString, checked);
        QFETCH(QString, countLine);
        auto r = loadResults();
        QVERIFY(r);
        r->form->activateWindow();
        r->type("zip");
        QVERIFY(QTest::qWaitForWindowActive(r->form));
        static const QMap<QString, Qt::Key> named{{"Tab", Qt::Key_Tab}, {"Backtab", Qt::Key_Tab},
                                                 {"Right", Qt::Key_Right}, {"Down", Qt::Key_Down},
                                                 {"Up", Qt::Key_Up}};
        for (const QString &key : keys.split(' ')) {
            QWidget *with = QApplication::focusWidget();
            QVERIFY(with);
            QTest::keyClick(with, named.value(key), key == "Backtab" ? Qt::ShiftModifier : Qt::NoModifier);
        }
        QCOMPARE(QApplication::focusWidget()->objectName(), focused);
        QVERIFY(r->get<QRadioButton>(qPrintable(checked))->isChecked());
        QCOMPARE(r->label("lblOrg"), countLine);
    }

    void shouldActOnTheWindowsCommands_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("opensDetail");
        QTest::addColumn<QString>("emptyBy");  // how the grid came to have no current row
        QTest::newRow("Select") << "cmdSelect" << true << "";
        QTest::newRow("Enter") << "Return" << true << "";
        QTest::newRow("keypad Enter") << "keypad Enter" << true << "";
        QTest::newRow("grid double-click") << "double-click" << true << "";
        QTest::newRow("Close") << "cmdCancel" << false << "";
        QTest::newRow("Escape") << "Escape" << false << "";
        QTest::newRow("close box") << "close box" << false << "";
        for (const char *emptyBy : {"filter", "failed open"}) {
            QTest::addRow("Select, %s", emptyBy) << "cmdSelect" << false << emptyBy;
            QTest::addRow("Enter, %s", emptyBy) << "Return" << false << emptyBy;
            QTest::addRow("keypad Enter, %s", emptyBy) << "keypad Enter" << false << emptyBy;
            QTest::addRow("grid double-click, %s", emptyBy) << "double-click" << false << emptyBy;
        }
    }
    void shouldActOnTheWindowsCommands()
    {
        QFETCH(QString, how);
        QFETCH(bool, opensDetail);
        QFETCH(QString, emptyBy);
        FakeServices fakes;
        const listing::Request request = emptyBy == "failed open" ? refusedStatement() : listing::Request::allTitles();
        bool openAfter = false;
        QString detailName;
        fakes.dialogs.steps.enqueue([&](QDialog &dialog) {
            const View r{&dialog};
            const int row = r.rowOf("Disk Tool");
            if (emptyBy == "filter")
                r.type("qqq");
            if (emptyBy.isEmpty())
                QTest::mouseClick(r.grid()->viewport(), Qt::LeftButton, {}, r.cellCentre(row));
            else
                QVERIFY(!r.grid()->currentIndex().isValid());
            if (how.startsWith("cmd"))
                r.get<QPushButton>(qPrintable(how))->click();
            else if (how == "Return")
                QTest::keyClick(r.grid(), Qt::Key_Return);
            else if (how == "keypad Enter")
                QTest::keyClick(r.grid(), Qt::Key_Enter, Qt::KeypadModifier);
            else if (how == "Escape")
                QTest::keyClick(&dialog, Qt::Key_Escape);
            else if (how == "double-click")
                QTest::mouseDClick(r.grid()->viewport(), Qt::LeftButton, {},
                                   emptyBy.isEmpty() ? r.cellCentre(row) : QPoint(20, 20));
            else
                dialog.close();
            openAfter = dialog.isVisible();
        });
        fakes.dialogs.steps.enqueue(
            [&](QDialog &dialog) { detailName = View{&dialog}.get<QLineEdit>("txtName")->text(); });
        showSoftwareWindow(fakes.services, nullptr, request, QString());
        QCOMPARE(fakes.dialogs.shown.join(','), opensDetail ? "frmSoftware,frmDetail" : "frmSoftware");
        QCOMPARE(openAfter, opensDetail || !emptyBy.isEmpty());
        QCOMPARE(detailName, QString(opensDetail ? "Disk Tool" : ""));
    }
    // Columns fit their header and the first screenful, up to 3600 twips; a cut cell tells
    // its whole text in its tooltip, a whole one none. The grid draws its cells itself, to
    // spare the style's repeated text layout at every keystroke; each cell, selected or not,
    // must still come out as the style draws it.
    void shouldSizeDrawAndTellCellsAsTheStyleDoes_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("field");
        QTest::addColumn<bool>("cut");
        QTest::newRow("long memo") << "Memo Giant" << "Description" << true;
        QTest::newRow("number wider than the first screenful") << "ZipMaster" << "Price" << true;
        QTest::newRow("name in the first screenful") << "Arcade Title 15" << "Name" << false;
        QTest::newRow("Yes/No word") << "ZipMaster" << "Uninstaller" << false;
        QTest::newRow("empty cell") << "Backup Buddy" << "Rating" << false;
        QTest::newRow("quote and ampersand") << "Don't Panic" << "Company Name" << false;
    }
    void shouldSizeDrawAndTellCellsAsTheStyleDoes()
    {
        QFETCH(QString, title);
        QFETCH(QString, field);
        QFETCH(bool, cut);
        const auto r = loadResults();
        QVERIFY(r);
        QTableView *grid = r->grid();
        QHeaderView *header = grid->horizontalHeader();
        const int screenful = grid->viewport()->height() / grid->verticalHeader()->defaultSectionSize();
        for (int c = 0; c < header->count(); ++c) {
            const int width = header->sectionSize(c);
            QVERIFY2(width >= header->sectionSizeHint(c), qPrintable(kFieldNames[c]));
            QVERIFY(width <= 240 || width == header->sectionSizeHint(c));
            for (int row = 0; row < screenful; ++row) {  // nothing shown first is cut below the cap
                const QModelIndex cell = grid->model()->index(row, c);
                QVERIFY(width == 240 || grid->sizeHintForIndex(cell).width() <= grid->visualRect(cell).width());
            }
        }
        const QModelIndex index = grid->model()->index(r->rowOf(title), kFieldNames.indexOf(field));
        grid->scrollTo(index);
        for (const bool selected : {false, true}) {
            grid->selectionModel()->clear();
            if (selected)
                grid->selectionModel()->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
            const QRect cell = grid->visualRect(index);
            const QImage drawn = grid->viewport()->grab(cell).toImage();
            QAbstractItemDelegate *own = grid->itemDelegate();
            QStyledItemDelegate styled;
            grid->setItemDelegate(&styled);
            const QImage expected = grid->viewport()->grab(cell).toImage();
            grid->setItemDelegate(own);
            QVERIFY(!expected.isNull());
            QCOMPARE(drawn, expected);
        }
        const QPoint at = grid->visualRect(index).center();
        QHelpEvent help(QEvent::ToolTip, at, grid->viewport()->mapToGlobal(at));
        QToolTip::hideText();
        QApplication::sendEvent(grid->viewport(), &help);
        QCOMPARE(QToolTip::isVisible() ? QToolTip::text() : QString(),
                 cut ? Qt::convertFromPlainText(index.data().toString(), Qt::WhiteSpaceNormal) : QString());
    }

    // Stored height and width in twips; the minimum is the default size at that pixel size.
    void shouldComeUpAtTheRememberedSizeAndNoSmallerThanTheDefault_data()
    {
        QTest::addColumn<double>("perPixel");
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<QSize>("outer");
        const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
        QTest::newRow("nothing stored") << 15.0 << QStringList{} << QSize(699, 453);
        QTest::newRow("nothing stored, 12 twips a pixel") << 12.0 << QStringList{} << QSize(873, 567);
        QTest::newRow("both stored") << 15.0 << QStringList{"7200", "12000"} << QSize(800, 480);
        QTest::newRow("fractions, blanks") << 15.0 << QStringList{" 7207.5", "10492.4 "} << QSize(699, 481);
        QTest::newRow("height not a number") << 15.0 << QStringList{"tall", "12000"} << QSize(800, 453);
        QTest::newRow("width not a number") << 15.0 << QStringList{"7200", "12000px"} << QSize(699, 480);
        QTest::newRow("decimal comma, empty") << 15.0 << QStringList{"7200,5", ""} << QSize(699, 453);
        QTest::newRow("negative, not finite") << 15.0 << QStringList{"-7200", "nan"} << QSize(699, 453);
        QTest::newRow("smaller than the default") << 15.0 << QStringList{"3000", "3000"} << QSize(699, 453);
        QTest::newRow("larger than the screen") << 15.0 << QStringList{"99999", "1e30"} << screen;
    }
    void shouldComeUpAtTheRememberedSizeAndNoSmallerThanTheDefault()
    {
        QFETCH(double, perPixel);
        QFETCH(QStringList, stored);
        QFETCH(QSize, outer);
        twips::setPerPixelOverride(perPixel);
        const auto r = loadResults(listing::Request::allTitles(), stored);
        QVERIFY(r);
        QCOMPARE(r->outer(), outer);
        QCOMPARE(WindowLimitsUBound(), 1);
        QCOMPARE(WindowLimitsTable()->at(1).FormRef.get(), static_cast<QWidget *>(r->form));
        // The layout was spread over the size: the grid keeps its share of the inner width.
        const QRectF grid = r->layout().at(7);
        QVERIFY(qAbs(grid.right() / (r->form->width() * perPixel) - 10335.0 / 10480.0) < 1e-5);
        r->resizeOuter(QSize(200, 100));
        QCOMPARE(r->outer(), perPixel == 15.0 ? QSize(699, 453) : QSize(873, 567));
    }

    // A shown listing is closed at 760 x 520 pixels, then reopened in this run and in a new one.
    void shouldRememberTheSizeOnlyOfAShownListing_data()
    {
        QTest::addColumn<listing::Request>("request");
        QTest::addColumn<QString>("closeBy");
        QTest::addColumn<QSize>("reopened");
        using listing::Request;
        QTest::newRow("Close") << Request::allTitles() << "cmdCancel" << QSize(760, 520);
        QTest::newRow("close box") << Request::allTitles() << "close box" << QSize(760, 520);
        QTest::newRow("empty listing") << Request::search("no title has this") << "" << QSize(800, 480);
        QTest::newRow("listing fails to open") << refusedStatement() << "close box" << QSize(800, 480);
    }
    void shouldRememberTheSizeOnlyOfAShownListing()
    {
        QFETCH(listing::Request, request);
        QFETCH(QString, closeBy);
        QFETCH(QSize, reopened);
        QTemporaryDir dir;
        QtSettingsService store(dir.filePath("settings.ini"));
        const auto first = loadResults(request, {"7200", "12000"}, &store);
        QVERIFY(first);
        QCOMPARE(first->form->isVisible(), !closeBy.isEmpty());
        first->resizeOuter(QSize(760, 520));
        if (closeBy == "cmdCancel")
            first->get<QPushButton>("cmdCancel")->click();
        else
            first->form->close();
        QVERIFY(first->owned->isUnloaded());
        QCOMPARE(loadResults(listing::Request::allTitles(), {}, &store)->outer(), reopened);
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {kReopenArgument, dir.filePath("settings.ini")});
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.readAllStandardOutput(), QByteArray::number(reopened.width()) + 'x'
                                                    + QByteArray::number(reopened.height()));
    }

    // Each step grows the window from where the last left it: the scaling is incremental.
    void shouldScaleTheControlsInProportion_data()
    {
        QTest::addColumn<QList<QSize>>("steps");
        QTest::newRow("wider") << QList<QSize>{{90, 0}, {45, 0}};
        QTest::newRow("taller") << QList<QSize>{{0, 70}, {0, 31}};
        QTest::newRow("both, then back") << QList<QSize>{{100, 100}, {-100, -100}};
        QTest::newRow("a little both ways") << QList<QSize>{{37, 23}, {11, 3}};
    }
    void shouldScaleTheControlsInProportion()
    {
        QFETCH(QList<QSize>, steps);
        const auto r = loadResults();
        QVERIFY(r);
        for (const QSize &grow : steps) {
            const QList<QRectF> before = r->layout();
            const float w1 = r->form->width() * 15.0f;
            const float h1 = r->form->height() * 15.0f;
            r->resizeOuter(r->outer() + grow);
            const float rx = r->form->width() * 15.0f / w1;
            const float ry = r->form->height() * 15.0f / h1;
            const QList<QRectF> after = r->layout();
            for (int i = 0; i < after.size(); ++i) {
                const QString name = static_cast<frmSoftware *>(r->form)->Controls()[i]->objectName();
                const QRectF was = before[i];
                const bool widens = name == "dtgOrg" || name == "txtSearch" || name == "cboField";
                QCOMPARE(after[i].left(), double(float(was.left()) * rx));
                QCOMPARE(after[i].top(), double(float(was.top()) * ry));
                QCOMPARE(after[i].width(), widens ? double(float(was.width()) * rx) : was.width());
                QCOMPARE(after[i].height(),
                         name == "dtgOrg" ? double(float(was.height()) * ry) : was.height());
            }
        }
    }

    // A failed listing skips the size steps and registers no limits: it can take an inner size of 0.
    void shouldScaleFromTheSecondResizeOnAndKeepTheLayoutAtAZeroSize()
    {
        const auto r = loadResults(refusedStatement());
        QVERIFY(r);
        QCOMPARE(r->layout().first(), QRectF(6360, 6360, 1095, 375));  // showing only cleared the flag
        r->form->resize(r->form->size() + QSize(70, 30));
        // Against the size the window object was created with, not the layout's.
        QCOMPARE(r->layout().first().left(), double(6360.0f * (r->form->width() * 15.0f / 10480.0f)));
        const QList<QRectF> before = r->layout();
        const QSize normal = r->form->size();
        r->form->resize(0, 0);
        QCOMPARE(r->layout(), before);
        r->form->resize(normal);
        QCOMPARE(r->layout(), before);
    }

    // A load that takes long shows the rows read so far in a window of its own, under the
    // hourglass; the window goes with the load, and the main window is not closed under it.
    // (The delays are cut to nothing here.)
    void shouldShowHowFarALongLoadHasCome_data()
    {
        QTest::addColumn<int>("showAfterMs");
        QTest::addColumn<QStringList>("seen");
        QTest::newRow("long load") << 0 << QStringList{"5000: Reading T: 4,096 of 12,000 rows, pointer 11",
                                                       "10000: Reading T: 8,192 of 12,000 rows, pointer 11"};
        QTest::newRow("short load") << 60000 << QStringList{"5000: none, pointer 11", "10000: none, pointer 11"};
    }
    void shouldShowHowFarALongLoadHasCome()
    {
        QFETCH(int, showAfterMs);
        QFETCH(QStringList, seen);
        const auto catalog = cnCatalog;
        FakeServices fakes;
        QWidget owner;
        owner.show();
        auto source = std::make_unique<WatchedSource>(12000, fakes.pointer, &owner);
        WatchedSource *watched = source.get();
        cnCatalog = std::make_shared<ado::Connection>();
        QVERIFY(!cnCatalog->openSource(std::move(source), "watched"));
        ListingProgress::setTimingForTests(showAfterMs, 0);
        auto form = std::make_shared<frmSoftware>(fakes.services, QStringLiteral("SELECT * FROM T"), QString(), &owner);
        form->Form_Load();
        ListingProgress::setTimingForTests(ListingProgress::kShowAfterMs, ListingProgress::kRedrawEveryMs);
        cnCatalog = catalog;
        QCOMPARE(watched->seen, seen);
        QCOMPARE(QStringList({WatchedSource::progressText(), form->lblOrg->text()}),
                 QStringList({"none", "12000 records"}));
        QCOMPARE(fakes.pointer.current, int(vbDefault));
        QVERIFY(owner.isVisible());
    }
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    fixLocale();
    if (argc == 3 && qstrcmp(argv[1], kReopenArgument) == 0)
        return reopenInChild(QString::fromLocal8Bit(argv[2]));
    TestResultsWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_results_window.moc"
