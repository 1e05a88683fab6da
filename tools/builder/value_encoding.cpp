#include "value_encoding.h"

#include "jet_layout.h"

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

constexpr std::int64_t kMoneyScale = 10000;
constexpr int kMoneyDecimals = 4;
constexpr int kMaxDecimalPrecision = 28;
constexpr int kFirstYear = 100;  // Jet's dates run from the year 100 to 9999
constexpr int kLastYear = 9999;
constexpr double kSecondsPerDay = 86400.0;

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

/// A decimal number written out: sign, digits without leading zeros, and how many of
/// them come after the point (trailing zeros after the point dropped).
struct Decimal {
    bool negative = false;
    std::string digits;
    int scale = 0;
};

bool parseDecimal(std::string_view s, Decimal &out)
{
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '-' || s[i] == '+'))
        out.negative = s[i++] == '-';
    std::string whole, fraction;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9')
        whole += s[i++];
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9')
            fraction += s[i++];
    }
    if (i != s.size() || (whole.empty() && fraction.empty()))
        return false;
    while (!fraction.empty() && fraction.back() == '0')
        fraction.pop_back();
    out.digits = whole + fraction;
    out.scale = int(fraction.size());
    const auto first = out.digits.find_first_not_of('0');
    out.digits = first == std::string::npos ? std::string() : out.digits.substr(first);
    if (out.digits.empty())
        out.negative = false;
    return true;
}

Decimal decimalOf(const Value &v)
{
    Decimal d;
    switch (v.kind) {
    case Value::Kind::Integer:
        parseDecimal(std::to_string(v.integer), d);
        return d;
    case Value::Kind::Real: {
        if (!std::isfinite(v.real))
            refuse(shown(v) + " is not a number");
        char buf[512];
        const auto r = std::to_chars(buf, buf + sizeof buf, v.real, std::chars_format::fixed);
        parseDecimal(std::string_view(buf, std::size_t(r.ptr - buf)), d);
        return d;
    }
    case Value::Kind::Text:
        if (parseDecimal(v.bytes, d))
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

/// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
std::int64_t daysFromCivil(int year, int month, int day)
{
    year -= month <= 2;
    const int era = (year >= 0 ? year : year - 399) / 400;
    const int yearOfEra = year - era * 400;
    const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return std::int64_t(era) * 146097 + dayOfEra - 719468;
}

bool leapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysInMonth(int year, int month)
{
    static constexpr std::array<int, 12> days = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && leapYear(year) ? 29 : days[std::size_t(month - 1)];
}

bool readNumber(std::string_view s, std::size_t at, std::size_t width, int &out)
{
    if (at + width > s.size())
        return false;
    out = 0;
    for (std::size_t i = at; i < at + width; ++i) {
        if (s[i] < '0' || s[i] > '9')
            return false;
        out = out * 10 + (s[i] - '0');
    }
    return true;
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
    const Decimal d = decimalOf(v);
    if (d.scale > kMoneyDecimals)
        refuse(shown(v) + " has more than four decimals, which Currency cannot hold");
    std::string digits = d.digits + std::string(std::size_t(kMoneyDecimals - d.scale), '0');
    if (d.digits.empty())
        return 0;
    // Magnitudes up to 2^63 (the negative end is one further than the positive one).
    constexpr std::uint64_t kLimit = std::uint64_t(std::numeric_limits<std::int64_t>::max());
    std::uint64_t magnitude = 0;
    for (char c : digits) {
        const std::uint64_t digit = std::uint64_t(c - '0');
        if (magnitude > (kLimit + 1 - digit) / 10)
            refuse(shown(v) + " is out of the range of Currency (about +/-922,337,203,685,477.5807)");
        magnitude = magnitude * 10 + digit;
    }
    if (magnitude > kLimit + (d.negative ? 1 : 0))
        refuse(shown(v) + " is out of the range of Currency (about +/-922,337,203,685,477.5807)");
    return d.negative ? std::int64_t(0 - magnitude) : std::int64_t(magnitude);
}

double real(const Value &v, bool single)
{
    const double d = doubleOf(v);
    if (!std::isfinite(d) || (single && std::fabs(d) > double(std::numeric_limits<float>::max())))
        refuse(shown(v) + " is out of the range of " + (single ? "Single" : "Double"));
    return single ? double(float(d)) : d;
}

double date(const Value &v)
{
    if (v.kind != Value::Kind::Text)
        refuse(shown(v) + " is not a date written as text yyyy-MM-dd or yyyy-MM-dd HH:mm:ss");
    const std::string_view s = v.bytes;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    bool ok = (s.size() == 10 || s.size() == 19) && readNumber(s, 0, 4, year) && s[4] == '-' &&
              readNumber(s, 5, 2, month) && s[7] == '-' && readNumber(s, 8, 2, day);
    if (ok && s.size() == 19)
        ok = (s[10] == ' ' || s[10] == 'T') && readNumber(s, 11, 2, hour) && s[13] == ':' &&
             readNumber(s, 14, 2, minute) && s[16] == ':' && readNumber(s, 17, 2, second);
    if (!ok || month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour > 23 || minute > 59 ||
        second > 59)
        refuse(shown(v) + " is not a date written as yyyy-MM-dd or yyyy-MM-dd HH:mm:ss");
    if (year < kFirstYear || year > kLastYear)
        refuse(shown(v) + " is out of Jet's range of dates (the years 100 to 9999)");
    const std::int64_t days = daysFromCivil(year, month, day) - daysFromCivil(1899, 12, 30);
    const double fraction = (hour * 3600 + minute * 60 + second) / kSecondsPerDay;
    return days >= 0 ? double(days) + fraction : double(days) - fraction;
}

std::string guid(const Value &v)
{
    if (v.kind == Value::Kind::Blob && v.bytes.size() == 16)
        return v.bytes;
    if (v.kind != Value::Kind::Text)
        refuse(shown(v) + " is not a replication ID");
    std::string_view s = v.bytes;
    if (s.size() == 38 && s.front() == '{' && s.back() == '}')
        s = s.substr(1, 36);
    std::string hex;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (s[i] != '-')
                refuse(shown(v) + " is not a replication ID written {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}");
        } else {
            hex += s[i];
        }
    }
    std::string bytes(16, '\0');
    if (s.size() != 36 || hex.size() != 32)
        refuse(shown(v) + " is not a replication ID written {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}");
    for (std::size_t i = 0; i < 16; ++i) {
        unsigned byte = 0;
        const auto r = std::from_chars(hex.data() + 2 * i, hex.data() + 2 * i + 2, byte, 16);
        if (r.ec != std::errc() || r.ptr != hex.data() + 2 * i + 2)
            refuse(shown(v) + " is not a replication ID written {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}");
        bytes[i] = char(byte);
    }
    // The first three groups are stored little-endian, the last two as written.
    std::swap(bytes[0], bytes[3]);
    std::swap(bytes[1], bytes[2]);
    std::swap(bytes[4], bytes[5]);
    std::swap(bytes[6], bytes[7]);
    return bytes;
}

std::string decimal(const Value &v, int precision, int scale)
{
    const Decimal d = decimalOf(v);
    if (d.scale > scale)
        refuse(shown(v) + " has more than " + std::to_string(scale) + " decimals");
    const std::string digits = d.digits + std::string(std::size_t(scale - d.scale), '0');
    if (!d.digits.empty() && int(digits.size()) > precision)
        refuse(shown(v) + " has more than " + std::to_string(precision) + " digits");
    static_assert(kMaxDecimalPrecision < 38, "28 digits fit 96 bits, well inside 128");
    std::array<std::uint32_t, 4> words{};  // least significant first
    for (char c : d.digits.empty() ? std::string() : digits) {
        std::uint64_t carry = std::uint64_t(c - '0');
        for (auto &w : words) {
            const std::uint64_t x = std::uint64_t(w) * 10 + carry;
            w = std::uint32_t(x);
            carry = x >> 32;
        }
    }
    std::string bytes(17, '\0');
    bytes[0] = d.negative ? char(0x80) : '\0';
    // Most significant word first, each word little-endian.
    for (int w = 0; w < 4; ++w)
        for (int b = 0; b < 4; ++b)
            bytes[std::size_t(1 + (3 - w) * 4 + b)] = char((words[std::size_t(w)] >> (8 * b)) & 0xff);
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
    constexpr char16_t kByteOrderMark = 0xfeff;
    bool compressible = mayCompress;
    for (char16_t u : text)
        if ((u & 0xff) == 0)  // its low byte would read as the switch between the two forms
            compressible = false;
    const bool startsLikeCompressed = !text.empty() && text.front() == kByteOrderMark;
    std::string packed;
    if (compressible || startsLikeCompressed) {
        packed = "\xff\xfe";
        bool oneByte = true;
        for (std::size_t i = 0; i < text.size(); ++i) {
            const char16_t u = text[i];
            const bool small = u <= 0xff;
            if (oneByte && !small) {
                packed += '\0';
                oneByte = false;
            } else if (!oneByte && small) {
                // Going back costs a switch now and maybe one later: only for a run of three,
                // or of two that ends the text.
                std::size_t run = 0;
                while (i + run < text.size() && text[i + run] <= 0xff && (text[i + run] & 0xff) != 0)
                    ++run;
                if (run >= 3 || (run == 2 && i + run == text.size())) {
                    packed += '\0';
                    oneByte = true;
                }
            }
            if (oneByte) {
                packed += char(u);
            } else {
                if ((u & 0xff) == 0)
                    refuse("a text that starts with U+FEFF cannot also hold a character whose low byte is zero");
                packed += char(u & 0xff);
                packed += char(u >> 8);
            }
        }
    }
    if (startsLikeCompressed || (compressible && packed.size() < 2 * text.size()))
        return packed;
    std::string plain(2 * text.size(), '\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        plain[2 * i] = char(text[i] & 0xff);
        plain[2 * i + 1] = char(text[i] >> 8);
    }
    return plain;
}

std::string codePageText(const std::u16string &text)
{
    const auto &kHigh = jet::layout::kWesternHigh;
    std::string out;
    out.reserve(text.size());
    for (char16_t u : text) {
        if (u < 0x80 || (u >= 0xa0 && u <= 0xff)) {
            out += char(u);
            continue;
        }
        const auto *at = std::find(std::begin(kHigh), std::end(kHigh), u);
        if (u == 0 || at == std::end(kHigh))
            refuse("the text holds a character the Western code page (1252) cannot hold");
        out += char(0x80 + (at - std::begin(kHigh)));
    }
    return out;
}

}  // namespace build::encoding
