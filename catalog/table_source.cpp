#include "catalog/table_source.h"

#include "jet/little_endian.h"
#include "jet/protocol.h"

namespace jet {

int adoType(StoredType type)
{
    switch (type) {
    case StoredType::Long: return ado::adInteger;
    case StoredType::Int: return ado::adSmallInt;
    case StoredType::Byte: return ado::adUnsignedTinyInt;
    case StoredType::Text: return ado::adVarWChar;
    case StoredType::Memo: return ado::adLongVarWChar;
    case StoredType::Money: return ado::adCurrency;
    case StoredType::Boolean: return ado::adBoolean;
    case StoredType::Double: return ado::adDouble;
    case StoredType::Float: return ado::adSingle;
    case StoredType::Date: return ado::adDate;
    case StoredType::Numeric: return ado::adNumeric;
    case StoredType::Guid: return ado::adGUID;
    case StoredType::Binary: return ado::adBinary;
    case StoredType::Ole: return ado::adLongVarBinary;
    case StoredType::BigInt: return ado::adBigInt;
    case StoredType::DateTimeExt: return ado::adDBTimeStamp;
    case StoredType::Count: break;
    }
    return ado::adEmpty;
}

namespace {

/// The cells of a batch's rows one row at a time, as row() takes them.
class BatchRows {
public:
    explicit BatchRows(const RowBatch &batch);
    /// The next row's cells; false past the last row.
    bool next();
    const std::vector<Cell> &cells() const { return m_cells; }

private:
    const RowBatch &m_batch;
    std::vector<const char *> m_heads, m_bytes;
    std::vector<Cell> m_cells;
    std::size_t m_row = 0;
};

BatchRows::BatchRows(const RowBatch &batch) : m_batch(batch), m_cells(batch.columns.size())
{
    for (const RowBatch::Cells &column : batch.columns) {
        m_heads.push_back(column.heads);
        m_bytes.push_back(column.bytes);
    }
}

bool BatchRows::next()
{
    if (m_row == m_batch.rows)
        return false;
    for (std::size_t c = 0; c < m_cells.size(); ++c) {
        const RowBatch::Cells &column = m_batch.columns[c];
        Cell &cell = m_cells[c];
        if (static_cast<CellTag>(column.tags[m_row]) == CellTag::Null) {
            cell = Cell{};
            continue;
        }
        const auto *head = reinterpret_cast<const unsigned char *>(m_heads[c]);
        cell.isNull = false;
        switch (column.tag) {
        case CellTag::Null: cell = Cell{}; break;
        case CellTag::Integer:
            cell.integer = std::int64_t(le::get64(head));
            m_heads[c] += 8;
            break;
        case CellTag::Real:
            cell.real = le::doubleOf(le::get64(head));
            m_heads[c] += 8;
            if (!protocol::keepsReal(cell.real, column.date)) {
                cell.isNull = true;
                cell.real = 0;
            }
            break;
        case CellTag::Text:
        case CellTag::Bytes: {
            const std::uint32_t length = le::get32(head);
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

void RowSink::rows(const RowBatch &batch)
{
    BatchRows rows(batch);
    while (rows.next())
        row(rows.cells());
}

}  // namespace jet
