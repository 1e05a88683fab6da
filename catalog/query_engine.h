#pragma once

#include "ado.h"
#include "table_source.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>

class ResultRows;
struct sqlite3;

/// Runs statements over a catalog's tables with Jet's text semantics. The tables live in an
/// in-memory SQLite database and are copied from the TableSource when a statement first
/// names them, so a statement pays only for the tables it uses. Text columns compare and
/// sort without regard to letter case (all letters, accents beside their base letter) and
/// LIKE matches the same way, with "%" and "_" as its wildcards.
class QueryEngine {
public:
    explicit QueryEngine(std::unique_ptr<jet::TableSource> source);
    ~QueryEngine();
    QueryEngine(const QueryEngine &) = delete;
    QueryEngine &operator=(const QueryEngine &) = delete;

    /// Runs one statement, a single SELECT (anything else is refused before it runs), and
    /// stores its rows in `rows` (which must be empty). A statement gets a few seconds of
    /// work, the engine a bounded heap and each value a bounded size; running out of any,
    /// or of memory, gives an error for this statement only.
    /// Result columns are named as the statement names them (A.Name gives "Name") and
    /// typed by the ADO type of the column they come from. A statement the engine refuses,
    /// one that would write, or a table that cannot be read gives E_PROVIDER_FAIL with
    /// the reason.
    ado::Error execute(const QString &sql, ResultRows &rows);

    /// Gives `column` of `table` an index when the table is copied in, so statements that
    /// order by it read the rows in order instead of sorting them.
    void indexOnLoad(const QString &table, const QString &column);

    /// The tables copied in so far, in the order they were first used.
    QStringList loadedTables() const;

    /// Writes the loaded tables to a SQLite file with plain column types (TEXT, INTEGER,
    /// REAL) and no custom collation, so other SQLite tools can read it.
    ado::Error savePlainCopy(const QString &path);

private:
    ado::Error loadTable(const QString &name);
    ado::Error prepare(const QByteArray &sql, struct sqlite3_stmt **statement);
    ado::Error run(const QString &sql, ResultRows &rows);
    ado::Error engineError(int rc) const;
    static int authorize(void *self, int action, const char *, const char *, const char *, const char *);
    static int checkBudget(void *self);

    std::unique_ptr<jet::TableSource> m_source;
    sqlite3 *m_db = nullptr;
    sqlite3 *m_printfDb = nullptr;  // keeps SQLite's own printf, which ours runs through
    QStringList m_loaded;
    QList<QPair<QString, QString>> m_indexes;
    QStringList m_sourceTables;
    bool m_sourceTablesRead = false;
    bool m_guarding = false;        // the statement being prepared is the caller's
    int m_refusedAction = 0;        // what the guard last refused (an SQLITE_ action code)
    std::int64_t m_deadlineMs = 0;  // when the running statement's budget ends (steady clock)
};
