#include "listing_query.h"
#include "shared_state.h"

#include <QLocale>
#include <QStandardPaths>
#include <QTest>

using namespace listing;

namespace {
const QString kHead = QStringLiteral(
    "SELECT A.Name,A.Description,Price,B.Description As Type,Requirements,Uninstaller,"
    "Limitations,ScreenURL,DownloadURL1,DownloadURL2,DownloadURL3,BuyURL,Rating,"
    "C.Name As [Company Name],C.URL As [Company URL],C.Description As [Company Desc] "
    "FROM Software A,");
const QString kJoinTail = QStringLiteral(
    "A.SoftwareTypeID = B.SoftwareTypeID AND A.SiteID = C.SiteID");
}  // namespace

class TestListingQuery : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QStandardPaths::setTestModeEnabled(true);
    }

    void headIsTheSharedColumnList()
    {
        QCOMPARE(listingHead(), kHead);
        QCOMPARE(listingHead().size(), 252);
        QCOMPARE(allTitlesSql().size(), 356);
    }

    void statementsComposeExactly_data()
    {
        QTest::addColumn<QString>("statement");
        QTest::addColumn<QString>("tail");
        QTest::newRow("all titles") << allTitlesSql()
            << "SoftwareType B, Site C WHERE " + kJoinTail + " ORDER BY A.Name";
        QTest::newRow("search zip") << searchSql("zip")
            << "SoftwareType B, Site C WHERE (A.Name LIKE '%zip%' OR A.Description LIKE '%zip%') AND "
               + kJoinTail + " ORDER BY A.Name";
        QTest::newRow("search percent stays a wildcard") << searchSql("%")
            << "SoftwareType B, Site C WHERE (A.Name LIKE '%%%' OR A.Description LIKE '%%%') AND "
               + kJoinTail + " ORDER BY A.Name";
        QTest::newRow("search underscore stays a wildcard") << searchSql("a_c")
            << "SoftwareType B, Site C WHERE (A.Name LIKE '%a_c%' OR A.Description LIKE '%a_c%') AND "
               + kJoinTail + " ORDER BY A.Name";
        QTest::newRow("search quote doubled") << searchSql("Don't")
            << "SoftwareType B, Site C WHERE (A.Name LIKE '%Don''t%' OR A.Description LIKE '%Don''t%') AND "
               + kJoinTail + " ORDER BY A.Name";
        QTest::newRow("category") << categorySql("3")
            << "SoftwareType B, Site C WHERE CategoryID = 3 AND " + kJoinTail + " ORDER BY A.Name";
        QTest::newRow("subcategory") << subCategorySql("12")
            << "SoftwareType B, Site C WHERE SubCategoryID = 12 AND " + kJoinTail + " ORDER BY A.Name";
        QTest::newRow("single title") << singleTitleSql("Disk Tool")
            << "SoftwareType B, Site C WHERE A.Name ='Disk Tool' AND " + kJoinTail;
        QTest::newRow("single title quote doubled") << singleTitleSql("Don't Panic")
            << "SoftwareType B, Site C WHERE A.Name ='Don''t Panic' AND " + kJoinTail;
        QTest::newRow("single title with two quotes") << singleTitleSql("'x'")
            << "SoftwareType B, Site C WHERE A.Name ='''x''' AND " + kJoinTail;
    }
    void statementsComposeExactly()
    {
        QFETCH(QString, statement);
        QFETCH(QString, tail);
        QCOMPARE(statement, kHead + tail);
    }

    void titlesComposeExactly_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("expected");
        QTest::newRow("empty search") << searchTitle("") << "Search Results for ''";
        QTest::newRow("search") << searchTitle("zip") << "Search Results for 'zip'";
        QTest::newRow("search keeps its quote") << searchTitle("Don't") << "Search Results for 'Don't'";
        QTest::newRow("subcategory") << subCategoryTitle("Utilities", "Disk Tools")
                                     << "Utilities > Disk Tools";
    }
    void titlesComposeExactly()
    {
        QFETCH(QString, title);
        QFETCH(QString, expected);
        QCOMPARE(title, expected);
    }

    void connectionStringKeepsTheFolderUnchanged_data()
    {
        QTest::addColumn<QString>("appPath");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << "C:\\Apps\\Q"
            << "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\Apps\\Q\\shareware.mdb;Persist Security Info=False;";
        QTest::newRow("trailing separator doubles") << "C:\\"
            << "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\\\shareware.mdb;Persist Security Info=False;";
        QTest::newRow("unix folder") << "/opt/q/"
            << "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/opt/q/\\shareware.mdb;Persist Security Info=False;";
    }
    void connectionStringKeepsTheFolderUnchanged()
    {
        QFETCH(QString, appPath);
        QFETCH(QString, expected);
        QCOMPARE(catalogConnectionString(appPath), expected);
    }

    void resetEmptiesEverySharedName()
    {
        strListingSql = "x";
        strListingTitle = "y";
        strConnect = "z";
        strAppPath = "w";
        cnCatalog = std::make_shared<ado::Connection>();
        rsSoftware = std::make_shared<ado::Recordset>();
        resetSharedState();
        QVERIFY(strListingSql.isEmpty() && strListingTitle.isEmpty());
        QVERIFY(strConnect.isEmpty() && strAppPath.isEmpty());
        QVERIFY(!cnCatalog && !rsSoftware);
    }
};

QTEST_GUILESS_MAIN(TestListingQuery)
#include "test_listing_query.moc"
