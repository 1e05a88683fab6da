#pragma once

#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>

/// What a column type is: its code in a table definition, its place in a row, the cell it
/// travels as over the reader's pipe, its word in the table script, and its limits. This is
/// the one place that says so; the reader, the builder, the pipe and the catalog read it
/// from here. Plain C++, no dependencies.
namespace jet {

/// The column types, numbered as the reader's Columns frame sends them.
enum class StoredType : std::uint8_t {
    Long, Int, Byte, Text, Memo, Money, Boolean, Double, Float, Date, Numeric, Guid, Binary, Ole,
    BigInt,       ///< Large Number (Access 2016 and later): a signed 64-bit whole number
    DateTimeExt,  ///< Date/Time Extended (Access 2016 and later): years 1 to 9999, to 100 ns
    Count  ///< not a type: one past the last
};

/// How a value travels over the pipe and reaches the engine: Integer for the whole numbers,
/// Boolean and Money (in ten-thousandths), Real for Double, Float and Date (days since
/// 1899-12-30), Text for Text, Memo, Numeric (exact digits, the column's scale after the
/// point), Guid ({XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}) and DateTimeExt
/// ("yyyy-MM-dd HH:mm:ss.fffffff"), Bytes for Binary and Ole.
enum class CellTag : std::uint8_t { Null = 0, Integer = 1, Real = 2, Text = 3, Bytes = 4 };

/// A variable-length value: kept among a row's variable part (or as a long value).
inline constexpr std::uint8_t kVariableSize = 0xff;

struct StoredTypeInfo {
    StoredType type;
    std::uint8_t code;       ///< the type byte of a column entry in a table definition
    std::uint8_t fixedSize;  ///< bytes in a row's fixed part; 0 for Yes/No (a null-mask bit); kVariableSize
    CellTag cell;
    const char *word;        ///< in the table script
    bool longValue;          ///< memo and OLE: a 12-byte header in the row, the value elsewhere
    bool built;              ///< the catalog builder writes it
    bool newest;             ///< only the formats of Access 2016 and later have it
    std::int64_t least, most;  ///< the range of a whole-number type (0, 0 for the others)
};

inline constexpr StoredTypeInfo kStoredTypes[] = {
    {StoredType::Long, 0x04, 4, CellTag::Integer, "LONG", false, true, false, -2147483648LL, 2147483647LL},
    {StoredType::Int, 0x03, 2, CellTag::Integer, "INT", false, true, false, -32768, 32767},
    {StoredType::Byte, 0x02, 1, CellTag::Integer, "BYTE", false, true, false, 0, 255},
    {StoredType::Text, 0x0a, kVariableSize, CellTag::Text, "TEXT", false, true, false, 0, 0},
    {StoredType::Memo, 0x0c, kVariableSize, CellTag::Text, "MEMO", true, true, false, 0, 0},
    {StoredType::Money, 0x05, 8, CellTag::Integer, "MONEY", false, true, false, 0, 0},
    {StoredType::Boolean, 0x01, 0, CellTag::Integer, "BOOLEAN", false, true, false, 0, 1},
    {StoredType::Double, 0x07, 8, CellTag::Real, "DOUBLE", false, true, false, 0, 0},
    {StoredType::Float, 0x06, 4, CellTag::Real, "FLOAT", false, true, false, 0, 0},
    {StoredType::Date, 0x08, 8, CellTag::Real, "DATE", false, true, false, 0, 0},
    {StoredType::Numeric, 0x10, 17, CellTag::Text, "NUMERIC", false, true, false, 0, 0},
    {StoredType::Guid, 0x0f, 16, CellTag::Text, "GUID", false, true, false, 0, 0},
    {StoredType::Binary, 0x09, kVariableSize, CellTag::Bytes, "BINARY", false, false, false, 0, 0},
    {StoredType::Ole, 0x0b, kVariableSize, CellTag::Bytes, "OLE", true, true, false, 0, 0},
    {StoredType::BigInt, 0x13, 8, CellTag::Integer, "BIGINT", false, true, true, INT64_MIN, INT64_MAX},
    {StoredType::DateTimeExt, 0x14, 42, CellTag::Text, "DATETIME2", false, true, true, 0, 0},
};
static_assert(std::size(kStoredTypes) == std::size_t(StoredType::Count));

constexpr const StoredTypeInfo &info(StoredType type) { return kStoredTypes[std::size_t(type)]; }

/// The type whose definition code is `code`, or null for a code no column type here has.
constexpr const StoredTypeInfo *storedTypeOfCode(unsigned code)
{
    for (const StoredTypeInfo &t : kStoredTypes)
        if (t.code == code)
            return &t;
    return nullptr;
}

/// The type a table-script word names, or null.
constexpr const StoredTypeInfo *storedTypeOfWord(std::string_view word)
{
    for (const StoredTypeInfo &t : kStoredTypes)
        if (word == t.word)
            return &t;
    return nullptr;
}

/// The table script word: LONG, INT, BYTE, TEXT, MEMO, MONEY, BOOLEAN, DOUBLE, FLOAT, DATE,
/// NUMERIC, GUID, BINARY, OLE, BIGINT, DATETIME2.
constexpr const char *scriptWord(StoredType type) { return info(type).word; }

/// True for the types whose cells are text or bytes.
constexpr bool isTextual(StoredType type)
{
    const CellTag cell = info(type).cell;
    return cell == CellTag::Text || cell == CellTag::Bytes;
}

/// The code of a column a file may hold that no type here reads: attachments and
/// multi-valued fields.
inline constexpr std::uint8_t kComplexCode = 0x12;
/// The bits of a column entry's extra flags that mark a calculated column (Access 2010 and
/// later): its value is computed by Access and stored wrapped (codec.h), its type the result's.
inline constexpr std::uint8_t kCalculatedFlags = 0xc0;
/// The most digits a Decimal column may declare (28 digits fit its 96-bit magnitude).
inline constexpr int kMaxDecimalPrecision = 28;
/// Currency is kept as a whole number of ten-thousandths.
inline constexpr std::int64_t kMoneyScale = 10000;
inline constexpr int kMoneyDecimals = 4;

/// A column of a table, as the reader finds it, the pipe carries it, the catalog holds it and
/// the builder writes it.
struct Column {
    std::string name;  ///< UTF-8
    StoredType type = StoredType::Text;
    int length = 0;       ///< declared length in characters for Text, in bytes for Binary, 0 otherwise
    bool autoNumber = false;  ///< a Long column that the database numbers itself
    int precision = 0;    ///< Numeric: the digits it holds
    int scale = 0;        ///< Numeric: the digits after the point
    int keyPosition = 0;  ///< 1-based place in the table's primary key; 0 outside it
    bool calculated = false;  ///< Access computes the value; `type` is the result's
    /// A column the program cannot show: an attachment or multi-valued field (kComplexCode),
    /// whose rows keep the whole number that keys its values in a hidden table (sent as a
    /// Long), or a type not known (sent as Binary, every value Null). `storedCode` is its type
    /// code in the file.
    bool unshown = false;
    std::uint8_t storedCode = 0;
};

}  // namespace jet
