#include "catalog/reader_client/catalog_file.h"
#include "jet/protocol.h"
#include "tests/catalog/catalog_file_bytes.h"
#include "tests/support/test_data.h"

#include <QtTest>

#ifdef Q_OS_LINUX
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_LINUX
#ifdef QUORBIX_READER_ATTEMPTS
struct Ran {
    int status = 0;
    QByteArray said;  // on stdout
};

/// `program` started on `path` as the program starts the reader, with no requests and
/// QUORBIX_READER_ATTEMPT=`attempt` as its whole environment.
Ran runReader(const char *program, const QByteArray &attempt, const QByteArray &path)
{
    const QByteArray variable = "QUORBIX_READER_ATTEMPT=" + attempt;
    char *const argv[] = {const_cast<char *>(program), const_cast<char *>(path.constData()), nullptr};
    char *const envp[] = {const_cast<char *>(variable.constData()), nullptr};
    Ran ran;
    int out[2];
    if (pipe(out) != 0)
        return {-1, "no pipe"};
    const pid_t child = fork();
    if (child == 0) {
        const int none = ::open("/dev/null", O_RDONLY);
        dup2(none, 0);
        dup2(out[1], 1);
        execve(program, argv, envp);
        _exit(127);
    }
    ::close(out[1]);
    char buf[256];
    for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;)
        ran.said.append(buf, n);
    ::close(out[0]);
    if (child < 0 || waitpid(child, &ran.status, 0) != child)
        return {-1, "not started"};
    return ran;
}

/// What the reader built with the attempts hook made of trying `attempt` once confined
/// with `path` open: its report ("allowed", "refused, errno N"), "killed by the filter", or
/// how it ended without a report.
QString readerAttempt(const QByteArray &attempt, const QByteArray &path)
{
    const Ran ran = runReader(QUORBIX_READER_ATTEMPTS, attempt, path);
    const QByteArray prefix = "attempt " + attempt + ": ";
    if (ran.said.startsWith(prefix) && WIFEXITED(ran.status) && WEXITSTATUS(ran.status) == 0)
        return QString::fromUtf8(ran.said.mid(prefix.size()).trimmed());
    if (WIFSIGNALED(ran.status))
        return WTERMSIG(ran.status) == SIGSYS ? QStringLiteral("killed by the filter")
                                              : QStringLiteral("signal %1").arg(WTERMSIG(ran.status));
    return QStringLiteral("exit %1 without a report: %2")
        .arg(WEXITSTATUS(ran.status))
        .arg(QString::fromLatin1(ran.said.toHex()));
}
#endif

/// The reader process this process started.
pid_t readerChild()
{
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        // pid (comm) state ppid ...
        const QList<QByteArray> after = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (line.contains("(quorbix-reader)") && after.size() > 1 && after[1].toInt() == getpid())
            return entry.toInt();
    }
    return -1;
}
#endif

}  // namespace

class TestSandbox : public QObject {
    Q_OBJECT
private slots:
    // The reader itself, confined as it confines itself before it parses a file, tries what
    // a crafted file might make it do; the filter ends it at each forbidden call.
    void shouldStopWhatTheConfinedReaderProcessTries_data()
    {
        QTest::addColumn<QByteArray>("attempt");
        QTest::addColumn<QString>("expected");
        const QString killed = QStringLiteral("killed by the filter");
        QTest::newRow("map memory that can run code") << QByteArray("map-executable") << killed;
        QTest::newRow("map its file so that it can run") << QByteArray("map-file-executable") << killed;
        QTest::newRow("protect memory so that it can run code") << QByteArray("protect-executable") << killed;
        QTest::newRow("protect memory with a key so that it can run code") << QByteArray("protect-key-executable") << killed;
        QTest::newRow("open a file") << QByteArray("open-file") << killed;
        QTest::newRow("create a socket") << QByteArray("socket") << killed;
        QTest::newRow("fork") << QByteArray("fork") << killed;
        QTest::newRow("exec a program") << QByteArray("exec") << killed;
        QTest::newRow("exec a program that is not there") << QByteArray("exec-missing") << killed;
        QTest::newRow("raise the open-files limit") << QByteArray("raise-open-files-limit") << killed;
        QTest::newRow("raise the file-size limit") << QByteArray("raise-file-size-limit") << killed;
        QTest::newRow("ptrace its parent") << QByteArray("ptrace-parent") << killed;
        QTest::newRow("signal its parent") << QByteArray("signal-parent") << killed;
        QTest::newRow("write a descriptor it was not given") << QByteArray("write-ungiven") << killed;
        QTest::newRow("write the file it reads") << QByteArray("write-file") << killed;
#ifdef QUORBIX_SANITIZED
        // A sanitiser's reports need it: they go to a file the program names (see catalog_file.cpp).
        QTest::newRow("complain on stderr, kept for reports") << QByteArray("write-stderr") << "allowed";
#else
        QTest::newRow("complain on the closed stderr") << QByteArray("write-stderr") << "refused, errno 9";
#endif
        // What its read path does, so that a report is seen to come at all.
        QTest::newRow("map memory it can write") << QByteArray("map-writable") << "allowed";
        QTest::newRow("protect memory read-only") << QByteArray("protect-read-only") << "allowed";
        QTest::newRow("map the file it reads") << QByteArray("map-file") << "allowed";
        QTest::newRow("read requests") << QByteArray("read-requests") << "allowed";
    }
    void shouldStopWhatTheConfinedReaderProcessTries()
    {
#ifndef QUORBIX_READER_ATTEMPTS
        QSKIP("the reader is confined on Linux only");
#else
        QFETCH(QByteArray, attempt);
        QFETCH(QString, expected);
        const QString outcome = readerAttempt(attempt, testDataPath("basic.mdb").toLocal8Bit());
        qInfo().noquote() << QTest::currentDataTag() << "->" << outcome;
        QCOMPARE(outcome, expected);
#endif
    }

    // The reader that is installed has no such hook: told to try an action, it opens its
    // file, says so and ends with its requests.
    void shouldLeaveTheAttemptsOutOfTheInstalledReader()
    {
#ifndef QUORBIX_READER_ATTEMPTS
        QSKIP("the reader is confined on Linux only");
#else
        const QString reader = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("quorbix-reader"));
        const Ran ran = runReader(QFile::encodeName(reader).constData(), "map-executable",
                                  testDataPath("basic.mdb").toLocal8Bit());
        QVERIFY(WIFEXITED(ran.status));
        QCOMPARE(WEXITSTATUS(ran.status), 0);
        QCOMPARE(ran.said.mid(4, 1), QByteArray(1, char(jet::protocol::FrameKind::Opened)));
        QFile program(reader);
        QVERIFY(program.open(QIODevice::ReadOnly));
        QVERIFY(!program.readAll().contains("QUORBIX_READER_ATTEMPT"));
#endif
    }

    // A descriptor this process leaves open for its children, and its whole environment:
    // neither reaches the reader.
    void shouldStartTheReaderWithItsThreeDescriptorsAndNoEnvironment()
    {
#ifndef Q_OS_LINUX
        QSKIP("read from /proc");
#else
        const int leaked = ::open("/etc/hostname", O_RDONLY);  // deliberately without O_CLOEXEC
        QVERIFY(leaked >= 0);
        qputenv("QUORBIX_SECRET", "not for the reader");
        reader_client::CatalogFile file;
        const ado::Error opened = file.open(testDataPath("basic.mdb"));
        ::close(leaked);
        QVERIFY2(!opened, qPrintable(opened.Description));
        const pid_t reader = readerChild();
        QVERIFY(reader > 0);

        QMap<int, QString> descriptors;  // number: "pipe" or the file's name
        const QDir fds(QStringLiteral("/proc/%1/fd").arg(reader));
        for (const QString &fd : fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
            const QString target = QFile::symLinkTarget(fds.filePath(fd));
            descriptors[fd.toInt()] = target.contains(QLatin1String("pipe:")) ? QStringLiteral("pipe") : QFileInfo(target).fileName();
        }
#ifdef QUORBIX_SANITIZED
        QCOMPARE(descriptors.size(), 4);  // and stderr, for a sanitiser's reports
        QCOMPARE(descriptors.value(2), QStringLiteral("null"));
#else
        QCOMPARE(descriptors.size(), 3);
#endif
        QCOMPARE(descriptors.value(0), QStringLiteral("pipe"));
        QCOMPARE(descriptors.value(1), QStringLiteral("pipe"));
        QCOMPARE(descriptors.last(), QStringLiteral("basic.mdb"));
        QFile environ(QStringLiteral("/proc/%1/environ").arg(reader));
        QVERIFY(environ.open(QIODevice::ReadOnly));
        QCOMPARE(environ.readAll(), QByteArray());

        // Confined, it still reads.
        jetbytes::TableRows rows;
        QVERIFY(!file.readTable(QStringLiteral("Category"), rows));
        QCOMPARE(rows.rows, 11);
#endif
    }
};

QTEST_GUILESS_MAIN(TestSandbox)
#include "test_sandbox.moc"
