#include "jet/codec.h"

#include "jet/little_endian.h"
#include "jet/stored_type.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace jet::codec {
namespace {

/// Code page 1252 (Western European), where Jet 3 keeps text: bytes 0x80..0x9f as Unicode;
/// 0x81, 0x8d, 0x8f, 0x90 and 0x9d hold nothing (0). Every other byte is its own code point.
constexpr char16_t kWesternHigh[32] = {
    0x20ac, 0, 0x201a, 0x0192, 0x201e, 0x2026, 0x2020, 0x2021, 0x02c6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017d, 0,
    0, 0x2018, 0x2019, 0x201c, 0x201d, 0x2022, 0x2013, 0x2014, 0x02dc, 0x2122, 0x0161, 0x203a, 0x0153, 0, 0x017e, 0x0178};

constexpr std::int64_t kMsPerDay = 86400000;

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

/// The calendar date `days` after 1970-01-01.
void civilFromDays(std::int64_t days, int &year, int &month, int &day)
{
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned dayOfEra = unsigned(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned mp = (5 * dayOfYear + 2) / 153;
    day = int(dayOfYear - (153 * mp + 2) / 5 + 1);
    month = int(mp < 10 ? mp + 3 : mp - 9);
    year = int(std::int64_t(yearOfEra) + era * 400 + (month <= 2));
}

const std::int64_t kEpoch = daysFromCivil(1899, 12, 30);

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

/// Writes one code point as UTF-8 at `p`; returns the position after it.
// "yyyy-MM-dd" or "yyyy-MM-dd HH:mm:ss" (a T may stand for the space), a day and time
// that exist; the year is any of four digits.
bool parseDateTime(std::string_view s, DateTime &when)
{
    when = DateTime{};
    when.year = when.month = when.day = 0;
    bool ok = (s.size() == 10 || s.size() == 19) && readNumber(s, 0, 4, when.year) && s[4] == '-' &&
              readNumber(s, 5, 2, when.month) && s[7] == '-' && readNumber(s, 8, 2, when.day);
    if (ok && s.size() == 19)
        ok = (s[10] == ' ' || s[10] == 'T') && readNumber(s, 11, 2, when.hour) && s[13] == ':' &&
             readNumber(s, 14, 2, when.minute) && s[16] == ':' && readNumber(s, 17, 2, when.second);
    return ok && when.month >= 1 && when.month <= 12 && when.day >= 1 && when.day <= daysInMonth(when.year, when.month) &&
           when.hour <= 23 && when.minute <= 59 && when.second <= 59;
}

char *putUtf8(char *p, std::uint32_t cp)
{
    if (cp < 0x80) {
        *p++ = char(cp);
    } else if (cp < 0x800) {
        *p++ = char(0xc0 | (cp >> 6));
        *p++ = char(0x80 | (cp & 0x3f));
    } else if (cp < 0x10000) {
        *p++ = char(0xe0 | (cp >> 12));
        *p++ = char(0x80 | ((cp >> 6) & 0x3f));
        *p++ = char(0x80 | (cp & 0x3f));
    } else {
        *p++ = char(0xf0 | (cp >> 18));
        *p++ = char(0x80 | ((cp >> 12) & 0x3f));
        *p++ = char(0x80 | ((cp >> 6) & 0x3f));
        *p++ = char(0x80 | (cp & 0x3f));
    }
    return p;
}

}  // namespace

bool parseDecimal(std::string_view s, Decimal &out)
{
    out = Decimal();
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

Refusal encodeMoney(const Decimal &amount, std::int64_t &tenThousandths)
{
    if (amount.scale > kMoneyDecimals)
        return Refusal::TooManyDecimals;
    tenThousandths = 0;
    if (amount.digits.empty())
        return Refusal::None;
    const std::string digits = amount.digits + std::string(std::size_t(kMoneyDecimals - amount.scale), '0');
    // Magnitudes up to 2^63 (the negative end is one further than the positive one).
    constexpr std::uint64_t kLimit = std::uint64_t(std::numeric_limits<std::int64_t>::max());
    std::uint64_t magnitude = 0;
    for (char c : digits) {
        const std::uint64_t digit = std::uint64_t(c - '0');
        if (magnitude > (kLimit + 1 - digit) / 10)
            return Refusal::OutOfRange;
        magnitude = magnitude * 10 + digit;
    }
    if (magnitude > kLimit + (amount.negative ? 1 : 0))
        return Refusal::OutOfRange;
    tenThousandths = amount.negative ? std::int64_t(0 - magnitude) : std::int64_t(magnitude);
    return Refusal::None;
}

std::string moneyText(std::int64_t scaled)
{
    std::string out;
    if (scaled < 0)
        out.push_back('-');
    const std::uint64_t magnitude = scaled < 0 ? 0 - std::uint64_t(scaled) : std::uint64_t(scaled);
    out += std::to_string(magnitude / kMoneyScale);
    const std::uint64_t fraction = magnitude % kMoneyScale;
    if (fraction == 0)
        return out;
    std::string digits = std::to_string(fraction + kMoneyScale).substr(1);  // four digits
    while (digits.back() == '0')
        digits.pop_back();
    out += '.';
    out += digits;
    return out;
}

Refusal encodeDecimal(const Decimal &d, int precision, int scale, std::string &bytes)
{
    if (d.scale > scale)
        return Refusal::TooManyDecimals;
    const std::string digits = d.digits + std::string(std::size_t(scale - d.scale), '0');
    if (!d.digits.empty() && int(digits.size()) > precision)
        return Refusal::TooManyDigits;
    static_assert(kMaxDecimalPrecision < 38, "its digits fit 96 bits, well inside 128");
    std::array<std::uint32_t, 4> words{};  // least significant first
    for (char c : d.digits.empty() ? std::string() : digits) {
        std::uint64_t carry = std::uint64_t(c - '0');
        for (auto &w : words) {
            const std::uint64_t x = std::uint64_t(w) * 10 + carry;
            w = std::uint32_t(x);
            carry = x >> 32;
        }
    }
    bytes.assign(kDecimalSize, '\0');
    bytes[0] = d.negative ? char(0x80) : '\0';
    // Most significant word first, each word little-endian.
    for (int w = 0; w < 4; ++w)
        le::put32(reinterpret_cast<unsigned char *>(bytes.data()) + 1 + (3 - w) * 4, words[std::size_t(w)]);
    return Refusal::None;
}

void decodeDecimal(const unsigned char *v, unsigned scale, std::string &out)
{
    std::uint32_t words[4] = {le::get32(v + 1), le::get32(v + 5), le::get32(v + 9), le::get32(v + 13)};
    std::string digits;
    for (bool zero = false; !zero;) {
        // Divide the 128-bit magnitude by 10 in place; the remainder is the next digit.
        std::uint64_t rest = 0;
        zero = true;
        for (std::uint32_t &w : words) {
            const std::uint64_t part = (rest << 32) | w;
            w = std::uint32_t(part / 10);
            rest = part % 10;
            zero = zero && w == 0;
        }
        digits.push_back(char('0' + rest));
    }
    while (digits.size() <= scale)
        digits.push_back('0');
    out.clear();
    if ((v[0] & 0x80) && digits.find_first_not_of('0') != std::string::npos)
        out.push_back('-');
    for (std::size_t i = digits.size(); i-- > 0;) {
        out.push_back(digits[i]);
        if (i == scale && scale > 0)
            out.push_back('.');
    }
}

namespace {
// The byte of the stored form that each of the 16 written bytes goes to, and back.
constexpr int kGuidOrder[kGuidSize] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
}  // namespace

Refusal encodeGuid(std::string_view s, std::string &bytes)
{
    if (s.size() == 38 && s.front() == '{' && s.back() == '}')
        s = s.substr(1, 36);
    if (s.size() != 36)
        return Refusal::BadForm;
    std::string hex;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (s[i] != '-')
                return Refusal::BadForm;
        } else {
            hex += s[i];
        }
    }
    if (hex.size() != 2 * kGuidSize)
        return Refusal::BadForm;
    bytes.assign(kGuidSize, '\0');
    for (std::size_t i = 0; i < kGuidSize; ++i) {
        unsigned byte = 0;
        const auto r = std::from_chars(hex.data() + 2 * i, hex.data() + 2 * i + 2, byte, 16);
        if (r.ec != std::errc() || r.ptr != hex.data() + 2 * i + 2)
            return Refusal::BadForm;
        bytes[std::size_t(kGuidOrder[i])] = char(byte);
    }
    return Refusal::None;
}

void decodeGuid(const unsigned char *v, std::string &out)
{
    static const char kHex[] = "0123456789ABCDEF";
    out.assign("{");
    for (std::size_t i = 0; i < kGuidSize; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            out.push_back('-');
        out.push_back(kHex[v[kGuidOrder[i]] >> 4]);
        out.push_back(kHex[v[kGuidOrder[i]] & 0xf]);
    }
    out.push_back('}');
}

Refusal encodeDate(std::string_view s, double &days)
{
    DateTime when;
    if (!parseDateTime(s, when))
        return Refusal::BadForm;
    if (when.year < kFirstYear || when.year > kLastYear)
        return Refusal::OutOfRange;
    days = encodeDate(when);
    return Refusal::None;
}

double encodeDate(const DateTime &when)
{
    const std::int64_t days = daysFromCivil(when.year, when.month, when.day) - kEpoch;
    const double fraction =
        double(((std::int64_t(when.hour) * 60 + when.minute) * 60 + when.second) * 1000 + when.millisecond) /
        double(kMsPerDay);
    return days >= 0 ? double(days) + fraction : double(days) - fraction;
}

DateTime decodeDate(double days)
{
    const double whole = std::trunc(days);
    std::int64_t day = std::int64_t(whole);
    std::int64_t ms = std::llround(std::fabs(days - whole) * double(kMsPerDay));
    if (ms >= kMsPerDay) {  // rounds up to the next midnight
        ms -= kMsPerDay;
        ++day;
    }
    DateTime when;
    civilFromDays(day + kEpoch, when.year, when.month, when.day);
    when.hour = int(ms / 3600000);
    when.minute = int(ms / 60000 % 60);
    when.second = int(ms / 1000 % 60);
    when.millisecond = int(ms % 1000);
    return when;
}

std::string dateText(double days)
{
    const DateTime w = decodeDate(days);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", w.year, w.month, w.day, w.hour, w.minute,
                  w.second);
    return buf;
}

namespace {
constexpr std::int64_t kLastExtendedDay = 3652058;  // 9999-12-31, in days since 0001-01-01
constexpr int kExtendedFractionDigits = 7;

// `value` in `width` digits at `at` of `out`, with leading zeros.
void putDigits(std::string &out, std::size_t at, std::int64_t value, int width)
{
    for (std::size_t i = at + std::size_t(width); i-- > at; value /= 10)
        out[i] = char('0' + value % 10);
}

bool digitsAt(const unsigned char *p, int width, std::int64_t &value)
{
    value = 0;
    for (int i = 0; i < width; ++i) {
        if (p[i] < '0' || p[i] > '9')
            return false;
        value = value * 10 + (p[i] - '0');
    }
    return true;
}
}  // namespace

Refusal encodeExtendedDate(std::string_view s, std::string &bytes)
{
    std::int64_t fraction = 0;
    std::string_view whole = s;
    if (s.size() > 20 && s[19] == '.') {
        const std::string_view f = s.substr(20);
        if (f.size() > std::size_t(kExtendedFractionDigits) || f.find_first_not_of("0123456789") != std::string_view::npos)
            return Refusal::BadForm;
        for (int i = 0; i < kExtendedFractionDigits; ++i)
            fraction = fraction * 10 + (std::size_t(i) < f.size() ? f[std::size_t(i)] - '0' : 0);
        whole = s.substr(0, 19);
    }
    DateTime when;
    if (!parseDateTime(whole, when))
        return Refusal::BadForm;
    if (when.year < 1 || when.year > kLastYear)
        return Refusal::OutOfRange;
    const std::int64_t days = daysFromCivil(when.year, when.month, when.day) - daysFromCivil(1, 1, 1);
    bytes.assign(kExtendedDateSize, '0');
    putDigits(bytes, 0, days, 19);
    bytes[19] = ':';
    putDigits(bytes, 20, (std::int64_t(when.hour) * 60 + when.minute) * 60 + when.second, 12);
    putDigits(bytes, 32, fraction, kExtendedFractionDigits);
    bytes.replace(39, 3, std::string_view(":7\0", 3));
    return Refusal::None;
}

bool decodeExtendedDate(const unsigned char *v, std::string &out)
{
    std::int64_t days = 0, seconds = 0, fraction = 0;
    if (!digitsAt(v, 19, days) || v[19] != ':' || !digitsAt(v + 20, 12, seconds) ||
        !digitsAt(v + 32, kExtendedFractionDigits, fraction) || v[39] != ':' || v[40] != '7' || v[41] != 0 ||
        days > kLastExtendedDay || seconds >= 86400)
        return false;
    int year = 0, month = 0, day = 0;
    civilFromDays(days + daysFromCivil(1, 1, 1), year, month, day);
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%07d", year, month, day, int(seconds / 3600),
                  int(seconds / 60 % 60), int(seconds % 60), int(fraction));
    out.assign(buf);
    return true;
}

std::string wrapCalculated(std::string_view value)
{
    std::string bytes(kCalculatedExtra + value.size(), '\0');
    le::put32(reinterpret_cast<unsigned char *>(bytes.data()) + kCalculatedLengthAt, std::uint32_t(value.size()));
    bytes.replace(kCalculatedValueAt, value.size(), value);
    return bytes;
}

bool unwrapCalculated(std::string_view bytes, std::string_view &value)
{
    if (bytes.size() < kCalculatedValueAt)
        return false;
    const std::uint32_t length = le::get32(reinterpret_cast<const unsigned char *>(bytes.data()) + kCalculatedLengthAt);
    if (length > bytes.size() - kCalculatedValueAt)
        return false;
    value = bytes.substr(kCalculatedValueAt, length);
    return true;
}

Refusal encodeCalculatedDecimal(const Decimal &d, std::string &bytes)
{
    // The standard form's words, then placed as the calculated form keeps them.
    std::string standard;
    const int precision = std::max<int>(int(d.digits.size()), d.scale);
    if (const Refusal r = encodeDecimal(d, std::max(precision, 1), d.scale, standard); r != Refusal::None)
        return r;
    if (precision > kMaxDecimalPrecision)
        return Refusal::TooManyDigits;
    const auto *w = reinterpret_cast<const unsigned char *>(standard.data()) + 1;  // most significant word first
    bytes.assign(kCalculatedDecimalSize, '\0');
    auto *b = reinterpret_cast<unsigned char *>(bytes.data());
    le::put16(b, unsigned(kCalculatedDecimalSize - 2));
    b[2] = std::uint8_t(d.scale);
    b[3] = d.negative && !d.digits.empty() ? 0x80 : 0;
    le::put32(b + 4, le::get32(w + 4));
    le::put32(b + 8, le::get32(w + 12));
    le::put32(b + 12, le::get32(w + 8));
    return Refusal::None;
}

bool decodeCalculatedDecimal(std::string_view bytes, std::string &out)
{
    if (bytes.size() < kCalculatedDecimalSize)
        return false;
    const auto *b = reinterpret_cast<const unsigned char *>(bytes.data());
    // Access writes the length of what follows, or leaves it 0.
    if ((le::get16(b) != kCalculatedDecimalSize - 2 && le::get16(b) != 0) || b[2] > kMaxDecimalPrecision)
        return false;
    unsigned char standard[kDecimalSize] = {};
    standard[0] = b[3] & 0x80;
    le::put32(standard + 5, le::get32(b + 4));
    le::put32(standard + 9, le::get32(b + 12));
    le::put32(standard + 13, le::get32(b + 8));
    decodeDecimal(standard, b[2], out);
    return true;
}

Refusal encodeText(const std::u16string &text, bool mayCompress, std::string &bytes)
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
                    return Refusal::BadForm;
                packed += char(u & 0xff);
                packed += char(u >> 8);
            }
        }
    }
    if (startsLikeCompressed || (compressible && packed.size() < 2 * text.size())) {
        bytes = std::move(packed);
        return Refusal::None;
    }
    bytes.assign(2 * text.size(), '\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        le::put16(reinterpret_cast<unsigned char *>(bytes.data()) + 2 * i, text[i]);
    return Refusal::None;
}

void decodeText(const unsigned char *data, std::size_t size, std::string &out)
{
    constexpr std::uint32_t kReplacement = 0xfffd;
    constexpr std::uint64_t kOnes = 0x0101010101010101u, kHighBits = 0x8080808080808080u;
    // A byte of compressed text can become two UTF-8 bytes, a two-byte unit three.
    out.resize(2 * size + 4);
    char *p = out.data();
    std::uint32_t pendingHigh = 0;
    auto unit = [&](std::uint32_t u) {
        if (u < 0x80 && !pendingHigh) {
            *p++ = char(u);
            return;
        }
        if (u >= 0xd800 && u < 0xdc00) {
            if (pendingHigh)
                p = putUtf8(p, kReplacement);
            pendingHigh = u;
            return;
        }
        if (u >= 0xdc00 && u < 0xe000) {
            p = putUtf8(p, pendingHigh ? 0x10000 + ((pendingHigh - 0xd800) << 10) + (u - 0xdc00) : kReplacement);
            pendingHigh = 0;
            return;
        }
        if (pendingHigh) {
            p = putUtf8(p, kReplacement);
            pendingHigh = 0;
        }
        p = putUtf8(p, u);
    };
    if (size >= 2 && data[0] == 0xff && data[1] == 0xfe) {
        // Compressed form: one byte per character, a zero byte switches to and from
        // two-byte characters.
        bool compressed = true;
        std::size_t i = 2;
        while (i < size) {
            if (compressed && !pendingHigh) {
                // Most text is ASCII: eight bytes of 1 to 0x7f at a time go over as they are.
                while (i + 8 <= size) {
                    const std::uint64_t w = le::get64(data + i);
                    if ((w | ((w - kOnes) & ~w)) & kHighBits)
                        break;
                    std::memcpy(p, data + i, 8);
                    p += 8;
                    i += 8;
                }
                if (i >= size)
                    break;
            }
            if (data[i] == 0) {
                compressed = !compressed;
                ++i;
            } else if (compressed) {
                unit(data[i]);
                ++i;
            } else if (i + 1 < size) {
                unit(le::get16(data + i));
                i += 2;
            } else {
                break;
            }
        }
    } else {
        std::size_t i = 0;
        for (; i + 8 <= size; i += 8) {
            const std::uint64_t w = le::get64(data + i);
            if (w & 0xff80ff80ff80ff80u)
                break;
            // Four ASCII units: their low bytes.
            p[0] = char(w);
            p[1] = char(w >> 16);
            p[2] = char(w >> 32);
            p[3] = char(w >> 48);
            p += 4;
        }
        for (; i + 1 < size; i += 2)
            unit(le::get16(data + i));
    }
    if (pendingHigh)
        p = putUtf8(p, kReplacement);
    out.resize(std::size_t(p - out.data()));
}

Refusal encodeWesternText(const std::u16string &text, std::string &bytes)
{
    bytes.clear();
    bytes.reserve(text.size());
    for (char16_t u : text) {
        if (u < 0x80 || (u >= 0xa0 && u <= 0xff)) {
            bytes += char(u);
            continue;
        }
        const auto *at = std::find(std::begin(kWesternHigh), std::end(kWesternHigh), u);
        if (u == 0 || at == std::end(kWesternHigh))
            return Refusal::OutOfRange;
        bytes += char(0x80 + (at - std::begin(kWesternHigh)));
    }
    return Refusal::None;
}

void decodeWesternText(const unsigned char *data, std::size_t size, std::string &out)
{
    out.resize(3 * size);
    char *p = out.data();
    for (std::size_t i = 0; i < size; ++i) {
        const unsigned char b = data[i];
        if (b < 0x80) {
            *p++ = char(b);
            continue;
        }
        // The five bytes that code page 1252 leaves empty keep their own code points, as
        // Windows converts them: nothing stored is lost or made up.
        const char16_t high = b < 0xa0 ? kWesternHigh[b - 0x80] : 0;
        p = putUtf8(p, high ? high : b);
    }
    out.resize(std::size_t(p - out.data()));
}

}  // namespace jet::codec
