#include "test_data.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocale>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

#include <algorithm>

namespace {

struct Run {
    int exitCode = -1;
    QByteArray out, err;
};

Run runDump(const QStringList &arguments)
{
    QProcess process;
    process.start(QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("catalog-dump")), arguments);
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}

/// The fixture's script without its PRIMARYKEY lines, which the dump does not print;
/// cut into its tables in name order when `byName`.
QByteArrayList scriptTables(const QByteArray &script, bool byName)
{
    QByteArrayList tables{QByteArray()};
    for (const QByteArray &line : script.split('\n')) {
        if (line.isEmpty() || line.startsWith("PRIMARYKEY "))
            continue;
        if (byName && line.startsWith("TABLE "))
            tables.append(QByteArray());
        tables.last() += line + '\n';
    }
    std::sort(tables.begin(), tables.end());
    return tables;
}

}  // namespace

class TestCatalogDump : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QStandardPaths::setTestModeEnabled(true);
    }

    // Every value (Null apart from "", the 20,000-character memo whole), rows in stored
    // order, column types.
    void shouldPrintEachFixtureAsItsScript_data()
    {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<bool>("byName");
        for (const char *name : {"basic", "empty-tables", "many-categories", "sample", "split-runs"})
            QTest::newRow(name) << name << false;
        // Its script came from another reader, which lists the tables by name.
        QTest::newRow("memo-chain") << "memo-chain" << true;
    }
    void shouldPrintEachFixtureAsItsScript()
    {
        QFETCH(QString, fixture);
        QFETCH(bool, byName);
        const Run run = runDump({testDataPath(fixture + ".mdb")});
        QVERIFY2(run.exitCode == 0 && run.err.isEmpty(), run.err.constData());
        QFile script(testDataPath(fixture + ".txt"));
        QVERIFY(script.open(QIODevice::ReadOnly));
        QCOMPARE(scriptTables(run.out, byName), scriptTables(script.readAll(), byName));
    }

    void shouldReportAFailedOpenOnStandardError_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("expectedStart");
        const QString missing = QDir(QDir::tempPath()).filePath(QStringLiteral("no-such-dir/shareware.mdb"));
        const QString notFound = QStringLiteral("-2147467259 : Could not find file '%1'.\n").arg(missing);
        const QString text = testDataPath("basic.txt");
        const QString usageMap = testDataPath("hostile/usage_map_len0_page2.mdb");
        const QString selfLoop = testDataPath("hostile/memo_chain_selfloop.mdb");
        QTest::newRow("missing file") << QStringList{missing} << notFound;
        QTest::newRow("missing file, listing") << QStringList{missing, "--query", "SELECT * FROM Category"} << notFound;
        QTest::newRow("not a database")
            << QStringList{text} << QStringLiteral("-2147467259 : Unrecognized database format '%1'.\n").arg(text);
        QTest::newRow("damaged catalog")
            << QStringList{usageMap} << QStringLiteral("-2147467259 : The catalog file '%1' is damaged: ").arg(usageMap);
        QTest::newRow("damaged memo")
            << QStringList{selfLoop} << QStringLiteral("-2147467259 : The catalog file '%1' is damaged: ").arg(selfLoop);
        QTest::newRow("statement refused")
            << QStringList{testDataPath("basic.mdb"), "--query", "SELECT FROM"} << QStringLiteral("-2147467259 : ");
    }
    void shouldReportAFailedOpenOnStandardError()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, expectedStart);
        const Run run = runDump(arguments);
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(QString::fromUtf8(run.err).startsWith(expectedStart), run.err.constData());
    }

    void shouldPrintAListing_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("money, booleans and Null without locale")
            << QStringList{"--query", "SELECT Name, Price, Uninstaller, Rating FROM Software "
                                      "WHERE Price >= 1000 OR Price = 0 ORDER BY Name"}
            << QByteArray("COLUMN Name 202\nCOLUMN Price 6\nCOLUMN Uninstaller 11\nCOLUMN Rating 2\n"
                          "ROW 100% Free Zip\t0\t0\t3\nROW ArcView Zip\t0\t0\t3\n"
                          "ROW Backup Buddy\t1500000\t0\t\\N\nROW Disk Tool\t1234.5\t1\t5\n");
        QTest::newRow("zero-length text beside Null")
            << QStringList{"--query", "SELECT Name, DownloadURL2, DownloadURL3 FROM Software WHERE Name = 'ArcView Zip'"}
            << QByteArray("COLUMN Name 202\nCOLUMN DownloadURL2 202\nCOLUMN DownloadURL3 202\nROW ArcView Zip\t\t\\N\n");
        QTest::newRow("line breaks escaped in a memo")
            << QStringList{"--query", "SELECT SiteID, Description FROM Site WHERE SiteID = 2"}
            << QByteArray("COLUMN SiteID 3\nCOLUMN Description 203\nROW 2\tMakers of office tools.\\r\\nTwo lines.\n");
        QTest::newRow("filtered and sorted")
            << QStringList{"--query", "SELECT Name, Price FROM Software", "--filter", "Name LIKE '*zip*'", "--sort",
                           "Name DESC"}
            << QByteArray("COLUMN Name 202\nCOLUMN Price 6\nROW ZipMaster\t29.95\nROW ArcView Zip\t0\nROW 100% Free Zip\t0\n");
    }
    void shouldPrintAListing()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, expected);
        const Run run = runDump(QStringList{testDataPath("basic.mdb")} + arguments);
        QVERIFY2(run.exitCode == 0, run.err.constData());
        QCOMPARE(run.out, expected);
    }
};

QTEST_GUILESS_MAIN(TestCatalogDump)
#include "test_catalog_dump.moc"
