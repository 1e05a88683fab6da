#pragma once

// Starting and stopping the helper processes a desktop test runs (display servers,
// compositors, buses), each stopped by its own process id.

#include <QByteArray>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QThread>

#include <fcntl.h>
#include <poll.h>
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
