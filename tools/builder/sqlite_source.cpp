#include "tools/builder/sqlite_source.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <fstream>

namespace build {
namespace {

std::string quoted(const std::string &name)
{
    std::string q = "\"";
    for (char c : name)
        q += c == '"' ? std::string("\"\"") : std::string(1, c);
    return q + '"';
}

class Statement {
public:
    Statement(sqlite3 *db, const std::string &sql, const std::string &path)
    {
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &m_stmt, nullptr) != SQLITE_OK) {
            const std::string why = sqlite3_errmsg(db);
            throw BuildError("'" + path + "' cannot be read as a SQLite database: " + why);
        }
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;
    bool step(const std::string &path)
    {
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW)
            return true;
        if (rc != SQLITE_DONE)
            throw BuildError("'" + path + "' cannot be read as a SQLite database: " +
                             sqlite3_errmsg(sqlite3_db_handle(m_stmt)));
        return false;
    }
    std::string text(int i) const
    {
        const auto *t = sqlite3_column_text(m_stmt, i);
        return t ? reinterpret_cast<const char *>(t) : "";
    }
    int integer(int i) const { return sqlite3_column_int(m_stmt, i); }
    sqlite3_stmt *get() const { return m_stmt; }

private:
    sqlite3_stmt *m_stmt = nullptr;
};

std::string upperWithoutSpaces(const std::string &s)
{
    std::string out;
    for (unsigned char c : s)
        if (!std::isspace(c))
            out += char(std::toupper(c));
    return out;
}

bool parseInt(std::string_view s, int &out)
{
    const auto r = std::from_chars(s.data(), s.data() + s.size(), out);
    return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

}  // namespace

jet::Column storageForDeclared(const std::string &declared)
{
    const std::string d = upperWithoutSpaces(declared);
    std::string name = d, args;
    if (const auto open = d.find('('); open != std::string::npos && d.back() == ')') {
        name = d.substr(0, open);
        args = d.substr(open + 1, d.size() - open - 2);
    }
    jet::Column c;
    auto simple = [&](jet::StoredType t) {
        c.type = t;
        return args.empty() && name == d;
    };
    bool ok = false;
    if (name == "INTEGER" || name == "LONG")
        ok = simple(jet::StoredType::Long);
    else if (name == "SMALLINT")
        ok = simple(jet::StoredType::Int);
    else if (name == "TINYINT")
        ok = simple(jet::StoredType::Byte);
    else if (name == "TEXT" && name == d)
        ok = simple(jet::StoredType::Memo);
    else if (name == "TEXT" || name == "VARCHAR") {
        c.type = jet::StoredType::Text;
        ok = parseInt(args, c.length);
    } else if (name == "REAL" || name == "DOUBLE")
        ok = simple(jet::StoredType::Double);
    else if (name == "FLOAT")
        ok = simple(jet::StoredType::Float);
    else if (name == "MONEY" || name == "CURRENCY")
        ok = simple(jet::StoredType::Money);
    else if (name == "DECIMAL" || name == "NUMERIC") {
        c.type = jet::StoredType::Numeric;
        const auto comma = args.find(',');
        ok = comma != std::string::npos && parseInt(std::string_view(args).substr(0, comma), c.precision) &&
             parseInt(std::string_view(args).substr(comma + 1), c.scale);
    } else if (name == "BOOLEAN")
        ok = simple(jet::StoredType::Boolean);
    else if (name == "DATE" || name == "DATETIME")
        ok = simple(jet::StoredType::Date);
    else if (name == "GUID")
        ok = simple(jet::StoredType::Guid);
    else if (name == "BLOB")
        ok = simple(jet::StoredType::Ole);
    else if (name == "BIGINT")
        ok = simple(jet::StoredType::BigInt);
    else if (name == "DATETIME2")
        ok = simple(jet::StoredType::DateTimeExt);
    if (!ok)
        throw BuildError("unknown declared type '" + declared + "'");
    return c;
}

bool SqliteSource::looksLikeSqlite(const std::string &path)
{
    static const char kHeader[] = "SQLite format 3";
    char head[sizeof kHeader] = {};
    std::ifstream in(path, std::ios::binary);
    return in.read(head, sizeof head) && std::memcmp(head, kHeader, sizeof kHeader) == 0;
}

SqliteSource::SqliteSource(const std::string &path) : m_path(path)
{
    if (sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        const std::string why = m_db ? sqlite3_errmsg(m_db) : "out of memory";
        sqlite3_close(m_db);
        m_db = nullptr;
        throw BuildError("cannot open '" + path + "': " + why);
    }
    Statement list(m_db,
                   "SELECT name, sql FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' "
                   "ORDER BY rowid",
                   path);
    while (list.step(path)) {
        TableDef t;
        t.name = list.text(0);
        std::string sql = list.text(1);
        std::transform(sql.begin(), sql.end(), sql.begin(), [](unsigned char ch) { return char(std::toupper(ch)); });
        if (sql.rfind("CREATE VIRTUAL", 0) == 0)
            throw BuildError("table '" + t.name + "' is a virtual table, which a catalog cannot hold");
        Statement info(m_db, "PRAGMA table_info(" + quoted(t.name) + ")", path);
        std::vector<std::pair<int, std::string>> key;
        std::string soleKeyDeclared;
        while (info.step(path)) {
            jet::Column c;
            const std::string name = info.text(1), declared = info.text(2);
            try {
                c = storageForDeclared(declared);
            } catch (const BuildError &e) {
                throw BuildError("table '" + t.name + "', column '" + name + "': " + e.what());
            }
            c.name = name;
            if (const int position = info.integer(5); position > 0) {
                key.emplace_back(position, name);
                soleKeyDeclared = upperWithoutSpaces(declared);
            }
            t.columns.push_back(c);
        }
        std::sort(key.begin(), key.end());
        for (const auto &k : key)
            t.primaryKey.push_back(k.second);
        // An INTEGER PRIMARY KEY numbers its rows itself (SQLite allows AUTOINCREMENT on nothing
        // else); a key declared LONG is a plain Long.
        if (key.size() == 1 && soleKeyDeclared == "INTEGER")
            for (jet::Column &c : t.columns)
                if (c.name == key.front().second)
                    c.autoNumber = true;
        m_tables.push_back(std::move(t));
    }
}

SqliteSource::~SqliteSource() { sqlite3_close(m_db); }

void SqliteSource::forEachRow(std::size_t index, const std::function<void(const std::vector<Value> &)> &row)
{
    const TableDef &t = m_tables[index];
    std::string columns;
    for (const jet::Column &c : t.columns)
        columns += (columns.empty() ? "" : ", ") + quoted(c.name);
    Statement select(m_db, "SELECT " + columns + " FROM " + quoted(t.name), m_path);
    std::vector<Value> values(t.columns.size());
    while (select.step(m_path)) {
        for (int i = 0; i < int(values.size()); ++i) {
            Value &v = values[std::size_t(i)];
            v.bytes.clear();
            switch (sqlite3_column_type(select.get(), i)) {
            case SQLITE_INTEGER:
                v.kind = Value::Kind::Integer;
                v.integer = sqlite3_column_int64(select.get(), i);
                break;
            case SQLITE_FLOAT:
                v.kind = Value::Kind::Real;
                v.real = sqlite3_column_double(select.get(), i);
                break;
            case SQLITE_TEXT:
            case SQLITE_BLOB: {
                const bool text = sqlite3_column_type(select.get(), i) == SQLITE_TEXT;
                const void *data = text ? static_cast<const void *>(sqlite3_column_text(select.get(), i))
                                        : sqlite3_column_blob(select.get(), i);
                v.kind = text ? Value::Kind::Text : Value::Kind::Blob;
                v.bytes.assign(static_cast<const char *>(data ? data : ""),
                               std::size_t(sqlite3_column_bytes(select.get(), i)));
                break;
            }
            default:
                v.kind = Value::Kind::Null;
            }
        }
        row(values);
    }
}

}  // namespace build
