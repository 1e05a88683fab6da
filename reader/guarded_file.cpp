#include "reader/guarded_file.h"

#include "jet/codec.h"
#include "jet/layout.h"
#include "jet/little_endian.h"
#include "jet/properties.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <unordered_set>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using jet::protocol::Fault;
using Type = jet::StoredType;

namespace reader {
namespace {

using jet::layout::kRowDeleted;
using jet::layout::kRowLookup;
using jet::layout::kRowOffsetMask;
using jet::layout::PageKind;
constexpr int kMaxTdefPages = 64;
constexpr unsigned kMaxColumns = jet::layout::kMaxColumns;
constexpr std::uint32_t kMaxIndexes = 256;  // far above what Jet allows a table (32 and their relationships)
using jet::le::get16;
using jet::le::get32;

[[noreturn]] void damaged(const std::string &detail) { throw Refusal(Fault::Damaged, detail); }

// The header bytes looked at: the masked part of the longest layout.
constexpr std::size_t kHeaderNeeded = jet::layout::kHeaderMaskStart + jet::layout::kJet4.headerMaskedBytes;
static_assert(jet::layout::kJet3.headerMaskedBytes <= jet::layout::kJet4.headerMaskedBytes);

[[noreturn]] void notJetOrAce() { throw Refusal(Fault::Unrecognized, "not a Jet or ACE database"); }

/// The layout of a file in a format that is read; refuses any other, or one whose pages are
/// encrypted, in words that say so (never as damage: such a file is sound).
const jet::layout::Layout &checkFormat(const unsigned char *base, std::size_t size)
{
    using namespace jet::layout;
    if (size < kHeaderNeeded || base[0] != 0)
        notJetOrAce();
    const bool ace = std::memcmp(base + kMagicOffset, kAceMagic, kMagicSize) == 0;
    const unsigned version = base[kVersionOffset];
    const Format *format = formatOf(base);
    if (!format) {
        if (!ace)
            notJetOrAce();
        if (version > std::end(kFormats)[-1].version)
            throw Refusal(Fault::OtherFormat, "an ACE format newer than Access 2019 (version " + std::to_string(version) + ")");
        throw Refusal(Fault::OtherFormat, "an ACE format of an unknown version (" + std::to_string(version) + ")");
    }
    if (!format->layout)
        throw Refusal(Fault::OtherFormat, format->name);
    const Layout &layout = *format->layout;
    unsigned char header[kHeaderNeeded];
    std::memcpy(header, base, sizeof header);
    maskHeader(header, layout);
    if (layout.textUnitBytes == 1) {
        // Text kept in a code page: only the Western one is converted here (0, none named,
        // is read as Western too).
        const unsigned codePage = header[layout.headerCodePage] | (header[layout.headerCodePage + 1] << 8);
        if (codePage != 0 && codePage != kCodePageWestern)
            throw Refusal(Fault::OtherFormat, std::string(format->name) + " with text in code page " +
                                                  std::to_string(codePage) + " (only 1252, Western European, is read)");
    }
    if (std::any_of(header + layout.headerDatabaseKey, header + layout.headerDatabaseKey + 4, [](unsigned char b) { return b != 0; }))
        throw Refusal(Fault::Protected, "encrypted");
    return layout;
}

/// Refuses a file kept under a database password. Looked at once the file's structure is
/// known to be its format's, so that a damaged header is not taken for a password.
void checkPassword(const unsigned char *base, const jet::layout::Layout &layout)
{
    using namespace jet::layout;
    unsigned char header[kHeaderNeeded];
    std::memcpy(header, base, sizeof header);
    maskHeader(header, layout);
    // Jet 4 masks the password with the creation date's whole days, four bytes repeated.
    unsigned char mask[4] = {};
    if (layout.headerCreationDate != kNone) {
        double created = 0;
        std::memcpy(&created, header + layout.headerCreationDate, sizeof created);
        if (created > -2147483648.0 && created < 2147483647.0) {
            const auto days = std::uint32_t(std::int32_t(std::floor(created)));
            for (int i = 0; i < 4; ++i)
                mask[i] = static_cast<unsigned char>(days >> (8 * i));
        }
    }
    for (std::size_t i = 0; i < layout.headerPasswordBytes; ++i)
        if ((header[kHeaderPassword + i] ^ mask[i % 4]) != 0)
            throw Refusal(Fault::Protected, "protected by a database password");
}

std::string pageText(std::uint32_t pg) { return "page " + std::to_string(pg); }

// Where a fault lies, for its message. The scan names every row it reads, so the text is
// only put together once something is found wrong there.
const std::string &placeText(const std::string &text) { return text; }
template <typename Describe>
std::string placeText(const Describe &describe)
{
    return describe();
}

/// A column entry of a table definition, with its name (UTF-8).
struct ColumnEntry {
    std::string name;
    unsigned code = 0, number = 0, varIndex = 0, flags = 0, extraFlags = 0, fixedOffset = 0, length = 0;
    unsigned precision = 0, scale = 0;
};

/// Where one column's value lies on its page, or that it is Null.
struct Field {
    unsigned start = 0, size = 0;
    bool isNull = true;
};

struct RowSpan {
    const unsigned char *page = nullptr;
    std::uint32_t pageNumber = 0;
    unsigned start = 0;
    unsigned size = 0;
    std::uint16_t flags = 0;
};

}  // namespace

namespace {
constexpr std::size_t kMaxNameLength = 64;  // characters, as Jet allows for table and column names

/// What is wrong with a table or column name as decoded (UTF-8); "" when
/// nothing is. Names end up in statements, listings and line-based dumps.
std::string nameFault(const char *name)
{
    if (!name || !*name)
        return "is empty";
    std::size_t characters = 0;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(name); *p; ++p) {
        if ((*p & 0xc0) != 0x80)
            ++characters;
        const bool c1 = p[0] == 0xc2 && p[1] >= 0x80 && p[1] <= 0x9f;
        if (*p < 0x20 || *p == 0x7f || c1)
            return "holds a control character";
    }
    if (characters > kMaxNameLength)
        return "is longer than " + std::to_string(kMaxNameLength) + " characters";
    return {};
}
}  // namespace

struct GuardedFile::Impl {
    std::string path;
    const unsigned char *base = nullptr;
    std::size_t size = 0;
    std::uint32_t pageCount = 0;
    const jet::layout::Layout *l = &jet::layout::kJet4;  ///< the file's, once its header is checked
    std::uint32_t pageSize = jet::layout::kJet4.pageSize;
#ifdef _WIN32
    HANDLE file = INVALID_HANDLE_VALUE;
    HANDLE mapping = nullptr;
#else
    int fd = -1;
    void *mapping = nullptr;
#endif
    ~Impl()
    {
#ifdef _WIN32
        if (base)
            UnmapViewOfFile(base);
        if (mapping)
            CloseHandle(mapping);
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
#else
        if (mapping)
            munmap(mapping, size);
        if (fd >= 0)
            ::close(fd);
#endif
    }

    void mapFile()
    {
#ifdef _WIN32
        // Read-only and mapped, as on other systems; shared with whoever has it open, as Access
        // keeps a catalog it edits (every structure is checked before it is used).
        std::wstring wide(std::size_t(MultiByteToWideChar(CP_UTF8, 0, path.data(), int(path.size()), nullptr, 0)), L'\0');
        MultiByteToWideChar(CP_UTF8, 0, path.data(), int(path.size()), wide.data(), int(wide.size()));
        file = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_RANDOM_ACCESS, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
                throw Refusal(Fault::NotFound, "No such file or directory");
            throw Refusal(Fault::Unreadable, error == ERROR_SHARING_VIOLATION ? "another program holds it for itself alone"
                                                                              : "Windows error " + std::to_string(error));
        }
        LARGE_INTEGER length{};
        if (GetFileType(file) != FILE_TYPE_DISK || !GetFileSizeEx(file, &length))
            throw Refusal(Fault::Unreadable, "not a regular file");
        size = static_cast<std::size_t>(length.QuadPart);
        if (size > 0) {
            mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
            if (mapping)
                base = static_cast<const unsigned char *>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
            if (!base)
                throw Refusal(Fault::Unreadable, "Windows error " + std::to_string(GetLastError()));
        }
#else
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            throw Refusal(errno == ENOENT ? Fault::NotFound : Fault::Unreadable, std::strerror(errno));
        struct stat st {};
        if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
            throw Refusal(Fault::Unreadable, "not a regular file");
        size = static_cast<std::size_t>(st.st_size);
        if (size > 0) {
            mapping = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
            if (mapping == MAP_FAILED) {
                mapping = nullptr;
                throw Refusal(Fault::Unreadable, std::strerror(errno));
            }
            base = static_cast<const unsigned char *>(mapping);
        }
#endif
    }

    const unsigned char *page(std::uint32_t pg, const std::string &what) const
    {
        if (pg >= pageCount)
            damaged(what + " points to " + pageText(pg) + ", past the end of the file (" +
                    std::to_string(pageCount) + " pages)");
        return base + std::size_t(pg) * pageSize;
    }

    /// A table's definition as one stream, as it continues over its pages (checked before).
    std::string definitionBytes(std::uint32_t pg, const std::string &what) const
    {
        std::string def;
        int pages = 0;
        for (std::uint32_t next = pg, first = 1; next != 0; first = 0) {
            if (++pages > kMaxTdefPages)
                damaged(what + " go on over more pages than a definition has");
            const unsigned char *q = page(next, what);
            const std::size_t skip = first ? 0 : l->tdefContinuationHeader;
            def.append(reinterpret_cast<const char *>(q) + skip, pageSize - skip);
            next = get32(q + jet::layout::kTdefNextPage);
        }
        return def;
    }

    /// A table's column entries and names, in column-number order, each checked against the
    /// definition's size before it is used.
    struct TableDefinition {
        std::uint32_t rows = 0;
        unsigned varColumns = 0;
        std::vector<ColumnEntry> columns;
    };
    TableDefinition tableDefinition(std::uint32_t pg, const std::string &table) const
    {
        const std::string what = "the definition of table '" + table + "'";
        const std::string def = definitionBytes(pg, what);
        const auto *d = reinterpret_cast<const unsigned char *>(def.data());
        TableDefinition t;
        t.rows = get32(d + l->tdefRowCount);
        t.varColumns = get16(d + l->tdefVarColumns);
        const unsigned columns = get16(d + l->tdefColumnCount);
        const std::uint32_t real = get32(d + l->tdefRealIndexCount);
        if (real > kMaxIndexes)
            damaged("the columns of table '" + table + "' cannot be read");
        std::size_t at = l->tdefHeaderEnd + std::size_t(real) * jet::layout::indexLayoutFor(*l).rowCountEntryBytes;
        const auto need = [&](std::size_t bytes) {
            if (at + bytes > def.size())
                damaged("the columns of table '" + table + "' cannot be read");
        };
        need(std::size_t(columns) * l->columnEntryBytes);
        for (unsigned i = 0; i < columns; ++i) {
            const unsigned char *e = d + at + std::size_t(i) * l->columnEntryBytes;
            ColumnEntry c;
            c.code = e[l->columnType];
            c.number = get16(e + l->columnNumber);
            c.varIndex = get16(e + l->columnVarIndex);
            c.flags = e[l->columnFlags];
            c.extraFlags = l->columnExtraFlags == jet::layout::kNone ? 0 : e[l->columnExtraFlags];
            c.fixedOffset = get16(e + l->columnFixedOffset);
            c.length = get16(e + l->columnLength);
            c.precision = e[l->columnPrecision];
            c.scale = e[l->columnPrecision + 1];
            t.columns.push_back(c);
        }
        at += std::size_t(columns) * l->columnEntryBytes;
        const auto toUtf8 = l->textUnitBytes == 1 ? jet::codec::decodeWesternText : jet::codec::decodeText;
        for (ColumnEntry &c : t.columns) {
            need(l->columnNameLengthBytes);
            const std::size_t length = l->columnNameLengthBytes == 1 ? d[at] : get16(d + at);
            at += l->columnNameLengthBytes;
            need(length);
            toUtf8(d + at, length, c.name);
            at += length;
        }
        std::stable_sort(t.columns.begin(), t.columns.end(),
                         [](const ColumnEntry &a, const ColumnEntry &b) { return a.number < b.number; });
        return t;
    }

    /// Where each column's value lies in a row, or that it is Null: the row's null mask, its
    /// table of variable-length offsets (with Jet 3's jumps past each 256 bytes) and the
    /// fixed places, each checked against the row's bounds. `fields` gets one per column.
    template <typename What>
    void crackRow(const RowSpan &r, const TableDefinition &t, std::vector<Field> &fields,
                  std::vector<unsigned> &offsets, const What &place) const
    {
        const auto bad = [&] { damaged(placeText(place) + " cannot be taken apart"); };
        const unsigned char *row = r.page + r.start;
        const unsigned size = r.size, countBytes = l->rowColumnCountBytes;
        const unsigned count = countBytes == 1 ? row[0] : get16(row);
        const unsigned mask = (count + 7) / 8;
        const std::vector<ColumnEntry> &columns = t.columns;
        // A table without variable-length columns keeps no table of their offsets.
        const bool hasVars = t.varColumns != 0;
        if (size < countBytes + mask + (hasVars ? countBytes : 0))
            bad();
        const unsigned char *nulls = row + size - mask;
        const unsigned varCountAt = size - mask - (hasVars ? countBytes : 0);
        unsigned vars = 0;
        offsets.clear();
        if (hasVars) {
            vars = countBytes == 1 ? row[varCountAt] : get16(row + varCountAt);
            if (countBytes == 2) {
                if (std::size_t(vars + 1) * 2 > varCountAt)
                    bad();
                for (unsigned i = 0; i <= vars; ++i)
                    offsets.push_back(get16(row + varCountAt - 2 * (i + 1)));
            } else {
                unsigned jumps = (size - 1) / 256;
                if (jumps + vars + 1 > varCountAt)
                    bad();
                const unsigned first = varCountAt - jumps - 1;  // the first column's offset byte
                // The last jump may stand for no boundary the offsets cross.
                if ((first - vars) / 256 < jumps)
                    --jumps;
                for (unsigned i = 0, used = 0; i <= vars; ++i) {
                    while (used < jumps && row[varCountAt - used - 1] == i)
                        ++used;
                    offsets.push_back(row[first - i] + 256 * used);
                }
            }
        }
        const unsigned dataEnd = hasVars ? varCountAt - (countBytes == 2 ? 2 * (vars + 1) : vars + 1) : varCountAt;
        fields.resize(columns.size());
        for (std::size_t i = 0; i < columns.size(); ++i) {
            const ColumnEntry &c = columns[i];
            Field &f = fields[i];
            f = Field{};
            f.isNull = c.number >= count || !(nulls[c.number / 8] & (1u << (c.number % 8)));
            if (c.flags & jet::layout::Fixed) {
                if (c.number >= count)
                    continue;
                f.start = countBytes + c.fixedOffset;
                f.size = c.length;
            } else {
                if (c.varIndex >= vars) {
                    f.isNull = true;
                    continue;
                }
                f.start = offsets[c.varIndex];
                const unsigned end = offsets[c.varIndex + 1];
                if (end < f.start) {
                    if (!f.isNull)
                        bad();
                    continue;
                }
                f.size = end - f.start;
            }
            if (!f.isNull && (f.start < countBytes || std::size_t(f.start) + f.size > dataEnd))
                damaged(placeText(place) + ": the value of column '" + c.name + "' lies outside the row");
            f.start += r.start;
        }
    }

    /// What the library does not say of a table's columns: the columns of its primary key, in
    /// key order, and the calculated columns, each as the number its column entry gives it.
    /// The index part of the definition is walked here and never by the library: every
    /// count, length and number is checked against the definition's own size before it is
    /// used.
    struct DefinitionFacts {
        std::vector<unsigned> key;  ///< empty when the table has none
        std::vector<unsigned> calculated;
    };
    DefinitionFacts definitionFacts(std::uint32_t pg, const std::string &table) const
    {
        DefinitionFacts facts;
        const std::string what = "the index definitions of table '" + table + "'";
        const std::string def = definitionBytes(pg, what);
        const auto *d = reinterpret_cast<const unsigned char *>(def.data());
        const jet::layout::IndexLayout &il = jet::layout::indexLayoutFor(*l);
        const std::uint32_t logical = get32(d + l->tdefIndexCount), real = get32(d + l->tdefRealIndexCount);
        if (logical > kMaxIndexes || real > kMaxIndexes)
            damaged(what + " declare " + std::to_string(logical) + " indexes over " + std::to_string(real) +
                    " real ones, more than a table can have");
        const unsigned columns = get16(d + l->tdefColumnCount);
        std::size_t at = l->tdefHeaderEnd + std::size_t(real) * il.rowCountEntryBytes;
        const auto need = [&](std::size_t bytes, const char *part) {
            if (at + bytes > def.size())
                damaged(what + ": the " + part + " run past the end of the definition");
        };
        need(std::size_t(columns) * l->columnEntryBytes, "column entries");
        std::vector<unsigned> numbers;
        for (unsigned i = 0; i < columns; ++i) {
            const unsigned char *entry = d + at + i * l->columnEntryBytes;
            numbers.push_back(get16(entry + l->columnNumber));
            if (l->columnExtraFlags != jet::layout::kNone && (entry[l->columnExtraFlags] & jet::kCalculatedFlags))
                facts.calculated.push_back(numbers.back());
        }
        at += std::size_t(columns) * l->columnEntryBytes;
        if (logical == 0)
            return facts;
        for (unsigned i = 0; i < columns; ++i) {
            need(l->columnNameLengthBytes, "column names");
            const std::size_t length = l->columnNameLengthBytes == 1 ? d[at] : get16(d + at);
            at += l->columnNameLengthBytes;
            need(length, "column names");
            at += length;
        }
        const std::size_t realAt = at;
        need(std::size_t(real) * il.realIndexBytes, "real indexes");
        at += std::size_t(real) * il.realIndexBytes;
        need(std::size_t(logical) * il.logicalIndexBytes, "logical indexes");
        for (std::uint32_t i = 0; i < logical; ++i) {
            const unsigned char *entry = d + at + std::size_t(i) * il.logicalIndexBytes;
            if (entry[il.logicalIndexType] != jet::layout::kPrimaryKeyType)
                continue;
            const std::uint32_t backing = get32(entry + il.logicalRealIndex);
            if (backing >= real)
                damaged(what + ": the primary key names real index " + std::to_string(backing) + " of " +
                        std::to_string(real));
            std::vector<unsigned> key;
            const unsigned char *r = d + realAt + std::size_t(backing) * il.realIndexBytes + il.realIndexColumns;
            for (unsigned slot = 0; slot < jet::layout::kMaxKeyColumns; ++slot) {
                const std::uint16_t number = get16(r + 3 * slot);
                if (number == jet::layout::kUnusedColumnSlot)
                    continue;
                if (std::find(numbers.begin(), numbers.end(), number) == numbers.end() ||
                    std::find(key.begin(), key.end(), number) != key.end())
                    damaged(what + ": the primary key names column number " + std::to_string(number) +
                            ", which the table does not have once");
                key.push_back(number);
            }
            if (key.empty())
                damaged(what + ": the primary key has no columns");
            facts.key = std::move(key);
            return facts;
        }
        return facts;
    }

    /// The bounds of row `row` on data page `pg`, checked against the page's offset table.
    /// A scan passes over deleted rows unchecked; a row that something points to is
    /// always checked (an overflow row's data is flagged deleted so scans skip it).
    template <typename What>
    RowSpan row(std::uint32_t pg, unsigned rowIndex, const What &place, bool pointedTo = false) const
    {
        const auto what = [&] { return placeText(place); };
        const unsigned char *p = pg < pageCount ? base + std::size_t(pg) * pageSize : page(pg, what());
        if (p[0] != PageKind::Data)
            damaged(what() + " points to " + pageText(pg) + ", which is not a data page");
        const unsigned count = get16(p + l->dataRowCount);
        const unsigned tableEnd = l->dataRowOffsets + 2 * count;
        if (tableEnd > pageSize)
            damaged(pageText(pg) + " claims " + std::to_string(count) + " rows");
        if (rowIndex >= count)
            damaged(what() + " points to row " + std::to_string(rowIndex) + " of " + pageText(pg) +
                    ", which holds " + std::to_string(count) + " rows");
        const std::uint16_t raw = get16(p + l->dataRowOffsets + 2 * rowIndex);
        const unsigned start = raw & kRowOffsetMask;
        const unsigned end = rowIndex == 0 ? pageSize : (get16(p + l->dataRowOffsets + 2 * (rowIndex - 1)) & kRowOffsetMask);
        RowSpan span;
        span.page = p;
        span.pageNumber = pg;
        span.flags = raw & ~kRowOffsetMask;
        if ((pointedTo || !(span.flags & kRowDeleted)) && (start < tableEnd || start > end || end > pageSize))
            damaged("row " + std::to_string(rowIndex) + " of " + pageText(pg) + " lies outside its page");
        span.start = start;
        span.size = start <= end ? end - start : 0;
        return span;
    }

    template <typename What>
    RowSpan pointedRow(std::uint32_t pgRow, const What &what) const
    {
        return row(pgRow >> 8, pgRow & 0xff, what, true);
    }

    /// Each row of a table, in the order of its data pages, through forward pointers:
    /// `emit(row, place)`. The count the definition declares is only a hint: Access leaves it
    /// behind the rows its pages hold.
    template <typename Emit>
    void scanRows(std::uint32_t tdefPage, const std::string &name, const Emit &emit) const
    {
        const std::string where = "table '" + name + "'";
        const std::vector<std::uint32_t> pages = dataPages(tdefPage, name);
        for (std::size_t at = 0; at < pages.size(); ++at) {
            const std::uint32_t pg = pages[at];
            const unsigned char *p = page(pg, where);
            // The next page into the cache while this one is read: rows lie from a page's end
            // back, which the processor's own prefetching does not follow.
            if (at + 1 < pages.size() && pages[at + 1] < pageCount)
                for (std::size_t line = 0; line < pageSize; line += 64)
                    __builtin_prefetch(base + std::size_t(pages[at + 1]) * pageSize + line);
            if (p[0] != PageKind::Data || get32(p + 4) != tdefPage)
                damaged("the usage map of " + where + " names " + pageText(pg) + ", which is not one of its data pages");
            const unsigned count = get16(p + l->dataRowCount);
            for (unsigned i = 0; i < count; ++i) {
                const auto rw = [&] { return "row " + std::to_string(i) + " of " + pageText(pg) + " in " + where; };
                RowSpan r = row(pg, i, rw);
                if (r.flags & kRowDeleted)
                    continue;
                if (r.flags & kRowLookup) {
                    if (r.size < 4)
                        damaged(rw() + " is a forward pointer cut short");
                    // The row moved to another page when it grew; its data there is flagged
                    // deleted and overflow, so the scan meets it only through this pointer.
                    r = pointedRow(get32(r.page + r.start), rw);
                    if (get32(r.page + 4) != tdefPage)
                        damaged(rw() + " forwards to a row that is not one of the table's");
                }
                emit(r, rw);
            }
        }
    }

    /// The user's tables as the catalog names them (objects of the table type, neither the
    /// engine's own nor hidden), with their definition pages.
    struct CatalogTable {
        std::string name;
        std::uint32_t page = 0;
        std::string properties;  ///< the table's property block (LvProp), empty where it has none
    };
    std::vector<CatalogTable> tables;
    void readCatalog(std::vector<std::string> &user)
    {
        const std::string name = jet::layout::kCatalogName;
        const TableDefinition t = tableDefinition(jet::layout::kCatalogTableDefPage, name);
        const auto column = [&](const char *wanted, jet::StoredType type) {
            for (unsigned i = 0; i < t.columns.size(); ++i)
                if (t.columns[i].name == wanted) {
                    const jet::StoredTypeInfo *stored = jet::storedTypeOfCode(t.columns[i].code);
                    if (!stored || stored->type != type)
                        break;
                    return i;
                }
            damaged("its catalog cannot be read");
        };
        const unsigned id = column("Id", Type::Long), objectName = column("Name", Type::Text),
                       type = column("Type", Type::Int), flags = column("Flags", Type::Long);
        unsigned properties = unsigned(t.columns.size());
        for (unsigned i = 0; i < t.columns.size(); ++i)
            if (t.columns[i].name == "LvProp" && t.columns[i].code == jet::info(Type::Ole).code)
                properties = i;
        std::string chain;
        std::vector<Field> fields;
        std::vector<unsigned> offsets;
        std::string text;
        const auto toUtf8 = l->textUnitBytes == 1 ? jet::codec::decodeWesternText : jet::codec::decodeText;
        const auto fixed = [&](const Field &f, unsigned size, const RowSpan &r) {
            return f.isNull || f.size != size ? nullptr : r.page + f.start;
        };
        scanRows(jet::layout::kCatalogTableDefPage, name, [&](const RowSpan &r, const auto &rw) {
            crackRow(r, t, fields, offsets, rw);
            const unsigned char *kind = fixed(fields[type], 2, r), *objectId = fixed(fields[id], 4, r);
            if (!kind || !objectId || get16(kind) != jet::layout::TableObject)
                return;
            const Field &n = fields[objectName];
            if (n.isNull)
                damaged("the name of a table in its catalog is empty");
            toUtf8(r.page + n.start, n.size, text);
            if (const std::string fault = nameFault(text.c_str()); !fault.empty())
                damaged("the name of a table in its catalog " + fault);
            const unsigned char *f = fixed(fields[flags], 4, r);
            const std::uint32_t objectFlags = f ? get32(f) : 0;
            // System (0x80000000) and hidden (0x2) tables are not the user's.
            if (objectFlags & 0x80000002u)
                return;
            CatalogTable table{text, get32(objectId) & jet::layout::kObjectIdPageMask, {}};
            if (properties < fields.size() && !fields[properties].isNull) {
                const Field &p = fields[properties];
                table.properties = longValue(r.page + p.start, p.size, rw, chain, "property block");
            }
            tables.push_back(std::move(table));
            user.push_back(text);
        });
    }

    /// Checks a table definition before it is read: the page kind, the chain of
    /// continuation pages, the column count, and the usage-map and free-map rows.
    void checkTableDef(std::uint32_t pg, const std::string &table) const
    {
        const std::string what = "the definition of table '" + table + "'";
        const unsigned char *p = page(pg, what);
        if (p[0] != PageKind::TableDef)
            damaged(what + " (" + pageText(pg) + ") is not a table definition page");
        std::unordered_set<std::uint32_t> seen{pg};
        for (std::uint32_t next = get32(p + jet::layout::kTdefNextPage); next != 0;) {
            const unsigned char *q = page(next, what);
            if (q[0] != PageKind::TableDef || !seen.insert(next).second || seen.size() > kMaxTdefPages)
                damaged(what + " continues on " + pageText(next) + ", which is not a further definition page");
            next = get32(q + jet::layout::kTdefNextPage);
        }
        const unsigned columns = get16(p + l->tdefColumnCount);
        if (columns == 0 || columns > kMaxColumns)
            damaged(what + " declares " + std::to_string(columns) + " columns");
        const RowSpan usage = pointedRow(get32(p + l->tdefUsageMap), "the usage map of table '" + table + "'");
        if ((usage.flags & kRowDeleted) || usage.size < 5)
            damaged("the usage map of table '" + table + "' is an empty row");
        if (usage.page[usage.start] > 1)
            damaged("the usage map of table '" + table + "' has an unknown kind");
        const RowSpan freeMap = pointedRow(get32(p + l->tdefFreeMap), "the free-space map of table '" + table + "'");
        if ((freeMap.flags & kRowDeleted) || freeMap.size < 1)
            damaged("the free-space map of table '" + table + "' is an empty row");
    }

    /// The table's data pages, in page order, from its usage map.
    std::vector<std::uint32_t> dataPages(std::uint32_t tdefPage, const std::string &table) const
    {
        const unsigned char *p = page(tdefPage, table);
        const std::string what = "the usage map of table '" + table + "'";
        const RowSpan usage = pointedRow(get32(p + l->tdefUsageMap), what);
        const unsigned char *map = usage.page + usage.start;
        std::vector<std::uint32_t> pages;
        auto take = [&](std::uint64_t pg) {
            if (pg >= pageCount)
                damaged(what + " names " + pageText(std::uint32_t(std::min<std::uint64_t>(pg, 0xffffffffu))) +
                        ", past the end of the file");
            pages.push_back(std::uint32_t(pg));
        };
        if (map[0] == 0) {
            const std::uint32_t first = get32(map + 1);
            for (unsigned i = 5; i < usage.size; ++i)
                for (unsigned bit = 0; bit < 8; ++bit)
                    if (map[i] & (1u << bit))
                        take(std::uint64_t(first) + (i - 5) * 8 + bit);
        } else {
            const std::uint32_t mapPageBits = (pageSize - l->mapPageHeader) * 8;
            for (unsigned i = 1, index = 0; i + 4 <= usage.size; i += 4, ++index) {
                const std::uint32_t mapPage = get32(map + i);
                if (mapPage == 0)
                    continue;
                const unsigned char *m = page(mapPage, what);
                if (m[0] != PageKind::UsageMap)
                    damaged(what + " points to " + pageText(mapPage) + ", which is not a map page");
                for (unsigned byte = l->mapPageHeader; byte < pageSize; ++byte)
                    if (m[byte])
                        for (unsigned bit = 0; bit < 8; ++bit)
                            if (m[byte] & (1u << bit))
                                take(std::uint64_t(index) * mapPageBits + (byte - l->mapPageHeader) * 8 + bit);
            }
        }
        return pages;
    }

    /// The bytes of a long value (memo or OLE object), from its 12-byte header and the
    /// long-value rows it points to: at most the declared length, each row used once. A value
    /// kept in one piece is viewed where it lies; a chain is joined in `chain`. The place is
    /// put into words only once something is found wrong there.
    template <typename Where>
    std::string_view longValue(const unsigned char *field, unsigned size, const Where &place,
                               std::string &chain, const char *noun) const
    {
        const auto where = [&] { return placeText(place); };
        const auto value = [&] { return where() + ": the " + noun; };
        if (size < l->longValueHeader)
            damaged(value() + " header is cut short");
        const std::uint32_t header = get32(field);
        const std::uint32_t declared = header & l->longValueLengthMask;
        const std::uint32_t kind = header & ~l->longValueLengthMask;
        if (kind == l->longValueInline) {
            if (declared > size - l->longValueHeader)
                damaged(value() + " is longer than its row");
            return std::string_view(reinterpret_cast<const char *>(field + l->longValueHeader), declared);
        }
        const std::uint32_t first = get32(field + 4);
        if (kind == l->longValueSingle) {
            const RowSpan r = pointedRow(first, value);
            if ((r.flags & kRowDeleted) || declared > r.size)
                damaged(value() + "'s long-value row is missing or too short");
            return std::string_view(reinterpret_cast<const char *>(r.page + r.start), declared);
        }
        if (kind != 0)
            damaged(value() + " header has an unknown kind");
        std::string &bytes = chain;
        bytes.clear();
        std::unordered_set<std::uint32_t> visited;
        std::uint32_t link = first;
        while (true) {
            if (!visited.insert(link).second)
                damaged(value() + "'s chain of long-value rows loops back on itself");
            const RowSpan r = pointedRow(link, value);
            if ((r.flags & kRowDeleted) || r.size < 4)
                damaged(where() + ": a long-value row of the " + noun + " is missing or empty");
            const unsigned chunk = r.size - 4;
            if (bytes.size() + chunk > declared)
                damaged(value() + "'s chain is longer than its declared length");
            bytes.append(reinterpret_cast<const char *>(r.page + r.start + 4), chunk);
            link = get32(r.page + r.start);
            if (link == 0)
                break;
            if (bytes.size() == declared)
                damaged(value() + "'s chain goes on past its declared length");
        }
        if (bytes.size() != declared)
            damaged(value() + "'s chain ends before its declared length");
        return bytes;
    }
};


GuardedFile::GuardedFile(const std::string &path, const std::function<void(int fd)> &beforeParse) : d(new Impl)
{
    try {
        d->path = path;
        d->mapFile();
        if (beforeParse) {
#ifdef _WIN32
            beforeParse(-1);
#else
            beforeParse(d->fd);
#endif
        }
        d->l = &checkFormat(d->base, d->size);
        d->pageSize = d->l->pageSize;
        if (d->size % d->pageSize != 0)
            damaged("its size (" + std::to_string(d->size) + " bytes) is not a whole number of " +
                    std::to_string(d->pageSize) + "-byte pages");
        if (d->size / d->pageSize > 0xffffffu)
            damaged("it is larger than a database of its format can be");
        d->pageCount = std::uint32_t(d->size / d->pageSize);
        d->checkTableDef(jet::layout::kCatalogTableDefPage, "MSysObjects");
        checkPassword(d->base, *d->l);

        d->readCatalog(m_userTables);
    } catch (...) {
        delete d;
        throw;
    }
}

GuardedFile::~GuardedFile() { delete d; }

std::uint32_t GuardedFile::readTable(const std::string &name, TableWriter &writer)
{
    const auto entry = std::find_if(d->tables.begin(), d->tables.end(), [&](const auto &t) { return t.name == name; });
    if (entry == d->tables.end())
        throw Refusal(Fault::NoSuchTable, "no table '" + name + "'");
    const std::string where = "table '" + name + "'";
    const std::uint32_t tdefPage = entry->page;
    d->checkTableDef(tdefPage, name);
    const Impl::TableDefinition table = d->tableDefinition(tdefPage, name);
    for (unsigned i = 0; i < table.columns.size(); ++i)
        if (const std::string fault = nameFault(table.columns[i].name.c_str()); !fault.empty())
            damaged("the name of column " + std::to_string(i + 1) + " of " + where + " " + fault);

    const Impl::DefinitionFacts facts = d->definitionFacts(tdefPage, name);
    // Access keeps the type of what it computes in the column's ResultType property; the
    // column entry's own type byte may be another (a Double for a currency, an Integer for a
    // Yes/No, a Text of no length for a memo).
    std::vector<std::pair<std::string, unsigned>> resultTypes;
    if (d->l->textUnitBytes == 2) {
        static const std::string kResultType("R\0e\0s\0u\0l\0t\0T\0y\0p\0e\0", 20);
        std::string column;
        for (const jet::properties::Property &p : jet::properties::columnProperties(entry->properties))
            if (p.name == kResultType && p.value.size() == 1) {
                jet::codec::decodeText(reinterpret_cast<const unsigned char *>(p.column.data()), p.column.size(), column);
                resultTypes.emplace_back(column, static_cast<unsigned char>(p.value[0]));
            }
    }
    std::vector<jet::Column> infos;
    std::vector<unsigned> source;  // the column entry (and cracked field) behind each one sent
    std::vector<bool> fixedPlace;  // a value kept in the fixed part of the row
    for (unsigned i = 0; i < table.columns.size(); ++i) {
        const ColumnEntry *col = &table.columns[i];
        const std::string cw = "column '" + col->name + "' of " + where;
        const bool isFixed = col->flags & jet::layout::Fixed;
        const int size = int(col->length);
        const bool calculated = std::find(facts.calculated.begin(), facts.calculated.end(), col->number) !=
                                facts.calculated.end();
        unsigned code = col->code;
        if (calculated)
            for (const auto &[column, result] : resultTypes)
                if (column == col->name && jet::storedTypeOfCode(result))
                    code = result;
        const jet::StoredTypeInfo *stored = jet::storedTypeOfCode(code);
        if (!stored) {
            // A column the program cannot show costs that column alone, never the table.
            jet::Column info{col->name, code == jet::kComplexCode && isFixed && size == 4 ? Type::Long : Type::Binary};
            info.unshown = true;
            info.storedCode = std::uint8_t(code);
            infos.push_back(std::move(info));
            source.push_back(i);
            fixedPlace.push_back(isFixed);
            continue;
        }
        const Type type = stored->type;
        if (col->number >= kMaxColumns)
            damaged(cw + " has a bad column number");
        // A value of a set size may lie in the fixed or the variable part of the row (Jet
        // writers differ on decimals); text and binary values are fixed in CHAR(n) and
        // BINARY(n) columns. A Yes/No value is a bit of the null mask, so it is "fixed".
        const bool longValue = stored->longValue;
        // Access keeps a calculated value among the variable ones, whatever its type, with
        // its wrapping counted in the declared length. A decimal's stored length is its row's
        // business: Access declares other lengths than the one it stores.
        bool fits;
        if (calculated)
            fits = !isFixed && size <= int(d->pageSize) &&
                   (longValue || type != Type::Text || size >= int(jet::codec::kCalculatedExtra));
        else if (type == Type::Numeric)
            fits = size > 0 && size <= int(d->pageSize);
        else if (stored->fixedSize != jet::kVariableSize)
            fits = stored->fixedSize == 0 ? isFixed : size == stored->fixedSize;
        else
            fits = !(longValue && isFixed) && size <= int(d->pageSize) && (!isFixed || size > 0);
        if (!fits || (isFixed && col->fixedOffset >= d->pageSize))
            damaged(cw + " has a size or place that does not fit its type");
        jet::Column info{col->name, type, 0, type == Type::Long && (col->flags & jet::layout::AutoLong) != 0};
        info.calculated = calculated;
        if (type == Type::Text)
            info.length = (size - (calculated ? int(jet::codec::kCalculatedExtra) : 0)) / int(d->l->textUnitBytes);
        else if (type == Type::Binary)
            info.length = size;
        if (type == Type::Numeric && calculated) {
            // Each calculated decimal keeps its own scale; the definition holds none.
            info.precision = jet::kMaxDecimalPrecision;
        } else if (type == Type::Numeric) {
            const int precision = int(col->precision), scale = int(col->scale);
            if (precision < 1 || precision > jet::kMaxDecimalPrecision || scale < 0 || scale > precision)
                damaged(cw + " declares a precision or scale a decimal cannot have");
            info.precision = precision;
            info.scale = scale;
        }
        infos.push_back(std::move(info));
        source.push_back(i);
        fixedPlace.push_back(isFixed);
    }
    const std::vector<unsigned> &key = facts.key;
    for (unsigned position = 0; position < key.size(); ++position)
        for (unsigned i = 0; i < infos.size(); ++i)
            if (table.columns[source[i]].number == key[position])
                infos[i].keyPosition = int(position + 1);
    const std::uint32_t expected = table.rows;
    writer.columns(infos, expected);

    std::uint32_t rowsRead = 0;
    std::vector<Field> fields;
    std::vector<unsigned> offsets;
    std::string text, chain;
    const auto toUtf8 = d->l->textUnitBytes == 1 ? jet::codec::decodeWesternText : jet::codec::decodeText;

    auto emitRow = [&](const RowSpan &r, const auto &rowPlace) {
        const auto rw = [&] { return rowPlace(); };
        if (r.size < 3)
            damaged(rw() + " is too short");
        d->crackRow(r, table, fields, offsets, rw);
        for (unsigned i = 0; i < infos.size(); ++i) {
            const Field &f = fields[source[i]];
            const Type type = infos[i].type;
            if (infos[i].unshown) {
                // The key of an attachment or multi-valued field; nothing of a type not known.
                if (type == Type::Long && !f.isNull && f.size == 4)
                    writer.integerCell(std::int64_t(get32(r.page + f.start)));
                else
                    writer.nullCell();
                continue;
            }
            if (type == Type::Boolean && !infos[i].calculated) {
                writer.integerCell(f.isNull ? 0 : 1);  // a Yes/No value is its null-mask bit
                continue;
            }
            if (f.isNull) {
                writer.nullCell();
                continue;
            }
            const unsigned char *v = r.page + f.start;
            unsigned sz = f.size;
            const auto column = [&] { return rw() + ", column '" + infos[i].name + "'"; };
            const auto unwrap = [&](std::string_view wrapped) {
                std::string_view inner;
                if (!jet::codec::unwrapCalculated(wrapped, inner))
                    damaged(column() + ": the calculated value runs past its bytes");
                return inner;
            };
            if (infos[i].calculated && type != Type::Memo) {
                const std::string_view inner = unwrap({reinterpret_cast<const char *>(v), sz});
                v = reinterpret_cast<const unsigned char *>(inner.data());
                sz = unsigned(inner.size());
                // Access leaves a value it could not compute empty.
                if (sz == 0 && type != Type::Text) {
                    writer.nullCell();
                    continue;
                }
            }
            auto needSize = [&](unsigned n) {
                if (sz != n)
                    damaged(rw() + ": the value of column '" + infos[i].name + "' has the wrong size");
            };
            switch (type) {
            case Type::Byte: needSize(1); writer.integerCell(v[0]); break;
            case Type::Int: needSize(2); writer.integerCell(std::int16_t(get16(v))); break;
            case Type::Long: needSize(4); writer.integerCell(std::int32_t(get32(v))); break;
            case Type::Money: needSize(8); writer.integerCell(std::int64_t(jet::le::get64(v))); break;
            case Type::Float: {
                needSize(4);
                const float value = jet::le::floatOf(get32(v));
                if (jet::protocol::keepsReal(value, false))
                    writer.realCell(value);
                else
                    writer.nullCell();
                break;
            }
            case Type::Double:
            case Type::Date: {
                needSize(8);
                const double value = jet::le::doubleOf(jet::le::get64(v));
                if (jet::protocol::keepsReal(value, type == Type::Date))
                    writer.realCell(value);
                else
                    writer.nullCell();
                break;
            }
            case Type::BigInt: needSize(8); writer.integerCell(std::int64_t(jet::le::get64(v))); break;
            case Type::DateTimeExt:
                needSize(jet::codec::kExtendedDateSize);
                if (!jet::codec::decodeExtendedDate(v, text))
                    damaged(column() + ": the value is not a date and time of years 1 to 9999");
                writer.textCell(text);
                break;
            case Type::Numeric:
                if (infos[i].calculated) {
                    if (!jet::codec::decodeCalculatedDecimal({reinterpret_cast<const char *>(v), sz}, text))
                        damaged(column() + ": the calculated decimal has a form that cannot be read");
                    writer.textCell(text);
                    break;
                }
                needSize(jet::codec::kDecimalSize);
                jet::codec::decodeDecimal(v, unsigned(infos[i].scale), text);
                writer.textCell(text);
                break;
            case Type::Guid:
                needSize(jet::codec::kGuidSize);
                jet::codec::decodeGuid(v, text);
                writer.textCell(text);
                break;
            case Type::Text:
                toUtf8(v, sz, text);
                if (fixedPlace[i]) {
                    // A fixed-length value fills its whole width; NUL padding is not text.
                    while (!text.empty() && text.back() == '\0')
                        text.pop_back();
                }
                writer.textCell(text);
                break;
            case Type::Binary:
                text.assign(reinterpret_cast<const char *>(v), sz);
                writer.bytesCell(text);
                break;
            case Type::Memo: {
                std::string_view bytes = d->longValue(v, sz, column, chain, "memo");
                if (infos[i].calculated)
                    bytes = unwrap(bytes);
                toUtf8(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size(), text);
                writer.textCell(text);
                break;
            }
            case Type::Ole: {
                const std::string_view bytes = d->longValue(v, sz, column, chain, "OLE object");
                text.assign(bytes);
                writer.bytesCell(text);
                break;
            }
            case Type::Boolean:  // calculated: one byte, not zero for Yes
                needSize(1);
                writer.integerCell(v[0] != 0 ? 1 : 0);
                break;
            case Type::Count:
                break;
            }
        }
        writer.endRow();
        ++rowsRead;
    };

    d->scanRows(tdefPage, name, emitRow);

    return rowsRead;
}

}  // namespace reader
