// The software listings run straight over the held titles: the same rows, in the same order
// and with the same values as the statement gives, without SQLite's work per row. Anything
// this path does not know exactly (a column of another type, a missing column) is left to
// SQLite.

#include "held_table.h"
#include "jet_text.h"
#include "listing_query.h"
#include "query_engine.h"
#include "result_rows.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <iterator>
#include <tuple>
#include <string>
#include <unordered_map>

namespace {

// Where each column of the listing head comes from: the titles (A), their type (B) or
// their company's site (C).
// For B and C, `kept` is the column's place among the values read from that table.
struct HeadColumn {
    char table;
    const char *column;
    int kept = 0;
};
constexpr HeadColumn kHead[] = {
    {'A', "Name"},         {'A', "Description"},  {'A', "Price"},        {'B', "Description", 0},
    {'A', "Requirements"}, {'A', "Uninstaller"},  {'A', "Limitations"},  {'A', "ScreenURL"},
    {'A', "DownloadURL1"}, {'A', "DownloadURL2"}, {'A', "DownloadURL3"}, {'A', "BuyURL"},
    {'A', "Rating"},       {'C', "Name", 0},      {'C', "URL", 1},       {'C', "Description", 2},
};
// The values read from B and C, after their key, in the order of `kept`.
constexpr char kTypesSql[] = "SELECT SoftwareTypeID, Description FROM SoftwareType";
constexpr char kSitesSql[] = "SELECT SiteID, Name, URL, Description FROM Site";
constexpr int kHeadColumns = int(std::size(kHead));
constexpr int kRowsPerCheck = 4096;

std::int64_t nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool isWholeNumber(jet::StoredType type)
{
    return type == jet::StoredType::Long || type == jet::StoredType::Int || type == jet::StoredType::Byte;
}

bool isText(jet::StoredType type)
{
    return type == jet::StoredType::Text || type == jet::StoredType::Memo;
}

int columnOf(const QVector<jet::Column> &columns, const char *name)
{
    for (int i = 0; i < columns.size(); ++i)
        if (QString::fromStdString(columns[i].name).compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

// A value of a small table, kept after its statement has ended.
struct Kept {
    int type = SQLITE_NULL;
    std::int64_t integer = 0;
    double real = 0;
    std::string text;
};

// A small table read through SQLite: its rows by the whole-number key in its first
// column, each key's rows in stored order, as a join meets them.
struct KeyedTable {
    std::unordered_map<std::int64_t, std::vector<std::vector<Kept>>> rows;
    bool ok = false;
};

KeyedTable readKeyed(sqlite3 *db, const char *sql)
{
    KeyedTable table;
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK) {
        sqlite3_finalize(statement);
        return table;
    }
    // The key must compare as a whole number, as the statement's join compares it.
    const char *declared = sqlite3_column_decltype(statement, 0);
    bool ok = declared && std::strstr(declared, "_INT") && !std::strstr(declared, "BOOLEAN");
    int rc = SQLITE_ROW;
    while (ok && (rc = sqlite3_step(statement)) == SQLITE_ROW) {
        const int keyType = sqlite3_column_type(statement, 0);
        if (keyType == SQLITE_NULL)
            continue;  // equal to nothing
        if (keyType != SQLITE_INTEGER) {
            ok = false;
            break;
        }
        std::vector<Kept> values(size_t(sqlite3_column_count(statement) - 1));
        for (size_t i = 0; i < values.size(); ++i) {
            sqlite3_value *value = sqlite3_column_value(statement, int(i) + 1);
            Kept &kept = values[i];
            kept.type = sqlite3_value_type(value);
            kept.integer = sqlite3_value_int64(value);
            kept.real = sqlite3_value_double(value);
            if (kept.type == SQLITE_TEXT || kept.type == SQLITE_BLOB)
                kept.text.assign(static_cast<const char *>(sqlite3_value_blob(value)), size_t(sqlite3_value_bytes(value)));
        }
        table.rows[sqlite3_column_int64(statement, 0)].push_back(std::move(values));
    }
    sqlite3_finalize(statement);
    table.ok = ok && rc == SQLITE_DONE;
    return table;
}

void put(ResultRows &rows, int column, const Kept &value)
{
    switch (value.type) {
    case SQLITE_NULL: rows.setNull(column); break;
    case SQLITE_INTEGER: rows.setInteger(column, value.integer); break;
    case SQLITE_FLOAT: rows.setReal(column, value.real); break;
    default: rows.setText(column, value.text); break;
    }
}

void put(ResultRows &rows, int column, const held::Value &value)
{
    switch (value.kind) {
    case held::Value::Null: rows.setNull(column); break;
    case held::Value::Integer: rows.setInteger(column, value.integer); break;
    case held::Value::Real: rows.setReal(column, value.real); break;
    default: rows.setText(column, value.text); break;
    }
}

}  // namespace

std::optional<ado::Error> QueryEngine::runListing(const listing::Shape &shape, sqlite3_stmt *statement,
                                                   const std::vector<int> &adoTypes, ResultRows &rows)
{
    const auto found = m_heldTables->tables.find(QStringLiteral("software"));
    if (found == m_heldTables->tables.end() || sqlite3_column_count(statement) != kHeadColumns)
        return std::nullopt;
    const held::HeldTable &software = *found->second;
    const QVector<jet::Column> &columns = software.columns;

    // Every column the statement reads from the titles, of a type this path knows.
    int fromTitles[kHeadColumns];
    for (int i = 0; i < kHeadColumns; ++i)
        if (kHead[i].table == 'A' && (fromTitles[i] = columnOf(columns, kHead[i].column)) < 0)
            return std::nullopt;
    const int typeId = columnOf(columns, "SoftwareTypeID");
    const int siteId = columnOf(columns, "SiteID");
    const int name = columnOf(columns, "Name");
    const int description = columnOf(columns, "Description");
    int filterId = -1;
    if (shape.filter == listing::Shape::Filter::CategoryId || shape.filter == listing::Shape::Filter::SubCategoryId) {
        filterId = columnOf(columns, shape.filter == listing::Shape::Filter::CategoryId ? "CategoryID" : "SubCategoryID");
        if (filterId < 0 || !isWholeNumber(columns[filterId].type))
            return std::nullopt;
    }
    if (typeId < 0 || siteId < 0 || !isWholeNumber(columns[typeId].type) || !isWholeNumber(columns[siteId].type)
        || name != software.keyColumn || description < 0 || !isText(columns[description].type))
        return std::nullopt;
    const KeyedTable types = readKeyed(m_db, kTypesSql);
    const KeyedTable sites = readKeyed(m_db, kSitesSql);
    if (!types.ok || !sites.ok)
        return std::nullopt;

    for (int i = 0; i < kHeadColumns; ++i)
        rows.addColumn(QString::fromUtf8(sqlite3_column_name(statement, i)), adoTypes[size_t(i)]);
    std::size_t first = 0, end = software.rows.size();
    if (shape.filter == listing::Shape::Filter::Name)
        std::tie(first, end) = held::equalRange(software.rows, shape.text.toStdString());
    const jettext::LikePattern pattern(
        shape.filter == listing::Shape::Filter::Search ? ('%' + shape.text + '%').toStdString() : std::string(), '%', '_');
    std::vector<jet::Cell> cells(size_t(columns.size()));
    const auto whole = [&](int column, std::int64_t &value) {
        value = cells[size_t(column)].integer;
        return !cells[size_t(column)].isNull;
    };
    // The clock is read every few thousand steps, a step being a title looked at or a row
    // made: one title joined to thousands of types and sites is as much work as thousands
    // of titles. The result's own limits bound its rows and bytes (ResultRows::TooLarge).
    std::int64_t steps = 0;
    const auto step = [&]() -> bool {
        if (++steps % kRowsPerCheck != 0)
            return true;
        if (nowMs() > m_deadlineMs)
            return false;
        if (m_progress) {
            const std::int64_t reported = nowMs();
            m_progress({Progress::Stage::Listing, QString(), rows.rowCount(), 0});
            m_deadlineMs += nowMs() - reported;
        }
        return true;
    };
    if (nowMs() > m_deadlineMs)
        return engineError(SQLITE_INTERRUPT);
    for (std::size_t row = first; row < end; ++row) {
        if (!step())
            return engineError(SQLITE_INTERRUPT);
        if (shape.filter == listing::Shape::Filter::Search) {
            // The name and description first: most rows go no further.
            software.rows.cells(row, cells, nullptr, size_t(std::max(name, description)) + 1);
            const jet::Cell &n = cells[size_t(name)], &d = cells[size_t(description)];
            if (!(!n.isNull && pattern.matches(n.text)) && !(!d.isNull && pattern.matches(d.text)))
                continue;
        }
        software.rows.cells(row, cells);
        std::int64_t id = 0;
        if (filterId >= 0 && !(whole(filterId, id) && id == shape.id))
            continue;
        std::int64_t typeKey = 0, siteKey = 0;
        if (!whole(typeId, typeKey) || !whole(siteId, siteKey))
            continue;
        const auto type = types.rows.find(typeKey);
        const auto site = sites.rows.find(siteKey);
        if (type == types.rows.end() || site == sites.rows.end())
            continue;
        for (const std::vector<Kept> &t : type->second) {
            for (const std::vector<Kept> &s : site->second) {
                for (int i = 0; i < kHeadColumns; ++i) {
                    switch (kHead[i].table) {
                    case 'A': put(rows, i, held::valueOf(columns[fromTitles[i]].type, cells[size_t(fromTitles[i])])); break;
                    case 'B': put(rows, i, t[size_t(kHead[i].kept)]); break;
                    default: put(rows, i, s[size_t(kHead[i].kept)]); break;
                    }
                }
                rows.endRow();
                if (!step())
                    return engineError(SQLITE_INTERRUPT);
            }
        }
    }
    return ado::Error{};
}
