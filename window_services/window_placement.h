#pragma once

class QWidget;

/// Centres `window`, its frame included, on the screen that holds `owner` (the primary
/// screen when there is none), wholly inside the screen's available area; a window too large
/// for it keeps its title bar on the screen. Where the window manager has yet to report the
/// frame, the window is placed again once it has.
void centreOnScreen(QWidget *window, const QWidget *owner = nullptr);
