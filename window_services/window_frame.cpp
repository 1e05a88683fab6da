#include "window_frame.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <vector>

#ifdef QUORBIX_HAVE_XCB
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
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
    return handle->frameMargins();
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
