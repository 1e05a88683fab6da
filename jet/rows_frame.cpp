#include "jet/rows_frame.h"

#include "jet/little_endian.h"
#include "jet/protocol.h"

#include <algorithm>

namespace jet::protocol {

void RowsWriter::start(std::size_t columns)
{
    m_columns.assign(columns, {});
    m_column = 0;
    m_bytes = 0;
    m_rows = 0;
}

void RowsWriter::Bytes::grow(std::size_t n)
{
    m_held.resize(std::max(2 * m_held.size(), m_used + n));
}

void RowsWriter::finish(std::string &out)
{
    if (m_rows == 0)
        return;
    const auto at = beginFrame(out, FrameKind::Rows);
    putU32(out, m_rows);
    for (Cells &cells : m_columns) {
        out += cells.tags.view();
        out += cells.heads.view();
        out += cells.bytes.view();
        cells.tags.clear();
        cells.heads.clear();
        cells.bytes.clear();
    }
    finishFrame(out, at);
    m_rows = 0;
    m_bytes = 0;
}

bool readRows(std::string_view payload, RowBatch &batch, const std::vector<bool> &nullable)
{
    PayloadReader in(payload.data(), payload.size());
    std::uint32_t count = 0;
    if (!in.u32(count) || nullable.size() != batch.columns.size())
        return false;
    const std::size_t rows = count;
    batch.rows = rows;
    for (std::size_t c = 0; c < batch.columns.size(); ++c) {
        RowBatch::Cells &cells = batch.columns[c];
        const CellTag tag = cells.tag;
        const char *tags = nullptr;
        if (!in.take(rows, tags))
            return false;
        cells.tags = reinterpret_cast<const std::uint8_t *>(tags);
        // Each cell holds the column's one tag, or Null where the column may.
        std::size_t present = 0;
        bool others = false;
        for (std::size_t r = 0; r < rows; ++r) {
            const auto sent = static_cast<CellTag>(cells.tags[r]);
            present += sent == tag;
            others |= sent != tag && sent != CellTag::Null;
        }
        if (others || (present < rows && !nullable[c]))
            return false;
        if (tag == CellTag::Null)  // a column of no values (none is sent but Null)
            present = 0;
        cells.present = present;
        switch (tag) {
        case CellTag::Null: break;
        case CellTag::Integer:
        case CellTag::Real:
            if (!in.take(present * 8, cells.heads))
                return false;
            break;
        case CellTag::Text:
        case CellTag::Bytes: {
            if (!in.take(present * 4, cells.heads))
                return false;
            std::uint64_t bytes = 0;
            for (std::size_t i = 0; i < present; ++i)
                bytes += le::get32(reinterpret_cast<const unsigned char *>(cells.heads) + 4 * i);
            if (bytes > payload.size() || !in.take(std::size_t(bytes), cells.bytes))
                return false;
            break;
        }
        }
    }
    return in.atEnd();
}

}  // namespace jet::protocol
