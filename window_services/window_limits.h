#pragma once

#include <QPointer>
#include <QSize>
#include <QWidget>
#include <QtGlobal>

#include <memory>
#include <optional>
#include <vector>

/// Bounds how far the user can shrink or enlarge a registered window by dragging its frame.
/// A window registers once it has taken its initial size; its limits live in one table that
/// only grows and keeps a share of every registered window's object until the program ends.
/// The object is what the window's code keeps apart from its widgets (what it does when its
/// last reference goes): a closed window's widgets are destroyed, whatever the table holds.

/// A window's handle: its native window id at registration.
using WindowHandle = quintptr;

/// What a record keeps of its window: a share of the window's object, and the window itself
/// while it exists (null once it has been destroyed). Small, however large the window was.
class FormReference {
public:
    FormReference() = default;
    FormReference(QWidget *window, std::shared_ptr<const void> object)
        : m_window(window), m_object(std::move(object))
    {
    }

    /// The window, or null once it has been destroyed.
    QWidget *get() const { return m_window.data(); }
    /// True when the reference holds a window's object.
    explicit operator bool() const { return bool(m_object); }
    const std::shared_ptr<const void> &object() const { return m_object; }

    /// Two references are equal when they share one object.
    friend bool operator==(const FormReference &a, const FormReference &b) { return a.m_object == b.m_object; }
    /// A reference made from a window held as its own object equals the window's pointer.
    friend bool operator==(const FormReference &a, const std::shared_ptr<QWidget> &b) { return a.m_object == b; }

private:
    QPointer<QWidget> m_window;
    std::shared_ptr<const void> m_object;
};

/// One registration, in the order the fields were always kept.
struct WindowLimits {
    FormReference FormRef;             ///< keeps the registered window's object alive
    WindowHandle hWnd = 0;             ///< key of every lookup
    qint32 MinWidth = 0;               ///< pixels, outer size
    qint32 MinHeight = 0;
    qint32 MaxWidth = 0;
    qint32 MaxHeight = 0;
    /// What handles the window's other events: the hook installed on it at its first
    /// registration (a window is hooked once, whatever number of records it has); null once
    /// the window has been destroyed.
    QPointer<QObject> PrevWndProc;
};

/// The size query the hook answers: five points, pixels, as the platform lays them out.
struct POINTAPI {
    qint32 x = 0;
    qint32 y = 0;
};
struct MINMAXINFO {
    POINTAPI ptReserved;
    POINTAPI ptMaxSize;
    POINTAPI ptMaxPosition;
    POINTAPI ptMinTrackSize;
    POINTAPI ptMaxTrackSize;
};

/// The registration table: absent until the first registration, which creates slots 0 and 1
/// (slot 0 stays empty and is never consulted); every registration appends one slot.
const std::optional<std::vector<WindowLimits>> &WindowLimitsTable();

/// The table's upper bound: -1 while it is absent, then the slot of the last record.
qsizetype WindowLimitsUBound();

/// Converts twips to whole pixels at `twipsPerPixel`: a double division rounded to the
/// nearest integer, an exact half to the even one. Fails (nullopt) when the scale is not a
/// positive number or the quotient is outside the signed 32-bit range.
std::optional<qint32> TwipsToPixels(qint32 twips, float twipsPerPixel);

/// Registers `form` with minimum and maximum outer sizes in twips, converted at the screen's
/// twips per pixel (window_services/twips.h). Returns false, with nothing changed, when
/// `form` or `formObject` is null or a conversion fails. Otherwise appends a record holding
/// `formObject` (the later record of a handle supplies its limits) and applies the limits as
/// the window's minimum and maximum size; a window already registered is not hooked a
/// second time. The record does not keep `form` alive.
bool SetWindowLimits(QWidget *form, std::shared_ptr<const void> formObject, qint32 minWidth,
                     qint32 minHeight, qint32 maxWidth, qint32 maxHeight);

/// As above for a window that is its own object: the record keeps `form` alive.
bool SetWindowLimits(const std::shared_ptr<QWidget> &form, qint32 minWidth, qint32 minHeight,
                     qint32 maxWidth, qint32 maxHeight);

/// Answers the size query for the window `hWnd` from the last record registered under that
/// handle: sets the two track sizes of `info` and leaves its other points as they came.
/// Returns false, and leaves `info` alone, when no record has that handle.
bool LimitsWindowProc(WindowHandle hWnd, MINMAXINFO &info);

/// `outer` (pixels) held between the limits last registered for the window `hWnd`: the size
/// a size change to `outer` ends at; `outer` itself when the window has no record.
QSize BoundedTrackSize(WindowHandle hWnd, const QSize &outer);

/// Drops the table and its shares of the window objects (tests start from an absent table).
void resetWindowLimitsTable();
