#pragma once

#include "catalog/table_source.h"

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
/// they were read, packed, and put in the order of one text column. SQLite reads it as a
/// virtual table, front to back for statements ordered by that column, and by a binary
/// search for one value of it, so the table needs neither inserting nor an index.
namespace held {

/// Rows packed one after another in large blocks (a row never spans two); each cell is a
/// kind byte, then 4 or 8 bytes of number, or a 1- or 4-byte length, the text and a zero
/// byte (so that SQLite can take the text where it is, as a C string).
class HeldRows {
public:
    enum Kind : char { Null, Integer32, Integer, Real, Text };
    static Kind kindOf(jet::StoredType type);

    void add(const std::vector<jet::Cell> &cells, const std::vector<Kind> &kinds, std::size_t keyColumn);
    std::size_t size() const { return m_rows.size(); }
    /// The cells of `row`; texts point into the held bytes, which live as long as these rows,
    /// and are followed by a zero byte. With `cString`, each cell's entry says whether its
    /// text holds no zero byte of its own. With `count`, only the first `count` cells.
    void cells(std::size_t row, std::vector<jet::Cell> &cells, std::vector<char> *cString = nullptr,
               std::size_t count = std::size_t(-1)) const;
    /// The key column's text of `row`; none for a Null.
    std::optional<std::string_view> key(std::size_t row) const;
    /// Puts the rows in the key column's order as Jet sorts text (Nulls first); rows with
    /// equal keys keep the order they were read in, and packs them again in that order.
    /// Sorts and packs on two threads.
    void putInOrder();

private:
    char *reserve(std::size_t size);

    std::vector<std::unique_ptr<char[]>> m_blocks;
    std::size_t m_blockSize = 0;
    std::size_t m_used = 0;
    std::vector<const char *> m_rows;
    // Per row in read order, until the rows are put in order.
    std::vector<std::string_view> m_keys;
    std::vector<bool> m_nulls;
    std::vector<std::uint32_t> m_sizes;
    std::size_t m_keyColumn = 0;
    bool m_ascii = true;
};

/// A cell as SQLite is given it, and as its own tables keep it: Money as a real, a
/// decimal's digits as a real where they read as one, binary data as a blob.
struct Value {
    enum Kind { Null, Integer, Real, Text, Blob };
    Kind kind = Null;
    std::int64_t integer = 0;
    double real = 0;
    std::string_view text;
};
Value valueOf(jet::StoredType type, const jet::Cell &cell);

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

}  // namespace held
