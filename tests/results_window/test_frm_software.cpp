#include "frm_software.h"
#include "listing_query.h"
#include "fixture_catalog.h"
#include "shared_state.h"
#include "fake_services.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTableView>
#include <QTest>

#include <memory>

namespace {

const QStringList kFieldNames = {
    "Name",         "Description",  "Price",        "Type",   "Requirements", "Uninstaller",
    "Limitations",  "ScreenURL",    "DownloadURL1", "DownloadURL2", "DownloadURL3", "BuyURL",
    "Rating",       "Company Name", "Company URL",  "Company Desc"};

// Titles of basic.mdb that every listing can reach (two rows lack their type or site).
constexpr int kAllTitles = 39;

// A results window loaded on one listing, with its own recording services.
struct Results {
    FakeServices fakes;
    std::unique_ptr<frmSoftware> form;

    QTableView *grid() const { return form->findChild<QTableView *>("dtgOrg"); }
    QLineEdit *search() const { return form->findChild<QLineEdit *>("txtSearch"); }
    QComboBox *fields() const { return form->findChild<QComboBox *>("cboField"); }
    QString label(const char *name) const { return form->findChild<QLabel *>(name)->text(); }
    QPushButton *button(const char *name) const { return form->findChild<QPushButton *>(name); }
    QRadioButton *option(const char *name) const { return form->findChild<QRadioButton *>(name); }

    int column(const QString &fieldName) const
    {
        const QAbstractItemModel *model = grid()->model();
        for (int c = 0; c < model->columnCount(); ++c) {
            if (model->headerData(c, Qt::Horizontal).toString() == fieldName)
                return c;
        }
        return -1;
    }
    QString cell(int row, const QString &fieldName) const
    {
        const QAbstractItemModel *model = grid()->model();
        return model->data(model->index(row, column(fieldName))).toString();
    }
    int rowOf(const QString &name) const
    {
        for (int row = 0; row < grid()->model()->rowCount(); ++row) {
            if (cell(row, "Name") == name)
                return row;
        }
        return -1;
    }

    void clickHeader(const QString &fieldName) const
    {
        const int c = column(fieldName);
        grid()->scrollTo(grid()->model()->index(0, c));
        QHeaderView *header = grid()->horizontalHeader();
        const QPoint at(header->sectionViewportPosition(c) + header->sectionSize(c) / 2,
                        header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    }
    // Picks an entry of the drop-down list the way the keyboard does.
    void chooseField(const QString &fieldName) const
    {
        QComboBox *box = fields();
        QTest::keyClick(box, Qt::Key_Home);
        while (box->currentText() != fieldName && box->currentIndex() < box->count() - 1)
            QTest::keyClick(box, Qt::Key_Down);
    }
    void type(const QString &text) const
    {
        search()->setFocus();
        QTest::keyClicks(search(), text);
    }
};

std::unique_ptr<Results> loadResults(const QString &sql, const QString &title, bool show = true)
{
    auto results = std::make_unique<Results>();
    strListingSql = sql;
    strListingTitle = title;
    results->form = std::make_unique<frmSoftware>(results->fakes.services);
    results->form->Form_Load();
    if (show && !results->form->isUnloaded()) {
        results->form->show();
        if (!QTest::qWaitForWindowExposed(results->form.get()))
            return nullptr;
    }
    return results;
}

std::unique_ptr<Results> loadAllTitles()
{
    return loadResults(listing::allTitlesSql(), listing::searchTitle(QString()));
}

// A statement the engine refuses: an unbalanced quote, as an unescaped search text gives.
QString refusedStatement()
{
    return listing::listingHead()
           + "SoftwareType B, Site C WHERE (A.Name LIKE '%Don't%' OR A.Description LIKE "
             "'%Don't%') AND A.SoftwareTypeID = B.SoftwareTypeID AND A.SiteID = C.SiteID "
             "ORDER BY A.Name";
}

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

    void shouldShowEachListingLoaded_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("countLine");
        QTest::addColumn<QString>("firstName");

        QTest::newRow("all titles") << listing::allTitlesSql() << "Search Results for ''"
                                    << "39 records" << "100% Free Zip";
        QTest::newRow("search") << listing::searchSql("zip") << "Search Results for 'zip'"
                                << "4 records" << "100% Free Zip";
        QTest::newRow("category") << listing::categorySql("4") << "Utilities" << "10 records"
                                  << "100% Free Zip";
        QTest::newRow("one row") << listing::categorySql("1") << "Business" << "1 records"
                                 << "Ledger Lite";
        QTest::newRow("subcategory") << listing::subCategorySql("10") << "Utilities > Archivers"
                                     << "5 records" << "100% Free Zip";
    }
    void shouldShowEachListingLoaded()
    {
        QFETCH(QString, sql);
        QFETCH(QString, title);
        QFETCH(QString, countLine);
        QFETCH(QString, firstName);

        auto r = loadResults(sql, title);
        QVERIFY(r);
        QCOMPARE(r->form->windowTitle(), title);
        QCOMPARE(r->label("lblOrg"), countLine);
        QCOMPARE(r->label("lblSort"), QString("Sorted by Name in ascending order"));

        QStringList chooser;
        for (int i = 0; i < r->fields()->count(); ++i)
            chooser << r->fields()->itemText(i);
        QCOMPARE(chooser, kFieldNames);
        QCOMPARE(r->fields()->currentText(), QString("Name"));
        QCOMPARE(r->form->intSearchField, qint16(0));
        QCOMPARE(r->form->strSortDirection, QString("ASC"));

        QStringList headers;
        for (int c = 0; c < r->grid()->model()->columnCount(); ++c)
            headers << r->grid()->model()->headerData(c, Qt::Horizontal).toString();
        QCOMPARE(headers, kFieldNames);
        QCOMPARE(r->cell(0, "Name"), firstName);
        QCOMPARE(r->grid()->currentIndex().row(), rsSoftware->AbsolutePosition());

        QVERIFY(r->fakes.messages.calls.isEmpty());
        QCOMPARE(r->fakes.pointer.history.first(), int(vbHourglass));
        QCOMPARE(r->fakes.pointer.current, int(vbDefault));
    }

    void shouldShowCellsAsTheirColumnWants_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");

        QTest::newRow("uninstaller true") << "ZipMaster" << "Uninstaller" << "Yes";
        QTest::newRow("uninstaller false") << "ArcView Zip" << "Uninstaller" << "No";
        QTest::newRow("money unformatted") << "Disk Tool" << "Price" << "1234.5";
        QTest::newRow("a million, no grouping") << "Backup Buddy" << "Price" << "1500000";
        QTest::newRow("zero price") << "ArcView Zip" << "Price" << "0";
        QTest::newRow("null rating") << "Backup Buddy" << "Rating" << "";
        QTest::newRow("null company") << "Nameless Co Tool" << "Company Name" << "";
        QTest::newRow("joined type") << "ZipMaster" << "Type" << "Shareware";
        QTest::newRow("zero-length address") << "ArcView Zip" << "DownloadURL2" << "";
    }
    void shouldShowCellsAsTheirColumnWants()
    {
        QFETCH(QString, name);
        QFETCH(QString, field);
        QFETCH(QString, text);

        auto r = loadAllTitles();
        QVERIFY(r);
        const int row = r->rowOf(name);
        QVERIFY(row >= 0);
        QCOMPARE(r->cell(row, field), text);
    }

    void shouldTakeTheRoadOfAFailedLoad_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<bool>("connected");
        QTest::addColumn<QString>("prompt");
        QTest::addColumn<int>("beeps");
        QTest::addColumn<bool>("shown");

        QTest::newRow("empty listing") << listing::searchSql("no such title") << true
                                       << "No records found." << 0 << false;
        QTest::newRow("refused statement") << refusedStatement() << true
                                           << "Unable to open table Software." << 1 << true;
        QTest::newRow("catalog never opened") << listing::allTitlesSql() << false
                                              << "Unable to open table Software." << 1 << true;
    }
    void shouldTakeTheRoadOfAFailedLoad()
    {
        QFETCH(QString, sql);
        QFETCH(bool, connected);
        QFETCH(QString, prompt);
        QFETCH(int, beeps);
        QFETCH(bool, shown);

        const auto catalog = cnCatalog;
        if (!connected)
            cnCatalog.reset();
        FakeServices fakes;
        strListingSql = sql;
        strListingTitle = "Search Results for 'x'";
        QString caption, sortLine, countLine;
        int chooserEntries = -1, gridColumns = -1;
        fakes.dialogs.steps.enqueue([&](QDialog &dialog) {
            caption = dialog.windowTitle();
            sortLine = dialog.findChild<QLabel *>("lblSort")->text();
            countLine = dialog.findChild<QLabel *>("lblOrg")->text();
            chooserEntries = dialog.findChild<QComboBox *>("cboField")->count();
            gridColumns = dialog.findChild<QTableView *>("dtgOrg")->model()->columnCount();
        });
        showSoftwareWindow(fakes.services, nullptr);
        cnCatalog = catalog;

        QCOMPARE(fakes.messages.calls.size(), 1);
        const FakeMessageService::Call &call = fakes.messages.calls.first();
        QCOMPARE(call.prompt, prompt);
        QCOMPARE(call.style, 4144);
        QCOMPARE(call.title, QString("Quorbix"));
        QCOMPARE(call.pointerAtCall, int(vbDefault));
        QCOMPARE(call.beepsBefore, beeps);
        QCOMPARE(fakes.messages.beeps, beeps);
        QCOMPARE(fakes.pointer.current, int(vbDefault));
        QCOMPARE(fakes.pointer.history.first(), int(vbHourglass));

        QCOMPARE(fakes.dialogs.shown.size(), shown ? 1 : 0);
        if (shown) {
            QCOMPARE(caption, QString("Search Results for 'x'"));
            QCOMPARE(sortLine, QString("Sorted by Name in ascending order"));
            QCOMPARE(countLine, QString());
            QCOMPARE(chooserEntries, 0);
            QCOMPARE(gridColumns, 0);
        }
    }

    void shouldIgnoreSortAndFilterAfterAFailedOpen()
    {
        auto r = loadResults(refusedStatement(), "Search Results for 'Don't'");
        QVERIFY(r);
        r->type("zip");
        r->form->dtgOrg_HeadClick(2);
        QCOMPARE(r->label("lblOrg"), QString());
        QCOMPARE(r->label("lblSort"), QString("Sorted by Name in ascending order"));
        QCOMPARE(r->form->strSortDirection, QString());
        QCOMPARE(r->fakes.pointer.current, int(vbDefault));
    }

    void shouldSortAsTheWorkedSequenceSays()
    {
        struct Step {
            const char *column;
            const char *sort;
            const char *sortLine;
            const char *direction;
            const char *firstCellField;
            const char *firstCell;
        };
        const Step steps[] = {
            {"Price", "Price DESC", "Sorted by Price descending order", "DESC", "Name", "Backup Buddy"},
            {"Price", "Price ASC", "Sorted by Price ascending order", "ASC", "Price", "0"},
            {"Name", "Name DESC", "Sorted by Name descending order", "DESC", "Name", "ZipMaster"},
            {"Description", "Name DESC", "Unable to sort by memo field.", "ASC", "Name", "ZipMaster"},
            {"Rating", "Rating DESC", "Sorted by Rating descending order", "DESC", "Rating", "5"},
        };

        auto r = loadAllTitles();
        QVERIFY(r);
        for (const Step &step : steps) {
            r->fakes.pointer.history.clear();
            r->clickHeader(step.column);
            QCOMPARE(rsSoftware->Sort(), QString(step.sort));
            QCOMPARE(r->label("lblSort"), QString(step.sortLine));
            QCOMPARE(r->form->strSortDirection, QString(step.direction));
            QCOMPARE(r->cell(0, step.firstCellField), QString(step.firstCell));
            QCOMPARE(r->label("lblOrg"), QString("39 records"));
            QCOMPARE(r->fakes.pointer.history, QVector<int>({vbHourglass, vbDefault}));
        }
    }

    void shouldSortByAFieldWithABlankInItsName()
    {
        auto r = loadAllTitles();
        QVERIFY(r);
        r->clickHeader("Company Name");
        QCOMPARE(rsSoftware->Sort(), QString("[Company Name] DESC"));
        QCOMPARE(r->label("lblSort"), QString("Sorted by Company Name descending order"));
        QCOMPARE(r->cell(0, "Company Name"), QString("Quiet Pixel"));
    }

    void shouldIgnoreHeaderClicksWhenTheFilterLetsNothingThrough()
    {
        auto r = loadAllTitles();
        QVERIFY(r);
        r->type("qqq");
        QCOMPARE(r->label("lblOrg"), QString("0 records"));
        r->clickHeader("Price");
        QCOMPARE(r->form->strSortDirection, QString("ASC"));
        QCOMPARE(r->label("lblSort"), QString("Sorted by Name in ascending order"));
        QCOMPARE(rsSoftware->Sort(), QString());
    }

    void shouldFilterAsTheUserTypes_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<bool>("contains");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("countLine");

        QTest::newRow("begins with") << "Name" << false << "zip" << "Name LIKE 'zip*'" << "1 records";
        QTest::newRow("contains") << "Name" << true << "zip" << "Name LIKE '*zip*'" << "3 records";
        QTest::newRow("leading blank kept, begins") << "Name" << false << " zip" << "Name LIKE ' zip*'"
                                                    << "0 records";
        QTest::newRow("leading blank kept, contains") << "Name" << true << " zip"
                                                      << "Name LIKE '* zip*'" << "2 records";
        QTest::newRow("nothing matches") << "Name" << false << "qqq" << "Name LIKE 'qqq*'" << "0 records";
        QTest::newRow("quote doubled") << "Name" << false << "Don't" << "Name LIKE 'Don''t*'"
                                       << "1 records";
        QTest::newRow("blank in field name") << "Company Name" << true << "pixel"
                                             << "[Company Name] LIKE '*pixel*'" << "1 records";
        QTest::newRow("quote and blank in field name")
            << "Company Name" << false << "O'M" << "[Company Name] LIKE 'O''M*'" << "1 records";
        QTest::newRow("other field") << "Requirements" << false << "directx"
                                     << "Requirements LIKE 'directx*'" << "26 records";
        QTest::newRow("blanks only") << "Name" << false << "   " << "" << "39 records";
    }
    void shouldFilterAsTheUserTypes()
    {
        QFETCH(QString, field);
        QFETCH(bool, contains);
        QFETCH(QString, text);
        QFETCH(QString, filter);
        QFETCH(QString, countLine);

        auto r = loadAllTitles();
        QVERIFY(r);
        r->chooseField(field);
        QCOMPARE(r->fields()->currentText(), field);
        if (contains)
            r->option("optContains")->click();
        r->type(text);
        QCOMPARE(rsSoftware->Filter(), filter);
        QCOMPARE(r->label("lblOrg"), countLine);
        QCOMPARE(r->grid()->model()->rowCount(), rsSoftware->RecordCount());
        QCOMPARE(r->label("lblSort"), QString("Sorted by Name in ascending order"));
        QCOMPARE(r->fakes.pointer.current, int(vbDefault));
    }

    void shouldFilterAgainWhenTheModeChanges()
    {
        auto r = loadAllTitles();
        QVERIFY(r);
        r->option("optContains")->click();
        r->type("zip");
        QCOMPARE(r->label("lblOrg"), QString("3 records"));
        r->option("optBegins")->click();
        QCOMPARE(rsSoftware->Filter(), QString("Name LIKE 'zip*'"));
        QCOMPARE(r->label("lblOrg"), QString("1 records"));
        r->option("optContains")->click();
        QCOMPARE(rsSoftware->Filter(), QString("Name LIKE '*zip*'"));
        QCOMPARE(r->label("lblOrg"), QString("3 records"));
    }

    void shouldRestoreTheFullListing_data()
    {
        QTest::addColumn<bool>("byFieldChoice");
        QTest::newRow("clear") << false;
        QTest::newRow("field choice") << true;
    }
    void shouldRestoreTheFullListing()
    {
        QFETCH(bool, byFieldChoice);

        auto r = loadAllTitles();
        QVERIFY(r);
        r->type("zip");
        QCOMPARE(r->label("lblOrg"), QString("1 records"));
        QSignalSpy resets(rsSoftware.get(), &ado::Recordset::rowsReset);
        if (byFieldChoice)
            r->chooseField("Description");
        else
            r->button("cmdClear")->click();
        QCOMPARE(r->search()->text(), QString());
        QCOMPARE(rsSoftware->Filter(), QString());
        QCOMPARE(r->label("lblOrg"), QString("39 records"));
        QCOMPARE(r->grid()->model()->rowCount(), kAllTitles);
        QVERIFY(!resets.isEmpty());
        if (byFieldChoice) {
            QCOMPARE(r->form->intSearchField, qint16(1));
            QVERIFY(r->search()->hasFocus());
            r->type("incremental");
            QCOMPARE(rsSoftware->Filter(), QString("Description LIKE 'incremental*'"));
            QCOMPARE(r->label("lblOrg"), QString("1 records"));
        }
    }

    void shouldLeaveAnEmptySearchBoxAloneOnClear()
    {
        auto r = loadAllTitles();
        QVERIFY(r);
        QSignalSpy resets(rsSoftware.get(), &ado::Recordset::rowsReset);
        r->fakes.pointer.history.clear();
        r->button("cmdClear")->click();
        QVERIFY(resets.isEmpty());
        QVERIFY(r->fakes.pointer.history.isEmpty());
    }

    void shouldShareTheCurrentRowWithTheRecordset()
    {
        auto r = loadAllTitles();
        QVERIFY(r);
        QTableView *grid = r->grid();
        const QRect cell = grid->visualRect(grid->model()->index(3, 1));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(rsSoftware->AbsolutePosition(), 3);
        QCOMPARE(rsSoftware->value("Name").toString(), r->cell(3, "Name"));

        rsSoftware->setAbsolutePosition(7);
        QCOMPARE(grid->currentIndex().row(), 7);

        r->type("arc");
        QCOMPARE(grid->currentIndex().row(), rsSoftware->AbsolutePosition());
        QCOMPARE(rsSoftware->value("Name").toString(), r->cell(grid->currentIndex().row(), "Name"));
    }

    void shouldOpenTheDetailOfTheCurrentRow_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Select") << "button";
        QTest::newRow("Enter") << "enter";
        QTest::newRow("grid double-click") << "double-click";
    }
    void shouldOpenTheDetailOfTheCurrentRow()
    {
        QFETCH(QString, how);

        auto r = loadAllTitles();
        QVERIFY(r);
        QString shownName;
        r->fakes.dialogs.steps.enqueue([&](QDialog &dialog) {
            shownName = dialog.findChild<QLineEdit *>("txtName")->text();
        });
        const int row = r->rowOf("Disk Tool");
        QTableView *grid = r->grid();
        const QRect cell = grid->visualRect(grid->model()->index(row, 0));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
        if (how == "button") {
            r->button("cmdSelect")->click();
        } else if (how == "enter") {
            grid->setFocus();
            QTest::keyClick(grid, Qt::Key_Return);
        } else {
            QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
        }
        QCOMPARE(r->fakes.dialogs.shown, QStringList({"frmDetail"}));
        QCOMPARE(shownName, QString("Disk Tool"));
        QVERIFY(r->form->isVisible());
    }

    void shouldCloseTheWindow_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Close") << "button";
        QTest::newRow("Escape") << "escape";
        QTest::newRow("close box") << "close box";
    }
    void shouldCloseTheWindow()
    {
        QFETCH(QString, how);

        FakeServices fakes;
        strListingSql = listing::allTitlesSql();
        strListingTitle = listing::searchTitle(QString());
        bool closedByStep = false;
        fakes.dialogs.steps.enqueue([&](QDialog &dialog) {
            if (how == "button")
                dialog.findChild<QPushButton *>("cmdCancel")->click();
            else if (how == "escape")
                QTest::keyClick(&dialog, Qt::Key_Escape);
            else
                dialog.close();
            closedByStep = !dialog.isVisible();
        });
        showSoftwareWindow(fakes.services, nullptr);
        QVERIFY(closedByStep);
        QCOMPARE(fakes.dialogs.shown, QStringList({"frmSoftware"}));
        QCOMPARE(fakes.pointer.current, int(vbDefault));
    }
};

QTEST_MAIN(TestFrmSoftware)
#include "test_frm_software.moc"
