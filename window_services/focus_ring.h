#pragma once

class QWidget;

/// A clear frame around the control that has the keyboard focus, shown while the user works
/// with the keyboard: it appears when the focus moves by Tab, Shift+Tab or an access key, or
/// when a key is pressed, and goes away at the next mouse press, so a mouse user sees the
/// controls as they always were.
namespace focus_ring {

/// Gives `window` (a top-level window) its focus frame.
void attach(QWidget *window);

/// The control that the frame of `window` surrounds now, or null when no frame is shown.
const QWidget *framedControl(const QWidget *window);

}  // namespace focus_ring
