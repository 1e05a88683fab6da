#pragma once

// A desktop for tests of what depends on a window manager (sizes, frames, placement, focus):
// a private Xvfb server on a display number it picks itself, and a window manager on it.
// Test programs start one, run their windows on Qt's xcb platform in a child process with
// environment(), and tear it down. Needs Xvfb and the window managers from Debian, and libxcb.

#include "tests/support/child_process.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <xcb/xcb.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>

namespace desktop {

/// The window managers a test can ask for: "none" runs the windows on the bare server.
inline QStringList windowManagers() { return {"openbox", "xfwm4", "twm", "none"}; }

/// Frees an xcb reply when it goes.
template <typename T>
using XReply = std::unique_ptr<T, decltype(&std::free)>;
template <typename T>
XReply<T> xreply(T *reply)
{
    return XReply<T>(reply, &std::free);
}

/// True when a client holds the redirection of the root window's children: a window manager.
inline bool windowManagerRuns(xcb_connection_t *c)
{
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const auto attributes = xreply(xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, root), nullptr));
    return attributes && (attributes->all_event_masks & XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT);
}

/// What the user sees of a top-level window, in root coordinates: the window manager's frame
/// window (the window's ancestor just below the root) with its border, or the window itself
/// when nothing frames it. Read from the X server, not from the program's own idea of it.
inline std::optional<QRect> outerGeometry(xcb_connection_t *c, xcb_window_t window)
{
    xcb_window_t top = window;
    for (int depth = 0; depth < 16; ++depth) {
        const auto tree = xreply(xcb_query_tree_reply(c, xcb_query_tree(c, top), nullptr));
        if (!tree)
            return std::nullopt;
        if (tree->parent == tree->root || tree->parent == XCB_WINDOW_NONE)
            break;
        top = tree->parent;
    }
    const auto geometry = xreply(xcb_get_geometry_reply(c, xcb_get_geometry(c, top), nullptr));
    if (!geometry)
        return std::nullopt;
    const int border = geometry->border_width;
    return QRect(geometry->x, geometry->y, geometry->width + 2 * border, geometry->height + 2 * border);
}

/// True once the top-level `window` is on the screen (viewable).
inline bool isViewable(xcb_connection_t *c, xcb_window_t window)
{
    const auto attributes = xreply(xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr));
    return attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
}

/// An Xvfb server and a window manager, from start() to destruction.
class Session {
public:
    /// `manager` is one of windowManagers().
    explicit Session(QString manager, QSize screen = QSize(1600, 1000))
        : m_manager(std::move(manager)), m_screen(screen)
    {
    }
    ~Session() { stop(); }
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    /// Starts the server and the window manager and waits until the window manager manages
    /// the screen. On failure returns false with the reason in `why`, everything stopped.
    bool start(QString *why)
    {
        const auto fail = [&](const QString &reason) { return failedStart(*this, why, reason); };
        if (!m_home.isValid())
            return fail("no temporary folder");
        if (!startServer())
            return fail("Xvfb did not start: " + QString::fromLocal8Bit(m_server.readAllStandardError()));
        if (m_manager == QLatin1String("none"))
            return true;
        const QStringList command = managerCommand();
        if (command.isEmpty())
            return fail("unknown window manager " + m_manager);
        QProcessEnvironment wmEnvironment = baseEnvironment();
        // xfwm4 reads its settings over a session bus and will not run without one.
        if (m_manager == QLatin1String("xfwm4")) {
            const QString address = startSessionBus(m_bus, m_home.filePath("bus"));
            if (address.isEmpty())
                return fail("dbus-daemon did not start for " + m_manager);
            wmEnvironment.insert("DBUS_SESSION_BUS_ADDRESS", address);
        }
        m_wm.setProcessEnvironment(wmEnvironment);
        m_wm.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_wm.setStandardOutputFile(QProcess::nullDevice());
        m_wm.start(command.first(), command.mid(1));
        if (!m_wm.waitForStarted(10000))
            return fail(m_manager + " did not start");
        xcb_connection_t *c = m_connection;
        const bool managed = waitFor([&] {
            return m_wm.state() != QProcess::NotRunning && windowManagerRuns(c);
        }, 15000);
        if (!managed)
            return fail(m_manager + " did not take the screen");
        return true;
    }

    void stop()
    {
        for (QProcess *p : {&m_wm, &m_bus, &m_server})
            stopProcess(*p);
        if (m_connection) {
            xcb_disconnect(m_connection);
            m_connection = nullptr;
        }
    }

    /// The environment for a process that shows windows on this desktop: Qt on xcb on this
    /// display, and a private home and configuration folder.
    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = baseEnvironment();
        env.insert("QT_QPA_PLATFORM", "xcb");
        return env;
    }

private:
    QProcessEnvironment baseEnvironment() const
    {
        QProcessEnvironment env = privateHome(m_home, m_home.path());  // private to this user, as Qt wants
        env.insert("DISPLAY", m_display);
        env.remove("WAYLAND_DISPLAY");
        env.remove("DBUS_SESSION_BUS_ADDRESS");
        env.remove("XAUTHORITY");
        return env;
    }

    QStringList managerCommand() const
    {
        if (m_manager == QLatin1String("openbox"))
            return {"openbox", "--sm-disable"};
        if (m_manager == QLatin1String("twm"))
            return {"twm"};
        if (m_manager == QLatin1String("xfwm4"))
            return {"xfwm4", "--compositor=off"};
        return {};
    }

    // Xvfb picks a free display itself and writes its number to the descriptor it is given.
    bool startServer()
    {
        m_server.setProcessChannelMode(QProcess::SeparateChannels);
        m_server.setStandardOutputFile(QProcess::nullDevice());
        const QString screen = QString("%1x%2x24").arg(m_screen.width()).arg(m_screen.height());
        const QByteArray number = startAndReadLineOnFd3(
            m_server, "Xvfb", {"-displayfd", "3", "-screen", "0", screen, "-nolisten", "tcp", "-noreset", "-dpi", "96"});
        if (number.isEmpty())
            return false;
        m_display = ":" + QString::fromLatin1(number);
        const QByteArray name = m_display.toLatin1();
        const bool connected = waitFor([&] {
            m_connection = xcb_connect(name.constData(), nullptr);
            if (!xcb_connection_has_error(m_connection))
                return true;
            xcb_disconnect(m_connection);
            m_connection = nullptr;
            return false;
        }, 10000);
        return connected;
    }

    QString m_manager;
    QSize m_screen;
    QString m_display;
    QTemporaryDir m_home;
    QProcess m_server;
    QProcess m_wm;
    QProcess m_bus;
    xcb_connection_t *m_connection = nullptr;
};

}  // namespace desktop
