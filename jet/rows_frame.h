#pragma once

#include "jet/stored_type.h"

#include <cstddef>
#include <cstdint>
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

/// Gathers rows cell by cell, each column's cells apart, into Rows frames.
class RowsWriter {
public:
    /// A new table of `columns` columns: whatever was gathered is dropped.
    void start(std::size_t columns);
    /// The next cell of the current row; false when the row has all its cells already.
    bool null();
    bool integer(std::int64_t value);
    bool real(double value);
    bool text(CellTag tag, std::string_view value);  ///< Text or Bytes
    /// Ends the current row; false when it has fewer cells than the table has columns.
    bool endRow();
    std::uint32_t rows() const { return m_rows; }
    /// About the bytes gathered: a frame is due once it passes kRowsFrameTarget.
    std::size_t bytes() const { return m_bytes; }
    /// Appends the Rows frame of the rows gathered (none when there are none) and starts over.
    void finish(std::string &out);

private:
    struct Cells {
        std::string tags, heads, bytes;
    };
    Cells *next(CellTag tag);

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
