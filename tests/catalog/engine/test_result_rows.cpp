#include "catalog/criteria/record_criteria.h"
#include "catalog/engine/result_rows.h"
#include "catalog/engine/two_threads.h"

#include <QtTest>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

Q_DECLARE_METATYPE(std::size_t)

namespace {

// Names that fold to other lengths (a letter that normalises to two, upper-case accented
// letters), plain ASCII, an empty text and a Null, repeated past one thread's share so that
// folding and matching split in two as for a large listing.
const char *const kNames[] = {"\xe0\xa5\x98 Tool",  // U+0958: two letters once normalised
                              "\xc3\x89" "COLE Zip", "zip \xc3\xa9t\xc3\xa9", "Stra\xc3\x9f" "e", "plain zip", "", nullptr,
                              "Zipper"};
constexpr int kNameCount = int(sizeof kNames / sizeof *kNames);

void fill(engine::ResultRows &rows, int count)
{
    rows.addColumn(QStringLiteral("Name"), ado::adVarWChar);
    rows.addColumn(QStringLiteral("Price"), ado::adDouble);
    for (int i = 0; i < count; ++i) {
        if (const char *name = kNames[i % kNameCount])
            rows.setText(0, name);
        else
            rows.setNull(0);
        rows.setReal(1, 10.5 * (i % kNameCount));
        rows.endRow();
    }
}

// The rows fill() makes, as columns shared from other values through a row map: the values
// stand at rows place(r) of a source twice as long, whose other rows are decoys.
void fillShared(engine::ResultRows &rows, int count, int (*place)(int row, int count))
{
    engine::ResultRows source;
    fill(source, 2 * count);
    engine::ResultRows decoys;
    decoys.addColumn(QStringLiteral("Name"), ado::adVarWChar);
    decoys.addColumn(QStringLiteral("Price"), ado::adDouble);
    std::vector<int> at(std::size_t(2 * count), -1);
    for (int r = 0; r < count; ++r)
        at[std::size_t(place(r, count))] = r;
    for (int p = 0; p < 2 * count; ++p) {
        if (at[std::size_t(p)] < 0) {
            decoys.setText(0, "zip decoy");
            decoys.setReal(1, 2.0);
        } else {
            const int r = at[std::size_t(p)];
            if (source.isNull(r, 0))
                decoys.setNull(0);
            else
                decoys.setText(0, source.text(r, 0));
            decoys.setReal(1, source.real(r, 1));
        }
        decoys.endRow();
    }
    const int map = rows.addRowMap();
    rows.addSharedColumn(QStringLiteral("Name"), ado::adVarWChar, decoys.ownValues(0), map);
    rows.addSharedColumn(QStringLiteral("Price"), ado::adDouble, decoys.ownValues(1), map);
    for (int r = 0; r < count; ++r) {
        rows.setSourceRow(map, std::uint32_t(place(r, count)));
        rows.endRow();
    }
}

// Rows [0, count) the filter lets through: every row marked at once, as the recordset does
// on two threads, and each row matched alone, which must agree.
QList<int> passing(const engine::ResultRows &rows, const QString &filter)
{
    std::unique_ptr<criteria::Predicate> predicate;
    if (criteria::parseFilter(filter, rows, predicate) || !predicate)
        return {-1};
    predicate->prepare(rows);
    std::vector<std::uint8_t> hits(std::size_t(rows.rowCount()));
    engine::inTwoHalves(hits.size(), [&](int, std::size_t begin, std::size_t end) {
        predicate->markMatches(rows, int(begin), int(end), hits.data() + begin);
    });
    QList<int> found;
    for (int row = 0; row < rows.rowCount(); ++row) {
        if (bool(hits[std::size_t(row)]) != predicate->matches(rows, row))
            return {-2, row};
        if (hits[std::size_t(row)] && row < kNameCount)
            found.append(row);
    }
    return found;
}

// A column's values as text, "Null" for a Null, row by row.
QStringList shown(const engine::ColumnValues &values)
{
    QStringList out;
    for (std::size_t row = 0; row < values.size(); ++row) {
        if (values.isNull(row)) {
            out << QStringLiteral("Null");
            continue;
        }
        switch (values.storage()) {
        case engine::ColumnValues::Storage::Integer: out << QString::number(values.integer(row)); break;
        case engine::ColumnValues::Storage::Real: out << QString::number(values.real(row)); break;
        case engine::ColumnValues::Storage::Text: {
            const std::string_view text = values.text(row);
            out << QString::fromUtf8(text.data(), qsizetype(text.size()));
            break;
        }
        }
    }
    return out;
}

}  // namespace

Q_DECLARE_METATYPE(engine::ColumnValues::Storage)

class TestResultRows : public QObject {
    Q_OBJECT

private slots:
    // A column keeps no Null flags until its first Null and keeps whole numbers in 32 bits
    // until one needs more; every value reads back as appended, and in any new order.
    void shouldKeepEveryValueAsAppended_data()
    {
        QTest::addColumn<engine::ColumnValues::Storage>("storage");
        QTest::addColumn<QStringList>("values");
        QTest::addColumn<QList<std::uint32_t>>("order");
        using S = engine::ColumnValues::Storage;
        QTest::newRow("text, Null first") << S::Text << QStringList{"Null", "a", "", "bÃ©"} << QList<std::uint32_t>{3, 0, 2, 1};
        QTest::newRow("text, no Null") << S::Text << QStringList{"x", "", "yz"} << QList<std::uint32_t>{2, 0, 1};
        QTest::newRow("text, Nulls only") << S::Text << QStringList{"Null", "Null"} << QList<std::uint32_t>{1, 0};
        QTest::newRow("text, empty texts and Nulls only") << S::Text << QStringList{"", "Null", "", "Null", ""}
                                                          << QList<std::uint32_t>{1, 4, 3, 0, 2};
        QTest::newRow("whole numbers, Null first") << S::Integer << QStringList{"Null", "7", "-2147483648"}
                                                   << QList<std::uint32_t>{2, 1, 0};
        QTest::newRow("whole numbers past 32 bits after narrow ones")
            << S::Integer << QStringList{"1", "2147483647", "Null", "2147483648", "-9223372036854775808"}
            << QList<std::uint32_t>{4, 3, 2, 1, 0};
        QTest::newRow("whole numbers, past 32 bits first") << S::Integer << QStringList{"-2147483649", "0"}
                                                           << QList<std::uint32_t>{1, 0};
        QTest::newRow("reals, Null last") << S::Real << QStringList{"1.5", "-0.25", "Null"} << QList<std::uint32_t>{2, 0, 1};
        QTest::newRow("no rows") << S::Text << QStringList{} << QList<std::uint32_t>{};
    }
    void shouldKeepEveryValueAsAppended()
    {
        QFETCH(engine::ColumnValues::Storage, storage);
        QFETCH(QStringList, values);
        QFETCH(QList<std::uint32_t>, order);
        engine::ColumnValues column(storage);
        for (const QString &value : values) {
            if (value == QLatin1String("Null"))
                column.appendNull();
            else if (storage == engine::ColumnValues::Storage::Integer)
                column.appendInteger(value.toLongLong());
            else if (storage == engine::ColumnValues::Storage::Real)
                column.appendReal(value.toDouble());
            else
                column.appendText(value.toStdString());
        }
        QCOMPARE(shown(column), values);
        QCOMPARE(column.nullFlags() != nullptr, values.contains(QStringLiteral("Null")));
        column.reorder(std::vector<std::uint32_t>(order.begin(), order.end()));
        QStringList expected;
        for (const std::uint32_t row : order)
            expected << values[qsizetype(row)];
        QCOMPARE(shown(column), expected);
        QCOMPARE(column.nullFlags() != nullptr, values.contains(QStringLiteral("Null")));
    }

    // Put in order as a held table is, a text column far past the stretch given back to the
    // system at a time, on two threads: every text lands whole in its new place, none read
    // from memory already given back.
    void shouldReorderALargeTextColumnWhole()
    {
        const std::size_t rows = engine::kTwoThreadMinimum + 7000;
        engine::ColumnValues column(engine::ColumnValues::Storage::Text);
        const auto textOf = [](std::size_t row) {
            return std::string(20 + row % 800, char('a' + row % 26)) + std::to_string(row);
        };
        std::vector<std::uint32_t> order(rows);
        for (std::size_t row = 0; row < rows; ++row) {
            if (row % 1000 == 999)
                column.appendNull();
            else
                column.appendText(textOf(row));
            order[row] = std::uint32_t((row * 7919) % rows);  // 7919 is prime to the count
        }
        QVERIFY(column.texts().size() > (std::size_t(3) << 22));
        column.reorder(order);
        QCOMPARE(column.size(), rows);
        for (std::size_t i = 0; i < rows; ++i) {
            const std::size_t from = order[i];
            if (from % 1000 == 999) {
                QVERIFY2(column.isNull(i), qPrintable(QString::number(i)));
                continue;
            }
            QVERIFY2(!column.isNull(i) && column.text(i) == textOf(from), qPrintable(QString::number(i)));
        }
    }

    // A column's folded texts are kept end to end only as far as their 32-bit offsets reach
    // (4 GiB); a column whose folding passes that (a text may lengthen as it folds) is folded
    // row by row as it is matched, and every filter finds the same rows either way. The
    // limit is lowered here so that a few rows pass it.
    void shouldFilterAlikeWhenTheFoldedTextsPassWhatOneBufferHolds_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QList<int>>("expected");  // of the first round of names
        QTest::newRow("contains") << "Name LIKE '*zip*'" << QList<int>{1, 2, 4, 7};
        QTest::newRow("contains, accented") << "Name LIKE '*\xc3\xa9t\xc3\xa9*'" << QList<int>{2};
        QTest::newRow("begins with, accented capital") << "Name LIKE '\xc3\xa9*'" << QList<int>{1};
        QTest::newRow("begins with, normalised letter") << "Name LIKE '\xe0\xa4\x95\xe0\xa4\xbc*'" << QList<int>{0};
        QTest::newRow("ends with") << "Name LIKE '*TOOL'" << QList<int>{0};
        QTest::newRow("a number's text form") << "Price LIKE '2*'" << QList<int>{2};
        QTest::newRow("two fields") << "Name LIKE '*zip*' AND Price LIKE '4*'" << QList<int>{4};
    }
    void shouldFilterAlikeWhenTheFoldedTextsPassWhatOneBufferHolds()
    {
        QFETCH(QString, filter);
        QFETCH(QList<int>, expected);
        QCOMPARE(engine::ResultRows::kFoldedByteLimit, std::size_t(std::numeric_limits<std::uint32_t>::max()));
        const int count = int(engine::kTwoThreadMinimum) + 5 * kNameCount;
        // Own values, and shared ones: from one row on (a listing of every title), at every
        // other row (in order, as a search takes the held titles) or scattered (as a listing
        // takes a joined table's rows).
        using Place = int (*)(int, int);
        const Place places[] = {nullptr, [](int r, int) { return r + 3; }, [](int r, int) { return 2 * r + 1; },
                                [](int r, int n) { return int((std::int64_t(r) * 7 + 3) % (2 * n)); }};
        for (const Place place : places) {
            for (const std::size_t limit : {engine::ResultRows::kFoldedByteLimit, std::size_t(16)}) {
                engine::ResultRows rows;
                if (place)
                    fillShared(rows, count, place);
                else
                    fill(rows, count);
                rows.setFoldedByteLimit(limit);
                QCOMPARE(passing(rows, filter), expected);
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestResultRows)
#include "test_result_rows.moc"
