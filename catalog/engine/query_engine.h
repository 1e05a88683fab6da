#pragma once

#include "catalog/ado_types/ado.h"
#include "catalog/ado_types/progress.h"
#include "catalog/engine/column_values.h"
#include "catalog/reader_client/table_source.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace engine {

class ResultRows;
struct HeldTable;
struct HeldTables;

/// Runs statements over a catalog's tables with Jet's text semantics. The tables live in an
/// in-memory SQLite database and are copied from the TableSource when a statement first
/// names them, so a statement pays only for the tables it uses; a table with a listing
/// order (indexOnLoad) is kept in our own memory instead and read by SQLite where it is. Text columns compare and
/// sort without regard to letter case (all letters, accents beside their base letter) and
/// LIKE matches the same way, with "%" and "_" as its wildcards.
class QueryEngine {
public:
    /// How far a long statement has come, reported while `execute` runs.
    using Progress = ado::Progress;
    using ProgressReport = ado::ProgressReport;

    /// What an answer given straight from the held tables may use, while `execute` runs the
    /// statement it stands in for.
    class StraightRun {
    public:
        /// The statement, prepared (its tables loaded) but not stepped: its columns name and
        /// type the result's.
        sqlite3_stmt *statement() const { return m_statement; }
        /// The ADO type of each of the statement's columns.
        const std::vector<int> &columnTypes() const { return m_types; }
        /// The connection, for reading a small table the statement uses.
        sqlite3 *database() const;
        /// The held table `name` (any letter case); null when it is not held.
        const HeldTable *heldTable(const QString &name) const;
        /// Whether the statement's time is not yet up.
        bool inTime() const;
        /// Counts one step of work (a row looked at or made); every few thousand steps the
        /// clock is read and progress reported. False once the time is up.
        bool step(const ResultRows &rows) { return ++m_steps % kStepsPerCheck != 0 || checkpoint(rows); }
        /// The error of a statement stopped for its time.
        ado::Error stopped() const;

    private:
        friend class QueryEngine;
        static constexpr std::int64_t kStepsPerCheck = 4096;
        StraightRun(QueryEngine &engine, sqlite3_stmt *statement, const std::vector<int> &types)
            : m_engine(engine), m_statement(statement), m_types(types)
        {
        }
        bool checkpoint(const ResultRows &rows);

        QueryEngine &m_engine;
        sqlite3_stmt *m_statement;
        const std::vector<int> &m_types;
        std::int64_t m_steps = 0;
    };
    /// Gives the rows of the statement in `rows` (columns first) or an error; none, without
    /// touching `rows`, when it cannot, and SQLite then runs the statement.
    using StraightAnswer = std::function<std::optional<ado::Error>(StraightRun &, ResultRows &)>;

    explicit QueryEngine(std::unique_ptr<reader_client::TableSource> source);
    ~QueryEngine();
    QueryEngine(const QueryEngine &) = delete;
    QueryEngine &operator=(const QueryEngine &) = delete;

    /// Runs one statement, a single SELECT (anything else is refused before it runs), and
    /// stores its rows in `rows` (which must be empty). A statement gets a few seconds of
    /// work (more when large tables are loaded; the progress report's own time does not
    /// count), the engine a bounded heap, each value a bounded size and the result a bounded
    /// count of rows and bytes; running out of any, or of memory, gives an error for this
    /// statement only.
    /// Result columns are named as the statement names them (A.Title gives "Title") and
    /// typed by the ADO type of the column they come from. A statement the engine refuses,
    /// one that would write, or a table that cannot be read gives E_PROVIDER_FAIL with
    /// the reason.
    /// With `straight`, once the statement is prepared and every column typed, `straight` may
    /// answer it in SQLite's place: the caller knows what the statement asks for.
    ado::Error execute(const QString &sql, ResultRows &rows, const StraightAnswer &straight = {});

    /// The rows of `sql` as an earlier run gave them, while some recordset still holds
    /// them (null otherwise): the catalog never changes, so the same statement gives the
    /// same rows, and a requery of a large listing need not run it again.
    std::shared_ptr<const ResultRows> heldRows(const QString &sql) const;
    /// Notes the rows of a run of `sql` for heldRows, without keeping them alive.
    void noteRows(const QString &sql, const std::shared_ptr<const ResultRows> &rows);

    /// Keeps `table`, when it is copied in, in the order of its text column `column` (rows
    /// of equal value in the order they were read), so statements that order by it read
    /// the rows front to back instead of sorting them, and one value of it is found by a
    /// binary search. The first such column of a table counts; a column that is missing or
    /// not text leaves the table as any other.
    void indexOnLoad(const QString &table, const QString &column);

    /// The bytes of values this engine's results may hold, in place of the bound it works out
    /// from the catalog and the machine (0: that bound again), so that tests need not fill
    /// gigabytes to meet it.
    void setResultByteLimit(std::size_t bytes) { m_resultByteLimit = bytes; }
    /// The bytes one column's texts may take, held or in a result, in place of the 4 GiB
    /// their offsets reach (0: that again); tables loaded later, results run later.
    void setColumnTextLimit(std::size_t bytes) { m_columnTextLimit = bytes ? bytes : ColumnValues::kTextLimit; }

    /// Sets (or with an empty function removes) the progress report of later statements.
    void setProgressReport(ProgressReport report);

    /// The tables copied in so far, in the order they were first used.
    QStringList loadedTables() const;

private:
    ado::Error loadTable(const QString &name);
    ado::Error prepare(const QByteArray &sql, struct sqlite3_stmt **statement);
    ado::Error run(const QString &sql, ResultRows &rows, const StraightAnswer &straight);
    ado::Error engineError(int rc) const;
    static int authorize(void *self, int action, const char *, const char *, const char *, const char *);
    static int checkBudget(void *self);
    std::int64_t budgetMs() const;
    /// The most rows, and bytes of values, one statement's result may hold.
    std::int64_t resultRowLimit() const;
    std::size_t resultByteLimit() const;

    std::unique_ptr<reader_client::TableSource> m_source;
    sqlite3 *m_db = nullptr;
    sqlite3 *m_printfDb = nullptr;  // keeps SQLite's own printf, which ours runs through
    QStringList m_loaded;
    QHash<QString, QString> m_unshown;  ///< "table\ncolumn", lower case -> why it cannot be shown
    QList<QPair<QString, QString>> m_indexes;
    std::unique_ptr<HeldTables> m_heldTables;  // the tables kept in a listing order
    std::function<void(const QString &)> m_announcedWanted;  // told by an announced table when named
    QString m_wanted;  // the announced table the statement being prepared named first
    ProgressReport m_progress;
    QHash<QString, std::weak_ptr<const ResultRows>> m_held;
    bool m_guarding = false;        // the statement being prepared is the caller's
    int m_refusedAction = 0;        // what the guard last refused (an SQLITE_ action code)
    std::int64_t m_deadlineMs = 0;  // when the running statement's budget ends (steady clock)
    qint64 m_rowsLoaded = 0;        // in all the tables copied in
    std::size_t m_resultByteLimit = 0;  // set in place of the bound worked out; 0 for none
    std::size_t m_columnTextLimit = ColumnValues::kTextLimit;
};

}  // namespace engine
