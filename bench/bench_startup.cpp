// Times the program's start: from starting a process to its main window's first paint, on
// each catalog given (the demonstration catalog beside this executable when none is given).
// Each run is a fresh process that starts as the program does (application set-up, the
// main window built, loaded on the catalog as shareware.mdb in its folder, and shown),
// offscreen, and reports when the window has painted.
//
// Usage: bench_startup [CATALOG.mdb ...]

#include "frm_main.h"
#include "services.h"
#include "start_up.h"

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
#include <cstdio>
#include <vector>

namespace {

constexpr int kRuns = 11;
constexpr int kChildTimeoutMs = 30000;
const char *const kChildFlag = "--child";
const char *const kShownLine = "shown";

// Quits once the watched window has painted for the first time.
class FirstPaint : public QObject {
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_seen = false;
};

int runChild(int argc, char *argv[], const QString &appPath)
{
    QApplication app(argc, argv);
    setUpApplication(app);
    FirstPaint firstPaint;
    frmMain window(realServices(), appPath);
    window.installEventFilter(&firstPaint);
    window.Form_Load();
    window.show();
    app.exec();
    std::printf("%s %d\n", kShownLine, window.lblCategoryCount());
    std::fflush(stdout);
    return 0;
}

struct Timing {
    std::vector<double> ms;
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
        child.waitForFinished(kChildTimeoutMs);
        if (!line.startsWith(kShownLine)) {
            timing.failure = QStringLiteral("the window was not shown");
            return timing;
        }
        timing.categories = line.mid(int(qstrlen(kShownLine))).trimmed().toInt();
        timing.ms.push_back(ms);
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

    std::printf("%-40s %10s %8s %8s %8s %6s\n", "catalog (process start to first paint)",
                "size MB", "median", "min", "max", "cats");
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
        std::printf("%-40s %10.1f %6.0f ms %5.0f ms %5.0f ms %6d\n", qPrintable(info.fileName()),
                    double(info.size()) / (1024.0 * 1024.0), timing.ms[timing.ms.size() / 2],
                    timing.ms.front(), timing.ms.back(), timing.categories);
    }
    return status;
}
