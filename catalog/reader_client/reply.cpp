#include "catalog/reader_client/reply.h"

#include "jet/rows_frame.h"

namespace proto = jet::protocol;

namespace reader_client::reply {

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
    std::vector<jet::Column> columns;
    if (!proto::readColumns(payload, columns, m_declaredRows))
        return Step::Malformed;
    m_columns = QVector<jet::Column>(columns.begin(), columns.end());
    m_sink.columns(m_columns);
    m_sink.expectRows(m_declaredRows);
    m_nullable.clear();
    m_batch.columns.clear();
    for (const jet::Column &c : std::as_const(m_columns)) {
        m_nullable.push_back(proto::tagFits(c.type, jet::CellTag::Null, c.calculated));
        jet::RowBatch::Cells cells;
        cells.tag = info(c.type).cell;
        cells.date = c.type == jet::StoredType::Date;
        m_batch.columns.push_back(cells);
    }
    return Step::More;
}

TableReply::Step TableReply::rows(std::string_view payload)
{
    if (!proto::readRows(payload, m_batch, m_nullable))
        return Step::Malformed;
    m_lastRows = std::uint32_t(m_batch.rows);
    m_sink.rows(m_batch);
    m_rowsSeen += m_batch.rows;
    return Step::More;
}

}  // namespace reader_client::reply
