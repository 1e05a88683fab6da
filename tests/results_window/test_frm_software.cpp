#include "results_fixture.h"

#include <QLocale>
#include <QRadioButton>
#include <QStandardPaths>

namespace {

const QString kNameSortLine = "Sorted by Name in ascending order";
const QString unable = "Unable to open table Software.";

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

    // The caption is the row's name. Cells: "title|field|text". A failed open still shows
    // the window, empty; an empty listing never shows it.
    void shouldTakeEachListingsRoad_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("prompt");
        QTest::addColumn<QString>("countLine");
        QTest::addColumn<QStringList>("cells");
        QTest::newRow("Search Results for ''") << listing::allTitlesSql() << "" << "39 records"
            << QStringList{"ZipMaster|Uninstaller|Yes", "ArcView Zip|Uninstaller|No",
                           "Disk Tool|Price|1234.5", "Backup Buddy|Price|1500000",
                           "Backup Buddy|Rating|", "ArcView Zip|DownloadURL2|"};
        QTest::newRow("Search Results for 'zip'") << listing::searchSql("zip") << "" << "4 records"
                                                  << QStringList{"100% Free Zip|Type|Freeware"};
        QTest::newRow("Utilities") << listing::categorySql("4") << "" << "10 records"
                                   << QStringList{"Disk Tool|Uninstaller|Yes"};
        QTest::newRow("Business") << listing::categorySql("1") << "" << "1 records"
                                  << QStringList{"Ledger Lite|Requirements|"};
        QTest::newRow("Utilities > Archivers") << listing::subCategorySql("10") << "" << "5 records"
                                               << QStringList{"ZipMaster|Type|Shareware"};
        QTest::newRow("empty listing") << listing::searchSql("no such title") << "No records found."
                                       << "" << QStringList{};
        QTest::newRow("refused statement") << refusedStatement() << unable << "" << QStringList{};
        QTest::newRow("catalog never opened") << "no catalog" << unable << "" << QStringList{};
    }
    void shouldTakeEachListingsRoad()
    {
        QFETCH(QString, sql);
        QFETCH(QString, prompt);
        QFETCH(QString, countLine);
        QFETCH(QStringList, cells);
        const auto catalog = cnCatalog;
        if (sql == "no catalog")
            cnCatalog.reset();
        FakeServices fakes;
        strListingSql = sql == "no catalog" ? listing::allTitlesSql() : sql;
        strListingTitle = QTest::currentDataTag();
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
        });
        showSoftwareWindow(fakes.services, nullptr);
        cnCatalog = catalog;

        const QString fields = kFieldNames.join(',');
        if (prompt.isEmpty())
            QCOMPARE(seen, QStringList({strListingTitle, countLine, kNameSortLine, "Name", fields, fields})
                               + cells);
        else if (prompt == unable)
            QCOMPARE(seen, QStringList({strListingTitle, "", kNameSortLine, "", "", "", "", kNameSortLine}));
        QCOMPARE(fakes.dialogs.shown.size(), prompt == "No records found." ? 0 : 1);
        const int beeps = prompt == unable ? 1 : 0;
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
            QCOMPARE(r->owned->strSortDirection, s[3]);
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
                r->get<QRadioButton>(qPrintable(arg))->click();
            } else if (action.startsWith("field:")) {
                r->chooseField(arg);
                QCOMPARE(r->fields()->currentText(), arg);
                QVERIFY(r->get<QLineEdit>("txtSearch")->hasFocus());
            } else {
                r->get<QPushButton>("cmdClear")->click();
            }
            if (!action.startsWith("type:") && !action.startsWith("opt:"))
                QCOMPARE(r->get<QLineEdit>("txtSearch")->text(), QString());
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
        QTest::addColumn<bool>("opensDetail");
        QTest::newRow("Select") << "cmdSelect" << true;
        QTest::newRow("Enter") << "Return" << true;
        QTest::newRow("grid double-click") << "double-click" << true;
        QTest::newRow("Close") << "cmdCancel" << false;
        QTest::newRow("Escape") << "Escape" << false;
        QTest::newRow("close box") << "close box" << false;
    }
    void shouldActOnTheWindowsCommands()
    {
        QFETCH(QString, how);
        QFETCH(bool, opensDetail);
        FakeServices fakes;
        strListingSql = listing::allTitlesSql();
        bool openAfter = false;
        QString detailName;
        fakes.dialogs.steps.enqueue([&](QDialog &dialog) {
            const View r{&dialog};
            const int row = r.rowOf("Disk Tool");
            r.clickCell(row);
            if (how.startsWith("cmd"))
                r.get<QPushButton>(qPrintable(how))->click();
            else if (how == "Return")
                QTest::keyClick(r.grid(), Qt::Key_Return);
            else if (how == "Escape")
                QTest::keyClick(&dialog, Qt::Key_Escape);
            else if (how == "double-click")
                r.clickCell(row, true);
            else
                dialog.close();
            openAfter = dialog.isVisible();
        });
        fakes.dialogs.steps.enqueue(
            [&](QDialog &dialog) { detailName = View{&dialog}.get<QLineEdit>("txtName")->text(); });
        showSoftwareWindow(fakes.services, nullptr);
        QCOMPARE(fakes.dialogs.shown.join(','), opensDetail ? "frmSoftware,frmDetail" : "frmSoftware");
        QCOMPARE(openAfter, opensDetail);
        QCOMPARE(detailName, QString(opensDetail ? "Disk Tool" : ""));
        QCOMPARE(fakes.pointer.current, int(vbDefault));
    }
};

QTEST_MAIN(TestFrmSoftware)
#include "test_frm_software.moc"
