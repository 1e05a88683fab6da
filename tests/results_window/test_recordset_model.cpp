#include "listing_query.h"
#include "recordset_model.h"
#include "fixture_catalog.h"
#include "shared_state.h"

#include <QAbstractItemModelTester>
#include <QLocale>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

#include <functional>

namespace {

std::shared_ptr<ado::Recordset> openListing(const QString &sql)
{
    auto rs = std::make_shared<ado::Recordset>();
    rs->CursorLocation = ado::adUseClient;
    if (rs->Open(sql, cnCatalog, ado::adOpenStatic, ado::adLockReadOnly, ado::adCmdText))
        return nullptr;
    return rs;
}

std::shared_ptr<const StdDataFormat> yesNo()
{
    auto format = std::make_shared<StdDataFormat>();
    format->Type = StdDataFormat::fmtBoolean;
    format->TrueValue = "Yes";
    format->FalseValue = "No";
    format->NullValue = "No";
    return format;
}

using Change = std::function<void(ado::Recordset &)>;

}  // namespace

Q_DECLARE_METATYPE(Change)

class TestRecordsetModel : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(openFixtureCatalog("basic.mdb"));
    }

    void shouldFollowEveryChangeOfTheRecordset_data()
    {
        QTest::addColumn<Change>("change");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("columns");
        QTest::addColumn<QString>("firstName");

        QTest::newRow("filter") << Change([](ado::Recordset &rs) { rs.setFilter("Name LIKE '*zip*'"); })
                                << 3 << 16 << "100% Free Zip";
        QTest::newRow("filter to nothing")
            << Change([](ado::Recordset &rs) { rs.setFilter("Name LIKE 'qqq*'"); }) << 0 << 16 << "";
        QTest::newRow("sort") << Change([](ado::Recordset &rs) { rs.setSort("Price DESC"); }) << 39 << 16
                              << "Backup Buddy";
        QTest::newRow("filter then requery") << Change([](ado::Recordset &rs) {
            rs.setFilter("Name LIKE 'arc*'");
            rs.setFilter(QString());
            rs.Requery();
        }) << 39 << 16 << "100% Free Zip";
        QTest::newRow("close") << Change([](ado::Recordset &rs) { rs.Close(); }) << 0 << 0 << "";
    }
    void shouldFollowEveryChangeOfTheRecordset()
    {
        QFETCH(Change, change);
        QFETCH(int, rows);
        QFETCH(int, columns);
        QFETCH(QString, firstName);

        auto rs = openListing(listing::allTitlesSql());
        QVERIFY(rs);
        RecordsetModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setRecordset(rs);
        QCOMPARE(model.rowCount(), 39);
        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);

        change(*rs);
        QVERIFY(!resets.isEmpty());
        QCOMPARE(model.rowCount(), rows);
        QCOMPARE(model.columnCount(), columns);
        QCOMPARE(model.data(model.index(0, 0)).toString(), firstName);
    }

    void shouldShowABooleanColumnThroughItsFormat_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("formatted");
        QTest::addColumn<QString>("plain");

        QTest::newRow("true") << "ZipMaster" << "Yes" << "True";
        QTest::newRow("false") << "ArcView Zip" << "No" << "False";
        QTest::newRow("null") << "Nameless Co Tool" << "No" << "";
    }
    void shouldShowABooleanColumnThroughItsFormat()
    {
        QFETCH(QString, name);
        QFETCH(QString, formatted);
        QFETCH(QString, plain);

        // A left join leaves the flag Null wherever the joined row is missing.
        auto rs = openListing("SELECT A.Name, B.Uninstaller FROM Software A LEFT JOIN Software B "
                              "ON A.SoftwareID = B.SoftwareID AND B.SiteID <> 3 ORDER BY A.Name");
        QVERIFY(rs);
        RecordsetModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setRecordset(rs);
        rs->setFilter("Name = '" + name + "'");
        QCOMPARE(model.rowCount(), 1);
        const QModelIndex flag = model.index(0, 1);
        QCOMPARE(model.data(flag).toString(), plain);

        QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
        model.setColumnFormat(1, yesNo());
        QCOMPARE(changes.size(), 1);
        QCOMPARE(model.data(flag).toString(), formatted);
        QCOMPARE(model.data(model.index(0, 0)).toString(), name);
    }

    void shouldShowNothingUnbound()
    {
        RecordsetModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setColumnFormat(5, yesNo());
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(model.columnCount(), 0);
        QVERIFY(!model.headerData(0, Qt::Horizontal).isValid());

        auto rs = openListing(listing::allTitlesSql());
        QVERIFY(rs);
        model.setRecordset(rs);
        QCOMPARE(model.headerData(13, Qt::Horizontal).toString(), QString("Company Name"));
        model.setRecordset(nullptr);
        QCOMPARE(model.columnCount(), 0);
        rs->setFilter("Name LIKE 'zip*'");
        QCOMPARE(model.rowCount(), 0);
    }
};

QTEST_MAIN(TestRecordsetModel)
#include "test_recordset_model.moc"
