#pragma once

#include "catalog/ado_types/progress.h"

#include <QElapsedTimer>
#include <QString>

#include <memory>

namespace ado {
class Connection;
}
class QLabel;
class QProgressBar;
class QWidget;

/// While it lives, shows how far the statements of `connection` have come once they have
/// taken longer than `kShowAfterMs`: a small window over `owner` with the rows read of
/// the table being copied in (then the ordering and the listing), redrawn several times a
/// second. The windows are repainted meanwhile; the user's input waits until the end, as
/// it would have without the display.
class ListingProgress {
public:
    static constexpr int kShowAfterMs = 500;
    static constexpr int kRedrawEveryMs = 100;

    ListingProgress(ado::Connection *connection, QWidget *owner);
    ~ListingProgress();
    ListingProgress(const ListingProgress &) = delete;
    ListingProgress &operator=(const ListingProgress &) = delete;

    /// The delay before the window appears, and between redraws (tests set 0).
    static void setTimingForTests(int showAfterMs, int redrawEveryMs);

    /// The text for a report: "Reading Software: 12,288 of 1,000,000 rows".
    static QString text(const ado::Progress &progress);

private:
    void report(const ado::Progress &progress);

    ado::Connection *m_connection;
    QWidget *m_owner;
    QElapsedTimer m_clock;
    qint64 m_lastRedraw = -1;
    std::unique_ptr<QWidget> m_window;
    QLabel *m_label = nullptr;
    QProgressBar *m_bar = nullptr;
};
