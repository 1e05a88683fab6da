#include "catalog/engine/result_rows.h"

#include "catalog/jettext/jet_text.h"
#include "jet/protocol.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace engine {

namespace {

ResultRows::Storage storageFor(int adoType)
{
    switch (adoType) {
    case ado::adSmallInt:
    case ado::adInteger:
    case ado::adUnsignedTinyInt:
    case ado::adBoolean:
    case ado::adBigInt:
        return ResultRows::Storage::Integer;
    case ado::adSingle:
    case ado::adDouble:
    case ado::adCurrency:
    case ado::adNumeric:
    case ado::adDate:
        return ResultRows::Storage::Real;
    default:
        return ResultRows::Storage::Text;
    }
}

// Date and time are built apart so that no time-zone shift creeps in.
QDateTime dateFromDays(double days)
{
    // Outside Jet's dates (never from a file: the reader sends those as Null) there is none.
    if (!jet::codec::isDay(days))
        return {};
    const jet::codec::DateTime w = jet::codec::decodeDate(days);
    return QDateTime(QDate(w.year, w.month, w.day), QTime(w.hour, w.minute, w.second, w.millisecond));
}

// The place a value takes beyond its text: its Null flag and a number or a text's offset.
constexpr std::size_t kCellBytes = 9;

// A Date/Time Extended value ("yyyy-MM-dd HH:mm:ss.fffffff") as a date and time, to the
// millisecond a QDateTime keeps; its text keeps all seven digits.
QVariant extendedDate(std::string_view text)
{
    const QString s = QString::fromUtf8(text.data(), qsizetype(std::min<std::size_t>(text.size(), 23)));
    const QDate day = QDate::fromString(s.left(10), QStringLiteral("yyyy-MM-dd"));
    const QTime time = QTime::fromString(s.mid(11), QStringLiteral("HH:mm:ss.zzz"));
    if (!day.isValid() || !time.isValid())
        return QVariant(QString::fromUtf8(text.data(), qsizetype(text.size())));
    return QVariant(QDateTime(day, time));
}

// A real kept in a whole-number column: rounded, and within the column's range.
std::int64_t wholeOf(double value)
{
    constexpr double kPastLargest = 9223372036854775808.0;  // 2^63
    if (!(value > -kPastLargest && value < kPastLargest))
        return value > 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
    return std::int64_t(std::llround(value));
}

std::string realText(double value)
{
    // The shortest form that reads back as the same number, without grouping or exponent
    // for ordinary amounts: 29.95, 0, 1500000.
    char buffer[64];
    for (int precision = 1; precision <= 17; ++precision) {
        std::snprintf(buffer, sizeof buffer, "%.*g", precision, value);
        if (std::strtod(buffer, nullptr) == value)
            break;
    }
    std::string text(buffer);
    if (text.find('e') != std::string::npos && std::fabs(value) < 1e15) {
        std::snprintf(buffer, sizeof buffer, "%.6f", value);
        text = buffer;
        while (!text.empty() && text.back() == '0')
            text.pop_back();
        if (!text.empty() && text.back() == '.')
            text.pop_back();
    }
    return text;
}

}  // namespace

void ResultRows::setLimits(std::int64_t rows, std::size_t bytes)
{
    m_rowLimit = rows;
    m_byteLimit = bytes;
}

ResultRows::Storage ResultRows::storageOf(int adoType)
{
    return storageFor(adoType);
}

void ResultRows::addColumn(const QString &name, int adoType)
{
    Column column;
    column.name = name;
    column.adoType = adoType;
    column.storage = storageFor(adoType);
    column.own = std::make_shared<ColumnValues>(column.storage);
    column.own->setTextLimit(m_textLimit);
    column.values = column.own;
    m_columns.push_back(std::move(column));
}

int ResultRows::addRowMap()
{
    m_maps.emplace_back();
    return int(m_maps.size()) - 1;
}

void ResultRows::addSharedColumn(const QString &name, int adoType, std::shared_ptr<const ColumnValues> values, int map)
{
    Column column;
    column.name = name;
    column.adoType = adoType;
    column.storage = values->storage();
    column.values = std::move(values);
    column.map = map;
    m_columns.push_back(std::move(column));
}

std::shared_ptr<const ColumnValues> ResultRows::ownValues(int column) const
{
    return m_columns[size_t(column)].own;
}

ColumnValues &ResultRows::own(int column)
{
    return *m_columns[size_t(column)].own;
}

void ResultRows::setSourceRow(int map, std::uint32_t row)
{
    RowMap &m = m_maps[size_t(map)];
    if (m.contiguous) {
        if (m.count == 0)
            m.first = row;
        if (std::size_t(row) == std::size_t(m.first) + m.count) {
            ++m.count;
            return;
        }
        count(m.count * sizeof row);
        m.rows.resize(m.count);
        for (std::size_t i = 0; i < m.count; ++i)
            m.rows[i] = std::uint32_t(m.first + i);
        m.contiguous = false;
    }
    count(sizeof row);
    m.ascending = m.ascending && (m.rows.empty() || row >= m.rows.back());
    m.rows.push_back(row);
    ++m.count;
}

ResultRows::Shared ResultRows::shared(int column) const
{
    const Column &c = m_columns[size_t(column)];
    if (c.map < 0)
        return {};
    const RowMap &map = m_maps[size_t(c.map)];
    return {c.values.get(), map.contiguous ? nullptr : map.rows.data(), map.contiguous ? map.first : 0};
}

bool ResultRows::isInOrder(int column) const
{
    const Column &c = m_columns[size_t(column)];
    if (!c.values->inOrder())
        return false;
    return c.map < 0 || m_maps[size_t(c.map)].contiguous || m_maps[size_t(c.map)].ascending;
}

ado::Field ResultRows::field(int column) const
{
    if (column < 0 || column >= columnCount())
        return {};
    return {m_columns[size_t(column)].name, m_columns[size_t(column)].adoType};
}

int ResultRows::columnIndex(const QString &name) const
{
    for (int i = 0; i < columnCount(); ++i)
        if (m_columns[size_t(i)].name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

void ResultRows::setNull(int column)
{
    count(kCellBytes);
    own(column).appendNull();
}

void ResultRows::setInteger(int column, std::int64_t value)
{
    ColumnValues &c = own(column);
    count(kCellBytes);
    switch (c.storage()) {
    case Storage::Integer: c.appendInteger(value); break;
    case Storage::Real: c.appendReal(double(value)); break;
    case Storage::Text: {
        const std::string text = std::to_string(value);
        count(text.size());
        c.appendText(text);
        break;
    }
    }
}

void ResultRows::setReal(int column, double value)
{
    ColumnValues &c = own(column);
    // A date column holds only dates Jet can hold; SQLite keeps no NaN.
    if (!jet::protocol::keepsReal(value, m_columns[size_t(column)].adoType == ado::adDate)) {
        setNull(column);
        return;
    }
    count(kCellBytes);
    switch (c.storage()) {
    case Storage::Integer: c.appendInteger(wholeOf(value)); break;
    case Storage::Real: c.appendReal(value); break;
    case Storage::Text: {
        const std::string text = realText(value);
        count(text.size());
        c.appendText(text);
        break;
    }
    }
}

void ResultRows::setText(int column, std::string_view utf8)
{
    ColumnValues &c = own(column);
    if (c.storage() == Storage::Real) {
        setReal(column, std::strtod(std::string(utf8).c_str(), nullptr));
        return;
    }
    count(kCellBytes + utf8.size());
    if (c.storage() == Storage::Integer)
        c.appendInteger(std::strtoll(std::string(utf8).c_str(), nullptr, 10));
    else
        c.appendText(utf8);
}

void ResultRows::keepOwnValues(int column)
{
    Column &c = m_columns[size_t(column)];
    if (c.own)
        return;
    auto own = std::make_shared<ColumnValues>(c.storage);
    own->setTextLimit(m_textLimit);
    for (int row = 0; row < m_rowCount; ++row) {
        const std::size_t place = at(c, row);
        count(kCellBytes);
        if (c.values->isNull(place)) {
            own->appendNull();
            continue;
        }
        switch (c.storage) {
        case Storage::Integer: own->appendInteger(c.values->integer(place)); break;
        case Storage::Real: own->appendReal(c.values->real(place)); break;
        case Storage::Text: {
            const std::string_view text = c.values->text(place);
            count(text.size());
            own->appendText(text);
            break;
        }
        }
    }
    // The map may serve no other column: it is left as it stands, and read no more.
    c.map = -1;
    c.own = own;
    c.values = std::move(own);
}

void ResultRows::endRow()
{
    if (m_rowCount >= m_rowLimit)
        throw TooLarge{true};
    ++m_rowCount;
}

QVariant ResultRows::value(int row, int column) const
{
    if (row < 0 || row >= m_rowCount || column < 0 || column >= columnCount()
        || isNull(row, column))
        return {};
    const Column &c = m_columns[size_t(column)];
    switch (c.storage) {
    case Storage::Integer:
        if (c.adoType == ado::adBoolean)
            return QVariant(integer(row, column) != 0);
        if (c.adoType == ado::adBigInt)
            return QVariant(qlonglong(integer(row, column)));
        return QVariant(int(integer(row, column)));
    case Storage::Real:
        if (c.adoType == ado::adDate)
            return QVariant(dateFromDays(real(row, column)));
        return QVariant(real(row, column));
    case Storage::Text: {
        const std::string_view t = text(row, column);
        if (c.adoType == ado::adBinary || c.adoType == ado::adLongVarBinary)
            return QVariant(QByteArray(t.data(), qsizetype(t.size())));
        if (c.adoType == ado::adDBTimeStamp)
            return extendedDate(t);
        return QVariant(QString::fromUtf8(t.data(), qsizetype(t.size())));
    }
    }
    return {};
}

std::string ResultRows::textForm(int row, int column) const
{
    if (isNull(row, column))
        return {};
    const Column &c = m_columns[size_t(column)];
    switch (c.storage) {
    case Storage::Integer:
        if (c.adoType == ado::adBoolean)
            return integer(row, column) ? "True" : "False";
        return std::to_string(integer(row, column));
    case Storage::Real:
        if (c.adoType == ado::adDate)
            return dateFromDays(real(row, column)).toString(Qt::ISODate).toStdString();
        return realText(real(row, column));
    case Storage::Text:
        return std::string(text(row, column));
    }
    return {};
}

void ResultRows::buildFoldedForms(int column) const
{
    // Other than text, each row's text form is folded on its own, once for the column.
    const Column &c = m_columns[size_t(column)];
    auto forms = std::make_unique<ColumnValues>(Storage::Text);
    std::string folded;
    for (int row = 0; row < m_rowCount; ++row) {
        folded.clear();
        jettext::appendFolded(textForm(row, column), folded);
        if (forms->texts().size() + folded.size() > m_foldedByteLimit)
            return;  // none kept: folded row by row
        forms->appendText(folded);
    }
    c.foldedForms = std::move(forms);
}

std::string_view ResultRows::folded(int row, int column) const
{
    const FoldedColumn all = foldedColumn(column);
    if (!all.offsets) {
        thread_local std::string one;
        one.clear();
        const Column &c = m_columns[size_t(column)];
        if (c.storage == Storage::Text) {
            thread_local std::vector<std::uint32_t> ends;
            ends.clear();
            const std::size_t source = at(c, row);
            c.values->appendFolded(source, source + 1, one, ends);
        } else {
            jettext::appendFolded(textForm(row, column), one);
        }
        return one;
    }
    const std::size_t place = all.rows ? all.rows[row] : std::size_t(row);
    const std::uint32_t begin = all.offsets[place];
    return all.texts.substr(begin, all.offsets[place + 1] - begin);
}

ResultRows::FoldedColumn ResultRows::foldedColumn(int column) const
{
    // Worked out once (the rows are complete by then): a filter asks for it row by row.
    const Column &c = m_columns[size_t(column)];
    std::call_once(*c.foldedOnce, [&] {
        if (c.storage != Storage::Text) {
            buildFoldedForms(column);
            if (c.foldedForms)
                c.folded = {c.foldedForms->texts(), c.foldedForms->offsets(), nullptr};
            return;
        }
        const ColumnValues::Folded folded = c.values->folded(m_foldedByteLimit);
        if (!folded.offsets)
            return;
        if (c.map < 0) {
            c.folded = {folded.texts, folded.offsets, nullptr, folded.marks};
            return;
        }
        const RowMap &map = m_maps[size_t(c.map)];
        c.folded = map.contiguous
            ? FoldedColumn{folded.texts, folded.offsets + map.first, nullptr, folded.marks ? folded.marks + map.first : nullptr}
            : FoldedColumn{folded.texts, folded.offsets, map.rows.data(), folded.marks};
    });
    return c.folded;
}

const std::uint8_t *ResultRows::nullFlags(int column, int begin, int end, std::vector<std::uint8_t> &scratch) const
{
    const Column &c = m_columns[size_t(column)];
    const std::uint8_t *nulls = c.values->nullFlags();
    if (!nulls)
        return nullptr;
    if (c.map < 0)
        return nulls + begin;
    const RowMap &map = m_maps[size_t(c.map)];
    if (map.contiguous)
        return nulls + map.first + begin;
    const std::uint32_t *rows = map.rows.data();
    scratch.resize(size_t(end - begin));
    for (int row = begin; row < end; ++row)
        scratch[size_t(row - begin)] = nulls[rows[row]];
    return scratch.data();
}

bool ResultRows::isAsciiColumn(int column) const
{
    return m_columns[size_t(column)].values->isAscii();
}

int ResultRows::compareRows(int rowA, int rowB, int column) const
{
    const bool nullA = isNull(rowA, column);
    const bool nullB = isNull(rowB, column);
    if (nullA || nullB)
        return nullA == nullB ? 0 : (nullA ? -1 : 1);
    switch (m_columns[size_t(column)].storage) {
    case Storage::Integer: {
        const auto a = integer(rowA, column), b = integer(rowB, column);
        return a < b ? -1 : (a > b ? 1 : 0);
    }
    case Storage::Real: {
        const double a = real(rowA, column), b = real(rowB, column);
        return a < b ? -1 : (a > b ? 1 : 0);
    }
    case Storage::Text:
        return jettext::compare(text(rowA, column), text(rowB, column));
    }
    return 0;
}

size_t ResultRows::byteSize() const
{
    size_t total = 0;
    for (const Column &c : m_columns)
        total += (c.own ? c.own->byteSize() : 0) + (c.foldedForms ? c.foldedForms->byteSize() : 0);
    for (const RowMap &map : m_maps)
        total += map.rows.capacity() * sizeof(std::uint32_t);
    return total;
}

}  // namespace engine
