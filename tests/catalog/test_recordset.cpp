#include "catalog_fixture.h"
#include "listing_query.h"
#include "recordset.h"
#include "shared_state.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using ado::Recordset;

namespace {

std::unique_ptr<Recordset> openListing(const std::shared_ptr<ado::Connection> &cn,
                                       const QString &sql = listing::allTitlesSql())
{
    auto rs = std::make_unique<Recordset>();
    rs->CursorLocation = ado::adUseClient;
    const ado::Error error = rs->Open(sql, cn, ado::adOpenStatic, ado::adLockReadOnly, ado::adCmdText);
    if (error)
        qWarning("open failed: %s", qPrintable(error.Description));
    return rs;
}

QStringList visible(const Recordset &rs, const QString &field, int count = -1)
{
    QStringList values;
    const int index = rs.fieldIndex(field);
    const int n = count < 0 ? rs.RecordCount() : std::min(count, rs.RecordCount());
    for (int i = 0; i < n; ++i) {
        const QVariant v = rs.valueAt(i, index);
        values.append(v.isValid() ? v.toString() : QStringLiteral("<null>"));
    }
    return values;
}

}  // namespace

class TestRecordset : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QStandardPaths::setTestModeEnabled(true);
    }

    void connectionFindsTheFileOfItsDataSource_data()
    {
        QTest::addColumn<QString>("connect");
        QTest::addColumn<QString>("path");
        QTest::newRow("catalog string") << "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/opt/q\\shareware.mdb;Persist Security Info=False;"
                                        << "/opt/q/shareware.mdb";
        QTest::newRow("folder with trailing separator") << "Provider=x;Data Source=/opt/q/\\shareware.mdb;"
                                                        << "/opt/q/shareware.mdb";
        QTest::newRow("doubled provider separator") << "Provider=x;Data Source=C:\\\\shareware.mdb;"
                                                    << "C:/shareware.mdb";
        QTest::newRow("key case and blanks") << "provider=x; data source = /a/b.mdb ;"
                                             << "/a/b.mdb";
        QTest::newRow("no data source") << "Provider=x;" << "";
    }
    void connectionFindsTheFileOfItsDataSource()
    {
        QFETCH(QString, connect);
        QFETCH(QString, path);
        QCOMPARE(ado::Connection::dataSourceFromConnectionString(connect), path);
    }

    void folderEndingInASeparatorStillOpens()
    {
        QTemporaryDir dir;
        QVERIFY(QFile::copy(testDataPath("basic.mdb"), dir.filePath("shareware.mdb")));
        auto cn = std::make_shared<ado::Connection>();
        cn->CursorLocation = ado::adUseClient;
        const ado::Error error = cn->Open(catalogConnectionString(dir.path() + "/"), "", "",
                                          ado::adConnectUnspecified);
        QVERIFY2(!error, qPrintable(error.Description));
        auto rs = openListing(cn, "Select * From Category");
        QCOMPARE(rs->RecordCount(), 11);
    }

    void missingFileFailsInTheProvidersWords()
    {
        QTemporaryDir dir;
        ado::Connection cn;
        const ado::Error error = cn.Open(catalogConnectionString(dir.path()));
        QCOMPARE(error.Number, qint32(-2147467259));
        QCOMPARE(error.Description,
                 QStringLiteral("Could not find file '%1'.")
                     .arg(QDir::toNativeSeparators(dir.filePath("shareware.mdb"))));
        QVERIFY(!cn.isOpen());
        Recordset rs;
        QCOMPARE(rs.Open("Select * From Category", nullptr, ado::adOpenStatic, ado::adLockReadOnly, ado::adCmdText).Number,
                 ado::E_PROVIDER_FAIL);
        auto closed = std::make_shared<ado::Connection>();
        QCOMPARE(rs.Open("Select * From Category", closed, ado::adOpenStatic, ado::adLockReadOnly, ado::adCmdText).Number,
                 ado::E_PROVIDER_FAIL);
        QVERIFY(!rs.isOpen());
        QVERIFY(rs.Eof());
        QCOMPARE(rs.RecordCount(), -1);
    }

    void damagedCatalogFailsOpenOrListingAndLeavesUsRunning_data()
    {
        QTest::addColumn<QByteArray>("content");  // empty: copy the named hostile file
        QTest::addColumn<QString>("hostile");
        QTest::newRow("empty file") << QByteArray() << QString();
        QTest::newRow("plain text") << QByteArray("not a catalog at all\n") << QString();
        QTest::newRow("one page of zeros") << QByteArray(4096, '\0') << QString();
        QTest::newRow("table map aims at an empty row") << QByteArray() << "usage_map_len0_page2.mdb";
        QTest::newRow("memo chain loops") << QByteArray() << "memo_chain_selfloop.mdb";
    }
    void damagedCatalogFailsOpenOrListingAndLeavesUsRunning()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, hostile);
        QTemporaryDir dir;
        const QString file = dir.filePath("shareware.mdb");
        if (hostile.isEmpty()) {
            QFile out(file);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(content);
        } else {
            QVERIFY(QFile::copy(testDataPath("hostile/" + hostile), file));
        }
        auto cn = std::make_shared<ado::Connection>();
        ado::Error error = cn->Open(catalogConnectionString(dir.path()));
        if (!error) {
            Recordset rs;
            error = rs.Open(listing::allTitlesSql(), cn, ado::adOpenStatic, ado::adLockReadOnly, ado::adCmdText);
            if (!error) {
                for (const char *table : {"Category", "SubCategory", "FeatureSoftware"}) {
                    Recordset startUp;
                    if ((error = startUp.Open(QStringLiteral("Select * From %1").arg(table), cn,
                                              ado::adOpenStatic, ado::adLockReadOnly, ado::adCmdText)))
                        break;
                }
            }
        }
        QCOMPARE(error.Number, ado::E_PROVIDER_FAIL);
        QVERIFY(!error.Description.isEmpty());
        // The same process still reads a sound catalog.
        QCOMPARE(openListing(openBasicCatalog())->RecordCount(), 39);
    }

    void folderNamedLikeTheCatalogIsNotFound()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("shareware.mdb"));
        ado::Connection cn;
        const ado::Error error = cn.Open(catalogConnectionString(dir.path()));
        QCOMPARE(error.Number, ado::E_PROVIDER_FAIL);
        QVERIFY(error.Description.startsWith("Could not find file"));
    }

    void refusedStatementFailsOpenWithTheEnginesMessage()
    {
        auto cn = openBasicCatalog();
        Recordset rs;
        QVERIFY(!rs.Open(listing::allTitlesSql(), cn, ado::adOpenStatic, ado::adLockReadOnly, ado::adCmdText));
        QSignalSpy resets(&rs, &Recordset::rowsReset);
        const ado::Error error = rs.Open(listing::categorySql(""), cn, ado::adOpenStatic,
                                         ado::adLockReadOnly, ado::adCmdText);
        QCOMPARE(error.Number, ado::E_PROVIDER_FAIL);
        QVERIFY(!error.Description.isEmpty());
        // The listing held before does not stand in for the one that failed.
        QVERIFY(!rs.isOpen());
        QCOMPARE(rs.RecordCount(), -1);
        QCOMPARE(resets.count(), 1);
    }

    void startUpProfileOpensFromItsProperties()
    {
        Recordset rs;
        rs.CursorType = ado::adOpenForwardOnly;
        rs.CursorLocation = ado::adUseClient;
        rs.LockType = ado::adLockReadOnly;
        rs.Source = "Select * From FeatureSoftware";
        rs.ActiveConnection = openBasicCatalog();
        QVERIFY(!rs.Open());
        QCOMPARE(rs.RecordCount(), 6);
        QCOMPARE(rs.value("Name").toString(), QStringLiteral("ZipMaster"));
        bool ok = false;
        rs.MoveNext();
        QVERIFY(!rs.value("Description", &ok).isValid());
        QVERIFY(ok);
        QVERIFY(!rs.Close());
        QCOMPARE(rs.Close().Number, ado::adErrObjectClosed);
    }

    void findSearchesForwardFromTheCurrentRow_data()
    {
        QTest::addColumn<int>("startAt");
        QTest::addColumn<QString>("criteria");
        QTest::addColumn<int>("skip");
        QTest::addColumn<int>("foundId");  // SubCategoryID, 0 for EOF
        QTest::newRow("first of category") << 0 << "CategoryID = 4" << 0 << 8;
        QTest::newRow("current row counts") << 7 << "CategoryID = 4" << 0 << 8;
        QTest::newRow("skip the current row") << 7 << "CategoryID = 4" << 1 << 9;
        QTest::newRow("past the run") << 11 << "CategoryID = 4" << 0 << 0;
        QTest::newRow("category without subcategories") << 0 << "CategoryID = 11" << 0 << 0;
        QTest::newRow("text criteria") << 0 << "Name = 'editors'" << 0 << 7;
        QTest::newRow("blanks around") << 0 << "  CategoryID=10 " << 0 << 24;
    }
    void findSearchesForwardFromTheCurrentRow()
    {
        QFETCH(int, startAt);
        QFETCH(QString, criteria);
        QFETCH(int, skip);
        QFETCH(int, foundId);
        auto rs = openListing(openBasicCatalog(), "Select * From SubCategory");
        rs->setAbsolutePosition(startAt);
        QVERIFY(!rs->Find(criteria, skip, ado::adSearchForward));
        if (foundId == 0) {
            QVERIFY(rs->Eof());
        } else {
            QVERIFY(!rs->Eof());
            QCOMPARE(rs->value("SubCategoryID").toInt(), foundId);
        }
    }

    void findRefusesWhatItCannotRead()
    {
        auto rs = openListing(openBasicCatalog(), "Select * From SubCategory");
        rs->setAbsolutePosition(3);
        QCOMPARE(rs->Find("Nope = 4").Number, ado::adErrInvalidArgument);
        QCOMPARE(rs->AbsolutePosition(), 3);
    }

    void fieldsAreFoundByNameWithoutRegardToCase()
    {
        auto rs = openListing(openBasicCatalog());
        QCOMPARE(rs->fieldCount(), 16);
        QCOMPARE(rs->fieldIndex("company name"), 13);
        QCOMPARE(rs->field(13).Name, QStringLiteral("Company Name"));
        QCOMPARE(rs->field(rs->fieldIndex("Price")).Type, int(ado::adCurrency));
        QCOMPARE(rs->fieldIndex("Nope"), -1);
        QCOMPARE(rs->field(16).Name, QString());
        bool ok = true;
        QVERIFY(!rs->value("Nope", &ok).isValid());
        QVERIFY(!ok);
    }

    void sortOrdersTheClientRows_data()
    {
        QTest::addColumn<QString>("sort");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QStringList>("first");
        QTest::newRow("price descending") << "Price DESC" << "Name"
                                          << QStringList{"Backup Buddy", "Disk Tool", "Tool - Pro Edition"};
        QTest::newRow("price ascending keeps name order on ties") << "Price ASC" << "Name"
                                          << QStringList{"100% Free Zip", "ArcView Zip", "under_score"};
        QTest::newRow("name descending") << "Name DESC" << "Name"
                                         << QStringList{"ZipMaster", "under_score", "Tool - Pro Edition"};
        QTest::newRow("direction word optional") << "Name" << "Name"
                                                 << QStringList{"100% Free Zip", "alpha lowercase", "Arcade Title 15"};
        QTest::newRow("null rating first") << "Rating ASC" << "Name"
                                           << QStringList{"Backup Buddy", "Arcade Title 18", "Arcade Title 24"};
        QTest::newRow("null rating last descending") << "Rating DESC" << "Rating"
                                                     << QStringList{"5", "5", "5"};
        QTest::newRow("bracketed name with blank") << "[Company Name] ASC" << "Name"
                                                   << QStringList{"Nameless Co Tool", "Arcade Title 15", "Arcade Title 16"};
        QTest::newRow("bare name with blank") << "Company Name DESC" << "Company Name"
                                              << QStringList{"Quiet Pixel", "O'Malley & Sons", "Nordwell Labs"};
        QTest::newRow("two keys") << "Type ASC, Price DESC" << "Name"
                                  << QStringList{"Pixel Paint", "Arcade Title 38", "Arcade Title 34"};
        QTest::newRow("memo sorts too") << "Description ASC" << "Name"
                                        << QStringList{"Don't Panic", "Memo Giant", "Tool - Pro Edition"};
        QTest::newRow("empty removes the sort") << "" << "Name"
                                                << QStringList{"100% Free Zip", "alpha lowercase", "Arcade Title 15"};
    }
    void sortOrdersTheClientRows()
    {
        QFETCH(QString, sort);
        QFETCH(QString, field);
        QFETCH(QStringList, first);
        auto rs = openListing(openBasicCatalog());
        const ado::Error error = rs->setSort(sort);
        QVERIFY2(!error, qPrintable(error.Description));
        QCOMPARE(rs->Sort(), sort);
        QCOMPARE(visible(*rs, field, first.size()), first);
        QCOMPARE(rs->RecordCount(), 39);
    }

    void accentedTextSortsAndFiltersBesideItsLetters_data()
    {
        QTest::addColumn<QString>("sort");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("words");
        QTest::newRow("ascending") << "Word ASC" << ""
            << QStringList{"<null>", "", "apple", "ÇA VA", "eclair", "Éclair", "Ecran", "édith", "Straße", "Zebra"};
        QTest::newRow("descending") << "Word DESC" << ""
            << QStringList{"Zebra", "Straße", "édith", "Ecran", "Éclair", "eclair", "ÇA VA", "apple", "", "<null>"};
        QTest::newRow("begins with, any case") << "Word ASC" << "Word LIKE 'É*'" << QStringList{"Éclair", "édith"};
        QTest::newRow("equal, any case") << "" << "Word = 'ÉCLAIR'" << QStringList{"Éclair"};
        QTest::newRow("contains beyond ascii") << "" << "Word LIKE '*ß*'" << QStringList{"Straße"};
    }
    void accentedTextSortsAndFiltersBesideItsLetters()
    {
        QFETCH(QString, sort);
        QFETCH(QString, filter);
        QFETCH(QStringList, words);
        ScriptTableSource source;
        source.addTable("Words", {{"ID", jet::ColumnType::Long, 0}, {"Word", jet::ColumnType::Text, 50}},
                        {{"1", "Zebra"}, {"2", "Éclair"}, {"3", "apple"}, {"4", "\\N"}, {"5", "édith"},
                         {"6", "Ecran"}, {"7", "eclair"}, {"8", "ÇA VA"}, {"9", "Straße"}, {"10", ""}});
        auto rs = openListing(openSource(source), "SELECT * FROM Words");
        QVERIFY(!rs->setSort(sort));
        QVERIFY(!rs->setFilter(filter));
        QCOMPARE(visible(*rs, "Word"), words);
    }

    void headerClickSequenceSortsAsTheWindowAsks()
    {
        // Price DESC, Price ASC, Name DESC, (a refused memo click changes nothing here), Rating DESC.
        auto rs = openListing(openBasicCatalog());
        const QList<QPair<QString, QString>> steps{{"Price DESC", "Backup Buddy"},
                                                   {"Price ASC", "100% Free Zip"},
                                                   {"Name DESC", "ZipMaster"},
                                                   {"Rating DESC", "Arcade Title 17"}};
        for (const auto &[sort, firstName] : steps) {
            QVERIFY(!rs->setSort(sort));
            QCOMPARE(rs->value("Name").toString(), firstName);
        }
        // Rating ties keep the statement's order (by name), whatever sort came before.
        QCOMPARE(visible(*rs, "Name", 6), QStringList({"Arcade Title 17", "Arcade Title 23", "Arcade Title 29",
                                                       "Arcade Title 35", "Disk Tool", "Tool - Pro Edition"}));
    }

    void filterNarrowsTheClientRows_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("begins with") << "Name LIKE 'zip*'" << QStringList{"ZipMaster"};
        QTest::newRow("begins with, any case") << "Name LIKE 'ZIPM*'" << QStringList{"ZipMaster"};
        QTest::newRow("contains") << "Name LIKE '*zip*'"
                                  << QStringList{"100% Free Zip", "ArcView Zip", "ZipMaster"};
        QTest::newRow("percent contains") << "Name LIKE '%zip%'"
                                          << QStringList{"100% Free Zip", "ArcView Zip", "ZipMaster"};
        QTest::newRow("begins with a blank") << "Name LIKE ' zip*'" << QStringList{};
        QTest::newRow("ends with") << "Name LIKE '*lite'" << QStringList{"Ledger Lite"};
        QTest::newRow("inner wildcard") << "Name LIKE 'a*zip'" << QStringList{"ArcView Zip"};
        QTest::newRow("doubled quote is one quote") << "Name LIKE 'Don''t*'" << QStringList{"Don't Panic"};
        QTest::newRow("bracketed name with a quote") << "[Company Name] LIKE 'O''Malley*'"
                                                     << QStringList{"Don't Panic"};
        QTest::newRow("bare name with blank") << "Company Name LIKE '*sons*'" << QStringList{"Don't Panic"};
        QTest::newRow("memo contains") << "Description LIKE '*ZIP*'"
                                       << QStringList{"ArcView Zip", "Ledger Lite", "ZipMaster"};
        QTest::newRow("number as text") << "Price LIKE '12*'" << QStringList{"Disk Tool", "Memo Giant"};
        QTest::newRow("boolean as text") << "Uninstaller LIKE 'tr*' AND Price > 90"
                                         << QStringList{"Disk Tool", "Tool - Pro Edition"};
        QTest::newRow("number equal") << "Price = 0" << QStringList{"100% Free Zip", "ArcView Zip"};
        QTest::newRow("greater or equal") << "Price >= 99" << QStringList{"Backup Buddy", "Disk Tool", "Tool - Pro Edition"};
        QTest::newRow("text equal any case") << "Name = 'zipmaster'" << QStringList{"ZipMaster"};
        QTest::newRow("text less than") << "Name < 'arcade'" << QStringList{"100% Free Zip", "alpha lowercase"};
        QTest::newRow("or") << "Name = 'Disk Tool' OR Price = 1500000" << QStringList{"Backup Buddy", "Disk Tool"};
        QTest::newRow("and binds before or") << "Price = 0 OR Price > 1000 AND Rating = 5"
                                             << QStringList{"100% Free Zip", "ArcView Zip", "Disk Tool"};
        QTest::newRow("parentheses") << "(Price = 0 OR Price > 1000) AND Rating = 5" << QStringList{"Disk Tool"};
        QTest::newRow("null") << "Rating = NULL" << QStringList{"Backup Buddy"};
        QTest::newRow("null company never matches like") << "[Company Name] LIKE '*'"
                                                         << QStringList{};  // checked by count below
        QTest::newRow("boolean literal") << "Uninstaller = True AND Price > 90"
                                         << QStringList{"Disk Tool", "Tool - Pro Edition"};
    }
    void filterNarrowsTheClientRows()
    {
        QFETCH(QString, filter);
        QFETCH(QStringList, names);
        auto rs = openListing(openBasicCatalog());
        QSignalSpy resets(rs.get(), &Recordset::rowsReset);
        const ado::Error error = rs->setFilter(filter);
        QVERIFY2(!error, qPrintable(error.Description));
        QCOMPARE(resets.count(), 1);
        QCOMPARE(rs->Filter(), filter);
        if (QByteArray(QTest::currentDataTag()) == "null company never matches like") {
            QCOMPARE(rs->RecordCount(), 38);
            return;
        }
        QCOMPARE(visible(*rs, "Name"), names);
        QCOMPARE(rs->RecordCount(), names.size());
        QCOMPARE(rs->AbsolutePosition(), 0);
        QCOMPARE(rs->Eof(), names.isEmpty());
    }

    void refusedFilterLeavesTheFilterInForce_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::newRow("quote ends the pattern early") << "Name LIKE 'Don't*'";
        QTest::newRow("unknown field") << "Nope LIKE 'a*'";
        QTest::newRow("unclosed bracket") << "[Company Name LIKE 'a*'";
        QTest::newRow("unclosed quote") << "Name LIKE 'abc";
        QTest::newRow("missing operator") << "Name 'abc'";
        QTest::newRow("missing value") << "Price >";
        QTest::newRow("text for a number") << "Price = 'cheap'";
        QTest::newRow("unclosed parenthesis") << "(Price = 0";
        QTest::newRow("dangling and") << "Price = 0 AND";
    }
    void refusedFilterLeavesTheFilterInForce()
    {
        QFETCH(QString, filter);
        auto rs = openListing(openBasicCatalog());
        QVERIFY(!rs->setFilter("Name LIKE '*zip*'"));
        QSignalSpy resets(rs.get(), &Recordset::rowsReset);
        QCOMPARE(rs->setFilter(filter).Number, ado::adErrInvalidArgument);
        QCOMPARE(rs->Filter(), QStringLiteral("Name LIKE '*zip*'"));
        QCOMPARE(rs->RecordCount(), 3);
        QCOMPARE(resets.count(), 0);
    }

    void emptyFilterRemovesIt()
    {
        auto rs = openListing(openBasicCatalog());
        QVERIFY(!rs->setFilter("Name LIKE 'zip*'"));
        QCOMPARE(rs->RecordCount(), 1);
        QVERIFY(!rs->setFilter(""));
        QCOMPARE(rs->Filter(), QString());
        QCOMPARE(rs->RecordCount(), 39);
    }

    void sortAndFilterWorkTogetherAndSurviveRequery()
    {
        auto rs = openListing(openBasicCatalog());
        QVERIFY(!rs->setSort("Price DESC"));
        QVERIFY(!rs->setFilter("Name LIKE '*zip*'"));
        const QStringList expected{"ZipMaster", "100% Free Zip", "ArcView Zip"};
        QCOMPARE(visible(*rs, "Name"), expected);
        QVERIFY(!rs->setSort("Price ASC"));
        QCOMPARE(visible(*rs, "Name"), QStringList({"100% Free Zip", "ArcView Zip", "ZipMaster"}));
        QVERIFY(!rs->setSort("Price DESC"));
        rs->MoveLast();
        QSignalSpy resets(rs.get(), &Recordset::rowsReset);
        QVERIFY(!rs->Requery(ado::adOptionUnspecified));
        QCOMPARE(resets.count(), 1);
        QCOMPARE(visible(*rs, "Name"), expected);
        QCOMPARE(rs->Sort(), QStringLiteral("Price DESC"));
        QCOMPARE(rs->AbsolutePosition(), 0);
    }

    void refusedSortKeepsTheSortInForce()
    {
        auto rs = openListing(openBasicCatalog());
        QVERIFY(!rs->setSort("Price DESC"));
        QCOMPARE(rs->setSort("Nope ASC").Number, ado::adErrInvalidArgument);
        QCOMPARE(rs->setSort("Price DESC Name").Number, ado::adErrInvalidArgument);
        QCOMPARE(rs->Sort(), QStringLiteral("Price DESC"));
        QCOMPARE(rs->value("Name").toString(), QStringLiteral("Backup Buddy"));
    }

    void positionMovesAndIsShared()
    {
        auto rs = openListing(openBasicCatalog());
        QSignalSpy moves(rs.get(), &Recordset::currentChanged);
        QCOMPARE(rs->AbsolutePosition(), 0);
        QVERIFY(!rs->Bof());
        rs->setAbsolutePosition(5);
        QCOMPARE(rs->value("Name").toString(), rs->valueAt(5, 0).toString());
        rs->setAbsolutePosition(5);  // no move, no signal
        rs->MoveNext();
        QCOMPARE(rs->AbsolutePosition(), 6);
        rs->MoveLast();
        QCOMPARE(rs->value("Name").toString(), QStringLiteral("ZipMaster"));
        rs->MoveNext();
        QVERIFY(rs->Eof());
        QCOMPARE(rs->AbsolutePosition(), 39);
        bool ok = true;
        QVERIFY(!rs->value("Name", &ok).isValid());
        QVERIFY(!ok);
        rs->MoveNext();
        QCOMPARE(rs->AbsolutePosition(), 39);
        rs->setAbsolutePosition(1000);
        QCOMPARE(rs->AbsolutePosition(), 39);
        rs->MoveFirst();
        QCOMPARE(rs->AbsolutePosition(), 0);
        QCOMPARE(moves.count(), 5);
        QCOMPARE(moves.last().at(0).toInt(), 0);
        QVERIFY(!rs->valueAt(-1, 0).isValid());
        QVERIFY(!rs->valueAt(39, 0).isValid());
    }

    void emptyListingIsAtEof()
    {
        auto rs = openListing(openBasicCatalog(), listing::searchSql("no such title anywhere"));
        QVERIFY(rs->isOpen());
        QCOMPARE(rs->RecordCount(), 0);
        QVERIFY(rs->Eof());
        QVERIFY(rs->Bof());
    }
};

QTEST_GUILESS_MAIN(TestRecordset)
#include "test_recordset.moc"
