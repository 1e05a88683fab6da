#pragma once

#include <QMargins>

#include <functional>
#include <optional>

class QWidget;

/// The frame a window manager puts around a top-level window, as it has reported it.
///
/// On X11 the frame is known only once the window manager has taken the mapped window into
/// its frame; until then Qt reports no frame, or a passing one, and a size worked out from
/// that would be wrong. Where no window manager runs, a window has no frame at all. Other
/// platforms know the frame as soon as the window exists.
namespace window_frame {

/// True on Qt's Wayland platform: the compositor places the windows, and draws their frames
/// or lets Qt draw them.
bool onWayland();

/// The frame around `window` (left, top, right, bottom, in pixels) once it is reported;
/// nothing until then.
std::optional<QMargins> reported(const QWidget &window);

/// The frame `window` will have once shown: its own once reported; before that, on Wayland,
/// the one of another of the program's windows on the screen, as the same compositor or the
/// same decoration of Qt's draws every window's alike; nothing where neither is known.
/// A window sized with it before it is first shown is on the screen at its size at once,
/// which a compositor that sends back the size it first saw would otherwise undo.
std::optional<QMargins> expected(const QWidget &window);

/// How much of the frame the platform leaves out of the size limits it hands the
/// compositor for `window` (Qt before 6.6 hands a Wayland compositor the limits of the inner
/// size, though the size the compositor bounds takes in Qt's own decoration); none elsewhere.
QMargins leftOutOfLimits(const QWidget &window);

/// Calls `known` with the frame of `window` once it is reported: at once if it already is,
/// otherwise from the event loop when the window manager has framed the shown window. The
/// call is dropped if `window` goes first.
void whenReported(QWidget &window, std::function<void(const QMargins &)> known);

}  // namespace window_frame
