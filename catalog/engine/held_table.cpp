#include "catalog/engine/held_table.h"

#include "catalog/jettext/jet_text.h"
#include "catalog/engine/keyed_sort.h"
#include "jet/little_endian.h"
#include "jet/protocol.h"

#include <sqlite3.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <tuple>
#include <new>

namespace engine {

namespace {

using jet::kMoneyScale;
// Room asked for before the rows come is only a hint: a damaged count asks for no more.
constexpr std::size_t kMostRowsReserved = std::size_t(1) << 26;

}  // namespace

ColumnValues::Storage HeldRows::storageOf(jet::StoredType type)
{
    switch (type) {
    case jet::StoredType::Double:
    case jet::StoredType::Float:
    case jet::StoredType::Date:
    case jet::StoredType::Money: return ColumnValues::Storage::Real;
    default: return jet::isTextual(type) ? ColumnValues::Storage::Text : ColumnValues::Storage::Integer;
    }
}

void HeldRows::setColumns(const QVector<jet::Column> &columns, std::size_t keyColumn, std::size_t textLimit)
{
    m_types.clear();
    m_kinds.clear();
    m_columns.clear();
    m_keyColumn = keyColumn;
    m_rows = 0;
    m_keyed = {};
    m_nullKeys = {};
    m_keysAscii = true;
    for (const jet::Column &c : columns) {
        const ColumnValues::Storage storage = storageOf(c.type);
        m_types.push_back(c.type);
        m_kinds.push_back(storage == ColumnValues::Storage::Text      ? Kind::Text
                          : storage == ColumnValues::Storage::Integer ? Kind::Integer
                          : c.type == jet::StoredType::Money          ? Kind::Money
                          : c.type == jet::StoredType::Date           ? Kind::Date
                                                                      : Kind::Real);
        m_columns.push_back(std::make_shared<ColumnValues>(storage));
        m_columns.back()->setTextLimit(textLimit);
    }
}

void HeldRows::reserve(std::size_t rows)
{
    try {
        for (const std::shared_ptr<ColumnValues> &column : m_columns)
            column->reserve(std::min(rows, kMostRowsReserved));
        m_keyed.reserve(std::min(rows, kMostRowsReserved));
    } catch (const std::bad_alloc &) {
    }
}

void HeldRows::populateAhead(std::size_t rows)
{
    // The pages of the rows to come are put in place a stretch at a time.
    constexpr std::size_t kRowsAhead = 8192;
    if (m_rows / kRowsAhead == (m_rows + rows) / kRowsAhead && m_rows != 0)
        return;
    for (const std::shared_ptr<ColumnValues> &column : m_columns)
        column->populateAhead(kRowsAhead + rows);
}

void HeldRows::addCell(std::size_t i, const reader_client::Cell &cell)
{
    ColumnValues &column = *m_columns[i];
    if (cell.isNull) {
        column.appendNull();
        return;
    }
    switch (m_kinds[i]) {
    case Kind::Text: column.appendText(cell.text); break;
    case Kind::Integer: column.appendInteger(cell.integer); break;
    // As valueOf gives it: Money as its amount, a real SQLite cannot keep as Null.
    case Kind::Money: column.appendReal(double(cell.integer) / double(kMoneyScale)); break;
    case Kind::Date:
    case Kind::Real:
        if (jet::protocol::keepsReal(cell.real, m_kinds[i] == Kind::Date))
            column.appendReal(cell.real);
        else
            column.appendNull();
        break;
    }
}

void HeldRows::add(const std::vector<reader_client::Cell> &cells)
{
    populateAhead(1);
    for (std::size_t i = 0; i < m_columns.size(); ++i)
        addCell(i, cells[i]);
    ++m_rows;
    keyNewRows();
}

void HeldRows::keyNewRows()
{
    const ColumnValues &keys = *m_columns[m_keyColumn];
    const std::size_t from = m_keyed.size() + m_nullKeys.size();
    if (!m_keysAscii || from == m_rows)
        return;
    if (!jettext::isAscii(keys.texts().substr(keys.offsets()[from]))) {
        m_keysAscii = false;
        m_keyed = {};
        m_nullKeys = {};
        return;
    }
    for (std::size_t row = from; row < m_rows; ++row) {
        if (keys.isNull(row))
            m_nullKeys.push_back(std::uint32_t(row));
        else
            m_keyed.push_back(keyed_sort::keyedRow(keys.text(row), int(row)));
    }
}

void HeldRows::add(const jet::RowBatch &batch)
{
    populateAhead(batch.rows);
    const std::size_t rows = batch.rows;
    // Column by column: one whose every cell holds a text is added in one run.
    for (std::size_t i = 0; i < m_columns.size(); ++i) {
        const jet::RowBatch::Cells &cells = batch.columns[i];
        ColumnValues &column = *m_columns[i];
        const bool full = cells.present == rows;
        const auto isNull = [&cells, full](std::size_t r) { return !full && cells.tags[r] == std::uint8_t(jet::CellTag::Null); };
        const auto *head = reinterpret_cast<const unsigned char *>(cells.heads);
        // A number column's cells: a Null as such, each value from the next eight bytes.
        const auto eachNumber = [&](const auto &add) {
            for (std::size_t r = 0; r < rows; ++r) {
                if (isNull(r)) {
                    column.appendNull();
                    continue;
                }
                add(jet::le::get64(head));
                head += 8;
            }
        };
        if (cells.tag == jet::CellTag::Null) {
            for (std::size_t r = 0; r < rows; ++r)
                column.appendNull();
            continue;
        }
        switch (m_kinds[i]) {
        case Kind::Text:
            if (full) {
                column.appendTexts(cells.heads, cells.bytes, rows);
                break;
            }
            for (std::size_t r = 0, bytes = 0; r < rows; ++r) {
                if (isNull(r)) {
                    column.appendNull();
                    continue;
                }
                const std::uint32_t length = jet::le::get32(head);
                column.appendText(std::string_view(cells.bytes + bytes, length));
                bytes += length;
                head += 4;
            }
            break;
        case Kind::Integer: eachNumber([&](std::uint64_t bits) { column.appendInteger(std::int64_t(bits)); }); break;
        case Kind::Money:
            eachNumber([&](std::uint64_t bits) { column.appendReal(double(std::int64_t(bits)) / double(kMoneyScale)); });
            break;
        case Kind::Date:
        case Kind::Real:
            eachNumber([&](std::uint64_t bits) {
                const double value = jet::le::doubleOf(bits);
                if (jet::protocol::keepsReal(value, m_kinds[i] == Kind::Date))
                    column.appendReal(value);
                else
                    column.appendNull();
            });
            break;
        }
    }
    m_rows += rows;
    keyNewRows();
}

HeldValue HeldRows::value(std::size_t row, std::size_t column) const
{
    const ColumnValues &values = *m_columns[column];
    HeldValue value;
    if (values.isNull(row))
        return value;
    switch (values.storage()) {
    case ColumnValues::Storage::Integer: value.kind = HeldValue::Integer; value.integer = values.integer(row); break;
    case ColumnValues::Storage::Real: value.kind = HeldValue::Real; value.real = values.real(row); break;
    case ColumnValues::Storage::Text: {
        reader_client::Cell cell;
        cell.isNull = false;
        cell.text = values.text(row);
        value = valueOf(m_types[column], cell);
        break;
    }
    }
    return value;
}

std::optional<std::string_view> HeldRows::key(std::size_t row) const
{
    const ColumnValues &key = *m_columns[m_keyColumn];
    return key.isNull(row) ? std::nullopt : std::optional(key.text(row));
}

void HeldRows::putInOrder()
{
    const ColumnValues &keys = *m_columns[m_keyColumn];
    std::vector<std::uint32_t> order;
    // Prefix keys order only ASCII texts; with any other letter in the column every
    // comparison takes the full rule (a length past the keys).
    const bool ascii = m_keysAscii;
    std::vector<keyed_sort::KeyedRow> keyed = std::move(m_keyed);
    m_keyed = {};
    if (ascii) {
        order = std::move(m_nullKeys);
        reservePopulated(order, m_rows);
    } else {
        reservePopulated(order, m_rows);
        reservePopulated(keyed, m_rows);
        for (std::size_t row = 0; row < m_rows; ++row) {
            if (keys.isNull(row))
                order.push_back(std::uint32_t(row));
            else
                keyed.push_back(keyed_sort::KeyedRow{0, 0, 0, int(row), std::uint32_t(-1)});
        }
    }
    m_nullKeys = {};
    keyed_sort::sortKeyed(keyed, false, [&keys](int a, int b) { return jettext::compare(keys.text(size_t(a)), keys.text(size_t(b))); });
    // Where each run of equal names begins, read off the keys while they are at hand: the
    // Nulls are one run, and an ASCII name equals the one before only with its length and
    // keys (and, past what the keys hold, its text).
    std::vector<std::uint8_t> runStarts;
    if (ascii && m_rows > 0) {
        const std::size_t nulls = order.size();
        runStarts.resize(m_rows);  // the Nulls after the first start no run
        runStarts[0] = 1;
        inTwoHalves(keyed.size(), [&](int, std::size_t begin, std::size_t end) {
            for (std::size_t i = begin; i < end; ++i) {
                const keyed_sort::KeyedRow &k = keyed[i];
                bool same = i > 0;
                if (same) {
                    const keyed_sort::KeyedRow &before = keyed[i - 1];
                    same = k.key == before.key && k.key2 == before.key2 && k.key3 == before.key3 &&
                           k.length == before.length &&
                           (keyed_sort::keysHoldWhole(before, k) ||
                            jettext::compare(keys.text(size_t(before.row)), keys.text(size_t(k.row))) == 0);
                }
                runStarts[nulls + i] = same ? 0 : 1;
            }
        });
    }
    for (const keyed_sort::KeyedRow &k : keyed)
        order.push_back(std::uint32_t(k.row));
    keyed = {};
    // Each column put in its new order, so that reading the rows in order reads memory front
    // to back.
    const std::vector<std::uint32_t> place = ColumnValues::placesOf(order);
    for (const std::shared_ptr<ColumnValues> &column : m_columns)
        column->reorder(order, place);
    m_columns[m_keyColumn]->markInOrder(std::move(runStarts));
}

HeldValue valueOf(jet::StoredType type, const reader_client::Cell &cell)
{
    HeldValue value;
    if (cell.isNull)
        return value;
    switch (type) {
    case jet::StoredType::Text:
    case jet::StoredType::Memo:
    case jet::StoredType::Guid:
    case jet::StoredType::DateTimeExt: value.kind = HeldValue::Text; value.text = cell.text; break;
    case jet::StoredType::Numeric: {
        const auto [end, error] = std::from_chars(cell.text.data(), cell.text.data() + cell.text.size(), value.real);
        // Digits only, as SQLite reads a number from text: "nan" or "inf" stays text.
        const bool number = error == std::errc() && end == cell.text.data() + cell.text.size()
            && cell.text.find_first_not_of("0123456789+-.eE") == std::string_view::npos;
        value.kind = number ? HeldValue::Real : HeldValue::Text;
        value.text = cell.text;
        break;
    }
    case jet::StoredType::Binary:
    case jet::StoredType::Ole: value.kind = HeldValue::Blob; value.text = cell.text; break;
    case jet::StoredType::Money: value.kind = HeldValue::Real; value.real = double(cell.integer) / double(kMoneyScale); break;
    case jet::StoredType::Double:
    case jet::StoredType::Float:
    case jet::StoredType::Date:
        // As a stored table keeps it: SQLite holds no NaN, and no date Jet cannot hold.
        if (jet::protocol::keepsReal(cell.real, type == jet::StoredType::Date)) {
            value.kind = HeldValue::Real;
            value.real = cell.real;
        }
        break;
    default: value.kind = HeldValue::Integer; value.integer = cell.integer; break;
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
    const auto *cursor = static_cast<Cursor *>(base);
    // Texts stay in the held columns while the table exists, so SQLite need not copy them.
    const HeldTable &held = heldOf(base);
    const HeldValue value = held.rows.value(cursor->at, size_t(index));
    held.lastGiven[size_t(index)] = cursor->at;
    // An empty text may have no address, which SQLite would take for Null.
    const char *bytes = value.text.data() ? value.text.data() : "";
    switch (value.kind) {
    case HeldValue::Null: sqlite3_result_null(context); break;
    case HeldValue::Integer: sqlite3_result_int64(context, value.integer); break;
    case HeldValue::Real: sqlite3_result_double(context, value.real); break;
    case HeldValue::Text:
        sqlite3_result_text(context, bytes, int(value.text.size()), SQLITE_STATIC);
        break;
    case HeldValue::Blob:
        sqlite3_result_blob(context, bytes, int(value.text.size()), SQLITE_STATIC);
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

}  // namespace engine
