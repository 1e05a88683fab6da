#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

/// How a value is kept in a Jet file, each encoding beside its decoding: currency, decimals,
/// replication IDs, dates and text (Jet 4's UCS-2 with its compressed form, Jet 3's Western
/// code page). The encoders take what a writer has as text and say why they refuse it; the
/// decoders take the stored bytes as a reader finds them. Plain C++, no dependencies.
namespace jet::codec {

/// Why a value was not encoded.
enum class Refusal {
    None,
    NotANumber,
    TooManyDecimals,  ///< more digits after the point than the type or column keeps
    TooManyDigits,    ///< more digits than the column's precision
    OutOfRange,
    BadForm,          ///< not written in the form the type is read from
};

/// A decimal number written out: sign, digits without leading zeros, and how many of them
/// come after the point (trailing zeros after the point dropped). Zero has no digits.
struct Decimal {
    bool negative = false;
    std::string digits;
    int scale = 0;
};
/// Reads [+-]digits[.digits]; false for anything else.
bool parseDecimal(std::string_view text, Decimal &out);

/// Currency: the amount in ten-thousandths, exact, as the 8 stored bytes hold it.
Refusal encodeMoney(const Decimal &amount, std::int64_t &tenThousandths);
/// The amount as digits with at most four decimals and no trailing zeros ("-12.5", "3").
std::string moneyText(std::int64_t tenThousandths);

/// The bytes of a decimal value: a sign byte, then the unscaled magnitude as four 32-bit
/// little-endian words, the most significant first.
inline constexpr std::size_t kDecimalSize = 17;
Refusal encodeDecimal(const Decimal &value, int precision, int scale, std::string &bytes);
/// Exact digits with `scale` of them after the point ("-12.3400", "0.0500"), into `out`.
void decodeDecimal(const unsigned char *bytes, unsigned scale, std::string &out);

/// A replication ID: 16 bytes, the first three groups little-endian, the last two as written.
inline constexpr std::size_t kGuidSize = 16;
/// From {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}, braces optional.
Refusal encodeGuid(std::string_view text, std::string &bytes);
/// As Access shows it, upper case with braces, into `out`.
void decodeGuid(const unsigned char *bytes, std::string &out);

/// Dates: days since 1899-12-30, the time of day the fraction (before that day the fraction
/// counts forward from the whole day, so the serial is negative), as a double. Jet's dates
/// run from the year 100 to 9999.
inline constexpr int kFirstYear = 100;
inline constexpr int kLastYear = 9999;
inline constexpr double kFirstDay = -657434.0;     ///< 100-01-01
inline constexpr double kPastLastDay = 2958466.0;  ///< the day after 9999-12-31
inline bool isDay(double days) { return days >= kFirstDay && days < kPastLastDay; }

struct DateTime {
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
};
/// From "yyyy-MM-dd" or "yyyy-MM-dd HH:mm:ss" (a T may stand for the space).
Refusal encodeDate(std::string_view text, double &days);
double encodeDate(const DateTime &when);
/// The calendar date and time of day of a serial Jet can hold (isDay), to the millisecond.
DateTime decodeDate(double days);
/// "yyyy-MM-dd HH:mm:ss".
std::string dateText(double days);

/// Date/Time Extended (Access 2016 and later): 42 bytes of ASCII, the days since 0001-01-01
/// in 19 digits, ':', the seconds of the day in 12 digits and the 100-nanosecond units of
/// the second in 7, then ":7" and a NUL. Years 1 to 9999.
inline constexpr std::size_t kExtendedDateSize = 42;
/// From "yyyy-MM-dd", "yyyy-MM-dd HH:mm:ss" or "yyyy-MM-dd HH:mm:ss.f" with 1 to 7 digits
/// after the point (a T may stand for the space).
Refusal encodeExtendedDate(std::string_view text, std::string &bytes);
/// "yyyy-MM-dd HH:mm:ss.fffffff", all seven digits kept, into `out`; false for bytes that
/// are not in the stored form or name no day of years 1 to 9999.
bool decodeExtendedDate(const unsigned char *bytes, std::string &out);

/// A calculated column's value (Access 2010 and later), whatever its result type: 16 bytes,
/// the value's length as 4 little-endian bytes, the value as its type stores it, then 3
/// bytes, so 23 bytes more than the value. Access declares a calculated column of a set-size
/// type 39 bytes long.
inline constexpr std::size_t kCalculatedLengthAt = 16;
inline constexpr std::size_t kCalculatedValueAt = 20;
inline constexpr std::size_t kCalculatedExtra = 23;
inline constexpr std::size_t kCalculatedFixedLength = 39;
std::string wrapCalculated(std::string_view value);
/// The value inside `bytes`; false where its length runs past them.
bool unwrapCalculated(std::string_view bytes, std::string_view &value);
/// A calculated decimal keeps its own scale: 2 bytes, the length of what follows them;
/// the scale; the sign (0x80 negative); the magnitude, its top 32 bits and then its low 64,
/// each little-endian (12 bytes).
inline constexpr std::size_t kCalculatedDecimalSize = 16;
Refusal encodeCalculatedDecimal(const Decimal &value, std::string &bytes);
/// Exact digits with the value's own scale after the point; false for a form not read.
bool decodeCalculatedDecimal(std::string_view bytes, std::string &out);

/// Jet 4 text: UCS-2, or its compressed form (FF FE, one byte per character of
/// U+0001..U+00FF, a zero byte switching to and from two-byte characters) when that is
/// shorter and `mayCompress`. Refuses (BadForm) a text that starts with U+FEFF and holds a
/// character whose low byte is zero, which no form can keep.
Refusal encodeText(const std::u16string &text, bool mayCompress, std::string &bytes);
/// Either form as UTF-8, into `out` (reused, so a table's values need no allocation each);
/// a lone surrogate becomes U+FFFD.
void decodeText(const unsigned char *bytes, std::size_t size, std::string &out);

/// Jet 3 text: one byte a character in the Western code page (1252). Refuses (OutOfRange) a
/// character the code page does not hold.
Refusal encodeWesternText(const std::u16string &text, std::string &bytes);
void decodeWesternText(const unsigned char *bytes, std::size_t size, std::string &out);

}  // namespace jet::codec
