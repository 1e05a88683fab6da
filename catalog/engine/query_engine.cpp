#include "catalog/engine/query_engine.h"

#include "catalog/engine/held_table.h"
#include "catalog/jettext/jet_text.h"
#include "catalog/engine/result_rows.h"
#include "jet/protocol.h"

#include <sqlite3.h>

#include <algorithm>
#include <stdexcept>
#include <chrono>
#include <cstring>
#include <future>
#include <limits>
#include <memory>
#include <new>
#include <optional>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace engine {

namespace {

constexpr char kCollation[] = "JET";

// Bounds on what a statement may cost. A listing of 100,000 titles takes a fraction of the
// budget and a fraction of the heap; a single value is never near the length limit (the
// reader sends none larger than 32 MiB).
constexpr std::int64_t kStatementBudgetMs = 5000;
// ...and more for large tables: listing a million titles must not be stopped on a busy
// machine, while a statement that multiplies rows still is.
constexpr std::int64_t kBudgetMsPerMillionRows = 20000;
constexpr int kBudgetCheckEvery = 10000;  // virtual-machine steps between looks at the clock
constexpr sqlite3_int64 kHeapLimit = 4ll << 30;
constexpr int kValueLengthLimit = 64 << 20;
// A result's own size: at most 64 rows per row of the tables read (a listing has one per
// title; a join that multiplies rows beyond that is hostile), never less than a million,
// and its values within 256 MiB and twice the catalog file's size (a listing shows each
// title once, with less than the file holds), and within a quarter of the machine's memory
// up to 4 GiB. No real catalog comes near either; a hostile one is stopped long before the
// machine is.
constexpr std::int64_t kResultRowsPerTableRow = 64;
constexpr std::int64_t kLeastResultRows = 1000000;
constexpr std::size_t kLeastResultBytes = std::size_t(256) << 20;
constexpr std::size_t kMostResultBytes = std::size_t(4) << 30;
constexpr std::size_t kResultBytesPerStoredByte = 2;

std::int64_t nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

const char *actionName(int action)
{
    switch (action) {
    case SQLITE_ATTACH: return "ATTACH";
    case SQLITE_DETACH: return "DETACH";
    case SQLITE_PRAGMA: return "PRAGMA";
    case SQLITE_INSERT: return "INSERT";
    case SQLITE_UPDATE: return "UPDATE";
    case SQLITE_DELETE: return "DELETE";
    case SQLITE_TRANSACTION: return "a transaction";
    case SQLITE_SAVEPOINT: return "a savepoint";
    case SQLITE_ANALYZE: return "ANALYZE";
    case SQLITE_REINDEX: return "REINDEX";
    }
    return "a statement that changes the database";
}

// Declared type names per Jet column type. Each carries the SQLite affinity the values
// need (INT, TEXT, REAL or BLOB in the name) and maps back to the column type, whose ADO
// type a result column reports.
// A decimal is kept as a number, so that it sorts and compares as one; a replication ID
// as text compared byte for byte, so that joins on it match exactly.
struct DeclaredType {
    jet::StoredType jet;
    const char *name;
};
constexpr DeclaredType kDeclaredTypes[] = {
    {jet::StoredType::Long, "JET_LONG_INT"},
    {jet::StoredType::Int, "JET_SHORT_INT"},
    {jet::StoredType::Byte, "JET_BYTE_INT"},
    {jet::StoredType::Boolean, "JET_BOOLEAN_INT"},
    {jet::StoredType::Text, "JET_TEXT"},
    {jet::StoredType::Memo, "JET_MEMO_TEXT"},
    {jet::StoredType::Money, "JET_MONEY_REAL"},
    {jet::StoredType::Double, "JET_DOUBLE_REAL"},
    {jet::StoredType::Float, "JET_FLOAT_REAL"},
    {jet::StoredType::Date, "JET_DATE_REAL"},
    {jet::StoredType::Numeric, "JET_DECIMAL_REAL"},
    {jet::StoredType::Guid, "JET_GUID_TEXT"},
    {jet::StoredType::Binary, "JET_BINARY_BLOB"},
    {jet::StoredType::Ole, "JET_OLE_BLOB"},
    {jet::StoredType::BigInt, "JET_LARGE_INT"},
    {jet::StoredType::DateTimeExt, "JET_DATETIME_EXT_TEXT"},
};

const DeclaredType &declaredType(jet::StoredType type)
{
    for (const DeclaredType &t : kDeclaredTypes)
        if (t.jet == type)
            return t;
    return kDeclaredTypes[4];
}

int adoTypeOfDeclared(const char *declared)
{
    if (declared)
        for (const DeclaredType &t : kDeclaredTypes)
            if (std::strcmp(t.name, declared) == 0)
                return reader_client::adoType(t.jet);
    return ado::adEmpty;
}

using jet::kMoneyScale;
// Rows between two progress reports; the report itself decides whether to show anything.
constexpr int kRowsPerReport = 4096;
constexpr std::chrono::milliseconds kReportInterval(50);

QByteArray quoteIdentifier(const QString &name)
{
    QByteArray id = name.toUtf8();
    id.replace('"', "\"\"");
    return '"' + id + '"';
}

int jetCollation(void *, int lengthA, const void *a, int lengthB, const void *b)
{
    return jettext::compare(std::string_view(static_cast<const char *>(a), size_t(lengthA)),
                            std::string_view(static_cast<const char *>(b), size_t(lengthB)));
}

std::string_view argumentText(sqlite3_value *value)
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(value));
    return text ? std::string_view(text, size_t(sqlite3_value_bytes(value))) : std::string_view();
}

void deletePattern(void *pattern)
{
    delete static_cast<jettext::LikePattern *>(pattern);
}

// like(pattern, text[, escape]): Jet's LIKE without regard to letter case. The pattern is
// prepared once per statement (SQLite keeps it with the constant argument).
void jetLike(sqlite3_context *context, int argc, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    if (argc > 2) {
        sqlite3_result_error(context, "LIKE with ESCAPE is not supported", -1);
        return;
    }
    if (const auto *pattern = static_cast<const jettext::LikePattern *>(sqlite3_get_auxdata(context, 0))) {
        sqlite3_result_int(context, pattern->matches(argumentText(argv[1])) ? 1 : 0);
        return;
    }
    auto *pattern = new jettext::LikePattern(argumentText(argv[0]), '%', '_');
    const bool match = pattern->matches(argumentText(argv[1]));
    // Handed over last: SQLite may free it at once when the pattern is not a constant.
    sqlite3_set_auxdata(context, 0, pattern, deletePattern);
    sqlite3_result_int(context, match ? 1 : 0);
}

// printf(FORMAT, ...) and format(...) as SQLite's own, which they run on a second
// connection, except that a result past the length limit is an error: SQLite's own gives
// a quiet NULL then.
/// Whether a width or precision in printf's format (given, or taken from an argument by
/// "*") is past the length limit: SQLite would spend seconds before it gives up on it.
bool asksForTooMuch(int argc, sqlite3_value **argv)
{
    if (argc < 1 || sqlite3_value_type(argv[0]) == SQLITE_NULL)
        return false;
    const std::string_view format = argumentText(argv[0]);
    int next = 1;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%')
            continue;
        if (++i < format.size() && format[i] == '%')
            continue;
        while (i < format.size() && std::strchr("-+ #!,0", format[i]))
            ++i;
        for (int part = 0; part < 2; ++part) {  // the width, then the precision after '.'
            if (part == 1) {
                if (i >= format.size() || format[i] != '.')
                    break;
                ++i;
            }
            std::int64_t size = 0;
            if (i < format.size() && format[i] == '*') {
                size = next < argc ? sqlite3_value_int64(argv[next]) : 0;
                ++next;
                ++i;
            } else {
                while (i < format.size() && format[i] >= '0' && format[i] <= '9' && size <= kValueLengthLimit)
                    size = size * 10 + (format[i++] - '0');
            }
            if (size > kValueLengthLimit || size < -kValueLengthLimit)
                return true;
        }
        ++next;  // the value the conversion takes
    }
    return false;
}

void boundedPrintf(sqlite3_context *context, int argc, sqlite3_value **argv)
{
    if (asksForTooMuch(argc, argv)) {
        sqlite3_result_error_toobig(context);
        return;
    }
    auto *helper = static_cast<sqlite3 *>(sqlite3_user_data(context));
    std::string sql = "SELECT printf(";
    for (int i = 0; i < argc; ++i)
        sql += i ? ",?" : "?";
    sql += ')';
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(helper, sql.c_str(), int(sql.size()), &statement, nullptr) != SQLITE_OK) {
        sqlite3_result_error(context, sqlite3_errmsg(helper), -1);
        return;
    }
    for (int i = 0; i < argc; ++i)
        sqlite3_bind_value(statement, i + 1, argv[i]);
    if (sqlite3_step(statement) != SQLITE_ROW)
        sqlite3_result_error(context, sqlite3_errmsg(helper), -1);
    else if (sqlite3_column_type(statement, 0) == SQLITE_NULL && argc > 0 && sqlite3_value_type(argv[0]) != SQLITE_NULL)
        sqlite3_result_error_toobig(context);
    else
        sqlite3_result_value(context, sqlite3_column_value(statement, 0));
    sqlite3_finalize(statement);
}

class TableLoader final : public reader_client::RowSink {
public:
    /// With an `orderColumn` (a text column of the table), the rows are not inserted but
    /// held, and finish() puts them in that column's order for a held table.
    TableLoader(sqlite3 *db, const QString &table, const QString &orderColumn,
                const QueryEngine::ProgressReport &progress, std::size_t textLimit)
        : m_db(db), m_table(table), m_orderColumn(orderColumn), m_progress(progress), m_textLimit(textLimit)
    {
    }
    ~TableLoader() override { sqlite3_finalize(m_insert); }

    void columns(const QVector<jet::Column> &columns) override
    {
        m_types.clear();
        m_names.clear();
        m_keyColumn = -1;
        QByteArray declared = " (";
        QByteArray insert = "INSERT INTO " + quoteIdentifier(m_table) + " VALUES (";
        for (int i = 0; i < columns.size(); ++i) {
            const jet::Column &c = columns[i];
            m_types.push_back(c.type);
            const QString name = QString::fromStdString(c.name);
            m_names.append(name);
            if (c.unshown)
                m_unshown.append({name, c.type == jet::StoredType::Long
                                            ? QStringLiteral("an attachment or multi-valued field")
                                            : QStringLiteral("of a type that cannot be read (type %1)").arg(c.storedCode)});
            const bool isText = c.type == jet::StoredType::Text || c.type == jet::StoredType::Memo;
            if (!m_orderColumn.isEmpty() && name.compare(m_orderColumn, Qt::CaseInsensitive) == 0 && isText)
                m_keyColumn = i;
            declared += (i ? ", " : "") + quoteIdentifier(name) + ' ' + declaredType(c.type).name;
            if (isText)
                declared += QByteArray(" COLLATE ") + kCollation;
            insert += i ? ",?" : "?";
        }
        declared += ')';
        insert += ')';
        if (m_keyColumn >= 0) {
            m_held = std::make_unique<HeldTable>();
            m_held->columns = columns;
            m_held->lastGiven.assign(size_t(columns.size()), 0);
            m_held->keyColumn = m_keyColumn;
            m_held->declaration = "CREATE TABLE x" + declared;
            m_held->rows.setColumns(columns, size_t(m_keyColumn), m_textLimit);
            return;
        }
        char *message = nullptr;
        if (sqlite3_exec(m_db, ("CREATE TABLE " + quoteIdentifier(m_table) + declared).constData(), nullptr, nullptr,
                         &message)
            != SQLITE_OK) {
            fail(message);
            sqlite3_free(message);
            return;
        }
        if (sqlite3_prepare_v2(m_db, insert.constData(), -1, &m_insert, nullptr) != SQLITE_OK)
            fail(sqlite3_errmsg(m_db));
    }

    void expectRows(std::uint32_t rows) override
    {
        m_expected = rows;
        if (m_held)
            m_held->rows.reserve(rows);
        report();
    }

    void row(const std::vector<reader_client::Cell> &cells) override
    {
        if (++m_read % kRowsPerReport == 0)
            report();
        if ((!m_insert && !m_held) || !m_error.isEmpty())
            return;
        if (cells.size() != m_types.size()) {
            fail("a row does not match the table's columns");
            return;
        }
        if (!m_held) {
            insert(cells);
            return;
        }
        try {
            m_held->rows.add(cells);
        } catch (const std::length_error &) {
            fail("its texts in one column pass the 4 GiB the program keeps for one");
        }
    }

    void rows(const jet::RowBatch &batch) override
    {
        if (!m_held || !m_error.isEmpty() || batch.columns.size() != m_types.size()) {
            RowSink::rows(batch);  // row by row, as inserted
            return;
        }
        const qint64 before = m_read;
        m_read += qint64(batch.rows);
        if (m_read / kRowsPerReport != before / kRowsPerReport)
            report();
        try {
            m_held->rows.add(batch);
        } catch (const std::length_error &) {
            fail("its texts in one column pass the 4 GiB the program keeps for one");
        }
    }

    /// Puts held rows in their order, on other threads while this one reports as ordering.
    void finish()
    {
        if (!m_held || !m_error.isEmpty())
            return;
        HeldRows &rows = m_held->rows;
            if (!m_progress) {
            rows.putInOrder();
            return;
        }
        auto ordered = std::async(std::launch::async, [&rows] { rows.putInOrder(); });
        const QueryEngine::Progress ordering{QueryEngine::Progress::Stage::Ordering, m_table, 0, m_read};
        while (ordered.wait_for(kReportInterval) != std::future_status::ready)
            m_progress(ordering);
        ordered.get();
    }

    /// The held table, once finish() has put it in order (null when the rows were inserted).
    std::unique_ptr<HeldTable> takeHeld() { return std::move(m_held); }
    QString error() const { return m_error; }
    QStringList columnNames() const { return m_names; }
    /// Each column the program cannot show, by name, with why.
    const QList<QPair<QString, QString>> &unshown() const { return m_unshown; }
    qint64 rowsRead() const { return m_read; }

private:
    void insert(const std::vector<reader_client::Cell> &cells)
    {
        for (size_t i = 0; i < cells.size(); ++i) {
            const reader_client::Cell &cell = cells[i];
            const int at = int(i) + 1;
            if (cell.isNull) {
                sqlite3_bind_null(m_insert, at);
                continue;
            }
            switch (m_types[i]) {
            case jet::StoredType::Text:
            case jet::StoredType::Memo:
            case jet::StoredType::Guid:
            case jet::StoredType::DateTimeExt:
            case jet::StoredType::Numeric:  // its digits become a number in the column's affinity
                // The text is only valid during this call; the step below copies it.
                sqlite3_bind_text(m_insert, at, cell.text.data(), int(cell.text.size()),
                                  SQLITE_STATIC);
                break;
            case jet::StoredType::Binary:
            case jet::StoredType::Ole:
                sqlite3_bind_blob(m_insert, at, cell.text.data(), int(cell.text.size()), SQLITE_STATIC);
                break;
            case jet::StoredType::Money:
                sqlite3_bind_double(m_insert, at, double(cell.integer) / double(kMoneyScale));
                break;
            case jet::StoredType::Double:
            case jet::StoredType::Float:
            case jet::StoredType::Date:
                // Whatever source gave it: a date Jet cannot hold is Null, as the reader sends it.
                if (jet::protocol::keepsReal(cell.real, m_types[i] == jet::StoredType::Date))
                    sqlite3_bind_double(m_insert, at, cell.real);
                else
                    sqlite3_bind_null(m_insert, at);
                break;
            default:
                sqlite3_bind_int64(m_insert, at, cell.integer);
                break;
            }
        }
        if (sqlite3_step(m_insert) != SQLITE_DONE)
            fail(sqlite3_errmsg(m_db));
        sqlite3_reset(m_insert);
    }

    void report() const
    {
        if (m_progress)
            m_progress({QueryEngine::Progress::Stage::Reading, m_table, m_read, qint64(m_expected)});
    }

    void fail(const char *message)
    {
        if (m_error.isEmpty())
            m_error = QString::fromUtf8(message ? message : "unknown failure");
    }

    sqlite3 *m_db;
    QString m_table;
    QString m_orderColumn;
    sqlite3_stmt *m_insert = nullptr;
    std::vector<jet::StoredType> m_types;
    int m_keyColumn = -1;  // the column the held rows are put in order by
    std::unique_ptr<HeldTable> m_held;
    std::size_t m_textLimit;
    QStringList m_names;
    QList<QPair<QString, QString>> m_unshown;
    QString m_error;
    const QueryEngine::ProgressReport &m_progress;
    qint64 m_read = 0;
    std::uint32_t m_expected = 0;
};

// A column of a statement's result that a held table's column may give as it keeps it.
struct HeldColumn {
    const HeldTable *table = nullptr;  // none: the column keeps values of its own
    std::size_t column = 0;
    int map = -1;

    /// The held row whose value `value` is: the row the table last gave SQLite the column's
    /// value from, when that value is this one (for a text, at the same place in the held
    /// texts, or both empty).
    std::optional<std::uint32_t> rowOf(sqlite3_value *value) const
    {
        const std::size_t row = table->lastGiven[column];
        if (row >= table->rows.size())
            return std::nullopt;
        const HeldValue given = table->rows.value(row, column);
        bool same = false;
        switch (sqlite3_value_type(value)) {
        case SQLITE_NULL: same = given.kind == HeldValue::Null; break;
        case SQLITE_INTEGER: same = given.kind == HeldValue::Integer && sqlite3_value_int64(value) == given.integer; break;
        case SQLITE_FLOAT: {
            const double real = sqlite3_value_double(value);
            same = given.kind == HeldValue::Real && std::memcmp(&real, &given.real, sizeof real) == 0;
            break;
        }
        default: {
            const bool isText = sqlite3_value_type(value) == SQLITE_TEXT;
            const void *bytes = sqlite3_value_blob(value);
            const std::size_t size = std::size_t(sqlite3_value_bytes(value));
            same = given.kind == (isText ? HeldValue::Text : HeldValue::Blob) && size == given.text.size()
                && (size == 0 || bytes == given.text.data());
            break;
        }
        }
        return same ? std::optional<std::uint32_t>(std::uint32_t(row)) : std::nullopt;
    }
};

// Where result column `i` is a held table's column, kept as the result would keep it.
HeldColumn heldColumnOf(const HeldTables &tables, sqlite3_stmt *statement, int i, int adoType)
{
    const char *table = sqlite3_column_table_name(statement, i), *origin = sqlite3_column_origin_name(statement, i);
    if (!table || !origin)
        return {};
    const auto found = tables.tables.find(QString::fromUtf8(table).toLower());
    if (found == tables.tables.end())
        return {};
    const HeldTable &held = *found->second;
    for (qsizetype c = 0; c < held.columns.size(); ++c) {
        if (QString::fromStdString(held.columns[c].name).compare(QString::fromUtf8(origin), Qt::CaseInsensitive) != 0)
            continue;
        const std::size_t column = std::size_t(c);
        if (HeldRows::storageOf(held.columns[c].type) != ResultRows::storageOf(adoType) || !held.rows.keepsValuesAsGiven(column))
            return {};
        return {&held, column, -1};
    }
    return {};
}

ado::Error providerError(const QString &description)
{
    return {ado::E_PROVIDER_FAIL, description};
}

struct StatementGuard {
    sqlite3_stmt *statement = nullptr;
    ~StatementGuard() { sqlite3_finalize(statement); }
};

}  // namespace

QueryEngine::QueryEngine(std::unique_ptr<reader_client::TableSource> source)
    : m_source(std::move(source)), m_heldTables(std::make_unique<HeldTables>())
{
    // One thread uses the engine, so SQLite's own locking is only overhead.
    sqlite3_open_v2(":memory:", &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                    nullptr);
    // Sorting a listing stays in memory rather than spilling to temporary files.
    sqlite3_exec(m_db, "PRAGMA temp_store = MEMORY", nullptr, nullptr, nullptr);
    // The sorter keeps this much in one run before it merges; a 100,000-title listing fits.
    sqlite3_exec(m_db, "PRAGMA cache_size = -131072", nullptr, nullptr, nullptr);
    // Large sorts (a large table's index) sort their runs on both cores.
    sqlite3_exec(m_db, "PRAGMA threads = 2", nullptr, nullptr, nullptr);
    sqlite3_hard_heap_limit64(kHeapLimit);
    sqlite3_limit(m_db, SQLITE_LIMIT_LENGTH, kValueLengthLimit);
    sqlite3_limit(m_db, SQLITE_LIMIT_ATTACHED, 1);  // the plain copy's file, and nothing else
    sqlite3_set_authorizer(m_db, &QueryEngine::authorize, this);
    if (sqlite3_open_v2(":memory:", &m_printfDb, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) == SQLITE_OK) {
        sqlite3_limit(m_printfDb, SQLITE_LIMIT_LENGTH, kValueLengthLimit);
        for (const char *name : {"printf", "format"})
            sqlite3_create_function(m_db, name, -1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, m_printfDb, boundedPrintf,
                                    nullptr, nullptr);
    }
    sqlite3_create_collation(m_db, kCollation, SQLITE_UTF8, nullptr, jetCollation);
    registerModule(m_db, m_heldTables.get());
    // Every table of the catalog is known by name from the start and read when a statement
    // first names it.
    m_announcedWanted = [this](const QString &table) { m_wanted = table; };
    for (const QString &table : m_source->tableNames())
        announce(m_db, table, &m_announcedWanted);
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    sqlite3_create_function(m_db, "like", 2, flags, nullptr, jetLike, nullptr, nullptr);
    sqlite3_create_function(m_db, "like", 3, flags, nullptr, jetLike, nullptr, nullptr);
}

QueryEngine::~QueryEngine()
{
    sqlite3_close_v2(m_db);
    sqlite3_close_v2(m_printfDb);
}

void QueryEngine::setProgressReport(ProgressReport report)
{
    m_progress = std::move(report);
}

void QueryEngine::indexOnLoad(const QString &table, const QString &column)
{
    m_indexes.append({table, column});
}

QStringList QueryEngine::loadedTables() const
{
    return m_loaded;
}

ado::Error QueryEngine::loadTable(const QString &name)
{
    // A table with a listing order is held in that order (ties in the order the rows were
    // read in), so an ordered listing reads it front to back.
    QString orderColumn;
    for (const auto &[table, column] : std::as_const(m_indexes))
        if (orderColumn.isEmpty() && table.compare(name, Qt::CaseInsensitive) == 0)
            orderColumn = column;
    TableLoader loader(m_db, name, orderColumn, m_progress, m_columnTextLimit);
    sqlite3_exec(m_db, "BEGIN", nullptr, nullptr, nullptr);
    ado::Error error = m_source->readTable(name, loader);
    if (!error)
        loader.finish();
    if (!error && !loader.error().isEmpty())
        error = providerError(QStringLiteral("Could not read table '%1': %2").arg(name, loader.error()));
    if (error) {
        // A half-read table must not stay behind to answer later statements.
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        return error;
    }
    if (std::unique_ptr<HeldTable> table = loader.takeHeld()) {
        // Kept as read and ordered: SQLite reads it where it is, in its order.
        const QString key = name.toLower();
        m_heldTables->tables[key] = std::move(table);
        char *message = nullptr;
        if (sqlite3_exec(m_db, createStatement(name).constData(), nullptr, nullptr, &message) != SQLITE_OK) {
            error = providerError(QStringLiteral("Could not read table '%1': %2").arg(name, QString::fromUtf8(message)));
            sqlite3_free(message);
            m_heldTables->tables.erase(key);
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
            return error;
        }
    } else if (!loader.columnNames().isEmpty()) {
        // Rows that share a key are met in stored order through this index, whichever way
        // SQLite joins them: an automatic index of its own would order them by the other
        // columns it covers, and the listing straight from the titles could not follow.
        const QByteArray index = "CREATE INDEX " + quoteIdentifier(QStringLiteral("quorbix key of ") + name) + " ON "
            + quoteIdentifier(name) + " (" + quoteIdentifier(loader.columnNames().front()) + ")";
        sqlite3_exec(m_db, index.constData(), nullptr, nullptr, nullptr);
    }
    sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
    m_loaded.append(name);
    for (const auto &[column, why] : loader.unshown())
        m_unshown.insert(name.toLower() + QLatin1Char('\n') + column.toLower(),
                         QStringLiteral("Column '%1' of table '%2' cannot be shown: it is %3.").arg(column, name, why));
    m_rowsLoaded += loader.rowsRead();
    return {};
}

int QueryEngine::authorize(void *self, int action, const char *, const char *, const char *, const char *)
{
    auto *engine = static_cast<QueryEngine *>(self);
    if (!engine->m_guarding)
        return SQLITE_OK;
    switch (action) {
    case SQLITE_SELECT:
    case SQLITE_READ:
    case SQLITE_FUNCTION:
    case SQLITE_RECURSIVE:
        return SQLITE_OK;
    }
    if (!engine->m_refusedAction)
        engine->m_refusedAction = action;
    return SQLITE_DENY;
}

std::int64_t QueryEngine::budgetMs() const
{
    return kStatementBudgetMs + m_rowsLoaded * kBudgetMsPerMillionRows / 1000000;
}

int QueryEngine::checkBudget(void *self)
{
    return nowMs() > static_cast<QueryEngine *>(self)->m_deadlineMs ? 1 : 0;
}

ado::Error QueryEngine::engineError(int rc) const
{
    // Refused by the guard; a table-valued pragma, say, then fails as a plain error.
    if (m_refusedAction || (rc & 0xff) == SQLITE_AUTH)
        return providerError(QStringLiteral("The catalog is read-only: only a single SELECT statement runs (%1 is not allowed).")
                                 .arg(QString::fromLatin1(actionName(m_refusedAction))));
    switch (rc & 0xff) {
    case SQLITE_INTERRUPT:
        return providerError(QStringLiteral("The statement was stopped: it ran longer than %1 seconds.")
                                 .arg(budgetMs() / 1000));
    case SQLITE_NOMEM:
        return providerError(QStringLiteral("The statement was stopped: it needs more memory than the query engine allows (%1 MiB).")
                                 .arg(kHeapLimit >> 20));
    case SQLITE_TOOBIG:
        return providerError(QStringLiteral("The statement was stopped: a value would be longer than %1 MiB.")
                                 .arg(kValueLengthLimit >> 20));
    }
    // A table the catalog does not have is named only in SQLite's message; the provider
    // words it its own way.
    static const QByteArray kUnknownTable = "no such table: ";
    const QByteArray message = sqlite3_errmsg(m_db);
    if ((rc & 0xff) == SQLITE_ERROR && message.startsWith(kUnknownTable))
        return providerError(QStringLiteral("The Microsoft Jet database engine cannot find the input table or query '%1'.")
                                 .arg(QString::fromUtf8(message.mid(kUnknownTable.size()))));
    return providerError(QString::fromUtf8(message));
}

ado::Error QueryEngine::prepare(const QByteArray &sql, sqlite3_stmt **statement)
{
    for (;;) {
        m_wanted.clear();
        const char *tail = nullptr;
        // Only the caller's text is guarded: the table loads below create and fill tables.
        struct Guard {
            bool &on;
            explicit Guard(bool &flag) : on(flag) { on = true; }
            ~Guard() { on = false; }
        } guard(m_guarding);
        m_refusedAction = 0;
        const int rc = sqlite3_prepare_v2(m_db, sql.constData(), int(sql.size()), statement, &tail);
        if (rc == SQLITE_OK) {
            if (!*statement)
                return providerError(QStringLiteral("The statement is empty."));
            // Only one statement runs: anything but blanks and comments after it is refused.
            if (tail && *tail) {
                sqlite3_stmt *next = nullptr;
                sqlite3_prepare_v2(m_db, tail, -1, &next, nullptr);
                const bool more = next != nullptr || sqlite3_errcode(m_db) != SQLITE_OK;
                sqlite3_finalize(next);
                if (more) {
                    sqlite3_finalize(*statement);
                    *statement = nullptr;
                    return providerError(QStringLiteral("Characters found after end of SQL statement."));
                }
            }
            return {};
        }
        // An announced table named for the first time: it is copied in, then the statement is
        // prepared again (and finds the table itself).
        if (m_wanted.isEmpty() || m_loaded.contains(m_wanted, Qt::CaseInsensitive))
            return engineError(rc);
        guard.on = false;
        if (ado::Error error = loadTable(m_wanted))
            return error;
    }
}

std::int64_t QueryEngine::resultRowLimit() const
{
    return std::min<std::int64_t>(std::max<std::int64_t>(kLeastResultRows, m_rowsLoaded * kResultRowsPerTableRow),
                                  std::numeric_limits<int>::max());
}

std::size_t QueryEngine::resultByteLimit() const
{
    if (m_resultByteLimit)
        return m_resultByteLimit;
    static const std::size_t machine = [] {
#ifdef Q_OS_WIN
        MEMORYSTATUSEX status{};
        status.dwLength = sizeof status;
        const std::size_t memory = GlobalMemoryStatusEx(&status) ? std::size_t(status.ullTotalPhys) : 0;
#else
        const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
        const std::size_t memory = pages > 0 && pageSize > 0 ? std::size_t(pages) * std::size_t(pageSize) : 0;
#endif
        return std::clamp(memory / 4, kLeastResultBytes, kMostResultBytes);
    }();
    const qint64 stored = m_source ? m_source->storedBytes() : 0;
    if (stored <= 0)
        return machine;
    return std::min(machine, kLeastResultBytes + kResultBytesPerStoredByte * std::size_t(stored));
}

ado::Error QueryEngine::execute(const QString &sql, ResultRows &rows, const StraightAnswer &straight)
{
    if (!m_db)
        return providerError(QStringLiteral("The query engine could not be started."));
    try {
        // A statement stopped part way (its time spent, say) leaves no rows behind.
        const ado::Error error = run(sql, rows, straight);
        if (error)
            rows = ResultRows();
        return error;
    } catch (const std::bad_alloc &) {
        sqlite3_progress_handler(m_db, 0, nullptr, nullptr);
        rows = ResultRows();
        return providerError(QStringLiteral("The statement was stopped: there is not enough memory for its result."));
    } catch (const std::length_error &) {
        // One column's texts past what their offsets reach: as a result past its bytes.
        sqlite3_progress_handler(m_db, 0, nullptr, nullptr);
        const std::size_t byteLimit = rows.byteLimit();
        rows = ResultRows();
        return providerError(QStringLiteral("The statement was stopped: its result would take more than %1 MiB.")
                                 .arg(qulonglong(byteLimit >> 20)));
    } catch (const ResultRows::TooLarge &tooLarge) {
        sqlite3_progress_handler(m_db, 0, nullptr, nullptr);
        const std::int64_t rowLimit = rows.rowLimit();
        const std::size_t byteLimit = rows.byteLimit();
        rows = ResultRows();
        if (tooLarge.rows)
            return providerError(QStringLiteral("The statement was stopped: its result would hold more than %L1 rows.")
                                     .arg(rowLimit));
        return providerError(QStringLiteral("The statement was stopped: its result would take more than %1 MiB.")
                                 .arg(qulonglong(byteLimit >> 20)));
    }
}

ado::Error QueryEngine::run(const QString &sql, ResultRows &rows, const StraightAnswer &straight)
{
    StatementGuard guard;
    if (ado::Error error = prepare(sql.toUtf8(), &guard.statement))
        return error;
    sqlite3_stmt *statement = guard.statement;
    if (!sqlite3_stmt_readonly(statement))
        return providerError(QStringLiteral("The catalog is read-only."));

    const int columns = sqlite3_column_count(statement);
    // A listing that shows a column the program cannot show is refused by that column's name.
    for (int i = 0; i < columns && !m_unshown.isEmpty(); ++i) {
        const char *table = sqlite3_column_table_name(statement, i), *origin = sqlite3_column_origin_name(statement, i);
        if (table && origin) {
            const auto found = m_unshown.constFind(QString::fromUtf8(table).toLower() + QLatin1Char('\n') +
                                                   QString::fromUtf8(origin).toLower());
            if (found != m_unshown.constEnd())
                return providerError(*found);
        }
    }
    std::vector<int> adoTypes(static_cast<size_t>(columns));
    for (int i = 0; i < columns; ++i)
        adoTypes[size_t(i)] = adoTypeOfDeclared(sqlite3_column_decltype(statement, i));

    rows.setLimits(resultRowLimit(), resultByteLimit());
    rows.setTextLimit(m_columnTextLimit);
    m_deadlineMs = nowMs() + budgetMs();
    sqlite3_progress_handler(m_db, kBudgetCheckEvery, &QueryEngine::checkBudget, this);
    struct BudgetOff {
        sqlite3 *db;
        ~BudgetOff() { sqlite3_progress_handler(db, 0, nullptr, nullptr); }
    } budgetOff{m_db};
    // A caller that knows what it asked for, when every column has its type before a step.
    if (straight && std::find(adoTypes.begin(), adoTypes.end(), int(ado::adEmpty)) == adoTypes.end()) {
        StraightRun context(*this, statement, adoTypes);
        if (std::optional<ado::Error> done = straight(context, rows))
            return *done;
    }
    int rc = sqlite3_step(statement);
    // A computed column has no declared type: take it from its first value.
    for (int i = 0; i < columns; ++i) {
        if (adoTypes[size_t(i)] != ado::adEmpty)
            continue;
        switch (rc == SQLITE_ROW ? sqlite3_column_type(statement, i) : SQLITE_TEXT) {
        case SQLITE_INTEGER: adoTypes[size_t(i)] = ado::adInteger; break;
        case SQLITE_FLOAT: adoTypes[size_t(i)] = ado::adDouble; break;
        default: adoTypes[size_t(i)] = ado::adVarWChar; break;
        }
    }
    // A column of a held table, handed on as SQLite was given it, is shared with the table
    // rather than copied: each row then refers to the row its value is.
    std::vector<HeldColumn> heldColumns(static_cast<std::size_t>(columns));
    for (int i = 0; i < columns; ++i) {
        const QString name = QString::fromUtf8(sqlite3_column_name(statement, i));
        HeldColumn &held = heldColumns[size_t(i)] = heldColumnOf(*m_heldTables, statement, i, adoTypes[size_t(i)]);
        if (!held.table) {
            rows.addColumn(name, adoTypes[size_t(i)]);
            continue;
        }
        held.map = rows.addRowMap();
        rows.addSharedColumn(name, adoTypes[size_t(i)], held.table->rows.values(held.column), held.map);
    }

    for (; rc == SQLITE_ROW; rc = sqlite3_step(statement)) {
        for (int i = 0; i < columns; ++i) {
            // One look-up of the value per cell: the connection is used by this thread
            // alone, so the value needs no further protection.
            sqlite3_value *value = sqlite3_column_value(statement, i);
            if (HeldColumn &held = heldColumns[size_t(i)]; held.table) {
                if (const std::optional<std::uint32_t> row = held.rowOf(value)) {
                    rows.setSourceRow(held.map, *row);
                    continue;
                }
                // Not as it was given (sorted first, or computed): copied from here on.
                rows.keepOwnValues(i);
                held.table = nullptr;
            }
            switch (sqlite3_value_type(value)) {
            case SQLITE_NULL: rows.setNull(i); break;
            case SQLITE_INTEGER: rows.setInteger(i, sqlite3_value_int64(value)); break;
            case SQLITE_FLOAT: rows.setReal(i, sqlite3_value_double(value)); break;
            case SQLITE_BLOB: {
                const auto *bytes = static_cast<const char *>(sqlite3_value_blob(value));
                rows.setText(i, std::string_view(bytes, size_t(sqlite3_value_bytes(value))));
                break;
            }
            default: {
                // Its bytes as they stand (UTF-8, the connection's encoding): a text from a
                // held table has no zero after it, which asking for text would copy it to add.
                const auto *text = static_cast<const char *>(sqlite3_value_blob(value));
                rows.setText(i, std::string_view(text, size_t(sqlite3_value_bytes(value))));
                break;
            }
            }
        }
        rows.endRow();
        if (m_progress && rows.rowCount() % kRowsPerReport == 0) {
            // The time the report takes (a window repainting) is not the statement's.
            const std::int64_t reported = nowMs();
            m_progress({Progress::Stage::Listing, QString(), rows.rowCount(), 0});
            m_deadlineMs += nowMs() - reported;
        }
    }
    if (rc != SQLITE_DONE)
        return engineError(rc);
    return {};
}

sqlite3 *QueryEngine::StraightRun::database() const
{
    return m_engine.m_db;
}

const HeldTable *QueryEngine::StraightRun::heldTable(const QString &name) const
{
    const auto found = m_engine.m_heldTables->tables.find(name.toLower());
    return found == m_engine.m_heldTables->tables.end() ? nullptr : found->second.get();
}

bool QueryEngine::StraightRun::inTime() const
{
    return nowMs() <= m_engine.m_deadlineMs;
}

bool QueryEngine::StraightRun::checkpoint(const ResultRows &rows)
{
    if (!inTime())
        return false;
    if (m_engine.m_progress) {
        // The time the report takes (a window repainting) is not the statement's.
        const std::int64_t reported = nowMs();
        m_engine.m_progress({Progress::Stage::Listing, QString(), rows.rowCount(), 0});
        m_engine.m_deadlineMs += nowMs() - reported;
    }
    return true;
}

ado::Error QueryEngine::StraightRun::stopped() const
{
    return m_engine.engineError(SQLITE_INTERRUPT);
}

std::shared_ptr<const ResultRows> QueryEngine::heldRows(const QString &sql) const
{
    return m_held.value(sql).lock();
}

void QueryEngine::noteRows(const QString &sql, const std::shared_ptr<const ResultRows> &rows)
{
    m_held.removeIf([](const auto &entry) { return entry.value().expired(); });
    m_held.insert(sql, rows);
}

}  // namespace engine
