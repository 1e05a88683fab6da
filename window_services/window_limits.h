#pragma once

#include <QSize>
#include <QtGlobal>

#include <memory>
#include <optional>
#include <vector>

class QObject;
class QWidget;

/// Bounds how far the user can shrink or enlarge a registered window by dragging its frame.
/// A window registers once it has taken its initial size; its limits live in one table that
/// only grows and keeps every registered window object alive until the program ends.

/// A window's handle: its native window id at registration.
using WindowHandle = quintptr;

/// One registration, in the order the fields were always kept.
struct WindowLimits {
    std::shared_ptr<QWidget> FormRef;  ///< keeps the registered window object alive
    WindowHandle hWnd = 0;             ///< key of every lookup
    qint32 MinWidth = 0;               ///< pixels, outer size
    qint32 MinHeight = 0;
    qint32 MaxWidth = 0;
    qint32 MaxHeight = 0;
    /// What handles the window's other events: the hook installed on it at its first
    /// registration (a window is hooked once, whatever number of records it has).
    QObject *PrevWndProc = nullptr;
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
/// `form` is null or a conversion fails. Otherwise appends a record (the later record of a
/// handle supplies its limits) and applies the limits as the window's minimum and maximum
/// size; a window already registered is not hooked a second time.
bool SetWindowLimits(const std::shared_ptr<QWidget> &form, qint32 minWidth, qint32 minHeight,
                     qint32 maxWidth, qint32 maxHeight);

/// Answers the size query for the window `hWnd` from the last record registered under that
/// handle: sets the two track sizes of `info` and leaves its other points as they came.
/// Returns false, and leaves `info` alone, when no record has that handle.
bool LimitsWindowProc(WindowHandle hWnd, MINMAXINFO &info);

/// `outer` (pixels) held between the limits last registered for the window `hWnd`: the size
/// a size change to `outer` ends at; `outer` itself when the window has no record.
QSize BoundedTrackSize(WindowHandle hWnd, const QSize &outer);

/// Drops the table and the window objects it keeps (tests start from an absent table).
void resetWindowLimitsTable();
