#include "catalog/reader_client/table_source.h"

#include "jet/little_endian.h"
#include "jet/protocol.h"

namespace reader_client {

int adoType(jet::StoredType type)
{
    switch (type) {
    case jet::StoredType::Long: return ado::adInteger;
    case jet::StoredType::Int: return ado::adSmallInt;
    case jet::StoredType::Byte: return ado::adUnsignedTinyInt;
    case jet::StoredType::Text: return ado::adVarWChar;
    case jet::StoredType::Memo: return ado::adLongVarWChar;
    case jet::StoredType::Money: return ado::adCurrency;
    case jet::StoredType::Boolean: return ado::adBoolean;
    case jet::StoredType::Double: return ado::adDouble;
    case jet::StoredType::Float: return ado::adSingle;
    case jet::StoredType::Date: return ado::adDate;
    case jet::StoredType::Numeric: return ado::adNumeric;
    case jet::StoredType::Guid: return ado::adGUID;
    case jet::StoredType::Binary: return ado::adBinary;
    case jet::StoredType::Ole: return ado::adLongVarBinary;
    case jet::StoredType::BigInt: return ado::adBigInt;
    case jet::StoredType::DateTimeExt: return ado::adDBTimeStamp;
    case jet::StoredType::Count: break;
    }
    return ado::adEmpty;
}

namespace {

/// The cells of a batch's rows one row at a time, as row() takes them.
class BatchRows {
public:
    explicit BatchRows(const jet::RowBatch &batch);
    /// The next row's cells; false past the last row.
    bool next();
    const std::vector<Cell> &cells() const { return m_cells; }

private:
    const jet::RowBatch &m_batch;
    std::vector<const char *> m_heads, m_bytes;
    std::vector<Cell> m_cells;
    std::size_t m_row = 0;
};

BatchRows::BatchRows(const jet::RowBatch &batch) : m_batch(batch), m_cells(batch.columns.size())
{
    for (const jet::RowBatch::Cells &column : batch.columns) {
        m_heads.push_back(column.heads);
        m_bytes.push_back(column.bytes);
    }
}

bool BatchRows::next()
{
    if (m_row == m_batch.rows)
        return false;
    for (std::size_t c = 0; c < m_cells.size(); ++c) {
        const jet::RowBatch::Cells &column = m_batch.columns[c];
        Cell &cell = m_cells[c];
        if (static_cast<jet::CellTag>(column.tags[m_row]) == jet::CellTag::Null) {
            cell = Cell{};
            continue;
        }
        const auto *head = reinterpret_cast<const unsigned char *>(m_heads[c]);
        cell.isNull = false;
        switch (column.tag) {
        case jet::CellTag::Null: cell = Cell{}; break;
        case jet::CellTag::Integer:
            cell.integer = std::int64_t(jet::le::get64(head));
            m_heads[c] += 8;
            break;
        case jet::CellTag::Real:
            cell.real = jet::le::doubleOf(jet::le::get64(head));
            m_heads[c] += 8;
            if (!jet::protocol::keepsReal(cell.real, column.date)) {
                cell.isNull = true;
                cell.real = 0;
            }
            break;
        case jet::CellTag::Text:
        case jet::CellTag::Bytes: {
            const std::uint32_t length = jet::le::get32(head);
            cell.text = std::string_view(m_bytes[c], length);
            m_heads[c] += 4;
            m_bytes[c] += length;
            break;
        }
        }
    }
    ++m_row;
    return true;
}

}  // namespace

void RowSink::rows(const jet::RowBatch &batch)
{
    BatchRows rows(batch);
    while (rows.next())
        row(rows.cells());
}

}  // namespace reader_client
