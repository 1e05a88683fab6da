#pragma once

#include "jet/codec.h"
#include "jet/little_endian.h"
#include "jet/stored_type.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

/// The pipe protocol between `reader_client::CatalogFile` and the reader process. Plain C++ on both
/// sides (the reader links no Qt). Every message is a frame: a 32-bit little-endian
/// length (of what follows), one kind byte, then the payload. Integers are little-endian,
/// strings are a 32-bit length and UTF-8 bytes.
///
/// Reader -> client:
///   Opened   u32 count, count x string (the user tables, in catalog order)
///   Columns  u32 count, count x { string name, u8 StoredType (jet/stored_type.h), u32 length, u8 flags (1 AutoNumber,
///                                 2 calculated, 4 not shown), u8 precision, u8 scale, u8 key position
///                                 (1-based in the primary key, 0 outside it), u8 type code in the file
///                                 of a column not shown (0 for the others) },
///            u32 rows the table's definition declares (for the progress shown; End counts)
///   Rows     (jet/rows_frame.h) u32 count, then the cells column by column: for each column, a u8 CellTag a
///            row; then the values of its cells that are not Null, in row order (Integer:
///            i64, Real: f64, Text and Bytes: a u32 length); then those texts' bytes end to end
///   End      u32 rows sent for the table
///   Failure  u8 Fault, string detail
/// Client -> reader:
///   ReadTable string name   (answered by Columns, Rows..., End; or by Failure)
/// The reader answers its start with Opened or Failure. End of its input ends the reader.
namespace jet::protocol {

/// The largest frame either side accepts; a longer length means corrupt data.
constexpr std::uint32_t kMaxFrame = 64u * 1024u * 1024u;
/// Rows frames are cut once they pass this size, so the client can start early.
constexpr std::uint32_t kRowsFrameTarget = 512u * 1024u;

/// A Date cell outside the dates a Jet file can hold (codec::isDay), and a NaN in any real
/// cell (which SQLite keeps as Null), is sent and read as Null: one odd value leaves its row
/// readable, and every path that lists the value sees the same Null. Whether a real cell of
/// a Date column (`date`) or of another one stays a value:
inline bool keepsReal(double value, bool date) { return date ? codec::isDay(value) : value == value; }

enum class FrameKind : std::uint8_t { Opened = 1, Columns = 2, Rows = 3, End = 4, Failure = 5, ReadTable = 16 };


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
inline void putU32(std::string &out, std::uint32_t v) { le::append32(out, v); }
inline void putI64(std::string &out, std::int64_t v) { le::append64(out, static_cast<std::uint64_t>(v)); }
inline void putF64(std::string &out, double v) { le::append64(out, le::bitsOf(v)); }
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
    le::put32(reinterpret_cast<unsigned char *>(out.data() + at), static_cast<std::uint32_t>(out.size() - at - 4));
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
        v = le::get32(reinterpret_cast<const unsigned char *>(m_p));
        m_p += 4;
        return true;
    }
    bool i64(std::int64_t &v)
    {
        if (!need(8))
            return false;
        v = static_cast<std::int64_t>(le::get64(reinterpret_cast<const unsigned char *>(m_p)));
        m_p += 8;
        return true;
    }
    bool f64(double &v)
    {
        std::int64_t bits;
        if (!i64(bits))
            return false;
        v = le::doubleOf(static_cast<std::uint64_t>(bits));
        return true;
    }
    /// The next `n` bytes, where they stand.
    bool take(std::size_t n, const char *&at)
    {
        if (!need(n))
            return false;
        at = m_p;
        m_p += n;
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

inline constexpr std::uint8_t kAutoNumberFlag = 1, kCalculatedFlag = 2, kUnshownFlag = 4;

/// The Columns frame's payload: written by the reader, read back by the program.
inline void putColumns(std::string &out, const std::vector<Column> &columns, std::uint32_t declaredRows)
{
    putU32(out, std::uint32_t(columns.size()));
    for (const Column &c : columns) {
        putString(out, c.name);
        putU8(out, static_cast<std::uint8_t>(c.type));
        putU32(out, std::uint32_t(c.length));
        putU8(out, std::uint8_t((c.autoNumber ? kAutoNumberFlag : 0) | (c.calculated ? kCalculatedFlag : 0) |
                                (c.unshown ? kUnshownFlag : 0)));
        putU8(out, std::uint8_t(c.precision));
        putU8(out, std::uint8_t(c.scale));
        putU8(out, std::uint8_t(c.keyPosition));
        putU8(out, c.unshown ? c.storedCode : 0);
    }
    putU32(out, declaredRows);
}

/// Reads a Columns payload whole; false when it is malformed: no columns or more than a table
/// has, a type that is none, a length no column has, a scale past its precision, key places
/// that are not 1 to the key's length, each once, or a column not shown that is neither the
/// Long key of a complex field nor Binary.
inline bool readColumns(std::string_view payload, std::vector<Column> &columns, std::uint32_t &declaredRows)
{
    PayloadReader in(payload.data(), payload.size());
    std::uint32_t count = 0;
    if (!in.u32(count) || count == 0 || count > 255)
        return false;
    columns.clear();
    columns.reserve(count);
    std::vector<unsigned> keyPlaces(count + 1, 0);
    unsigned keyLength = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::string_view name;
        std::uint8_t type = 0, flags = 0, precision = 0, scale = 0, keyPosition = 0, code = 0;
        std::uint32_t length = 0;
        if (!in.string(name) || !in.u8(type) || !in.u32(length) || !in.u8(flags) || !in.u8(precision)
            || !in.u8(scale) || !in.u8(keyPosition) || !in.u8(code) || type >= std::uint8_t(StoredType::Count)
            || length > 65535 || scale > precision || keyPosition > count
            || (flags & ~(kAutoNumberFlag | kCalculatedFlag | kUnshownFlag)))
            return false;
        const bool unshown = flags & kUnshownFlag;
        if (unshown ? (type != std::uint8_t(StoredType::Long) && type != std::uint8_t(StoredType::Binary)) : code != 0)
            return false;
        columns.push_back({std::string(name), static_cast<StoredType>(type), int(length),
                           (flags & kAutoNumberFlag) != 0, precision, scale, keyPosition, (flags & kCalculatedFlag) != 0,
                           unshown, code});
        ++keyPlaces[keyPosition];
        keyLength += keyPosition != 0;
    }
    for (unsigned place = 1; place <= keyLength; ++place)
        if (keyPlaces[place] != 1)
            return false;
    return in.u32(declaredRows) && in.atEnd();
}

/// Whether a cell tagged `tag` may stand in a column of `type` (a Yes/No value is never Null,
/// unless Access calculated it).
inline bool tagFits(StoredType type, CellTag tag, bool calculated = false)
{
    return tag == CellTag::Null ? type != StoredType::Boolean || calculated : tag == info(type).cell;
}

}  // namespace jet::protocol
