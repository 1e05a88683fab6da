#include "tools/builder/value_encoding.h"

#include "jet/codec.h"
#include "jet/stored_type.h"

#include <QString>
#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace build::encoding {
namespace {

using jet::codec::Decimal;
using jet::codec::Refusal;

[[noreturn]] void refuse(const std::string &why) { throw BuildError(why); }

std::string shown(const Value &v)
{
    switch (v.kind) {
    case Value::Kind::Null: return "Null";
    case Value::Kind::Integer: return std::to_string(v.integer);
    case Value::Kind::Real: {
        char buf[64];
        const auto r = std::to_chars(buf, buf + sizeof buf, v.real);
        return std::string(buf, r.ptr);
    }
    case Value::Kind::Text: return "'" + (v.bytes.size() > 40 ? v.bytes.substr(0, 40) + "..." : v.bytes) + "'";
    case Value::Kind::Blob: return "a blob of " + std::to_string(v.bytes.size()) + " bytes";
    }
    return {};
}

Decimal decimalOf(const Value &v)
{
    Decimal d;
    switch (v.kind) {
    case Value::Kind::Integer:
        jet::codec::parseDecimal(std::to_string(v.integer), d);
        return d;
    case Value::Kind::Real: {
        if (!std::isfinite(v.real))
            refuse(shown(v) + " is not a number");
        char buf[512];
        const auto r = std::to_chars(buf, buf + sizeof buf, v.real, std::chars_format::fixed);
        jet::codec::parseDecimal(std::string_view(buf, std::size_t(r.ptr - buf)), d);
        return d;
    }
    case Value::Kind::Text:
        if (jet::codec::parseDecimal(v.bytes, d))
            return d;
        break;
    default:
        break;
    }
    refuse(shown(v) + " is not a number");
}

double doubleOf(const Value &v)
{
    switch (v.kind) {
    case Value::Kind::Integer: return double(v.integer);
    case Value::Kind::Real: return v.real;
    case Value::Kind::Text: {
        double d = 0;
        const char *end = v.bytes.data() + v.bytes.size();
        const auto r = std::from_chars(v.bytes.data(), end, d);
        if (r.ec == std::errc() && r.ptr == end)
            return d;
        break;
    }
    default:
        break;
    }
    refuse(shown(v) + " is not a number");
}

}  // namespace

std::int64_t wholeNumber(const Value &v, std::int64_t min, std::int64_t max)
{
    std::int64_t n = 0;
    if (v.kind == Value::Kind::Integer) {
        n = v.integer;
    } else if (v.kind == Value::Kind::Real && std::trunc(v.real) == v.real && std::fabs(v.real) < 9.2e18) {
        n = std::int64_t(v.real);
    } else if (v.kind == Value::Kind::Text) {
        const char *end = v.bytes.data() + v.bytes.size();
        const char *start = v.bytes.data() + (!v.bytes.empty() && v.bytes[0] == '+');
        const auto r = std::from_chars(start, end, n);
        if (r.ec == std::errc::result_out_of_range)
            refuse(shown(v) + " is out of range (" + std::to_string(min) + " to " + std::to_string(max) + ")");
        if (r.ec != std::errc() || r.ptr != end || start == end)
            refuse(shown(v) + " is not a whole number");
    } else {
        refuse(shown(v) + " is not a whole number");
    }
    if (n < min || n > max)
        refuse(shown(v) + " is out of range (" + std::to_string(min) + " to " + std::to_string(max) + ")");
    return n;
}

bool yesNo(const Value &v)
{
    if (v.kind == Value::Kind::Text) {
        const QString t = QString::fromUtf8(v.bytes).toLower();
        if (t == QLatin1String("true") || t == QLatin1String("yes"))
            return true;
        if (t == QLatin1String("false") || t == QLatin1String("no"))
            return false;
    }
    // Access keeps Yes as -1; SQLite tools write 1.
    const std::int64_t n = wholeNumber(v, -1, 1);
    return n != 0;
}

std::int64_t money(const Value &v)
{
    std::int64_t amount = 0;
    switch (jet::codec::encodeMoney(decimalOf(v), amount)) {
    case Refusal::None: return amount;
    case Refusal::TooManyDecimals: refuse(shown(v) + " has more than four decimals, which Currency cannot hold");
    default: refuse(shown(v) + " is out of the range of Currency (about +/-922,337,203,685,477.5807)");
    }
}

double real(const Value &v, bool single)
{
    const double d = doubleOf(v);
    // A text that rounds to the largest Single is one: its shortest form lies just above it.
    constexpr double kPastSingle = 0x1.ffffffp+127;  // halfway to the next power of two
    if (!std::isfinite(d) || (single && std::fabs(d) >= kPastSingle))
        refuse(shown(v) + " is out of the range of " + (single ? "Single" : "Double"));
    return single ? double(float(d)) : d;
}

double date(const Value &v)
{
    if (v.kind != Value::Kind::Text)
        refuse(shown(v) + " is not a date written as text yyyy-MM-dd or yyyy-MM-dd HH:mm:ss");
    double days = 0;
    switch (jet::codec::encodeDate(v.bytes, days)) {
    case Refusal::None: return days;
    case Refusal::OutOfRange: refuse(shown(v) + " is out of Jet's range of dates (the years 100 to 9999)");
    default: refuse(shown(v) + " is not a date written as yyyy-MM-dd or yyyy-MM-dd HH:mm:ss");
    }
}

std::string guid(const Value &v)
{
    if (v.kind == Value::Kind::Blob && v.bytes.size() == jet::codec::kGuidSize)
        return v.bytes;
    if (v.kind != Value::Kind::Text)
        refuse(shown(v) + " is not a replication ID");
    std::string bytes;
    if (jet::codec::encodeGuid(v.bytes, bytes) != Refusal::None)
        refuse(shown(v) + " is not a replication ID written {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}");
    return bytes;
}

std::string decimal(const Value &v, int precision, int scale)
{
    std::string bytes;
    switch (jet::codec::encodeDecimal(decimalOf(v), precision, scale, bytes)) {
    case Refusal::None: return bytes;
    case Refusal::TooManyDecimals: refuse(shown(v) + " has more than " + std::to_string(scale) + " decimals");
    default: refuse(shown(v) + " has more than " + std::to_string(precision) + " digits");
    }
}

std::string extendedDate(const Value &v)
{
    std::string bytes;
    const char *form = " is not a date written as yyyy-MM-dd or yyyy-MM-dd HH:mm:ss with up to seven decimals";
    if (v.kind != Value::Kind::Text)
        refuse(shown(v) + form);
    switch (jet::codec::encodeExtendedDate(v.bytes, bytes)) {
    case Refusal::None: return bytes;
    case Refusal::OutOfRange: refuse(shown(v) + " is out of the range of Date/Time Extended (the years 1 to 9999)");
    default: refuse(shown(v) + form);
    }
}

std::string calculatedDecimal(const Value &v)
{
    std::string bytes;
    if (jet::codec::encodeCalculatedDecimal(decimalOf(v), bytes) != Refusal::None)
        refuse(shown(v) + " has more than " + std::to_string(jet::kMaxDecimalPrecision) + " digits");
    return bytes;
}

std::u16string text(const Value &v, std::size_t maxUnits)
{
    QString s;
    switch (v.kind) {
    case Value::Kind::Text: {
        // A leading byte-order mark is a character of the value, not a mark to drop.
        QStringDecoder decode(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
        s = decode(QByteArrayView(v.bytes.data(), qsizetype(v.bytes.size())));
        if (decode.hasError())
            refuse("the text is not valid UTF-8");
        break;
    }
    case Value::Kind::Integer:
    case Value::Kind::Real:
        s = QString::fromStdString(shown(v));
        break;
    default:
        refuse(shown(v) + " is not text");
    }
    if (maxUnits && std::size_t(s.size()) > maxUnits)
        refuse("the text has " + std::to_string(s.size()) + " characters, more than the column's " +
               std::to_string(maxUnits));
    return s.toStdU16String();
}

std::string blob(const Value &v)
{
    if (v.kind != Value::Kind::Blob && v.kind != Value::Kind::Text)
        refuse(shown(v) + " is not binary data");
    return v.bytes;
}

std::string storedText(const std::u16string &text, bool mayCompress)
{
    std::string bytes;
    if (jet::codec::encodeText(text, mayCompress, bytes) != Refusal::None)
        refuse("a text that starts with U+FEFF cannot also hold a character whose low byte is zero");
    return bytes;
}

std::string codePageText(const std::u16string &text)
{
    std::string bytes;
    if (jet::codec::encodeWesternText(text, bytes) != Refusal::None)
        refuse("the text holds a character the Western code page (1252) cannot hold");
    return bytes;
}

}  // namespace build::encoding
