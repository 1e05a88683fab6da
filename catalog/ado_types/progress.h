#pragma once

#include <QString>

#include <functional>

namespace ado {

/// How far a long statement has come, for a progress display.
struct Progress {
    enum class Stage {
        Reading,   ///< copying a table in: `done` rows of `total` (0 when not known)
        Ordering,  ///< building the index of a table just read, of `total` rows
        Listing,   ///< running the statement: `done` result rows so far, `total` 0
    };
    Stage stage = Stage::Reading;
    QString table;
    qint64 done = 0;
    qint64 total = 0;
};

/// Called now and then (every few thousand rows, and several times a second while an index
/// is built) on the calling thread, while a statement runs. It may process events, but must
/// not use the connection.
using ProgressReport = std::function<void(const Progress &)>;

}  // namespace ado
