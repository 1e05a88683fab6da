#include "test_data.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocale>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

namespace {

constexpr int kRunTimeoutMs = 60000;

struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run runDump(const QStringList &arguments)
{
    QProcess process;
    process.setProgram(QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("catalog-dump")));
    process.setArguments(arguments);
    process.start();
    Run run;
    if (!process.waitForFinished(kRunTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

/// The fixture's script without its PRIMARYKEY lines, which the dump does not print.
QByteArray scriptWithoutKeys(const QString &fixture)
{
    QFile file(testDataPath(fixture + ".txt"));
    file.open(QIODevice::ReadOnly);
    QByteArray out;
    for (const QByteArray &line : file.readAll().split('\n'))
        if (!line.isEmpty() && !line.startsWith("PRIMARYKEY "))
            out += line + '\n';
    return out;
}

/// The script cut into its tables, in name order (for a script that lists them by name).
QByteArrayList tablesByName(const QByteArray &script)
{
    QByteArrayList tables;
    for (const QByteArray &line : script.split('\n')) {
        if (line.isEmpty())
            continue;
        if (line.startsWith("TABLE ") || tables.isEmpty())
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

    void shouldPrintEachFixtureAsItsScript_data()
    {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<bool>("scriptListsCatalogOrder");
        QTest::newRow("basic") << "basic" << true;
        QTest::newRow("empty tables") << "empty-tables" << true;
        QTest::newRow("many categories") << "many-categories" << true;
        QTest::newRow("memo chain") << "memo-chain" << false;
        QTest::newRow("sample") << "sample" << true;
        QTest::newRow("split runs") << "split-runs" << true;
    }
    void shouldPrintEachFixtureAsItsScript()
    {
        QFETCH(QString, fixture);
        QFETCH(bool, scriptListsCatalogOrder);
        const Run run = runDump({testDataPath(fixture + ".mdb")});
        QVERIFY2(run.exitCode == 0, run.err.constData());
        QVERIFY(run.err.isEmpty());
        const QByteArray expected = scriptWithoutKeys(fixture);
        if (scriptListsCatalogOrder)
            QCOMPARE(run.out, expected);
        else
            QCOMPARE(tablesByName(run.out), tablesByName(expected));
    }

    void shouldReportAFailedOpenOnStandardError_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<QString>("expectedStart");
        const QString missing = QDir(QDir::tempPath()).filePath(QStringLiteral("no-such-dir/shareware.mdb"));
        const QString text = testDataPath("basic.txt");
        const QString usageMap = testDataPath("hostile/usage_map_len0_page2.mdb");
        const QString selfLoop = testDataPath("hostile/memo_chain_selfloop.mdb");
        QTest::newRow("missing file") << missing << QStringList()
                                      << QStringLiteral("-2147467259 : Could not find file '%1'.\n").arg(missing);
        QTest::newRow("missing file, listing") << missing << QStringList{"--query", "SELECT * FROM Category"}
                                               << QStringLiteral("-2147467259 : Could not find file '%1'.\n").arg(missing);
        QTest::newRow("not a database") << text << QStringList()
                                        << QStringLiteral("-2147467259 : Unrecognized database format '%1'.\n").arg(text);
        QTest::newRow("damaged catalog") << usageMap << QStringList()
                                         << QStringLiteral("-2147467259 : The catalog file '%1' is damaged: ").arg(usageMap);
        QTest::newRow("damaged memo") << selfLoop << QStringList()
                                      << QStringLiteral("-2147467259 : The catalog file '%1' is damaged: ").arg(selfLoop);
        QTest::newRow("statement refused") << testDataPath("basic.mdb") << QStringList{"--query", "SELECT FROM"}
                                           << QStringLiteral("-2147467259 : ");
    }
    void shouldReportAFailedOpenOnStandardError()
    {
        QFETCH(QString, path);
        QFETCH(QStringList, extra);
        QFETCH(QString, expectedStart);
        const Run run = runDump(QStringList{path} + extra);
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
        QTest::newRow("sorted")
            << QStringList{"--query", "SELECT Name, Price FROM Software WHERE Name LIKE '%zip%'", "--sort", "Name DESC"}
            << QByteArray("COLUMN Name 202\nCOLUMN Price 6\nROW ZipMaster\t29.95\nROW ArcView Zip\t0\nROW 100% Free Zip\t0\n");
        QTest::newRow("filtered and sorted")
            << QStringList{"--query", "SELECT Name, Price FROM Software", "--filter", "Name LIKE '*zip*'", "--sort",
                           "Name ASC"}
            << QByteArray("COLUMN Name 202\nCOLUMN Price 6\nROW 100% Free Zip\t0\nROW ArcView Zip\t0\nROW ZipMaster\t29.95\n");
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
