#pragma once

#include <QFont>

/// The nearest available face to the classic 8.25 pt dialog sans-serif at `pointSize`.
QFont classicFont(double pointSize = 8.25, bool bold = false);
