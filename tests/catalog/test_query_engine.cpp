#include "catalog_fixture.h"
#include "listing_query.h"
#include "query_engine.h"
#include "result_rows.h"

#include <QDateTime>
#include <QLocale>
#include <QStandardPaths>
#include <QTest>

#include <ctime>

namespace {

QStringList column(const ResultRows &rows, const QString &name)
{
    QStringList values;
    const int index = rows.columnIndex(name);
    for (int row = 0; row < rows.rowCount(); ++row) {
        const QVariant v = rows.value(row, index);
        values.append(v.isValid() ? v.toString() : QStringLiteral("<null>"));
    }
    return values;
}

// Titles in several scripts and letter cases, for the text rules beyond ASCII.
ScriptTableSource wordsSource()
{
    ScriptTableSource source;
    jet::Column id{QStringLiteral("ID"), jet::ColumnType::Long, 0};
    jet::Column word{QStringLiteral("Word"), jet::ColumnType::Text, 50};
    source.addTable(QStringLiteral("Words"), {id, word},
                    {{"1", "Zebra"}, {"2", "Éclair"}, {"3", "apple"}, {"4", "\\N"},
                     {"5", "édith"}, {"6", "Ecran"}, {"7", "eclair"}, {"8", "ÇA VA"},
                     {"9", "Straße"}, {"10", ""}});
    return source;
}

}  // namespace

class TestQueryEngine : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // A zone with summer time, so a date that drifts with the zone shows.
        qputenv("TZ", "Europe/Berlin");
        tzset();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QStandardPaths::setTestModeEnabled(true);
    }

    void allTitlesHoldTitlesWithTypeAndSiteInCaseInsensitiveOrder()
    {
        auto cn = openBasicCatalog();
        ResultRows rows;
        QVERIFY(!cn->engine()->execute(listing::allTitlesSql(), rows));
        QCOMPARE(rows.rowCount(), 39);
        const QStringList names = column(rows, "Name");
        QCOMPARE(names.mid(0, 4),
                 QStringList({"100% Free Zip", "alpha lowercase", "Arcade Title 15", "Arcade Title 16"}));
        QVERIFY(!names.contains("Orphan Type Tool"));
        QVERIFY(!names.contains("Orphan Site Tool"));
        QCOMPARE(names.last(), QStringLiteral("ZipMaster"));
        QVERIFY(names.indexOf("under_score") < names.indexOf("ZipMaster"));
    }

    void listingsFindTheirTitles_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("search zip by name and description")
            << listing::searchSql("zip")
            << QStringList{"100% Free Zip", "ArcView Zip", "Ledger Lite", "ZipMaster"};
        QTest::newRow("search is case-insensitive")
            << listing::searchSql("ZIP")
            << QStringList{"100% Free Zip", "ArcView Zip", "Ledger Lite", "ZipMaster"};
        QTest::newRow("search with a quote") << listing::searchSql("Don't") << QStringList{"Don't Panic"};
        QTest::newRow("underscore is one character")
            << listing::searchSql("under_sc") << QStringList{"under_score"};
        QTest::newRow("percent is any run")
            << listing::searchSql("arc%zip") << QStringList{"ArcView Zip"};
        QTest::newRow("single title is case-insensitive")
            << listing::singleTitleSql("zipmaster") << QStringList{"ZipMaster"};
        QTest::newRow("single title with a quote")
            << listing::singleTitleSql("Don't Panic") << QStringList{"Don't Panic"};
        QTest::newRow("single title with a spaced dash")
            << listing::singleTitleSql("Tool - Pro Edition") << QStringList{"Tool - Pro Edition"};
        QTest::newRow("orphan site is never found")
            << listing::singleTitleSql("Orphan Site Tool") << QStringList{};
        QTest::newRow("category keeps a nameless company")
            << listing::categorySql("4")
            << QStringList{"100% Free Zip", "alpha lowercase", "ArcView Zip", "Backup Buddy",
                           "Disk Tool", "Memo Giant", "Nameless Co Tool", "Tool - Pro Edition", "under_score", "ZipMaster"};
        QTest::newRow("subcategory") << listing::subCategorySql("9")
                                     << QStringList{"Disk Tool", "Memo Giant", "Tool - Pro Edition"};
    }
    void listingsFindTheirTitles()
    {
        QFETCH(QString, sql);
        QFETCH(QStringList, names);
        auto cn = openBasicCatalog();
        ResultRows rows;
        const ado::Error error = cn->engine()->execute(sql, rows);
        QVERIFY2(!error, qPrintable(error.Description));
        QCOMPARE(column(rows, "Name"), names);
    }

    void resultColumnsKeepTheStatementsNamesAndJetTypes()
    {
        auto cn = openBasicCatalog();
        ResultRows rows;
        QVERIFY(!cn->engine()->execute(listing::allTitlesSql(), rows));
        const QList<QPair<QString, int>> expected{
            {"Name", ado::adVarWChar},      {"Description", ado::adLongVarWChar},
            {"Price", ado::adCurrency},     {"Type", ado::adVarWChar},
            {"Requirements", ado::adVarWChar}, {"Uninstaller", ado::adBoolean},
            {"Limitations", ado::adVarWChar}, {"ScreenURL", ado::adVarWChar},
            {"DownloadURL1", ado::adVarWChar}, {"DownloadURL2", ado::adVarWChar},
            {"DownloadURL3", ado::adVarWChar}, {"BuyURL", ado::adVarWChar},
            {"Rating", ado::adSmallInt},    {"Company Name", ado::adVarWChar},
            {"Company URL", ado::adVarWChar}, {"Company Desc", ado::adLongVarWChar}};
        QCOMPARE(rows.columnCount(), expected.size());
        for (int i = 0; i < expected.size(); ++i) {
            QCOMPARE(rows.field(i).Name, expected[i].first);
            QCOMPARE(rows.field(i).Type, expected[i].second);
        }
    }

    void valuesKeepNullApartFromEmptyText_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QVariant>("expected");
        QTest::newRow("zero-length link") << "ArcView Zip" << "DownloadURL2" << QVariant(QString(""));
        QTest::newRow("null link") << "ArcView Zip" << "DownloadURL3" << QVariant();
        QTest::newRow("null rating") << "Backup Buddy" << "Rating" << QVariant();
        QTest::newRow("rating") << "ZipMaster" << "Rating" << QVariant(4);
        QTest::newRow("money") << "Disk Tool" << "Price" << QVariant(1234.5);
        QTest::newRow("large money") << "Backup Buddy" << "Price" << QVariant(1500000.0);
        QTest::newRow("cents") << "ZipMaster" << "Price" << QVariant(29.95);
        QTest::newRow("boolean yes") << "ZipMaster" << "Uninstaller" << QVariant(true);
        QTest::newRow("boolean no") << "ArcView Zip" << "Uninstaller" << QVariant(false);
        QTest::newRow("null company") << "Nameless Co Tool" << "Company Name" << QVariant();
        QTest::newRow("company with quote") << "Don't Panic" << "Company Name" << QVariant(QString("O'Malley & Sons"));
        QTest::newRow("type") << "Disk Tool" << "Type" << QVariant(QString("Shareware"));
        QTest::newRow("company memo") << "Disk Tool" << "Company Desc"
                                              << QVariant(QString("Small utilities since 1996."));
    }
    void valuesKeepNullApartFromEmptyText()
    {
        QFETCH(QString, title);
        QFETCH(QString, field);
        QFETCH(QVariant, expected);
        auto cn = openBasicCatalog();
        ResultRows rows;
        QVERIFY(!cn->engine()->execute(listing::singleTitleSql(title), rows));
        QCOMPARE(rows.rowCount(), 1);
        const QVariant value = rows.value(0, rows.columnIndex(field));
        QCOMPARE(value.isValid(), expected.isValid());
        if (expected.isValid()) {
            QCOMPARE(value.typeId(), expected.typeId());
            QCOMPARE(value, expected);
        }
    }

    void everyJetTypeKeepsItsAdoTypeAndValue_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("adoType");
        QTest::addColumn<QVariant>("value");
        QTest::newRow("LONG") << 0 << int(ado::adInteger) << QVariant(-70000);
        QTest::newRow("INT") << 1 << int(ado::adSmallInt) << QVariant(-12);
        QTest::newRow("BYTE") << 2 << int(ado::adUnsignedTinyInt) << QVariant(200);
        QTest::newRow("TEXT") << 3 << int(ado::adVarWChar) << QVariant(QString("tab\there"));
        QTest::newRow("MEMO") << 4 << int(ado::adLongVarWChar) << QVariant(QString("two\r\nlines"));
        QTest::newRow("MONEY") << 5 << int(ado::adCurrency) << QVariant(1234.5678);
        QTest::newRow("BOOLEAN") << 6 << int(ado::adBoolean) << QVariant(true);
        QTest::newRow("DOUBLE") << 7 << int(ado::adDouble) << QVariant(0.1);
        QTest::newRow("FLOAT") << 8 << int(ado::adSingle) << QVariant(2.5);
        QTest::newRow("DATE") << 9 << int(ado::adDate)
                              << QVariant(QDateTime(QDate(2000, 1, 1), QTime(12, 0)));
        QTest::newRow("DATE in summer time") << 10 << int(ado::adDate)
                                             << QVariant(QDateTime(QDate(2021, 7, 1), QTime(6, 0)));
        QTest::newRow("DATE before the epoch") << 11 << int(ado::adDate)
                                               << QVariant(QDateTime(QDate(1899, 12, 29), QTime(6, 0)));
    }
    void everyJetTypeKeepsItsAdoTypeAndValue()
    {
        QFETCH(int, column);
        QFETCH(int, adoType);
        QFETCH(QVariant, value);
        ScriptTableSource source;
        source.addTable("Kinds",
                        {{"L", jet::ColumnType::Long, 0}, {"I", jet::ColumnType::Int, 0},
                         {"B", jet::ColumnType::Byte, 0}, {"T", jet::ColumnType::Text, 20},
                         {"M", jet::ColumnType::Memo, 0}, {"Y", jet::ColumnType::Money, 0},
                         {"F", jet::ColumnType::Boolean, 0}, {"D", jet::ColumnType::Double, 0},
                         {"S", jet::ColumnType::Float, 0}, {"W", jet::ColumnType::Date, 0},
                         {"X", jet::ColumnType::Date, 0}, {"Z", jet::ColumnType::Date, 0}},
                        {{"-70000", "-12", "200", "tab\\there", "two\\r\\nlines", "1234.5678", "1", "0.1",
                          "2.5", "36526.5", "44378.25", "-1.25"},
                         {"\\N", "\\N", "\\N", "\\N", "\\N", "\\N", "\\N", "\\N", "\\N", "\\N", "\\N",
                          "\\N"}});
        auto cn = openSource(source);
        ResultRows rows;
        QVERIFY(!cn->engine()->execute("SELECT * FROM Kinds", rows));
        QCOMPARE(rows.field(column).Type, adoType);
        QCOMPARE(rows.value(0, column), value);
        QCOMPARE(rows.value(0, column).typeId(), value.typeId());
        QVERIFY(!rows.value(1, column).isValid());
    }

    void longMemoComesWhole()
    {
        auto cn = openBasicCatalog();
        ResultRows rows;
        QVERIFY(!cn->engine()->execute(listing::singleTitleSql("Memo Giant"), rows));
        QCOMPARE(rows.rowCount(), 1);
        const QString description = rows.value(0, 1).toString();
        QVERIFY2(description.size() > 16384, qPrintable(QString::number(description.size())));
        QVERIFY(description.startsWith("A description longer than one long-value page."));
    }

    void textRulesBeyondAscii_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QStringList>("words");
        QTest::newRow("order: null first, accents beside their letter")
            << "SELECT Word FROM Words ORDER BY Word"
            << QStringList{"<null>", "", "apple", "ÇA VA", "eclair", "Éclair", "Ecran", "édith",
                           "Straße", "Zebra"};
        QTest::newRow("descending puts null last")
            << "SELECT Word FROM Words WHERE ID < 5 ORDER BY Word DESC"
            << QStringList{"Zebra", "Éclair", "apple", "<null>"};
        QTest::newRow("equality ignores case of accented letters")
            << "SELECT Word FROM Words WHERE Word = 'ÉCLAIR'" << QStringList{"Éclair"};
        QTest::newRow("equality keeps accents apart")
            << "SELECT Word FROM Words WHERE Word = 'ECLAIR'" << QStringList{"eclair"};
        QTest::newRow("like ignores case beyond ascii")
            << "SELECT Word FROM Words WHERE Word LIKE 'é%' ORDER BY ID" << QStringList{"Éclair", "édith"};
        QTest::newRow("like on cedilla")
            << "SELECT Word FROM Words WHERE Word LIKE '%ça%'" << QStringList{"ÇA VA"};
        QTest::newRow("underscore matches one accented letter")
            << "SELECT Word FROM Words WHERE Word LIKE '_dith'" << QStringList{"édith"};
        QTest::newRow("pattern that changes from row to row")
            << "SELECT A.Word FROM Words A, Words B WHERE B.ID = 2 AND B.Word LIKE A.Word ORDER BY A.ID"
            << QStringList{"Éclair"};
        QTest::newRow("like on null is no match")
            << "SELECT ID FROM Words WHERE Word LIKE '%'" << QStringList{"1", "2", "3", "5", "6", "7", "8", "9", "10"};
    }
    void textRulesBeyondAscii()
    {
        QFETCH(QString, sql);
        QFETCH(QStringList, words);
        auto cn = openSource(wordsSource());
        ResultRows rows;
        const ado::Error error = cn->engine()->execute(sql, rows);
        QVERIFY2(!error, qPrintable(error.Description));
        QCOMPARE(column(rows, rows.field(0).Name), words);
    }

    void tablesLoadOnFirstUse()
    {
        auto source = std::make_unique<ScriptTableSource>(
            ScriptTableSource::fromFile(testDataPath("basic.txt")));
        ScriptTableSource *reads = source.get();
        ado::Connection cn;
        QVERIFY(!cn.openSource(std::move(source)));
        for (const char *table : {"Category", "SubCategory", "FeatureSoftware"}) {
            ResultRows rows;
            QVERIFY(!cn.engine()->execute(QStringLiteral("Select * From %1").arg(table), rows));
        }
        QCOMPARE(cn.engine()->loadedTables(), QStringList({"Category", "SubCategory", "FeatureSoftware"}));
        QCOMPARE(reads->reads.value("Software"), 0);
        for (int i = 0; i < 2; ++i) {
            ResultRows rows;
            QVERIFY(!cn.engine()->execute(listing::allTitlesSql(), rows));
        }
        QCOMPARE(reads->reads.value("Software"), 1);
    }

    void startUpTablesKeepStoredOrder()
    {
        auto cn = openBasicCatalog();
        ResultRows rows;
        QVERIFY(!cn->engine()->execute("Select * From SubCategory", rows));
        QCOMPARE(rows.rowCount(), 25);
        QCOMPARE(column(rows, "SubCategoryID").mid(0, 3), QStringList({"1", "2", "3"}));
        QCOMPARE(rows.field(0).Type, int(ado::adInteger));
    }

    void refusedStatementsFailWithTheReason_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("words");
        QTest::newRow("unbalanced quote") << listing::listingHead()
                + "SoftwareType B, Site C WHERE A.Name ='Don't Panic' AND A.SiteID = C.SiteID"
                                          << "syntax error";
        QTest::newRow("empty id") << listing::categorySql("") << "syntax error";
        QTest::newRow("unknown table") << "SELECT * FROM Nowhere" << "Nowhere";
        QTest::newRow("writes are refused") << "DELETE FROM Category" << "read-only";
        QTest::newRow("second statement") << "SELECT * FROM Category; DELETE FROM Category"
                                          << "after end";
        QTest::newRow("second statement naming no table") << "SELECT 1; SELECT 2" << "after end";
        QTest::newRow("empty") << "  " << "empty";
    }
    void refusedStatementsFailWithTheReason()
    {
        QFETCH(QString, sql);
        QFETCH(QString, words);
        auto cn = openBasicCatalog();
        ResultRows rows;
        const ado::Error error = cn->engine()->execute(sql, rows);
        QCOMPARE(error.Number, ado::E_PROVIDER_FAIL);
        QVERIFY2(error.Description.contains(words, Qt::CaseInsensitive), qPrintable(error.Description));
        ResultRows after;
        QVERIFY(!cn->engine()->execute("Select * From Category", after));
        QCOMPARE(after.rowCount(), 11);
    }

    void trailingSemicolonAndCommentAreAccepted()
    {
        auto cn = openBasicCatalog();
        ResultRows rows;
        const ado::Error error = cn->engine()->execute("Select * From Category; -- all of them\n", rows);
        QVERIFY2(!error, qPrintable(error.Description));
        QCOMPARE(rows.rowCount(), 11);
    }

    void aTableThatFailsToReadIsNotHalfLoaded()
    {
        ScriptTableSource source = ScriptTableSource::fromFile(testDataPath("basic.txt"));
        source.failTable("Software", 10);
        auto cn = openSource(source);
        for (int attempt = 0; attempt < 2; ++attempt) {
            ResultRows rows;
            const ado::Error error = cn->engine()->execute(listing::allTitlesSql(), rows);
            QCOMPARE(error.Number, ado::E_PROVIDER_FAIL);
            QVERIFY2(error.Description.contains("damaged"), qPrintable(error.Description));
        }
        QVERIFY(!cn->engine()->loadedTables().contains("Software"));
    }
};

QTEST_GUILESS_MAIN(TestQueryEngine)
#include "test_query_engine.moc"
