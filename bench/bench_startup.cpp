// Times the program's start: from starting a process to its main window's first paint, on
// each catalog given (the demonstration catalog beside this executable when none is given),
// and its end: from Exit to the process's end. Each run is a fresh process that starts as the
// program does (application set-up, the main window built, loaded on the catalog as
// shareware.mdb in its folder, and shown), offscreen, reports when the window has painted,
// then clicks Exit and reports that.
//
// Usage: bench_startup [CATALOG.mdb ...]

#include "app/start_up.h"
#include "main_window/frm_main.h"
#include "window_services/services.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRuns = 11;
constexpr int kChildTimeoutMs = 30000;
const char *const kChildFlag = "--child";
const char *const kShownLine = "shown";
const char *const kExitLine = "exit";

// Once the watched window has painted for the first time: says so, then clicks Exit.
class FirstPaint : public QObject {
public:
    explicit FirstPaint(frmMain &window) : m_window(window) {}
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            QTimer::singleShot(0, qApp, [this] {
                std::printf("%s %d\n", kShownLine, m_window.lblCategoryCount());
                std::printf("%s\n", kExitLine);
                std::fflush(stdout);
                m_window.cmdClose_Click();
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    frmMain &m_window;
    bool m_seen = false;
};

// As the program's own main(): the application, the window, the event loop until Exit.
int runChild(int argc, char *argv[], const QString &appPath)
{
    QApplication app(argc, argv);
    setUpApplication(app);
    const auto window = std::make_unique<frmMain>(realServices(), appPath);
    FirstPaint firstPaint(*window);
    window->installEventFilter(&firstPaint);
    window->Form_Load();
    window->show();
    return app.exec();
}

struct Timing {
    std::vector<double> ms;
    std::vector<double> exitMs;  // from Exit to the process's end
    int categories = -1;
    QString failure;
};

Timing timeStarts(const QString &self, const QString &appPath)
{
    Timing timing;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    for (int run = 0; run < kRuns; ++run) {
        QProcess child;
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QElapsedTimer timer;
        timer.start();
        child.start(self, {QString::fromLatin1(kChildFlag), appPath});
        QByteArray line;
        while (!line.contains('\n') && child.waitForReadyRead(kChildTimeoutMs))
            line += child.readAllStandardOutput();
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        while (!line.contains(QByteArray("\n") + kExitLine) && child.waitForReadyRead(kChildTimeoutMs))
            line += child.readAllStandardOutput();
        const qint64 exitAt = timer.nsecsElapsed();
        const bool ended = child.waitForFinished(kChildTimeoutMs);
        const double exitMs = double(timer.nsecsElapsed() - exitAt) / 1e6;
        if (!line.startsWith(kShownLine)) {
            timing.failure = QStringLiteral("the window was not shown");
            return timing;
        }
        if (!ended || child.exitCode() != 0) {
            timing.failure = QStringLiteral("the program did not end after Exit");
            return timing;
        }
        timing.categories = line.left(line.indexOf('\n')).mid(int(qstrlen(kShownLine))).trimmed().toInt();
        timing.ms.push_back(ms);
        timing.exitMs.push_back(exitMs);
    }
    return timing;
}

}  // namespace

int main(int argc, char *argv[])
{
    if (argc == 3 && qstrcmp(argv[1], kChildFlag) == 0)
        return runChild(argc, argv, QString::fromLocal8Bit(argv[2]));

    QCoreApplication app(argc, argv);
    QStringList catalogs = app.arguments().mid(1);
    if (catalogs.isEmpty())
        catalogs << QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("shareware.mdb"));

    std::printf("%-40s %10s %8s %8s %8s %6s %12s %8s\n", "catalog (process start to first paint)",
                "size MB", "median", "min", "max", "cats", "Exit to end", "max");
    int status = 0;
    for (const QString &catalog : catalogs) {
        const QFileInfo info(catalog);
        QTemporaryDir appDir;
        // The program reads "shareware.mdb" in its folder; a link spares copying a large file.
        if (!info.exists()
            || !QFile::link(info.absoluteFilePath(), QDir(appDir.path()).filePath(QStringLiteral("shareware.mdb")))) {
            std::printf("%-40s  cannot be used\n", qPrintable(info.fileName()));
            status = 1;
            continue;
        }
        Timing timing = timeStarts(QCoreApplication::applicationFilePath(), appDir.path());
        if (!timing.failure.isEmpty()) {
            std::printf("%-40s  %s\n", qPrintable(info.fileName()), qPrintable(timing.failure));
            status = 1;
            continue;
        }
        std::sort(timing.ms.begin(), timing.ms.end());
        std::sort(timing.exitMs.begin(), timing.exitMs.end());
        std::printf("%-40s %10.1f %6.0f ms %5.0f ms %5.0f ms %6d %9.1f ms %5.1f ms\n", qPrintable(info.fileName()),
                    double(info.size()) / (1024.0 * 1024.0), timing.ms[timing.ms.size() / 2],
                    timing.ms.front(), timing.ms.back(), timing.categories,
                    timing.exitMs[timing.exitMs.size() / 2], timing.exitMs.back());
    }
    return status;
}
