#pragma once

#include <cstdint>

/// Where a Jet file keeps what, for each version that is written: page size, header bytes
/// and the offsets of the table-definition, column and row structures. Everything that
/// differs between Jet versions lives here, so that a second version is one more entry.
/// Plain C++ with no dependencies, so any reader or writer can include it.
namespace jet::layout {

struct Layout {
    const char *name;
    std::uint8_t versionByte;          ///< header byte at `versionOffset`
    std::uint32_t pageSize;
    unsigned headerMaskedBytes;        ///< header bytes masked with the fixed RC4 key from `headerMaskStart`
    unsigned headerCodePage;           ///< 2 bytes: the default code page
    unsigned headerDatabaseKey;        ///< 4 bytes: page-encoding key, 0 for none
    unsigned headerSortOrder;          ///< the default text sort order
    unsigned textUnitBytes;            ///< bytes per stored character (UCS-2: 2)

    // Data pages: kind byte, 1, free space (2), owning table definition page (4), ...
    unsigned dataRowCount;             ///< 2 bytes: rows on the page
    unsigned dataRowOffsets;           ///< first 2-byte row offset; each points to its row's start
    unsigned rowColumnCountBytes;      ///< a row's leading column count; also its var-table entries

    // Table definition pages.
    unsigned tdefLength;               ///< 4 bytes: length of the definition
    unsigned tdefRowCount;
    unsigned tdefAutoNumber;           ///< last AutoNumber value given
    unsigned tdefAutoNumberFlag;       ///< 1 byte, set so that AutoNumber keeps counting
    unsigned tdefTableType;            ///< 'N' user table, 'S' system table
    unsigned tdefMaxColumns;
    unsigned tdefVarColumns;
    unsigned tdefColumnCount;
    unsigned tdefIndexCount;
    unsigned tdefRealIndexCount;
    unsigned tdefUsageMap;             ///< page/row pointer to the used-pages map
    unsigned tdefFreeMap;              ///< page/row pointer to the pages-with-free-space map
    unsigned tdefHeaderEnd;            ///< where the per-index and per-column entries start
    unsigned tdefMagic;                ///< 4 bytes repeated at the start of each column entry
    std::uint32_t tdefMagicValue;
    unsigned tdefContinuationHeader;   ///< a continuation page's bytes before its share of the definition
    bool tdefKeepsFreeSpace;           ///< bytes 2-3 of a definition page: its free space less 8, else "VC"

    // Column entries of a table definition.
    unsigned columnEntryBytes;
    unsigned columnType;
    unsigned columnMagic;              ///< 4 bytes: the definition's `tdefMagicValue` again
    unsigned columnNumber;
    unsigned columnVarIndex;
    unsigned columnNumberAgain;
    unsigned columnSortOrder;          ///< text: 2 bytes, the sort order
    unsigned columnPrecision;          ///< decimal: precision, then scale
    unsigned columnCodePage;           ///< text: 2 bytes, the code page (`kNone` where text is Unicode)
    unsigned columnFlags;
    unsigned columnExtraFlags;         ///< bit 0: text may be stored compressed
    unsigned columnFixedOffset;
    unsigned columnLength;
    unsigned columnNameLengthBytes;    ///< width of each column name's length

    // Usage maps (rows pointed to by a table definition).
    unsigned mapBitmapBytes;           ///< bitmap bytes of an inline map; the row is 5 + this
    unsigned mapPageHeader;            ///< bytes before the bitmap on a usage-map page

    // Long values (memo and OLE), 12-byte header in the row.
    unsigned longValueHeader;
    std::uint32_t longValueInline;
    std::uint32_t longValueSingle;
    std::uint32_t longValueLengthMask;
};

/// An offset that a version does not have.
inline constexpr unsigned kNone = ~0u;

inline constexpr unsigned kVersionOffset = 0x14;
inline constexpr unsigned kHeaderMaskStart = 0x18;
inline constexpr std::uint8_t kHeaderMaskKey[4] = {0xc7, 0xda, 0x39, 0x6b};
inline constexpr char kMagic[] = "Standard Jet DB";  ///< at offset 4 of page 0, with its NUL
inline constexpr unsigned kMagicOffset = 4;
inline constexpr std::uint32_t kCatalogTableDefPage = 2;
inline constexpr unsigned kMaxColumns = 255;
inline constexpr unsigned kMaxNameLength = 64;
inline constexpr unsigned kMaxTextLength = 255;
inline constexpr unsigned kMaxRowsPerPage = 255;  ///< a page/row pointer keeps the row in one byte

enum PageKind : std::uint8_t { Header = 0x00, Data = 0x01, TableDef = 0x02, UsageMap = 0x05 };
enum ColumnTypeCode : std::uint8_t {
    Boolean = 0x01, Byte = 0x02, Int = 0x03, Long = 0x04, Money = 0x05, Float = 0x06, Double = 0x07,
    DateTime = 0x08, Text = 0x0a, Ole = 0x0b, Memo = 0x0c, Guid = 0x0f, Numeric = 0x10,
};
enum ColumnFlag : std::uint8_t { Fixed = 0x01, Updatable = 0x02, AutoLong = 0x04 };
inline constexpr std::uint8_t kUserTable = 0x4e;
inline constexpr std::uint8_t kSystemTable = 0x53;
inline constexpr std::uint16_t kSortGeneral = 0x0409;
inline constexpr std::uint16_t kCodePageWestern = 1252;
inline constexpr std::uint32_t kSystemObjectFlags = 0x80000002u;

inline constexpr Layout kJet4 = {
    .name = "Jet 4.0", .versionByte = 0x01, .pageSize = 4096, .headerMaskedBytes = 128,
    .headerCodePage = 0x3c, .headerDatabaseKey = 0x3e, .headerSortOrder = 0x6e, .textUnitBytes = 2,
    .dataRowCount = 12, .dataRowOffsets = 14, .rowColumnCountBytes = 2,
    .tdefLength = 8, .tdefRowCount = 16, .tdefAutoNumber = 20, .tdefAutoNumberFlag = 24, .tdefTableType = 40,
    .tdefMaxColumns = 41, .tdefVarColumns = 43, .tdefColumnCount = 45, .tdefIndexCount = 47,
    .tdefRealIndexCount = 51, .tdefUsageMap = 55, .tdefFreeMap = 59, .tdefHeaderEnd = 63, .tdefMagic = 12,
    .tdefMagicValue = 0x0659, .tdefContinuationHeader = 8, .tdefKeepsFreeSpace = true,
    .columnEntryBytes = 25, .columnType = 0, .columnMagic = 1, .columnNumber = 5, .columnVarIndex = 7,
    .columnNumberAgain = 9, .columnSortOrder = 11, .columnPrecision = 11, .columnCodePage = kNone,
    .columnFlags = 15, .columnExtraFlags = 16, .columnFixedOffset = 21, .columnLength = 23,
    .columnNameLengthBytes = 2,
    .mapBitmapBytes = 64, .mapPageHeader = 4,
    .longValueHeader = 12, .longValueInline = 0x80000000u, .longValueSingle = 0x40000000u,
    .longValueLengthMask = 0x3fffffffu,
};

/// Jet 3 (Access 95/97): 2 KB pages, text in the file's code page, one-byte row offsets.
inline constexpr Layout kJet3 = {
    .name = "Jet 3", .versionByte = 0x00, .pageSize = 2048, .headerMaskedBytes = 126,
    .headerCodePage = 0x3c, .headerDatabaseKey = 0x3e, .headerSortOrder = 0x3a, .textUnitBytes = 1,
    .dataRowCount = 8, .dataRowOffsets = 10, .rowColumnCountBytes = 1,
    .tdefLength = 8, .tdefRowCount = 12, .tdefAutoNumber = 16, .tdefAutoNumberFlag = kNone, .tdefTableType = 20,
    .tdefMaxColumns = 21, .tdefVarColumns = 23, .tdefColumnCount = 25, .tdefIndexCount = 27,
    .tdefRealIndexCount = 31, .tdefUsageMap = 35, .tdefFreeMap = 39, .tdefHeaderEnd = 43, .tdefMagic = kNone,
    .tdefMagicValue = 0, .tdefContinuationHeader = 8, .tdefKeepsFreeSpace = false,
    .columnEntryBytes = 18, .columnType = 0, .columnMagic = kNone, .columnNumber = 1, .columnVarIndex = 3,
    .columnNumberAgain = 5, .columnSortOrder = 7, .columnPrecision = 9, .columnCodePage = 9,
    .columnFlags = 13, .columnExtraFlags = kNone, .columnFixedOffset = 14, .columnLength = 16,
    .columnNameLengthBytes = 1,
    .mapBitmapBytes = 128, .mapPageHeader = 4,
    .longValueHeader = 12, .longValueInline = 0x80000000u, .longValueSingle = 0x40000000u,
    .longValueLengthMask = 0x3fffffffu,
};

}  // namespace jet::layout
