#pragma once

class QWidget;

/// Centres `window` on the screen of `owner` (the primary screen when there is none).
void centreOnScreen(QWidget *window, const QWidget *owner = nullptr);
