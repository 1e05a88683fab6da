#include "catalog/jet_file.h"
#include "jet/protocol.h"
#include "reader/sandbox.h"
#include "tests/support/test_data.h"

#include <QtTest>

#ifdef Q_OS_LINUX
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

// What a process confined as the reader may not do but the reader process's own attempts
// (below) leave untried, and what its read path needs.
enum class Attempt { PtraceParent, SignalParent, WriteUngiven, WriteTheFile, MapTheFile, Allocate, Reply, Complain, ReadRequests };

#ifdef Q_OS_LINUX
/// In a child: confines itself as the reader does (keeping `path` open), tries `attempt`,
/// and ends with 0 when it succeeded, else with the errno it failed with.
[[noreturn]] void confinedChild(Attempt attempt, const char *path)
{
    const pid_t parent = getppid();
    const int fd = ::open(path, O_RDONLY);
    if (fd < 0 || !reader::sandbox::enter(fd).empty())
        _exit(200);
    static char big[1];
    long rc = -1;
    errno = 0;
    switch (attempt) {
    case Attempt::PtraceParent: rc = ptrace(PTRACE_ATTACH, parent, nullptr, nullptr); break;
    case Attempt::SignalParent: rc = kill(parent, 0); break;
    case Attempt::WriteUngiven: rc = write(fd + 1, "x", 1); break;
    case Attempt::WriteTheFile: rc = write(fd, "x", 1); break;
    case Attempt::MapTheFile: rc = mmap(nullptr, 4096, PROT_READ, MAP_PRIVATE, fd, 0) == MAP_FAILED ? -1 : 0; break;
    case Attempt::Allocate: {
        void *p = mmap(nullptr, 64 << 20, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        rc = p == MAP_FAILED ? -1 : munmap(p, 64 << 20);
        break;
    }
    case Attempt::Reply: rc = write(1, big, 0); break;
    case Attempt::Complain: rc = write(2, "x", 1); break;
    case Attempt::ReadRequests: rc = read(0, big, 0); break;
    }
    _exit(rc < 0 ? (errno ? errno : 201) : 0);
}

/// "killed by the filter", "allowed", or the error the call failed with.
QString outcome(int status)
{
    if (WIFSIGNALED(status))
        return WTERMSIG(status) == SIGSYS ? QStringLiteral("killed by the filter")
                                          : QStringLiteral("signal %1").arg(WTERMSIG(status));
    const int code = WEXITSTATUS(status);
    switch (code) {
    case 0: return QStringLiteral("allowed");
    case EPERM: return QStringLiteral("EPERM");
    case EBADF: return QStringLiteral("EBADF");
    case 200: return QStringLiteral("could not confine itself");
    }
    return QStringLiteral("exit %1").arg(code);
}

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
    void shouldStopWhatAConfinedReaderTries_data()
    {
        QTest::addColumn<int>("attempt");
        QTest::addColumn<QString>("expected");
        const QString killed = QStringLiteral("killed by the filter");
        QTest::newRow("ptrace its parent") << int(Attempt::PtraceParent) << killed;
        QTest::newRow("signal its parent") << int(Attempt::SignalParent) << killed;
        QTest::newRow("write a descriptor it was not given") << int(Attempt::WriteUngiven) << killed;
        QTest::newRow("write the file it reads") << int(Attempt::WriteTheFile) << killed;
#ifdef QUORBIX_SANITIZED
        // A sanitiser's reports need it: they go to a file the program names (see jet_file.cpp).
        QTest::newRow("complain on stderr, kept for reports") << int(Attempt::Complain) << "allowed";
#else
        QTest::newRow("complain on the closed stderr") << int(Attempt::Complain) << "EBADF";
#endif
        // What the read path needs.
        QTest::newRow("map the file it reads") << int(Attempt::MapTheFile) << "allowed";
        QTest::newRow("allocate and free memory") << int(Attempt::Allocate) << "allowed";
        QTest::newRow("read requests") << int(Attempt::ReadRequests) << "allowed";
        QTest::newRow("write replies") << int(Attempt::Reply) << "allowed";
    }
    void shouldStopWhatAConfinedReaderTries()
    {
#ifndef Q_OS_LINUX
        QSKIP("the reader is confined on Linux only");
#else
        QFETCH(int, attempt);
        QFETCH(QString, expected);
        const QByteArray path = testDataPath("basic.mdb").toLocal8Bit();
        const pid_t child = fork();
        QVERIFY(child >= 0);
        if (child == 0)
            confinedChild(Attempt(attempt), path.constData());
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        qInfo().noquote() << QTest::currentDataTag() << "->" << outcome(status);
        QCOMPARE(outcome(status), expected);
#endif
    }

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
        // What its read path does, so that a report is seen to come at all.
        QTest::newRow("map memory it can write") << QByteArray("map-writable") << "allowed";
        QTest::newRow("protect memory read-only") << QByteArray("protect-read-only") << "allowed";
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
        jet::JetFile file;
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
        struct Rows final : jet::RowSink {
            void columns(const QVector<jet::Column> &) override {}
            void row(const std::vector<jet::Cell> &) override { ++count; }
            int count = 0;
        } rows;
        QVERIFY(!file.readTable(QStringLiteral("Category"), rows));
        QCOMPARE(rows.count, 11);
#endif
    }
};

QTEST_GUILESS_MAIN(TestSandbox)
#include "test_sandbox.moc"
