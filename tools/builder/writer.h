#pragma once

#include "jet/layout.h"
#include "jet/little_endian.h"
#include "tools/builder/catalog_model.h"
#include "tools/builder/data_page.h"
#include "tools/builder/jet_index.h"
#include "tools/builder/page_file.h"
#include "tools/builder/system_catalog.h"

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

/// The Jet writer's parts, for its own files only: how each table and column is laid out,
/// and the writer that puts the catalog's pages in place (jet_writer.cpp), its table
/// definitions (table_definition.cpp) and its rows (row_encoding.cpp).
namespace build::writer {

using namespace jet::layout;

constexpr std::size_t kInlineLongValue = 1024;  // a memo or OLE value up to this many bytes may stay in its row
constexpr std::size_t kCompressibleMemo = 1024;  // longer memo text is stored uncompressed, as Jet requires
constexpr std::uint32_t kNoPage = 0;
constexpr char kLongValueOwner[4] = {'L', 'V', 'A', 'L'};

using jet::le::put16;
using jet::le::put32;
using jet::le::put64;
inline void append16(Bytes &b, std::uint32_t v)
{
    b.push_back(std::uint8_t(v));
    b.push_back(std::uint8_t(v >> 8));
}
inline void appendBytes(Bytes &b, const std::string &s) { b.insert(b.end(), s.begin(), s.end()); }

inline std::uint32_t pageRow(std::uint32_t page, unsigned row) { return (page << 8) | row; }

/// How one column is stored.
struct ColumnPlan {
    std::uint8_t code;  // the type byte of the column entry
    bool fixed = false;
    unsigned size = 0;         // bytes in the fixed area, or the declared length in bytes for text
    unsigned fixedOffset = 0;  // within the fixed area
    unsigned varIndex = 0;
};

ColumnPlan planColumn(const jet::Column &c, const Layout &l);

/// An index that no primary key declares, with entries the writer gathers itself: the
/// system catalog's index on (ParentId, Name), whose keys hold text.
struct NamedIndex {
    std::vector<unsigned> columns;
    std::u16string name;
    index::KeyEntries entries;
    index::Tree tree;
    std::uint32_t mapRow = 0;
};

struct TablePlan {
    const TableDef *def = nullptr;
    bool system = false;
    std::vector<ColumnPlan> columns;
    std::vector<unsigned> varOrder;  // column indexes of the variable columns, in var-table order
    unsigned fixedSize = 0;
    std::uint32_t tdefPage = 0;
    std::uint32_t tdefPages = 0;
    std::uint32_t rows = 0;
    std::uint32_t lastAutoNumber = 0;
    std::vector<std::uint32_t> dataPages;
    std::uint32_t usageMapRow = 0, freeMapRow = 0;
    std::vector<unsigned> keyColumns;
    std::unordered_set<std::string> keys;  // the primary key of each row so far, where no index is written
    bool indexed = false;                  // the primary key is written as an index
    index::KeyEntries keyEntries;
    std::string key;                       // the current row's key in index form
    index::Tree indexTree;
    std::uint32_t indexMapRow = 0;
    std::u16string keyName = index::kPrimaryKeyName;
    bool catalog = false;                  // the system catalog: its indexes flagged as Access flags them
    std::vector<NamedIndex> namedIndexes;  // real indexes before the primary key's
};

/// Refuses a table that `format` cannot hold, naming what is wrong.
void checkTable(const TableDef &t, const jet::layout::Format &format);

class Writer {
public:
    Writer(CatalogSource &source, const std::string &path, const jet::layout::Format &format,
           std::vector<std::string> &warnings);
    void run();

private:
    /// MSysObjects, then the version's other system tables.
    std::vector<TableDef> systemTables() const;
    /// Refuses a user table named as a system table of the version; false, with a warning,
    /// when a name holds a character that the catalog's index of names cannot be written for.
    bool checkCatalogNames(const std::vector<TableDef> &tables);
    TablePlan plan(const TableDef &t, bool system);
    /// A primary key becomes an index where each of its columns' entries can be written
    /// exactly as Jet sorts them; otherwise the key is only checked, and the build says so.
    void planIndex(TablePlan &p);
    std::size_t pagesFor(std::size_t definitionSize) const;
    /// The whole definition as one stream: the first page's bytes, then what continues
    /// on further pages after their headers.
    Bytes tableDefinition(const TablePlan &p) const;
    /// The real indexes (their columns, usage maps, root pages and flags: the named ones,
    /// then the primary key's), then a logical index over each, in the order of their
    /// names, and those names.
    void appendIndexDefinitions(Bytes &b, const TablePlan &p) const;
    void writeTableDefinition(const TablePlan &p);
    /// The object rows (containers, MSysDb, every table under Tables) and the catalog's
    /// index on (ParentId, Name).
    void writeCatalogRows();
    std::string where(const TablePlan &p, const std::string &column = {}) const;
    void writeRow(TablePlan &p, const std::vector<Value> &values);
    void putCount(std::uint8_t *at, unsigned n) const;
    std::string stored(const std::u16string &text, bool mayCompress) const;
    /// The offsets of the variable values, last first, after the end of the data. With
    /// one-byte offsets a jump table says at which entries the offsets pass each further
    /// 256 bytes; it takes one byte per 256 bytes of row, the last possibly unused.
    void appendVarTable(Bytes &row, unsigned count);
    /// A primary key holds no Null and no value twice (text compared as Jet compares it,
    /// without regard to case).
    void checkKey(TablePlan &p, const std::vector<Value> &values, const std::vector<bool> &present);
    std::string repeatedKey(const TablePlan &p) const;
    void flushData(TablePlan &p);
    /// Puts one long-value row on the current long-value page (a fresh one when it does
    /// not fit) and returns its page/row pointer.
    std::uint32_t placeLongValue(const std::uint8_t *bytes, std::size_t size);
    void flushLongValues();
    /// A value over several long-value rows, each led by the pointer to the next (0 on the
    /// last). Written from the end, so that each row knows where the next one is.
    std::uint32_t placeChain(const std::string &bytes);
    void endTable(TablePlan &p);
    /// Each table's used-pages map (inline while its pages lie within reach of one
    /// bitmap, else a list of map pages) and an empty free-space map, as rows on map pages.
    void writeMaps();
    void writeHeader();

    CatalogSource &m_source;
    const jet::layout::Format &m_format;
    const Layout &m_l;
    PageFile m_file;
    DataPage m_data;
    DataPage m_longValues;
    const SystemCatalog &m_system;
    std::vector<TableDef> m_systemDefs;
    std::vector<TablePlan> m_plans;  // the system tables' first, then the user tables' in source order
    std::uint32_t m_mapRowPage = 0;
    const index::IndexLayout &m_il;
    std::vector<std::string> &m_warnings;
    Bytes m_row;
    std::vector<std::string> m_varBytes;
    std::vector<std::size_t> m_varStarts;
};

}  // namespace build::writer
