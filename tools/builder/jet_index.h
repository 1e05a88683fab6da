#pragma once

#include "jet_layout.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

/// A table's primary key as Jet keeps it: one real index (its columns, flags, usage map
/// and root page) and one logical index named "PrimaryKey" over it in the table
/// definition, and a tree of index pages whose leaves hold one entry per row, in key
/// order, each pointing at its row's data page and row number.
namespace build::index {

/// Where the index parts sit, for each Jet version that is written.
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
inline constexpr std::uint8_t kIntermediatePage = 0x03;
inline constexpr std::uint8_t kLeafPage = 0x04;
inline constexpr std::uint8_t kAscending = 0x01;
inline constexpr std::uint16_t kUnusedColumnSlot = 0xffff;
inline constexpr std::uint32_t kNoRelatedIndex = 0xffffffffu;  ///< the index is no foreign key
inline constexpr std::uint8_t kKeyPresentAscending = 0x7f;  ///< leads each column of an entry; Null would be 0x00
inline constexpr std::uint8_t kUnique = 0x01;
inline constexpr std::uint8_t kRequired = 0x08;
inline constexpr std::uint8_t kJet4IndexMark = 0x80;
inline constexpr std::uint8_t kPrimaryKeyType = 0x01;
inline constexpr char16_t kPrimaryKeyName[] = u"PrimaryKey";

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
    .logicalIndexType = 19, .leadingMagic = jet::layout::kNone, .realIndexMagic = 0, .nameLengthBytes = 1,
    .pageOwner = 4, .pagePrevious = 8, .pageNext = 12, .pageTail = 16, .pagePrefixLength = 20,
    .pageEntryMask = 22, .pageEntries = 0xf8,
};

inline const IndexLayout &indexLayoutFor(const jet::layout::Layout &l)
{
    return l.pageSize == jet::layout::kJet3.pageSize ? kJet3Index : kJet4Index;
}

/// Whether entries of a column of this storage type can be written as Jet sorts them.
/// Whole numbers only: their encoding is plain (big-endian, sign bit turned over); text
/// keys depend on the sort order's collation tables and are not written.
bool keyable(jet::layout::ColumnTypeCode code);

/// Appends the index form of one key column's value, given as the row stores it
/// (little-endian, `size` bytes), to `out`: the present-ascending mark, then the value.
void appendKeyColumn(std::string &out, jet::layout::ColumnTypeCode code, const std::uint8_t *stored, unsigned size);

/// One leaf entry before its data page is known: the key, the row's place among the
/// table's data pages and its row number there, and its row number in the source.
struct Entry {
    std::uint32_t sourceRow;
    std::uint32_t pageOrdinal;
    std::uint8_t slot;
};

/// The entries of one table's key, all of one width, kept flat: a million rows of a Long
/// key take about 14 MB.
class KeyEntries {
public:
    explicit KeyEntries(unsigned keyWidth = 0) : m_width(keyWidth) {}
    unsigned keyWidth() const { return m_width; }
    std::size_t size() const { return m_entries.size(); }
    void add(const std::string &key, Entry e);
    /// Sorts by key; returns the source row (1-based) of the first row, in source order,
    /// whose key repeats an earlier one, or 0 when every key is distinct.
    std::uint32_t sortAndFindRepeat();
    const std::uint8_t *key(std::size_t i) const { return &m_keys[std::size_t(m_order[i]) * m_width]; }
    const Entry &entry(std::size_t i) const { return m_entries[m_order[i]]; }
    void clear();

private:
    unsigned m_width;
    std::vector<std::uint8_t> m_keys;
    std::vector<Entry> m_entries;
    std::vector<std::uint32_t> m_order;
};

/// Lays the sorted entries out as leaf pages, then intermediate levels until one page is
/// left: the root. `dataPages` turns a page ordinal into its page number; `allocate`
/// gives `n` consecutive fresh pages; `write` writes one page. Returns every index page
/// in page order, root last.
struct Tree {
    std::uint32_t root = 0;
    std::vector<std::uint32_t> pages;
};
Tree writeTree(const KeyEntries &entries, const std::vector<std::uint32_t> &dataPages, std::uint32_t tdefPage,
               const jet::layout::Layout &l, const IndexLayout &il,
               const std::function<std::uint32_t(std::uint32_t)> &allocate,
               const std::function<void(std::uint32_t, const std::uint8_t *)> &write);

}  // namespace build::index
