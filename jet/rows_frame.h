#pragma once

#include "jet/little_endian.h"
#include "jet/stored_type.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

/// The Rows frame of jet/protocol.h, written by the reader and read by the program: the one
/// place its layout lives.
namespace jet {

/// Rows as the reader sends them, column by column. A column's `tags` hold a CellTag a row:
/// Null, or `tag` for a value. The values stand end to end in row order: in `heads`, 8 bytes
/// each (little-endian: the integer, or the real's bits), or for text and bytes a 32-bit
/// length each there and the bytes in `bytes`. A real that no Jet date nor SQLite number can
/// be (jet::protocol::keepsReal) reads as Null. Valid only as long as the frame read.
struct RowBatch {
    struct Cells {
        const std::uint8_t *tags = nullptr;
        const char *heads = nullptr;
        const char *bytes = nullptr;
        std::size_t present = 0;  // the cells that are not Null
        CellTag tag = CellTag::Null;
        bool date = false;
    };
    std::size_t rows = 0;
    std::vector<Cells> columns;
};

namespace protocol {

/// Gathers rows cell by cell, each column's cells apart, into Rows frames. Inline: a large
/// table sends a hundred million cells.
class RowsWriter {
public:
    /// A new table of `columns` columns: whatever was gathered is dropped.
    void start(std::size_t columns);
    /// The next cell of the current row; false when the row has all its cells already.
    bool null() { return next(CellTag::Null) != nullptr; }
    bool integer(std::int64_t value)
    {
        Cells *cells = next(CellTag::Integer);
        if (cells)
            le::put64(cells->heads.room(8), std::uint64_t(value));
        return cells != nullptr;
    }
    bool real(double value)
    {
        Cells *cells = next(CellTag::Real);
        if (cells)
            le::put64(cells->heads.room(8), le::bitsOf(value));
        return cells != nullptr;
    }
    bool text(CellTag tag, std::string_view value)  ///< Text or Bytes
    {
        Cells *cells = next(tag);
        if (!cells)
            return false;
        le::put32(cells->heads.room(4), std::uint32_t(value.size()));
        if (!value.empty())
            std::memcpy(cells->bytes.room(value.size()), value.data(), value.size());
        m_bytes += value.size();
        return true;
    }
    /// Ends the current row; false when it has fewer cells than the table has columns.
    bool endRow()
    {
        if (m_column != m_columns.size())
            return false;
        m_column = 0;
        ++m_rows;
        return true;
    }
    std::uint32_t rows() const { return m_rows; }
    /// About the bytes gathered: a frame is due once it passes kRowsFrameTarget.
    std::size_t bytes() const { return m_bytes; }
    /// Appends the Rows frame of the rows gathered (none when there are none) and starts over.
    void finish(std::string &out);

private:
    /// Bytes appended with no more than a check for room.
    class Bytes {
    public:
        unsigned char *room(std::size_t n)
        {
            if (m_held.size() - m_used < n)
                grow(n);
            unsigned char *at = reinterpret_cast<unsigned char *>(m_held.data()) + m_used;
            m_used += n;
            return at;
        }
        std::string_view view() const { return {m_held.data(), m_used}; }
        void clear() { m_used = 0; }

    private:
        void grow(std::size_t n);
        std::string m_held;
        std::size_t m_used = 0;
    };
    struct Cells {
        Bytes tags, heads, bytes;
    };
    Cells *next(CellTag tag)
    {
        if (m_column == m_columns.size())
            return nullptr;
        Cells &cells = m_columns[m_column++];
        *cells.tags.room(1) = static_cast<unsigned char>(tag);
        m_bytes += 1 + (tag == CellTag::Null ? 0 : 8);
        return &cells;
    }

    std::vector<Cells> m_columns;
    std::size_t m_column = 0;  // the next cell's, in the current row
    std::size_t m_bytes = 0;
    std::uint32_t m_rows = 0;
};

/// Reads a Rows frame's payload into `batch`, whose columns already carry each column's
/// value tag and date rule (as the Columns frame gave them); `nullable[c]` says whether
/// column c may hold Null. The batch then points into `payload`. False when the payload is
/// malformed: cut short, longer than its cells, a tag that is not the column's or Null, or
/// a Null where none fits.
bool readRows(std::string_view payload, RowBatch &batch, const std::vector<bool> &nullable);

}  // namespace protocol
}  // namespace jet
