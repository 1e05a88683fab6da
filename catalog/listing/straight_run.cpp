// The software listings run straight over the held titles: the same rows, in the same order
// and with the same values as the statement gives, without SQLite's work per row. Anything
// this path does not know exactly (a column of another type, a missing column) is left to
// SQLite.

#include "catalog/listing/straight_run.h"

#include "catalog/engine/held_table.h"
#include "catalog/jettext/jet_text.h"
#include "catalog/listing/query.h"
#include "catalog/listing/request.h"
#include "catalog/engine/result_rows.h"


#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <tuple>
#include <string>
#include <unordered_map>

using namespace listing;

namespace {

// The values read from a joined table: its key, then the head's columns from it, in order.
std::string keyedSql(const JoinedTable &joined)
{
    std::string sql = std::string("SELECT ") + joined.key;
    for (const HeadColumn &c : headColumns())
        if (c.from == joined.as)
            sql += std::string(", ") + c.column;
    return sql + " FROM " + joined.table;
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

// A small table read through SQLite: its rows in stored order, and their places by the
// whole-number key in its first column, each key's rows in stored order, as a join meets them.
struct KeyedTable {
    std::vector<std::vector<Kept>> rows;
    std::unordered_map<std::int64_t, std::vector<std::uint32_t>> byKey;
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
        table.byKey[sqlite3_column_int64(statement, 0)].push_back(std::uint32_t(table.rows.size()));
        table.rows.push_back(std::move(values));
    }
    sqlite3_finalize(statement);
    table.ok = ok && rc == SQLITE_DONE;
    return table;
}

void put(engine::ResultRows &rows, int column, const Kept &value)
{
    switch (value.type) {
    case SQLITE_NULL: rows.setNull(column); break;
    case SQLITE_INTEGER: rows.setInteger(column, value.integer); break;
    case SQLITE_FLOAT: rows.setReal(column, value.real); break;
    default: rows.setText(column, value.text); break;
    }
}

void put(engine::ResultRows &rows, int column, const engine::HeldValue &value)
{
    switch (value.kind) {
    case engine::HeldValue::Null: rows.setNull(column); break;
    case engine::HeldValue::Integer: rows.setInteger(column, value.integer); break;
    case engine::HeldValue::Real: rows.setReal(column, value.real); break;
    default: rows.setText(column, value.text); break;
    }
}

// The kinds this path answers: every kind there is. A kind added later is a warning here
// (-Wswitch) until it is taught to this path or sent through SQLite.
bool answersStraight(Request::Kind kind)
{
    switch (kind) {
    case Request::Kind::AllTitles:
    case Request::Kind::Search:
    case Request::Kind::Category:
    case Request::Kind::SubCategory:
    case Request::Kind::Title: break;
    }
    return true;
}

// Where each head column's value comes from: a column of the titles, or a value kept from
// a joined table.
struct Source {
    int joined = -1;  // the joined table (its place in joinedTables()); -1 for the titles
    int at = 0;       // the titles' column, or the place among the joined table's kept values
};

std::optional<ado::Error> runOverTitles(const Request &request, engine::QueryEngine::StraightRun &run, engine::ResultRows &rows)
{
    const std::span<const HeadColumn> head = headColumns();
    const std::span<const JoinedTable> joined = joinedTables();
    const int headColumnCount = int(head.size());
    sqlite3_stmt *statement = run.statement();
    const engine::HeldTable *held = run.heldTable(QLatin1String(kTitlesTable));
    if (!held || sqlite3_column_count(statement) != headColumnCount)
        return std::nullopt;
    const engine::HeldTable &titles = *held;
    const QVector<jet::Column> &columns = titles.columns;
    const Request::Kind kind = request.kind();
    if (!answersStraight(kind))
        return std::nullopt;

    // Every column the statement reads from the titles, of a type this path knows.
    std::vector<Source> sources(head.size());
    std::vector<int> keptSoFar(joined.size(), 0);
    for (int i = 0; i < headColumnCount; ++i) {
        if (head[size_t(i)].from == 'A') {
            if ((sources[size_t(i)].at = columnOf(columns, head[size_t(i)].column)) < 0)
                return std::nullopt;
            continue;
        }
        for (std::size_t j = 0; j < joined.size(); ++j)
            if (joined[j].as == head[size_t(i)].from)
                sources[size_t(i)] = {int(j), keptSoFar[j]++};
    }
    std::vector<int> joinKeys;
    for (const JoinedTable &j : joined) {
        const int key = columnOf(columns, j.key);
        if (key < 0 || !isWholeNumber(columns[key].type))
            return std::nullopt;
        joinKeys.push_back(key);
    }
    const int name = columnOf(columns, kNameColumn);
    const int description = columnOf(columns, kDescriptionColumn);
    int filterId = -1;
    std::int64_t wantedId = 0;
    if (kind == Request::Kind::Category || kind == Request::Kind::SubCategory) {
        // A key that is no whole number (text, a GUID) is compared as the statement has it.
        if (!request.key())
            return std::nullopt;
        wantedId = *request.key();
        filterId = columnOf(columns, kind == Request::Kind::Category ? kCategoryColumn : kSubCategoryColumn);
        if (filterId < 0 || !isWholeNumber(columns[filterId].type))
            return std::nullopt;
    }
    if (name != titles.keyColumn || description < 0 || !isText(columns[description].type))
        return std::nullopt;
    std::vector<KeyedTable> keyed;
    for (const JoinedTable &j : joined) {
        keyed.push_back(readKeyed(run.database(), keyedSql(j).c_str()));
        if (!keyed.back().ok)
            return std::nullopt;
    }
    static_assert(kJoinedCount == 2, "the loops below are written for a type and a site");

    // The titles' values are shared with the result wherever it keeps them as they are
    // held, and the joined tables' values are kept once each and shared: a row of the result
    // is then the places it takes them from. Any other column is copied a row at a time.
    const int titleMap = rows.addRowMap();
    const int joinedMaps[2] = {rows.addRowMap(), rows.addRowMap()};
    std::vector<engine::ResultRows> joinedValues(joined.size());
    for (int i = 0; i < headColumnCount; ++i)
        if (sources[size_t(i)].joined >= 0)
            joinedValues[size_t(sources[size_t(i)].joined)].addColumn(QString(), run.columnTypes()[size_t(i)]);
    for (std::size_t j = 0; j < joined.size(); ++j) {
        for (const std::vector<Kept> &kept : keyed[j].rows) {
            for (std::size_t k = 0; k < kept.size(); ++k)
                put(joinedValues[j], int(k), kept[k]);
            joinedValues[j].endRow();
        }
    }
    std::vector<int> copied;  // the head columns copied a row at a time
    for (int i = 0; i < headColumnCount; ++i) {
        const QString columnName = QString::fromUtf8(sqlite3_column_name(statement, i));
        const int adoType = run.columnTypes()[size_t(i)];
        const Source &from = sources[size_t(i)];
        if (from.joined >= 0) {
            rows.addSharedColumn(columnName, adoType, joinedValues[size_t(from.joined)].ownValues(from.at),
                                 joinedMaps[from.joined]);
            continue;
        }
        const std::shared_ptr<const engine::ColumnValues> values = titles.rows.values(size_t(from.at));
        if (titles.rows.keepsValuesAsGiven(size_t(from.at)) && values->storage() == engine::ResultRows::storageOf(adoType)) {
            rows.addSharedColumn(columnName, adoType, values, titleMap);
        } else {
            rows.addColumn(columnName, adoType);
            copied.push_back(i);
        }
    }
    std::size_t first = 0, end = titles.rows.size();
    if (kind == Request::Kind::Title)
        std::tie(first, end) = engine::equalRange(titles.rows, request.value().toStdString());
    const bool search = kind == Request::Kind::Search;
    const jettext::LikePattern pattern(search ? ('%' + request.value() + '%').toStdString() : std::string(), '%', '_');
    const auto whole = [](const engine::ColumnValues &values, std::size_t row, std::int64_t &value) {
        if (values.isNull(row))
            return false;
        value = values.integer(row);
        return true;
    };
    const std::shared_ptr<const engine::ColumnValues> filterValues = filterId >= 0 ? titles.rows.values(size_t(filterId)) : nullptr;
    const std::shared_ptr<const engine::ColumnValues> typeKeys = titles.rows.values(size_t(joinKeys[0]));
    const std::shared_ptr<const engine::ColumnValues> siteKeys = titles.rows.values(size_t(joinKeys[1]));
    const std::shared_ptr<const engine::ColumnValues> nameValues = titles.rows.values(size_t(name));
    const std::shared_ptr<const engine::ColumnValues> descriptionValues = titles.rows.values(size_t(description));
    const engine::ColumnValues &names = *nameValues, &descriptions = *descriptionValues;
    // A step is a title looked at or a row made: one title joined to thousands of types and
    // sites is as much work as thousands of titles. The result's own limits bound its rows
    // and bytes (ResultRows::TooLarge).
    if (!run.inTime())
        return run.stopped();
    const KeyedTable &types = keyed[0];
    const KeyedTable &sites = keyed[1];
    for (std::size_t row = first; row < end; ++row) {
        if (!run.step(rows))
            return run.stopped();
        // The name and description first: most rows go no further.
        if (search && !(!names.isNull(row) && pattern.matches(names.text(row)))
            && !(!descriptions.isNull(row) && pattern.matches(descriptions.text(row))))
            continue;
        std::int64_t id = 0;
        if (filterValues && !(whole(*filterValues, row, id) && id == wantedId))
            continue;
        std::int64_t typeKey = 0, siteKey = 0;
        if (!whole(*typeKeys, row, typeKey) || !whole(*siteKeys, row, siteKey))
            continue;
        const auto type = types.byKey.find(typeKey);
        const auto site = sites.byKey.find(siteKey);
        if (type == types.byKey.end() || site == sites.byKey.end())
            continue;
        for (const std::uint32_t t : type->second) {
            for (const std::uint32_t s : site->second) {
                rows.setSourceRow(titleMap, std::uint32_t(row));
                rows.setSourceRow(joinedMaps[0], t);
                rows.setSourceRow(joinedMaps[1], s);
                for (const int i : copied)
                    put(rows, i, titles.rows.value(row, size_t(sources[size_t(i)].at)));
                rows.endRow();
                if (!run.step(rows))
                    return run.stopped();
            }
        }
    }
    return ado::Error{};
}

}  // namespace

namespace listing {

void holdTitles(engine::QueryEngine &engine)
{
    engine.indexOnLoad(QLatin1String(kTitlesTable), QLatin1String(kNameColumn));
}

engine::QueryEngine::StraightAnswer straightAnswer(const Request &request)
{
    return [request](engine::QueryEngine::StraightRun &run, engine::ResultRows &rows) { return runOverTitles(request, run, rows); };
}

ado::Error list(engine::QueryEngine &engine, const Request &request, engine::ResultRows &rows)
{
    return engine.execute(request.sql(), rows, straightAnswer(request));
}

}  // namespace listing
