#pragma once

// Starting and stopping the helper processes a desktop test runs (display servers,
// compositors, buses), each stopped by its own process id.

#include <QByteArray>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <functional>

namespace desktop {

/// Waits for `done`, checking every 10 ms, until `timeoutMs`; true when it came.
inline bool waitFor(const std::function<bool()> &done, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(10);
    }
    return true;
}

/// Starts `program` with descriptor 3 open for writing, as Xvfb's -displayfd 3 and
/// dbus-daemon's --print-address=3 want, and returns the first line it writes there (without
/// the line end); empty when it wrote none within 15 s.
inline QByteArray startAndReadLineOnFd3(QProcess &process, const QString &program, const QStringList &arguments)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return {};
    const int writeEnd = fds[1];
    process.setChildProcessModifier([writeEnd] {
        if (writeEnd == 3)
            ::fcntl(3, F_SETFD, 0);
        else
            ::dup2(writeEnd, 3);
    });
    process.start(program, arguments);
    ::close(writeEnd);
    QByteArray line;
    if (process.waitForStarted(10000)) {
        pollfd readable{fds[0], POLLIN, 0};
        const QDeadlineTimer deadline(15000);
        while (!line.endsWith('\n') && !deadline.hasExpired()
               && ::poll(&readable, 1, int(qMax<qint64>(1, deadline.remainingTime()))) > 0) {
            char buffer[256];
            const ssize_t got = ::read(fds[0], buffer, sizeof buffer);
            if (got <= 0)
                break;
            line.append(buffer, got);
        }
    }
    ::close(fds[0]);
    return line.endsWith('\n') ? line.trimmed() : QByteArray();
}

/// Starts a private session bus (dbus-daemon) listening on the Unix socket `socket`; its
/// address, empty when it did not start.
inline QString startSessionBus(QProcess &bus, const QString &socket)
{
    bus.setProcessChannelMode(QProcess::SeparateChannels);
    bus.setStandardOutputFile(QProcess::nullDevice());
    return QString::fromLocal8Bit(startAndReadLineOnFd3(
        bus, "dbus-daemon",
        {"--session", "--nofork", "--nopidfile", "--nosyslog", "--address=unix:path=" + socket, "--print-address=3"}));
}

/// A session's start that failed: the reason in `why` (when asked for), and everything the
/// session started stopped.
template <typename Session>
bool failedStart(Session &session, QString *why, const QString &reason)
{
    if (why)
        *why = reason;
    session.stop();
    return false;
}

/// This process's environment for a program with a home of its own in `home` (its settings,
/// cache and data there), runtime files in `runtime`, and no scale setting of the user's.
inline QProcessEnvironment privateHome(const QTemporaryDir &home, const QString &runtime)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.path());
    env.insert("XDG_CONFIG_HOME", home.filePath(".config"));
    env.insert("XDG_CACHE_HOME", home.filePath(".cache"));
    env.insert("XDG_DATA_HOME", home.filePath(".local/share"));
    env.insert("XDG_RUNTIME_DIR", runtime);
    for (const char *name : {"QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS", "QT_AUTO_SCREEN_SCALE_FACTOR",
                             "QT_ENABLE_HIGHDPI_SCALING"})
        env.remove(name);
    return env;
}

/// True while a process with that id exists (a zombie counts as gone).
inline bool processRuns(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (pid <= 0 || !stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close < 0 || line.mid(close + 2, 1) != "Z";
}

/// Ends the process `pid`, even one that is no child of ours: asks, then forces after `graceMs`.
inline void stopProcess(qint64 pid, int graceMs = 2000)
{
    if (!processRuns(pid))
        return;
    ::kill(pid_t(pid), SIGTERM);
    waitFor([pid] { return !processRuns(pid); }, graceMs);
    if (processRuns(pid))
        ::kill(pid_t(pid), SIGKILL);
}

/// Stops a helper process by its id: asked first, then killed.
inline void stopProcess(QProcess &process, int waitMs = 3000)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(waitMs)) {
        process.kill();
        process.waitForFinished(3000);
    }
}

}  // namespace desktop
