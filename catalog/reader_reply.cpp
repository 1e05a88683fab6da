#include "reader_reply.h"

#include <algorithm>

namespace proto = jet::protocol;

namespace jet::reply {
namespace {

static_assert(int(ColumnType::Ole) + 1 == int(proto::StoredType::Count), "column types follow the protocol's numbering");

bool tagFits(ColumnType type, proto::CellTag tag)
{
    if (tag == proto::CellTag::Null)
        return type != ColumnType::Boolean;
    switch (type) {
    case ColumnType::Long:
    case ColumnType::Int:
    case ColumnType::Byte:
    case ColumnType::Money:
    case ColumnType::Boolean:
        return tag == proto::CellTag::Integer;
    case ColumnType::Double:
    case ColumnType::Float:
    case ColumnType::Date:
        return tag == proto::CellTag::Real;
    case ColumnType::Text:
    case ColumnType::Memo:
    case ColumnType::Numeric:
    case ColumnType::Guid:
        return tag == proto::CellTag::Text;
    case ColumnType::Binary:
    case ColumnType::Ole:
        return tag == proto::CellTag::Bytes;
    }
    return false;
}

}  // namespace

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
    proto::PayloadReader in(payload.data(), payload.size());
    std::uint32_t count = 0;
    if (!in.u32(count) || count == 0 || count > 255)
        return Step::Malformed;
    m_columns.reserve(int(count));
    for (std::uint32_t i = 0; i < count; ++i) {
        std::string_view name;
        std::uint8_t type = 0, autoNumber = 0, precision = 0, scale = 0, keyPosition = 0;
        std::uint32_t length = 0;
        if (!in.string(name) || !in.u8(type) || !in.u32(length) || !in.u8(autoNumber) || !in.u8(precision)
            || !in.u8(scale) || !in.u8(keyPosition) || type >= std::uint8_t(proto::StoredType::Count)
            || length > 65535 || scale > precision || keyPosition > count)
            return Step::Malformed;
        Column c;
        c.name = QString::fromUtf8(name.data(), qsizetype(name.size()));
        c.type = static_cast<ColumnType>(type);
        c.length = int(length);
        c.autoNumber = autoNumber != 0;
        c.precision = precision;
        c.scale = scale;
        c.keyPosition = keyPosition;
        m_columns << c;
    }
    // The key's places are 1 to its length, each once.
    int keyLength = 0;
    for (const Column &c : std::as_const(m_columns))
        keyLength += c.keyPosition != 0;
    for (int place = 1; place <= keyLength; ++place)
        if (std::count_if(m_columns.cbegin(), m_columns.cend(), [&](const Column &c) { return c.keyPosition == place; }) != 1)
            return Step::Malformed;
    if (!in.u32(m_declaredRows) || !in.atEnd())
        return Step::Malformed;
    m_sink.columns(m_columns);
    m_sink.expectRows(m_declaredRows);
    m_cells.resize(count);
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
            const ColumnType type = m_columns[int(c)].type;
            std::uint8_t tag = 0;
            if (!in.u8(tag) || !tagFits(type, static_cast<proto::CellTag>(tag)))
                return Step::Malformed;
            cell = Cell{};
            switch (static_cast<proto::CellTag>(tag)) {
            case proto::CellTag::Null:
                break;
            case proto::CellTag::Integer:
                cell.isNull = false;
                if (!in.i64(cell.integer))
                    return Step::Malformed;
                break;
            case proto::CellTag::Real:
                if (!in.f64(cell.real))
                    return Step::Malformed;
                // As the reader sends it: what no Jet date nor SQLite number is stays Null.
                cell.isNull = !proto::keepsReal(cell.real, type == ColumnType::Date);
                if (cell.isNull)
                    cell.real = 0;
                break;
            case proto::CellTag::Text:
            case proto::CellTag::Bytes:
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
