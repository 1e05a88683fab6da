#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

/// The pipe protocol between `jet::JetFile` and the reader process. Plain C++ on both
/// sides (the reader links no Qt). Every message is a frame: a 32-bit little-endian
/// length (of what follows), one kind byte, then the payload. Integers are little-endian,
/// strings are a 32-bit length and UTF-8 bytes.
///
/// Reader -> client:
///   Opened   u32 count, count x string (the user tables, in catalog order)
///   Columns  u32 count, count x { string name, u8 StoredType, u32 length, u8 autoNumber,
///                                 u8 precision, u8 scale, u8 key position (1-based in the
///                                 primary key, 0 outside it) },
///            u32 rows the table's definition declares (for the progress shown; End counts)
///   Rows     u32 count, then each cell of each row: u8 CellTag and its value
///            (Integer: i64, Real: f64, Text and Bytes: string, Null: nothing)
///   End      u32 rows sent for the table
///   Failure  u8 Fault, string detail
/// Client -> reader:
///   ReadTable string name   (answered by Columns, Rows..., End; or by Failure)
/// The reader answers its start with Opened or Failure. End of its input ends the reader.
namespace jet::protocol {

/// The largest frame either side accepts; a longer length means corrupt data.
constexpr std::uint32_t kMaxFrame = 64u * 1024u * 1024u;
/// Rows frames are cut once they pass this size, so the client can start early.
constexpr std::uint32_t kRowsFrameTarget = 256u * 1024u;

/// The dates a Jet file can hold, as days from 1899-12-30 (the fraction the time of day):
/// 100-01-01 to 9999-12-31 23:59:59. A Date cell outside them, and a NaN in any real cell
/// (which SQLite keeps as Null), is sent and read as Null: one odd value leaves its row
/// readable, and every path that lists the value sees the same Null.
constexpr double kFirstDay = -657434.0;
constexpr double kPastLastDay = 2958466.0;
inline bool isDay(double days) { return days >= kFirstDay && days < kPastLastDay; }
/// Whether a real cell of a Date column (`date`) or of another one stays a value.
inline bool keepsReal(double value, bool date) { return date ? isDay(value) : value == value; }

enum class FrameKind : std::uint8_t { Opened = 1, Columns = 2, Rows = 3, End = 4, Failure = 5, ReadTable = 16 };

enum class CellTag : std::uint8_t { Null = 0, Integer = 1, Real = 2, Text = 3, Bytes = 4 };

/// A column's storage type as the Columns frame numbers it (jet::ColumnType follows it), and
/// the cell each carries: Integer for Long to Money and Boolean (Money in ten-thousandths),
/// Real for Double, Float and Date, Text for Text, Memo, Numeric (exact digits, the column's
/// scale after the point) and Guid ({XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}), Bytes for
/// Binary and Ole.
enum class StoredType : std::uint8_t {
    Long, Int, Byte, Text, Memo, Money, Boolean, Double, Float, Date, Numeric, Guid, Binary, Ole,
    Count  ///< not a type: one past the last
};

/// Why the reader refused a file or a table; the client turns it into the provider's words.
enum class Fault : std::uint8_t {
    NotFound = 1,      ///< the file does not exist
    Unrecognized = 2,  ///< not a Jet or ACE database at all
    Damaged = 3,       ///< a database whose structure is broken; detail says where
    Unreadable = 4,    ///< the file cannot be read (permissions, I/O)
    NoSuchTable = 5,   ///< a table name that the catalog does not hold
    Unsupported = 6,   ///< a column of a type that cannot be decoded; detail names it
    Protocol = 7,      ///< a malformed request
    Protected = 8,     ///< encrypted or protected by a password; detail says which
    OtherFormat = 9,   ///< a Jet or ACE version that is not read; detail names it
};

inline void putU8(std::string &out, std::uint8_t v) { out.push_back(static_cast<char>(v)); }
inline void putU32(std::string &out, std::uint32_t v)
{
    char b[4] = {char(v & 0xff), char((v >> 8) & 0xff), char((v >> 16) & 0xff), char((v >> 24) & 0xff)};
    out.append(b, 4);
}
inline void putI64(std::string &out, std::int64_t v)
{
    std::uint64_t u = static_cast<std::uint64_t>(v);
    char b[8];
    for (int i = 0; i < 8; ++i)
        b[i] = char((u >> (8 * i)) & 0xff);
    out.append(b, 8);
}
inline void putF64(std::string &out, double v)
{
    std::int64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    putI64(out, bits);
}
inline void putString(std::string &out, std::string_view s)
{
    putU32(out, static_cast<std::uint32_t>(s.size()));
    out.append(s.data(), s.size());
}

/// Starts a frame in `out`; `finishFrame` writes its length once the payload is in.
inline std::size_t beginFrame(std::string &out, FrameKind kind)
{
    const std::size_t at = out.size();
    putU32(out, 0);
    putU8(out, static_cast<std::uint8_t>(kind));
    return at;
}
inline void finishFrame(std::string &out, std::size_t at)
{
    const std::uint32_t len = static_cast<std::uint32_t>(out.size() - at - 4);
    for (int i = 0; i < 4; ++i)
        out[at + i] = char((len >> (8 * i)) & 0xff);
}

/// Reads a payload with bounds checks: every getter fails (returns false) rather than
/// reading past the end, and the reader stays failed.
class PayloadReader {
public:
    PayloadReader(const char *data, std::size_t size) : m_p(data), m_end(data + size) {}

    bool ok() const { return m_ok; }
    bool atEnd() const { return m_p == m_end; }

    bool u8(std::uint8_t &v)
    {
        if (!need(1))
            return false;
        v = static_cast<std::uint8_t>(*m_p++);
        return true;
    }
    bool u32(std::uint32_t &v)
    {
        if (!need(4))
            return false;
        v = 0;
        for (int i = 0; i < 4; ++i)
            v |= std::uint32_t(static_cast<std::uint8_t>(m_p[i])) << (8 * i);
        m_p += 4;
        return true;
    }
    bool i64(std::int64_t &v)
    {
        if (!need(8))
            return false;
        std::uint64_t u = 0;
        for (int i = 0; i < 8; ++i)
            u |= std::uint64_t(static_cast<std::uint8_t>(m_p[i])) << (8 * i);
        m_p += 8;
        v = static_cast<std::int64_t>(u);
        return true;
    }
    bool f64(double &v)
    {
        std::int64_t bits;
        if (!i64(bits))
            return false;
        std::memcpy(&v, &bits, sizeof v);
        return true;
    }
    bool string(std::string_view &s)
    {
        std::uint32_t n;
        if (!u32(n) || !need(n))
            return false;
        s = std::string_view(m_p, n);
        m_p += n;
        return true;
    }

private:
    bool need(std::size_t n)
    {
        if (!m_ok || static_cast<std::size_t>(m_end - m_p) < n)
            m_ok = false;
        return m_ok;
    }
    const char *m_p;
    const char *m_end;
    bool m_ok = true;
};

}  // namespace jet::protocol
