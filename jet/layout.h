#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

/// The Jet and ACE file formats: how the header page tells them apart, and where each
/// version keeps what (page size, header fields, table-definition, column, row, usage-map
/// and long-value structures). Everything that differs between versions lives here, so
/// that reader and writer agree and another version is one more entry. Plain C++ with no
/// dependencies (no Qt), so any reader or writer can include it.
namespace jet::layout {

struct Layout {
    const char *name;
    std::uint8_t versionByte;          ///< header byte at `versionOffset`
    std::uint32_t pageSize;
    unsigned headerMaskedBytes;        ///< header bytes masked with the fixed RC4 key from `headerMaskStart`
    unsigned headerCodePage;           ///< 2 bytes: the default code page
    unsigned headerDatabaseKey;        ///< 4 bytes: page-encoding key, 0 for none
    unsigned headerSortOrder;          ///< the default text sort order
    unsigned headerPasswordBytes;      ///< the database password's bytes from `kHeaderPassword`
    unsigned headerCreationDate;       ///< a double, days since 1899-12-30; also masks the password
    unsigned textUnitBytes;            ///< bytes per stored character (UCS-2: 2)
    bool hasDecimal;                   ///< the Decimal column type (came with Jet 4.0)
    std::uint64_t maxFileBytes;        ///< the largest file of the version

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
inline constexpr unsigned kHeaderPassword = 0x42;
inline constexpr char kMagic[] = "Standard Jet DB";  ///< at offset 4 of page 0, with its NUL
inline constexpr char kAceMagic[] = "Standard ACE DB";
inline constexpr unsigned kMagicOffset = 4;
inline constexpr unsigned kMagicSize = sizeof kMagic;
static_assert(sizeof kAceMagic == kMagicSize);
inline constexpr unsigned kTdefNextPage = 4;  ///< on every definition page: the next one, 0 at the end
// A data page's row offset: the row's start, and two flags.
inline constexpr std::uint16_t kRowOffsetMask = 0x1fff;
inline constexpr std::uint16_t kRowDeleted = 0x8000;
inline constexpr std::uint16_t kRowLookup = 0x4000;  ///< the row holds a pointer to where it moved
inline constexpr std::uint32_t kCatalogTableDefPage = 2;
inline constexpr unsigned kMaxColumns = 255;
inline constexpr unsigned kMaxNameLength = 64;
inline constexpr unsigned kMaxTextLength = 255;
inline constexpr unsigned kMaxRowsPerPage = 255;  ///< a page/row pointer keeps the row in one byte

enum PageKind : std::uint8_t { Header = 0x00, Data = 0x01, TableDef = 0x02, UsageMap = 0x05 };
enum ColumnFlag : std::uint8_t { Fixed = 0x01, Updatable = 0x02, AutoLong = 0x04 };
inline constexpr std::uint8_t kUserTable = 0x4e;
inline constexpr std::uint8_t kSystemTable = 0x53;
inline constexpr std::uint16_t kSortGeneral = 0x0409;
inline constexpr std::uint16_t kCodePageWestern = 1252;

// The system catalog's object rows: an object's Id, the Id of the container it belongs to
// (ParentId), its Type and Flags. A table's Id is its definition page.
inline constexpr std::int32_t kDatabaseObjectId = 0x0F000000;     ///< the parent of every container
inline constexpr std::int32_t kTablesContainerId = 0x0F000001;    ///< the parent of every table
inline constexpr std::int32_t kDatabasesContainerId = 0x0F000002;  ///< the parent of MSysDb
inline constexpr std::int32_t kRelationshipsContainerId = 0x0F000003;
inline constexpr std::int32_t kDatabaseRowId = 0x10000000;        ///< MSysDb, the database's own row
inline constexpr std::uint32_t kObjectIdPageMask = 0x00FFFFFF;    ///< a table's Id: its definition page
enum ObjectType : std::int16_t { TableObject = 1, DatabaseObject = 2, ContainerObject = 3 };
inline constexpr std::uint32_t kEngineObjectFlags = 0x80000000u;  ///< Flags of what Jet itself keeps
inline constexpr char kCatalogName[] = "MSysObjects";
inline constexpr char16_t kCatalogNameIndex[] = u"ParentIdName";  ///< the catalog's index on (ParentId, Name)
inline constexpr char16_t kCatalogIdIndex[] = u"Id";              ///< its primary key, on Id

inline constexpr Layout kJet4 = {
    .name = "Jet 4.0", .versionByte = 0x01, .pageSize = 4096, .headerMaskedBytes = 128,
    .headerCodePage = 0x3c, .headerDatabaseKey = 0x3e, .headerSortOrder = 0x6e,
    .headerPasswordBytes = 40, .headerCreationDate = 0x72, .textUnitBytes = 2, .hasDecimal = true,
    .maxFileBytes = std::uint64_t(1) << 31,
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
    .headerCodePage = 0x3c, .headerDatabaseKey = 0x3e, .headerSortOrder = 0x3a,
    .headerPasswordBytes = 20, .headerCreationDate = kNone, .textUnitBytes = 1, .hasDecimal = false,
    .maxFileBytes = std::uint64_t(1) << 30,
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

/// Where an index's entries and pages keep what, for each Jet version.
struct IndexLayout {
    // Table definition: after the header, one row-count entry per real index; after the
    // column names, the real indexes, the logical indexes and the logical index names.
    unsigned rowCountEntryBytes;
    unsigned rowCountEntryRows;     ///< 4 bytes: the rows the index holds
    unsigned realIndexBytes;
    unsigned realIndexColumns;      ///< the ten (column number 2 bytes, order 1 byte) slots
    unsigned realIndexUsageMap;     ///< page/row pointer to the map of the index's pages
    unsigned realIndexRootPage;
    unsigned realIndexFlags;
    std::uint8_t primaryKeyFlags;   ///< unique and required, with the bit Jet 4 sets on every index
    unsigned logicalIndexBytes;
    unsigned logicalIndexNumber;
    unsigned logicalRealIndex;      ///< which real index backs this logical one
    unsigned logicalRelatedIndex;   ///< 4 bytes, -1 where the index is no foreign key
    unsigned logicalIndexType;
    unsigned leadingMagic;          ///< 4 bytes leading each real and logical entry (kNone: no such field)
    std::uint32_t realIndexMagic;   ///< what leads a real index; a logical one is led by the definition's magic
    unsigned nameLengthBytes;

    // Index pages (0x03 intermediate, 0x04 leaf).
    unsigned pageOwner;             ///< 4 bytes: the table definition's page
    unsigned pagePrevious;
    unsigned pageNext;
    unsigned pageTail;
    unsigned pagePrefixLength;      ///< 2 bytes: bytes every entry shares with the page's first
    unsigned pageEntryMask;         ///< a bit at each entry's end, counted from `pageEntries`
    unsigned pageEntries;
};

inline constexpr unsigned kMaxKeyColumns = 10;
inline constexpr std::uint16_t kUnusedColumnSlot = 0xffff;
inline constexpr std::uint8_t kUnique = 0x01;
inline constexpr std::uint8_t kRequired = 0x08;
inline constexpr std::uint8_t kJet4IndexMark = 0x80;
inline constexpr std::uint8_t kPrimaryKeyType = 0x01;
inline constexpr std::uint8_t kNormalIndexType = 0x00;  ///< neither primary nor foreign key

inline constexpr IndexLayout kJet4Index = {
    .rowCountEntryBytes = 12, .rowCountEntryRows = 4, .realIndexBytes = 52, .realIndexColumns = 4,
    .realIndexUsageMap = 34, .realIndexRootPage = 38, .realIndexFlags = 46,
    .primaryKeyFlags = kUnique | kRequired | kJet4IndexMark, .logicalIndexBytes = 28, .logicalIndexNumber = 4,
    .logicalRealIndex = 8, .logicalRelatedIndex = 13, .logicalIndexType = 23, .leadingMagic = 0,
    .realIndexMagic = 0x0783, .nameLengthBytes = 2,
    .pageOwner = 4, .pagePrevious = 12, .pageNext = 16, .pageTail = 20, .pagePrefixLength = 24,
    .pageEntryMask = 27, .pageEntries = 0x1e0,
};

inline constexpr IndexLayout kJet3Index = {
    .rowCountEntryBytes = 8, .rowCountEntryRows = 4, .realIndexBytes = 39, .realIndexColumns = 0,
    .realIndexUsageMap = 30, .realIndexRootPage = 34, .realIndexFlags = 38, .primaryKeyFlags = kUnique | kRequired,
    .logicalIndexBytes = 20, .logicalIndexNumber = 0, .logicalRealIndex = 4, .logicalRelatedIndex = 9,
    .logicalIndexType = 19, .leadingMagic = kNone, .realIndexMagic = 0, .nameLengthBytes = 1,
    .pageOwner = 4, .pagePrevious = 8, .pageNext = 12, .pageTail = 16, .pagePrefixLength = 20,
    .pageEntryMask = 22, .pageEntries = 0xf8,
};

inline const IndexLayout &indexLayoutFor(const Layout &l)
{
    return l.pageSize == kJet3.pageSize ? kJet3Index : kJet4Index;
}

/// A format a header page may name, and whether it is read.
struct Format {
    const char *magic;
    std::uint8_t version;  ///< the byte at kVersionOffset
    const char *name;      ///< as a user knows it
    const Layout *layout;  ///< null: known but not read
    const char *word = nullptr;  ///< catalog-build's --format word; null where it writes none
    bool calculated = false;     ///< has calculated columns (Access 2010 and later)
    bool newestTypes = false;    ///< has Large Number and Date/Time Extended (Access 2016 and later)
};

/// The formats known, oldest first; the last ACE entry is the newest known. ACE keeps the
/// Jet 4.0 layouts.
inline constexpr Format kFormats[] = {
    {kMagic, 0x00, "the Jet 3 format of Access 95 and 97", &kJet3, "jet3"},
    {kMagic, 0x01, "Jet 4.0 (Access 2000 to 2003)", &kJet4, "jet4"},
    {kAceMagic, 0x02, "ACE 12 (Access 2007)", &kJet4},
    {kAceMagic, 0x03, "ACE 14 (Access 2010)", &kJet4, nullptr, true},
    {kAceMagic, 0x05, "ACE 16 (Access 2013 and 2016)", &kJet4, "ace16", true, true},
    {kAceMagic, 0x06, "ACE 17 (Access 2019)", &kJet4, nullptr, true, true},
};

/// The format catalog-build writes for its --format word, or null.
inline const Format *writtenFormat(const char *word)
{
    for (const Format &f : kFormats)
        if (f.word && std::strcmp(f.word, word) == 0)
            return &f;
    return nullptr;
}

/// The known format at the start of `header` (at least kVersionOffset + 1 bytes), or null.
inline const Format *formatOf(const unsigned char *header)
{
    for (const Format &f : kFormats)
        if (std::memcmp(header + kMagicOffset, f.magic, kMagicSize) == 0 && header[kVersionOffset] == f.version)
            return &f;
    return nullptr;
}

/// Masks or unmasks (RC4 under the fixed key: the same step does both) the header bytes
/// that Jet keeps masked. `page` holds at least kHeaderMaskStart + headerMaskedBytes.
inline void maskHeader(unsigned char *page, const Layout &layout)
{
    unsigned char s[256];
    for (unsigned i = 0; i < 256; ++i)
        s[i] = static_cast<unsigned char>(i);
    for (unsigned i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + kHeaderMaskKey[i % sizeof kHeaderMaskKey]) & 0xff;
        const unsigned char t = s[i];
        s[i] = s[j];
        s[j] = t;
    }
    for (std::size_t n = 0, i = 0, j = 0; n < layout.headerMaskedBytes; ++n) {
        i = (i + 1) & 0xff;
        j = (j + s[i]) & 0xff;
        const unsigned char t = s[i];
        s[i] = s[j];
        s[j] = t;
        page[kHeaderMaskStart + n] ^= s[(s[i] + s[j]) & 0xff];
    }
}

}  // namespace jet::layout
