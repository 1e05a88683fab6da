#pragma once

// The desktop's accessibility bus for tests of what a screen reader meets: a private session
// bus (dbus-daemon) and the accessibility bus launcher on it, which starts the accessibility
// bus; the registry daemon is started on that bus when a client first asks for it, and leaves
// its parent, so it is found by the name it holds there. Everything is stopped by process id.
// Needs dbus-daemon and at-spi2-core from Debian, and Qt D-Bus.

#include "tests/support/child_process.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDeadlineTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>
#include <QThread>

namespace a11y {

/// The launcher's folder in Debian.
inline QString busLauncher() { return QStringLiteral("/usr/libexec/at-spi-bus-launcher"); }

/// A session bus and the accessibility bus, from start() to destruction.
class BusSession {
public:
    BusSession() = default;
    ~BusSession() { stop(); }
    BusSession(const BusSession &) = delete;
    BusSession &operator=(const BusSession &) = delete;

    /// Starts both buses for the X display `display`. On failure returns false with the reason
    /// in `why`, everything stopped.
    bool start(const QProcessEnvironment &desktop, QString *why)
    {
        const auto fail = [&](const QString &reason) { return desktop::failedStart(*this, why, reason); };
        m_daemon.setProcessEnvironment(desktop);
        m_sessionAddress = desktop::startSessionBus(m_daemon, m_folder.filePath(QStringLiteral("bus")));
        if (m_sessionAddress.isEmpty())
            return fail(QStringLiteral("dbus-daemon did not start"));

        QProcessEnvironment env = desktop;
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_sessionAddress);
        m_launcher.setProcessEnvironment(env);
        m_launcher.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_launcher.setStandardOutputFile(QProcess::nullDevice());
        m_launcher.start(busLauncher(), {QStringLiteral("--launch-immediately")});
        if (!m_launcher.waitForStarted(10000))
            return fail(QStringLiteral("the accessibility bus launcher did not start"));

        QDBusConnection session = QDBusConnection::connectToBus(m_sessionAddress, sessionName());
        if (!session.isConnected())
            return fail(QStringLiteral("no connection to the session bus"));
        const QDeadlineTimer launched(15000);
        while (m_busAddress.isEmpty() && !launched.hasExpired()) {
            const QDBusReply<QString> reply = session.call(QDBusMessage::createMethodCall(
                QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"), QStringLiteral("org.a11y.Bus"),
                QStringLiteral("GetAddress")));
            if (reply.isValid())
                m_busAddress = reply.value();
            else
                QThread::msleep(50);
        }
        if (m_busAddress.isEmpty())
            return fail(QStringLiteral("the accessibility bus gave no address"));
        QDBusConnection bus = QDBusConnection::connectToBus(m_busAddress, busName());
        if (!bus.isConnected())
            return fail(QStringLiteral("no connection to the accessibility bus"));
        m_busDaemonPid = ownerPid(bus, QStringLiteral("org.freedesktop.DBus"));
        return true;
    }

    /// The registry daemon first, found by its name on the accessibility bus (it is no child
    /// of ours), then the launcher, the accessibility bus and the session bus.
    void stop()
    {
        if (!m_busAddress.isEmpty()) {
            findRegistry();
            QDBusConnection::disconnectFromBus(busName());
            desktop::stopProcess(m_registryPid);
        }
        desktop::stopProcess(m_launcher);
        desktop::stopProcess(m_busDaemonPid);
        QDBusConnection::disconnectFromBus(sessionName());
        desktop::stopProcess(m_daemon);
        m_busAddress.clear();
    }

    qint64 busDaemonPid() const { return m_busDaemonPid; }
    /// The registry daemon's process id as the bus knows it now (0 when none runs yet).
    qint64 findRegistry()
    {
        QDBusConnection bus(busName());
        if (bus.isConnected())
            m_registryPid = ownerPid(bus, QStringLiteral("org.a11y.atspi.Registry"), false);
        return m_registryPid;
    }

    /// `env` with both buses, for a program that a screen reader reaches or for the reader.
    QProcessEnvironment environment(QProcessEnvironment env) const
    {
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_sessionAddress);
        env.insert(QStringLiteral("AT_SPI_BUS_ADDRESS"), m_busAddress);
        return env;
    }

private:
    static QString sessionName() { return QStringLiteral("a11y-test-session"); }
    static QString busName() { return QStringLiteral("a11y-test-bus"); }

    // Asking for the registry's owner would start it: only an owner that is there is asked for.
    static qint64 ownerPid(QDBusConnection &bus, const QString &name, bool startIfMissing = true)
    {
        QDBusConnectionInterface *daemon = bus.interface();
        if (!daemon)
            return 0;
        if (!startIfMissing && !daemon->isServiceRegistered(name).value())
            return 0;
        const QDBusReply<uint> pid = daemon->servicePid(name);
        return pid.isValid() ? qint64(pid.value()) : 0;
    }

    QTemporaryDir m_folder;  // where the session bus listens
    QProcess m_daemon;
    QProcess m_launcher;
    QString m_sessionAddress;
    QString m_busAddress;
    qint64 m_busDaemonPid = 0;
    qint64 m_registryPid = 0;
};

}  // namespace a11y
