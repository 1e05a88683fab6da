#pragma once

#include <functional>

class QAbstractItemView;
class QModelIndex;
class QWidget;

/// What assistive technologies (a screen reader over the desktop's accessibility bus) meet
/// in the windows, where the toolkit's own answers fall short:
/// - text boxes answer every text request at every offset (the toolkit's walk to the next
///   text boundary never ends at the end of a line edit's text) and read-only boxes offer
///   no editing;
/// - buttons, links and items run their actions after the request has been answered, so
///   that a modal window an action opens never runs inside the caller's request;
/// - items of lists and grids have their text and, where the window says so, an action that
///   opens them as a double-click does;
/// - a window (see markWindow) lists only its shown controls, in Tab order, each label just
///   before the control it labels; a main window is a frame, a modal dialog says it is modal.
namespace accessibility {

/// Installs the accessible interfaces above; windows call it before building their controls.
void install();

/// Makes `container` (a window, or a plain widget that holds controls) list only its shown
/// controls in Tab order, from `firstStop` (the first control of the window's Tab order; the
/// control after the window in its focus chain when null). A label set as a control's buddy
/// labels it.
void markWindow(QWidget *container, QWidget *firstStop = nullptr);

/// Gives each item of `view` an action that runs `open` on the item's index after the
/// request has been answered, the item selected and current first.
void setOpenAction(QAbstractItemView *view, std::function<void(const QModelIndex &)> open);

/// Runs `action` from the event loop, once the caller of an accessibility action has had
/// its answer; nothing runs if `context` has gone by then.
void postAction(QWidget *context, std::function<void()> action);

}  // namespace accessibility
