#pragma once

#include "catalog/engine/column_values.h"
#include "catalog/engine/keyed_sort.h"
#include "catalog/reader_client/table_source.h"

#include <QString>
#include <QVector>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

struct sqlite3;

/// A large table kept in our own memory instead of being copied into SQLite: its rows as
/// they were read, column by column, put in the order of one text column. SQLite reads it as a
/// virtual table, front to back for statements ordered by that column, and by a binary
/// search for one value of it, so the table needs neither inserting nor an index.
namespace engine {

/// A cell as SQLite is given it, and as its own tables keep it: Money as a real, a
/// decimal's digits as a real where they read as one, binary data as a blob.
struct HeldValue {
    enum Kind { Null, Integer, Real, Text, Blob };
    Kind kind = Null;
    std::int64_t integer = 0;
    double real = 0;
    std::string_view text;
};
HeldValue valueOf(jet::StoredType type, const reader_client::Cell &cell);

/// Rows kept column by column (ColumnValues), each value as SQLite is given it (Money as
/// a real, a date Jet cannot hold as Null) except a decimal's, which keeps its digits. Once
/// in order the columns never change, so that listings share them instead of copying.
class HeldRows {
public:
    /// How a column of `type` keeps its values.
    static ColumnValues::Storage storageOf(jet::StoredType type);

    /// Starts the columns, empty; `keyColumn` is a text column. A column's texts may take
    /// `textLimit` bytes (ColumnValues::setTextLimit).
    void setColumns(const QVector<jet::Column> &columns, std::size_t keyColumn,
                    std::size_t textLimit = ColumnValues::kTextLimit);
    /// Room for `rows` rows, as the table says it holds: a hint, never more than a bound.
    void reserve(std::size_t rows);
    void add(const std::vector<reader_client::Cell> &cells);
    /// The same for a run of rows; a column that is all values is added in one go.
    void add(const jet::RowBatch &batch);
    std::size_t size() const { return m_rows; }
    /// The value of `column` at `row`, as SQLite is given it; a text lives as long as the
    /// column's values.
    HeldValue value(std::size_t row, std::size_t column) const;
    /// The key column's text of `row`; none for a Null.
    std::optional<std::string_view> key(std::size_t row) const;
    /// Puts the rows in the key column's order as Jet sorts text (Nulls first); rows with
    /// equal keys keep the order they were read in. One column is copied at a time.
    void putInOrder();
    /// The values of `column`, in the held order.
    std::shared_ptr<const ColumnValues> values(std::size_t column) const { return m_columns[column]; }
    /// True when the column's values are the ones SQLite is given (a decimal's digits are
    /// not), so that a result may share them.
    bool keepsValuesAsGiven(std::size_t column) const { return m_types[column] != jet::StoredType::Numeric; }

private:
    // How add() keeps a cell of each column, worked out once.
    enum class Kind : std::uint8_t { Text, Integer, Money, Date, Real };

    void addCell(std::size_t column, const reader_client::Cell &cell);
    void populateAhead(std::size_t rows);
    void keyNewRows();

    std::vector<jet::StoredType> m_types;
    std::vector<Kind> m_kinds;
    std::vector<std::shared_ptr<ColumnValues>> m_columns;
    std::size_t m_keyColumn = 0;
    std::size_t m_rows = 0;
    // The sort keys of the rows added so far, made while the next rows are on their way:
    // the Nulls apart, and none once a key has a letter outside ASCII.
    std::vector<keyed_sort::KeyedRow> m_keyed;
    std::vector<std::uint32_t> m_nullKeys;
    bool m_keysAscii = true;
};

/// The rows of `rows` (first, past the last) whose key Jet's comparison finds equal to
/// `wanted` (held in key order, Nulls first).
std::pair<std::size_t, std::size_t> equalRange(const HeldRows &rows, std::string_view wanted);

/// One held table: its columns and its rows in the order of `keyColumn`.
struct HeldTable {
    QVector<jet::Column> columns;
    int keyColumn = -1;
    /// The CREATE TABLE statement SQLite is given for it: the column names, declared types
    /// and collations the engine gives its other tables.
    QByteArray declaration;
    HeldRows rows;
    /// The row each column's value was last given to SQLite from (only the engine's thread
    /// writes it): a result that is handed that very value refers to the row instead of
    /// copying it.
    mutable std::vector<std::size_t> lastGiven;
};

/// The held tables of one SQLite connection, by lower-case name.
struct HeldTables {
    std::map<QString, std::unique_ptr<HeldTable>> tables;
};

/// Makes the held tables readable on `db`; `tables` must outlive it.
bool registerModule(sqlite3 *db, HeldTables *tables);

/// Declares `name`, a table of the catalog not read yet, on `db`: the first statement that
/// names it calls `wanted` with the name and fails to prepare; the caller reads the table in
/// (as a table of its own name, which SQLite then finds first) and prepares it again.
/// `wanted` must outlive `db`.
bool announce(sqlite3 *db, const QString &name, const std::function<void(const QString &)> *wanted);
/// The statement that makes `name`, held in `tables`, a table of the connection.
QByteArray createStatement(const QString &name);

}  // namespace engine
