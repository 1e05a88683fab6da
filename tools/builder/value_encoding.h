#pragma once

#include "tools/builder/catalog_model.h"

#include <cstdint>
#include <string>

/// One value in the bytes Jet stores for its column, checked against the column's range.
/// Each function throws BuildError with the reason alone; the writer adds where it was.
namespace build::encoding {

std::int64_t wholeNumber(const Value &v, std::int64_t min, std::int64_t max);
bool yesNo(const Value &v);
/// Currency: the amount times 10,000, exact from text.
std::int64_t money(const Value &v);
double real(const Value &v, bool single);
/// Days since 1899-12-30 with the time of day as the fraction, as Jet keeps dates (before
/// that day the fraction counts forward from the whole day, so the serial is negative).
double date(const Value &v);
/// The 16 bytes of a replication ID.
std::string guid(const Value &v);
/// The 17 bytes of a decimal of `precision` digits, `scale` of them after the point.
std::string decimal(const Value &v, int precision, int scale);
/// The 42 bytes of a Date/Time Extended value, from yyyy-MM-dd[ HH:mm:ss[.fffffff]].
std::string extendedDate(const Value &v);
/// A calculated decimal, with the scale the value is written with.
std::string calculatedDecimal(const Value &v);
/// Text as UTF-16, at most `maxUnits` units (0: no limit).
std::u16string text(const Value &v, std::size_t maxUnits);
std::string blob(const Value &v);

/// Jet 4 text bytes: UCS-2, or its compressed form (FF FE, one byte per character of
/// U+0001..U+00FF, a zero byte switching to and from two-byte characters) when that is
/// shorter and `mayCompress`.
std::string storedText(const std::u16string &text, bool mayCompress);

/// Jet 3 text: one byte a character in the Western code page (1252); a character the code
/// page does not hold is refused.
std::string codePageText(const std::u16string &text);

}  // namespace build::encoding
