#include "catalog/listing/query.h"
#include "catalog/engine/two_threads.h"
#include "jet/protocol.h"
#include "tests/catalog/catalog_fixture.h"
#include "tests/support/catalog_tool.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <numeric>

#include <sqlite3.h>

using ado::Recordset;
using namespace listing;

namespace {
ado::Error openListing(Recordset &rs, std::shared_ptr<ado::Connection> cn, const QString &sql = allTitlesSql())
{
    rs.CursorLocation = ado::adUseClient;
    return rs.Open(sql, std::move(cn), ado::adOpenStatic, ado::adLockReadOnly, ado::adCmdText);
}

QStringList shown(const Recordset &rs, const QString &field, qsizetype count)
{
    return texts(std::min(int(count), rs.RecordCount()), [&](int row) { return rs.valueAt(row, rs.fieldIndex(field)); });
}

// Many generated rows (more than one thread's share of a sort or filter): ID counts from
// 1; Word is 6 to 12 letters from "aAbB" (long shared beginnings, letter case apart), every
// tenth 17 to 19 (past the sixteen letters a sort key holds), every seventh ending in "é" or
// "É", sometimes Null; Price has
// ties, negatives, zero and Nulls.
std::shared_ptr<ado::Connection> openManyRows(int count)
{
    static std::shared_ptr<ado::Connection> opened;  // made once: every case reads the same rows
    if (opened)
        return opened;
    QVector<QStringList> rows;
    quint32 seed = 12345;
    const auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 8; };
    for (int id = 1; id <= count; ++id) {
        QString word;
        const int length = id % 10 == 0 ? 17 + int(next() % 3) : 6 + int(next() % 7);
        for (int i = 0; i < length; ++i)
            word += QLatin1Char("aAbB"[next() % 4]);
        if (id % 7 == 0)  // an accent in the column: its texts are not all ASCII
            word += QChar(next() % 2 ? 0xE9 : 0xC9);
        const quint32 price = next() % 50;
        // A few values, as a type or a company column holds them; some equal but for case.
        static const char *const kinds[] = {"Demo", "demo", "Trial", "TRIAL", "Shareware", "Freeware and more than sixteen", nullptr};
        const char *kind = kinds[next() % 7];
        rows << QStringList{QString::number(id), next() % 40 == 0 ? QString() : word,
                            price == 0 ? QString() : QString::number(double(int(price) - 10) / 4),
                            kind ? QString::fromLatin1(kind) : QString()};
    }
    opened = openSource(std::make_unique<MemorySource>(
        QVector<jet::Column>{{"ID", jet::StoredType::Long, 0}, {"Word", jet::StoredType::Text, 50},
                             {"Price", jet::StoredType::Double, 0}, {"Kind", jet::StoredType::Text, 50}},
        rows));
    return opened;
}

// The catalog catalog-build writes from `script` into `dir`, opened through the reader; null
// (with the reason in the log) when either fails.
std::shared_ptr<ado::Connection> openBuilt(const QTemporaryDir &dir, const QString &name, const QByteArray &script)
{
    const QString built = dir.filePath(name + ".mdb");
    if (const QByteArray complaint = buildScript(script, dir.filePath(name + ".txt"), built); !complaint.isEmpty()) {
        qWarning("%s was not built: %s", qPrintable(name), complaint.constData());
        return nullptr;
    }
    auto connection = std::make_shared<ado::Connection>();
    if (const ado::Error error = connection->Open("Data Source=" + built + ";")) {
        qWarning("%s did not open: %s", qPrintable(name), qPrintable(error.Description));
        return nullptr;
    }
    return connection;
}

// A catalog of many titles, more than one frame of the reader's rows: names that repeat
// (words none of which begins another, so byte order is letter order), Nulls scattered over
// every frame in most columns that may hold one and only in the first frame in Limitations,
// prices and ratings below zero, types and sites that match no row. The same rows in SQLite
// are the oracle.
struct ManyTitles {
    std::shared_ptr<ado::Connection> connection;
    sqlite3 *db = nullptr;
};
const ManyTitles &manyTitles()
{
    static QTemporaryDir dir;
    static ManyTitles made;
    if (made.db)
        return made;
    const char *const words[] = {"Archive", "Backup", "Clean", "Disk", "Edit", "Fast", "Gamma", "Hub", "Image", "Jot",
                                 "Kilo", "Lumen", "Mail", "Net", "Orbit", "Photo", "Quill", "Rush", "Sync", "Tool",
                                 "Unit", "Video", "Web", "Xeno", "Yard", "Zip"};
    constexpr quint32 kWords = std::size(words);
    quint32 seed = 4321;
    const auto next = [&seed](quint32 below) { return ((seed = seed * 1103515245u + 12345u) >> 8) % below; };
    const auto maybe = [&next](quint32 oneIn, const QByteArray &value) { return next(oneIn) ? value : QByteArray("\\N"); };
    struct Table {
        QByteArray name;
        QByteArrayList columns;  // "Name TYPE ..."
        QList<QByteArrayList> rows;
    };
    QList<Table> tables{
        {"SoftwareType", {"SoftwareTypeID LONG", "Description TEXT 50"}, {{"1", "Freeware"}, {"2", "Shareware"}, {"3", "\\N"}, {"4", "Demo"}}},
        {"Site", {"SiteID LONG", "Name TEXT 100", "URL TEXT 255", "Description MEMO"},
         {{"1", "Nordwell", "http://n.example/", "Small tools"}, {"2", "\\N", "http://x.example/", "\\N"}, {"3", "Quiet Pixel", "\\N", ""}}},
        {"Software",
         {"SoftwareID LONG", "Name TEXT 100", "Description MEMO", "Price MONEY", "Requirements TEXT 255", "Uninstaller BOOLEAN",
          "Limitations TEXT 255", "ScreenURL TEXT 255", "DownloadURL1 TEXT 255", "DownloadURL2 TEXT 255", "DownloadURL3 TEXT 255",
          "BuyURL TEXT 255", "Rating INT", "SoftwareTypeID LONG", "SiteID LONG", "CategoryID LONG", "SubCategoryID LONG"},
         {}}};
    for (int id = 1; id <= 30000; ++id) {
        const QByteArray number = QByteArray::number(id);
        QByteArray description;
        for (quint32 w = 0, n = 5 + next(30); w < n; ++w)
            description += QByteArray(w ? " " : "") + QByteArray(words[next(kWords)]).toLower();
        tables[2].rows << QByteArrayList{
            number, maybe(61, QByteArray(words[next(kWords)]) + words[next(kWords)]), maybe(13, description),
            maybe(11, QByteArray::number(int(next(100001)) - 50000) + ".25"), maybe(3, "Windows"), QByteArray::number(next(2)),
            id <= 600 ? maybe(2, "None") : "None", maybe(5, "http://s.example/" + number), "http://dl.example/" + number,
            maybe(7, "http://m.example/"), "\\N", maybe(2, ""), maybe(9, QByteArray::number(int(next(8)) - 2)), maybe(97, QByteArray::number(1 + next(5))),
            maybe(89, QByteArray::number(1 + next(4))), QByteArray::number(1 + next(10)), QByteArray::number(1 + next(25))};
    }
    QByteArray script;
    if (sqlite3_open(":memory:", &made.db) != SQLITE_OK)
        return made;
    sqlite3_exec(made.db, "BEGIN", nullptr, nullptr, nullptr);
    for (const Table &t : std::as_const(tables)) {
        script += "TABLE " + t.name + '\n';
        QByteArrayList declared, marks;
        for (const QByteArray &column : t.columns) {
            script += "COLUMN " + column + '\n';
            const QByteArrayList w = column.split(' ');
            declared << '[' + w[0] + "] " + (w[1] == "TEXT" || w[1] == "MEMO" ? "TEXT" : "NUMERIC");
            marks << "?";
        }
        script += "PRIMARYKEY " + t.columns[0].split(' ')[0] + '\n';
        sqlite3_exec(made.db, "CREATE TABLE " + t.name + '(' + declared.join(',') + ')', nullptr, nullptr, nullptr);
        sqlite3_stmt *insert = nullptr;
        sqlite3_prepare_v2(made.db, "INSERT INTO " + t.name + " VALUES(" + marks.join(',') + ')', -1, &insert, nullptr);
        for (const QByteArrayList &row : t.rows) {
            script += "ROW " + row.join('\t') + '\n';
            for (int c = 0; c < row.size(); ++c)
                if (row[c] == "\\N")
                    sqlite3_bind_null(insert, c + 1);
                else
                    sqlite3_bind_text(insert, c + 1, row[c].constData(), int(row[c].size()), SQLITE_TRANSIENT);
            sqlite3_step(insert);
            sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
    }
    sqlite3_exec(made.db, "COMMIT", nullptr, nullptr, nullptr);
    if (script.size() > 8 * qsizetype(jet::protocol::kRowsFrameTarget))  // many frames' worth, or the test proves nothing
        made.connection = openBuilt(dir, QStringLiteral("many-titles"), script);
    return made;
}

// A value as text both sides agree on: numbers by value, Null apart from "".
QString cellText(const QVariant &v)
{
    if (!v.isValid() || v.isNull())
        return QStringLiteral("<null>");
    if (v.typeId() == QMetaType::QString)
        return v.toString();
    return QString::number(v.toDouble(), 'g', 15);
}
QStringList sqliteRows(sqlite3 *db, const QString &sql, const QStringList &fields)
{
    QStringList out;
    sqlite3_stmt *st = nullptr;
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &st, nullptr) != SQLITE_OK)
        return {QStringLiteral("refused: ") + QString::fromUtf8(sqlite3_errmsg(db))};
    while (sqlite3_step(st) == SQLITE_ROW) {
        QStringList cells;
        for (int c = 0; c < sqlite3_column_count(st); ++c) {
            if (!fields.isEmpty() && !fields.contains(QString::fromUtf8(sqlite3_column_name(st, c))))
                continue;
            switch (sqlite3_column_type(st, c)) {
            case SQLITE_NULL: cells << QStringLiteral("<null>"); break;
            case SQLITE_TEXT: cells << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, c))); break;
            default: cells << cellText(sqlite3_column_double(st, c));
            }
        }
        out << cells.join('|');
    }
    sqlite3_finalize(st);
    return out;
}
QStringList recordsetRows(const Recordset &rs, const QStringList &fields)
{
    QStringList out;
    for (int r = 0; r < rs.RecordCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < rs.fieldCount(); ++c)
            if (fields.isEmpty() || fields.contains(rs.field(c).Name))
                cells << cellText(rs.valueAt(r, c));
        out << cells.join('|');
    }
    return out;
}

QList<int> ids(const Recordset &rs)
{
    QList<int> out;
    for (int row = 0; row < rs.RecordCount(); ++row)
        out << rs.valueAt(row, 0).toInt();
    return out;
}
}  // namespace

class TestRecordset : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { fixLocale(); }

    void shouldOpenTheCatalogFolderOrFailWithAReason_data()
    {
        QTest::addColumn<QString>("content");  // what lies at shareware.mdb: a fixture, <folder>, <empty> or nothing
        QTest::addColumn<QString>("suffix");   // after the folder's path
        QTest::addColumn<QString>("error");    // empty when it opens; "*" for any description
        QTest::newRow("missing file") << "" << "" << "Could not find file '%1'.";
        QTest::newRow("folder by the file's name") << "<folder>" << "" << "Could not find file '%1'.";
        QTest::newRow("empty file") << "<empty>" << "" << "*";
        QTest::newRow("memo chain loops") << "hostile/memo_chain_selfloop.mdb" << "" << "*";
        QTest::newRow("folder ending in a separator") << "basic.mdb" << "/" << "";
    }
    void shouldOpenTheCatalogFolderOrFailWithAReason()
    {
        QFETCH(QString, content);
        QFETCH(QString, suffix);
        QFETCH(QString, error);
        QTemporaryDir dir;
        QFile file(dir.filePath("shareware.mdb"));
        if (content == "<folder>" || content == "<empty>")
            QVERIFY(content == "<folder>" ? QDir(dir.path()).mkdir("shareware.mdb") : file.open(QIODevice::WriteOnly));
        else if (!content.isEmpty())
            QVERIFY(QFile::copy(testDataPath(content), file.fileName()));
        auto cn = std::make_shared<ado::Connection>();
        const ado::Error opened = cn->Open(catalogConnectionString(dir.path() + suffix));
        QCOMPARE(cn->isOpen(), !opened);
        // A recordset that held a listing: a failed Open must not leave those rows standing.
        Recordset rs;
        QVERIFY(!openListing(rs, openBasicCatalog()));
        QSignalSpy resets(&rs, &Recordset::rowsReset);
        const ado::Error listed = openListing(rs, cn);
        QCOMPARE(QList<int>({rs.RecordCount(), int(resets.count())}), QList<int>({error.isEmpty() ? 39 : -1, 1}));
        if (error.isEmpty())
            return;
        const ado::Error failure = opened ? opened : listed;  // the listing fails too over an unopened connection
        QCOMPARE(QList<int>({listed.Number, failure.Number}), QList<int>({ado::E_PROVIDER_FAIL, ado::E_PROVIDER_FAIL}));
        QVERIFY(!failure.Description.isEmpty());
        if (error != "*")
            QCOMPARE(failure.Description, error.arg(QDir::toNativeSeparators(file.fileName())));
    }

    void shouldAnswerWithJetSemantics_data()
    {
        // Statements over T read the in-memory words (rows show Word); the rest read basic.mdb (rows show Name).
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("sort");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<int>("count");  // -1: the expression is refused
        QTest::addColumn<QStringList>("first");  // the leading values, "<null>" for Null
        const QString all = allTitlesSql(), words = "SELECT * FROM T", no;
        const QStringList byName{"100% Free Zip", "alpha lowercase", "Arcade Title 15"}, dont{"Don't Panic"};
        const QStringList zips{"100% Free Zip", "ArcView Zip", "ZipMaster"}, zipMaster{"ZipMaster"}, none;
        const QStringList accented{"<null>", "", "apple", "ÇA VA", "eclair", "Éclair", "Ecran", "édith", "Straße", "Zebra"};
        const QStringList reversed(accented.rbegin(), accented.rend()), eclairs{"Éclair", "édith"};
        const auto row = [](const char *name) -> QTestData & { return QTest::newRow(name); };
        row("all titles with a type and a site, by name") << all << no << no << 39 << byName;
        row("search name and description, any case") << searchSql("ZIP") << no << no << 4
                                                     << QStringList{"100% Free Zip", "ArcView Zip", "Ledger Lite"};
        row("search with a quote") << searchSql("Don't") << no << no << 1 << dont;
        row("search wildcards") << searchSql("arc%v_ew") << no << no << 1 << zips.mid(1, 1);
        row("single title, any case") << singleTitleSql("zipmaster") << no << no << 1 << zipMaster;
        row("orphan site never listed") << singleTitleSql("Orphan Site Tool") << no << no << 0 << none;
        row("subcategory") << subCategorySql("9") << no << no << 3 << QStringList{"Disk Tool", "Memo Giant"};
        row("trailing comment") << "Select * From Category; -- all\n" << no << no << 11 << QStringList{"Business"};
        row("sql order, accents") << words + " ORDER BY Word" << no << no << 10 << accented;
        row("sql like, any case") << words + " WHERE Word LIKE 'é%' ORDER BY ID" << no << no << 2 << eclairs;
        row("sql like, one character is not one byte") << words + " WHERE Word LIKE '_clair' OR Word LIKE 'stra_e' ORDER BY ID"
                                                       << no << no << 3 << QStringList{"Éclair", "eclair", "Straße"};
        row("sql like, pattern per row") << "SELECT A.* FROM T A, T B WHERE B.ID = 2 AND B.Word LIKE A.Word" << no << no
                                         << 1 << eclairs.mid(0, 1);
        row("sort by name") << all << "Name ASC" << no << 39 << byName;
        row("sort ties keep the statement's order") << all << "Rating DESC" << no << 39
            << QStringList{"Arcade Title 17", "Arcade Title 23", "Arcade Title 29", "Arcade Title 35", "Disk Tool"};
        row("sort null first") << all << "Rating" << no << 39 << QStringList{"Backup Buddy", "Arcade Title 18"};
        row("sort bracketed, two keys") << all << "[Company Name] DESC, Price DESC" << no << 39
                                        << QStringList{"Pixel Paint", "Don't Panic", "Disk Tool"};
        row("sort accents") << words << "Word" << no << 10 << accented;
        row("sort accents descending") << words << "Word DESC" << no << 10 << reversed;
        row("contains, sorted") << all << "Price DESC" << "Name LIKE '%zip%'" << 3 << QStringList{"ZipMaster", "100% Free Zip"};
        row("doubled quote") << all << no << "Name LIKE 'Don''t*'" << 1 << dont;
        row("bracketed name") << all << no << "[Company Name] LIKE 'O''Malley*'" << 1 << dont;
        row("memo contains") << all << no << "Description LIKE '*ZIP*'" << 3 << QStringList{"ArcView Zip", "Ledger Lite"};
        row("number, boolean as text") << all << no << "Uninstaller LIKE 'tr*' AND Price LIKE '12*'" << 2
                                       << QStringList{"Disk Tool", "Memo Giant"};
        row("at most, text") << words << no << "Word <= 'APPLE'" << 2 << QStringList{"apple", ""};
        row("at least, number") << all << no << "Price >= 1234.5" << 2 << QStringList{"Backup Buddy", "Disk Tool"};
        row("not equal, accents count") << words << no << "Word <> 'eclair'" << 8 << QStringList{"Zebra", "Éclair", "apple"};
        row("text compares in any case") << all << no << "Name < 'arcade'" << 2 << byName.mid(0, 2);
        row("and binds before or") << all << no << "Price = 0 OR Price > 1000 AND Uninstaller = True" << 3
                                   << QStringList{"100% Free Zip", "ArcView Zip", "Disk Tool"};
        row("parentheses, null") << all << no << "(Price = 0 OR Price > 1000) AND Rating = NULL" << 1 << QStringList{"Backup Buddy"};
        row("accented equal") << words << no << "Word = 'ÉCLAIR'" << 1 << eclairs.mid(0, 1);
        row("refused: quote ends the pattern early") << all << no << "Name LIKE 'Don't*'" << -1 << none;
        row("refused: unknown field") << all << no << "Nope LIKE 'a*'" << -1 << none;
        row("refused: unclosed bracket") << all << no << "[Company Name LIKE 'a*'" << -1 << none;
        row("refused: text for a number") << all << no << "Price = 'cheap'" << -1 << none;
        row("refused: unclosed parenthesis") << all << no << "(Price = 0" << -1 << none;
        row("refused: dangling and") << all << no << "Price = 0 AND" << -1 << none;
        row("refused: sort on an unknown field") << all << "Nope ASC" << no << -1 << none;
        row("refused: sort with a stray word") << all << "Price DESC Name" << no << -1 << none;
    }
    void shouldAnswerWithJetSemantics()
    {
        QFETCH(QString, sql);
        QFETCH(QString, sort);
        QFETCH(QString, filter);
        QFETCH(int, count);
        QFETCH(QStringList, first);
        const bool words = sql.contains(" FROM T");
        Recordset rs;
        const ado::Error opened = openListing(rs, words ? openWords() : openBasicCatalog(), sql);
        QVERIFY2(!opened, qPrintable(opened.Description));
        // A sort and a filter already in force, which the row's own must replace.
        const QString key = "[" + rs.field(0).Name + "]";
        QVERIFY(!rs.setSort(key + " DESC") && !rs.setFilter(key + " = NULL"));
        QSignalSpy resets(&rs, &Recordset::rowsReset);
        if (count < 0) {  // refused: what was in force stays, and so do the rows
            QCOMPARE((sort.isEmpty() ? rs.setFilter(filter) : rs.setSort(sort)).Number, ado::adErrInvalidArgument);
            QCOMPARE(QVariantList({rs.Sort(), rs.Filter(), rs.RecordCount(), int(resets.count())}),
                     QVariantList({key + " DESC", key + " = NULL", 0, 0}));
            return;
        }
        QVERIFY(!rs.setFilter(filter) && !rs.setSort(sort));
        QCOMPARE(QList<int>({int(resets.count()), rs.RecordCount(), rs.AbsolutePosition()}), QList<int>({2, count, 0}));
        QCOMPARE(rs.Eof(), count == 0);
        for (int run = 0; run < 2; ++run) {  // and again after Requery, which keeps both
            QCOMPARE(shown(rs, words ? "Word" : "Name", first.size()), first);
            QVERIFY(!rs.Requery());
        }
        QCOMPARE(QStringList({rs.Sort(), rs.Filter()}), QStringList({sort, filter}));
        // A Source changed to a statement without their field: Requery refuses, and the rows stay.
        if (!sort.isEmpty() || !filter.isEmpty()) {
            const QString source = rs.Source;
            rs.Source = QStringLiteral("SELECT CategoryID FROM Category");
            QVERIFY(rs.Requery());
            QCOMPARE(rs.RecordCount(), count);
            rs.Source = source;
        }
    }

    // A catalog of thirty thousand titles comes from the reader in many frames: every
    // listing, sort and filter over it keeps the rows SQLite gives from the same rows, and
    // puts them in the order SQLite puts its (ties apart: only the sorted fields are compared
    // in order).
    void shouldListACatalogOfManyFramesAsSqliteDoes_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("sort");    // ADO's, then SQLite's
        QTest::addColumn<QString>("filter");  // ADO's, then SQLite's
        QTest::addColumn<QString>("sqliteOrder");
        QTest::addColumn<QString>("sqliteWhere");
        const QString all = allTitlesSql(), no;
        const auto row = [](const char *name) -> QTestData & { return QTest::newRow(name); };
        row("all titles") << all << no << no << "Name" << no;
        row("search") << searchSql("zip") << no << no << "Name" << no;
        row("category") << categorySql("4") << no << no << "Name" << no;
        row("subcategory") << subCategorySql("9") << no << no << "Name" << no;
        row("one title, repeated") << singleTitleSql("SyncTool") << no << no << "Name" << no;
        row("price, below zero too") << all << "Price DESC" << no << "Price DESC" << no;
        row("rating, then price") << all << "Rating, Price DESC" << no << "Rating, Price DESC" << no;
        row("company, descending") << all << "[Company Name] DESC" << no << "[Company Name] DESC" << no;
        row("Null requirements") << all << no << "Requirements = NULL" << "Name" << "Requirements IS NULL";
        row("empty buy address, not Null") << all << "Name DESC" << "BuyURL = ''" << "Name DESC" << "BuyURL = ''";
        row("contains, and a price") << all << "Price" << "Name LIKE '*zip*' AND Price > 100"
                                     << "Price" << "Name LIKE '%zip%' AND Price > 100";
        row("memo contains, or a rating") << all << no << "Description LIKE '*orbit kilo*' OR Rating < 0"
                                          << "Name" << "Description LIKE '%orbit kilo%' OR Rating < 0";
        row("limitations begin with") << searchSql("web") << "Type" << "Limitations LIKE 'no*'" << "Type"
                                      << "Limitations LIKE 'no%'";
    }
    void shouldListACatalogOfManyFramesAsSqliteDoes()
    {
        QFETCH(QString, sql);
        QFETCH(QString, sort);
        QFETCH(QString, filter);
        QFETCH(QString, sqliteOrder);
        QFETCH(QString, sqliteWhere);
        const ManyTitles &titles = manyTitles();
        QVERIFY(titles.connection && titles.db);
        Recordset rs;
        QVERIFY(!openListing(rs, titles.connection, sql));
        QVERIFY(!rs.setSort(sort) && !rs.setFilter(filter));
        const QString sqlite = "SELECT * FROM (" + sql.left(sql.lastIndexOf(" ORDER BY ")) + ")"
                               + (sqliteWhere.isEmpty() ? QString() : " WHERE " + sqliteWhere) + " ORDER BY " + sqliteOrder;
        QStringList expected = sqliteRows(titles.db, sqlite, {}), got = recordsetRows(rs, {});
        QVERIFY2(expected.size() > 1, qPrintable(expected.value(0)));
        QStringList ordered;
        for (QString key : sqliteOrder.split(','))
            ordered << key.remove(" DESC").remove('[').remove(']').trimmed();
        QCOMPARE(recordsetRows(rs, ordered), sqliteRows(titles.db, sqlite, ordered));
        std::sort(expected.begin(), expected.end());
        std::sort(got.begin(), got.end());
        QCOMPARE(got.size(), expected.size());
        QCOMPARE(got, expected);
    }

    // Filters typed one after another over many rows give what the last one gives on its
    // own, sorted (Nulls first ascending) with ties in the statement's order, also when the
    // rows already stand in order: two threads look at half the rows each, and rows in
    // order within each half, not across, are out of order.
    void shouldNarrowAndSortManyRowsAsFromScratch_data()
    {
        QTest::addColumn<QString>("order");  // the statement's ORDER BY; "" for none
        QTest::addColumn<QString>("sort");
        QTest::addColumn<QStringList>("filters");
        const auto row = [](const char *name) -> QTestData & { return QTest::newRow(name); };
        row("contains, letter by letter") << "" << "" << QStringList{"Word LIKE '*a*'", "Word LIKE '*ab*'", "Word LIKE '*aBbA*'"};
        row("begins with, letter by letter") << "" << "Word" << QStringList{"Word LIKE 'a*'", "Word LIKE 'ab*'", "Word LIKE 'abb*'"};
        row("a letter taken back") << "" << "Word DESC" << QStringList{"Word LIKE '*abab*'", "Word LIKE '*aba*'"};
        row("contains, then begins with") << "" << "Price" << QStringList{"", "Word LIKE '*ba*'", "Word LIKE 'bab*'", "Word LIKE '*ab*'"};
        row("same text, other field") << "" << "ID DESC" << QStringList{"Word LIKE '1*'", "ID LIKE '1*'", "ID LIKE '12*'"};
        row("number as text") << "" << "Price DESC" << QStringList{"Price LIKE '*.*'", "Price LIKE '*.5*'"};
        row("few values") << "" << "Kind" << QStringList{"Word LIKE '*ab*'"};
        row("few values, descending") << "" << "Kind DESC" << QStringList{"Kind LIKE '*a*'", "Kind LIKE '*ar*'"};
        for (const char *sort : {"Word", "Word DESC", "ID DESC", "Kind DESC"})
            QTest::addRow("listed by Word, %s", sort) << "Word" << sort << QStringList{""};
        row("each half in order, split at the middle") << "ID > 20000, Word" << "Word" << QStringList{""};
        row("each half in order, descending") << "ID > 20000, Word" << "Word DESC" << QStringList{""};
        row("in order but for the last row") << "ID = 40000, Word" << "Word" << QStringList{""};
        row("in order but for the first row") << "ID <> 1, Word" << "Word" << QStringList{""};
        row("two runs, split off the middle") << "ID > 15000, Word" << "Word" << QStringList{""};
    }
    void shouldNarrowAndSortManyRowsAsFromScratch()
    {
        QFETCH(QString, order);
        QFETCH(QString, sort);
        QFETCH(QStringList, filters);
        const auto cn = openManyRows(40000);
        QVERIFY(cn);
        const QString sql = "SELECT * FROM T" + (order.isEmpty() ? QString() : " ORDER BY " + order);
        Recordset typed, fresh, unsorted;
        for (Recordset *rs : {&typed, &fresh, &unsorted})
            if (const ado::Error e = openListing(*rs, cn, sql))
                QFAIL(qPrintable(e.Description));
        QVERIFY(!typed.setSort(sort) && !fresh.setSort(sort));
        for (const QString &filter : filters)
            QVERIFY(!typed.setFilter(filter));
        QVERIFY(!fresh.setFilter(filters.last()) && !unsorted.setFilter(filters.last()));
        const bool descending = sort.endsWith("DESC");
        const int field = sort.isEmpty() ? 0 : unsorted.fieldIndex(sort.section(' ', 0, 0));
        QList<int> positions(unsorted.RecordCount());
        std::iota(positions.begin(), positions.end(), 0);
        std::stable_sort(positions.begin(), positions.end(), [&](int a, int b) {
            const QVariant x = unsorted.valueAt(a, field), y = unsorted.valueAt(b, field);
            const int c = !x.isValid() || !y.isValid() ? int(x.isValid()) - int(y.isValid())
                : field == 1 || field == 3 ? x.toString().compare(y.toString(), Qt::CaseInsensitive)
                                           : (x.toDouble() > y.toDouble()) - (x.toDouble() < y.toDouble());
            return descending ? c > 0 : c < 0;
        });
        QList<int> expected;
        for (const int position : std::as_const(positions))
            expected << unsorted.valueAt(position, 0).toInt();
        QVERIFY(!expected.isEmpty());
        QCOMPARE(ids(typed), expected);
        QCOMPARE(ids(fresh), expected);
    }

    // A sort on a number orders by value, ties and equal zeros in the statement's order,
    // whether the values are few-decimal prices or not. "Many" repeats the values past the
    // count two threads share.
    void shouldSortNumbersByTheirValue_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QStringList>("values");  // a null text is Null
        QTest::addColumn<int>("count");           // rows, the values repeated
        const auto row = [](const char *name) -> QTestData & { return QTest::newRow(name); };
        const int dbl = int(jet::StoredType::Double), money = int(jet::StoredType::Money);
        const QStringList prices{"19.99", "5", QString(), "19.9899", "0.01", "499.5", "5", "-2.25", "0"};
        row("prices") << dbl << prices << 9;
        row("prices, many") << dbl << prices << 40000;
        row("money, many") << money << prices << 40000;
        row("a value of more decimals") << dbl << QStringList{"0.3", "0.30000000000000004", "0.2", "0.1"} << 4;
        row("more decimals, many") << dbl << QStringList{"0.3", "0.30000000000000004", "0.1", "0.12345"} << 40000;
        row("one value apart from the rest") << dbl << QStringList{"5", "7", "5", "5"} << 4;
        row("thousandths between cents") << dbl << QStringList{"0.012", "0.011", "0.02", "0.01", "-0.011"} << 5;
        row("zero and minus zero") << dbl << QStringList{"0", "-0", "0", "-0.0001", "0.0001"} << 5;
        row("ten-thousandths at the edge of exact") << dbl
            << QStringList{"900719925474.0991", "900719925474.099", "-900719925474.0991", "0"} << 4;
        row("wholes of ten-thousandths near the limit") << dbl
            << QStringList{"4.6e14", "-4.6e14", "4.5e14", "-1", "461168601842738.7", "-461168601842738.7"} << 6;
        row("past the limit") << dbl << QStringList{"9e14", "-9e14", "4.6e14", "-1", "1e19", "-1e19"} << 6;
        row("past exact wholes") << dbl << QStringList{"1e300", "-1e300", "12345678901234567", "1"} << 4;
        row("tiny") << dbl << QStringList{"1e-300", "-1e-300", "0", "5e-324"} << 4;
        row("infinities") << dbl << QStringList{"inf", "-inf", "1", QString()} << 4;
        row("Nulls only") << dbl << QStringList{QString(), QString()} << 2;
        // Whole numbers on both sides of zero, each type's ends among them (many rows of them,
        // and Bytes, are sorted from a file below).
        const QStringList wholes{"-7", "3", "0", "-1", "12", "-200", QString(), "1", "-7"};
        row("Long across the sign") << int(jet::StoredType::Long)
                                    << QStringList{"5", "-3", "0", "2147483647", "-2147483648", "-1", QString(), "1", "-3"} << 9;
        row("Int across the sign") << int(jet::StoredType::Int)
                                   << QStringList{"32767", "-32768", "0", "-1", "256", QString(), "255", "1", "-256"} << 9;
        row("whole money across the sign") << money << wholes << 9;
        row("whole decimals across the sign") << int(jet::StoredType::Numeric) << wholes << 9;
    }
    void shouldSortNumbersByTheirValue()
    {
        QFETCH(int, type);
        QFETCH(QStringList, values);
        QFETCH(int, count);
        QVector<QStringList> rows;
        for (int id = 1; id <= count; ++id)
            rows << QStringList{QString::number(id), values[(id - 1) % values.size()]};
        const auto cn = openSource(std::make_unique<MemorySource>(
            QVector<jet::Column>{{"ID", jet::StoredType::Long, 0}, {"Price", jet::StoredType(type), 0}}, rows));
        QVERIFY(cn);
        for (const bool descending : {false, true}) {
            Recordset rs;
            QVERIFY(!openListing(rs, cn, "SELECT * FROM T ORDER BY ID"));
            QList<int> expected;
            for (int row = 0; row < rs.RecordCount(); ++row)
                expected << row + 1;
            std::stable_sort(expected.begin(), expected.end(), [&](int a, int b) {
                const QVariant x = rs.valueAt(a - 1, 1), y = rs.valueAt(b - 1, 1);
                const int c = !x.isValid() || !y.isValid() ? int(x.isValid()) - int(y.isValid())
                                                           : (x.toDouble() > y.toDouble()) - (x.toDouble() < y.toDouble());
                return descending ? c > 0 : c < 0;
            });
            QVERIFY(!rs.setSort(descending ? "Price DESC" : "Price"));
            QCOMPARE(ids(rs), expected);
        }
    }

    // A filter over every row matches them all at once, through each field's texts laid end
    // to end; Find matches one row at a time, forward and backward. All keep exactly the rows
    // given. "Many rows" repeats the words past the count two threads share, split inside a
    // repeat; the tail comes once, after every repeat.
    void shouldFilterAllRowsAsEachRowAlone_data()
    {
        QTest::addColumn<QStringList>("words");   // Word; a null text is Null
        QTest::addColumn<QStringList>("prices");  // Price, beside the words; none: all Null
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QList<int>>("kept");     // positions among the words and then the tail, from 1
        const QStringList none;
        const QStringList mixed{"Zebra", "Éclair", "apple", QString(), "édith", "", "ECLAIR", "Straße"};
        const QStringList touching{"xa", "bc", "", "abc", "ab", "c"};
        // A decomposed accent and the Kelvin sign change length when folded.
        const QStringList shrinking{"Cafe\u0301", "apple", "\u212Aiwi", "kiwi", "Zip"};
        const QStringList marks{"a*b", "a%b", "a?b", "a#b", "a[b]", "ab"};
        const QString longer = QString("0123456789").repeated(13);  // longer than a step of the search
        const QStringList longTexts{longer + "end", longer, "end" + longer, longer.left(65) + "end" + longer};
        const QStringList prices{"1.5", "15", "-0.5", QString(), "150", "0", QString(), "2"};
        struct Case {
            const char *name;
            QStringList words, prices;
            QString filter;
            QList<int> kept;
            bool many = false;  // also repeated into many rows
            QStringList tail = {};
        };
        const Case cases[] = {
            {"begins with, any case", mixed, none, "Word LIKE 'ecl*'", {7}},
            {"begins with an accent, any case", mixed, none, "Word LIKE 'É*'", {2, 5}, true},
            {"contains, any case", mixed, none, "Word LIKE '*A*'", {1, 2, 3, 7, 8}, true},
            {"contains an accent", mixed, none, "Word LIKE '*é*'", {2, 5}},
            {"ends with", mixed, none, "Word LIKE '*e'", {3, 8}},
            {"whole text, any case", mixed, none, "Word LIKE 'zebra'", {1}},
            {"empty pattern: the empty text, never Null", mixed, none, "Word LIKE ''", {6}},
            {"any text: every row but Null", mixed, none, "Word LIKE '*'", {1, 2, 3, 5, 6, 7, 8}},
            {"no match", mixed, none, "Word LIKE '*q*'", {}, true},
            // One letter is looked up in each row's letters; two are first sought there.
            {"one letter folded from a sign", shrinking, none, "Word LIKE '*k*'", {3, 4}, true},
            {"begins with one letter folded from a sign", shrinking, none, "Word LIKE 'k*'", {3, 4}, true},
            {"begins with one letter, an empty row between", touching, none, "Word LIKE 'a*'", {4, 5}, true},
            {"one digit", longTexts, none, "Word LIKE '*7*'", {1, 2, 3, 4}, true},
            {"two letters that few rows hold", mixed, none, "Word LIKE '*br*'", {1}, true},
            {"not across two rows", touching, none, "Word LIKE '*abc*'", {4}, true},
            {"not across an empty row", touching, none, "Word LIKE '*cab*'", {}},
            {"a pair that runs into the next row", touching, none, "Word LIKE '*ab*'", {4, 5}},
            {"one letter in every other row", touching, none, "Word LIKE '*c*'", {2, 4, 6}},
            {"longer than any row", touching, none, "Word LIKE 'abcd*'", {}},
            {"first and last letters alone", {"axc", "a c", "abc", "ac"}, none, "Word LIKE '*abc*'", {3}},
            {"rows after a shorter fold", shrinking, none, "Word LIKE '*ip*'", {5}, true},
            {"decomposed accent", shrinking, none, "Word LIKE 'café'", {1}},
            {"kelvin sign", shrinking, none, "Word LIKE 'kiwi'", {3, 4}},
            {"an accent only in the last row", {"apple", "Zip", "eclair", "kiwi", "clam"}, none, "Word LIKE '*cla*'",
             {3, 5, 6}, true, {"Éclair"}},
            {"far into a long text", longTexts, none, "Word LIKE '*9end*'", {1}},
            {"one letter far into a long text", longTexts, none, "Word LIKE '*e*'", {1, 3, 4}, true},
            {"two letters across a long text", longTexts, none, "Word LIKE '*90*'", {1, 2, 3, 4}},
            {"a needle longer than the rows after it", longTexts + touching, none,
             "Word LIKE '*" + longer.left(100) + "*'", {1, 2, 3, 4}, true},
            {"run in the middle", marks, none, "Word LIKE 'a*b'", {1, 2, 3, 4, 6}},
            {"percent as a run", marks, none, "Word LIKE '*%*'", {1, 2, 3, 4, 5, 6}},
            {"question mark is a letter", marks, none, "Word LIKE '*?*'", {3}},
            {"number sign is a letter", marks, none, "Word LIKE '*#b'", {4}},
            {"bracket is a letter", marks, none, "Word LIKE 'a[*'", {5}},
            {"number as text, contains", mixed, prices, "Price LIKE '*5*'", {1, 2, 3, 5}, true},
            {"number as text, begins with", mixed, prices, "Price LIKE '-*'", {3}},
            {"number as text, whole", mixed, prices, "Price LIKE '0'", {6}},
            {"a number and a text", mixed, prices, "Price LIKE '1*' AND Word LIKE '*a*'", {1, 2}},
            {"a number or a text", mixed, prices, "Price = 0 OR Word LIKE 'e*'", {6, 7}, true},
            // Folding a column with no text at all: no buffer to copy into (a sanitizer's find).
            {"number as text, every one Null", {"a", "b"}, none, "Price LIKE '*1*'", {}},
            {"number as text, no rows", {}, none, "Price LIKE '*1*'", {}},
            {"every text empty", {"", "", ""}, none, "Word LIKE '*1*'", {}, true},
        };
        for (const Case &c : cases) {
            const int length = int(c.words.size());
            for (const int copies : {1, length ? int(engine::kTwoThreadMinimum) / length + 1 | 1 : 1}) {
                if (copies > 1 && !c.many)
                    continue;
                QStringList words, prices;
                QList<int> kept;
                for (int k = 0; k < copies; ++k) {
                    for (int at : c.kept)
                        if (at <= length)
                            kept << k * length + at;
                    words << c.words;
                    prices << c.prices;
                }
                for (int at : c.kept)
                    if (at > length)
                        kept << (copies - 1) * length + at;
                words << c.tail;
                QTest::addRow("%s%s", c.name, copies > 1 ? ", many rows" : "") << words << prices << c.filter << kept;
            }
        }
        // Each letter and digit alone: one row holds it, no other.
        QStringList alphabet;
        for (const QChar c : QStringLiteral("abcdefghijklmnopqrstuvwxyz0123456789"))
            alphabet << QString(c);
        for (int i = 0; i < alphabet.size(); ++i)
            QTest::addRow("the one row of %s", qPrintable(alphabet[i])) << alphabet << none << "Word LIKE '*" + alphabet[i] + "*'" << QList<int>{i + 1};
    }
    void shouldFilterAllRowsAsEachRowAlone()
    {
        QFETCH(QStringList, words);
        QFETCH(QStringList, prices);
        QFETCH(QString, filter);
        QFETCH(QList<int>, kept);
        QVector<QStringList> rows;
        for (int i = 0; i < words.size(); ++i)
            rows << QStringList{QString::number(i + 1), words[i], i < prices.size() ? prices[i] : QString()};
        const auto cn = openSource(std::make_unique<MemorySource>(
            QVector<jet::Column>{{"ID", jet::StoredType::Long, 0}, {"Word", jet::StoredType::Text, 50},
                                 {"Price", jet::StoredType::Double, 0}},
            rows));
        QVERIFY(cn);
        Recordset all, found;
        QVERIFY(!openListing(all, cn, "SELECT * FROM T ORDER BY ID") && !openListing(found, cn, "SELECT * FROM T ORDER BY ID"));
        QVERIFY(!all.setFilter(filter));
        QCOMPARE(ids(all), kept);
        if (words.size() >= qsizetype(engine::kTwoThreadMinimum))
            return;  // one row at a time is the same at any count
        QList<int> oneByOne, backwards;
        for (ado::Error e = found.Find(filter); !e && !found.Eof() && oneByOne.size() <= kept.size(); e = found.Find(filter, 1))
            oneByOne << found.value("ID").toInt();
        found.MoveLast();
        for (ado::Error e = found.Find(filter, 0, ado::adSearchBackward); !e && !found.Bof() && backwards.size() <= kept.size();
             e = found.Find(filter, 1, ado::adSearchBackward))
            backwards.prepend(found.value("ID").toInt());
        QCOMPARE(oneByOne, kept);
        QCOMPARE(backwards, kept);
    }

    void shouldSetReadAndSignalThePosition()
    {
        Recordset rs;
        QVERIFY(!openListing(rs, openBasicCatalog()));
        QCOMPARE(QList<int>({rs.fieldIndex("company name"), rs.fieldIndex("Nope")}), QList<int>({13, -1}));
        QSignalSpy moves(&rs, &Recordset::currentChanged);
        rs.setAbsolutePosition(5);
        rs.setAbsolutePosition(5);  // no move, no signal
        QCOMPARE(rs.value("Name"), rs.valueAt(5, 0));
        rs.MoveNext();
        QCOMPARE(rs.AbsolutePosition(), 6);
        rs.MoveLast();
        QCOMPARE(rs.value("Name").toString(), QStringLiteral("ZipMaster"));
        rs.MoveNext();
        rs.setAbsolutePosition(1000);
        bool ok = true;
        QVERIFY(rs.Eof() && rs.AbsolutePosition() == 39 && !rs.value("Name", &ok).isValid() && !ok);
        rs.MoveFirst();
        QCOMPARE(QList<int>({int(moves.count()), moves.last().at(0).toInt()}), QList<int>({5, 0}));
    }
};

QTEST_GUILESS_MAIN(TestRecordset)
#include "test_recordset.moc"
