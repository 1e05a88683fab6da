#include "catalog/reader_reply.h"

#include "jet/little_endian.h"

namespace proto = jet::protocol;

namespace jet::reply {

bool readOpened(std::string_view payload, QStringList &tables)
{
    proto::PayloadReader in(payload.data(), payload.size());
    std::uint32_t count = 0;
    if (!in.u32(count) || count > payload.size())
        return false;
    QStringList names;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::string_view name;
        if (!in.string(name))
            return false;
        names << QString::fromUtf8(name.data(), qsizetype(name.size()));
    }
    if (!in.atEnd())
        return false;
    tables = names;
    return true;
}

TableReply::Step TableReply::take(proto::FrameKind kind, std::string_view payload)
{
    if (!m_started) {
        m_started = true;
        return kind == proto::FrameKind::Columns ? columns(payload) : Step::Malformed;
    }
    if (kind == proto::FrameKind::End) {
        proto::PayloadReader in(payload.data(), payload.size());
        std::uint32_t total = 0;
        if (!in.u32(total) || !in.atEnd() || total != m_rowsSeen)
            return Step::Malformed;
        return Step::Done;
    }
    return kind == proto::FrameKind::Rows ? rows(payload) : Step::Malformed;
}

TableReply::Step TableReply::columns(std::string_view payload)
{
    std::vector<Column> columns;
    if (!proto::readColumns(payload, columns, m_declaredRows))
        return Step::Malformed;
    m_columns = QVector<Column>(columns.begin(), columns.end());
    m_sink.columns(m_columns);
    m_sink.expectRows(m_declaredRows);
    m_nullable.clear();
    m_batch.columns.clear();
    for (const Column &c : std::as_const(m_columns)) {
        m_nullable.push_back(proto::tagFits(c.type, CellTag::Null, c.calculated));
        RowBatch::Cells cells;
        cells.tag = info(c.type).cell;
        cells.date = c.type == StoredType::Date;
        m_batch.columns.push_back(cells);
    }
    return Step::More;
}

TableReply::Step TableReply::rows(std::string_view payload)
{
    proto::PayloadReader in(payload.data(), payload.size());
    if (!in.u32(m_lastRows))
        return Step::Malformed;
    const std::size_t rows = m_lastRows;
    m_batch.rows = rows;
    for (std::size_t c = 0; c < m_batch.columns.size(); ++c) {
        RowBatch::Cells &cells = m_batch.columns[c];
        const CellTag tag = cells.tag;
        const char *tags = nullptr;
        if (!in.take(rows, tags))
            return Step::Malformed;
        cells.tags = reinterpret_cast<const std::uint8_t *>(tags);
        // Each cell holds the column's one tag, or Null where the column may.
        std::size_t present = 0;
        bool others = false;
        for (std::size_t r = 0; r < rows; ++r) {
            const auto sent = static_cast<CellTag>(cells.tags[r]);
            present += sent == tag;
            others |= sent != tag && sent != CellTag::Null;
        }
        if (others || (present < rows && !m_nullable[c]))
            return Step::Malformed;
        if (tag == CellTag::Null)  // a column of no values (none is sent but Null)
            present = 0;
        cells.present = present;
        switch (tag) {
        case CellTag::Null: break;
        case CellTag::Integer:
        case CellTag::Real:
            if (!in.take(present * 8, cells.heads))
                return Step::Malformed;
            break;
        case CellTag::Text:
        case CellTag::Bytes: {
            if (!in.take(present * 4, cells.heads))
                return Step::Malformed;
            std::uint64_t bytes = 0;
            for (std::size_t i = 0; i < present; ++i)
                bytes += le::get32(reinterpret_cast<const unsigned char *>(cells.heads) + 4 * i);
            if (bytes > payload.size() || !in.take(std::size_t(bytes), cells.bytes))
                return Step::Malformed;
            break;
        }
        }
    }
    if (!in.atEnd())
        return Step::Malformed;
    m_sink.rows(m_batch);
    m_rowsSeen += rows;
    return Step::More;
}

}  // namespace jet::reply
