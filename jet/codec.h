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
