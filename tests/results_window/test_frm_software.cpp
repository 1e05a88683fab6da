#include "fake_services.h"
#include "fixture_catalog.h"
#include "frm_software.h"
#include "listing_query.h"
#include "shared_state.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QAbstractItemModelTester>
#include <QStandardPaths>
#include <QTableView>
#include <QTest>

#include <memory>

namespace {

const QStringList kFieldNames = {
    "Name",        "Description", "Price",        "Type",         "Requirements", "Uninstaller",
    "Limitations", "ScreenURL",   "DownloadURL1", "DownloadURL2", "DownloadURL3", "BuyURL",
    "Rating",      "Company Name", "Company URL", "Company Desc"};
const QString kNameSortLine = "Sorted by Name in ascending order";

// Reads and drives a results window through its widgets.
struct View {
    frmSoftware *form = nullptr;

    QTableView *grid() const { return form->dtgOrg; }
    QString label(const char *name) const { return form->findChild<QLabel *>(name)->text(); }
    int column(const QString &field) const { return kFieldNames.indexOf(field); }
    QString cell(int row, const QString &field) const
    {
        return grid()->model()->index(row, column(field)).data().toString();
    }
    int rowOf(const QString &name) const
    {
        for (int row = 0; row < grid()->model()->rowCount(); ++row)
            if (cell(row, "Name") == name)
                return row;
        return -1;
    }
    void clickCell(int row, bool twice = false) const
    {
        const QPoint at = grid()->visualRect(grid()->model()->index(row, 0)).center();
        if (twice)
            QTest::mouseDClick(grid()->viewport(), Qt::LeftButton, {}, at);
        else
            QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {}, at);
    }
    void clickHeader(const QString &field) const
    {
        const int c = column(field);
        grid()->scrollTo(grid()->model()->index(0, c));
        QHeaderView *header = grid()->horizontalHeader();
        const QPoint at(header->sectionViewportPosition(c) + header->sectionSize(c) / 2,
                        header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    }
    // Picks an entry of the drop-down list the way the keyboard does.
    void chooseField(const QString &field) const
    {
        QComboBox *box = form->findChild<QComboBox *>("cboField");
        QTest::keyClick(box, Qt::Key_Home);
        while (box->currentText() != field && box->currentIndex() < box->count() - 1)
            QTest::keyClick(box, Qt::Key_Down);
    }
    void type(const QString &text) const
    {
        QLineEdit *box = form->findChild<QLineEdit *>("txtSearch");
        box->setFocus();
        QTest::keyClicks(box, text);
    }
};

// A results window loaded on one listing, with its own recording services.
struct Results : View {
    FakeServices fakes;
    std::unique_ptr<frmSoftware> owned;
    std::unique_ptr<QAbstractItemModelTester> modelTester;  // the grid's model stays consistent
};

std::unique_ptr<Results> loadResults(const QString &sql = listing::allTitlesSql(),
                                     const QString &title = listing::searchTitle(QString()))
{
    auto results = std::make_unique<Results>();
    strListingSql = sql;
    strListingTitle = title;
    results->owned = std::make_unique<frmSoftware>(results->fakes.services);
    results->form = results->owned.get();
    results->form->Form_Load();
    results->modelTester = std::make_unique<QAbstractItemModelTester>(
        results->form->dtgOrg->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    if (!results->form->isUnloaded()) {
        results->form->show();
        if (!QTest::qWaitForWindowExposed(results->form))
            return nullptr;
    }
    return results;
}

// An unbalanced quote, as an unescaped search text gives: the engine refuses it.
QString refusedStatement() { return listing::listingHead() + "Nowhere WHERE A.Name = 'Don't'"; }

}  // namespace

class TestFrmSoftware : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(openFixtureCatalog("basic.mdb"));
    }

    // Cells: "title|field|text". A failed open still shows the window, empty; an empty
    // listing never shows it.
    void shouldTakeEachListingsRoad_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("prompt");
        QTest::addColumn<QString>("countLine");
        QTest::addColumn<QStringList>("cells");
        QTest::newRow("all titles") << listing::allTitlesSql() << "Search Results for ''" << ""
            << "39 records" << QStringList{"ZipMaster|Uninstaller|Yes", "ArcView Zip|Uninstaller|No",
                                           "Disk Tool|Price|1234.5", "Backup Buddy|Price|1500000",
                                           "Backup Buddy|Rating|", "ArcView Zip|DownloadURL2|"};
        QTest::newRow("search") << listing::searchSql("zip") << "Search Results for 'zip'" << ""
                                << "4 records" << QStringList{"100% Free Zip|Type|Freeware"};
        QTest::newRow("category") << listing::categorySql("4") << "Utilities" << "" << "10 records"
                                  << QStringList{"Disk Tool|Uninstaller|Yes"};
        QTest::newRow("one row") << listing::categorySql("1") << "Business" << "" << "1 records"
                                 << QStringList{"Ledger Lite|Requirements|"};
        QTest::newRow("subcategory") << listing::subCategorySql("10") << "Utilities > Archivers"
                                     << "" << "5 records" << QStringList{"ZipMaster|Type|Shareware"};
        QTest::newRow("empty listing") << listing::searchSql("no such title") << "x"
                                       << "No records found." << "" << QStringList{};
        QTest::newRow("refused statement") << refusedStatement() << "x"
                                           << "Unable to open table Software." << "" << QStringList{};
        QTest::newRow("catalog never opened") << "no catalog" << "x" << "Unable to open table Software."
                                              << "" << QStringList{};
    }
    void shouldTakeEachListingsRoad()
    {
        QFETCH(QString, sql);
        QFETCH(QString, title);
        QFETCH(QString, prompt);
        QFETCH(QString, countLine);
        QFETCH(QStringList, cells);
        const auto catalog = cnCatalog;
        if (sql == "no catalog")
            cnCatalog.reset();
        FakeServices fakes;
        strListingSql = sql == "no catalog" ? listing::allTitlesSql() : sql;
        strListingTitle = title;
        QStringList seen, seenCells;
        fakes.dialogs.steps.enqueue([&](QDialog &dialog) {
            const View r{static_cast<frmSoftware *>(&dialog)};
            QAbstractItemModelTester tester(r.grid()->model(),
                                            QAbstractItemModelTester::FailureReportingMode::QtTest);
            for (const QString &cell : cells)
                seenCells << cell.section('|', 0, 1) + '|' + r.cell(r.rowOf(cell.section('|', 0, 0)),
                                                                    cell.section('|', 1, 1));
            QStringList chooser, headers;
            for (int i = 0; i < r.form->cboField->count(); ++i)
                chooser << r.form->cboField->itemText(i);
            for (int c = 0; c < r.grid()->model()->columnCount(); ++c)
                headers << r.grid()->model()->headerData(c, Qt::Horizontal).toString();
            seen << dialog.windowTitle() << r.label("lblOrg") << r.label("lblSort")
                 << r.form->cboField->currentText() << chooser.join(',') << headers.join(',');
            if (countLine.isEmpty()) {  // typing and sorting do nothing in an empty window
                r.type("zip");
                r.form->dtgOrg_HeadClick(2);
                seen << r.label("lblOrg") << r.label("lblSort");
            } else {
                QCOMPARE(r.grid()->currentIndex().row(), rsSoftware->AbsolutePosition());
            }
        });
        showSoftwareWindow(fakes.services, nullptr);
        cnCatalog = catalog;

        const bool shown = prompt != "No records found.";
        QCOMPARE(fakes.dialogs.shown.size(), shown ? 1 : 0);
        const QString fields = kFieldNames.join(',');
        if (countLine.isEmpty() && shown)
            QCOMPARE(seen, QStringList({title, "", kNameSortLine, "", "", "", "", kNameSortLine}));
        else if (shown)
            QCOMPARE(seen, QStringList({title, countLine, kNameSortLine, "Name", fields, fields}));
        QCOMPARE(seenCells, cells);
        const int beeps = prompt.startsWith("Unable") ? 1 : 0;
        QCOMPARE(fakes.messages.calls.size(), prompt.isEmpty() ? 0 : 1);
        for (const FakeMessageService::Call &call : fakes.messages.calls) {
            QCOMPARE(call.prompt, prompt);
            QCOMPARE(call.style, vbOKOnly | vbExclamation | vbSystemModal);
            QCOMPARE(call.title, QString("Quorbix"));
            QCOMPARE(call.pointerAtCall, int(vbDefault));
            QCOMPARE(call.beepsBefore, beeps);
        }
        QCOMPARE(fakes.messages.beeps, beeps);
        QCOMPARE(fakes.pointer.history.first(), int(vbHourglass));
        QCOMPARE(fakes.pointer.current, int(vbDefault));
    }

    // Each step: "column|Sort|sort line|direction|field=first cell".
    void shouldSortByAHeaderClick_data()
    {
        QTest::addColumn<QString>("search");
        QTest::addColumn<QStringList>("steps");
        QTest::newRow("worked sequence") << "" << QStringList{
            "Price|Price DESC|Sorted by Price descending order|DESC|Name=Backup Buddy",
            "Price|Price ASC|Sorted by Price ascending order|ASC|Price=0",
            "Name|Name DESC|Sorted by Name descending order|DESC|Name=ZipMaster",
            "Description|Name DESC|Unable to sort by memo field.|ASC|Name=ZipMaster",
            "Rating|Rating DESC|Sorted by Rating descending order|DESC|Rating=5"};
        QTest::newRow("blank in field name") << "" << QStringList{
            "Company Name|[Company Name] DESC|Sorted by Company Name descending order|DESC"
            "|Company Name=Quiet Pixel"};
        QTest::newRow("filter lets nothing through") << "qqq" << QStringList{
            "Price||" + kNameSortLine + "|ASC|Name="};
    }
    void shouldSortByAHeaderClick()
    {
        QFETCH(QString, search);
        QFETCH(QStringList, steps);
        auto r = loadResults();
        QVERIFY(r);
        r->type(search);
        const QString countLine = r->label("lblOrg");
        for (const QString &step : steps) {
            const QStringList s = step.split('|');
            const QStringList first = s[4].split('=');
            r->fakes.pointer.history.clear();
            r->clickHeader(s[0]);
            QCOMPARE(rsSoftware->Sort(), s[1]);
            QCOMPARE(r->label("lblSort"), s[2]);
            QCOMPARE(r->form->strSortDirection, s[3]);
            QCOMPARE(r->cell(0, first[0]), first[1]);
            QCOMPARE(r->label("lblOrg"), countLine);
            QCOMPARE(r->fakes.pointer.current, int(vbDefault));
        }
    }

    // Actions: "type:text", "opt:name" (a click on an option), "field:name", "clear".
    void shouldFilterAsTheUserTypes_data()
    {
        QTest::addColumn<QStringList>("actions");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("countLine");
        const auto row = [](const char *name, const QStringList &actions, const QString &filter,
                            const char *countLine) {
            QTest::newRow(name) << actions << filter << QString(countLine);
        };
        row("begins with", {"type:zip"}, "Name LIKE 'zip*'", "1 records");
        row("contains", {"opt:optContains", "type:zip"}, "Name LIKE '*zip*'", "3 records");
        row("contains after typing", {"type:zip", "opt:optContains"}, "Name LIKE '*zip*'", "3 records");
        row("begins again", {"opt:optContains", "type:zip", "opt:optBegins"}, "Name LIKE 'zip*'",
            "1 records");
        row("leading blank, begins", {"type: zip"}, "Name LIKE ' zip*'", "0 records");
        row("leading blank, contains", {"opt:optContains", "type: zip"}, "Name LIKE '* zip*'",
            "2 records");
        row("quote doubled", {"type:Don't"}, "Name LIKE 'Don''t*'", "1 records");
        row("blank in field name", {"field:Company Name", "opt:optContains", "type:pixel"},
            "[Company Name] LIKE '*pixel*'", "1 records");
        row("quote and blank in field name", {"field:Company Name", "type:O'M"},
            "[Company Name] LIKE 'O''M*'", "1 records");
        row("other field", {"field:Requirements", "type:directx"}, "Requirements LIKE 'directx*'",
            "26 records");
        row("blanks only", {"type:   "}, "", "39 records");
        row("clear", {"type:zip", "clear"}, "", "39 records");
        row("field choice", {"type:zip", "field:Description"}, "", "39 records");
        row("typing after a field choice", {"type:zip", "field:Description", "type:incremental"},
            "Description LIKE 'incremental*'", "1 records");
    }
    void shouldFilterAsTheUserTypes()
    {
        QFETCH(QStringList, actions);
        QFETCH(QString, filter);
        QFETCH(QString, countLine);
        auto r = loadResults();
        QVERIFY(r);
        for (const QString &action : actions) {
            const QString arg = action.section(':', 1);
            if (action.startsWith("type:")) {
                r->type(arg);
            } else if (action.startsWith("opt:")) {
                r->form->findChild<QRadioButton *>(arg)->click();
            } else if (action.startsWith("field:")) {
                r->chooseField(arg);
                QCOMPARE(r->form->cboField->currentText(), arg);
                QVERIFY(r->form->txtSearch->hasFocus());
            } else {
                r->form->findChild<QPushButton *>("cmdClear")->click();
            }
            if (!action.startsWith("type:") && !action.startsWith("opt:"))
                QCOMPARE(r->form->txtSearch->text(), QString());
        }
        QCOMPARE(rsSoftware->Filter(), filter);
        QCOMPARE(r->label("lblOrg"), countLine);
        QCOMPARE(r->grid()->model()->rowCount(), rsSoftware->RecordCount());
        if (rsSoftware->RecordCount() > 0)
            QCOMPARE(r->grid()->currentIndex().row(), rsSoftware->AbsolutePosition());
        QCOMPARE(r->label("lblSort"), kNameSortLine);
        QCOMPARE(r->fakes.pointer.current, int(vbDefault));
    }

    void shouldActOnTheWindowsCommands_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QStringList>("shown");
        const QStringList detail{"frmSoftware", "frmDetail"};
        QTest::newRow("Select") << "select" << detail;
        QTest::newRow("Enter") << "enter" << detail;
        QTest::newRow("grid double-click") << "double-click" << detail;
        QTest::newRow("Close") << "cancel" << QStringList{"frmSoftware"};
        QTest::newRow("Escape") << "escape" << QStringList{"frmSoftware"};
        QTest::newRow("close box") << "close box" << QStringList{"frmSoftware"};
    }
    void shouldActOnTheWindowsCommands()
    {
        QFETCH(QString, how);
        QFETCH(QStringList, shown);
        FakeServices fakes;
        strListingSql = listing::allTitlesSql();
        strListingTitle = listing::searchTitle(QString());
        bool openAfter = false;
        QString detailName;
        fakes.dialogs.steps.enqueue([&](QDialog &dialog) {
            const View r{static_cast<frmSoftware *>(&dialog)};
            const int row = r.rowOf("Disk Tool");
            r.clickCell(row);
            if (how == "select")
                r.form->cmdSelect->click();
            else if (how == "enter")
                QTest::keyClick(r.grid(), Qt::Key_Return);
            else if (how == "double-click")
                r.clickCell(row, true);
            else if (how == "cancel")
                r.form->cmdCancel->click();
            else if (how == "escape")
                QTest::keyClick(&dialog, Qt::Key_Escape);
            else
                dialog.close();
            openAfter = dialog.isVisible();
        });
        fakes.dialogs.steps.enqueue([&](QDialog &dialog) {
            detailName = dialog.findChild<QLineEdit *>("txtName")->text();
        });
        showSoftwareWindow(fakes.services, nullptr);
        QCOMPARE(fakes.dialogs.shown, shown);
        QCOMPARE(openAfter, shown.size() == 2);
        QCOMPARE(detailName, QString(shown.size() == 2 ? "Disk Tool" : ""));
        QCOMPARE(fakes.pointer.current, int(vbDefault));
    }
};

QTEST_MAIN(TestFrmSoftware)
#include "test_frm_software.moc"
