#include "jet_file.h"
#include "jet_oracle.h"
#include "test_data.h"

#include <QCoreApplication>
#include <QLocale>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

using jet::ColumnType;

namespace {

QString scriptColumnLine(const jet::Column &c)
{
    QString line = QStringLiteral("COLUMN %1 %2").arg(c.name, QLatin1String(jet::scriptWord(c.type)));
    if (c.type == ColumnType::Text)
        line += QLatin1Char(' ') + QString::number(c.length);
    if (c.autoNumber)
        line += QLatin1String(" AUTONUMBER");
    return line;
}

/// Why a delivered value differs from the script's, or an empty string when they agree.
QString mismatch(ColumnType type, const SeenValue &seen, const QByteArray &expected)
{
    if (expected == "\\N")
        return seen.isNull ? QString() : QStringLiteral("expected Null");
    if (seen.isNull)
        return QStringLiteral("unexpected Null, expected %1").arg(QString::fromUtf8(expected));
    switch (type) {
    case ColumnType::Long:
    case ColumnType::Int:
    case ColumnType::Byte:
    case ColumnType::Boolean:
        return seen.integer == expected.toLongLong() ? QString()
                                                     : QStringLiteral("%1 != %2").arg(seen.integer).arg(QString::fromUtf8(expected));
    case ColumnType::Money:
        return seen.integer == scaledMoney(expected) ? QString()
                                                     : QStringLiteral("%1/10000 != %2").arg(seen.integer).arg(QString::fromUtf8(expected));
    case ColumnType::Double:
    case ColumnType::Float:
    case ColumnType::Date:
        return qFuzzyCompare(seen.real, expected.toDouble()) ? QString() : QStringLiteral("real differs");
    case ColumnType::Text:
    case ColumnType::Memo:
        return seen.text == unescapeOracle(expected)
                   ? QString()
                   : QStringLiteral("text differs (%1 bytes, expected %2)").arg(seen.text.size()).arg(unescapeOracle(expected).size());
    }
    return QStringLiteral("unknown type");
}

/// Takes rows without keeping them, for endless tables.
class CountingSink final : public jet::RowSink {
public:
    void columns(const QVector<jet::Column> &) override {}
    void row(const std::vector<jet::Cell> &) override { ++rows; }
    qint64 rows = 0;
};

/// Writes a stand-in for the reader process that misbehaves as told.
QString writeFakeReader(const QTemporaryDir &dir, const QByteArray &body)
{
    const QString path = dir.filePath(QStringLiteral("fake-reader.sh"));
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write("#!/bin/sh\n" + body + "\n");
    file.close();
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return path;
}


/// basic.mdb with Category's fourth row moved, as Jet moves a row that grew: its slot keeps
/// a pointer (flagged 0x4000) to the data, written as a new row flagged deleted and overflow.
/// `target` says where the pointer aims: "moved" at the data, or somewhere wrong.
QByteArray withMovedCategoryRow(const QString &target)
{
    constexpr int kPage = 4096;
    QFile in(testDataPath("basic.mdb"));
    in.open(QIODevice::ReadOnly);
    QByteArray bytes = in.readAll();
    auto u16 = [&](qsizetype at) { return quint16(quint8(bytes[at]) | (quint8(bytes[at + 1]) << 8)); };
    auto put16 = [&](qsizetype at, quint16 v) {
        bytes[at] = char(v & 0xff);
        bytes[at + 1] = char(v >> 8);
    };
    // Category's only data page: the data page that holds its 11 rows.
    int pg = -1;
    for (int p = 3; p < bytes.size() / kPage && pg < 0; ++p)
        if (bytes[qsizetype(p) * kPage] == 1 && bytes.mid(qsizetype(p) * kPage + 4, 4) != "LVAL" &&
            u16(qsizetype(p) * kPage + 12) == 11)
            pg = p;
    if (pg < 0)
        return {};
    const qsizetype base = qsizetype(pg) * kPage;
    const int rows = u16(base + 12);
    const int moved = 3;
    const int start = u16(base + 14 + 2 * moved) & 0x1fff;
    const int end = u16(base + 14 + 2 * (moved - 1)) & 0x1fff;
    const int lowest = u16(base + 14 + 2 * (rows - 1)) & 0x1fff;
    const int newStart = lowest - (end - start);
    bytes.replace(base + newStart, end - start, bytes.mid(base + start, end - start));
    put16(base + 14 + 2 * rows, quint16(newStart | 0xC000));
    put16(base + 12, quint16(rows + 1));
    quint32 pointer = (quint32(pg) << 8) | quint32(rows);
    if (target == QLatin1String("another table's page"))
        pointer = (1u << 8) | 0u;  // the global usage map's page
    else if (target == QLatin1String("a row the page does not hold"))
        pointer = (quint32(pg) << 8) | quint32(rows + 5);
    for (int i = 0; i < 4; ++i)
        bytes[base + start + i] = char((pointer >> (8 * i)) & 0xff);
    put16(base + 14 + 2 * moved, quint16(start | 0x4000));
    return bytes;
}

}  // namespace

class TestJetFile : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QStandardPaths::setTestModeEnabled(true);
    }
    void cleanup() { jet::JetFile::setReaderProgram(QString()); }

    void shouldDeliverEveryTableExactlyAsItsScript_data()
    {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<bool>("scriptListsCatalogOrder");
        QTest::newRow("basic") << "basic" << true;
        QTest::newRow("empty tables") << "empty-tables" << true;
        QTest::newRow("many categories") << "many-categories" << true;
        // Its script came from another reader, which lists the tables by name.
        QTest::newRow("memo chain") << "memo-chain" << false;
        QTest::newRow("sample") << "sample" << true;
        QTest::newRow("split runs") << "split-runs" << true;
    }
    void shouldDeliverEveryTableExactlyAsItsScript()
    {
        QFETCH(QString, fixture);
        QFETCH(bool, scriptListsCatalogOrder);
        const QVector<OracleTable> oracle = readOracle(testDataPath(fixture + ".txt"));
        QVERIFY(!oracle.isEmpty());

        jet::JetFile file;
        const ado::Error err = file.open(testDataPath(fixture + ".mdb"));
        QVERIFY2(!err, qPrintable(err.Description));

        QStringList expectedNames;
        for (const OracleTable &t : oracle)
            expectedNames << t.name;
        QStringList names = file.tableNames();
        if (!scriptListsCatalogOrder) {
            names.sort();
            expectedNames.sort();
        }
        QCOMPARE(names, expectedNames);

        for (const OracleTable &table : oracle) {
            CollectingSink sink;
            const ado::Error readErr = file.readTable(table.name, sink);
            QVERIFY2(!readErr, qPrintable(readErr.Description));
            QStringList columnLines;
            for (const jet::Column &c : sink.cols)
                columnLines << scriptColumnLine(c);
            QCOMPARE(columnLines, table.columnLines);
            QCOMPARE(sink.rows.size(), table.rows.size());
            for (int r = 0; r < table.rows.size(); ++r) {
                QCOMPARE(sink.rows[r].size(), table.rows[r].size());
                for (int c = 0; c < sink.cols.size(); ++c) {
                    const QString why = mismatch(sink.cols[c].type, sink.rows[r][c], table.rows[r][c]);
                    QVERIFY2(why.isEmpty(), qPrintable(QStringLiteral("%1 row %2 column %3: %4")
                                                           .arg(table.name).arg(r).arg(sink.cols[c].name, why)));
                }
            }
        }
    }

    void shouldKeepValuesThatANaiveReadLoses_data()
    {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("keyColumn");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("column");
        QTest::addColumn<bool>("isNull");
        QTest::addColumn<int>("textLength");

        QTest::newRow("zero-length link is text, not Null")
            << "basic" << "Software" << "Name" << "ArcView Zip" << "DownloadURL2" << false << 0;
        QTest::newRow("missing link is Null")
            << "basic" << "Software" << "Name" << "ArcView Zip" << "DownloadURL3" << true << 0;
        QTest::newRow("Null number") << "basic" << "Software" << "Name" << "Backup Buddy" << "Rating" << true << 0;
        QTest::newRow("Null text") << "basic" << "Software" << "Name" << "Ledger Lite" << "Requirements" << true << 0;
        QTest::newRow("Null site name")
            << "basic" << "Site" << "URL" << "http://nameless.example/" << "Name" << true << 0;
        QTest::newRow("memo past one page and the 16 KB bind size, whole")
            << "basic" << "Software" << "Name" << "Memo Giant" << "Description" << false << 19740;
        QTest::newRow("memo stored as a chain of two long-value rows")
            << "memo-chain" << "Software" << "Name" << "Pixel Paint" << "Description" << false << 347;
        QTest::newRow("name with a quote") << "basic" << "Software" << "Name" << "Don't Panic" << "Name" << false << 11;
    }
    void shouldKeepValuesThatANaiveReadLoses()
    {
        QFETCH(QString, fixture);
        QFETCH(QString, table);
        QFETCH(QString, keyColumn);
        QFETCH(QString, key);
        QFETCH(QString, column);
        QFETCH(bool, isNull);
        QFETCH(int, textLength);

        jet::JetFile file;
        QVERIFY(!file.open(testDataPath(fixture + ".mdb")));
        CollectingSink sink;
        QVERIFY(!file.readTable(table, sink));
        const int keyAt = sink.columnIndex(keyColumn);
        const int at = sink.columnIndex(column);
        QVERIFY(keyAt >= 0 && at >= 0);
        const auto row = std::find_if(sink.rows.cbegin(), sink.rows.cend(),
                                      [&](const QVector<SeenValue> &r) { return r[keyAt].text == key.toUtf8(); });
        QVERIFY(row != sink.rows.cend());
        const SeenValue &value = (*row)[at];
        QCOMPARE(value.isNull, isNull);
        if (!isNull)
            QCOMPARE(QString::fromUtf8(value.text).size(), textLength);
    }

    void shouldDecodeEveryFormOfJetText_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("expected");
        // Each replaces the 16 bytes of "Business" (two bytes a character) in Category.
        QTest::newRow("two bytes a character") << QByteArray("B\0u\0s\0i\0n\0e\0s\0s\0", 16) << "Business";
        QTest::newRow("compressed, switching to two-byte characters and back")
            << QByteArray("\xff\xfe" "Bus" "\0" "i\0n\0e\0s\0" "\0" "s", 16) << "Business";
        QTest::newRow("compressed letter beyond ASCII")
            << QByteArray("\xff\xfe" "B\xfcs" "\0" "i\0n\0e\0s\0" "\0" "s", 16) << QStringLiteral("B\u00fcsiness");
        QTest::newRow("character outside the basic plane")
            << QByteArray("B\0u\0s\0i\0n\0\x3d\xd8\x00\xde" "s\0", 16) << QStringLiteral("Busin\U0001F600s");
        QTest::newRow("lone surrogate") << QByteArray("B\0u\0s\0i\0n\0e\0s\0\x00\xd8", 16) << QStringLiteral("Busines\ufffd");
    }
    void shouldDecodeEveryFormOfJetText()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QString, expected);
        QCOMPARE(stored.size(), 16);
        QFile in(testDataPath("basic.mdb"));
        QVERIFY(in.open(QIODevice::ReadOnly));
        QByteArray bytes = in.readAll();
        const QByteArray original = QByteArray("B\0u\0s\0i\0n\0e\0s\0s\0", 16);
        const qsizetype at = bytes.indexOf(original);
        QVERIFY(at >= 0 && bytes.indexOf(original, at + 1) < 0);
        bytes.replace(at, 16, stored);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("text.mdb"));
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(bytes);
        out.close();

        jet::JetFile file;
        QVERIFY(!file.open(path));
        CollectingSink sink;
        QVERIFY(!file.readTable(QStringLiteral("Category"), sink));
        QCOMPARE(QString::fromUtf8(sink.rows[0][sink.columnIndex(QStringLiteral("Name"))].text), expected);
    }

    void shouldReturnRowsInStoredOrder()
    {
        jet::JetFile file;
        QVERIFY(!file.open(testDataPath("split-runs.mdb")));
        CollectingSink sink;
        QVERIFY(!file.readTable(QStringLiteral("SubCategory"), sink));
        QStringList names;
        for (int r = 0; r < 5; ++r)
            names << QString::fromUtf8(sink.rows[r][sink.columnIndex(QStringLiteral("Name"))].text);
        QCOMPARE(names, (QStringList{"One-A", "One-B", "Two-A", "One-C", "Two-B"}));
    }

    void shouldFollowARowThatMovedWithinItsTable_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("readable");
        QTest::newRow("to its data") << "moved" << true;
        QTest::newRow("to another table's page") << "another table's page" << false;
        QTest::newRow("to a row the page does not hold") << "a row the page does not hold" << false;
    }
    void shouldFollowARowThatMovedWithinItsTable()
    {
        QFETCH(QString, target);
        QFETCH(bool, readable);
        const QByteArray bytes = withMovedCategoryRow(target);
        QVERIFY(!bytes.isEmpty());
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("moved.mdb"));
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(bytes);
        out.close();

        jet::JetFile file;
        QVERIFY(!file.open(path));
        CollectingSink sink;
        const ado::Error err = file.readTable(QStringLiteral("Category"), sink);
        if (!readable) {
            QCOMPARE(err.Number, ado::E_PROVIDER_FAIL);
            QVERIFY2(err.Description.contains(QLatin1String("table 'Category'")), qPrintable(err.Description));
            return;
        }
        QVERIFY2(!err, qPrintable(err.Description));
        QStringList names;
        for (const auto &row : sink.rows)
            names << QString::number(row[0].integer) + QLatin1Char(' ') + QString::fromUtf8(row[1].text);
        QCOMPARE(names.size(), 11);
        QCOMPARE(names.mid(2, 3), (QStringList{"3 Development", "4 Utilities", "5 Games"}));
    }

    void shouldReportJetColumnTypesAndTheirAdoNumbers_data()
    {
        QTest::addColumn<QString>("column");
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("adoType");
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("autoNumber");
        QTest::newRow("SoftwareID") << "SoftwareID" << int(ColumnType::Long) << 3 << 0 << true;
        QTest::newRow("Name") << "Name" << int(ColumnType::Text) << 202 << 100 << false;
        QTest::newRow("Description") << "Description" << int(ColumnType::Memo) << 203 << 0 << false;
        QTest::newRow("Price") << "Price" << int(ColumnType::Money) << 6 << 0 << false;
        QTest::newRow("Uninstaller") << "Uninstaller" << int(ColumnType::Boolean) << 11 << 0 << false;
        QTest::newRow("Rating") << "Rating" << int(ColumnType::Int) << 2 << 0 << false;
        QTest::newRow("SiteID") << "SiteID" << int(ColumnType::Long) << 3 << 0 << false;
    }
    void shouldReportJetColumnTypesAndTheirAdoNumbers()
    {
        QFETCH(QString, column);
        QFETCH(int, type);
        QFETCH(int, adoType);
        QFETCH(int, length);
        QFETCH(bool, autoNumber);
        jet::JetFile file;
        QVERIFY(!file.open(testDataPath("basic.mdb")));
        CollectingSink sink;
        QVERIFY(!file.readTable(QStringLiteral("Software"), sink));
        const int at = sink.columnIndex(column);
        QVERIFY(at >= 0);
        QCOMPARE(int(sink.cols[at].type), type);
        QCOMPARE(jet::adoType(sink.cols[at].type), adoType);
        QCOMPARE(sink.cols[at].length, length);
        QCOMPARE(sink.cols[at].autoNumber, autoNumber);
    }

    void shouldLeaveOutColumnsOfTypesAListingDoesNotUse()
    {
        constexpr int kPage = 4096;
        constexpr char kBinaryType = 0x09;
        QFile in(testDataPath("basic.mdb"));
        QVERIFY(in.open(QIODevice::ReadOnly));
        QByteArray bytes = in.readAll();
        // FeatureSoftware's definition: the table definition page that names FeatureID.
        const QByteArray marker = QByteArray("F\0e\0a\0t\0u\0r\0e\0I\0D\0", 18);
        qsizetype base = -1;
        for (qsizetype pg = 3; pg < bytes.size() / kPage && base < 0; ++pg)
            if (bytes[pg * kPage] == 2 && bytes.mid(pg * kPage, kPage).contains(marker))
                base = pg * kPage;
        QVERIFY(base >= 0);
        const int realIndexes = quint8(bytes[base + 51]);
        const qsizetype descriptionEntry = base + 63 + 12 * realIndexes + 25 * 2;
        bytes[descriptionEntry] = kBinaryType;
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("binary-column.mdb"));
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(bytes);
        out.close();

        jet::JetFile file;
        QVERIFY(!file.open(path));
        CollectingSink sink;
        const ado::Error err = file.readTable(QStringLiteral("FeatureSoftware"), sink);
        QVERIFY2(!err, qPrintable(err.Description));
        QCOMPARE(sink.cols.size(), 2);
        QCOMPARE(sink.columnIndex(QStringLiteral("Description")), -1);
        QCOMPARE(sink.rows.size(), 6);
        QCOMPARE(QString::fromUtf8(sink.rows[0][sink.columnIndex(QStringLiteral("Name"))].text), QStringLiteral("ZipMaster"));
    }

    void shouldRefuseAMissingFileInTheProvidersWords()
    {
        const QString path = QDir(QDir::tempPath()).filePath(QStringLiteral("no-such-folder/shareware.mdb"));
        jet::JetFile file;
        const ado::Error err = file.open(path);
        QCOMPARE(err.Number, ado::E_PROVIDER_FAIL);
        QCOMPARE(err.Description, QStringLiteral("Could not find file '%1'.").arg(path));
        QVERIFY(!file.isOpen());
        CollectingSink sink;
        QCOMPARE(file.readTable(QStringLiteral("Category"), sink).Number, ado::E_PROVIDER_FAIL);
    }

    void shouldRefuseATableTheCatalogDoesNotHold()
    {
        jet::JetFile file;
        QVERIFY(!file.open(testDataPath("basic.mdb")));
        CollectingSink sink;
        const ado::Error err = file.readTable(QStringLiteral("Nonesuch"), sink);
        QCOMPARE(err.Number, ado::E_PROVIDER_FAIL);
        QVERIFY(err.Description.contains(QLatin1String("Nonesuch")));
        QVERIFY(!file.readTable(QStringLiteral("Category"), sink));
    }

    void shouldReadTheStartupTablesOfAFileDamagedElsewhere()
    {
        const QString path = testDataPath("hostile/memo_chain_selfloop.mdb");
        jet::JetFile file;
        const ado::Error err = file.open(path);
        QVERIFY2(!err, qPrintable(err.Description));
        for (const char *table : {"Category", "SubCategory", "FeatureSoftware"}) {
            CollectingSink sink;
            const ado::Error readErr = file.readTable(QString::fromLatin1(table), sink);
            QVERIFY2(!readErr, qPrintable(readErr.Description));
            QVERIFY(!sink.rows.isEmpty());
        }
        CollectingSink damaged;
        const ado::Error readErr = file.readTable(QStringLiteral("Site"), damaged);
        QCOMPARE(readErr.Number, ado::E_PROVIDER_FAIL);
        QVERIFY2(readErr.Description.contains(QStringLiteral("'%1' is damaged").arg(path)), qPrintable(readErr.Description));
        QVERIFY2(readErr.Description.contains(QLatin1String("table 'Site'")), qPrintable(readErr.Description));
        CollectingSink again;
        QVERIFY(!file.readTable(QStringLiteral("Category"), again));
    }

    void shouldFailCleanlyWhenTheReaderMisbehaves_data()
    {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<QString>("fault");
        QTest::newRow("exits at once") << QByteArray("exit 3") << "stopped unexpectedly";
        QTest::newRow("hangs without a word") << QByteArray("exec sleep 60") << "took too long";
        QTest::newRow("frame longer than allowed")
            << QByteArray("printf '\\377\\377\\377\\177\\001'; exec sleep 60") << "malformed";
        QTest::newRow("frame of length zero") << QByteArray("printf '\\000\\000\\000\\000\\001'; exec sleep 60") << "malformed";
        QTest::newRow("stops inside a frame") << QByteArray("printf '\\020\\000\\000\\000\\001abc'") << "stopped unexpectedly";
        QTest::newRow("unknown frame kind") << QByteArray("printf '\\001\\000\\000\\000\\077'; exec sleep 60") << "malformed";
        QTest::newRow("table list longer than its frame")
            << QByteArray("printf '\\005\\000\\000\\000\\001\\002\\000\\000\\000'; exec sleep 60") << "malformed";
    }
    void shouldFailCleanlyWhenTheReaderMisbehaves()
    {
#ifndef Q_OS_UNIX
        QSKIP("the stand-in readers are shell scripts");
#endif
        QFETCH(QByteArray, script);
        QFETCH(QString, fault);
        QTemporaryDir dir;
        jet::JetFile::setReaderProgram(writeFakeReader(dir, script));
        const QString path = testDataPath("basic.mdb");
        jet::JetFile file;
        const ado::Error err = file.open(path);
        QCOMPARE(err.Number, ado::E_PROVIDER_FAIL);
        QVERIFY2(err.Description.contains(QStringLiteral("'%1'").arg(path)), qPrintable(err.Description));
        QVERIFY2(err.Description.contains(fault), qPrintable(err.Description));
        QVERIFY(!file.isOpen());
    }

    void shouldFailCleanlyWhenTheReaderMisbehavesOnATable_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("fault");
        // Frames after the table "T" has been asked for; its one column "C" is a LONG.
        const QByteArray columns = "printf '\\020\\000\\000\\000\\002\\001\\000\\000\\000\\001\\000\\000\\000C\\000\\000\\000\\000\\000\\000'";
        QTest::newRow("dies after the columns") << columns + "; exit 4" << "stopped unexpectedly";
        QTest::newRow("text in a LONG column")
            << columns + "; printf '\\012\\000\\000\\000\\003\\001\\000\\000\\000\\003\\000\\000\\000\\000'; exec sleep 60"
            << "malformed";
        QTest::newRow("end counts rows never sent")
            << columns + "; printf '\\005\\000\\000\\000\\004\\005\\000\\000\\000'; exec sleep 60" << "malformed";
        QTest::newRow("no columns at all")
            << QByteArray("printf '\\005\\000\\000\\000\\002\\000\\000\\000\\000'; exec sleep 60") << "malformed";
        QTest::newRow("rows without end")
            << columns + "; printf '\\005\\000\\001\\000\\003\\000\\000\\001\\000' > \"$0.frame\"; "
                         "head -c 65536 /dev/zero >> \"$0.frame\"; while :; do cat \"$0.frame\"; done"
            << "more data than the file can hold";
        QTest::newRow("a row now and then, forever")
            << columns + "; while :; do printf '\\006\\000\\000\\000\\003\\001\\000\\000\\000\\000'; sleep 1; done"
            << "took too long";
    }
    void shouldFailCleanlyWhenTheReaderMisbehavesOnATable()
    {
#ifndef Q_OS_UNIX
        QSKIP("the stand-in readers are shell scripts");
#endif
        QFETCH(QByteArray, answer);
        QFETCH(QString, fault);
        QTemporaryDir dir;
        jet::JetFile::setReaderProgram(writeFakeReader(
            dir, "printf '\\012\\000\\000\\000\\001\\001\\000\\000\\000\\001\\000\\000\\000T'; head -c 10 >/dev/null; " +
                     answer));
        const QString path = testDataPath("basic.mdb");
        jet::JetFile file;
        QVERIFY(!file.open(path));
        QCOMPARE(file.tableNames(), QStringList{"T"});
        CountingSink sink;
        const ado::Error err = file.readTable(QStringLiteral("T"), sink);
        QCOMPARE(err.Number, ado::E_PROVIDER_FAIL);
        QVERIFY2(err.Description.contains(QStringLiteral("'%1'").arg(path)), qPrintable(err.Description));
        QVERIFY2(err.Description.contains(fault), qPrintable(err.Description));
    }

    void shouldStartTheReaderAgainAfterItDiedOnATable()
    {
#ifndef Q_OS_UNIX
        QSKIP("the stand-in reader is a shell script");
#endif
        QTemporaryDir dir;
        // Announces one table, then dies on the first request.
        jet::JetFile::setReaderProgram(writeFakeReader(
            dir, "printf '\\021\\000\\000\\000\\001\\001\\000\\000\\000\\010\\000\\000\\000Category'; head -c 1 >/dev/null; exit 9"));
        jet::JetFile file;
        QVERIFY(!file.open(testDataPath("basic.mdb")));
        CollectingSink sink;
        const ado::Error err = file.readTable(QStringLiteral("Category"), sink);
        QCOMPARE(err.Number, ado::E_PROVIDER_FAIL);
        QVERIFY2(err.Description.contains(QLatin1String("stopped unexpectedly")), qPrintable(err.Description));

        jet::JetFile::setReaderProgram(QString());
        CollectingSink again;
        const ado::Error retry = file.readTable(QStringLiteral("Category"), again);
        QVERIFY2(!retry, qPrintable(retry.Description));
        QCOMPARE(again.rows.size(), 11);
    }

    void shouldRunTheReaderUnderMemoryAndTimeLimits()
    {
#ifndef Q_OS_UNIX
        QSKIP("limits are set with setrlimit");
#endif
        QTemporaryDir dir;
        // Announces one table whose name is the limits the reader runs under.
        jet::JetFile::setReaderProgram(writeFakeReader(
            dir, "name=\"$(ulimit -v) $(ulimit -t)\"\n"
                 "octal() { printf \"\\\\$(printf %03o \"$1\")\"; }\n"
                 "octal $((9 + ${#name})); printf '\\000\\000\\000\\001\\001\\000\\000\\000'\n"
                 "octal ${#name}; printf '\\000\\000\\000%s' \"$name\"\n"
                 "exec sleep 60"));
        jet::JetFile file;
        const ado::Error err = file.open(testDataPath("basic.mdb"));
        QVERIFY2(!err, qPrintable(err.Description));
        const QStringList limits = file.tableNames().value(0).split(QLatin1Char(' '));
        QCOMPARE(limits.size(), 2);
        bool memoryIsNumber = false, cpuIsNumber = false;
        const qint64 memoryKiB = limits[0].toLongLong(&memoryIsNumber);
        const qint64 cpuSeconds = limits[1].toLongLong(&cpuIsNumber);
        QVERIFY2(memoryIsNumber && memoryKiB > 0 && memoryKiB <= 1024 * 1024, qPrintable(limits[0]));
        QVERIFY2(cpuIsNumber && cpuSeconds > 0 && cpuSeconds <= 600, qPrintable(limits[1]));
    }

    void shouldSayWhenTheReaderCannotBeStarted()
    {
        jet::JetFile::setReaderProgram(QDir(QDir::tempPath()).filePath(QStringLiteral("no-such-reader")));
        jet::JetFile file;
        const ado::Error err = file.open(testDataPath("basic.mdb"));
        QCOMPARE(err.Number, ado::E_PROVIDER_FAIL);
        QVERIFY2(err.Description.contains(QLatin1String("no-such-reader")), qPrintable(err.Description));
    }
};

QTEST_GUILESS_MAIN(TestJetFile)
#include "test_jet_file.moc"
