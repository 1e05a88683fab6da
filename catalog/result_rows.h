#pragma once

#include "catalog/ado.h"

#include <QString>
#include <QVariant>

#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

/// The rows of one statement's result, kept column by column so that 100,000 rows stay
/// compact: numbers in plain arrays, text as one UTF-8 buffer per column with offsets.
/// Rows are addressed by their number in the statement's order.
class ResultRows {
public:
    /// How a column keeps its values.
    enum class Storage { Integer, Real, Text };

    /// Thrown by the call that would take the rows past their limits.
    struct TooLarge {
        bool rows;  ///< past the row count, else past the bytes
    };
    /// Bounds what the rows may hold: `rows` rows, and `bytes` of values (text as its bytes,
    /// any other value as eight, plus a few per cell for its place). Unbounded by default.
    void setLimits(std::int64_t rows, std::size_t bytes);
    std::int64_t rowLimit() const { return m_rowLimit; }
    std::size_t byteLimit() const { return m_byteLimit; }

    /// Adds a column; every column must be added before the first row.
    void addColumn(const QString &name, int adoType);
    int columnCount() const { return int(m_columns.size()); }
    int rowCount() const { return m_rowCount; }
    ado::Field field(int column) const;
    /// The column named `name`, without regard to letter case; -1 when none is.
    int columnIndex(const QString &name) const;
    Storage storage(int column) const { return m_columns[size_t(column)].storage; }

    // Filling, one row at a time: one set* or setNull per column, then endRow().
    void setNull(int column);
    void setInteger(int column, std::int64_t value);
    void setReal(int column, double value);
    void setText(int column, std::string_view utf8);
    void endRow();

    bool isNull(int row, int column) const;
    std::int64_t integer(int row, int column) const;
    double real(int row, int column) const;
    std::string_view text(int row, int column) const;
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
    struct FoldedColumn {
        std::string_view texts;
        const std::uint32_t *offsets = nullptr;
    };
    FoldedColumn foldedColumn(int column) const;
    /// The most bytes a column's folded texts may fill end to end and still be kept as one:
    /// what their 32-bit offsets reach. Folding may lengthen a text (a letter that
    /// normalises to several), so a column within the byte limit may pass it. Lowered only
    /// by tests, before the first fold.
    static constexpr std::size_t kFoldedByteLimit = std::numeric_limits<std::uint32_t>::max();
    void setFoldedByteLimit(std::size_t bytes) { m_foldedByteLimit = bytes; }
    /// One byte per row: 1 where the column holds Null, else 0.
    const std::uint8_t *nullFlags(int column) const { return m_columns[size_t(column)].nulls.data(); }

    /// True when a text column holds nothing but ASCII (checked once per column).
    bool isAsciiColumn(int column) const;

    /// Orders two rows by one column: Null first, numbers by value, text as Jet sorts it.
    int compareRows(int rowA, int rowB, int column) const;

    /// Bytes held, for the benchmark's accounting.
    size_t byteSize() const;

private:
    /// Bytes appended at the end, grown through realloc: a large buffer then grows where it
    /// is (the system moves its pages) instead of being copied, so a large column never
    /// needs twice its size for a moment, nor the time to copy itself.
    class TextBuffer {
    public:
        TextBuffer() = default;
        TextBuffer(TextBuffer &&other) noexcept;
        TextBuffer &operator=(TextBuffer &&other) noexcept;
        ~TextBuffer();
        void append(std::string_view bytes);
        /// Adds `n` bytes for the caller to write (their pages untouched until then) and
        /// returns where they start.
        char *extend(size_t n);
        size_t size() const { return m_size; }
        size_t capacity() const { return m_capacity; }
        operator std::string_view() const { return {m_data, m_size}; }

    private:
        char *m_data = nullptr;
        size_t m_size = 0;
        size_t m_capacity = 0;
    };

    struct Column {
        QString name;
        int adoType = ado::adEmpty;
        Storage storage = Storage::Text;
        std::vector<std::uint8_t> nulls;
        std::vector<std::int64_t> integers;
        std::vector<double> reals;
        TextBuffer text;
        std::vector<std::uint32_t> offsets{0};
        bool pendingSet = false;
        mutable int asciiOnly = -1;  // unknown until asked
        // Folded text forms, built lazily for filtering.
        std::unique_ptr<std::once_flag> foldedOnce = std::make_unique<std::once_flag>();
        mutable TextBuffer foldedText;
        mutable std::vector<std::uint32_t> foldedOffsets;
        mutable bool foldedKeepsOffsets = false;  // ASCII text: folded rows lie where they did
        mutable bool foldedByRow = false;         // past the folded byte limit: none kept
    };
    void buildFolded(const Column &column, int index) const;
    bool foldAsciiColumn(const Column &column) const;
    void appendFoldedRows(int index, int begin, int end, std::string &text,
                          std::vector<std::uint32_t> &ends) const;
    void appendFoldedTexts(const Column &column, int begin, int end, std::string &text,
                           std::vector<std::uint32_t> &ends) const;

    void count(std::size_t bytes)
    {
        m_bytes += bytes;
        if (m_bytes > m_byteLimit)
            throw TooLarge{false};
    }

    std::vector<Column> m_columns;
    int m_rowCount = 0;
    std::size_t m_bytes = 0;
    std::int64_t m_rowLimit = std::numeric_limits<int>::max();
    std::size_t m_byteLimit = std::numeric_limits<std::size_t>::max();
    std::size_t m_foldedByteLimit = kFoldedByteLimit;
};
