#include "jet_writer.h"

#include "jet_index.h"
#include "jet/little_endian.h"
#include "value_encoding.h"

#include <QString>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <unordered_set>

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

namespace build {
namespace {

using namespace jet::layout;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kInlineLongValue = 1024;  // a memo or OLE value up to this many bytes may stay in its row
constexpr std::size_t kCompressibleMemo = 1024;  // longer memo text is stored uncompressed, as Jet requires
constexpr std::uint32_t kNoPage = 0;
constexpr char kLongValueOwner[4] = {'L', 'V', 'A', 'L'};

using jet::le::put16;
using jet::le::put32;
using jet::le::put64;
void append16(Bytes &b, std::uint32_t v)
{
    b.push_back(std::uint8_t(v));
    b.push_back(std::uint8_t(v >> 8));
}
void appendBytes(Bytes &b, const std::string &s) { b.insert(b.end(), s.begin(), s.end()); }

std::uint32_t pageRow(std::uint32_t page, unsigned row) { return (page << 8) | row; }

/// The file under its temporary name: pages written at their places, removed unless
/// `commit` renames it into place.
class PageFile {
public:
    PageFile(const std::string &finalPath, std::uint32_t pageSize) : m_final(finalPath), m_pageSize(pageSize)
    {
        const std::filesystem::path target(finalPath);
        m_temp = (target.parent_path() / ("." + target.filename().string() + ".part-" + std::to_string(getpid())))
                     .string();
        m_file = std::fopen(m_temp.c_str(), "w+b");
        if (!m_file)
            throw BuildError("cannot write '" + finalPath + "': " + std::strerror(errno));
    }
    ~PageFile()
    {
        if (m_file) {
            std::fclose(m_file);
            std::remove(m_temp.c_str());
        }
    }
    std::uint32_t allocate(std::uint32_t count = 1)
    {
        const std::uint32_t at = m_next;
        if (std::uint64_t(m_next) + count > 0xffffffu)
            throw BuildError("the catalog is larger than a Jet file can be");
        m_next += count;
        return at;
    }
    std::uint32_t pageCount() const { return m_next; }
    void write(std::uint32_t page, const std::uint8_t *bytes)
    {
        const std::uint64_t at = std::uint64_t(page) * m_pageSize;
#ifdef _WIN32
        const bool placed = _fseeki64(m_file, std::int64_t(at), SEEK_SET) == 0;
#else
        const bool placed = fseeko(m_file, off_t(at), SEEK_SET) == 0;
#endif
        if (!placed || std::fwrite(bytes, 1, m_pageSize, m_file) != m_pageSize)
            throw BuildError("cannot write '" + m_final + "': " + std::strerror(errno));
    }
    void commit()
    {
        const bool ok = std::fflush(m_file) == 0;
        const int closed = std::fclose(m_file);
        m_file = nullptr;
        std::error_code ec;
        if (ok && closed == 0)
            std::filesystem::rename(m_temp, m_final, ec);
        if (!ok || closed != 0 || ec) {
            std::remove(m_temp.c_str());
            throw BuildError("cannot write '" + m_final + "': " + (ec ? ec.message() : std::strerror(errno)));
        }
    }

private:
    std::string m_final, m_temp;
    std::uint32_t m_pageSize;
    std::FILE *m_file = nullptr;
    std::uint32_t m_next = 0;
};

/// A data page being filled: rows from the end of the page towards its offset table.
class DataPage {
public:
    DataPage(const Layout &l) : m_l(l), m_bytes(l.pageSize) {}
    void start(const std::uint8_t owner[4], std::uint32_t number)
    {
        std::fill(m_bytes.begin(), m_bytes.end(), 0);
        m_bytes[0] = PageKind::Data;
        m_bytes[1] = 1;
        std::memcpy(&m_bytes[4], owner, 4);
        m_rows = 0;
        m_freeEnd = m_l.pageSize;
        m_number = number;
        m_open = true;
    }
    bool open() const { return m_open; }
    std::uint32_t number() const { return m_number; }
    unsigned rows() const { return m_rows; }
    bool fits(std::size_t size) const
    {
        return m_rows < kMaxRowsPerPage && m_l.dataRowOffsets + 2 * (m_rows + 1) + size <= m_freeEnd;
    }
    /// Largest row a fresh page takes.
    std::size_t capacity() const { return m_l.pageSize - m_l.dataRowOffsets - 2; }
    unsigned add(const std::uint8_t *row, std::size_t size)
    {
        m_freeEnd -= unsigned(size);
        std::memcpy(&m_bytes[m_freeEnd], row, size);
        put16(&m_bytes[m_l.dataRowOffsets + 2 * m_rows], m_freeEnd);
        return m_rows++;
    }
    const std::uint8_t *finish()
    {
        put16(&m_bytes[2], m_freeEnd - (m_l.dataRowOffsets + 2 * m_rows));
        put16(&m_bytes[m_l.dataRowCount], m_rows);
        m_open = false;
        return m_bytes.data();
    }

private:
    const Layout &m_l;
    Bytes m_bytes;
    unsigned m_rows = 0;
    unsigned m_freeEnd = 0;
    std::uint32_t m_number = 0;
    bool m_open = false;
};

/// How one column is stored.
struct ColumnPlan {
    std::uint8_t code;  // the type byte of the column entry
    bool fixed = false;
    unsigned size = 0;         // bytes in the fixed area, or the declared length in bytes for text
    unsigned fixedOffset = 0;  // within the fixed area
    unsigned varIndex = 0;
};

ColumnPlan planColumn(const jet::Column &c, const Layout &l)
{
    const jet::StoredTypeInfo &t = jet::info(c.type);
    if (t.fixedSize != jet::kVariableSize)
        return {t.code, true, t.fixedSize};
    return {t.code, false, c.type == jet::StoredType::Text ? unsigned(c.length) * l.textUnitBytes : 0u};
}

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
};

void checkTable(const TableDef &t, const Layout &l)
{
    checkName(t.name, "table name");
    if (t.columns.empty() || t.columns.size() > kMaxColumns)
        throw BuildError("table '" + t.name + "' has " + std::to_string(t.columns.size()) +
                         " columns; a Jet table has 1 to 255");
    int autoNumbers = 0;
    for (const jet::Column &c : t.columns) {
        checkName(c.name, "column name in table '" + t.name + "'");
        const std::string where = "column '" + c.name + "' of table '" + t.name + "'";
        if (c.type == jet::StoredType::Text && (c.length < 1 || c.length > int(kMaxTextLength)))
            throw BuildError(where + " is Text " + std::to_string(c.length) + "; Text holds 1 to 255 characters");
        if (c.type == jet::StoredType::Numeric && (c.precision < 1 || c.precision > jet::kMaxDecimalPrecision || c.scale < 0 ||
                                                    c.scale > c.precision))
            throw BuildError(where + " is DECIMAL(" + std::to_string(c.precision) + "," + std::to_string(c.scale) +
                             "); precision is 1 to " + std::to_string(jet::kMaxDecimalPrecision) +
                             " and scale 0 to the precision");
        if (c.type == jet::StoredType::Numeric && !l.hasDecimal)
            throw BuildError(where + " is DECIMAL, which " + l.name + " does not have");
        if (c.autoNumber && c.type != jet::StoredType::Long)
            throw BuildError(where + " is an AutoNumber that is not a Long");
        autoNumbers += c.autoNumber;
    }
    if (autoNumbers > 1)
        throw BuildError("table '" + t.name + "' has more than one AutoNumber column");
    for (const std::string &key : t.primaryKey)
        if (std::none_of(t.columns.begin(), t.columns.end(), [&](const jet::Column &c) { return c.name == key; }))
            throw BuildError("the primary key of table '" + t.name + "' names no column '" + key + "'");
}

class Writer {
public:
    Writer(CatalogSource &source, const std::string &path, const Layout &l, std::vector<std::string> &warnings)
        : m_source(source), m_l(l), m_file(path, l.pageSize), m_data(l), m_longValues(l),
          m_il(index::indexLayoutFor(l)), m_warnings(warnings)
    {
    }

    void run()
    {
        const std::vector<TableDef> &tables = m_source.tables();
        for (const TableDef &t : tables)
            checkTable(t, m_l);
        checkDistinctNames(tables);

        m_catalogDef = catalogTable();
        m_plans.reserve(tables.size() + 1);
        m_plans.push_back(plan(m_catalogDef, true));
        for (const TableDef &t : tables)
            m_plans.push_back(plan(t, false));

        m_file.allocate();  // the header page
        m_mapRowPage = m_file.allocate();
        for (TablePlan &p : m_plans) {
            p.tdefPages = std::uint32_t(pagesFor(tableDefinition(p).size()));
            p.tdefPage = m_file.allocate(p.tdefPages);
        }
        if (m_plans.front().tdefPage != kCatalogTableDefPage)
            throw BuildError("internal: the catalog's definition is not on page 2");

        writeCatalogRows();
        for (std::size_t i = 0; i < tables.size(); ++i) {
            TablePlan &p = m_plans[i + 1];
            m_source.forEachRow(i, [&](const std::vector<Value> &row) { writeRow(p, row); });
            endTable(p);
        }
        writeMaps();
        for (const TablePlan &p : m_plans)
            writeTableDefinition(p);
        writeHeader();
        m_file.commit();
    }

private:
    static TableDef catalogTable()
    {
        TableDef t;
        t.name = "MSysObjects";
        t.columns = {{"Id", jet::StoredType::Long}, {"Name", jet::StoredType::Text, 128},
                     {"Type", jet::StoredType::Int}, {"Flags", jet::StoredType::Long}, {"LvProp", jet::StoredType::Ole}};
        return t;
    }

    TablePlan plan(const TableDef &t, bool system)
    {
        TablePlan p;
        p.def = &t;
        p.system = system;
        for (std::size_t i = 0; i < t.columns.size(); ++i) {
            ColumnPlan c = planColumn(t.columns[i], m_l);
            if (c.fixed) {
                c.fixedOffset = p.fixedSize;
                p.fixedSize += c.size;
            } else {
                c.varIndex = unsigned(p.varOrder.size());
                p.varOrder.push_back(unsigned(i));
            }
            p.columns.push_back(c);
        }
        for (const std::string &key : t.primaryKey)
            for (std::size_t i = 0; i < t.columns.size(); ++i)
                if (t.columns[i].name == key)
                    p.keyColumns.push_back(unsigned(i));
        planIndex(p);
        return p;
    }

    /// A primary key becomes an index where each of its columns' entries can be written
    /// exactly as Jet sorts them; otherwise the key is only checked, and the build says so.
    void planIndex(TablePlan &p)
    {
        if (p.keyColumns.empty())
            return;
        const TableDef &t = *p.def;
        for (unsigned i : p.keyColumns)
            if (!index::keyable(t.columns[i].type)) {
                m_warnings.push_back("table '" + t.name + "': no primary-key index is written, since the key column '" +
                                     t.columns[i].name +
                                     "' is not a whole number (Byte, Integer or Long) whose index entries this builder "
                                     "can write as Jet sorts them; the key is still checked for Null and repeats");
                return;
            }
        if (p.keyColumns.size() > index::kMaxKeyColumns) {
            m_warnings.push_back("table '" + t.name + "': no primary-key index is written, since a Jet index holds at most 10 "
                                 "columns; the key is still checked for Null and repeats");
            return;
        }
        unsigned width = 0;
        for (unsigned i : p.keyColumns)
            width += 1 + p.columns[i].size;
        p.indexed = true;
        p.keyEntries = index::KeyEntries(width);
    }

    std::size_t pagesFor(std::size_t definitionSize) const
    {
        const std::size_t first = m_l.pageSize;
        if (definitionSize <= first)
            return 1;
        const std::size_t more = m_l.pageSize - m_l.tdefContinuationHeader;
        return 1 + (definitionSize - first + more - 1) / more;
    }

    /// The whole definition as one stream: the first page's bytes, then what continues
    /// on further pages after their headers.
    Bytes tableDefinition(const TablePlan &p) const
    {
        const TableDef &t = *p.def;
        Bytes b(m_l.tdefHeaderEnd, 0);
        b[0] = PageKind::TableDef;
        b[1] = 1;
        if (m_l.tdefMagic != kNone)
            put32(&b[m_l.tdefMagic], m_l.tdefMagicValue);
        put32(&b[m_l.tdefRowCount], p.rows);
        put32(&b[m_l.tdefAutoNumber], p.lastAutoNumber);
        if (m_l.tdefAutoNumberFlag != kNone)
            b[m_l.tdefAutoNumberFlag] = 1;
        b[m_l.tdefTableType] = p.system ? kSystemTable : kUserTable;
        put16(&b[m_l.tdefMaxColumns], unsigned(t.columns.size()));
        put16(&b[m_l.tdefVarColumns], unsigned(p.varOrder.size()));
        put16(&b[m_l.tdefColumnCount], unsigned(t.columns.size()));
        put32(&b[m_l.tdefIndexCount], p.indexed ? 1 : 0);
        put32(&b[m_l.tdefRealIndexCount], p.indexed ? 1 : 0);
        put32(&b[m_l.tdefUsageMap], p.usageMapRow);
        put32(&b[m_l.tdefFreeMap], p.freeMapRow);
        if (p.indexed) {
            b.resize(b.size() + m_il.rowCountEntryBytes, 0);
            put32(&b[b.size() - m_il.rowCountEntryBytes + m_il.rowCountEntryRows], p.rows);
        }
        for (std::size_t i = 0; i < t.columns.size(); ++i) {
            const jet::Column &c = t.columns[i];
            const ColumnPlan &cp = p.columns[i];
            const std::size_t at = b.size();
            b.resize(at + m_l.columnEntryBytes, 0);
            std::uint8_t *e = &b[at];
            e[m_l.columnType] = cp.code;
            if (m_l.columnMagic != kNone)
                put32(e + m_l.columnMagic, m_l.tdefMagicValue);
            put16(e + m_l.columnNumber, unsigned(i));
            put16(e + m_l.columnVarIndex, cp.fixed ? 0 : cp.varIndex);
            put16(e + m_l.columnNumberAgain, unsigned(i));
            if (c.type == jet::StoredType::Text || c.type == jet::StoredType::Memo) {
                put16(e + m_l.columnSortOrder, kSortGeneral);
                if (m_l.columnCodePage != kNone)
                    put16(e + m_l.columnCodePage, kCodePageWestern);
                if (m_l.columnExtraFlags != kNone)
                    e[m_l.columnExtraFlags] = 1;  // text may be stored compressed
            } else if (c.type == jet::StoredType::Numeric) {
                e[m_l.columnPrecision] = std::uint8_t(c.precision);
                e[m_l.columnPrecision + 1] = std::uint8_t(c.scale);
            }
            e[m_l.columnFlags] = std::uint8_t((cp.fixed ? Fixed : 0) | (c.autoNumber ? AutoLong : Updatable));
            put16(e + m_l.columnFixedOffset, cp.fixed ? cp.fixedOffset : 0);
            put16(e + m_l.columnLength, c.type == jet::StoredType::Boolean ? 1 : cp.size);
        }
        for (const jet::Column &c : t.columns) {
            const std::u16string name = QString::fromStdString(c.name).toStdU16String();
            if (m_l.columnNameLengthBytes == 1) {
                const std::string bytes = encoding::codePageText(name);
                b.push_back(std::uint8_t(bytes.size()));
                appendBytes(b, bytes);
            } else {
                append16(b, unsigned(name.size() * 2));
                for (char16_t u : name)
                    append16(b, u);
            }
        }
        if (p.indexed)
            appendIndexDefinition(b, p);
        append16(b, 0xffff);  // no long-value column maps follow
        put32(&b[m_l.tdefLength], std::uint32_t(b.size()));
        return b;
    }

    /// The real index (its columns, usage map, root page and flags), then the logical
    /// "PrimaryKey" over it and that name.
    void appendIndexDefinition(Bytes &b, const TablePlan &p) const
    {
        std::size_t at = b.size();
        b.resize(at + m_il.realIndexBytes, 0);
        std::uint8_t *real = &b[at];
        if (m_il.leadingMagic != kNone)
            put32(real + m_il.leadingMagic, m_il.realIndexMagic);
        for (unsigned slot = 0; slot < index::kMaxKeyColumns; ++slot) {
            std::uint8_t *c = real + m_il.realIndexColumns + 3 * slot;
            const bool used = slot < p.keyColumns.size();
            put16(c, used ? p.keyColumns[slot] : index::kUnusedColumnSlot);
            c[2] = used ? index::kAscending : 0;
        }
        put32(real + m_il.realIndexUsageMap, p.indexMapRow);
        put32(real + m_il.realIndexRootPage, p.indexTree.root);
        real[m_il.realIndexFlags] = m_il.primaryKeyFlags;

        at = b.size();
        b.resize(at + m_il.logicalIndexBytes, 0);
        std::uint8_t *logical = &b[at];
        if (m_il.leadingMagic != kNone)
            put32(logical + m_il.leadingMagic, m_l.tdefMagicValue);
        put32(logical + m_il.logicalIndexNumber, 0);
        put32(logical + m_il.logicalRealIndex, 0);
        put32(logical + m_il.logicalRelatedIndex, index::kNoRelatedIndex);
        logical[m_il.logicalIndexType] = index::kPrimaryKeyType;

        const std::u16string name = index::kPrimaryKeyName;
        if (m_il.nameLengthBytes == 1) {
            b.push_back(std::uint8_t(name.size()));
            for (char16_t u : name)
                b.push_back(std::uint8_t(u));
        } else {
            append16(b, unsigned(name.size() * 2));
            for (char16_t u : name)
                append16(b, u);
        }
    }

    void writeTableDefinition(const TablePlan &p)
    {
        const Bytes def = tableDefinition(p);
        Bytes page(m_l.pageSize);
        std::size_t taken = 0;
        for (std::uint32_t i = 0; i < p.tdefPages; ++i) {
            std::fill(page.begin(), page.end(), 0);
            std::size_t start = 0;
            if (i == 0) {
                taken = std::min<std::size_t>(def.size(), m_l.pageSize);
                std::copy(def.begin(), def.begin() + std::ptrdiff_t(taken), page.begin());
                start = taken;
            } else {
                page[0] = PageKind::TableDef;
                page[1] = 1;
                const std::size_t n = std::min<std::size_t>(def.size() - taken, m_l.pageSize - m_l.tdefContinuationHeader);
                std::copy(def.begin() + std::ptrdiff_t(taken), def.begin() + std::ptrdiff_t(taken + n),
                          page.begin() + m_l.tdefContinuationHeader);
                taken += n;
                start = m_l.tdefContinuationHeader + n;
            }
            const std::size_t used = start + m_l.tdefContinuationHeader;  // Jet keeps the free space less 8
            if (m_l.tdefKeepsFreeSpace)
                put16(&page[2], unsigned(used < m_l.pageSize ? m_l.pageSize - used : 0));
            else
                std::memcpy(&page[2], "VC", 2);
            put32(&page[4], i + 1 < p.tdefPages ? p.tdefPage + i + 1 : kNoPage);
            m_file.write(p.tdefPage + i, page.data());
        }
    }

    void writeCatalogRows()
    {
        TablePlan &p = m_plans.front();
        auto entry = [](std::int64_t id, const std::string &name, std::uint32_t flags) {
            std::vector<Value> row(5);
            row[0] = {Value::Kind::Integer, id};
            row[1].kind = Value::Kind::Text;
            row[1].bytes = name;
            row[2] = {Value::Kind::Integer, 1};  // a table
            row[3] = {Value::Kind::Integer, std::int64_t(std::int32_t(flags))};
            return row;
        };
        writeRow(p, entry(p.tdefPage, p.def->name, kSystemObjectFlags));
        for (std::size_t i = 1; i < m_plans.size(); ++i)
            writeRow(p, entry(m_plans[i].tdefPage, m_plans[i].def->name, 0));
        endTable(p);
    }

    std::string where(const TablePlan &p, const std::string &column = {}) const
    {
        std::string w = "table '" + p.def->name + "', row " + std::to_string(p.rows + 1);
        if (!column.empty())
            w += ", column '" + column + "'";
        return w;
    }

    void writeRow(TablePlan &p, const std::vector<Value> &values)
    {
        const TableDef &t = *p.def;
        if (values.size() != t.columns.size())
            throw BuildError(where(p) + ": " + std::to_string(values.size()) + " values for " +
                             std::to_string(t.columns.size()) + " columns");
        const unsigned count = unsigned(t.columns.size());
        Bytes &row = m_row;
        row.assign(m_l.rowColumnCountBytes + p.fixedSize, 0);
        putCount(row.data(), count);
        std::vector<bool> present(count, false);
        m_varBytes.assign(p.varOrder.size(), std::string());
        std::vector<std::size_t> longValues;  // var mapSlots that hold memo or OLE values
        for (unsigned i = 0; i < count; ++i) {
            const jet::Column &c = t.columns[i];
            const ColumnPlan &cp = p.columns[i];
            Value autoValue;
            const Value *v = &values[i];
            if (c.autoNumber && v->kind == Value::Kind::Null) {
                autoValue = {Value::Kind::Integer, std::int64_t(p.lastAutoNumber) + 1};
                v = &autoValue;  // Jet numbers a row that arrives without one
            }
            if (v->kind == Value::Kind::Null)
                continue;
            try {
                std::uint8_t *f = row.data() + m_l.rowColumnCountBytes + cp.fixedOffset;
                present[i] = true;
                const jet::StoredTypeInfo &range = jet::info(c.type);
                switch (c.type) {
                case jet::StoredType::Boolean: present[i] = encoding::yesNo(*v); break;
                case jet::StoredType::Byte: *f = std::uint8_t(encoding::wholeNumber(*v, range.least, range.most)); break;
                case jet::StoredType::Int: put16(f, std::uint16_t(encoding::wholeNumber(*v, range.least, range.most))); break;
                case jet::StoredType::Long: {
                    const std::int64_t n = encoding::wholeNumber(*v, range.least, range.most);
                    put32(f, std::uint32_t(n));
                    if (c.autoNumber && n > std::int64_t(p.lastAutoNumber))
                        p.lastAutoNumber = std::uint32_t(n);
                    break;
                }
                case jet::StoredType::Money: put64(f, std::uint64_t(encoding::money(*v))); break;
                case jet::StoredType::Float: {
                    put32(f, jet::le::bitsOf(float(encoding::real(*v, true))));
                    break;
                }
                case jet::StoredType::Double: put64(f, jet::le::bitsOf(encoding::real(*v, false))); break;
                case jet::StoredType::Date: put64(f, jet::le::bitsOf(encoding::date(*v))); break;
                case jet::StoredType::Guid: {
                    const std::string g = encoding::guid(*v);
                    std::memcpy(f, g.data(), g.size());
                    break;
                }
                case jet::StoredType::Numeric: {
                    const std::string d = encoding::decimal(*v, c.precision, c.scale);
                    std::memcpy(f, d.data(), d.size());
                    break;
                }
                case jet::StoredType::Text:
                    m_varBytes[cp.varIndex] = stored(encoding::text(*v, std::size_t(c.length)), true);
                    break;
                case jet::StoredType::Memo: {
                    const std::u16string s = encoding::text(*v, 0);
                    m_varBytes[cp.varIndex] = stored(s, s.size() <= kCompressibleMemo);
                    longValues.push_back(cp.varIndex);
                    break;
                }
                case jet::StoredType::Ole:
                    m_varBytes[cp.varIndex] = encoding::blob(*v);
                    longValues.push_back(cp.varIndex);
                    break;
                }
            } catch (const BuildError &e) {
                throw BuildError(where(p, c.name) + ": " + e.what());
            }
        }

        if (!p.keyColumns.empty())
            checkKey(p, values, present);

        // The row's size with every long value out of line, then those that fit taken in.
        std::size_t size = row.size();
        for (std::size_t slot = 0; slot < m_varBytes.size(); ++slot)
            size += std::find(longValues.begin(), longValues.end(), slot) == longValues.end()
                        ? m_varBytes[slot].size()
                        : m_l.longValueHeader;
        if (!p.varOrder.empty())
            size += m_l.rowColumnCountBytes * (p.varOrder.size() + 2);
        size += (count + 7) / 8;
        if (size > m_data.capacity())
            throw BuildError(where(p) + ": the row needs " + std::to_string(size) + " bytes, more than a page holds (" +
                             std::to_string(m_data.capacity()) + ")");
        for (std::size_t slot : longValues) {
            std::string &bytes = m_varBytes[slot];
            if (bytes.size() > m_l.longValueLengthMask)
                throw BuildError(where(p, t.columns[p.varOrder[slot]].name) + ": the value is longer than Jet allows");
            std::string header(m_l.longValueHeader, '\0');
            auto *h = reinterpret_cast<std::uint8_t *>(header.data());
            if (bytes.size() <= kInlineLongValue && size + bytes.size() <= m_data.capacity()) {
                put32(h, std::uint32_t(bytes.size()) | m_l.longValueInline);
                size += bytes.size();
                bytes = header + bytes;
            } else {
                const std::size_t singleRow = m_longValues.capacity();
                if (bytes.size() <= singleRow) {
                    put32(h, std::uint32_t(bytes.size()) | m_l.longValueSingle);
                    put32(h + 4, placeLongValue(reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size()));
                } else {
                    put32(h, std::uint32_t(bytes.size()));
                    put32(h + 4, placeChain(bytes));
                }
                bytes = header;
            }
        }

        for (std::size_t slot = 0; slot < p.varOrder.size(); ++slot) {
            m_varStarts.resize(p.varOrder.size());
            m_varStarts[slot] = row.size();
            appendBytes(row, m_varBytes[slot]);
        }
        if (!p.varOrder.empty())
            appendVarTable(row, count);
        const std::size_t mask = row.size();
        row.resize(mask + (count + 7) / 8, 0);
        for (unsigned i = 0; i < count; ++i)
            if (present[i])
                row[mask + i / 8] |= std::uint8_t(1u << (i % 8));

        if (!m_data.open() || !m_data.fits(row.size())) {
            flushData(p);
            std::uint8_t owner[4];
            put32(owner, p.tdefPage);
            m_data.start(owner, 0);
        }
        const unsigned slot = m_data.add(row.data(), row.size());
        if (p.indexed)
            p.keyEntries.add(p.key, {p.rows + 1, std::uint32_t(p.dataPages.size()), std::uint8_t(slot)});
        if (p.rows == std::numeric_limits<std::uint32_t>::max())
            throw BuildError(where(p) + ": more rows than a Jet table holds");
        ++p.rows;
    }

    void putCount(std::uint8_t *at, unsigned n) const
    {
        if (m_l.rowColumnCountBytes == 1)
            *at = std::uint8_t(n);
        else
            put16(at, n);
    }

    std::string stored(const std::u16string &text, bool mayCompress) const
    {
        return m_l.textUnitBytes == 1 ? encoding::codePageText(text) : encoding::storedText(text, mayCompress);
    }

    /// The offsets of the variable values, last first, after the end of the data. With
    /// one-byte offsets a jump table says at which entries the offsets pass each further
    /// 256 bytes; it takes one byte per 256 bytes of row, the last possibly unused.
    void appendVarTable(Bytes &row, unsigned count)
    {
        const std::size_t vars = m_varStarts.size();
        const std::size_t end = row.size();
        if (m_l.rowColumnCountBytes == 2) {
            append16(row, unsigned(end));
            for (std::size_t slot = vars; slot-- > 0;)
                append16(row, unsigned(m_varStarts[slot]));
            append16(row, unsigned(vars));
            return;
        }
        const std::size_t mask = (count + 7) / 8;
        std::size_t jumps = 0;
        while (true) {
            const std::size_t length = end + 1 + vars + jumps + 1 + mask;
            const std::size_t needed = (length - 1) / 256;
            if (needed == jumps)
                break;
            jumps = needed;
        }
        std::vector<std::size_t> offsets(m_varStarts.begin(), m_varStarts.end());
        offsets.push_back(end);
        row.push_back(std::uint8_t(end & 0xff));
        for (std::size_t slot = vars; slot-- > 0;)
            row.push_back(std::uint8_t(offsets[slot] & 0xff));
        // Nearest the null mask first: jump j names the first entry at or past 256 * (j + 1).
        std::vector<std::uint8_t> table(jumps, 0xff);
        for (std::size_t j = 0; j < jumps; ++j)
            for (std::size_t i = 0; i < offsets.size(); ++i)
                if (offsets[i] >= 256 * (j + 1)) {
                    table[j] = std::uint8_t(i);
                    break;
                }
        for (std::size_t j = jumps; j-- > 0;)
            row.push_back(table[j]);
        row.push_back(std::uint8_t(vars));
    }

    /// A primary key holds no Null and no value twice (text compared as Jet compares it,
    /// without regard to case).
    void checkKey(TablePlan &p, const std::vector<Value> &values, const std::vector<bool> &present)
    {
        for (unsigned i : p.keyColumns) {
            const jet::Column &c = p.def->columns[i];
            if (values[i].kind == Value::Kind::Null && !c.autoNumber)
                throw BuildError(where(p, c.name) + ": the primary key cannot be Null");
        }
        if (p.indexed) {  // repeats are found once the entries are sorted
            p.key.clear();
            for (unsigned i : p.keyColumns)
                index::appendKeyColumn(p.key, p.def->columns[i].type,
                                       m_row.data() + m_l.rowColumnCountBytes + p.columns[i].fixedOffset,
                                       p.columns[i].size);
            return;
        }
        std::string key;
        for (unsigned i : p.keyColumns) {
            const jet::Column &c = p.def->columns[i];
            const ColumnPlan &cp = p.columns[i];
            if (c.type == jet::StoredType::Boolean)
                key += present[i] ? '1' : '0';
            else if (cp.fixed)
                key.append(reinterpret_cast<const char *>(m_row.data()) + m_l.rowColumnCountBytes + cp.fixedOffset, cp.size);
            else
                key += QString::fromStdU16String(encoding::text(values[i], 0)).toCaseFolded().toStdString();
            key += '\0';
        }
        if (!p.keys.insert(std::move(key)).second)
            throw BuildError(where(p) + ": " + repeatedKey(p));
    }

    std::string repeatedKey(const TablePlan &p) const
    {
        return "the primary key (" + p.def->primaryKey.front() + (p.keyColumns.size() > 1 ? ", ..." : "") +
               ") repeats an earlier row's";
    }

    void flushData(TablePlan &p)
    {
        if (!m_data.open())
            return;
        const std::uint32_t number = m_file.allocate();
        m_file.write(number, m_data.finish());
        p.dataPages.push_back(number);
    }

    /// Puts one long-value row on the current long-value page (a fresh one when it does
    /// not fit) and returns its page/row pointer.
    std::uint32_t placeLongValue(const std::uint8_t *bytes, std::size_t size)
    {
        if (!m_longValues.open() || !m_longValues.fits(size)) {
            flushLongValues();
            m_longValues.start(reinterpret_cast<const std::uint8_t *>(kLongValueOwner), m_file.allocate());
        }
        return pageRow(m_longValues.number(), m_longValues.add(bytes, size));
    }

    void flushLongValues()
    {
        if (m_longValues.open())
            m_file.write(m_longValues.number(), m_longValues.finish());
    }

    /// A value over several long-value rows, each led by the pointer to the next (0 on the
    /// last). Written from the end, so that each row knows where the next one is.
    std::uint32_t placeChain(const std::string &bytes)
    {
        const std::size_t chunk = m_longValues.capacity() - 4;
        std::vector<std::size_t> starts;
        for (std::size_t at = 0; at < bytes.size(); at += chunk)
            starts.push_back(at);
        std::uint32_t next = 0;
        Bytes piece;
        for (std::size_t i = starts.size(); i-- > 0;) {
            const std::size_t n = std::min(chunk, bytes.size() - starts[i]);
            piece.assign(4, 0);
            put32(piece.data(), next);
            piece.insert(piece.end(), bytes.begin() + std::ptrdiff_t(starts[i]),
                         bytes.begin() + std::ptrdiff_t(starts[i] + n));
            next = placeLongValue(piece.data(), piece.size());
        }
        return next;
    }

    void endTable(TablePlan &p)
    {
        p.keys = {};
        flushData(p);
        flushLongValues();
        if (!p.indexed)
            return;
        if (const std::uint32_t repeat = p.keyEntries.sortAndFindRepeat())
            throw BuildError("table '" + p.def->name + "', row " + std::to_string(repeat) + ": " + repeatedKey(p));
        p.indexTree = index::writeTree(
            p.keyEntries, p.dataPages, p.tdefPage, m_l, m_il, [&](std::uint32_t n) { return m_file.allocate(n); },
            [&](std::uint32_t page, const std::uint8_t *bytes) { m_file.write(page, bytes); });
        p.keyEntries.clear();
    }

    /// Each table's used-pages map (inline while its pages lie within reach of one
    /// bitmap, else a list of map pages) and an empty free-space map, as rows on map pages.
    void writeMaps()
    {
        const std::size_t rowSize = 5 + m_l.mapBitmapBytes;
        const std::uint32_t inlinePages = m_l.mapBitmapBytes * 8;
        const std::uint32_t pagesPerMapPage = (m_l.pageSize - m_l.mapPageHeader) * 8;
        DataPage rows(m_l);
        const std::uint8_t noOwner[4] = {0, 0, 0, 0};
        rows.start(noOwner, m_mapRowPage);
        auto place = [&](const Bytes &row) {
            if (!rows.fits(row.size())) {
                m_file.write(rows.number(), rows.finish());
                rows.start(noOwner, m_file.allocate());
            }
            return pageRow(rows.number(), rows.add(row.data(), row.size()));
        };
        Bytes bitmapPage(m_l.pageSize);
        const auto mapOf = [&](const std::vector<std::uint32_t> &pages, const std::string &table) {
            Bytes row(rowSize, 0);
            if (pages.empty() || pages.back() - pages.front() < inlinePages) {
                const std::uint32_t first = pages.empty() ? 0 : pages.front();
                put32(&row[1], first);
                for (std::uint32_t pg : pages)
                    row[5 + (pg - first) / 8] |= std::uint8_t(1u << ((pg - first) % 8));
                return row;
            }
            row[0] = 1;
            const std::size_t mapSlots = m_l.mapBitmapBytes / 4 + 1;
            if (pages.back() >= mapSlots * pagesPerMapPage)
                throw BuildError("table '" + table + "' reaches past what a usage map can hold");
            for (std::size_t slot = 0; slot < mapSlots; ++slot) {
                const std::uint32_t low = std::uint32_t(slot) * pagesPerMapPage;
                auto from = std::lower_bound(pages.begin(), pages.end(), low);
                auto to = std::lower_bound(from, pages.end(), low + pagesPerMapPage);
                if (from == to)
                    continue;
                std::fill(bitmapPage.begin(), bitmapPage.end(), 0);
                bitmapPage[0] = PageKind::UsageMap;
                bitmapPage[1] = 1;
                for (auto it = from; it != to; ++it) {
                    const std::uint32_t bit = *it - low;
                    bitmapPage[m_l.mapPageHeader + bit / 8] |= std::uint8_t(1u << (bit % 8));
                }
                const std::uint32_t mapPage = m_file.allocate();
                m_file.write(mapPage, bitmapPage.data());
                put32(&row[1 + 4 * slot], mapPage);
            }
            return row;
        };
        for (TablePlan &p : m_plans) {
            p.usageMapRow = place(mapOf(p.dataPages, p.def->name));
            Bytes none(rowSize, 0);  // no page is offered for inserts: Jet takes fresh pages
            p.freeMapRow = place(none);
            if (p.indexed)
                p.indexMapRow = place(mapOf(p.indexTree.pages, p.def->name));
        }
        m_file.write(rows.number(), rows.finish());
    }

    void writeHeader()
    {
        Bytes page(m_l.pageSize, 0);
        page[0] = PageKind::Header;
        page[1] = 1;
        std::memcpy(&page[kMagicOffset], kMagic, sizeof kMagic);
        page[kVersionOffset] = m_l.versionByte;
        put16(&page[m_l.headerCodePage], kCodePageWestern);
        put32(&page[m_l.headerDatabaseKey], 0);  // pages are not encoded
        put16(&page[m_l.headerSortOrder], kSortGeneral);
        // The password and the creation date stay zero: no password, and a date that
        // keeps the file the same from build to build.
        maskHeader(page.data(), m_l);
        m_file.write(0, page.data());
    }

    CatalogSource &m_source;
    const Layout &m_l;
    PageFile m_file;
    DataPage m_data;
    DataPage m_longValues;
    TableDef m_catalogDef;
    std::vector<TablePlan> m_plans;
    std::uint32_t m_mapRowPage = 0;
    const index::IndexLayout &m_il;
    std::vector<std::string> &m_warnings;
    Bytes m_row;
    std::vector<std::string> m_varBytes;
    std::vector<std::size_t> m_varStarts;
};

}  // namespace

void checkName(const std::string &name, const std::string &what)
{
    const QString n = QString::fromStdString(name);
    if (n.isEmpty())
        throw BuildError("an empty " + what);
    if (n.size() > int(kMaxNameLength))
        throw BuildError("the " + what + " '" + name + "' is longer than 64 characters");
    if (n.front() == QLatin1Char(' '))
        throw BuildError("the " + what + " '" + name + "' starts with a space");
    for (QChar c : n)
        if (c.unicode() < 0x20 || QStringLiteral(".!`[]").contains(c))
            throw BuildError("the " + what + " '" + name + "' holds a character Jet forbids in names (. ! ` [ ] or a control character)");
}

void checkDistinctNames(const std::vector<TableDef> &tables)
{
    std::vector<QString> tableNames{QStringLiteral("msysobjects")};
    for (const TableDef &t : tables) {
        const QString folded = QString::fromStdString(t.name).toCaseFolded();
        if (std::find(tableNames.begin(), tableNames.end(), folded) != tableNames.end())
            throw BuildError("the table name '" + t.name + "' is used twice (names are compared without regard to case)");
        tableNames.push_back(folded);
        std::vector<QString> columnNames;
        for (const jet::Column &c : t.columns) {
            const QString cf = QString::fromStdString(c.name).toCaseFolded();
            if (std::find(columnNames.begin(), columnNames.end(), cf) != columnNames.end())
                throw BuildError("the column name '" + c.name + "' is used twice in table '" + t.name +
                                 "' (names are compared without regard to case)");
            columnNames.push_back(cf);
        }
    }
}

std::vector<std::string> writeJetFile(CatalogSource &source, const std::string &path, const Layout &layout)
{
    std::vector<std::string> warnings;
    Writer writer(source, path, layout, warnings);
    writer.run();
    return warnings;
}

}  // namespace build
