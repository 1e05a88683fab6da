#include "window_services/window_frame.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLibraryInfo>
#include <QVersionNumber>
#include <QDeadlineTimer>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>
#include <vector>

#ifdef Q_OS_LINUX
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>
#endif

#ifdef Q_OS_WIN
#include <windows.h>
#endif

#ifdef QUORBIX_HAVE_XCB
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>

#include <cmath>
#include <cstdlib>
#endif

namespace window_frame {
namespace {

#ifdef QUORBIX_HAVE_XCB

template <typename T>
struct Reply {
    T *p = nullptr;
    explicit Reply(T *reply) : p(reply) {}
    ~Reply() { std::free(p); }
    Reply(const Reply &) = delete;
    Reply &operator=(const Reply &) = delete;
    T *operator->() const { return p; }
    explicit operator bool() const { return p != nullptr; }
};

xcb_connection_t *x11Connection()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    const auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t frameExtentsAtom(xcb_connection_t *c)
{
    static const char name[] = "_NET_FRAME_EXTENTS";
    static xcb_atom_t atom = XCB_ATOM_NONE;
    if (atom == XCB_ATOM_NONE) {
        Reply reply(xcb_intern_atom_reply(
            c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr));
        if (reply)
            atom = reply->atom;
    }
    return atom;
}

// A window manager holds the redirection of the root window's children: only one client can.
bool windowManagerRuns(xcb_connection_t *c, xcb_window_t root)
{
    Reply attributes(xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, root), nullptr));
    return attributes && (attributes->all_event_masks & XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT);
}

std::optional<QMargins> frameExtentsProperty(xcb_connection_t *c, xcb_window_t window)
{
    const xcb_atom_t atom = frameExtentsAtom(c);
    if (atom == XCB_ATOM_NONE)
        return std::nullopt;
    Reply property(xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, atom, XCB_ATOM_CARDINAL, 0, 4), nullptr));
    if (!property || property->type != XCB_ATOM_CARDINAL || property->format != 32
        || xcb_get_property_value_length(property.p) != 16)
        return std::nullopt;
    const auto *v = static_cast<const uint32_t *>(xcb_get_property_value(property.p));
    // Stored as left, right, top, bottom.
    return QMargins(int(v[0]), int(v[2]), int(v[1]), int(v[3]));
}

// The frame from the window tree: the ancestor just below the root is the frame window.
std::optional<QMargins> frameFromTree(xcb_connection_t *c, xcb_window_t window, xcb_window_t root,
                                      xcb_window_t parent)
{
    xcb_window_t frame = parent;
    for (int depth = 0; depth < 16; ++depth) {
        Reply tree(xcb_query_tree_reply(c, xcb_query_tree(c, frame), nullptr));
        if (!tree)
            return std::nullopt;
        if (tree->parent == root || tree->parent == XCB_WINDOW_NONE)
            break;
        frame = tree->parent;
    }
    Reply outer(xcb_get_geometry_reply(c, xcb_get_geometry(c, frame), nullptr));
    Reply inner(xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr));
    Reply offset(xcb_translate_coordinates_reply(
        c, xcb_translate_coordinates(c, window, frame, 0, 0), nullptr));
    if (!outer || !inner || !offset)
        return std::nullopt;
    const int border = outer->border_width;
    const QMargins margins(offset->dst_x + border, offset->dst_y + border,
                           outer->width + border - inner->width - offset->dst_x,
                           outer->height + border - inner->height - offset->dst_y);
    // A frame window still being set up can be smaller than the window it holds.
    if (margins.left() < 0 || margins.top() < 0 || margins.right() < 0 || margins.bottom() < 0)
        return std::nullopt;
    return margins;
}

bool isViewable(xcb_connection_t *c, xcb_window_t window)
{
    Reply attributes(xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr));
    return attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
}

// A manager that does not publish the frame resizes a framed window in two steps, the
// window and then its frame (or the other way round); read between the two, the tree gives
// a frame that is not the one drawn. The frame stays the same while the window is mapped, so
// the tree is read once for each mapping. Keyed by window: the GUI thread alone asks.
std::unordered_map<xcb_window_t, QMargins> &treeFrames()
{
    static std::unordered_map<xcb_window_t, QMargins> frames;
    return frames;
}

std::optional<QMargins> x11Frame(xcb_connection_t *c, xcb_window_t window)
{
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    if (!windowManagerRuns(c, root))
        return QMargins();
    // A window manager maps a window only once it has framed it, and takes the frame away
    // only after it is unmapped: a frame read while the window stays viewable is the one the
    // user sees, not one still being built or taken down.
    if (!isViewable(c, window)) {
        treeFrames().erase(window);
        return std::nullopt;
    }
    Reply tree(xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr));
    if (!tree)
        return std::nullopt;
    std::optional<QMargins> frame = frameExtentsProperty(c, window);
    bool fromTree = false;
    if (!frame) {
        if (tree->parent == tree->root) {
            frame = QMargins();  // a window manager that draws no frame of its own
        } else if (const auto seen = treeFrames().find(window); seen != treeFrames().end()) {
            frame = seen->second;
        } else {
            frame = frameFromTree(c, window, tree->root, tree->parent);
            fromTree = true;
        }
    }
    if (!frame || !isViewable(c, window)) {
        treeFrames().erase(window);
        return std::nullopt;
    }
    if (fromTree)
        treeFrames()[window] = *frame;
    return frame;
}

#endif


#ifdef Q_OS_LINUX
// sway draws the frame itself and tells no client its size, but answers anyone on its
// IPC socket (SWAYSOCK) with the window tree, each window's rectangle and decoration in it.
QByteArray swayTree()
{
    const QByteArray path = qgetenv("SWAYSOCK");
    sockaddr_un address{};
    if (path.isEmpty() || std::size_t(path.size()) >= sizeof address.sun_path)
        return {};
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return {};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));
    // A compositor that stops answering must not hold the windows up (nor one that goes away
    // end the program: sent without SIGPIPE).
    timeval wait{0, 500000};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
    QByteArray reply;
    const auto readExactly = [fd](char *to, std::size_t size) {
        while (size > 0) {
            const ssize_t got = ::read(fd, to, size);
            if (got <= 0)
                return false;
            to += got;
            size -= std::size_t(got);
        }
        return true;
    };
    // "i3-ipc", payload length and message type (4: the tree) in the host's byte order.
    constexpr char kMagic[] = "i3-ipc";
    constexpr quint32 kGetTree = 4;
    char request[14];
    std::memcpy(request, kMagic, 6);
    const quint32 header[2] = {0, kGetTree};
    std::memcpy(request + 6, header, sizeof header);
    char head[14];
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0
        && ::send(fd, request, sizeof request, MSG_NOSIGNAL) == ssize_t(sizeof request) && readExactly(head, sizeof head)
        && std::memcmp(head, kMagic, 6) == 0) {
        quint32 answer[2];
        std::memcpy(answer, head + 6, sizeof answer);
        constexpr quint32 kLargestTree = 64u << 20;
        if (answer[1] == kGetTree && answer[0] < kLargestTree) {
            reply.resize(qsizetype(answer[0]));
            if (!readExactly(reply.data(), std::size_t(reply.size())))
                reply.clear();
        }
    }
    ::close(fd);
    return reply;
}

// The frame sway draws around `window`, from its tree: the node of this process with the
// window's title, the one of its size if there are several. Nothing while sway has not placed
// it yet; no frame when sway is not there to ask.
std::optional<QMargins> swayFrame(const QWidget &window)
{
    if (qEnvironmentVariableIsEmpty("SWAYSOCK"))
        return QMargins();
    const QByteArray tree = swayTree();
    if (tree.isEmpty())
        return QMargins();
    const qint64 pid = qint64(::getpid());
    const QString title = window.windowTitle();
    std::optional<QMargins> found;
    bool exact = false;
    std::vector<QJsonObject> nodes{QJsonDocument::fromJson(tree).object()};
    while (!nodes.empty() && !exact) {
        const QJsonObject node = nodes.back();
        nodes.pop_back();
        for (const char *children : {"nodes", "floating_nodes"}) {
            for (const QJsonValue child : node.value(QLatin1String(children)).toArray())
                nodes.push_back(child.toObject());
        }
        if (node.value(QLatin1String("pid")).toInteger(-1) != pid
            || node.value(QLatin1String("name")).toString() != title)
            continue;
        const auto rect = [&node](const char *name) {
            const QJsonObject r = node.value(QLatin1String(name)).toObject();
            return QRect(r.value(QLatin1String("x")).toInt(), r.value(QLatin1String("y")).toInt(),
                         r.value(QLatin1String("width")).toInt(), r.value(QLatin1String("height")).toInt());
        };
        const QRect outer = rect("rect");      // the window and its borders
        const QRect inner = rect("window_rect");  // the window, from the border's corner
        const int bar = node.value(QLatin1String("border")).toString() == QLatin1String("normal")
                            ? rect("deco_rect").height()
                            : 0;  // the title bar, above the borders
        const QMargins margins(inner.x(), inner.y() + bar, outer.width() - inner.x() - inner.width(),
                               outer.height() - inner.y() - inner.height());
        if (margins.left() < 0 || margins.top() < 0 || margins.right() < 0 || margins.bottom() < 0)
            continue;
        found = margins;
        exact = inner.size() == window.size();
    }
    return found;
}
#else
std::optional<QMargins> swayFrame(const QWidget &) { return QMargins(); }
#endif

// How long a window on the screen waits for the compositor to list it before its frame is
// taken as none.
constexpr int kCompositorWaitMs = 2000;

struct WaylandMapping {
    QMargins frame;
    bool known = false;
    QDeadlineTimer listed{kCompositorWaitMs};
};
// Keyed by window: the GUI thread alone asks.
std::unordered_map<const QWindow *, WaylandMapping> &waylandMappings()
{
    static std::unordered_map<const QWindow *, WaylandMapping> mappings;
    return mappings;
}

// On Wayland a window's decoration exists only once the window is shown and the compositor
// has said who draws it: Qt's own (its margins are the window's frame) or the compositor's
// (whose size only a compositor that reports it can tell). Nothing until the window is first
// on the screen; then the same frame until it is hidden (not merely covered).
std::optional<QMargins> waylandFrame(const QWidget &window, const QWindow &handle)
{
    auto &mappings = waylandMappings();
    if (!window.isVisible()) {
        mappings.erase(&handle);
        return std::nullopt;
    }
    if (const auto seen = mappings.find(&handle); seen != mappings.end() && seen->second.known)
        return seen->second.frame;
    if (!handle.isExposed())
        return std::nullopt;
    auto [entry, added] = mappings.try_emplace(&handle);
    static const char kWatched[] = "quorbixFrameForgotten";
    if (added && !handle.property(kWatched).toBool()) {
        const_cast<QWindow &>(handle).setProperty(kWatched, true);
        QObject::connect(&handle, &QObject::destroyed, [key = &handle] { waylandMappings().erase(key); });
    }
    WaylandMapping &mapping = entry->second;
    const QMargins drawnByQt = handle.frameMargins();
    std::optional<QMargins> frame = drawnByQt;
    if (drawnByQt.isNull()) {
        frame = swayFrame(window);
        if (!frame && mapping.listed.hasExpired())
            frame = QMargins();
    }
    if (!frame)
        return std::nullopt;
    mapping.frame = *frame;
    mapping.known = true;
    return frame;
}

constexpr int kPollMs = 10;

// Waits for the frame of one window and hands it to everyone who asked, in the order asked.
class FrameWatch final : public QObject {
    Q_OBJECT
public:
    explicit FrameWatch(QWidget &window) : QObject(&window), m_window(window)
    {
        window.installEventFilter(this);
        m_poll.setInterval(kPollMs);
        connect(&m_poll, &QTimer::timeout, this, &FrameWatch::check);
        if (window.isVisible())
            m_poll.start();
    }

    static FrameWatch *pending(QWidget &window)
    {
        return window.findChild<FrameWatch *>(QString(), Qt::FindDirectChildrenOnly);
    }

    void add(std::function<void(const QMargins &)> known) { m_waiting.push_back(std::move(known)); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == &m_window) {
            switch (event->type()) {
            case QEvent::Show:
                m_poll.start();
                check();
                break;
            case QEvent::Hide:
                m_poll.stop();
                break;
            case QEvent::Move:
            case QEvent::Resize:
                if (m_window.isVisible())
                    check();
                break;
            default:
                break;
            }
        }
        return false;
    }

public:
    void check()
    {
        const auto frame = reported(m_window);
        if (!frame)
            return;
        m_poll.stop();
        m_window.removeEventFilter(this);
        const auto waiting = std::move(m_waiting);
        QPointer<QWidget> alive(&m_window);
        setParent(nullptr);
        deleteLater();
        for (const auto &known : waiting) {
            if (!alive)
                break;
            known(*frame);
        }
    }

private:
    QWidget &m_window;
    QTimer m_poll;
    std::vector<std::function<void(const QMargins &)>> m_waiting;
};

}  // namespace

std::optional<QMargins> reported(const QWidget &window)
{
    const QWindow *handle = window.windowHandle();
    if (!handle || !window.testAttribute(Qt::WA_WState_Created))
        return std::nullopt;
#ifdef QUORBIX_HAVE_XCB
    if (xcb_connection_t *c = x11Connection()) {
        const auto frame = x11Frame(c, static_cast<xcb_window_t>(window.internalWinId()));
        // The X server counts device pixels; the window's size is in logical ones.
        const double ratio = window.devicePixelRatioF();
        if (!frame || ratio == 1.0)
            return frame;
        const auto logical = [ratio](int device) { return int(std::lround(device / ratio)); };
        return QMargins(logical(frame->left()), logical(frame->top()), logical(frame->right()),
                        logical(frame->bottom()));
    }
#endif
    if (onWayland())
        return waylandFrame(window, *handle);
#ifdef Q_OS_WIN
    // Windows' own answer, from the window's rectangles: what Qt works out from the styles
    // differs from it under Wine (no side borders, a caption short by four pixels).
    if (QGuiApplication::platformName() == QLatin1String("windows")) {
        const HWND hwnd = reinterpret_cast<HWND>(window.internalWinId());
        RECT outer{}, client{};
        POINT origin{0, 0};
        if (GetWindowRect(hwnd, &outer) && GetClientRect(hwnd, &client) && ClientToScreen(hwnd, &origin)) {
            // Device pixels, as the window's size is in logical ones.
            const double ratio = window.devicePixelRatioF();
            const auto logical = [ratio](long device) { return int(std::lround(double(device) / ratio)); };
            return QMargins(logical(origin.x - outer.left), logical(origin.y - outer.top),
                            logical(outer.right - origin.x - client.right), logical(outer.bottom - origin.y - client.bottom));
        }
    }
#endif
    return handle->frameMargins();
}

bool onWayland() { return QGuiApplication::platformName().startsWith(QLatin1String("wayland")); }

std::optional<QMargins> expected(const QWidget &window)
{
    if (auto frame = reported(window))
        return frame;
    if (!onWayland())
        return std::nullopt;
    // The owner first (the window it opens over), then any other framed window of the program.
    QList<QWidget *> others = QApplication::topLevelWidgets();
    const QWindow *owner = window.windowHandle() ? window.windowHandle()->transientParent() : nullptr;
    const auto ownerWidget = std::find_if(others.begin(), others.end(),
                                          [owner](const QWidget *w) { return owner && w->windowHandle() == owner; });
    if (ownerWidget != others.end())
        std::rotate(others.begin(), ownerWidget, ownerWidget + 1);
    for (const QWidget *other : std::as_const(others)) {
        const Qt::WindowType type = other->windowType();
        if (other == &window || !other->isVisible() || !other->windowHandle()
            || (type != Qt::Window && type != Qt::Dialog) || other->windowFlags().testFlag(Qt::FramelessWindowHint))
            continue;
        const auto &mappings = waylandMappings();
        const auto known = mappings.find(other->windowHandle());
        if (known != mappings.end() && known->second.known)
            return known->second.frame;
        if (const auto frame = reported(*other))
            return frame;
    }
    return std::nullopt;
}

QMargins leftOutOfLimits(const QWidget &window)
{
    // Asked of the Qt the program runs on, which may be newer than the one it was built with.
    static const bool leavesItOut = QLibraryInfo::version() < QVersionNumber(6, 6);
    if (leavesItOut && onWayland() && window.windowHandle() && window.isVisible())
        return window.windowHandle()->frameMargins();
    return QMargins();
}

void whenReported(QWidget &window, std::function<void(const QMargins &)> known)
{
    FrameWatch *watch = FrameWatch::pending(window);
    if (!watch) {
        if (const auto frame = reported(window)) {
            known(*frame);
            return;
        }
        watch = new FrameWatch(window);
    }
    // Behind anyone who asked before, in the order asked.
    watch->add(std::move(known));
    watch->check();
}

}  // namespace window_frame

#include "window_frame.moc"
