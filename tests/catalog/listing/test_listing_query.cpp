#include "catalog/listing/query.h"
#include "tests/catalog/catalog_fixture.h"

using namespace listing;

namespace {
const QString kHead = QStringLiteral(
    "SELECT A.Name,A.Description,Price,B.Description As Type,Requirements,Uninstaller,"
    "Limitations,ScreenURL,DownloadURL1,DownloadURL2,DownloadURL3,BuyURL,Rating,"
    "C.Name As [Company Name],C.URL As [Company URL],C.Description As [Company Desc] "
    "FROM Software A,SoftwareType B, Site C WHERE ");
const QString kJoin = QStringLiteral("A.SoftwareTypeID = B.SoftwareTypeID AND A.SiteID = C.SiteID");
const QString kOrder = QStringLiteral(" ORDER BY A.Name");
}  // namespace

class TestListingQuery : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { fixLocale(); }

    void shouldComposeCharacterForCharacter_data()
    {
        QTest::addColumn<QString>("statement");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *name) -> QTestData & { return QTest::newRow(name); };
        const QString search = "(A.Name LIKE '%1' OR A.Description LIKE '%1') AND " + kJoin + kOrder;
        const QString connect = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1\\shareware.mdb;Persist Security Info=False;";
        row("head, 252 characters") << listingHead() + "SoftwareType B, Site C WHERE " << kHead;
        row("all titles, 356 characters") << allTitlesSql() << kHead + kJoin + kOrder;
        row("search") << searchSql("zip") << kHead + search.arg("%zip%");
        row("search keeps its wildcards") << searchSql("5%_off") << kHead + search.arg("%5%_off%");
        row("search doubles a quote") << searchSql("Don't") << kHead + search.arg("%Don''t%");
        row("category") << categorySql("3") << kHead + "CategoryID = 3 AND " + kJoin + kOrder;
        row("subcategory") << subCategorySql("12") << kHead + "SubCategoryID = 12 AND " + kJoin + kOrder;
        row("single title") << singleTitleSql("Disk Tool") << kHead + "A.Name ='Disk Tool' AND " + kJoin;
        row("single title doubles quotes") << singleTitleSql("'Don't'") << kHead + "A.Name ='''Don''t''' AND " + kJoin;
        row("search title") << searchTitle("Don't") << "Search Results for 'Don't'";
        row("subcategory title") << subCategoryTitle("Utilities", "Disk Tools") << "Utilities > Disk Tools";
        row("connection string") << catalogConnectionString("C:\\Apps\\Q") << connect.arg("C:\\Apps\\Q");
        row("connection string, folder ending in a separator") << catalogConnectionString("/opt/q/") << connect.arg("/opt/q/");
        const QString named = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1;Persist Security Info=False;";
        row("connection string, a file named") << catalogFileConnectionString("/home/u/Büro Kataloge/a b.accdb")
                                               << named.arg("/home/u/Büro Kataloge/a b.accdb");
        row("connection string, a file whose name holds ; and \"") << catalogFileConnectionString("/t/a;\"b\".mdb")
                                                                 << named.arg("\"/t/a;\"\"b\"\".mdb\"");
    }
    void shouldComposeCharacterForCharacter()
    {
        QFETCH(QString, statement);
        QFETCH(QString, expected);
        QCOMPARE(statement, expected);
    }

    // The connection takes back the very file that the connection string was built from.
    void shouldTakeTheNamedFileBackFromItsConnectionString_data()
    {
        QTest::addColumn<QString>("path");
        for (const char *path : {"/srv/catalog.mdb", "/home/u/Büro Kataloge/目録 2019.accdb", "/t/a;b.mdb", "/t/it's \"q\".mdb",
                                 "/t/ edge blanks .mdb", "/t/key=value.mdb"})
            QTest::newRow(path) << QString::fromUtf8(path);
    }
    void shouldTakeTheNamedFileBackFromItsConnectionString()
    {
        QFETCH(QString, path);
        QCOMPARE(ado::Connection::dataSourceFromConnectionString(catalogFileConnectionString(path)), path);
    }
};

QTEST_GUILESS_MAIN(TestListingQuery)
#include "test_listing_query.moc"
