#pragma once

#include "jet/layout.h"
#include "jet/stored_type.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

/// A table's primary key as Jet keeps it: one real index (its columns, flags, usage map
/// and root page) and one logical index named "PrimaryKey" over it in the table
/// definition, and a tree of index pages whose leaves hold one entry per row, in key
/// order, each pointing at its row's data page and row number.
namespace build::index {

using jet::layout::IndexLayout;
using jet::layout::indexLayoutFor;
using jet::layout::kJet3Index;
using jet::layout::kJet4Index;
using jet::layout::kMaxKeyColumns;
using jet::layout::kPrimaryKeyType;
using jet::layout::kUnusedColumnSlot;

inline constexpr std::uint8_t kIntermediatePage = 0x03;
inline constexpr std::uint8_t kLeafPage = 0x04;
inline constexpr std::uint8_t kAscending = 0x01;
inline constexpr std::uint32_t kNoRelatedIndex = 0xffffffffu;  ///< the index is no foreign key
inline constexpr std::uint8_t kKeyPresentAscending = 0x7f;  ///< leads each column of an entry; Null would be 0x00
inline constexpr char16_t kPrimaryKeyName[] = u"PrimaryKey";

/// Whether entries of a column of this storage type can be written as Jet sorts them.
/// Whole numbers only: their encoding is plain (big-endian, sign bit turned over); text
/// keys depend on the sort order's collation tables, of which this builder knows only the
/// part that names need (appendNameKey), and are not written for values.
bool keyable(jet::StoredType type);

/// Appends the index form of one key column's value, given as the row stores it
/// (little-endian, `size` bytes), to `out`: the present-ascending mark, then the value.
void appendKeyColumn(std::string &out, jet::StoredType type, const std::uint8_t *stored, unsigned size);

/// Appends the index form of a name (a table name in the system catalog's index) under the
/// General sort order of `l`'s version: the present-ascending mark, one weight a character
/// (letter case does not count), then the end of the text. Returns the first character
/// whose weight this builder does not know, or 0 once the whole name is appended; then
/// `out` holds a part of the key only.
char16_t appendNameKey(std::string &out, std::u16string_view name, const jet::layout::Layout &l);

/// One leaf entry before its data page is known: the key, the row's place among the
/// table's data pages and its row number there, and its row number in the source.
struct Entry {
    std::uint32_t sourceRow;
    std::uint32_t pageOrdinal;
    std::uint8_t slot;
};

/// The entries of one index, kept flat. Keys of whole numbers are all of one width: a
/// million rows of a Long key take about 14 MB. Keys holding text (`keyWidth` 0) are as
/// long as their text, each with its start kept.
class KeyEntries {
public:
    explicit KeyEntries(unsigned keyWidth = 0) : m_width(keyWidth) {}
    unsigned keyWidth() const { return m_width; }
    std::size_t size() const { return m_entries.size(); }
    void add(const std::string &key, Entry e);
    /// Sorts by key, bytes compared in order and a key before any longer one it begins;
    /// returns the source row (1-based) of the first row, in source order, whose key
    /// repeats an earlier one, or 0 when every key is distinct.
    std::uint32_t sortAndFindRepeat();
    const std::uint8_t *key(std::size_t i) const { return &m_keys[start(m_order[i])]; }
    std::size_t keySize(std::size_t i) const { return sizeOf(m_order[i]); }
    const Entry &entry(std::size_t i) const { return m_entries[m_order[i]]; }
    void clear();

private:
    std::size_t start(std::uint32_t e) const { return m_width ? std::size_t(e) * m_width : m_starts[e]; }
    std::size_t sizeOf(std::uint32_t e) const
    {
        return m_width ? m_width : (e + 1 < m_starts.size() ? m_starts[e + 1] : m_keys.size()) - m_starts[e];
    }

    unsigned m_width;
    std::vector<std::uint8_t> m_keys;
    std::vector<std::size_t> m_starts;  // keys of varying width only
    std::vector<Entry> m_entries;
    std::vector<std::uint32_t> m_order;
};

/// Lays the sorted entries out as leaf pages, each filled as far as its entries fit, then
/// intermediate levels until one page is left: the root. `dataPages` turns a page ordinal into its page number; `allocate`
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
