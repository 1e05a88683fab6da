// The reader's confinement on Windows: started as the program starts it (in a job, with its
// standard handles alone) and confined as it confines itself, it tries what a crafted file
// might make it do.

#include "catalog/reader_client/job.h"
#include "jet/protocol.h"
#include "tests/support/test_data.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <windows.h>

namespace {

constexpr qint64 kCap = 64ll << 20;

bool underWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

QString attemptsReader() { return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("quorbix-reader-attempts.exe")); }

/// Starts `program` on basic.mdb as the program starts its reader, with `attempt` named.
void startConfined(QProcess &process, reader_client::ReaderJob &job, const QString &program, const QString &attempt)
{
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("SystemRoot"), qEnvironmentVariable("SystemRoot"));
    if (!attempt.isEmpty())
        environment.insert(QStringLiteral("QUORBIX_READER_ATTEMPT"), attempt);
    process.setProcessEnvironment(environment);
    process.setProgram(program);
    process.setArguments({QDir::toNativeSeparators(testDataPath(QStringLiteral("basic.mdb")))});
    QCOMPARE(job.prepare(process), QString());
    process.start();
    QVERIFY(process.waitForStarted(10000));
    QCOMPARE(job.adopt(process), QString());
}

}  // namespace

class TestReaderJob : public QObject {
    Q_OBJECT

private slots:
    void shouldRefuseWhatTheConfinedReaderTries_data()
    {
        QTest::addColumn<QString>("attempt");
        QTest::addColumn<QString>("expected");  // "refused" or "allowed"
        QTest::addColumn<bool>("wineEnforces");
        QTest::newRow("start a process") << "start-process" << "refused" << false;
        QTest::newRow("create a file where the user's programs write") << "write-file=<dir>\\written.txt" << "refused" << false;
        QTest::newRow("commit memory past the cap") << QStringLiteral("commit-memory=%1").arg(2 * kCap) << "refused" << false;
        QTest::newRow("memory that can run code") << "executable-memory" << "refused" << false;
        // What its read path does, so that a report is seen to come at all.
        QTest::newRow("commit memory within the cap") << QStringLiteral("commit-memory=%1").arg(kCap / 8) << "allowed" << true;
    }
    void shouldRefuseWhatTheConfinedReaderTries()
    {
        QFETCH(QString, attempt);
        QFETCH(QString, expected);
        QFETCH(bool, wineEnforces);
        QTemporaryDir dir;
        attempt.replace(QStringLiteral("<dir>"), QDir::toNativeSeparators(dir.path()));
        reader_client::ReaderJob job(kCap, 30);
        QProcess reader;
        startConfined(reader, job, attemptsReader(), attempt);
        QVERIFY(reader.waitForFinished(30000));
        const QString said = QString::fromUtf8(reader.readAllStandardOutput()).trimmed();
        qInfo().noquote() << QTest::currentDataTag() << "->" << said;
        QVERIFY2(said.startsWith(QStringLiteral("attempt ")), qPrintable(said));
        if (underWine() && !wineEnforces)
            QEXPECT_FAIL("", "Wine does not enforce this; Windows does", Continue);
        QCOMPARE(said.section(QStringLiteral(": "), 1).section(QLatin1Char(','), 0, 0), expected);
    }

    // Let go of, the job ends the reader: a program that ends, however it ends, leaves none.
    void shouldEndTheReaderWithItsJob()
    {
        auto job = std::make_unique<reader_client::ReaderJob>(kCap, 30);
        QProcess reader;
        startConfined(reader, *job, QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("quorbix-reader.exe")), {});
        QVERIFY(reader.waitForReadyRead(10000));
        QCOMPARE(reader.read(5).mid(4, 1), QByteArray(1, char(jet::protocol::FrameKind::Opened)));
        QVERIFY(!reader.waitForFinished(500));  // it waits for requests
        job.reset();
        QVERIFY(reader.waitForFinished(10000));
    }
};

QTEST_GUILESS_MAIN(TestReaderJob)
#include "test_reader_job.moc"
