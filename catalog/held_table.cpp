#include "catalog/held_table.h"

#include "catalog/jet_text.h"
#include "catalog/keyed_sort.h"
#include "jet/protocol.h"

#include <sqlite3.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <tuple>
#include <future>
#include <new>

namespace held {

namespace {

constexpr std::size_t kBlockBytes = 16u << 20;
using jet::kMoneyScale;
constexpr std::size_t kCopyAhead = 16;  // rows whose memory is asked for before they are copied

}  // namespace

HeldRows::Kind HeldRows::kindOf(jet::StoredType type)
{
    switch (type) {
    case jet::StoredType::Double:
    case jet::StoredType::Float:
    case jet::StoredType::Date: return Real;
    case jet::StoredType::Long:
    case jet::StoredType::Int:
    case jet::StoredType::Byte:
    case jet::StoredType::Boolean: return Integer32;
    default: return jet::isTextual(type) ? Text : Integer;
    }
}

char *HeldRows::reserve(std::size_t size)
{
    if (m_blocks.empty() || m_used + size > m_blockSize) {
        m_blockSize = std::max(kBlockBytes, size);
        m_blocks.push_back(std::make_unique_for_overwrite<char[]>(m_blockSize));
        m_used = 0;
    }
    char *at = m_blocks.back().get() + m_used;
    m_used += size;
    return at;
}

namespace {

// A cell's first byte: its kind, and for a text whether its length takes four bytes (one
// otherwise) and whether it holds a zero byte of its own.
constexpr char kKindBits = 0x07;
constexpr char kLongText = 0x08;
constexpr char kZeroInside = 0x10;
constexpr std::uint8_t kShortTextLimit = 0xff;

std::size_t cellSize(const jet::Cell &cell, HeldRows::Kind kind)
{
    if (cell.isNull)
        return 1;
    switch (kind) {
    case HeldRows::Text: return 1 + (cell.text.size() < kShortTextLimit ? 1 : 4) + cell.text.size() + 1;
    case HeldRows::Integer32:
        return 1 + (cell.integer == std::int64_t(std::int32_t(cell.integer)) ? 4 : 8);
    default: return 1 + 8;
    }
}

/// Reads the cell at `at` into `cell`; returns where the next one begins. `lead` gets its
/// first byte.
const char *readCell(const char *at, jet::Cell &cell, char &lead)
{
    cell = jet::Cell{};
    lead = *at++;
    switch (HeldRows::Kind(lead & kKindBits)) {
    case HeldRows::Null: return at;
    case HeldRows::Text: {
        std::uint32_t length = std::uint8_t(*at++);
        if (lead & kLongText) {
            --at;
            std::memcpy(&length, at, sizeof length);
            at += sizeof length;
        }
        cell.text = std::string_view(at, length);
        at += length + 1;
        break;
    }
    case HeldRows::Integer32: {
        std::int32_t value = 0;
        std::memcpy(&value, at, sizeof value);
        cell.integer = value;
        at += sizeof value;
        break;
    }
    case HeldRows::Real: std::memcpy(&cell.real, at, 8); at += 8; break;
    default: std::memcpy(&cell.integer, at, 8); at += 8; break;
    }
    cell.isNull = false;
    return at;
}

}  // namespace

void HeldRows::add(const std::vector<jet::Cell> &cells, const std::vector<Kind> &kinds, std::size_t keyColumn)
{
    std::size_t size = 0;
    for (std::size_t i = 0; i < cells.size(); ++i)
        size += cellSize(cells[i], kinds[i]);
    char *at = reserve(size);
    m_rows.push_back(at);
    m_sizes.push_back(std::uint32_t(size));
    m_keyColumn = keyColumn;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const jet::Cell &cell = cells[i];
        Kind kind = cell.isNull ? Null : kinds[i];
        if (kind == Integer32 && cell.integer != std::int64_t(std::int32_t(cell.integer)))
            kind = Integer;
        char lead = kind;
        if (kind == Text) {
            const auto length = std::uint32_t(cell.text.size());
            lead |= char(length < kShortTextLimit ? 0 : kLongText)
                | char(std::memchr(cell.text.data(), 0, length) ? kZeroInside : 0);
            *at++ = lead;
            if (length < kShortTextLimit) {
                *at++ = char(length);
            } else {
                std::memcpy(at, &length, sizeof length);
                at += sizeof length;
            }
            if (i == keyColumn)
                m_keys.push_back(std::string_view(at, length));
            if (length)
                std::memcpy(at, cell.text.data(), length);
            at += length;
            *at++ = 0;
            continue;
        }
        *at++ = lead;
        if (kind == Integer32) {
            const auto value = std::int32_t(cell.integer);
            std::memcpy(at, &value, sizeof value);
            at += sizeof value;
        } else if (kind != Null) {
            std::memcpy(at, kind == Real ? static_cast<const void *>(&cell.real) : &cell.integer, 8);
            at += 8;
        }
        if (i == keyColumn)
            m_keys.push_back(std::string_view());
    }
    const jet::Cell &key = cells[keyColumn];
    m_nulls.push_back(key.isNull);
    m_ascii = m_ascii && (key.isNull || jettext::isAscii(key.text));
}

void HeldRows::cells(std::size_t row, std::vector<jet::Cell> &cells, std::vector<char> *cString, std::size_t count) const
{
    const char *at = m_rows[row];
    char lead = 0;
    for (std::size_t i = 0; i < std::min(count, cells.size()); ++i) {
        at = readCell(at, cells[i], lead);
        if (cString)
            (*cString)[i] = !(lead & kZeroInside);
    }
}

std::optional<std::string_view> HeldRows::key(std::size_t row) const
{
    const char *at = m_rows[row];
    jet::Cell cell;
    char lead = 0;
    for (std::size_t i = 0; i <= m_keyColumn; ++i)
        at = readCell(at, cell, lead);
    return cell.isNull ? std::nullopt : std::optional(cell.text);
}

void HeldRows::putInOrder()
{
    std::vector<int> order;
    order.reserve(m_rows.size());
    std::vector<keyed_sort::KeyedRow> keyed;
    keyed.reserve(m_rows.size());
    for (std::size_t row = 0; row < m_rows.size(); ++row) {
        if (m_nulls[row]) {
            order.push_back(int(row));
            continue;
        }
        // Prefix keys order only ASCII texts; with any other letter in the column every
        // comparison takes the full rule (a length past the keys).
        const std::string_view key = m_keys[row];
        keyed.push_back({m_ascii ? keyed_sort::asciiPrefix(key, 0) : 0, m_ascii ? keyed_sort::asciiPrefix(key, 8) : 0,
                         int(row), m_ascii ? std::uint32_t(key.size()) : std::uint32_t(-1)});
    }
    keyed_sort::sortKeyed(keyed, false, [this](int a, int b) { return jettext::compare(m_keys[size_t(a)], m_keys[size_t(b)]); });
    for (const keyed_sort::KeyedRow &k : keyed)
        order.push_back(k.row);
    // Packed again in their new order, so that reading them in order reads memory front to
    // back: scattered, each row would be a wait for memory. Each half on its own thread.
    std::vector<const char *> rows(order.size());
    HeldRows halves[2];
    const auto copy = [&](HeldRows &into, std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) {
            if (i + kCopyAhead < end)
                __builtin_prefetch(m_rows[size_t(order[i + kCopyAhead])]);
            const std::size_t from = size_t(order[i]);
            rows[i] = into.reserve(m_sizes[from]);
            std::memcpy(const_cast<char *>(rows[i]), m_rows[from], m_sizes[from]);
        }
    };
    const std::size_t middle = order.size() / 2;
    auto firstHalf = std::async(std::launch::async, [&] { copy(halves[0], 0, middle); });
    copy(halves[1], middle, order.size());
    firstHalf.get();
    m_blocks = std::move(halves[0].m_blocks);
    for (auto &block : halves[1].m_blocks)
        m_blocks.push_back(std::move(block));
    m_rows = std::move(rows);
    // What only the sort needed.
    m_keys = {};
    m_nulls = {};
    m_sizes = {};
}

Value valueOf(jet::StoredType type, const jet::Cell &cell)
{
    Value value;
    if (cell.isNull)
        return value;
    switch (type) {
    case jet::StoredType::Text:
    case jet::StoredType::Memo:
    case jet::StoredType::Guid:
    case jet::StoredType::DateTimeExt: value.kind = Value::Text; value.text = cell.text; break;
    case jet::StoredType::Numeric: {
        const auto [end, error] = std::from_chars(cell.text.data(), cell.text.data() + cell.text.size(), value.real);
        // Digits only, as SQLite reads a number from text: "nan" or "inf" stays text.
        const bool number = error == std::errc() && end == cell.text.data() + cell.text.size()
            && cell.text.find_first_not_of("0123456789+-.eE") == std::string_view::npos;
        value.kind = number ? Value::Real : Value::Text;
        value.text = cell.text;
        break;
    }
    case jet::StoredType::Binary:
    case jet::StoredType::Ole: value.kind = Value::Blob; value.text = cell.text; break;
    case jet::StoredType::Money: value.kind = Value::Real; value.real = double(cell.integer) / double(kMoneyScale); break;
    case jet::StoredType::Double:
    case jet::StoredType::Float:
    case jet::StoredType::Date:
        // As a stored table keeps it: SQLite holds no NaN, and no date Jet cannot hold.
        if (jet::protocol::keepsReal(cell.real, type == jet::StoredType::Date)) {
            value.kind = Value::Real;
            value.real = cell.real;
        }
        break;
    default: value.kind = Value::Integer; value.integer = cell.integer; break;
    }
    return value;
}

std::pair<std::size_t, std::size_t> equalRange(const HeldRows &rows, std::string_view wanted)
{
    // Nulls stand first, then the texts in order: the rows equal to `wanted` are one run.
    const auto order = [&](std::size_t row) {
        const std::optional<std::string_view> key = rows.key(row);
        return key ? jettext::compare(*key, wanted) : -1;
    };
    std::size_t low = 0, high = rows.size();
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        (order(middle) < 0 ? low = middle + 1 : high = middle);
    }
    const std::size_t first = low;
    high = rows.size();
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        (order(middle) <= 0 ? low = middle + 1 : high = middle);
    }
    return {first, low};
}

namespace {

struct Table : sqlite3_vtab {
    const HeldTable *held = nullptr;
};

struct Cursor : sqlite3_vtab_cursor {
    std::size_t at = 0;
    std::size_t end = 0;
    std::size_t decoded = std::size_t(-1);  // the row whose cells are in `cells`
    std::vector<jet::Cell> cells;
    std::vector<char> cString;  // per cell: its text may be handed over as a C string
};

const HeldTable &heldOf(sqlite3_vtab_cursor *cursor)
{
    return *static_cast<Table *>(cursor->pVtab)->held;
}

int connect(sqlite3 *db, void *aux, int argc, const char *const *argv, sqlite3_vtab **out, char **error)
{
    auto *all = static_cast<HeldTables *>(aux);
    const auto found = argc > 2 ? all->tables.find(QString::fromUtf8(argv[2]).toLower()) : all->tables.end();
    if (found == all->tables.end()) {
        *error = sqlite3_mprintf("no held rows for this table");
        return SQLITE_ERROR;
    }
    if (const int rc = sqlite3_declare_vtab(db, found->second->declaration.constData()); rc != SQLITE_OK)
        return rc;
    auto *table = new (std::nothrow) Table{};
    if (!table)
        return SQLITE_NOMEM;
    table->held = found->second.get();
    *out = table;
    return SQLITE_OK;
}

// A function of its own, so that the module is no table by its own name.
int create(sqlite3 *db, void *aux, int argc, const char *const *argv, sqlite3_vtab **out, char **error)
{
    return connect(db, aux, argc, argv, out, error);
}

int disconnect(sqlite3_vtab *table)
{
    delete static_cast<Table *>(table);
    return SQLITE_OK;
}

enum Plan { Scan = 0, KeyEquals = 1 };

int bestIndex(sqlite3_vtab *vtab, sqlite3_index_info *info)
{
    const auto *table = static_cast<Table *>(vtab);
    const int key = table->held->keyColumn;
    const double rows = double(std::max<std::size_t>(table->held->rows.size(), 1));
    info->idxNum = Scan;
    info->estimatedCost = rows;
    info->estimatedRows = sqlite3_int64(rows);
    for (int i = 0; i < info->nConstraint; ++i) {
        const auto &c = info->aConstraint[i];
        // Only an equality under the column's own collation finds the rows it matches in
        // the stored order. SQLite checks the constraint again on every row given.
        if (c.usable && c.iColumn == key && c.op == SQLITE_INDEX_CONSTRAINT_EQ
            && std::strcmp(sqlite3_vtab_collation(info, i), "JET") == 0) {
            info->aConstraintUsage[i].argvIndex = 1;
            info->idxNum = KeyEquals;
            info->estimatedCost = std::log2(rows) + 1;
            info->estimatedRows = 1;
            break;
        }
    }
    // SQLite offers an ORDER BY only under the column's own collation.
    if (info->nOrderBy == 1 && info->aOrderBy[0].iColumn == key && !info->aOrderBy[0].desc)
        info->orderByConsumed = 1;
    return SQLITE_OK;
}

int open(sqlite3_vtab *, sqlite3_vtab_cursor **out)
{
    *out = new (std::nothrow) Cursor{};
    return *out ? SQLITE_OK : SQLITE_NOMEM;
}

int close(sqlite3_vtab_cursor *cursor)
{
    delete static_cast<Cursor *>(cursor);
    return SQLITE_OK;
}

int filter(sqlite3_vtab_cursor *base, int plan, const char *, int argc, sqlite3_value **argv)
{
    auto *cursor = static_cast<Cursor *>(base);
    const HeldRows &rows = heldOf(base).rows;
    try {
        cursor->cells.resize(size_t(heldOf(base).columns.size()));
        cursor->cString.resize(cursor->cells.size());
    } catch (const std::bad_alloc &) {
        return SQLITE_NOMEM;
    }
    cursor->decoded = std::size_t(-1);
    cursor->at = 0;
    cursor->end = rows.size();
    if (plan != KeyEquals || argc < 1)
        return SQLITE_OK;
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        cursor->end = 0;  // nothing equals Null
        return SQLITE_OK;
    }
    const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
    std::tie(cursor->at, cursor->end)
        = equalRange(rows, std::string_view(text ? text : "", size_t(sqlite3_value_bytes(argv[0]))));
    return SQLITE_OK;
}

int next(sqlite3_vtab_cursor *base)
{
    ++static_cast<Cursor *>(base)->at;
    return SQLITE_OK;
}

int eof(sqlite3_vtab_cursor *base)
{
    const auto *cursor = static_cast<Cursor *>(base);
    return cursor->at >= cursor->end;
}

// Each value as the engine's own tables would give it back.
int column(sqlite3_vtab_cursor *base, sqlite3_context *context, int index)
{
    auto *cursor = static_cast<Cursor *>(base);
    const HeldTable &table = heldOf(base);
    if (cursor->decoded != cursor->at) {
        table.rows.cells(cursor->at, cursor->cells, &cursor->cString);
        cursor->decoded = cursor->at;
    }
    const jet::Cell &cell = cursor->cells[size_t(index)];
    if (cell.isNull) {
        sqlite3_result_null(context);
        return SQLITE_OK;
    }
    // Texts stay in the held rows while the table exists, so SQLite need not copy them; given
    // as C strings (a length of -1), SQLite need not copy them to end them with a zero either.
    const Value value = valueOf(table.columns[index].type, cell);
    switch (value.kind) {
    case Value::Null: sqlite3_result_null(context); break;
    case Value::Integer: sqlite3_result_int64(context, value.integer); break;
    case Value::Real: sqlite3_result_double(context, value.real); break;
    case Value::Text:
        sqlite3_result_text(context, value.text.data(), cursor->cString[size_t(index)] ? -1 : int(value.text.size()),
                            SQLITE_STATIC);
        break;
    case Value::Blob:
        sqlite3_result_blob(context, value.text.data(), int(value.text.size()), SQLITE_STATIC);
        break;
    }
    return SQLITE_OK;
}

int rowid(sqlite3_vtab_cursor *base, sqlite3_int64 *out)
{
    *out = sqlite3_int64(static_cast<Cursor *>(base)->at) + 1;
    return SQLITE_OK;
}

sqlite3_module makeModule()
{
    sqlite3_module module{};
    module.xCreate = create;
    module.xConnect = connect;
    module.xBestIndex = bestIndex;
    module.xDisconnect = disconnect;
    module.xDestroy = disconnect;
    module.xOpen = open;
    module.xClose = close;
    module.xFilter = filter;
    module.xNext = next;
    module.xEof = eof;
    module.xColumn = column;
    module.xRowid = rowid;
    return module;
}

const sqlite3_module kModule = makeModule();

// A name no Jet table can have ("." is not allowed in one), so that no announced table's
// module takes its place.
constexpr char kModuleName[] = "quorbix.held";

// An announced table: a module of the table's own name that SQLite reaches, as a table
// named so, only while no table of that name exists; reaching it asks for the table.
struct Announced {
    QString name;
    const std::function<void(const QString &)> *wanted;
};

int ask(sqlite3 *, void *aux, int, const char *const *, sqlite3_vtab **, char **error)
{
    const auto *announced = static_cast<const Announced *>(aux);
    (*announced->wanted)(announced->name);
    *error = sqlite3_mprintf("%s", "the table is read in first");
    return SQLITE_ERROR;
}

void forget(void *aux)
{
    delete static_cast<Announced *>(aux);
}

sqlite3_module makeAnnouncedModule()
{
    sqlite3_module module = makeModule();
    // Equal create and connect: SQLite takes the module for a table of its name.
    module.xCreate = ask;
    module.xConnect = ask;
    return module;
}

const sqlite3_module kAnnouncedModule = makeAnnouncedModule();

}  // namespace

bool registerModule(sqlite3 *db, HeldTables *tables)
{
    return sqlite3_create_module_v2(db, kModuleName, &kModule, tables, nullptr) == SQLITE_OK;
}

bool announce(sqlite3 *db, const QString &name, const std::function<void(const QString &)> *wanted)
{
    auto *announced = new (std::nothrow) Announced{name, wanted};
    if (!announced)
        return false;
    // SQLite frees `announced` through forget, also when the module cannot be made.
    return sqlite3_create_module_v2(db, name.toUtf8().constData(), &kAnnouncedModule, announced, forget) == SQLITE_OK;
}

QByteArray createStatement(const QString &name)
{
    QByteArray id = name.toUtf8();
    id.replace('"', "\"\"");
    return "CREATE VIRTUAL TABLE \"" + id + "\" USING \"" + kModuleName + '"';
}

}  // namespace held
