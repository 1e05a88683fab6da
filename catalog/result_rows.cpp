#include "catalog/result_rows.h"

#include "catalog/jet_text.h"
#include "catalog/two_way.h"
#include "jet/protocol.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

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

ResultRows::TextBuffer::TextBuffer(TextBuffer &&other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)), m_size(std::exchange(other.m_size, 0)),
      m_capacity(std::exchange(other.m_capacity, 0))
{
}

ResultRows::TextBuffer &ResultRows::TextBuffer::operator=(TextBuffer &&other) noexcept
{
    if (this != &other) {
        std::free(m_data);
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
        m_capacity = std::exchange(other.m_capacity, 0);
    }
    return *this;
}

ResultRows::TextBuffer::~TextBuffer()
{
    std::free(m_data);
}

void ResultRows::TextBuffer::append(std::string_view bytes)
{
    char *at = extend(bytes.size());
    if (!bytes.empty())
        std::memcpy(at, bytes.data(), bytes.size());
}

char *ResultRows::TextBuffer::extend(size_t n)
{
    if (n > m_capacity - m_size) {
        const size_t wanted = std::max({m_capacity * 2, m_size + n, size_t(4096)});
        char *grown = static_cast<char *>(std::realloc(m_data, wanted));
        if (!grown)
            throw std::bad_alloc();
        m_data = grown;
        m_capacity = wanted;
    }
    char *at = m_data + m_size;
    m_size += n;
    return at;
}

void ResultRows::setLimits(std::int64_t rows, std::size_t bytes)
{
    m_rowLimit = rows;
    m_byteLimit = bytes;
}

void ResultRows::addColumn(const QString &name, int adoType)
{
    Column column;
    column.name = name;
    column.adoType = adoType;
    column.storage = storageFor(adoType);
    m_columns.push_back(std::move(column));
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
    Column &c = m_columns[size_t(column)];
    count(kCellBytes);
    c.nulls.push_back(1);
    switch (c.storage) {
    case Storage::Integer: c.integers.push_back(0); break;
    case Storage::Real: c.reals.push_back(0.0); break;
    case Storage::Text: c.offsets.push_back(std::uint32_t(c.text.size())); break;
    }
}

void ResultRows::setInteger(int column, std::int64_t value)
{
    Column &c = m_columns[size_t(column)];
    count(kCellBytes);
    c.nulls.push_back(0);
    switch (c.storage) {
    case Storage::Integer: c.integers.push_back(value); break;
    case Storage::Real: c.reals.push_back(double(value)); break;
    case Storage::Text:
        c.text.append(std::to_string(value));
        c.offsets.push_back(std::uint32_t(c.text.size()));
        break;
    }
}

void ResultRows::setReal(int column, double value)
{
    Column &c = m_columns[size_t(column)];
    // A date column holds only dates Jet can hold; SQLite keeps no NaN.
    if (!jet::protocol::keepsReal(value, c.adoType == ado::adDate)) {
        setNull(column);
        return;
    }
    count(kCellBytes);
    c.nulls.push_back(0);
    switch (c.storage) {
    case Storage::Integer: c.integers.push_back(wholeOf(value)); break;
    case Storage::Real: c.reals.push_back(value); break;
    case Storage::Text:
        c.text.append(realText(value));
        c.offsets.push_back(std::uint32_t(c.text.size()));
        break;
    }
}

void ResultRows::setText(int column, std::string_view utf8)
{
    Column &c = m_columns[size_t(column)];
    if (c.storage == Storage::Real) {
        setReal(column, std::strtod(std::string(utf8).c_str(), nullptr));
        return;
    }
    count(kCellBytes + utf8.size());
    c.nulls.push_back(0);
    switch (c.storage) {
    case Storage::Integer:
        c.integers.push_back(std::strtoll(std::string(utf8).c_str(), nullptr, 10));
        break;
    case Storage::Real: break;  // above
    case Storage::Text:
        c.text.append(utf8);
        c.offsets.push_back(std::uint32_t(c.text.size()));
        break;
    }
}

void ResultRows::endRow()
{
    if (m_rowCount >= m_rowLimit)
        throw TooLarge{true};
    ++m_rowCount;
}

bool ResultRows::isNull(int row, int column) const
{
    return m_columns[size_t(column)].nulls[size_t(row)] != 0;
}

std::int64_t ResultRows::integer(int row, int column) const
{
    return m_columns[size_t(column)].integers[size_t(row)];
}

double ResultRows::real(int row, int column) const
{
    return m_columns[size_t(column)].reals[size_t(row)];
}

std::string_view ResultRows::text(int row, int column) const
{
    const Column &c = m_columns[size_t(column)];
    const std::uint32_t begin = c.offsets[size_t(row)];
    return std::string_view(c.text).substr(begin, c.offsets[size_t(row) + 1] - begin);
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

void ResultRows::appendFoldedRows(int index, int begin, int end, std::string &text,
                                  std::vector<std::uint32_t> &ends) const
{
    const Column &column = m_columns[size_t(index)];
    if (column.storage == Storage::Text) {
        appendFoldedTexts(column, begin, end, text, ends);
        return;
    }
    for (int row = begin; row < end; ++row) {
        jettext::appendFolded(textForm(row, index), text);
        ends.push_back(std::uint32_t(text.size()));
    }
}

void ResultRows::appendFoldedTexts(const Column &column, int begin, int end, std::string &text,
                                   std::vector<std::uint32_t> &ends) const
{
    // Runs of ASCII rows are folded as one stretch of the column's buffer, and keep their
    // lengths; only a row with other letters is folded on its own.
    const std::string_view all(column.text);
    const std::uint32_t *offsets = column.offsets.data();
    int row = begin;
    while (row < end) {
        const size_t from = offsets[row];
        const size_t other = from + jettext::asciiLength(all.substr(from, offsets[end] - from));
        const int stop = other == offsets[end]
            ? end
            : int(std::upper_bound(offsets + row + 1, offsets + end + 1, std::uint32_t(other)) - offsets) - 1;
        const size_t base = text.size();
        jettext::appendFoldedAscii(all.substr(from, offsets[stop] - from), text);
        for (int r = row; r < stop; ++r)
            ends.push_back(std::uint32_t(base + (offsets[r + 1] - from)));
        if (stop == end)
            break;
        jettext::appendFolded(all.substr(offsets[stop], offsets[stop + 1] - offsets[stop]), text);
        ends.push_back(std::uint32_t(text.size()));
        row = stop + 1;
    }
}

void ResultRows::buildFolded(const Column &column, int index) const
{
    if (column.storage == Storage::Text && foldAsciiColumn(column))
        return;
    // Two halves folded side by side, then each copied into its place, also side by side:
    // the second half's text and ends move up by the length of the first.
    std::string texts[2];
    std::vector<std::uint32_t> ends[2];
    two_way::run(size_t(m_rowCount), [&](int part, size_t begin, size_t end) {
        if (column.storage == Storage::Text)
            texts[part].reserve(column.offsets[end] - column.offsets[begin]);
        ends[part].reserve(end - begin);
        appendFoldedRows(index, int(begin), int(end), texts[part], ends[part]);
    });
    if (texts[0].size() + texts[1].size() > m_foldedByteLimit) {
        // Past what the offsets reach (the ends of each part have wrapped): nothing is kept.
        column.foldedByRow = true;
        return;
    }
    char *out = column.foldedText.extend(texts[0].size() + texts[1].size());
    column.foldedOffsets.resize(size_t(m_rowCount) + 1);
    two_way::run(size_t(m_rowCount), [&](int part, size_t begin, size_t) {
        const size_t shift = part == 0 ? 0 : texts[0].size();
        if (!texts[part].empty())  // an empty column's buffer is no address at all
            std::memcpy(out + shift, texts[part].data(), texts[part].size());
        std::uint32_t *at = column.foldedOffsets.data() + begin + 1;
        for (std::uint32_t e : ends[part])
            *at++ = std::uint32_t(e + shift);
    });
    column.foldedOffsets[0] = 0;
}

bool ResultRows::foldAsciiColumn(const Column &column) const
{
    // ASCII text folds to the same length: each half is lowered straight into its place, and
    // the rows keep their offsets. At the first other byte the column takes the general way.
    const std::string_view all(column.text);
    char *out = column.foldedText.extend(all.size());
    bool ascii[2] = {true, true};
    two_way::run(size_t(m_rowCount), [&](int part, size_t begin, size_t end) {
        const size_t from = column.offsets[begin], length = column.offsets[end] - from;
        ascii[part] = jettext::foldAscii(all.substr(from, length), out + from) == length;
    });
    if (ascii[0] && ascii[1]) {
        column.foldedKeepsOffsets = true;
        return true;
    }
    column.foldedText = TextBuffer();
    return false;
}

std::string_view ResultRows::folded(int row, int column) const
{
    const FoldedColumn all = foldedColumn(column);
    if (!all.offsets) {
        thread_local std::string one;
        thread_local std::vector<std::uint32_t> ends;
        one.clear();
        ends.clear();
        appendFoldedRows(column, row, row + 1, one, ends);
        return one;
    }
    const std::uint32_t begin = all.offsets[row];
    return all.texts.substr(begin, all.offsets[row + 1] - begin);
}

ResultRows::FoldedColumn ResultRows::foldedColumn(int column) const
{
    const Column &c = m_columns[size_t(column)];
    std::call_once(*c.foldedOnce, [&] { buildFolded(c, column); });
    if (c.foldedByRow)
        return {};
    return {c.foldedText, c.foldedKeepsOffsets ? c.offsets.data() : c.foldedOffsets.data()};
}

bool ResultRows::isAsciiColumn(int column) const
{
    const Column &c = m_columns[size_t(column)];
    if (c.asciiOnly < 0)
        c.asciiOnly = jettext::isAscii(c.text) ? 1 : 0;
    return c.asciiOnly == 1;
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
        total += c.nulls.capacity() + c.integers.capacity() * 8 + c.reals.capacity() * 8
            + c.text.capacity() + c.offsets.capacity() * 4 + c.foldedText.capacity()
            + c.foldedOffsets.capacity() * 4;
    return total;
}
