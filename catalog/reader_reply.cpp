#include "catalog/reader_reply.h"

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
    m_cells.resize(std::size_t(m_columns.size()));
    m_rules.clear();
    for (const Column &c : std::as_const(m_columns))
        m_rules.push_back({info(c.type).cell, proto::tagFits(c.type, CellTag::Null, c.calculated),
                           c.type == StoredType::Date});
    return Step::More;
}

TableReply::Step TableReply::rows(std::string_view payload)
{
    proto::PayloadReader in(payload.data(), payload.size());
    if (!in.u32(m_lastRows))
        return Step::Malformed;
    const std::size_t count = m_cells.size();
    for (std::uint32_t r = 0; r < m_lastRows; ++r) {
        for (std::size_t c = 0; c < count; ++c) {
            Cell &cell = m_cells[c];
            const CellRule rule = m_rules[c];
            std::uint8_t tag = 0;
            if (!in.u8(tag))
                return Step::Malformed;
            if (static_cast<CellTag>(tag) != rule.tag) {
                if (static_cast<CellTag>(tag) != CellTag::Null || !rule.nullable)
                    return Step::Malformed;
                cell = Cell{};
                continue;
            }
            switch (rule.tag) {
            case CellTag::Null:  // a column of no values (none is sent but Null)
                cell = Cell{};
                break;
            case CellTag::Integer:
                cell.isNull = false;
                if (!in.i64(cell.integer))
                    return Step::Malformed;
                break;
            case CellTag::Real:
                if (!in.f64(cell.real))
                    return Step::Malformed;
                // As the reader sends it: what no Jet date nor SQLite number is stays Null.
                cell.isNull = !proto::keepsReal(cell.real, rule.date);
                if (cell.isNull)
                    cell.real = 0;
                break;
            case CellTag::Text:
            case CellTag::Bytes:
                cell.isNull = false;
                if (!in.string(cell.text))
                    return Step::Malformed;
                break;
            }
        }
        m_sink.row(m_cells);
        ++m_rowsSeen;
    }
    return in.atEnd() ? Step::More : Step::Malformed;
}

}  // namespace jet::reply
