// catalog-build is checked only through readers that did not write its files: the
// project's reader (catalog-dump), mdbtools (mdb-tables, mdb-schema, mdb-export) and the
// npm mdb-reader package. Each reads a built catalog back into the table script it was
// built from.

#include "tests/support/catalog_tool.h"
#include "tests/support/test_data.h"
#include "tools/builder/catalog_model.h"
#include "tools/builder/page_file.h"

#include <QtEndian>
#include <QtTest>

#include <sqlite3.h>

#include <bit>
#include <functional>

// The independent readers (mdbtools, the npm package) are Linux programs: the Windows build's
// files are checked by our reader alone there, and by all three in the Linux build.
#ifdef Q_OS_WIN
#define QCOMPARE_OTHER(actual, expected) (void)0
#define QVERIFY_OTHER(condition) (void)0
#else
#define QCOMPARE_OTHER QCOMPARE
#define QVERIFY_OTHER QVERIFY
#endif

namespace {

/// A table script taken apart, so that each reader's known habits can be allowed for.
struct Script {
    struct Column {
        QByteArray name, type, rest;  // rest: length, precision and scale, AUTONUMBER
    };
    struct Table {
        QByteArray name;
        QList<Column> columns;
        QList<QByteArrayList> rows;
    };
    QList<Table> tables;

    static Script parse(const QByteArray &text)
    {
        Script s;
        for (const QByteArray &line : text.split('\n')) {
            if (line.startsWith("TABLE ")) {
                s.tables.append({line.mid(6), {}, {}});
            } else if (line.startsWith("COLUMN ") && !s.tables.isEmpty()) {
                const QByteArrayList w = line.split(' ');
                s.tables.last().columns.append({w.value(1), w.value(2), w.mid(3).join(' ')});
            } else if ((line.startsWith("ROW ") || line == "ROW") && !s.tables.isEmpty()) {
                s.tables.last().rows.append(line.mid(4).split('\t'));
            }
        }
        return s;
    }
    QByteArray text() const
    {
        QByteArray out;
        for (const Table &t : tables) {
            out += "TABLE " + t.name + '\n';
            for (const Column &c : t.columns)
                out += "COLUMN " + c.name + ' ' + c.type + (c.rest.isEmpty() ? "" : " " + c.rest) + '\n';
            for (const QByteArrayList &r : t.rows)
                out += "ROW " + r.join('\t') + '\n';
        }
        return out;
    }
    /// Applies `f` to every cell, with its column.
    void eachCell(const std::function<void(const Column &, QByteArray &)> &f)
    {
        for (Table &t : tables)
            for (QByteArrayList &r : t.rows)
                for (int i = 0; i < r.size() && i < t.columns.size(); ++i)
                    f(t.columns[i], r[i]);
    }
    /// Without the columns whose type is one of `types` (a reader that leaves them out).
    Script without(const QByteArrayList &types) const
    {
        Script s = *this;
        for (Table &t : s.tables)
            for (int i = t.columns.size(); i-- > 0;)
                if (types.contains(t.columns[i].type)) {
                    t.columns.removeAt(i);
                    for (QByteArrayList &r : t.rows)
                        r.removeAt(i);
                }
        return s;
    }
};

/// The script without PRIMARYKEY lines, which no reader prints.
QByteArray asRead(const QByteArray &script) { return Script::parse(script).text(); }

/// The project's reader does not read what a calculated column is computed by, and writes
/// binary data in capital hex digits.
QByteArray forOurReader(const QByteArray &script)
{
    QByteArrayList lines = script.split('\n');
    for (QByteArray &line : lines)
        if (const qsizetype at = line.indexOf(" CALCULATED "); line.startsWith("COLUMN ") && at >= 0)
            line.truncate(at + 11);
    Script s = Script::parse(lines.join('\n'));
    s.eachCell([](const Script::Column &c, QByteArray &v) { v = c.type == "OLE" ? v.toUpper() : v; });
    return s.text();
}

QByteArray ourReader(const QString &file)
{
    const ToolRun o = runTool(tool("catalog-dump"), {file});
    return o.code == 0 ? o.out : o.failure;
}

QByteArray npmReader(const QString &file)
{
    const ToolRun o = runTool(QStringLiteral("node"), {QStringLiteral(QUORBIX_JET_READER "/dump.mjs"), file});
    return o.code == 0 ? o.out : o.failure;
}

/// mdbtools' habits: it prints no AutoNumber mark, a zero-length text as Null, a character
/// beyond the 16-bit range as two '?', dates only from 1899-12-30 to about 2700, and
/// numbers in its own notation.
void mdbtoolsHabits(Script &s)
{
    for (Script::Table &t : s.tables)
        for (Script::Column &c : t.columns)
            c.rest = c.rest.replace("AUTONUMBER", "").trimmed();
    s.eachCell([](const Script::Column &c, QByteArray &v) {
        if (v == "\\N")
            return;
        if ((c.type == "TEXT" || c.type == "MEMO") && v.isEmpty())
            v = "\\N";
        else if (c.type == "TEXT" || c.type == "MEMO") {
            QString text = QString::fromUtf8(v);
            for (QChar &ch : text)
                if (ch.isSurrogate())
                    ch = QLatin1Char('?');
            v = text.toUtf8();
        }
        else if (c.type == "DATE" && (v < "1899-12-30" || v >= "2700"))
            v = "(beyond mdbtools' dates)";
        else if (c.type == "DOUBLE")
            v = QByteArray::number(v.toDouble(), 'g', 17);
        else if (c.type == "FLOAT")
            v = QByteArray::number(double(v.toFloat()), 'g', 9);
        else if ((c.type == "MONEY" || c.type == "NUMERIC") && v.contains('.')) {
            while (v.endsWith('0'))
                v.chop(1);
            if (v.endsWith('.'))
                v.chop(1);
        }
    });
}

QByteArray forMdbtools(const QByteArray &script)
{
    Script s = Script::parse(script).without({"OLE"});
    mdbtoolsHabits(s);
    return s.text();
}

QByteArray mdbtoolsType(QByteArray declared)
{
    declared = declared.trimmed();
    if (declared.endsWith(" NOT NULL"))
        declared.chop(9);
    if (declared.startsWith("Text ("))
        return "TEXT " + declared.mid(6, declared.size() - 7);
    if (declared.startsWith("Numeric ("))
        return "NUMERIC " + declared.mid(9, declared.size() - 10).replace(",", "").simplified();
    static const QHash<QByteArray, QByteArray> words = {
        {"Long Integer", "LONG"}, {"Integer", "INT"}, {"Byte", "BYTE"}, {"Memo/Hyperlink (255)", "MEMO"},
        {"Currency", "MONEY"}, {"Boolean", "BOOLEAN"}, {"Double", "DOUBLE"}, {"Single", "FLOAT"},
        {"DateTime", "DATE"}, {"Replication ID", "GUID"}, {"OLE (255)", "OLE"}};
    return words.value(declared, "?" + declared);
}

QByteArray mdbtoolsReader(const QString &file)
{
    const ToolRun tables = runTool(QStringLiteral("mdb-tables"), {QStringLiteral("-1"), file});
    if (tables.code != 0)
        return tables.failure;
    Script s;
    for (const QByteArray &name : tables.out.split('\n')) {
        if (name.isEmpty())
            continue;
        Script::Table t{name, {}, {}};
        const ToolRun schema = runTool(QStringLiteral("mdb-schema"), {QStringLiteral("-T"), QString::fromUtf8(name), file});
        for (const QByteArray &line : schema.out.split('\n')) {
            if (!line.startsWith("\t["))
                continue;
            const int close = line.indexOf(']');
            QByteArray type = line.mid(close + 1).trimmed();
            if (type.endsWith(','))
                type.chop(1);
            const QByteArrayList w = mdbtoolsType(type).split(' ');
            t.columns.append({line.mid(2, close - 2), w.first(), w.mid(1).join(' ')});
        }
        const ToolRun rows = runTool(QStringLiteral("mdb-export"),
                                 {"-H", "-Q", "-e", "-d", "\t", "-0", "\\N", "-b", "hex", "-T", "%Y-%m-%d %H:%M:%S",
                                  file, QString::fromUtf8(name)});
        if (schema.code != 0 || rows.code != 0)
            return schema.failure + rows.failure;
        for (const QByteArray &line : rows.out.split('\n'))
            if (!line.isEmpty() || t.columns.size() == 1)
                t.rows.append(line.split('\t'));
        if (t.columns.size() == 1 && !t.rows.isEmpty())
            t.rows.removeLast();  // the empty line after the last row
        s.tables.append(t);
    }
    s.eachCell([](const Script::Column &c, QByteArray &v) {
        if (c.type == "GUID" && v != "\\N")
            v = QByteArray::fromHex(v).toUpper();  // binary export mode turns its text into hex
        if (c.type == "GUID" && v.size() == 37)
            v = v.left(24) + '-' + v.mid(24);  // mdbtools runs the last two groups together
        if (c.type == "DATE" && v.startsWith("1900-01-00"))
            v = "(beyond mdbtools' dates)";
    });
    return forMdbtools(s.text());
}

/// A script with one table of the given columns and rows (cells joined by TAB).
QByteArray table(const QByteArray &name, const QByteArrayList &columns, const QByteArrayList &rows)
{
    QByteArray s = "TABLE " + name + '\n';
    for (const QByteArray &c : columns)
        s += "COLUMN " + c + '\n';
    for (const QByteArray &r : rows)
        s += "ROW " + r + '\n';
    return s;
}

QByteArray repeated(const QByteArray &unit, int times) { return unit.repeated(times); }

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

/// A SQLite database made by running `sql`.
void makeSqlite(const QString &path, const QByteArray &sql)
{
    QFile::remove(path);
    sqlite3 *db = nullptr;
    QCOMPARE(sqlite3_open(path.toUtf8().constData(), &db), SQLITE_OK);
    char *message = nullptr;
    const int rc = sqlite3_exec(db, sql.constData(), nullptr, nullptr, &message);
    const QByteArray why = message ? message : "";
    sqlite3_free(message);
    sqlite3_close(db);
    QVERIFY2(rc == SQLITE_OK, why.constData());
}

/// The primary key of `table` as mdbtools states it ("" when it states none).
QByteArray mdbtoolsKey(const QString &file, const QByteArray &table)
{
    const ToolRun o = runTool(QStringLiteral("mdb-schema"), {"-T", QString::fromUtf8(table), file, "postgres"});
    for (const QByteArray &line : o.out.split('\n'))
        if (line.contains("PRIMARY KEY"))
            return line.mid(line.indexOf("PRIMARY KEY"));
    return o.failure;
}

/// The first column of each row that `sql` (with `arg` bound to its ?) gives in a SQLite database.
QByteArrayList sqliteRows(const QString &path, const char *sql, const QByteArray &arg = {})
{
    QByteArrayList rows;
    sqlite3 *db = nullptr;
    sqlite3_stmt *st = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK) {
        sqlite3_bind_text(st, 1, arg.constData(), int(arg.size()), SQLITE_TRANSIENT);
        while (sqlite3_step(st) == SQLITE_ROW)
            rows << reinterpret_cast<const char *>(sqlite3_column_text(st, 0));
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return rows;
}

/// The key tuples of the first table in `script`, in the order an ascending index over the
/// `key` columns holds them (numbers compared as numbers), tab between, one a line.
QByteArray keysInOrder(const QByteArray &script, const QByteArrayList &key)
{
    const Script s = Script::parse(script);
    const Script::Table &t = s.tables.first();
    QList<int> at;
    for (const QByteArray &k : key)
        for (int i = 0; i < t.columns.size(); ++i)
            if (t.columns[i].name == k)
                at << i;
    QList<QList<qint64>> tuples;
    for (const QByteArrayList &r : t.rows) {
        QList<qint64> tuple;
        for (int i : at)
            tuple << r[i].toLongLong();
        tuples << tuple;
    }
    std::sort(tuples.begin(), tuples.end());
    QByteArray out;
    for (const QList<qint64> &tuple : tuples) {
        QByteArrayList cells;
        for (qint64 v : tuple)
            cells << QByteArray::number(v);
        out += cells.join('\t') + '\n';
    }
    return out;
}

/// A Jet 4 file's primary-key index of the table whose definition is on `tdefPage`, as
/// far as it does not depend on where pages lie: the real index entry without its usage
/// map and root page, the logical entry and name, and the key bytes of every leaf entry
/// in the order a walk from the root finds them. Empty when the table has no index.
QByteArray jet4IndexShape(const QByteArray &file, quint32 tdefPage)
{
    constexpr int kPage = 4096;
    auto u16 = [&](const QByteArray &b, qsizetype at) { return quint32(quint8(b[at])) | quint32(quint8(b[at + 1])) << 8; };
    auto u32 = [&](const QByteArray &b, qsizetype at) { return u16(b, at) | u16(b, at + 2) << 16; };
    QByteArray def;
    for (quint32 pg = tdefPage, first = 1; pg != 0 && def.size() < 64 * kPage; first = 0) {
        def += file.mid(qsizetype(pg) * kPage + (first ? 0 : 8), first ? kPage : kPage - 8);
        pg = u32(file, qsizetype(pg) * kPage + 4);
    }
    const quint32 columns = u16(def, 45), logical = u32(def, 47), real = u32(def, 51);
    if (logical != 1 || real != 1)
        return QByteArray::number(logical) + " logical, " + QByteArray::number(real) + " real indexes";
    qsizetype at = 63 + 12 + qsizetype(columns) * 25;
    for (quint32 i = 0; i < columns; ++i)
        at += 2 + u16(def, at);
    QByteArray shape = def.mid(at, 34).toHex() + ' ' + def.mid(at + 42, 10).toHex() + ' ' + def.mid(at + 52, 28).toHex() +
                       ' ' + def.mid(at + 80 + 2, u16(def, at + 80)) + '\n';
    const quint32 keyWidth = 1 + 4;  // the tests' keys are single Longs
    std::function<void(quint32)> walk = [&](quint32 pg) {
        const QByteArray page = file.mid(qsizetype(pg) * kPage, kPage);
        const bool leaf = page[0] == 4;
        qsizetype start = 0x1e0;
        for (int bit = 1; bit < (0x1e0 - 27) * 8; ++bit) {
            if (!(quint8(page[27 + bit / 8]) & (1 << (bit % 8))))
                continue;
            const QByteArray entry = page.mid(start, 0x1e0 + bit - start);
            start = 0x1e0 + bit;
            if (leaf)
                shape += entry.left(keyWidth).toHex() + '\n';
            else
                walk(quint32(quint8(entry[entry.size() - 3])) << 16 | quint32(quint8(entry[entry.size() - 2])) << 8 |
                     quint8(entry[entry.size() - 1]));
        }
    };
    walk(u32(def, at + 38));
    return shape;
}

}  // namespace

class TestCatalogBuild : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QByteArray buildScript(const QByteArray &script, const QString &built, const QStringList &format = {})
    {
        return ::buildScript(script, path(QStringLiteral("source.txt")), built, format);
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    // No file past its version's limit: 2 GB of 4 KB pages for Jet 4.0, 1 GB of 2 KB pages
    // for Jet 3. Pages are only counted here, never written, and nothing is left behind.
    void shouldRefuseAFileLargerThanItsVersionHolds_data()
    {
        QTest::addColumn<bool>("jet3");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("Jet 4.0") << false << "the catalog needs more than the 2 GB a Jet 4.0 file can hold";
        QTest::newRow("Jet 3") << true << "the catalog needs more than the 1 GB a Jet 3 file can hold";
    }
    void shouldRefuseAFileLargerThanItsVersionHolds()
    {
        QFETCH(bool, jet3);
        QFETCH(QString, refusal);
        const jet::layout::Layout &layout = jet3 ? jet::layout::kJet3 : jet::layout::kJet4;
        const std::uint32_t pages = std::uint32_t(layout.maxFileBytes / layout.pageSize);
        const QString out = path(QStringLiteral("limit.mdb"));
        {
            build::writer::PageFile file(out.toStdString(), layout);
            QCOMPARE(file.allocate(pages - 1), 0u);
            QCOMPARE(file.allocate(), pages - 1);  // the last page the version holds
            try {
                file.allocate();
                QFAIL("a page past the limit was given");
            } catch (const build::BuildError &e) {
                QCOMPARE(QString::fromUtf8(e.what()), refusal);
            }
        }
        QVERIFY(!QFile::exists(out));
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden).filter(QStringLiteral("limit")), QStringList());
    }

    // Every table script read back by the readers that did not write it: in Jet 4.0 (large
    // files by our reader and mdb-reader only); in ACE 16 the types only Access 2016 and later
    // files have, and calculated columns (mdb-reader reads the first two types but not what
    // Access calculated, mdbtools neither); in Jet 3 every fixture it can hold (Western text,
    // no decimals), and the places where its layouts differ.
    void shouldBeReadBackAsBuiltByEveryReader_data()
    {
        QTest::addColumn<QString>("format");  // empty: the builder's own
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<bool>("npm");
        QTest::addColumn<bool>("mdbtools");
        const auto row = [](const char *format, const char *name) -> QTestData & {
            return QTest::newRow(name) << QString::fromLatin1(format);
        };
        // Every fixture's script: in Jet 4.0 (ACE 16 for the newest types), and in Jet 3 where
        // it holds no decimals.
        const QDir data(testDataPath(QString()));
        const QStringList fixtures = data.entryList({QStringLiteral("*.txt")}, QDir::Files);
        QVERIFY(fixtures.size() >= 9);
        for (const QString &name : fixtures) {
            const QByteArray script = readAll(data.filePath(name));
            if (name == QLatin1String("newest-types.txt")) {
                row("ace16", "newest-types, as the window tests read it") << script << false << false;
                continue;
            }
            row("", qPrintable(name)) << script << true << true;
            if (!script.contains(" NUMERIC "))
                row("jet3", qPrintable("Jet 3: " + name)) << script << true << true;
        }
        QByteArrayList wide, wideRow;
        for (int i = 1; i <= 255; ++i) {
            wide << "C" + QByteArray::number(i) + (i % 3 ? " LONG" : " TEXT 5");
            wideRow << (i % 3 ? QByteArray::number(i * 1000) : "v" + QByteArray::number(i % 100));
        }
        row("", "255 columns") << table("Wide", wide, {wideRow.join('\t'), wideRow.join('\t')}) << true << true;
        const QByteArrayList every = {"ID LONG AUTONUMBER", "I INT", "B BYTE", "T TEXT 10", "M MEMO", "C MONEY",
                                      "Y BOOLEAN", "D DOUBLE", "F FLOAT", "W DATE", "G GUID", "N NUMERIC 19 4"};
        row("", "Null in every type")
            << table("Nulls", every, {"1\t\\N\t\\N\t\\N\t\\N\t\\N\t0\t\\N\t\\N\t\\N\t\\N\t\\N"}) << true << true;
        row("", "zero-length text beside Null")
            << table("Texts", {"T TEXT 10", "M MEMO"}, {"\t", "\\N\t\\N", "\t\\N", "\\N\t"}) << true << true;
        row("", "texts that compress and texts that do not")
            << table("Names", {"Name TEXT 255"},
                     {"Plain ASCII", "Café crème", "Привет, мир", "Smile 😀 twice 😀", "Ā starts with a zero low byte",
                      "\xef\xbb\xbf" "starts with a byte-order mark", "mixed Привет and ASCII again and again",
                      repeated("x", 255), repeated("Ж", 255), repeated("é", 255)})
            << true << true;
        row("", "memos inline, on one page and chained")
            << table("Memos", {"ID LONG", "M MEMO"},
                     {"1\t", "2\tx", "3\t" + repeated("a", 4000), "4\t" + repeated("Юникод ", 4000 / 7),
                      "5\t" + repeated("forty thousand ", 40000 / 15 + 1).left(40000), "6\t" + repeated("z", 1024),
                      "7\t" + repeated("z", 1025)})
            << true << true;
        row("", "singles") << table("Singles", {"F FLOAT"}, {"0.1", "-2.5", "16777216"}) << true << true;
        // The largest and the least, in the shortest text that reads back as each (the npm
        // package writes them out in full).
        row("", "singles at their ends") << table("Singles", {"F FLOAT"}, {"3.4028235e+38", "-3.4028235e+38", "1e-45"})
                                         << false << true;
        row("", "money at its limits")
            << table("Money", {"C MONEY"},
                     {"922337203685477.5807", "-922337203685477.5808", "-922337203685477.5807", "0.0001", "-0.0001", "0"})
            << true << true;
        row("", "decimals with scale 0 and 28")
            << table("Decimals", {"ID LONG", "Whole NUMERIC 28 0", "Fraction NUMERIC 28 28"},
                     {"1\t9999999999999999999999999999\t0.9999999999999999999999999999",
                      "2\t-9999999999999999999999999999\t-0.0000000000000000000000000001", "3\t0\t0", "4\t1\t0.5"})
            << true << true;
        row("", "dates at and beyond both ends")
            << table("Dates", {"W DATE"},
                     {"1899-12-30 00:00:00", "1899-12-29 00:00:00", "1800-02-28 00:00:00", "0100-01-01 00:00:00",
                      "9999-12-31 23:59:59", "2026-12-07 01:02:03", "1899-12-30 12:00:00"})
            << true << true;
        row("", "replication IDs")
            << table("Guids", {"ID LONG", "G GUID"},
                     {"1\t{00000000-0000-0000-0000-000000000000}", "2\t{12345678-9ABC-DEF0-0123-456789ABCDEF}"})
            << true << true;
        QByteArrayList many;
        for (int i = 1; i <= 65535; ++i)
            many << QByteArray::number(i) + "\tTitle " + QByteArray::number(i);
        row("", "65,535 rows") << table("Many", {"ID LONG AUTONUMBER", "Name TEXT 50"}, many) << true << true;
        row("", "a 2,000,000-character memo")
            << table("Giant", {"ID LONG", "M MEMO"}, {"1\t" + repeated("0123456789", 200000)}) << true << false;
        QByteArrayList wideRows;
        // Three rows of about 1,340 bytes to a page (Cyrillic does not compress): 33,334
        // pages, more than one usage-map page covers.
        const QByteArray filler = repeated("Ф", 220);
        for (int i = 1; i <= 100000; ++i)
            wideRows << QByteArray::number(i) + '\t' + filler + '\t' + filler + '\t' + filler;
        row("", "100,000 rows over several usage-map pages")
            << table("Spread", {"ID LONG", "A TEXT 255", "B TEXT 255", "C TEXT 255"}, wideRows) << true << false;
        row("ace16", "Large Number at both ends")
            << table("Big", {"ID LONG", "N BIGINT"},
                     {"1\t9223372036854775807", "2\t-9223372036854775808", "3\t0", "4\t\\N", "5\t-1"})
            << true << false;
        row("ace16", "Date/Time Extended at both ends and to 100 ns")
            << table("Stamps", {"ID LONG", "W DATETIME2"},
                     {"1\t0001-01-01 00:00:00.0000000", "2\t9999-12-31 23:59:59.9999999", "3\t1899-12-30 00:00:00.0000001",
                      "4\t\\N", "5\t2019-05-17 21:03:17.1234567", "6\t1600-02-29 12:00:00.5000000"})
            << true << false;
        const QByteArrayList calculated = {
            "ID LONG AUTONUMBER", "FullName TEXT 60 CALCULATED", "NameLength LONG CALCULATED",
            "Small INT CALCULATED", "Ratio DOUBLE CALCULATED", "Single FLOAT CALCULATED", "Cost MONEY CALCULATED",
            "Exact NUMERIC 28 0 CALCULATED", "Flag BOOLEAN CALCULATED", "Due DATE CALCULATED", "Note MEMO CALCULATED",
            "G GUID CALCULATED"};
        row("ace16", "a calculated column of each result type")
            << table("Calculated", calculated,
                     {"1\tSmith, Ann\t10\t-32768\t1.5\t0.25\t922337203685477.5807\t-1234567890123456789012345678\t1\t"
                      "2019-05-17 21:03:17\tshort memo\t{01234567-89AB-CDEF-0123-456789ABCDEF}",
                      "2\t\\N\t\\N\t\\N\t\\N\t\\N\t\\N\t\\N\t\\N\t\\N\t\\N\t\\N",
                      "3\t\t0\t32767\t-0.000125\t-3\t-0.0001\t0.0000000000000000000000000001\t0\t1899-12-29 06:00:00\t" +
                          repeated("a long memo ", 400) + "\t\\N",
                      "4\tx\t-2147483648\t0\t0\t0\t0\t12.5\t1\t9999-12-31 23:59:59\t\t\\N"})
            << false << false;
        // One-byte offsets: rows on both sides of each 256-byte step need the jump table.
        QByteArrayList steps;
        for (int n = 0; n <= 255; n += 5)
            steps << QByteArray::number(n) + '\t' + repeated("a", n) + '\t' + repeated("b", 255 - n / 2) + '\t' +
                         repeated("c", n) + "\t\\N\t" + repeated("d", 255);
        row("jet3", "Jet 3: rows across 256-byte steps")
            << table("Steps", {"ID LONG", "A TEXT 255", "B TEXT 255", "C TEXT 255", "D TEXT 255", "E TEXT 255"}, steps)
            << true << true;
        row("jet3", "Jet 3: Western text, money, dates and a chained memo")
            << table("Mixed", {"ID LONG AUTONUMBER", "T TEXT 20", "C MONEY", "W DATE", "M MEMO", "Y BOOLEAN"},
                     {"1\tCafé “quoted” €5\t922337203685477.5807\t2026-12-07 01:02:03\t" + repeated("memo ", 2000) + "\t1",
                      "2\t\t-0.0001\t1999-12-31 23:59:59\t\t0", "3\t\\N\t\\N\t\\N\t\\N\t0"})
            << true << true;
    }
    void shouldBeReadBackAsBuiltByEveryReader()
    {
        QFETCH(QString, format);
        QFETCH(QByteArray, script);
        QFETCH(bool, npm);
        QFETCH(bool, mdbtools);
        const QString built = path(format == "ace16" ? QStringLiteral("built.accdb") : QStringLiteral("built.mdb"));
        QCOMPARE(buildScript(script, built, format.isEmpty() ? QStringList() : QStringList{"--format", format}), QByteArray());
        if (format == "ace16")  // its magic and version byte, also where mdb-ver does not run
            QCOMPARE(readAll(built).mid(4, 17), QByteArray("Standard ACE DB\0\5", 17));
        const QByteArray version = format == "ace16" ? "ACE16\n" : format == "jet3" ? "JET3\n" : "JET4\n";
        QCOMPARE_OTHER(runTool(QStringLiteral("mdb-ver"), {built}).out, version);
        QCOMPARE(ourReader(built), forOurReader(script));
        if (npm)
            QCOMPARE_OTHER(npmReader(built), asRead(script));
        if (mdbtools)
            QCOMPARE_OTHER(mdbtoolsReader(built), forMdbtools(script));
        QVERIFY(QFile::remove(built));
    }

    // What a calculated column is computed by travels in its table's catalog row, as Access
    // keeps it; mdbtools reads it back from there.
    void shouldKeepWhatACalculatedColumnIsComputedBy()
    {
        const QString built = path(QStringLiteral("calculated.accdb"));
        QCOMPARE(buildScript("TABLE People\nCOLUMN Last TEXT 20\nCOLUMN First TEXT 20\n"
                       "COLUMN Full TEXT 60 CALCULATED [Last] & \", \" & [First]\n"
                       "COLUMN Length LONG CALCULATED Len([Last])\nCOLUMN Given LONG CALCULATED\n"
                       "ROW Smith\tAnn\tSmith, Ann\t5\t1\n",
                       built, {"--format", "ace16"}),
                 QByteArray());
        const ToolRun props = runTool(QStringLiteral("mdb-prop"), {built, QStringLiteral("People")});
        QCOMPARE_OTHER(props.out, QByteArray("name: Full\n\tExpression: [Last] & \", \" & [First]\n\tResultType: 10\n\n"
                                       "name: Length\n\tExpression: Len([Last])\n\tResultType: 4\n\n"));
        QCOMPARE(ourReader(built), QByteArray("TABLE People\nCOLUMN Last TEXT 20\nCOLUMN First TEXT 20\n"
                                              "COLUMN Full TEXT 60 CALCULATED\nCOLUMN Length LONG CALCULATED\n"
                                              "COLUMN Given LONG CALCULATED\nROW Smith\tAnn\tSmith, Ann\t5\t1\n"));
    }

    // A date is Jet's count of days from 1899-12-30 with the time of day as the size of its
    // fraction: before that day the whole part is negative and the fraction is taken from it
    // (1899-12-29 06:00 is -1.25). Read back by our reader, which reads the stored number
    // itself (mdb-reader counts the fraction forward from the negative day, and mdbtools
    // reads no date before 1899-12-30); the number is also found in the row, after a marker
    // column, since -0.75 and 0.75 read back as the same date.
    void shouldStoreDatesAsDaysFromDecember30th1899_data()
    {
        QTest::addColumn<QByteArray>("date");
        QTest::addColumn<double>("days");
        QTest::newRow("the day before, at six") << QByteArray("1899-12-29 06:00:00") << -1.25;
        QTest::newRow("the day before, at midnight") << QByteArray("1899-12-29 00:00:00") << -1.0;
        QTest::newRow("a century before, at half past noon") << QByteArray("1800-01-01 12:30:00")
                                                             << -(36522 + 45000.0 / 86400);
        QTest::newRow("a century before, at midnight") << QByteArray("1800-01-01 00:00:00") << -36522.0;
        QTest::newRow("two days before, a second to midnight") << QByteArray("1899-12-28 23:59:59")
                                                               << -(2 + 86399.0 / 86400);
    }
    void shouldStoreDatesAsDaysFromDecember30th1899()
    {
        QFETCH(QByteArray, date);
        QFETCH(double, days);
        constexpr quint32 kMark = 0x5a5a5a5a;
        const QByteArray script = table("Dates", {"Mark LONG", "W DATE"}, {QByteArray::number(kMark) + '\t' + date});
        QByteArray stored(12, 0);
        qToLittleEndian<quint32>(kMark, stored.data());
        qToLittleEndian<quint64>(std::bit_cast<quint64>(days), stored.data() + 4);
        for (const char *format : {"jet4", "jet3"}) {
            const QString built = path(QStringLiteral("dates-%1.mdb").arg(QLatin1String(format)));
            QCOMPARE(buildScript(script, built, {"--format", format}), QByteArray());
            QCOMPARE(ourReader(built), forOurReader(script));
            QVERIFY2(readAll(built).contains(stored), format);
        }
    }

    // Jet numbers a row that comes without an AutoNumber from the last one it gave, kept in
    // the table's definition: that must be the largest id among the rows, in whatever order
    // they come, not the last row's.
    void shouldCountAutoNumbersOnFromTheLargestId_data()
    {
        QTest::addColumn<QByteArrayList>("ids");       // as the script gives them; \N for none
        QTest::addColumn<QByteArrayList>("numbered");  // as read back
        QTest::addColumn<quint32>("last");             // kept in the table's definition
        const auto row = [](const char *name) -> QTestData & { return QTest::newRow(name); };
        row("in order") << QByteArrayList{"1", "2", "3"} << QByteArrayList{"1", "2", "3"} << 3u;
        row("out of order") << QByteArrayList{"5", "2", "9", "3"} << QByteArrayList{"5", "2", "9", "3"} << 9u;
        row("with gaps, the largest first") << QByteArrayList{"100", "7", "42"} << QByteArrayList{"100", "7", "42"} << 100u;
        row("a row without one, after a smaller id") << QByteArrayList{"3", "8", "5", "\\N"}
                                                   << QByteArrayList{"3", "8", "5", "9"} << 9u;
        row("rows without one between given ids") << QByteArrayList{"\\N", "20", "4", "\\N", "\\N"}
                                                 << QByteArrayList{"1", "20", "4", "21", "22"} << 22u;
        row("none given") << QByteArrayList{"\\N", "\\N"} << QByteArrayList{"1", "2"} << 2u;
        row("a negative id among them") << QByteArrayList{"3", "-7", "2"} << QByteArrayList{"3", "-7", "2"} << 3u;
        row("no rows") << QByteArrayList{} << QByteArrayList{} << 0u;
    }
    void shouldCountAutoNumbersOnFromTheLargestId()
    {
        QFETCH(QByteArrayList, ids);
        QFETCH(QByteArrayList, numbered);
        QFETCH(quint32, last);
        const auto script = [](const QByteArrayList &column) {
            QByteArrayList rows;
            for (const QByteArray &id : column)
                rows << id + "\tv" + QByteArray::number(rows.size());
            return table("T", {"Ticket LONG AUTONUMBER", "Name TEXT 10"}, rows);
        };
        for (const jet::layout::Layout *layout : {&jet::layout::kJet4, &jet::layout::kJet3}) {
            const bool jet3 = layout == &jet::layout::kJet3;
            const QString built = path(jet3 ? QStringLiteral("numbered3.mdb") : QStringLiteral("numbered.mdb"));
            QCOMPARE(buildScript(script(ids), built, {"--format", jet3 ? "jet3" : "jet4"}), QByteArray());
            QCOMPARE(ourReader(built), forOurReader(script(numbered)));
            const QByteArray file = readAll(built);
            // The definition page that names the column (UTF-16 in Jet 4, one byte a letter in Jet 3).
            const QByteArray name = jet3 ? QByteArray("Ticket") : QByteArray("T\0i\0c\0k\0e\0t\0", 12);
            const qsizetype page = qsizetype(layout->pageSize);
            qsizetype definition = -1;
            for (qsizetype at = page; at + page <= file.size() && definition < 0; at += page)
                if (file[at] == 2 && file.mid(at, page).contains(name))
                    definition = at;
            QVERIFY(definition > 0);
            QCOMPARE(qFromLittleEndian<quint32>(file.constData() + definition + layout->tdefAutoNumber), last);
        }
    }

    // A key of whole numbers becomes Jet's index: mdbtools states it, libmdb's own index walk
    // (Jet 3 pages, which is all it walks) meets every row in key order through the pointers
    // written, mdb-reader still reads every value, and catalog-dump --sqlite keeps the key so
    // that dump, build, dump is the identity. Any other key: a warning and no index.
    void shouldWriteThePrimaryKeyAsJetsIndex_data()
    {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<QByteArrayList>("key");  // empty: no index is written
        QTest::addColumn<QByteArray>("warning");
        QTest::newRow("Long keys negative, zero and positive, out of order")
            << table("T", {"ID LONG", "Name TEXT 20"},
                     {"5\tfive", "-3\tminus three", "0\tzero", "2147483647\tmax", "-2147483648\tmin", "-1\tminus one", "1\tone"})
                   .replace("COLUMN Name", "PRIMARYKEY ID\nCOLUMN Name")
            << QByteArrayList{"ID"} << QByteArray();
        QTest::newRow("Integer keys at both ends")
            << QByteArray("TABLE T\nCOLUMN N INT\nPRIMARYKEY N\nROW 32767\nROW -32768\nROW 0\nROW -1\nROW 256\nROW 255\n")
            << QByteArrayList{"N"} << QByteArray();
        QTest::newRow("Byte keys, unsigned")
            << QByteArray("TABLE T\nCOLUMN B BYTE\nPRIMARYKEY B\nROW 255\nROW 0\nROW 128\nROW 127\nROW 1\n")
            << QByteArrayList{"B"} << QByteArray();
        QTest::newRow("two columns, the second deciding within the first")
            << QByteArray("TABLE T\nCOLUMN A LONG\nCOLUMN B INT\nCOLUMN Note TEXT 5\nPRIMARYKEY B\nPRIMARYKEY A\n"
                          "ROW 1\t-5\tx\nROW -1\t-5\ty\nROW 0\t7\tz\nROW 2\t-6\tw\n")
            << QByteArrayList{"B", "A"} << QByteArray();
        QTest::newRow("an AutoNumber key of an empty table")
            << QByteArray("TABLE T\nCOLUMN ID LONG AUTONUMBER\nCOLUMN Name TEXT 5\nPRIMARYKEY ID\n") << QByteArrayList{"ID"}
            << QByteArray();
        QByteArrayList many;
        for (qint64 i = 0; i < 100000; ++i)  // every key once, scattered: leaves over intermediate pages
            many << QByteArray::number(i * 7919 % 100003 - 50000) + "\tv" + QByteArray::number(i);
        QTest::newRow("100,000 keys in scattered order")
            << table("T", {"ID LONG", "V TEXT 10"}, many).replace("COLUMN V", "PRIMARYKEY ID\nCOLUMN V")
            << QByteArrayList{"ID"} << QByteArray();
        QTest::newRow("a text key: checked, not indexed")
            << QByteArray("TABLE T\nCOLUMN Code TEXT 5\nPRIMARYKEY Code\nROW b\nROW a\n") << QByteArrayList()
            << QByteArray("warning: table 'T': no primary-key index is written, since the key column 'Code' is not a whole number");
        QTest::newRow("a key with a Currency column: checked, not indexed")
            << QByteArray("TABLE T\nCOLUMN ID LONG\nCOLUMN C MONEY\nPRIMARYKEY ID\nPRIMARYKEY C\nROW 1\t2.5\n")
            << QByteArrayList() << QByteArray("warning: table 'T': no primary-key index is written, since the key column 'C'");
    }
    void shouldWriteThePrimaryKeyAsJetsIndex()
    {
        QFETCH(QByteArray, script);
        QFETCH(QByteArrayList, key);
        QFETCH(QByteArray, warning);
        const QString source = path(QStringLiteral("keyed.txt")), jet4 = path(QStringLiteral("keyed.mdb")),
                      jet3 = path(QStringLiteral("keyed3.mdb")), apart = path(QStringLiteral("keyed.sqlite")),
                      again = path(QStringLiteral("again.mdb")), apartAgain = path(QStringLiteral("again.sqlite"));
        writeFile(source, script);
        for (const QString &f : {jet4, jet3, apart, again, apartAgain})
            QFile::remove(f);
        const ToolRun b4 = runTool(tool("catalog-build"), {source, jet4});
        const ToolRun b3 = runTool(tool("catalog-build"), {"--format", "jet3", source, jet3});
        QVERIFY2(b4.code == 0, b4.failure);
        QVERIFY2(b3.code == 0, b3.failure);
        QVERIFY2(warning.isEmpty() ? b4.err.isEmpty() : b4.err.contains(warning), b4.err.constData());

        QByteArrayList quoted;
        for (const QByteArray &k : key)
            quoted << '"' + k.toLower() + '"';
        const QByteArray stated = key.isEmpty() ? QByteArray() : "PRIMARY KEY (" + quoted.join(", ") + ");";
        QCOMPARE_OTHER(mdbtoolsKey(jet4, "T"), stated);
        QCOMPARE_OTHER(mdbtoolsKey(jet3, "T"), stated);
        const ToolRun walk = runTool(tool("index-probe"), {jet3, "T"});
        if (key.isEmpty())
            QCOMPARE_OTHER(walk.code, 1);
        else
            QCOMPARE_OTHER(walk.out, keysInOrder(script, key));
        QVERIFY_OTHER(npmReader(jet4) == asRead(script));

        const ToolRun d = runTool(tool("catalog-dump"), {jet4, "--sqlite", apart});
        QVERIFY2(d.code == 0 && d.err.isEmpty(), d.err.constData());
        QCOMPARE(sqliteRows(apart, "SELECT name FROM pragma_table_info(?) WHERE pk > 0 ORDER BY pk", "T"), key);
        const ToolRun rebuilt = runTool(tool("catalog-build"), {apart, again});
        QVERIFY2(rebuilt.code == 0, rebuilt.failure);
        QCOMPARE(runTool(tool("catalog-dump"), {again, "--sqlite", apartAgain}).failure, QByteArray());
        const char *schema = "SELECT sql FROM sqlite_master WHERE type = 'table' ORDER BY rowid";
        QCOMPARE(sqliteRows(apartAgain, schema), sqliteRows(apart, schema));
        QVERIFY(ourReader(again) == ourReader(jet4));
    }

    // Jet 4 index pages as Access lays them out: the fixture basic.mdb was saved by Access;
    // its table script built again must give the same index entries, apart from page numbers.
    void shouldLayOutTheIndexAsAccessDoes_data()
    {
        QTest::addColumn<QString>("column");  // a column of the table, to find its definition
        for (const char *c : {"CategoryID", "SubCategoryID", "SoftwareTypeID", "SiteID", "DownloadURL1", "FeatureID"})
            QTest::newRow(c) << QString::fromLatin1(c);
    }
    void shouldLayOutTheIndexAsAccessDoes()
    {
        QFETCH(QString, column);
        const QString built = path(QStringLiteral("basic-built.mdb"));
        if (!QFile::exists(built))
            QCOMPARE(runTool(tool("catalog-build"), {testDataPath("basic.txt"), built}).failure, QByteArray());
        const QByteArray access = readAll(testDataPath("basic.mdb")), ours = readAll(built);
        QVERIFY(!access.isEmpty() && !ours.isEmpty());
        // The first definition page whose column names hold `column` (names are UTF-16).
        const QByteArray name(reinterpret_cast<const char *>(column.utf16()), column.size() * 2);
        const auto definitionOf = [&](const QByteArray &file) {
            for (quint32 pg = 3; pg < quint32(file.size() / 4096); ++pg)
                if (file[qsizetype(pg) * 4096] == 2 && file.mid(qsizetype(pg) * 4096, 4096).contains(name))
                    return pg;
            return 0u;
        };
        const QByteArray expected = jet4IndexShape(access, definitionOf(access));
        QVERIFY(expected.count('\n') > 1);
        QCOMPARE(jet4IndexShape(ours, definitionOf(ours)), expected);
    }

    void shouldTakeCatalogsApartAndBuildThemAgain_data()
    {
        QTest::addColumn<QString>("catalog");
        for (const QString name : {"basic", "empty-tables", "many-categories", "memo-chain", "sample", "split-runs", "basic-jet3"})
            QTest::newRow(qPrintable(name)) << testDataPath(name + ".mdb");
    }
    void shouldTakeCatalogsApartAndBuildThemAgain()
    {
        QFETCH(QString, catalog);
        const QString sqlite = path(QStringLiteral("apart.sqlite")), built = path(QStringLiteral("again.mdb"));
        QFile::remove(sqlite);
        const ToolRun d = runTool(tool("catalog-dump"), {catalog, "--sqlite", sqlite});
        QVERIFY2(d.code == 0 && d.err.isEmpty(), d.err.constData());
        const ToolRun b = runTool(tool("catalog-build"), {sqlite, built});
        QVERIFY2(b.code == 0, b.failure);
        QCOMPARE(ourReader(built), ourReader(catalog));
        QCOMPARE_OTHER(npmReader(built), npmReader(catalog));
    }

    // A SQLite database's declared types and a table script, built and read back. A table
    // name with a character whose place in Jet's order of names is not known here is built
    // without the catalog's index of names, and the build says so.
    void shouldBuildEachSourceAsDeclared_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QByteArray>("sql");       // empty: `expected` is the source script too
        QTest::addColumn<QByteArray>("expected");  // as mdb-reader reads the built file
        QTest::addColumn<QByteArray>("warning");   // empty: the build warns of nothing
        QTest::newRow("each declared type")
            << QString() << QByteArray("CREATE TABLE T (A INTEGER, B SMALLINT, C TINYINT, D TEXT(20), E VARCHAR(7), F TEXT, G REAL, "
                          "H DOUBLE, I FLOAT, J MONEY, K CURRENCY, L DECIMAL(10,2), M BOOLEAN, N DATE, O DATETIME, "
                          "P GUID, Q BLOB);"
                          "INSERT INTO T VALUES (-5, 300, 200, 'twenty', 'seven', 'memo', 0.5, 2.25, 1.5, 19.95, '-3.5', "
                          "'12.34', 1, '2024-02-29', '1999-12-31 23:59:59', '{00112233-4455-6677-8899-AABBCCDDEEFF}', x'00ff')")
            << QByteArray("TABLE T\nCOLUMN A LONG\nCOLUMN B INT\nCOLUMN C BYTE\nCOLUMN D TEXT 20\nCOLUMN E TEXT 7\n"
                          "COLUMN F MEMO\nCOLUMN G DOUBLE\nCOLUMN H DOUBLE\nCOLUMN I FLOAT\nCOLUMN J MONEY\nCOLUMN K MONEY\n"
                          "COLUMN L NUMERIC 10 2\nCOLUMN M BOOLEAN\nCOLUMN N DATE\nCOLUMN O DATE\nCOLUMN P GUID\nCOLUMN Q OLE\n"
                          "ROW -5\t300\t200\ttwenty\tseven\tmemo\t0.5\t2.25\t1.5\t19.95\t-3.5\t12.34\t1\t2024-02-29 00:00:00\t"
                          "1999-12-31 23:59:59\t{00112233-4455-6677-8899-AABBCCDDEEFF}\t00ff\n")
            << QByteArray();
        QTest::newRow("AUTOINCREMENT and INTEGER PRIMARY KEY number themselves; tables in creation order")
            << QString() << QByteArray("CREATE TABLE Z (ID INTEGER PRIMARY KEY AUTOINCREMENT, Name text(5));"
                          "CREATE TABLE A (Key integer primary key, V integer);"
                          "CREATE TABLE K (X INTEGER, Y INTEGER, PRIMARY KEY (X, Y));"
                          "INSERT INTO Z (Name) VALUES ('a'), ('b'); INSERT INTO A VALUES (7, 1);")
            << QByteArray("TABLE Z\nCOLUMN ID LONG AUTONUMBER\nCOLUMN Name TEXT 5\nROW 1\ta\nROW 2\tb\n"
                          "TABLE A\nCOLUMN Key LONG AUTONUMBER\nCOLUMN V LONG\nROW 7\t1\n"
                          "TABLE K\nCOLUMN X LONG\nCOLUMN Y LONG\n")
            << QByteArray();
        QTest::newRow("ACE 16: BIGINT and DATETIME2")
            << QString("ace16") << QByteArray("CREATE TABLE T (N BIGINT, W DATETIME2);"
                          "INSERT INTO T VALUES (-9223372036854775808, '2019-05-17 21:03:17.1234567'), (9007199254740993, '0001-01-01')")
            << QByteArray("TABLE T\nCOLUMN N BIGINT\nCOLUMN W DATETIME2\nROW -9223372036854775808\t2019-05-17 21:03:17.1234567\n"
                          "ROW 9007199254740993\t0001-01-01 00:00:00.0000000\n")
            << QByteArray();
        QTest::newRow("a letter beyond A to Z") << QString() << QByteArray() << table("Größe", {"A LONG"}, {"1"})
                                                << QByteArray("the table name 'Größe' holds 'ö', which this builder cannot place "
                                                              "in the system catalog's index of names");
        QTest::newRow("a space") << QString() << QByteArray("CREATE TABLE \"Order Details\" (A INTEGER); INSERT INTO \"Order Details\" VALUES (2)")
                                 << QByteArray("TABLE Order Details\nCOLUMN A LONG\nROW 2\n")
                                 << QByteArray("the table name 'Order Details' holds ' '");
        QTest::newRow("Jet 3: an underscore") << QString("jet3") << QByteArray() << table("Zone_1", {"A LONG"}, {"3"})
                                              << QByteArray("the table name 'Zone_1' holds '_', which this builder cannot place");
    }
    void shouldBuildEachSourceAsDeclared()
    {
        QFETCH(QString, format);
        QFETCH(QByteArray, sql);
        QFETCH(QByteArray, expected);
        QFETCH(QByteArray, warning);
        const QString source = path(sql.isEmpty() ? QStringLiteral("types.txt") : QStringLiteral("types.sqlite"));
        const QString built = path(QStringLiteral("types.mdb"));
        if (sql.isEmpty())
            writeFile(source, expected);
        else
            makeSqlite(source, sql);
        const ToolRun b = runTool(tool("catalog-build"), (format.isEmpty() ? QStringList() : QStringList{"--format", format}) + QStringList{source, built});
        QVERIFY2(b.code == 0, b.failure);
        QVERIFY2(warning.isEmpty() ? b.err.isEmpty()
                                   : b.err.contains("catalog-build: warning: " + warning) && b.err.contains("so no such index is written"),
                 b.err.constData());
        QCOMPARE(ourReader(built), forOurReader(expected));
        QCOMPARE_OTHER(npmReader(built), expected);
        if (format != "ace16")  // mdbtools reads neither newest type
            QCOMPARE_OTHER(mdbtoolsReader(built), forMdbtools(expected));
    }

    void shouldRefuseWithoutLeavingAFile_data()
    {
        QTest::addColumn<QByteArray>("kind");  // "script", "jet3" (a script built as Jet 3), "sqlite", "bytes" or "missing"
        QTest::addColumn<QByteArray>("source");
        QTest::addColumn<QByteArray>("error");  // a part of the message
        QTest::newRow("missing file") << QByteArray("missing") << QByteArray() << QByteArray("no such file");
        QTest::newRow("a SQLite header over no database")
            << QByteArray("bytes") << QByteArray("SQLite format 3\0 and then nothing of a database", 48)
            << QByteArray("cannot be read as a SQLite database");
        QTest::newRow("neither SQLite nor a script") << QByteArray("bytes") << QByteArray("PK\3\4 a zip file")
                                                     << QByteArray("neither a SQLite database nor a table script");
        QTest::newRow("unknown declared type") << QByteArray("sqlite") << QByteArray("CREATE TABLE T (A VARIANT)")
                                               << QByteArray("table 'T', column 'A': unknown declared type 'VARIANT'");
        QTest::newRow("no declared type") << QByteArray("sqlite") << QByteArray("CREATE TABLE T (A)")
                                          << QByteArray("unknown declared type ''");
        QTest::newRow("a table name twice, in other letter case")
            << QByteArray("sqlite") << QByteArray("CREATE TABLE Café (A INTEGER); CREATE TABLE CAFÉ (B INTEGER)")
            << QByteArray("the table name 'CAFÉ' is used twice");
        QTest::newRow("a table named like the system catalog")
            << QByteArray("script") << table("msysobjects", {"A LONG"}, {})
            << QByteArray("the table name 'msysobjects' is used twice");
        QTest::newRow("a table named like another of Jet's system tables")
            << QByteArray("script") << table("msysaces", {"A LONG"}, {})
            << QByteArray("the table name 'msysaces' is taken by a system table that every Jet 4.0 (Access 2000 to 2003) file holds");
        QTest::newRow("a column name twice, in other letter case")
            << QByteArray("script") << table("T", {"Größe LONG", "GRÖßE LONG"}, {})
            << QByteArray("the column name 'GRÖßE' is used twice in table 'T'");
        QTest::newRow("a name of 65 characters") << QByteArray("script") << table(repeated("n", 65), {"A LONG"}, {})
                                                 << QByteArray("is longer than 64 characters");
        for (const char *c : {".", "!", "`", "[", "]"})
            QTest::newRow(qPrintable(QStringLiteral("a name with %1").arg(QLatin1String(c))))
                << QByteArray("sqlite") << QByteArray("CREATE TABLE \"a") + c + "b\" (A INTEGER)"
                << QByteArray("holds a character Jet forbids");
        QTest::newRow("a text longer than its column")
            << QByteArray("script") << table("T", {"ID LONG", "Name TEXT 5"}, {"1\tfive!", "2\tsix!!!"})
            << QByteArray("table 'T', row 2, column 'Name': the text has 6 characters, more than the column's 5");
        QTest::newRow("a Long out of range")
            << QByteArray("sqlite") << QByteArray("CREATE TABLE T (N INTEGER); INSERT INTO T VALUES (2147483648)")
            << QByteArray("table 'T', row 1, column 'N': 2147483648 is out of range");
        QTest::newRow("a Byte below zero") << QByteArray("script") << table("T", {"B BYTE"}, {"-1"})
                                           << QByteArray("column 'B': '-1' is out of range (0 to 255)");
        QTest::newRow("money beyond Currency") << QByteArray("script") << table("T", {"C MONEY"}, {"922337203685477.5808"})
                                               << QByteArray("out of the range of Currency");
        QTest::newRow("a Single past its largest") << QByteArray("script") << table("T", {"F FLOAT"}, {"3.4028236e+38"})
                                                   << QByteArray("'3.4028236e+38' is out of the range of Single");
        QTest::newRow("money with five decimals") << QByteArray("script") << table("T", {"C MONEY"}, {"1.00001"})
                                                  << QByteArray("more than four decimals");
        QTest::newRow("a decimal with too many digits") << QByteArray("script") << table("T", {"N NUMERIC 5 2"}, {"1234.5"})
                                                        << QByteArray("more than 5 digits");
        QTest::newRow("the year 10000") << QByteArray("script") << table("T", {"W DATE"}, {"10000-01-01 00:00:00"})
                                        << QByteArray("column 'W': '10000-01-01 00:00:00' is not a date");
        // Each part of the time one past its last value, refused rather than carried over.
        for (const char *when : {"2001-01-01 10:00:60", "2001-01-01 10:60:00", "2001-12-31 24:00:00"})
            QTest::newRow(when) << QByteArray("script") << table("T", {"W DATE"}, {when})
                                << "column 'W': '" + QByteArray(when) + "' is not a date";
        QTest::newRow("Date/Time Extended at second 60") << QByteArray("ace16") << table("T", {"W DATETIME2"}, {"2019-01-01 23:59:60"})
                                                         << QByteArray("'2019-01-01 23:59:60' is not a date");
        QTest::newRow("the year 99") << QByteArray("script") << table("T", {"W DATE"}, {"0099-12-31 00:00:00"})
                                     << QByteArray("out of Jet's range of dates");
        QTest::newRow("a date given as a number")
            << QByteArray("sqlite") << QByteArray("CREATE TABLE T (W DATETIME); INSERT INTO T VALUES (45000)")
            << QByteArray("is not a date written as text");
        QTest::newRow("a row wider than a page")
            << QByteArray("script") << table("T", {"A TEXT 255", "B TEXT 255", "C TEXT 255", "D TEXT 255", "E TEXT 255",
                                                   "F TEXT 255", "G TEXT 255", "H TEXT 255", "I TEXT 255"},
                                             {QByteArrayList(9, repeated("Ж", 255)).join('\t')})
            << QByteArray("table 'T', row 1: the row needs");
        QTest::newRow("a primary key twice, in other letter case")
            << QByteArray("sqlite")
            << QByteArray("CREATE TABLE T (Code VARCHAR(5) PRIMARY KEY, N INTEGER); INSERT INTO T VALUES ('ab', 1), ('AB', 2)")
            << QByteArray("table 'T', row 2: the primary key (Code) repeats an earlier row's");
        QTest::newRow("a Long primary key twice, found once the index is sorted")
            << QByteArray("script") << QByteArray("TABLE T\nCOLUMN ID LONG\nPRIMARYKEY ID\nROW 7\nROW 5\nROW 7\nROW 5\n")
            << QByteArray("table 'T', row 3: the primary key (ID) repeats an earlier row's");
        QTest::newRow("a two-column key twice")
            << QByteArray("script")
            << QByteArray("TABLE T\nCOLUMN A LONG\nCOLUMN B BYTE\nPRIMARYKEY A\nPRIMARYKEY B\nROW 1\t2\nROW 2\t1\nROW 1\t2\n")
            << QByteArray("table 'T', row 3: the primary key (A, ...) repeats an earlier row's");
        QTest::newRow("a Null in the primary key")
            << QByteArray("script") << QByteArray("TABLE T\nCOLUMN ID LONG\nPRIMARYKEY ID\nROW 1\nROW \\N\n")
            << QByteArray("table 'T', row 2, column 'ID': the primary key cannot be Null");
        QTest::newRow("Jet 3: text the Western code page cannot hold")
            << QByteArray("jet3") << table("T", {"ID LONG", "Name TEXT 20"}, {"1\tCafé", "2\tПривет"})
            << QByteArray("table 'T', row 2, column 'Name': the text holds a character the Western code page (1252) cannot hold");
        QTest::newRow("Jet 3: a decimal column") << QByteArray("jet3") << table("T", {"ID LONG", "Price NUMERIC 19 4"}, {"1\t2.5"})
                                                 << QByteArray("column 'Price' of table 'T' is DECIMAL, which Jet 3 does not have");
        QTest::newRow("Jet 4.0: a Large Number") << QByteArray("script") << table("T", {"N BIGINT"}, {"1"})
                                                 << QByteArray("column 'N' of table 'T' is BIGINT, which Jet 4.0 (Access 2000 to 2003) does not have; --format ace16 has it");
        QTest::newRow("Jet 3: Date/Time Extended") << QByteArray("jet3") << table("T", {"W DATETIME2"}, {"2019-01-01"})
                                                   << QByteArray("is DATETIME2, which the Jet 3 format of Access 95 and 97 does not have");
        QTest::newRow("Jet 4.0: a calculated column") << QByteArray("script") << table("T", {"L LONG CALCULATED"}, {"1"})
                                                      << QByteArray("column 'L' of table 'T' is calculated, which Jet 4.0");
        QTest::newRow("a calculated Byte") << QByteArray("ace16") << table("T", {"B BYTE CALCULATED"}, {"1"})
                                           << QByteArray("is calculated as BYTE, which no expression gives");
        QTest::newRow("a calculated AutoNumber") << QByteArray("ace16") << table("T", {"L LONG AUTONUMBER CALCULATED"}, {"1"})
                                                 << QByteArray("is calculated as an AutoNumber");
        QTest::newRow("Date/Time Extended in the year 0") << QByteArray("ace16") << table("T", {"W DATETIME2"}, {"0000-12-31"})
                                                          << QByteArray("out of the range of Date/Time Extended (the years 1 to 9999)");
        QTest::newRow("Date/Time Extended to eight decimals")
            << QByteArray("ace16") << table("T", {"W DATETIME2"}, {"2019-01-01 00:00:00.12345678"})
            << QByteArray("is not a date written as yyyy-MM-dd or yyyy-MM-dd HH:mm:ss with up to seven decimals");
        QTest::newRow("a Large Number past its range")
            << QByteArray("ace16") << table("T", {"N BIGINT"}, {"9223372036854775808"}) << QByteArray("is out of range");
        QTest::newRow("a row with a value missing") << QByteArray("script") << table("T", {"A LONG", "B LONG"}, {"1"})
                                                    << QByteArray("1 values for the 2 columns of table 'T'");
    }
    void shouldRefuseWithoutLeavingAFile()
    {
        QFETCH(QByteArray, kind);
        QFETCH(QByteArray, source);
        QFETCH(QByteArray, error);
        QDir dir(path(QStringLiteral("refused")));
        dir.removeRecursively();
        QVERIFY(dir.mkpath(QStringLiteral(".")));
        const QString in = dir.filePath(QStringLiteral("source")), out = dir.filePath(QStringLiteral("out.mdb"));
        if (kind == "sqlite")
            makeSqlite(in, source);
        else if (kind != "missing")
            writeFile(in, source);
        const QStringList format = kind == "jet3" || kind == "ace16" ? QStringList{"--format", QString::fromLatin1(kind)}
                                                                     : QStringList();
        const ToolRun b = runTool(tool("catalog-build"), format + QStringList{in, out});
        QCOMPARE(b.code, 1);
        QVERIFY2(b.err.contains(error), b.err.constData());
        QCOMPARE(dir.entryList(QDir::Files | QDir::Hidden), kind == "missing" ? QStringList() : QStringList{"source"});
    }
};

QTEST_GUILESS_MAIN(TestCatalogBuild)
#include "test_catalog_build.moc"
