#include "catalog/jettext/jet_text.h"
#include "catalog/listing/query.h"
#include "catalog/listing/request.h"
#include "catalog/listing/straight_run.h"
#include "catalog/engine/query_engine.h"
#include "catalog/criteria/record_criteria.h"
#include "catalog/criteria/record_sort.h"
#include "catalog/ado/recordset.h"
#include "catalog/engine/result_rows.h"
#include "catalog/engine/two_threads.h"
#include "tests/catalog/catalog_fixture.h"
#include "tests/catalog/generated_listing.h"

#include <QDateTime>
#include <QRandomGenerator>
#include <QThread>

#include <ctime>

using T = jet::StoredType;


namespace {

// One title (or `titles` of them, all named "Twin") whose type and site each match many rows:
// the types and sites have no key of their own, as a table without a primary key allows.
std::unique_ptr<MemorySource> multiplyingCatalog(int titles, int types, int sites, int siteTextLength = 1)
{
    QVector<QStringList> titleRows;
    for (int i = 0; i < titles; ++i)
        titleRows.append({QString::number(i + 1), "Twin", "about", "1.5", "", "0", "", "", "", "", "", "", "3", "1", "1", "1", "1"});
    QVector<QStringList> typeRows(types, QStringList{"1", "Freeware"});
    QVector<QStringList> siteRows(sites, QStringList{"1", "Acme", "http://acme/", QString(siteTextLength, 'x')});
    return std::make_unique<MemorySource>(QVector<MemorySource::Table>{{"Software", generated::softwareColumns(T::Double), titleRows},
                                                                       {"SoftwareType", generated::typeColumns(), typeRows},
                                                                       {"Site", generated::siteColumns(), siteRows}});
}

// The rows of `rows` sorted by each column both ways, and those a filter on each column lets
// through, as text: a listing whose columns share the held values must sort and filter as
// one that owns copies of them.
QStringList sortedEveryWay(const engine::ResultRows &rows)
{
    // Rows' places, not their texts: two results that list the same rows in the same order
    // must place them alike, ties included.
    QStringList out;
    for (int c = 0; c < rows.columnCount(); ++c) {
        for (const bool descending : {false, true}) {
            std::vector<int> sorted(std::size_t(rows.rowCount()));
            criteria::sortRows(rows, {criteria::SortKey{c, descending}}, sorted);
            QString order;
            for (const int r : sorted)
                order += QString::number(r) + '/';
            out << order;
        }
        std::unique_ptr<criteria::Predicate> predicate;
        if (criteria::parseFilter("[" + rows.field(c).Name + "] LIKE '*a*'", rows, predicate) || !predicate)
            continue;
        predicate->prepare(rows);
        std::vector<std::uint8_t> hits(std::size_t(rows.rowCount()));
        predicate->markMatches(rows, 0, rows.rowCount(), hits.data());
        QString marks;
        for (const std::uint8_t hit : hits)
            marks += hit ? '1' : '0';
        out << marks;
    }
    return out;
}

// A result as text: its error, columns, types and storage, then each row's values.
// The answer to `statement` through SQLite, or with a `request`, to the request as the
// windows ask for it (straight from the titles where it can be).
QStringList listed(engine::QueryEngine &engine, const QString &statement, const listing::Request *request = nullptr)
{
    engine::ResultRows result;
    const ado::Error error = request ? listing::list(engine, *request, result) : engine.execute(statement, result);
    QStringList out{error.Description};
    for (int c = 0; c < result.columnCount(); ++c)
        out << result.field(c).Name + ':' + QString::number(result.field(c).Type) + ':'
                + QString::number(int(result.storage(c)));
    for (int r = 0; r < result.rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < result.columnCount(); ++c)
            cells << (result.isNull(r, c) ? "Null" : QString::fromStdString(result.textForm(r, c)));
        out << cells.join('|');
    }
    return out;
}

}  // namespace

class TestQueryEngine : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        qputenv("TZ", "Europe/Berlin");  // summer time, so a date that drifts with the zone shows
        tzset();
        fixLocale();
    }

    void shouldKeepEachJetTypesAdoTypeAndValue_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("adoType");
        QTest::addColumn<QVariant>("value");
        const auto date = [](int y, int m, int d, int h) { return QVariant(QDateTime(QDate(y, m, d), QTime(h, 0))); };
        QTest::newRow("LONG") << int(T::Long) << "-70000" << int(ado::adInteger) << QVariant(-70000);
        QTest::newRow("INT") << int(T::Int) << "-12" << int(ado::adSmallInt) << QVariant(-12);
        QTest::newRow("BYTE") << int(T::Byte) << "200" << int(ado::adUnsignedTinyInt) << QVariant(200);
        QTest::newRow("TEXT") << int(T::Text) << "tab\there" << int(ado::adVarWChar) << QVariant("tab\there");
        QTest::newRow("TEXT zero-length, not Null") << int(T::Text) << "" << int(ado::adVarWChar) << QVariant("");
        QTest::newRow("MEMO") << int(T::Memo) << "a\r\nb" << int(ado::adLongVarWChar) << QVariant("a\r\nb");
        QTest::newRow("MONEY") << int(T::Money) << "1234.5678" << int(ado::adCurrency) << QVariant(1234.5678);
        QTest::newRow("BOOLEAN") << int(T::Boolean) << "1" << int(ado::adBoolean) << QVariant(true);
        QTest::newRow("DOUBLE") << int(T::Double) << "0.1" << int(ado::adDouble) << QVariant(0.1);
        QTest::newRow("FLOAT") << int(T::Float) << "2.5" << int(ado::adSingle) << QVariant(2.5);
        QTest::newRow("DATE") << int(T::Date) << "36526.5" << int(ado::adDate) << date(2000, 1, 1, 12);
        QTest::newRow("DATE in summer time") << int(T::Date) << "44378.25" << int(ado::adDate) << date(2021, 7, 1, 6);
        QTest::newRow("DATE before 1899-12-30") << int(T::Date) << "-1.25" << int(ado::adDate) << date(1899, 12, 29, 6);
        QTest::newRow("NUMERIC, its scale's zeros") << int(T::Numeric) << "-1234.5600" << int(ado::adNumeric) << QVariant(-1234.56);
        QTest::newRow("GUID") << int(T::Guid) << "{3C6EF362-1111-2222-3333-000000000002}" << int(ado::adGUID)
                              << QVariant("{3C6EF362-1111-2222-3333-000000000002}");
        QTest::newRow("BINARY") << int(T::Binary) << "\x01\x7f" << int(ado::adBinary) << QVariant(QByteArray("\x01\x7f"));
        QTest::newRow("OLE, zero length") << int(T::Ole) << "" << int(ado::adLongVarBinary) << QVariant(QByteArray(""));
    }
    void shouldRefuseByNameAListingThatShowsAColumnItCannotShow_data()
    {
        QTest::addColumn<QString>("statement");
        QTest::addColumn<QString>("refusal");  // empty: the statement runs
        const QString files = "Column 'Files' of table 'T' cannot be shown: it is an attachment or multi-valued field.";
        QTest::newRow("other columns") << "SELECT Name FROM T WHERE Files = 2" << QString();
        QTest::newRow("the column") << "SELECT Name, Files FROM T" << files;
        QTest::newRow("every column") << "SELECT * FROM T" << files;
        QTest::newRow("under another name") << "SELECT X.Files AS F FROM T X" << files;
        QTest::newRow("unknown type") << "SELECT Odd FROM T"
                                      << "Column 'Odd' of table 'T' cannot be shown: it is of a type that cannot be read (type 70).";
    }
    void shouldRefuseByNameAListingThatShowsAColumnItCannotShow()
    {
        QFETCH(QString, statement);
        QFETCH(QString, refusal);
        jet::Column files{"Files", T::Long}, odd{"Odd", T::Binary};
        files.unshown = odd.unshown = true;
        files.storedCode = jet::kComplexCode;
        odd.storedCode = 70;
        const auto cn = openSource(std::make_unique<MemorySource>(QVector<jet::Column>{{"Name", T::Text, 20}, files, odd},
                                                                  QVector<QStringList>{{"Zip", "2", QString()}}));
        engine::ResultRows rows;
        const ado::Error error = cn->engine()->execute(statement, rows);
        QCOMPARE(error.Description, refusal);
    }

    void shouldKeepEachJetTypesAdoTypeAndValue()
    {
        QFETCH(int, type);
        QFETCH(QString, stored);
        QFETCH(int, adoType);
        QFETCH(QVariant, value);
        engine::ResultRows rows;
        const auto cn = openSource(std::make_unique<MemorySource>(QVector<jet::Column>{{"V", T(type), 20}},
                                                                  QVector<QStringList>{{stored}, {QString()}}));
        QVERIFY(!cn->engine()->execute("SELECT * FROM T", rows));
        QCOMPARE(rows.field(0).Type, adoType);
        QCOMPARE(rows.value(0, 0), value);
        QCOMPARE(rows.value(0, 0).typeId(), value.typeId());
        QVERIFY(!rows.value(1, 0).isValid());
    }

    // Replication IDs join byte for byte, not as text in any case; decimals order as numbers.
    void shouldJoinGuidsExactlyAndOrderDecimalsAsNumbers()
    {
        const auto cn = openSource(std::make_unique<MemorySource>(
            QVector<jet::Column>{{"K", T::Guid, 0}, {"P", T::Numeric, 0, false, 19, 4}},
            QVector<QStringList>{{"{0000000A-0000-0000-0000-000000000000}", "10.0000"},
                                 {"{0000000a-0000-0000-0000-000000000000}", "9.5000"},
                                 {"{0000000B-0000-0000-0000-000000000000}", "-100.0000"}}));
        engine::ResultRows joined, ordered;
        QVERIFY(!cn->engine()->execute("SELECT A.P FROM T A, T B WHERE A.K = B.K ORDER BY A.P", joined));
        QVERIFY(!cn->engine()->execute("SELECT K FROM T WHERE P > 9 ORDER BY P DESC", ordered));
        QCOMPARE(texts(joined.rowCount(), [&](int r) { return joined.value(r, 0); }), QStringList({"-100", "9.5", "10"}));
        QCOMPARE(texts(ordered.rowCount(), [&](int r) { return ordered.value(r, 0); }),
                 QStringList({"{0000000A-0000-0000-0000-000000000000}", "{0000000a-0000-0000-0000-000000000000}"}));
    }

    // Eight letters are compared at a time while both texts are ASCII: the answers at and
    // around those steps, and where a step meets other letters, must be the letter-by-letter ones.
    void shouldCompareTextAsJetSortsIt_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("order");
        QTest::newRow("case only, past two steps") << "Archive Archive 17" << "aRCHIVE aRCHIVE 17" << 0;
        QTest::newRow("longer after an equal beginning") << "Archive Archive 10" << "Archive Archive 1" << 1;
        QTest::newRow("last letter of the first step") << "abcdefgh" << "ABCDEFGI" << -1;
        QTest::newRow("first letter after a step") << "abcdefghZ" << "ABCDEFGHa" << 1;
        QTest::newRow("last letter of the second step") << "ABCDEFGHIJKLMNOP" << "abcdefghijklmnoq" << -1;
        QTest::newRow("@ stands before A") << "abcdefg@" << "abcdefgA" << -1;
        QTest::newRow("[ stands after Z, before a") << "abcdefg[" << "abcdefgz" << -1;
        QTest::newRow("Z is z, after [") << "abcdefgZ" << "abcdefg[" << 1;
        QTest::newRow("` stands before a") << "abcdefg`" << "abcdefgA" << -1;
        QTest::newRow("empty before anything") << "" << "a" << -1;
        QTest::newRow("accent in the second step") << "Archive é" << "ARCHIVE E" << 1;
        QTest::newRow("accent weighs less than a later letter") << "Archive éa" << "archive eb" << -1;
        QTest::newRow("accent after a whole step") << "abcdefghé" << "ABCDEFGHE" << 1;
        QTest::newRow("accented and plain in one step") << "Ébcdefgh" << "ebcdefgi" << -1;
    }

    void shouldCompareTextAsJetSortsIt()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(int, order);
        const auto sign = [](int c) { return c < 0 ? -1 : c > 0 ? 1 : 0; };
        QCOMPARE(sign(jettext::compare(a.toStdString(), b.toStdString())), order);
        QCOMPARE(sign(jettext::compare(b.toStdString(), a.toStdString())), -order);
    }

    // A table indexed on load is stored in that column's order. A statement ordered by it
    // must list exactly what the engine's own sort gives, with rows of equal (or only
    // differently cased) names in the order they were read, and Nulls first.
    // "Contains" takes a shortcut over ASCII text; it must answer as the full rule does.
    void shouldMatchAContainedTextAsTheFullRule_data()
    {
        QTest::addColumn<QString>("needle");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("expected");
        QTest::newRow("any letter case") << "zip" << "ZIP" << true;
        QTest::newRow("at the very end") << "zip" << "xxZiP" << true;
        QTest::newRow("text shorter") << "zip" << "zi" << false;
        QTest::newRow("empty text") << "zip" << "" << false;
        QTest::newRow("first letter again after a miss") << "zip" << "zzip" << true;
        QTest::newRow("upper case after lower misses") << "ab" << "aaAb" << true;
        QTest::newRow("lower case after upper misses") << "ab" << "AAab" << true;
        QTest::newRow("only the first letter") << "ab" << "aAaA" << false;
        QTest::newRow("digits") << "10" << "x100" << true;
        QTest::newRow("other letters elsewhere") << "zip" << "Éclair zip" << true;
        QTest::newRow("other letters, no match") << "zip" << "Éclair" << false;
        QTest::newRow("accent folded in the text") << "eclair" << "ÉCLAIR" << false;
        QTest::newRow("accented needle") << "éc" << "ÉCLAIR" << true;
    }

    void shouldMatchAContainedTextAsTheFullRule()
    {
        QFETCH(QString, needle);
        QFETCH(QString, text);
        QFETCH(bool, expected);
        const jettext::LikePattern pattern(('%' + needle + '%').toStdString(), '%', '_');
        QCOMPARE(pattern.matches(text.toStdString()), expected);
        QCOMPARE(pattern.matchesFolded(jettext::fold(text.toStdString())), expected);
    }

    void shouldListATableIndexedOnLoadInTheColumnsOrder_data()
    {
        QTest::addColumn<QStringList>("words");
        QTest::addColumn<QList<int>>("expected");  // the IDs in order; empty: as the engine's own sort
        QTest::newRow("ties keep the read order") << QStringList{"b", QString(), "B", "", "a", "A", QString()}
                                                  << QList<int>{2, 7, 4, 5, 6, 1, 3};
        QTest::newRow("one row") << QStringList{"only"} << QList<int>{1};
        QTest::newRow("no rows") << QStringList{} << QList<int>{};
        QTest::newRow("Nulls only") << QStringList{QString(), QString()} << QList<int>{1, 2};
        QTest::newRow("long shared beginnings")
            << QStringList{"Archive Archive 10", "archive archive 1", "ARCHIVE ARCHIVE 1", "Archive Archive",
                           "Archive Archive 1x", "Archive ArchivE 2", "Archive Archive 1", "Archive Arc"}
            << QList<int>{8, 4, 2, 3, 7, 1, 5, 6};
        QTest::newRow("accented letters: the full rule for all")
            << QStringList{"Zebra", "Éclair", "apple", QString(), "édith", "Ecran", "eclair", "ÇA VA", "Straße", ""}
            << QList<int>{};
        // Above the size split over two threads, names that share their first sixteen letters.
        QStringList many;
        const QStringList words{"Zip", "zip", "Archive", "ARCHIVE", "Disk", "Net"};
        for (int i = 0; i < 40000; ++i)
            many << QStringLiteral("%1 %2 %3").arg(words[(i * 7) % words.size()], words[(i / 3) % words.size()]).arg((i * 7919) % 5000);
        QTest::newRow("many rows, many ties") << many << QList<int>{};
        many[123] = "Zip Éclair 1";
        QTest::newRow("many rows, one accented") << many << QList<int>{};
    }

    void shouldListATableIndexedOnLoadInTheColumnsOrder()
    {
        QFETCH(QStringList, words);
        QFETCH(QList<int>, expected);
        const auto engine = [&](bool indexed) {
            QVector<QStringList> rows;
            for (int i = 0; i < words.size(); ++i)
                rows.append({QString::number(i + 1), words[i]});
            auto e = std::make_unique<engine::QueryEngine>(std::make_unique<MemorySource>(
                QVector<jet::Column>{{"ID", T::Long, 0}, {"Word", T::Text, 50}}, rows));
            if (indexed)
                e->indexOnLoad("T", "word");
            return e;
        };
        const auto ids = [](engine::QueryEngine &e, const QString &sql) {
            engine::ResultRows rows;
            if (ado::Error error = e.execute(sql, rows))
                qWarning("%s", qPrintable(error.Description));
            QList<int> out;
            for (int r = 0; r < rows.rowCount(); ++r)
                out << int(rows.integer(r, 0));
            return out;
        };
        if (expected.isEmpty() && !words.isEmpty())
            expected = ids(*engine(false), "SELECT ID FROM T ORDER BY Word, ID");
        QCOMPARE(expected.size(), words.size());
        const auto indexed = engine(true);
        QCOMPARE(ids(*indexed, "SELECT ID FROM T ORDER BY Word"), expected);
        QCOMPARE(ids(*indexed, "SELECT ID FROM T ORDER BY rowid"), expected);  // stored in that order
        QCOMPARE(ids(*indexed, "SELECT ID FROM T WHERE Word LIKE '%a%' OR Word IS NULL ORDER BY Word").size(),
                 ids(*engine(false), "SELECT ID FROM T WHERE Word LIKE '%a%' OR Word IS NULL").size());
    }

    // A table kept in a listing order is read by SQLite where it is held; every statement
    // must answer from it exactly as from the same table stored in SQLite.
    void shouldAnswerFromAHeldTableAsFromAStoredOne_data()
    {
        QTest::addColumn<QString>("sql");
        const QString all = "SELECT ID, Word, Price, Made, Amount, Code, hex(Data), hex(Note), Wide, typeof(Price), "
                            "typeof(Amount), typeof(Data), typeof(Word) FROM T ";
        QTest::newRow("every type") << all + "ORDER BY ID";
        QTest::newRow("one value, any letter case") << all + "WHERE Word = 'ZIP' ORDER BY ID";
        QTest::newRow("one value and more") << all + "WHERE Word = 'zip' AND ID > 3 ORDER BY ID";
        QTest::newRow("accents are not letter case") << "SELECT ID FROM T WHERE Word = 'eclair'";
        QTest::newRow("a number against text") << "SELECT ID FROM T WHERE Word = 5 OR Word = 5.0";
        QTest::newRow("a value that is no row's") << "SELECT ID FROM T WHERE Word = 'zipp'";
        QTest::newRow("the first and the last value") << "SELECT ID FROM T WHERE Word = '' OR Word = 'zz top'";
        QTest::newRow("Null is equal to nothing") << "SELECT ID FROM T WHERE Word = NULL";
        QTest::newRow("Nulls") << "SELECT ID FROM T WHERE Word IS NULL ORDER BY ID";
        QTest::newRow("another collation") << "SELECT ID FROM T WHERE Word = 'zip' COLLATE BINARY";
        QTest::newRow("a bound value") << "SELECT ID FROM T WHERE Word = (SELECT 'Zip')";
        QTest::newRow("a list") << "SELECT ID FROM T WHERE Word IN ('zip', 'a', 'eclair') ORDER BY ID";
        QTest::newRow("a range") << "SELECT ID, Word FROM T WHERE Word > 'm' ORDER BY Word, ID";
        QTest::newRow("LIKE") << "SELECT ID FROM T WHERE Word LIKE 'z%' ORDER BY Word, ID";
        QTest::newRow("ordered under another collation") << "SELECT Word FROM T ORDER BY Word COLLATE BINARY";
        QTest::newRow("ordered by its text form") << "SELECT Word FROM T WHERE Word NOT LIKE '%zip%' ORDER BY Word || ''";
        QTest::newRow("descending") << "SELECT Word FROM T WHERE Word NOT LIKE '%zip%' ORDER BY Word DESC";
        QTest::newRow("a zero byte in the text") << "SELECT ID, hex(Word), length(Word) FROM T WHERE Word LIKE 'nul%'";
        QTest::newRow("the table with itself")
            << "SELECT A.ID, B.ID FROM T A, T B WHERE A.Word = B.Word AND A.ID < B.ID ORDER BY A.ID, B.ID";
        // Rows that refer to the held values, then a Null no held row gives: copied from there on.
        QTest::newRow("held values, then a Null of no row")
            << "WITH ids(n) AS (VALUES (1), (9), (4), (99), (2)) "
               "SELECT n, B.Word, B.Note, B.Data, B.ID, B.Price, B.Made FROM ids LEFT JOIN T B ON B.ID = n";
        QTest::newRow("counted") << "SELECT count(*), count(Word), sum(Price), min(Word), max(Made) FROM T";
        QTest::newRow("grouped") << "SELECT Word, count(*) FROM T GROUP BY Word ORDER BY Word";
    }

    void shouldAnswerFromAHeldTableAsFromAStoredOne()
    {
        QFETCH(QString, sql);
        const QVector<jet::Column> columns{{"ID", T::Long, 0},     {"Word", T::Text, 50},  {"Price", T::Money, 0},
                                           {"Made", T::Date, 0},   {"Amount", T::Numeric, 0}, {"Code", T::Guid, 0},
                                           {"Data", T::Binary, 8}, {"Note", T::Memo, 0},   {"Wide", T::Long, 0}};
        const QStringList words{"zip", "Zip", "b", QString(), "ZIP", "éclair", "Eclair", "5", "", "zz top",
                                QStringLiteral("nul") + QChar(0) + "l", "a", "zip", QString(), "Straße", "m"};
        QVector<QStringList> rows;
        for (int i = 0; i < words.size(); ++i)
            rows.append({QString::number(i + 1), words[i], i % 3 ? QString::number(i * 1.25) : QString(),
                         QString::number(40000 + i * 0.5), i == 5 ? QStringLiteral("nan") : i == 6 ? QStringLiteral("Infinity") : i % 4 ? QStringLiteral("-%1.0500").arg(i) : QString(),  // text no decimal holds, as a reader gone wrong could send it
                         "{00000000-0000-0000-0000-0000000000" + QString::number(10 + i) + "}",
                         i % 2 ? QStringLiteral("b") + QChar(0) + "y" : QString(), QString(i * 40, QChar('n')),
                         QString::number(i % 2 ? 3000000000LL + i : -i)});  // past 32 bits: no source gives it, kept all the same
        const auto answer = [&](bool held) {
            engine::QueryEngine engine(std::make_unique<MemorySource>(columns, rows));
            if (held)
                engine.indexOnLoad("T", "Word");
            return listed(engine, sql);
        };
        const QStringList held = answer(true);
        QVERIFY2(held.size() > 1, qPrintable(held.join('\n')));
        QCOMPARE(held, answer(false));
    }

    // Catalogs made by a seeded generator (repeated, Null and missing keys, names equal but for
    // case, NaN and infinite prices, types and sites with repeated keys): every listing the
    // windows ask for is answered straight over the held titles, and gives the same columns,
    // types, rows, order and values as its statement text run through SQLite.
    void shouldListGeneratedCatalogsAsTheStatementDoes_data()
    {
        QTest::addColumn<int>("seed");
        QTest::addColumn<int>("titles");  // 0 for a few, as the bytes pick
        for (int seed = 1; seed <= 300; ++seed)
            QTest::newRow(qPrintable(QStringLiteral("seed %1").arg(seed))) << seed << 0;
        // Past the count two threads share, with ASCII names only (their own fast paths).
        QTest::newRow("seed 1, 50000 titles") << 1 << 50000;
    }
    void shouldListGeneratedCatalogsAsTheStatementDoes()
    {
        QFETCH(int, seed);
        QFETCH(int, titles);
        std::vector<std::uint8_t> bytes(titles > 0 ? std::size_t(titles) * 64 + 4096 : 4096);
        QRandomGenerator random{quint32(seed)};
        for (std::uint8_t &b : bytes)
            b = std::uint8_t(random.bounded(256));
        generated::Bytes stream(bytes.data(), bytes.size());
        auto cn = std::make_shared<ado::Connection>();
        QVERIFY(!cn->openSource(std::make_unique<generated::Source>(generated::listingCatalog(stream, unsigned(titles)))));
        using listing::Request;
        const Request requests[] = {Request::allTitles(),     Request::category("1", 1),  Request::subCategory("2", 2),
                                    Request::category("04", 4), Request::subCategory("-1", -1), Request::search("zip"),
                                    Request::search(""),        Request::search("_"),       Request::search("100%"),
                                    Request::search("Don't"),   Request::search("é"),       Request::title("Twin"),
                                    Request::title("tWIN"),     Request::title("")};
        for (const Request &request : requests) {
            QCOMPARE(listed(*cn->engine(), QString(), &request), listed(*cn->engine(), request.sql()));
            engine::ResultRows straight, statement;
            bool taken = false;
            const engine::QueryEngine::StraightAnswer answer = listing::straightAnswer(request);
            QVERIFY(!cn->engine()->execute(request.sql(), straight, [&](engine::QueryEngine::StraightRun &run, engine::ResultRows &out) {
                const std::optional<ado::Error> done = answer(run, out);
                taken = done.has_value();
                return done;
            }));
            QVERIFY(taken);
            QVERIFY(!cn->engine()->execute(request.sql(), statement));
            // Many titles listed: past what one thread sorts alone.
            QVERIFY(titles == 0 || &request != requests || straight.rowCount() > int(engine::kTwoThreadMinimum));
            QCOMPARE(sortedEveryWay(straight), sortedEveryWay(statement));
        }
    }

    // A statement refused with its reason, and what a statement or a filter handed to the
    // engine could cost: each ends in a clear error (or, for long chains of terms, the right
    // rows) within the statement budget, creates no file, and the engine answers the next
    // statement.
    void shouldBoundWhatAStatementOrFilterCosts_data()
    {
        QTest::addColumn<QString>("sql");     // <dir> stands for an empty folder
        QTest::addColumn<QString>("filter");  // "" for none
        QTest::addColumn<QString>("words");   // in the error; "" when the rows below come back
        QTest::addColumn<int>("rows");
        const QString all = QStringLiteral("SELECT * FROM T");
        const auto nested = [](int depth) { return QString(depth, '(') + "Word = 'apple'" + QString(depth, ')'); };
        const auto chain = [](const QString &term, const QString &join, int count) {
            return QStringList(count - 1, term).join(join) + join + "Word = 'apple'";
        };
        QTest::newRow("unbalanced quote") << "SELECT * FROM T WHERE Word = 'Don't'" << "" << "syntax error" << 0;
        QTest::newRow("unknown table") << "SELECT * FROM Nowhere" << "" << "cannot find the input table or query 'Nowhere'" << 0;
        QTest::newRow("writes") << "DELETE FROM T" << "" << "read-only" << 0;
        QTest::newRow("second statement") << "SELECT * FROM T; DELETE FROM T" << "" << "after end" << 0;
        QTest::newRow("second statement naming no table") << "SELECT 1; SELECT 2" << "" << "after end" << 0;
        QTest::newRow("filter, 30,000 nested parentheses") << all << nested(30000) << "nested more than 100 deep" << 0;
        QTest::newRow("filter, 101 nested parentheses") << all << nested(101) << "nested more than 100 deep" << 0;
        QTest::newRow("filter, 100 nested parentheses") << all << nested(100) << "" << 1;
        QTest::newRow("filter, 100,000 AND terms") << all << chain("ID > 0", " AND ", 100000) << "" << 1;
        QTest::newRow("filter, 100,000 OR terms") << all << chain("ID < 0", " OR ", 100000) << "" << 1;
        QTest::newRow("statement, 30,000 nested parentheses") << "SELECT " + QString(30000, '(') + "1" + QString(30000, ')') << "" << "stack overflow" << 0;
        QTest::newRow("ATTACH creating a file") << "ATTACH DATABASE '<dir>/attached.db' AS x" << "" << "ATTACH is not allowed" << 0;
        QTest::newRow("VACUUM INTO a file") << "VACUUM INTO '<dir>/copy.db'" << "" << "read-only" << 0;
        QTest::newRow("PRAGMA") << "PRAGMA writable_schema = ON" << "" << "PRAGMA is not allowed" << 0;
        QTest::newRow("pragma as a table") << "SELECT * FROM pragma_database_list" << "" << "is not allowed" << 0;
        QTest::newRow("creating a table") << "CREATE TABLE x (a)" << "" << "read-only" << 0;
        QTest::newRow("endless recursive CTE")
            << "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) SELECT count(*) FROM c" << "" << "ran longer than 5 seconds" << 0;
        QTest::newRow("printf of a billion characters") << "SELECT printf('%.*c', 999999999, 'x')" << "" << "longer than 64 MiB" << 0;
        QTest::newRow("a gigabyte of zeros") << "SELECT zeroblob(1000000000)" << "" << "longer than 64 MiB" << 0;
    }
    void shouldBoundWhatAStatementOrFilterCosts()
    {
        QFETCH(QString, sql);
        QFETCH(QString, filter);
        QFETCH(QString, words);
        QFETCH(int, rows);
        QTemporaryDir dir;
        const auto cn = openWords();
        ado::Recordset rs;
        QElapsedTimer clock;
        clock.start();
        ado::Error error = rs.Open(sql.replace("<dir>", dir.path()), cn, ado::adOpenStatic, ado::adLockReadOnly, ado::adCmdText);
        if (!error && !filter.isEmpty())
            error = rs.setFilter(filter);
        const qint64 ms = clock.elapsed();
        if (words.isEmpty()) {
            QVERIFY2(!error, qPrintable(error.Description));
            QCOMPARE(rs.RecordCount(), rows);
        } else {
            QCOMPARE(error.Number, words.startsWith("nested") ? int(ado::adErrInvalidArgument) : int(ado::E_PROVIDER_FAIL));
            QVERIFY2(error.Description.contains(words), qPrintable(error.Description));
        }
        QVERIFY2(ms < 5000 + 5000, qPrintable(QString::number(ms)));  // the budget, and time for a busy machine
        QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
        engine::ResultRows after;
        QVERIFY(!cn->engine()->execute(QStringLiteral("SELECT * FROM T"), after));
        QCOMPARE(after.rowCount(), 10);
    }

    // A date Jet cannot hold (a NaN, ±1e300, a day past 9999) is Null from the table up and
    // in the result rows themselves, so no date is ever made of it; NaN in a number column
    // is Null as SQLite keeps it.
    void shouldHoldNoValueJetCannotHold_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("shown");  // "Null", or the text form
        const int date = int(T::Date), real = int(T::Double);
        QTest::newRow("date, NaN") << date << "nan" << "Null";
        QTest::newRow("date, 1e300") << date << "1e300" << "Null";
        QTest::newRow("date, -1e300") << date << "-1e300" << "Null";
        QTest::newRow("date, 10000-01-01") << date << "2958466" << "Null";
        QTest::newRow("date, 9999-12-31") << date << "2958465" << "9999-12-31T00:00:00";
        QTest::newRow("date, 100-01-01") << date << "-657434" << "0100-01-01T00:00:00";
        QTest::newRow("double, NaN") << real << "nan" << "Null";
        QTest::newRow("double, infinite") << real << "inf" << "inf";
    }
    void shouldHoldNoValueJetCannotHold()
    {
        QFETCH(int, type);
        QFETCH(QString, value);
        QFETCH(QString, shown);
        for (const bool held : {false, true}) {
            engine::QueryEngine engine(std::make_unique<MemorySource>(
                QVector<jet::Column>{{"Word", T::Text, 50}, {"Made", T(type), 0}}, QVector<QStringList>{{"a", value}}));
            if (held)
                engine.indexOnLoad("T", "Word");
            engine::ResultRows rows;
            QVERIFY(!engine.execute(QStringLiteral("SELECT Made FROM T"), rows));
            QCOMPARE(rows.isNull(0, 0) ? QStringLiteral("Null") : QString::fromStdString(rows.textForm(0, 0)), shown);
        }
        // Straight into result rows, as a computed column could bring it.
        engine::ResultRows direct;
        direct.addColumn(QStringLiteral("Made"), type == int(T::Date) ? ado::adDate : ado::adDouble);
        direct.setReal(0, value.toDouble());
        direct.endRow();
        QCOMPARE(direct.isNull(0, 0), shown == "Null");
        QCOMPARE(direct.value(0, 0).isValid(), shown != "Null");
    }

    // A result that would pass its rows or bytes ends in an error (the listing's, as for a
    // failed open), holds nothing, and the engine answers the next statement: a title whose
    // type and site each match a thousand rows makes a million pairs and more. A listing made
    // straight from the held titles keeps each joined value once for all its rows: where
    // SQLite's copy of long site texts is stopped, it is made.
    void shouldStopAResultPastItsRowsOrBytes_data()
    {
        QTest::addColumn<QString>("sql");  // through SQLite; empty for the request, straight
        QTest::addColumn<listing::Request>("request");
        QTest::addColumn<int>("types");
        QTest::addColumn<int>("sites");
        QTest::addColumn<int>("siteText");   // characters of each site's description
        QTest::addColumn<qint64>("bytes");   // the engine's result bytes, 0 as the machine gives
        QTest::addColumn<QString>("words");  // a pattern; empty when the listing is made
        const QString rows = QStringLiteral("its result would hold more than 1,000,000 rows");
        // SQLite makes its rows slower: a sanitised build may meet the time first.
        const QString rowsOrTime = rows + "|ran longer than 5 seconds";
        using listing::Request;
        const QString straight;
        QTest::newRow("listing, straight") << straight << Request::allTitles() << 1100 << 1000 << 1 << qint64(0) << rows;
        QTest::newRow("listing, through SQLite") << listing::allTitlesSql() << Request() << 1100 << 1000 << 1 << qint64(0)
                                                 << rowsOrTime;
        QTest::newRow("one title, straight") << straight << Request::title("Twin") << 1001 << 1000 << 1 << qint64(0) << rows;
        QTest::newRow("a search, straight") << straight << Request::search("bou") << 1001 << 1000 << 1 << qint64(0) << rows;
        QTest::newRow("the types with themselves") << QStringLiteral("SELECT * FROM SoftwareType A, SoftwareType B")
                                                   << Request() << 1001 << 1 << 1 << qint64(0) << rowsOrTime;
        const QString bytes = QStringLiteral("its result would take more than 8 MiB");
        QTest::newRow("long texts, through SQLite") << listing::allTitlesSql() << Request() << 1 << 100 << 100000
                                                    << qint64(8 << 20) << bytes;
        QTest::newRow("long texts, straight") << straight << Request::allTitles() << 1 << 100 << 100000 << qint64(8 << 20)
                                              << QString();
        // Unlowered, the bytes follow the catalog: 256 MiB and twice its 2,000,000 bytes, not the machine's memory.
        QTest::newRow("long texts, the catalog's own bound") << listing::allTitlesSql() << Request() << 3000 << 20 << 100000
                                                             << qint64(0) << "its result would take more than 259 MiB";
    }
    void shouldStopAResultPastItsRowsOrBytes()
    {
        QFETCH(QString, sql);
        QFETCH(listing::Request, request);
        QFETCH(int, types);
        QFETCH(int, sites);
        QFETCH(int, siteText);
        QFETCH(qint64, bytes);
        QFETCH(QString, words);
        auto source = multiplyingCatalog(1, types, sites, siteText);
        source->setStoredBytes(qint64(sites) * siteText);  // what a file of the sites' texts would take
        const auto cn = openSource(std::move(source));
        cn->engine()->setResultByteLimit(std::size_t(bytes));
        engine::ResultRows rows;
        const ado::Error error = sql.isEmpty() ? listing::list(*cn->engine(), request, rows) : cn->engine()->execute(sql, rows);
        if (words.isEmpty()) {
            QVERIFY2(!error, qPrintable(error.Description));
            QCOMPARE(rows.rowCount(), sites);
            for (const int row : {0, sites - 1})
                QCOMPARE(rows.text(row, rows.columnIndex(QStringLiteral("Company Desc"))).size(), std::size_t(siteText));
            QVERIFY2(rows.byteSize() < (std::size_t(1) << 20), qPrintable(QString::number(rows.byteSize())));
            return;
        }
        QCOMPARE(error.Number, ado::E_PROVIDER_FAIL);
        QVERIFY2(error.Description.contains(QRegularExpression(words)), qPrintable(error.Description));
        QCOMPARE(QList<int>({rows.rowCount(), rows.columnCount()}), QList<int>({0, 0}));
        engine::ResultRows after;
        QVERIFY(!cn->engine()->execute(QStringLiteral("SELECT * FROM Software"), after));
        QCOMPARE(after.rowCount(), 1);
    }

    // One column keeps its texts within 4 GiB (lowered here): a table whose texts pass it is
    // refused by name, as a result whose texts pass it is stopped, and the catalog's other
    // tables still answer.
    void shouldRefuseTextsPastWhatOneColumnHolds()
    {
        const auto cn = openSource(multiplyingCatalog(20, 10, 1));
        cn->engine()->setColumnTextLimit(64);
        engine::ResultRows rows, types, sites;
        const ado::Error listing = listing::list(*cn->engine(), listing::Request::allTitles(), rows);
        const ado::Error typesError = cn->engine()->execute(QStringLiteral("SELECT Description FROM SoftwareType"), types);
        const ado::Error sitesError = cn->engine()->execute(QStringLiteral("SELECT * FROM Site"), sites);
        QCOMPARE(listing.Number, ado::E_PROVIDER_FAIL);
        QVERIFY2(listing.Description.contains("Could not read table 'Software'") && listing.Description.contains("4 GiB"),
                 qPrintable(listing.Description));
        QCOMPARE(typesError.Number, ado::E_PROVIDER_FAIL);
        QVERIFY2(typesError.Description.contains("The statement was stopped"), qPrintable(typesError.Description));
        QCOMPARE(types.rowCount(), 0);
        QVERIFY2(!sitesError, qPrintable(sitesError.Description));
        QCOMPARE(sites.rowCount(), 1);
    }

    // Every table the catalog has is known from the start and read when a statement first
    // names it, whatever its name: one named as the engine's own module, as an SQL word, in
    // other letter case, or held in name order. A table it does not have keeps the provider's
    // wording.
    void shouldReadEachTableWhenAStatementFirstNamesIt_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("named");
        QTest::addColumn<bool>("held");
        QTest::newRow("plain") << "Words" << "Words" << false;
        QTest::newRow("other letter case") << "Words" << "wORDS" << false;
        QTest::newRow("the module's own name") << "held" << "held" << false;
        QTest::newRow("the module's own name, held") << "held" << "HELD" << true;
        QTest::newRow("a blank and a quote") << "Don't Say" << "\"Don't Say\"" << false;
        QTest::newRow("an SQL word, held") << "Order" << "[Order]" << true;
    }
    void shouldReadEachTableWhenAStatementFirstNamesIt()
    {
        QFETCH(QString, table);
        QFETCH(QString, named);
        QFETCH(bool, held);
        const QVector<jet::Column> columns{{"ID", T::Long, 0}, {"Word", T::Text, 20}};
        engine::QueryEngine engine(std::make_unique<MemorySource>(QVector<MemorySource::Table>{
            {"Other", columns, {{"9", "z"}}}, {table, columns, {{"2", "b"}, {"1", "a"}}}}));
        if (held)
            engine.indexOnLoad(table, "Word");
        engine::ResultRows missing;
        QCOMPARE(engine.execute("SELECT * FROM Nowhere", missing).Description,
                 QStringLiteral("The Microsoft Jet database engine cannot find the input table or query 'Nowhere'."));
        QVERIFY(engine.loadedTables().isEmpty());
        engine::ResultRows rows;
        const ado::Error error = engine.execute("SELECT ID FROM " + named + " ORDER BY Word", rows);
        QVERIFY2(!error, qPrintable(error.Description));
        QCOMPARE(QList<int>({rows.rowCount(), int(rows.integer(0, 0)), int(rows.integer(1, 0))}), QList<int>({2, 1, 2}));
        QCOMPARE(engine.loadedTables(), QStringList{table});
        engine::ResultRows again;
        QVERIFY(!engine.execute("SELECT * FROM " + named + ", Other", again));
        QCOMPARE(QList<int>({again.rowCount(), int(engine.loadedTables().size())}), QList<int>({2, 2}));
    }

    // The connection hands its progress report to the engine, also to one opened after the
    // report was set, and the clock is read as joined rows are made (one title joined to 300
    // types and 300 sites); once removed, nothing more is reported.
    void shouldReportProgressThroughTheConnection()
    {
        auto cn = std::make_shared<ado::Connection>();
        int reports = 0;
        cn->setProgressReport([&](const ado::Progress &progress) { reports += progress.stage == ado::Progress::Stage::Listing; });
        QVERIFY(!cn->openSource(multiplyingCatalog(1, 300, 300)));
        engine::ResultRows rows;
        QVERIFY(!listing::list(*cn->engine(), listing::Request::allTitles(), rows));
        QVERIFY2(reports >= 20, qPrintable(QString::number(reports)));
        cn->setProgressReport({});
        const int before = reports;
        engine::ResultRows again;
        QVERIFY(!listing::list(*cn->engine(), listing::Request::allTitles(), again));
        QCOMPARE(QList<int>({reports, again.rowCount()}), QList<int>({before, 90000}));
    }

    // A window repainting from the progress report while a long listing runs uses time that
    // is not the statement's: here the reports alone take longer than the statement's budget.
    void shouldNotCountTheProgressReportsTimeAgainstTheStatement()
    {
        engine::QueryEngine engine(std::make_unique<MemorySource>(QVector<jet::Column>{{"ID", T::Long, 0}},
                                                          QVector<QStringList>{{"1"}}));
        int reports = 0;
        engine.setProgressReport([&](const engine::QueryEngine::Progress &progress) {
            if (progress.stage == engine::QueryEngine::Progress::Stage::Listing && ++reports <= 4)
                QThread::msleep(1300);
        });
        engine::ResultRows rows;
        const ado::Error error = engine.execute(
            "WITH RECURSIVE c(x) AS (SELECT ID FROM T UNION ALL SELECT x + 1 FROM c WHERE x < 20000) SELECT x FROM c", rows);
        QVERIFY2(!error, qPrintable(error.Description));
        QCOMPARE(rows.rowCount(), 20000);
        QVERIFY(reports >= 4);
    }

    void shouldNotHalfLoadATableThatFailsToRead()
    {
        const auto cn = openWords(3);
        for (int attempt = 0; attempt < 2; ++attempt) {
            engine::ResultRows rows;
            QVERIFY(cn->engine()->execute("SELECT * FROM T", rows).Description.contains("damaged"));
        }
        QVERIFY(cn->engine()->loadedTables().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestQueryEngine)
#include "test_query_engine.moc"
