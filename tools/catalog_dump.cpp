// catalog-dump FILE                      every user table, in the table script format
// catalog-dump FILE --query "STATEMENT" [--sort "EXPR"] [--filter "EXPR"]
//                                        the statement's rows, opened as a listing
// catalog-dump FILE --sqlite OUT.sqlite  every user table into a new SQLite database, with
//                                        declared types that catalog-build reads back
// Values print without locale (binary values in hex); names and values are escaped (\\ \t \n
// \r, \uXXXX for other control characters), so each stays in its field and line. A failed
// open prints "<number> : <description>" and exits 1.

#include "catalog/ado/connection.h"
#include "catalog/reader_client/catalog_file.h"
#include "catalog/ado/recordset.h"
#include "jet/codec.h"
#include "jet/protocol.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <sqlite3.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#endif

namespace {

using jet::kMoneyScale;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

/// Text (UTF-8) as it prints: a backslash, a tab, a line break, any other control character
/// and the Unicode line and paragraph separators are escaped, so no name or value can end
/// its field or its line.
void appendEscaped(std::string &out, std::string_view text)
{
    static const char kHex[] = "0123456789abcdef";
    const auto escapeCodePoint = [&](unsigned cp) {
        out += "\\u";
        for (int shift = 12; shift >= 0; shift -= 4)
            out.push_back(kHex[(cp >> shift) & 0xf]);
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0u;
        const auto third = i + 2 < text.size() ? static_cast<unsigned char>(text[i + 2]) : 0u;
        switch (c) {
        case '\\': out += "\\\\"; continue;
        case '\t': out += "\\t"; continue;
        case '\n': out += "\\n"; continue;
        case '\r': out += "\\r"; continue;
        }
        if (c < 0x20 || c == 0x7f) {
            escapeCodePoint(c);
        } else if (c == 0xc2 && next >= 0x80 && next <= 0x9f) {  // U+0080..U+009F
            escapeCodePoint(next);
            ++i;
        } else if (c == 0xe2 && next == 0x80 && (third == 0xa8 || third == 0xa9)) {  // U+2028, U+2029
            escapeCodePoint(0x2000 | (third & 0x3f));
            i += 2;
        } else {
            out.push_back(char(c));
        }
    }
}

void appendMoney(std::string &out, std::int64_t scaled) { out += jet::codec::moneyText(scaled); }

/// Exact decimal digits without the trailing zeros of their scale: "29.9500" as 29.95, "0.0000" as 0.
void appendDecimal(std::string &out, std::string_view digits)
{
    if (digits.find('.') != std::string_view::npos) {
        while (digits.back() == '0')
            digits.remove_suffix(1);
        if (digits.back() == '.')
            digits.remove_suffix(1);
    }
    out += digits;
}

/// Binary values as two upper-case hex digits a byte.
void appendHex(std::string &out, std::string_view bytes)
{
    static const char kHex[] = "0123456789ABCDEF";
    for (const char c : bytes) {
        out.push_back(kHex[(static_cast<unsigned char>(c) >> 4) & 0xf]);
        out.push_back(kHex[static_cast<unsigned char>(c) & 0xf]);
    }
}

/// A Single or Double in the fewest digits that read back to the same value, in plain or
/// exponent form, whichever is shorter (3.4028235e+38, not its 39 digits).
template <typename T>
void appendReal(std::string &out, T value)
{
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, res.ptr);
}

/// A date as days since 1899-12-30, the fraction the time of day (also for dates before it).
/// Only a date Jet can hold: any other is Null (see isNullCell).
void appendDate(std::string &out, double days)
{
    if (jet::codec::isDay(days))
        out += jet::codec::dateText(days);
}

/// Null, or a real the reader sends as Null (a date Jet cannot hold, a NaN): the dump says
/// what the program shows.
bool isNullCell(jet::StoredType type, const reader_client::Cell &cell)
{
    const bool real = type == jet::StoredType::Double || type == jet::StoredType::Float || type == jet::StoredType::Date;
    return cell.isNull || (real && !jet::protocol::keepsReal(cell.real, type == jet::StoredType::Date));
}

void appendCell(std::string &out, jet::StoredType type, const reader_client::Cell &cell)
{
    if (isNullCell(type, cell)) {
        out += "\\N";
        return;
    }
    switch (type) {
    case jet::StoredType::Long:
    case jet::StoredType::Int:
    case jet::StoredType::Byte:
    case jet::StoredType::Boolean:
    case jet::StoredType::BigInt:
        out += std::to_string(cell.integer);
        break;
    case jet::StoredType::Money:
        appendMoney(out, cell.integer);
        break;
    case jet::StoredType::Double:
        appendReal(out, cell.real);
        break;
    case jet::StoredType::Float:
        appendReal(out, float(cell.real));
        break;
    case jet::StoredType::Date:
        appendDate(out, cell.real);
        break;
    case jet::StoredType::Text:
    case jet::StoredType::Memo:
    case jet::StoredType::Guid:
    case jet::StoredType::DateTimeExt:
        appendEscaped(out, cell.text);
        break;
    case jet::StoredType::Numeric:
        appendDecimal(out, cell.text);
        break;
    case jet::StoredType::Binary:
    case jet::StoredType::Ole:
        appendHex(out, cell.text);
        break;
    case jet::StoredType::Count:
        break;
    }
}

void appendValue(std::string &out, int adoType, const QVariant &value)
{
    if (ado::isNull(value)) {
        out += "\\N";
        return;
    }
    switch (adoType) {
    case ado::adBoolean:
        out += value.toBool() ? "1" : "0";
        break;
    case ado::adCurrency:
        appendMoney(out, std::llround(value.toDouble() * kMoneyScale));
        break;
    case ado::adDouble:
    case ado::adNumeric:
        appendReal(out, value.toDouble());
        break;
    case ado::adBinary:
    case ado::adLongVarBinary: {
        const QByteArray bytes = value.toByteArray();
        appendHex(out, std::string_view(bytes.constData(), size_t(bytes.size())));
        break;
    }
    case ado::adSingle:
        appendReal(out, value.toFloat());
        break;
    case ado::adDate: {
        const QDateTime at = value.toDateTime();
        out += at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toStdString();
        break;
    }
    case ado::adInteger:
    case ado::adSmallInt:
    case ado::adUnsignedTinyInt:
        out += std::to_string(value.toLongLong());
        break;
    default:
        appendEscaped(out, value.toString().toStdString());
    }
}

void flush(std::string &out)
{
    std::fwrite(out.data(), 1, out.size(), stdout);
    out.clear();
}

int fail(const ado::Error &err)
{
    std::fflush(stdout);
    std::fprintf(stderr, "%d : %s\n", int(err.Number), err.Description.toUtf8().constData());
    return kExitFailure;
}

/// Says once on stderr of each column of `table` that cannot be shown what its values are.
void noteUnshown(const QString &table, const QVector<jet::Column> &columns)
{
    for (const jet::Column &c : columns)
        if (c.unshown)
            std::fprintf(stderr, "catalog-dump: column '%s' of table '%s' (type %u) %s\n", c.name.c_str(),
                         table.toUtf8().constData(), unsigned(c.storedCode),
                         c.type == jet::StoredType::Long
                             ? "is an attachment or multi-valued field: its values are the numbers that key them"
                             : "is of a type that cannot be read: its values are Null");
}

/// Prints one table as it streams in.
class ScriptSink : public reader_client::RowSink {
public:
    explicit ScriptSink(std::string &out) : m_out(out) {}
    QString table;
    void columns(const QVector<jet::Column> &columns) override
    {
        noteUnshown(table, columns);
        m_types.clear();
        for (const jet::Column &c : columns) {
            m_out += "COLUMN ";
            appendEscaped(m_out, c.name);
            m_out += ' ' + std::string(jet::scriptWord(c.type));
            if (c.type == jet::StoredType::Text || c.type == jet::StoredType::Binary)
                m_out += ' ' + std::to_string(c.length);
            if (c.type == jet::StoredType::Numeric)
                m_out += ' ' + std::to_string(c.precision) + ' ' + std::to_string(c.scale);
            if (c.autoNumber)
                m_out += " AUTONUMBER";
            if (c.calculated)
                m_out += " CALCULATED";
            m_out += '\n';
            m_types.push_back(c.type);
        }
    }
    void row(const std::vector<reader_client::Cell> &cells) override
    {
        m_out += "ROW ";
        for (std::size_t i = 0; i < cells.size(); ++i) {
            if (i)
                m_out += '\t';
            appendCell(m_out, m_types[i], cells[i]);
        }
        m_out += '\n';
        if (m_out.size() > (1u << 16))
            flush(m_out);
    }

private:
    std::string &m_out;
    std::vector<jet::StoredType> m_types;
};


/// The declared type that catalog-build maps back to the column's storage type. A Long
/// that is the whole primary key without being an AutoNumber is declared LONG: SQLite
/// would take an INTEGER key for its own row number, which catalog-build makes an AutoNumber.
std::string declaredType(const jet::Column &c, bool soleKey)
{
    switch (c.type) {
    case jet::StoredType::Long:
        return c.autoNumber ? "INTEGER PRIMARY KEY AUTOINCREMENT" : soleKey ? "LONG" : "INTEGER";
    case jet::StoredType::Int: return "SMALLINT";
    case jet::StoredType::Byte: return "TINYINT";
    case jet::StoredType::Text: return "VARCHAR(" + std::to_string(c.length) + ")";
    case jet::StoredType::Memo: return "TEXT";
    case jet::StoredType::Money: return "MONEY";
    case jet::StoredType::Boolean: return "BOOLEAN";
    case jet::StoredType::Double: return "DOUBLE";
    case jet::StoredType::Float: return "FLOAT";
    case jet::StoredType::Date: return "DATETIME";
    case jet::StoredType::Numeric: return "DECIMAL(" + std::to_string(c.precision) + "," + std::to_string(c.scale) + ")";
    case jet::StoredType::Guid: return "GUID";
    case jet::StoredType::Binary:
    case jet::StoredType::Ole: return "BLOB";
    case jet::StoredType::BigInt: return "BIGINT";
    case jet::StoredType::DateTimeExt: return "DATETIME2";
    case jet::StoredType::Count: break;
    }
    return "BLOB";
}

/// Writes each table into a SQLite database as it streams in.
class SqliteSink : public reader_client::RowSink {
public:
    SqliteSink(sqlite3 *db, QString table) : m_db(db), m_table(std::move(table)) {}
    ~SqliteSink() override { sqlite3_finalize(m_insert); }
    std::string error;

    void columns(const QVector<jet::Column> &columns) override
    {
        noteUnshown(m_table, columns);
        std::string create = "CREATE TABLE " + quoted(m_table) + " (";
        std::string insert = "INSERT INTO " + quoted(m_table) + " VALUES (";
        std::vector<const jet::Column *> key;
        for (int place = 1; place <= columns.size(); ++place)
            for (const jet::Column &c : columns)
                if (c.keyPosition == place)
                    key.push_back(&c);
        const auto autoNumber = std::find_if(columns.begin(), columns.end(), [](const jet::Column &c) { return c.autoNumber; });
        const bool keyIsAutoNumber = key.size() == 1 && key.front()->autoNumber;
        if (autoNumber != columns.end() && !key.empty() && !keyIsAutoNumber) {
            std::fprintf(stderr, "catalog-dump: table '%s': its primary key is not kept, since the AutoNumber '%s' "
                                 "must be SQLite's INTEGER PRIMARY KEY to stay one\n",
                         qPrintable(m_table), autoNumber->name.c_str());
            key.clear();
        }
        for (int i = 0; i < columns.size(); ++i) {
            const bool soleKey = key.size() == 1 && key.front() == &columns[i];
            create += (i ? ", " : "") + quoted(QString::fromStdString(columns[i].name)) + ' ' + declaredType(columns[i], soleKey);
            insert += i ? ", ?" : "?";
            m_columns.push_back(columns[i]);
        }
        if (!key.empty() && !keyIsAutoNumber) {
            create += ", PRIMARY KEY (";
            for (std::size_t k = 0; k < key.size(); ++k)
                create += (k ? ", " : "") + quoted(QString::fromStdString(key[k]->name));
            create += ")";
        }
        create += ")";
        insert += ")";
        if (sqlite3_exec(m_db, create.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK ||
            sqlite3_prepare_v2(m_db, insert.c_str(), -1, &m_insert, nullptr) != SQLITE_OK)
            error = sqlite3_errmsg(m_db);
    }
    void row(const std::vector<reader_client::Cell> &cells) override
    {
        ++m_row;
        if (!error.empty())
            return;
        std::string date;
        for (int i = 0; i < int(cells.size()); ++i) {
            const reader_client::Cell &cell = cells[std::size_t(i)];
            if (isNullCell(m_columns[i].type, cell)) {
                sqlite3_bind_null(m_insert, i + 1);
                continue;
            }
            switch (m_columns[i].type) {
            case jet::StoredType::Money: {
                const double amount = double(cell.integer) / kMoneyScale;
                if (std::llround(amount * kMoneyScale) != cell.integer)
                    std::fprintf(stderr, "catalog-dump: table '%s', row %lld, column '%s': the amount is rounded, "
                                         "SQLite keeps 15 digits\n",
                                 qPrintable(m_table), static_cast<long long>(m_row), m_columns[i].name.c_str());
                sqlite3_bind_double(m_insert, i + 1, amount);
                break;
            }
            case jet::StoredType::Double:
            case jet::StoredType::Float:
                sqlite3_bind_double(m_insert, i + 1, cell.real);
                break;
            case jet::StoredType::Date:
                date.clear();
                appendDate(date, cell.real);
                sqlite3_bind_text(m_insert, i + 1, date.data(), int(date.size()), SQLITE_TRANSIENT);
                break;
            case jet::StoredType::Text:
            case jet::StoredType::Memo:
            case jet::StoredType::Guid:
            case jet::StoredType::DateTimeExt:
            case jet::StoredType::Numeric:  // its exact digits
                sqlite3_bind_text(m_insert, i + 1, cell.text.data(), int(cell.text.size()), SQLITE_TRANSIENT);
                break;
            case jet::StoredType::Binary:
            case jet::StoredType::Ole:
                sqlite3_bind_blob(m_insert, i + 1, cell.text.data(), int(cell.text.size()), SQLITE_TRANSIENT);
                break;
            default:
                sqlite3_bind_int64(m_insert, i + 1, cell.integer);
            }
        }
        if (sqlite3_step(m_insert) != SQLITE_DONE)
            error = "row " + std::to_string(m_row) + ": " + sqlite3_errmsg(m_db);
        sqlite3_reset(m_insert);
    }

private:
    static std::string quoted(const QString &name)
    {
        std::string q = "\"";
        for (char c : name.toStdString())
            q += c == '"' ? std::string("\"\"") : std::string(1, c);
        return q + '"';
    }

    sqlite3 *m_db;
    QString m_table;
    QVector<jet::Column> m_columns;
    sqlite3_stmt *m_insert = nullptr;
    long long m_row = 0;
};

int failText(const std::string &message)
{
    std::fflush(stdout);
    std::fprintf(stderr, "catalog-dump: %s\n", message.c_str());
    return kExitFailure;
}

/// Every user table into a new SQLite database at `target`, written under a temporary
/// name beside it and renamed into place once complete.
int dumpToSqlite(const QString &path, const QString &target)
{
    reader_client::CatalogFile file;
    if (auto err = file.open(path))
        return fail(err);
    const QFileInfo info(target);
    const QString temp = info.dir().filePath(QStringLiteral(".%1.part-%2").arg(info.fileName()).arg(QCoreApplication::applicationPid()));
    QFile::remove(temp);
    sqlite3 *db = nullptr;
    auto cleanUp = [&] {
        sqlite3_close(db);
        QFile::remove(temp);
    };
    if (sqlite3_open_v2(temp.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
        const std::string why = db ? sqlite3_errmsg(db) : "out of memory";
        cleanUp();
        return failText("cannot write '" + target.toStdString() + "': " + why);
    }
    // Freed space zeroed whichever SQLite is linked (Debian's zeroes it by default): the same
    // catalog gives the same bytes on every system.
    sqlite3_exec(db, "PRAGMA secure_delete = ON; PRAGMA journal_mode = OFF; BEGIN", nullptr, nullptr, nullptr);
    for (const QString &name : file.tableNames()) {
        ado::Error err;
        std::string sinkError;
        {
            // Its statement finished before the database is closed: a database left open
            // cannot be removed on Windows, and its temporary file would stay.
            SqliteSink sink(db, name);
            err = file.readTable(name, sink);
            sinkError = sink.error;
        }
        if (err) {
            cleanUp();
            return fail(err);
        }
        if (!sinkError.empty()) {
            cleanUp();
            return failText("table '" + name.toStdString() + "': " + sinkError);
        }
    }
    const bool committed = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    const bool closed = sqlite3_close(db) == SQLITE_OK;
    db = nullptr;
    QFile::remove(target);
    if (!committed || !closed || !QFile::rename(temp, target)) {
        cleanUp();
        return failText("cannot write '" + target.toStdString() + "'");
    }
    return 0;
}

int dumpTables(const QString &path)
{
    reader_client::CatalogFile file;
    if (auto err = file.open(path))
        return fail(err);
    std::string out;
    ScriptSink sink(out);
    for (const QString &name : file.tableNames()) {
        out += "TABLE ";
        appendEscaped(out, name.toStdString());
        out += '\n';
        sink.table = name;
        if (auto err = file.readTable(name, sink)) {
            flush(out);
            return fail(err);
        }
    }
    flush(out);
    return 0;
}

int dumpQuery(const QString &path, const QString &sql, const QString *sort, const QString *filter)
{
    auto cn = std::make_shared<ado::Connection>();
    cn->CursorLocation = ado::adUseClient;
    const QString connect = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + path + QLatin1Char(';');
    if (auto err = cn->Open(connect, QString(), QString(), ado::adConnectUnspecified))
        return fail(err);
    ado::Recordset rs;
    rs.CursorLocation = ado::adUseClient;
    if (auto err = rs.Open(sql, cn, ado::adOpenStatic, ado::adLockReadOnly, ado::adCmdText))
        return fail(err);
    if (sort)
        if (auto err = rs.setSort(*sort))
            return fail(err);
    if (filter)
        if (auto err = rs.setFilter(*filter))
            return fail(err);
    std::string out;
    const int fields = rs.fieldCount();
    std::vector<int> types;
    for (int i = 0; i < fields; ++i) {
        const ado::Field f = rs.field(i);
        out += "COLUMN ";
        appendEscaped(out, f.Name.toStdString());
        out += ' ' + std::to_string(f.Type) + '\n';
        types.push_back(f.Type);
    }
    const int count = rs.RecordCount();
    for (int r = 0; r < count; ++r) {
        out += "ROW ";
        for (int i = 0; i < fields; ++i) {
            if (i)
                out += '\t';
            appendValue(out, types[i], rs.valueAt(r, i));
        }
        out += '\n';
        if (out.size() > (1u << 16))
            flush(out);
    }
    flush(out);
    return 0;
}

int usage()
{
    std::fprintf(stderr, "usage: catalog-dump FILE [--query \"STATEMENT\" [--sort \"EXPR\"] [--filter \"EXPR\"]]\n"
                         "       catalog-dump FILE --sqlite OUT.sqlite\n");
    return kExitUsage;
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
#ifdef Q_OS_WIN
    // A table script is the same bytes on every system (catalog-build takes either line end).
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return usage();
    const QString path = args.first();
    if (args.size() >= 2 && args[1] == QLatin1String("--sqlite"))
        return args.size() == 3 ? dumpToSqlite(path, args[2]) : usage();
    QString query, sort, filter;
    bool hasQuery = false, hasSort = false, hasFilter = false;
    for (int i = 1; i < args.size(); i += 2) {
        if (i + 1 >= args.size())
            return usage();
        const QString &option = args[i];
        if (option == QLatin1String("--query")) {
            query = args[i + 1];
            hasQuery = true;
        } else if (option == QLatin1String("--sort")) {
            sort = args[i + 1];
            hasSort = true;
        } else if (option == QLatin1String("--filter")) {
            filter = args[i + 1];
            hasFilter = true;
        } else {
            return usage();
        }
    }
    if (!hasQuery && (hasSort || hasFilter))
        return usage();
    if (!hasQuery)
        return dumpTables(path);
    return dumpQuery(path, query, hasSort ? &sort : nullptr, hasFilter ? &filter : nullptr);
}
