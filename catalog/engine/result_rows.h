#pragma once

#include "catalog/ado_types/ado.h"
#include "catalog/engine/column_values.h"

#include <QString>
#include <QVariant>

#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

/// The rows of one statement's result, kept column by column so that 100,000 rows stay
/// compact: numbers in plain arrays, text as one UTF-8 buffer per column with offsets.
/// Rows are addressed by their number in the statement's order. A column may also be
/// another's values, shared rather than copied (a held table's), read through a map of the
/// rows it takes from them.
class ResultRows {
public:
    /// How a column keeps its values.
    using Storage = ColumnValues::Storage;

    /// Thrown by the call that would take the rows past their limits.
    struct TooLarge {
        bool rows;  ///< past the row count, else past the bytes
    };
    /// Bounds what the rows may hold: `rows` rows, and `bytes` of values (text as its bytes,
    /// any other value as eight, plus a few per cell for its place). Unbounded by default.
    void setLimits(std::int64_t rows, std::size_t bytes);
    /// Bounds the texts of each column of its own (ColumnValues::setTextLimit).
    void setTextLimit(std::size_t bytes) { m_textLimit = bytes; }
    std::int64_t rowLimit() const { return m_rowLimit; }
    std::size_t byteLimit() const { return m_byteLimit; }

    /// The storage a column of `adoType` takes.
    static Storage storageOf(int adoType);
    /// Adds a column; every column must be added before the first row.
    void addColumn(const QString &name, int adoType);
    /// A list of the rows some shared values are read at, filled a row at a time by
    /// setSourceRow; returns its number for addSharedColumn.
    int addRowMap();
    /// Adds a column whose row r is row r of map `map` in `values`, which it shares and
    /// never changes. Its storage must be the one `adoType` takes.
    void addSharedColumn(const QString &name, int adoType, std::shared_ptr<const ColumnValues> values, int map);
    /// The values of a column of this result's own (not shared), by this result's rows, for
    /// another result to share; null for a shared column.
    std::shared_ptr<const ColumnValues> ownValues(int column) const;
    int columnCount() const { return int(m_columns.size()); }
    int rowCount() const { return m_rowCount; }
    ado::Field field(int column) const;
    /// The column named `name`, without regard to letter case; -1 when none is.
    int columnIndex(const QString &name) const;
    Storage storage(int column) const { return m_columns[size_t(column)].storage; }

    // Filling, one row at a time: one set* or setNull per column of its own and one
    // setSourceRow per row map, then endRow().
    void setSourceRow(int map, std::uint32_t row);
    void setNull(int column);
    void setInteger(int column, std::int64_t value);
    void setReal(int column, double value);
    void setText(int column, std::string_view utf8);
    /// Makes a shared column one of this result's own, its rows so far copied: values set
    /// from here on are its own. Nothing for a column of its own already.
    void keepOwnValues(int column);
    void endRow();

    // Inline: the passes over every row (sort, filter) read a value a step.
    bool isNull(int row, int column) const
    {
        const Column &c = m_columns[std::size_t(column)];
        return c.values->isNull(at(c, row));
    }
    std::int64_t integer(int row, int column) const
    {
        const Column &c = m_columns[std::size_t(column)];
        return c.values->integer(at(c, row));
    }
    double real(int row, int column) const
    {
        const Column &c = m_columns[std::size_t(column)];
        return c.values->real(at(c, row));
    }
    std::string_view text(int row, int column) const
    {
        const Column &c = m_columns[std::size_t(column)];
        return c.values->text(at(c, row));
    }
    /// The value as the recordset hands it out (invalid QVariant for Null).
    QVariant value(int row, int column) const;
    /// The value's text form, as LIKE on a non-text field sees it ("" for Null).
    std::string textForm(int row, int column) const;
    /// The text form with letter case folded; built once per column on first use. Safe to
    /// call from several threads at once (the first caller builds, the others wait). For a
    /// column folded row by row (see foldedColumn) the view lasts until the calling
    /// thread's next call.
    std::string_view folded(int row, int column) const;
    /// The whole column's folded texts end to end, built as folded() builds them: row r's
    /// is texts[offsets[r], offsets[r + 1]). No offsets (null) when the folded texts would
    /// pass the folded byte limit: then the column is folded row by row as it is matched.
    /// With `rows`, row r's folded text is at place rows[r] of the offsets instead.
    struct FoldedColumn {
        std::string_view texts;
        const std::uint32_t *offsets = nullptr;
        const std::uint32_t *rows = nullptr;
        const std::uint64_t *marks = nullptr;  // where there are, each beside its offset
    };
    FoldedColumn foldedColumn(int column) const;
    /// The most bytes a column's folded texts may fill end to end and still be kept as one:
    /// what their 32-bit offsets reach. Folding may lengthen a text (a letter that
    /// normalises to several), so a column within the byte limit may pass it. Lowered only
    /// by tests, before the first fold.
    static constexpr std::size_t kFoldedByteLimit = std::numeric_limits<std::uint32_t>::max();
    void setFoldedByteLimit(std::size_t bytes) { m_foldedByteLimit = bytes; }
    /// One byte per row of [begin, end): 1 where the column holds Null, else 0; null when
    /// the column holds no Null at all. Gathered into `scratch` for a shared column.
    const std::uint8_t *nullFlags(int column, int begin, int end, std::vector<std::uint8_t> &scratch) const;

    /// True when a text column holds nothing but ASCII (checked once per column).
    bool isAsciiColumn(int column) const;

    /// Where a shared column reads its values: row r reads place rows[r] of `values`, or
    /// first + r without `rows`. No values for a column of this result's own.
    struct Shared {
        const ColumnValues *values = nullptr;
        const std::uint32_t *rows = nullptr;
        std::size_t first = 0;
        std::size_t place(int row) const { return rows ? rows[row] : first + std::size_t(row); }
    };
    Shared shared(int column) const;

    /// True when the rows are known to stand in the column's order (compareRows never
    /// greater for a row and the next): shared values in their order, read in theirs.
    bool isInOrder(int column) const;

    /// Orders two rows by one column: Null first, numbers by value, text as Jet sorts it.
    int compareRows(int rowA, int rowB, int column) const;

    /// Bytes held of this result's own (shared values left out), for the benchmark.
    size_t byteSize() const;

private:
    struct Column {
        QString name;
        int adoType = ado::adEmpty;
        Storage storage = Storage::Text;
        std::shared_ptr<ColumnValues> own;          // null for a shared column
        std::shared_ptr<const ColumnValues> values;  // own, or shared
        int map = -1;                               // the row map of a shared column
        // The folded texts, worked out lazily for filtering; for a column other than text,
        // its text forms folded.
        std::unique_ptr<std::once_flag> foldedOnce = std::make_unique<std::once_flag>();
        mutable std::unique_ptr<ColumnValues> foldedForms;
        mutable FoldedColumn folded;  // what foldedColumn gives, once worked out
    };
    /// The rows a shared column reads: while they run on one by one from the first (every
    /// title of a listing, each joined once), no list of them is kept.
    struct RowMap {
        std::vector<std::uint32_t> rows;  // empty while contiguous
        std::uint32_t first = 0;
        std::size_t count = 0;
        bool contiguous = true;
        bool ascending = true;  // no row before the one ahead of it
    };
    std::size_t at(const Column &c, int row) const
    {
        if (c.map < 0)
            return std::size_t(row);
        const RowMap &map = m_maps[std::size_t(c.map)];
        return map.contiguous ? std::size_t(map.first) + std::size_t(row) : map.rows[std::size_t(row)];
    }
    ColumnValues &own(int column);
    void buildFoldedForms(int column) const;

    void count(std::size_t bytes)
    {
        m_bytes += bytes;
        if (m_bytes > m_byteLimit)
            throw TooLarge{false};
    }

    std::vector<Column> m_columns;
    std::vector<RowMap> m_maps;
    int m_rowCount = 0;
    std::size_t m_bytes = 0;
    std::int64_t m_rowLimit = std::numeric_limits<int>::max();
    std::size_t m_byteLimit = std::numeric_limits<std::size_t>::max();
    std::size_t m_foldedByteLimit = kFoldedByteLimit;
    std::size_t m_textLimit = ColumnValues::kTextLimit;
};

}  // namespace engine
