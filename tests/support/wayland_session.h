#pragma once

// A Wayland desktop for tests of what depends on the compositor (sizes, decorations, the
// parent relation, focus): a private session bus and a headless compositor, each in a runtime
// folder of its own, started here and stopped by process id. Test programs run their windows
// on Qt's wayland platform in a child process with environment(), and tear it down.
// Needs the compositors from Debian (weston, sway, mutter) and dbus-daemon.

#include "tests/support/child_process.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <grp.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <optional>

namespace desktop {

/// The compositors a test can ask for.
inline QStringList compositors() { return {"weston", "sway", "mutter"}; }

/// True when something accepts connections on the Unix socket at `path`.
inline bool socketAnswers(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    sockaddr_un address{};
    if (std::size_t(name.size()) >= sizeof address.sun_path)
        return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, name.constData(), std::size_t(name.size()));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

/// A session bus, a headless compositor on it, from start() to destruction.
class WaylandSession {
public:
    /// `compositor` is one of compositors(); `screen` the one output's size; `scale` its
    /// scale (weston only).
    explicit WaylandSession(QString compositor, QSize screen = QSize(1280, 800), int scale = 1)
        : m_compositor(std::move(compositor)), m_screen(screen), m_scale(scale)
    {
    }
    ~WaylandSession() { stop(); }
    WaylandSession(const WaylandSession &) = delete;
    WaylandSession &operator=(const WaylandSession &) = delete;

    /// Starts the bus and the compositor and waits until the compositor takes clients. On
    /// failure returns false with the reason in `why`, everything stopped.
    bool start(QString *why)
    {
        const auto fail = [&](const QString &reason) { return failedStart(*this, why, reason); };
        if (!m_home.isValid())
            return fail("no temporary folder");
        for (const char *folder : {"client", "compositor"}) {
            QDir(m_home.path()).mkpath(folder);
            ::chmod(QFile::encodeName(m_home.filePath(folder)).constData(), 0700);  // as Wayland asks
        }
        m_busAddress = startSessionBus(m_bus, m_home.filePath("bus"));
        if (m_busAddress.isEmpty())
            return fail("dbus-daemon did not start: " + QString::fromLocal8Bit(m_bus.readAllStandardError()));
        m_compositorProcess.setProcessEnvironment(compositorEnvironment());
        m_compositorProcess.setProcessChannelMode(QProcess::MergedChannels);
        m_compositorProcess.setStandardOutputFile(m_home.filePath("compositor.log"));
        QStringList command;
        if (m_compositor == QLatin1String("weston")) {
            // --debug lets weston-screenshooter take pictures of the screen.
            command = {"weston", "--backend=headless-backend.so", "--use-pixman", "--idle-time=0", "--debug",
                       "--socket=" + kSocket, QString("--width=%1").arg(m_screen.width()),
                       QString("--height=%1").arg(m_screen.height()), QString("--scale=%1").arg(m_scale)};
        } else if (m_compositor == QLatin1String("mutter")) {
            command = {"mutter", "--wayland", "--headless", "--no-x11", "--virtual-monitor",
                       QString("%1x%2").arg(m_screen.width()).arg(m_screen.height()),
                       "--wayland-display", kSocket};
        } else if (m_compositor == QLatin1String("sway")) {
            if (!prepareSway())
                return fail("no unprivileged user to run sway as");
            command = {"sway", "--config", m_home.filePath("compositor/sway.conf")};
        } else {
            return fail("unknown compositor " + m_compositor);
        }
        m_compositorProcess.start(command.first(), command.mid(1));
        if (!m_compositorProcess.waitForStarted(10000))
            return fail(m_compositor + " did not start");
        const bool ready = waitFor([&] {
            if (m_compositorProcess.state() == QProcess::NotRunning)
                return true;
            if (m_compositor == QLatin1String("sway") && (m_swaySocket.isEmpty() || m_socket.isEmpty())) {
                // sway names its sockets itself.
                const QDir folder(m_home.filePath("compositor"));
                const QStringList ipc = folder.entryList({"sway-ipc.*.sock"}, QDir::System);
                if (!ipc.isEmpty())
                    m_swaySocket = folder.filePath(ipc.first());
                const QStringList wayland = folder.entryList({"wayland-?"}, QDir::System);
                if (!wayland.isEmpty())
                    m_socket = folder.filePath(wayland.first());
            }
            return socketAnswers(waylandSocket())
                   && (m_compositor != QLatin1String("sway") || (!m_swaySocket.isEmpty() && socketAnswers(m_swaySocket)));
        }, 30000);
        if (!ready || m_compositorProcess.state() == QProcess::NotRunning)
            return fail(m_compositor + " did not take clients: " + log());
        return true;
    }

    void stop()
    {
        for (QProcess *p : {&m_compositorProcess, &m_bus})
            stopProcess(*p, 5000);
    }

    /// The compositor's Wayland socket, as an absolute path.
    QString waylandSocket() const { return m_socket.isEmpty() ? m_home.filePath("compositor/" + kSocket) : m_socket; }
    /// What the compositor printed so far.
    QString log() const
    {
        QFile file(m_home.filePath("compositor.log"));
        return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll().right(4000)) : QString();
    }

    /// The environment for a process that shows windows on this desktop: Qt on wayland on this
    /// compositor, the session bus, a private home, configuration and runtime folder.
    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = privateHome(m_home, m_home.filePath("client"));
        env.insert("WAYLAND_DISPLAY", waylandSocket());
        env.insert("DBUS_SESSION_BUS_ADDRESS", m_busAddress);
        env.insert("QT_QPA_PLATFORM", "wayland");
        if (!m_swaySocket.isEmpty())
            env.insert("SWAYSOCK", m_swaySocket);
        else
            env.remove("SWAYSOCK");
        for (const char *name : {"DISPLAY", "XAUTHORITY", "QT_WAYLAND_DISABLE_WINDOWDECORATION", "QT_WAYLAND_DECORATION"})
            env.remove(name);
        return env;
    }

private:
    inline static const QString kSocket = QStringLiteral("wayland-test");

    QProcessEnvironment compositorEnvironment() const
    {
        QProcessEnvironment env;
        env.insert("PATH", qEnvironmentVariable("PATH", "/usr/bin:/bin"));
        env.insert("HOME", m_home.filePath("compositor"));
        env.insert("XDG_RUNTIME_DIR", m_home.filePath("compositor"));
        env.insert("DBUS_SESSION_BUS_ADDRESS", m_busAddress);
        env.insert("LANG", "C.UTF-8");
        if (m_compositor == QLatin1String("sway")) {
            env.insert("WLR_BACKENDS", "headless");
            env.insert("WLR_LIBINPUT_NO_DEVICES", "1");
            env.insert("WLR_RENDERER", "pixman");
            env.insert("WLR_HEADLESS_OUTPUTS", "1");
        }
        return env;
    }

    // sway will not run as root: it runs as the user "nobody" then, in a folder of its own.
    bool prepareSway()
    {
        QFile config(m_home.filePath("compositor/sway.conf"));
        if (!config.open(QIODevice::WriteOnly))
            return false;
        config.write(QString("output HEADLESS-1 resolution %1x%2 position 0 0\n"
                             "seat seat0 fallback true\n")
                         .arg(m_screen.width())
                         .arg(m_screen.height())
                         .toUtf8());
        config.close();
        if (::geteuid() != 0)
            return true;
        const passwd *user = ::getpwnam("nobody");
        if (!user)
            return false;
        const uid_t uid = user->pw_uid;
        const gid_t gid = user->pw_gid;
        const QByteArray folder = QFile::encodeName(m_home.filePath("compositor"));
        if (::chown(folder.constData(), uid, gid) != 0)
            return false;
        ::chmod(QFile::encodeName(m_home.path()).constData(), 0711);  // nobody passes through to its folder
        ::chmod(QFile::encodeName(config.fileName()).constData(), 0644);
        m_compositorProcess.setChildProcessModifier([uid, gid] {
            if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)
                ::_exit(126);
        });
        return true;
    }

    QString m_compositor;
    QSize m_screen;
    int m_scale = 1;
    QTemporaryDir m_home;
    QProcess m_bus;
    QProcess m_compositorProcess;
    QString m_busAddress;
    QString m_swaySocket;
    QString m_socket;  // where the compositor names its socket itself
};

}  // namespace desktop
