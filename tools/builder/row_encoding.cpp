#include "tools/builder/writer.h"

#include "jet/codec.h"
#include "tools/builder/value_encoding.h"

#include <QString>

#include <algorithm>
#include <cstring>
#include <limits>

namespace build::writer {

std::string Writer::where(const TablePlan &p, const std::string &column) const
{
    std::string w = "table '" + p.def->name + "', row " + std::to_string(p.rows + 1);
    if (!column.empty())
        w += ", column '" + column + "'";
    return w;
}

void Writer::writeRow(TablePlan &p, const std::vector<Value> &values)
{
    const TableDef &t = *p.def;
    if (values.size() != t.columns.size())
        throw BuildError(where(p) + ": " + std::to_string(values.size()) + " values for " +
                         std::to_string(t.columns.size()) + " columns");
    const unsigned count = unsigned(t.columns.size());
    Bytes &row = m_row;
    row.assign(m_l.rowColumnCountBytes + p.fixedSize, 0);
    putCount(row.data(), count);
    std::vector<bool> present(count, false);
    m_varBytes.assign(p.varOrder.size(), std::string());
    std::vector<std::size_t> longValues;  // var mapSlots that hold memo or OLE values
    for (unsigned i = 0; i < count; ++i) {
        const jet::Column &c = t.columns[i];
        const ColumnPlan &cp = p.columns[i];
        Value autoValue;
        const Value *v = &values[i];
        if (c.autoNumber && v->kind == Value::Kind::Null) {
            autoValue = {Value::Kind::Integer, std::int64_t(p.lastAutoNumber) + 1};
            v = &autoValue;  // Jet numbers a row that arrives without one
        }
        if (v->kind == Value::Kind::Null)
            continue;
        try {
            // A calculated value of a set-size type is encoded here, then wrapped.
            std::uint8_t scratch[jet::codec::kExtendedDateSize] = {};
            std::uint8_t *f = c.calculated ? scratch : row.data() + m_l.rowColumnCountBytes + cp.fixedOffset;
            present[i] = true;
            const jet::StoredTypeInfo &range = jet::info(c.type);
            std::string *calculated = c.calculated ? &m_varBytes[cp.varIndex] : nullptr;
            switch (c.type) {
            case jet::StoredType::Boolean:
                if (calculated)
                    *calculated = jet::codec::wrapCalculated(encoding::yesNo(*v) ? "\xff" : std::string_view("\0", 1));
                else
                    present[i] = encoding::yesNo(*v);
                break;
            case jet::StoredType::BigInt: put64(f, std::uint64_t(encoding::wholeNumber(*v, range.least, range.most))); break;
            case jet::StoredType::DateTimeExt: {
                const std::string d = encoding::extendedDate(*v);
                std::memcpy(f, d.data(), d.size());
                break;
            }
            case jet::StoredType::Byte: *f = std::uint8_t(encoding::wholeNumber(*v, range.least, range.most)); break;
            case jet::StoredType::Int: put16(f, std::uint16_t(encoding::wholeNumber(*v, range.least, range.most))); break;
            case jet::StoredType::Long: {
                const std::int64_t n = encoding::wholeNumber(*v, range.least, range.most);
                put32(f, std::uint32_t(n));
                if (c.autoNumber && n > std::int64_t(p.lastAutoNumber))
                    p.lastAutoNumber = std::uint32_t(n);
                break;
            }
            case jet::StoredType::Money: put64(f, std::uint64_t(encoding::money(*v))); break;
            case jet::StoredType::Float: {
                put32(f, jet::le::bitsOf(float(encoding::real(*v, true))));
                break;
            }
            case jet::StoredType::Double: put64(f, jet::le::bitsOf(encoding::real(*v, false))); break;
            case jet::StoredType::Date: put64(f, jet::le::bitsOf(encoding::date(*v))); break;
            case jet::StoredType::Guid: {
                const std::string g = encoding::guid(*v);
                std::memcpy(f, g.data(), g.size());
                break;
            }
            case jet::StoredType::Numeric: {
                if (calculated) {
                    *calculated = jet::codec::wrapCalculated(encoding::calculatedDecimal(*v));
                    break;
                }
                const std::string d = encoding::decimal(*v, c.precision, c.scale);
                std::memcpy(f, d.data(), d.size());
                break;
            }
            case jet::StoredType::Text:
                // Access stores a calculated text uncompressed.
                m_varBytes[cp.varIndex] = stored(encoding::text(*v, std::size_t(c.length)), !calculated);
                if (calculated)
                    *calculated = jet::codec::wrapCalculated(*calculated);
                break;
            case jet::StoredType::Memo: {
                const std::u16string s = encoding::text(*v, 0);
                m_varBytes[cp.varIndex] = stored(s, !calculated && s.size() <= kCompressibleMemo);
                if (calculated)
                    *calculated = jet::codec::wrapCalculated(*calculated);
                longValues.push_back(cp.varIndex);
                break;
            }
            case jet::StoredType::Ole:
                m_varBytes[cp.varIndex] = encoding::blob(*v);
                longValues.push_back(cp.varIndex);
                break;
            case jet::StoredType::Binary:
            case jet::StoredType::Count:
                break;
            }
            const std::uint8_t size = range.fixedSize;
            if (calculated && size != jet::kVariableSize && c.type != jet::StoredType::Boolean &&
                c.type != jet::StoredType::Numeric)
                *calculated = jet::codec::wrapCalculated({reinterpret_cast<const char *>(scratch), size});
        } catch (const BuildError &e) {
            throw BuildError(where(p, c.name) + ": " + e.what());
        }
    }

    if (!p.keyColumns.empty())
        checkKey(p, values, present);

    // The row's size with every long value out of line, then those that fit taken in.
    std::size_t size = row.size();
    for (std::size_t slot = 0; slot < m_varBytes.size(); ++slot)
        size += std::find(longValues.begin(), longValues.end(), slot) == longValues.end()
                    ? m_varBytes[slot].size()
                    : m_l.longValueHeader;
    if (!p.varOrder.empty())
        size += m_l.rowColumnCountBytes * (p.varOrder.size() + 2);
    size += (count + 7) / 8;
    if (size > m_data.capacity())
        throw BuildError(where(p) + ": the row needs " + std::to_string(size) + " bytes, more than a page holds (" +
                         std::to_string(m_data.capacity()) + ")");
    for (std::size_t slot : longValues) {
        std::string &bytes = m_varBytes[slot];
        if (bytes.size() > m_l.longValueLengthMask)
            throw BuildError(where(p, t.columns[p.varOrder[slot]].name) + ": the value is longer than Jet allows");
        std::string header(m_l.longValueHeader, '\0');
        auto *h = reinterpret_cast<std::uint8_t *>(header.data());
        if (bytes.size() <= kInlineLongValue && size + bytes.size() <= m_data.capacity()) {
            put32(h, std::uint32_t(bytes.size()) | m_l.longValueInline);
            size += bytes.size();
            bytes = header + bytes;
        } else {
            const std::size_t singleRow = m_longValues.capacity();
            if (bytes.size() <= singleRow) {
                put32(h, std::uint32_t(bytes.size()) | m_l.longValueSingle);
                put32(h + 4, placeLongValue(reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size()));
            } else {
                put32(h, std::uint32_t(bytes.size()));
                put32(h + 4, placeChain(bytes));
            }
            bytes = header;
        }
    }

    for (std::size_t slot = 0; slot < p.varOrder.size(); ++slot) {
        m_varStarts.resize(p.varOrder.size());
        m_varStarts[slot] = row.size();
        appendBytes(row, m_varBytes[slot]);
    }
    if (!p.varOrder.empty())
        appendVarTable(row, count);
    const std::size_t mask = row.size();
    row.resize(mask + (count + 7) / 8, 0);
    for (unsigned i = 0; i < count; ++i)
        if (present[i])
            row[mask + i / 8] |= std::uint8_t(1u << (i % 8));

    if (!m_data.open() || !m_data.fits(row.size())) {
        flushData(p);
        std::uint8_t owner[4];
        put32(owner, p.tdefPage);
        m_data.start(owner, 0);
    }
    const unsigned slot = m_data.add(row.data(), row.size());
    if (p.indexed)
        p.keyEntries.add(p.key, {p.rows + 1, std::uint32_t(p.dataPages.size()), std::uint8_t(slot)});
    if (p.rows == std::numeric_limits<std::uint32_t>::max())
        throw BuildError(where(p) + ": more rows than a Jet table holds");
    ++p.rows;
}

void Writer::putCount(std::uint8_t *at, unsigned n) const
{
    if (m_l.rowColumnCountBytes == 1)
        *at = std::uint8_t(n);
    else
        put16(at, n);
}

std::string Writer::stored(const std::u16string &text, bool mayCompress) const
{
    return m_l.textUnitBytes == 1 ? encoding::codePageText(text) : encoding::storedText(text, mayCompress);
}

void Writer::appendVarTable(Bytes &row, unsigned count)
{
    const std::size_t vars = m_varStarts.size();
    const std::size_t end = row.size();
    if (m_l.rowColumnCountBytes == 2) {
        append16(row, unsigned(end));
        for (std::size_t slot = vars; slot-- > 0;)
            append16(row, unsigned(m_varStarts[slot]));
        append16(row, unsigned(vars));
        return;
    }
    const std::size_t mask = (count + 7) / 8;
    std::size_t jumps = 0;
    while (true) {
        const std::size_t length = end + 1 + vars + jumps + 1 + mask;
        const std::size_t needed = (length - 1) / 256;
        if (needed == jumps)
            break;
        jumps = needed;
    }
    std::vector<std::size_t> offsets(m_varStarts.begin(), m_varStarts.end());
    offsets.push_back(end);
    row.push_back(std::uint8_t(end & 0xff));
    for (std::size_t slot = vars; slot-- > 0;)
        row.push_back(std::uint8_t(offsets[slot] & 0xff));
    // Nearest the null mask first: jump j names the first entry at or past 256 * (j + 1).
    std::vector<std::uint8_t> table(jumps, 0xff);
    for (std::size_t j = 0; j < jumps; ++j)
        for (std::size_t i = 0; i < offsets.size(); ++i)
            if (offsets[i] >= 256 * (j + 1)) {
                table[j] = std::uint8_t(i);
                break;
            }
    for (std::size_t j = jumps; j-- > 0;)
        row.push_back(table[j]);
    row.push_back(std::uint8_t(vars));
}

void Writer::checkKey(TablePlan &p, const std::vector<Value> &values, const std::vector<bool> &present)
{
    for (unsigned i : p.keyColumns) {
        const jet::Column &c = p.def->columns[i];
        if (values[i].kind == Value::Kind::Null && !c.autoNumber)
            throw BuildError(where(p, c.name) + ": the primary key cannot be Null");
    }
    if (p.indexed) {  // repeats are found once the entries are sorted
        p.key.clear();
        for (unsigned i : p.keyColumns)
            index::appendKeyColumn(p.key, p.def->columns[i].type,
                                   m_row.data() + m_l.rowColumnCountBytes + p.columns[i].fixedOffset,
                                   p.columns[i].size);
        return;
    }
    std::string key;
    for (unsigned i : p.keyColumns) {
        const jet::Column &c = p.def->columns[i];
        const ColumnPlan &cp = p.columns[i];
        if (c.type == jet::StoredType::Boolean)
            key += present[i] ? '1' : '0';
        else if (cp.fixed)
            key.append(reinterpret_cast<const char *>(m_row.data()) + m_l.rowColumnCountBytes + cp.fixedOffset, cp.size);
        else
            key += QString::fromStdU16String(encoding::text(values[i], 0)).toCaseFolded().toStdString();
        key += '\0';
    }
    if (!p.keys.insert(std::move(key)).second)
        throw BuildError(where(p) + ": " + repeatedKey(p));
}

std::string Writer::repeatedKey(const TablePlan &p) const
{
    return "the primary key (" + p.def->primaryKey.front() + (p.keyColumns.size() > 1 ? ", ..." : "") +
           ") repeats an earlier row's";
}

void Writer::flushData(TablePlan &p)
{
    if (!m_data.open())
        return;
    const std::uint32_t number = m_file.allocate();
    m_file.write(number, m_data.finish());
    p.dataPages.push_back(number);
}

std::uint32_t Writer::placeLongValue(const std::uint8_t *bytes, std::size_t size)
{
    if (!m_longValues.open() || !m_longValues.fits(size)) {
        flushLongValues();
        m_longValues.start(reinterpret_cast<const std::uint8_t *>(kLongValueOwner), m_file.allocate());
    }
    return pageRow(m_longValues.number(), m_longValues.add(bytes, size));
}

void Writer::flushLongValues()
{
    if (m_longValues.open())
        m_file.write(m_longValues.number(), m_longValues.finish());
}

std::uint32_t Writer::placeChain(const std::string &bytes)
{
    const std::size_t chunk = m_longValues.capacity() - 4;
    std::vector<std::size_t> starts;
    for (std::size_t at = 0; at < bytes.size(); at += chunk)
        starts.push_back(at);
    std::uint32_t next = 0;
    Bytes piece;
    for (std::size_t i = starts.size(); i-- > 0;) {
        const std::size_t n = std::min(chunk, bytes.size() - starts[i]);
        piece.assign(4, 0);
        put32(piece.data(), next);
        piece.insert(piece.end(), bytes.begin() + std::ptrdiff_t(starts[i]),
                     bytes.begin() + std::ptrdiff_t(starts[i] + n));
        next = placeLongValue(piece.data(), piece.size());
    }
    return next;
}

void Writer::endTable(TablePlan &p)
{
    p.keys = {};
    flushData(p);
    flushLongValues();
    if (!p.indexed)
        return;
    if (const std::uint32_t repeat = p.keyEntries.sortAndFindRepeat())
        throw BuildError("table '" + p.def->name + "', row " + std::to_string(repeat) + ": " + repeatedKey(p));
    p.indexTree = index::writeTree(
        p.keyEntries, p.dataPages, p.tdefPage, m_l, m_il, [&](std::uint32_t n) { return m_file.allocate(n); },
        [&](std::uint32_t page, const std::uint8_t *bytes) { m_file.write(page, bytes); });
    p.keyEntries.clear();
}

}  // namespace build::writer
