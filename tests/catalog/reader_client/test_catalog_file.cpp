#include "catalog/reader_client/catalog_file.h"
#include "catalog/reader_client/reply.h"
#include "tests/catalog/catalog_file_bytes.h"
#include "tests/support/test_data.h"

#include <QtTest>

#include <cstring>
#include <limits>

using namespace jetbytes;

namespace {

/// basic.mdb with Category's fourth row moved, as Jet moves a row that grew: its slot keeps
/// a pointer (flagged 0x4000) to the data, written as a new row flagged deleted and overflow.
enum class Aim { Data, AnotherTablesPage, RowNotHeld };
/// Where Category's one data page, the one that holds 11 rows, starts in the file.
qsizetype categoryDataAt(const QByteArray &bytes)
{
    for (qsizetype p = 3; p < bytes.size() / kPage; ++p)
        if (bytes[p * kPage] == 1 && bytes.mid(p * kPage + 4, 4) != "LVAL" && u16(bytes, p * kPage + 12) == 11)
            return p * kPage;
    return -1;
}
QByteArray withMovedCategoryRow(QByteArray bytes, Aim aim)
{
    const qsizetype base = categoryDataAt(bytes);
    const int rows = 11, moved = 3;
    const int start = u16(bytes, base + 14 + 2 * moved) & 0x1fff;
    const int end = u16(bytes, base + 14 + 2 * (moved - 1)) & 0x1fff;
    const int newStart = (u16(bytes, base + 14 + 2 * (rows - 1)) & 0x1fff) - (end - start);
    bytes.replace(base + newStart, end - start, bytes.mid(base + start, end - start));
    put16(bytes, base + 14 + 2 * rows, newStart | 0xC000);
    put16(bytes, base + 12, rows + 1);
    qsizetype other = 3;  // a data page of another table
    while (bytes[other * kPage] != 1 || bytes.mid(other * kPage + 4, 4) == "LVAL"
           || u32(bytes, other * kPage + 4) == u32(bytes, base + 4))
        ++other;
    const quint32 page = quint32(base / kPage) << 8;
    put32(bytes, base + start, aim == Aim::Data ? page | rows : aim == Aim::RowNotHeld ? page | (rows + 1) : quint32(other) << 8);
    put16(bytes, base + 14 + 2 * moved, start | 0x4000);
    return bytes;
}

/// A stand-in reader's first words: one table, "Category"; then it takes the request for it.
const QByteArray kAnnounceCategory = "printf '\\021\\0\\0\\0\\001\\001\\0\\0\\0\\010\\0\\0\\0Category'; head -c 17 >/dev/null; ";

/// Makes a stand-in for the reader process that misbehaves as told.
void useFakeReader(const QTemporaryDir &dir, const QByteArray &body)
{
    const QString path = writeBytes(dir, QStringLiteral("fake-reader.sh"), "#!/bin/sh\n" + body + "\n");
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    reader_client::CatalogFile::setReaderProgram(path);
}

}  // namespace

class TestCatalogFile : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        fixLocale();
        m_basic = readAll(testDataPath("basic.mdb"));
    }
    void cleanup()
    {
        reader_client::CatalogFile::setReaderProgram(QString());
    }

    // The catalog-dump test holds every value of every fixture against its script; these
    // are stored forms the fixtures do not show, and reads that must fail.
    void shouldReadTablesOfRewrittenFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("expected");  // "ROWSxCOLUMNS the first Names", or words of the error
        // Each replaces the 16 bytes of "Business" (two bytes a character) in Category.
        const QByteArray business("B\0u\0s\0i\0n\0e\0s\0s\0", 16);
        const qsizetype categoryPage = categoryDataAt(m_basic) / kPage;
        const auto category = [&](const char *stored) { return QByteArray(m_basic).replace(business, QByteArray(stored, 16)); };
        QTest::newRow("compressed, switching to two-byte characters and back")
            << category("\xff\xfe" "Bus" "\0" "i\0n\0e\0s\0" "\0" "s") << "Category" << "11x2 Business,";
        QTest::newRow("compressed letter beyond ASCII")
            << category("\xff\xfe" "B\xfcs" "\0" "i\0n\0e\0s\0" "\0" "s") << "Category" << QStringLiteral("11x2 B\u00fcsiness,");
        QTest::newRow("character outside the basic plane")
            << category("B\0u\0s\0i\0n\0\x3d\xd8\x00\xde" "s\0") << "Category" << QStringLiteral("11x2 Busin\U0001F600s,");
        QTest::newRow("lone surrogates, inside and last")
            << category("B\0u\0s\0\x00\xd8i\0n\0e\0\x00\xd8") << "Category" << QStringLiteral("11x2 Bus\ufffdine\ufffd,");
        QTest::newRow("row moved within its page")
            << withMovedCategoryRow(m_basic, Aim::Data) << "Category" << "11x2 Business,Desktop,Development,Utilities,Games";
        QTest::newRow("moved row aimed at another table's page")
            << withMovedCategoryRow(m_basic, Aim::AnotherTablesPage) << "Category" << "in table 'Category' forwards to a row that is not one of the table's";
        QTest::newRow("moved row aimed at the first row the page does not hold")
            << withMovedCategoryRow(m_basic, Aim::RowNotHeld) << "Category"
            << QString("points to row 12 of page %1, which holds 12 rows").arg(categoryPage);
        QByteArray rowInTable = m_basic;  // the fourth row starts inside the page's row offsets
        put16(rowInTable, categoryDataAt(m_basic) + 14 + 2 * 3, 14 + 2 * 11 - 2);
        QTest::newRow("row starting among the row offsets") << rowInTable << "Category"
                                                      << QString("row 3 of page %1 lies outside its page").arg(categoryPage);
        QByteArray fewer = m_basic;  // the definition counts one row less than the page holds
        put32(fewer, definitionPageNaming(m_basic, QStringLiteral("CategoryID")) * kPage + 16, 10);
        // Access leaves the count behind the rows: every row its pages hold is read.
        QTest::newRow("more rows than the definition counts") << fewer << "Category" << "11x2 Business,";
        // FeatureSoftware.Description (a TEXT 255) given another type byte.
        const qsizetype tdef = definitionPageNaming(m_basic, QStringLiteral("FeatureID")) * kPage;
        const auto retyped = [&](char type) {
            QByteArray bytes = m_basic;
            bytes[tdef + 63 + 12 * quint8(bytes[tdef + 51]) + 25 * 2] = type;
            return bytes;
        };
        QTest::newRow("binary column read, not left out") << retyped(0x09) << "FeatureSoftware" << "6x3 ZipMaster,";
        // A column that cannot be shown costs that column alone (its values Null), not the table.
        QTest::newRow("attachment column, the rest read") << retyped(0x12) << "FeatureSoftware" << "6x3 ZipMaster,";
        QTest::newRow("unknown type, the rest read") << retyped(0x0e) << "FeatureSoftware" << "6x3 ZipMaster,";
        QTest::newRow("replication ID of a text column's size") << retyped(0x0f) << "FeatureSoftware" << "size or place that does not fit";
        QTest::newRow("table the catalog does not hold") << m_basic << "Nonesuch" << "Nonesuch";
        const QByteArray selfLoop = readAll(testDataPath("hostile/memo_chain_selfloop.mdb"));
        QTest::newRow("start-up table of a file damaged elsewhere") << selfLoop << "SubCategory" << "25x3 Accounting,";
        QTest::newRow("damaged table") << selfLoop << "Site" << "is damaged: row 1 of page 42 in table 'Site'";
    }
    void shouldReadTablesOfRewrittenFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, table);
        QFETCH(QString, expected);
        reader_client::CatalogFile file;
        QVERIFY(!file.open(writeBytes(m_dir, QStringLiteral("rewritten.mdb"), bytes)));
        TableRows sink;
        const ado::Error err = file.readTable(table, sink);
        const QString got = err ? err.Description : QStringLiteral("%1x%2 ").arg(sink.names.size()).arg(sink.cols.size()) + sink.names.mid(0, 5).join(',');
        QVERIFY2(got.contains(expected) && err.Number == (err ? ado::E_PROVIDER_FAIL : 0), qPrintable(got));
        QVERIFY(err || !file.readTable(table, sink));  // the same table again, at once
        QVERIFY(!file.readTable(table == "Category" ? QStringLiteral("SubCategory") : QStringLiteral("Category"), sink));  // still usable
    }

    void shouldFailCleanlyWhenTheReaderMisbehaves_data()
    {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<QString>("fault");
        // Category's columns: one, "C", a LONG (no precision, no scale, outside the key, shown); no rows declared.
        const QByteArray columns = kAnnounceCategory + "printf '\\030\\0\\0\\0\\002\\001\\0\\0\\0\\001\\0\\0\\0C\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0'; ";
        const QByteArray sleep = "; exec sleep 60";
        QTest::newRow("cannot be started") << QByteArray() << "no-such-reader' could not be started";
        QTest::newRow("exits at once") << QByteArray("exit 3") << "stopped unexpectedly";
        QTest::newRow("hangs without a word") << QByteArray("exec sleep 60") << "took too long";
        QTest::newRow("frame longer than allowed") << "printf '\\377\\377\\377\\177\\001'" + sleep << "malformed";
        QTest::newRow("frame of length zero") << "printf '\\0\\0\\0\\0\\001'" + sleep << "malformed";
        QTest::newRow("stops inside a frame") << QByteArray("printf '\\020\\0\\0\\0\\001abc'") << "stopped unexpectedly";
        QTest::newRow("unknown frame kind") << "printf '\\001\\0\\0\\0\\077'" + sleep << "malformed";
        QTest::newRow("table list longer than its frame") << "printf '\\005\\0\\0\\0\\001\\002\\0\\0\\0'" + sleep << "malformed";
        QTest::newRow("dies after the columns") << columns + "exit 4" << "stopped unexpectedly";
        QTest::newRow("text in a LONG column") << columns + "printf '\\012\\0\\0\\0\\003\\001\\0\\0\\0\\003\\0\\0\\0\\0'" + sleep << "malformed";
        QTest::newRow("end counts rows never sent") << columns + "printf '\\005\\0\\0\\0\\004\\005\\0\\0\\0'" + sleep << "malformed";
        QTest::newRow("bytes in a decimal column")
            << kAnnounceCategory + "printf '\\022\\0\\0\\0\\002\\001\\0\\0\\0\\001\\0\\0\\0C\\012\\0\\0\\0\\0\\0\\023\\004'; "
               "printf '\\012\\0\\0\\0\\003\\001\\0\\0\\0\\004\\0\\0\\0\\0'" + sleep << "malformed";
        QTest::newRow("scale above the precision")
            << kAnnounceCategory + "printf '\\022\\0\\0\\0\\002\\001\\0\\0\\0\\001\\0\\0\\0C\\012\\0\\0\\0\\0\\0\\004\\023'" + sleep << "malformed";
        QTest::newRow("unknown column type")
            << kAnnounceCategory + "printf '\\022\\0\\0\\0\\002\\001\\0\\0\\0\\001\\0\\0\\0C\\016\\0\\0\\0\\0\\0\\0\\0'" + sleep << "malformed";
        QTest::newRow("a key place beyond the key's columns")
            << kAnnounceCategory + "printf '\\030\\0\\0\\0\\002\\001\\0\\0\\0\\001\\0\\0\\0C\\0\\0\\0\\0\\0\\0\\0\\0\\002\\0\\0\\0\\0\\0'" + sleep << "malformed";
        QTest::newRow("no columns at all") << kAnnounceCategory + "printf '\\005\\0\\0\\0\\002\\0\\0\\0\\0'" + sleep << "malformed";
        QTest::newRow("rows without end")
            << columns + "printf '\\005\\0\\001\\0\\003\\0\\0\\001\\0' > \"$0.frame\"; head -c 65536 /dev/zero >> \"$0.frame\"; "
                         "for i in 1 2 3 4 5 6; do cat \"$0.frame\" \"$0.frame\" > \"$0.more\"; mv \"$0.more\" \"$0.frame\"; done; "
                         "while :; do cat \"$0.frame\"; done"
            << "more data than the file can hold";
        QTest::newRow("a row now and then, forever") << columns + "while :; do printf '\\006\\0\\0\\0\\003\\001\\0\\0\\0\\0'; sleep 1; done" << "took too long";
    }
    void shouldFailCleanlyWhenTheReaderMisbehaves()
    {
        QUORBIX_LINUX_ONLY("stand-in readers are shell scripts");
        QFETCH(QByteArray, script);
        QFETCH(QString, fault);
        const bool onTable = script.startsWith(kAnnounceCategory);
        if (script.isEmpty())
            reader_client::CatalogFile::setReaderProgram(m_dir.filePath(QStringLiteral("no-such-reader")));
        else
            useFakeReader(m_dir, script);
        const QString path = testDataPath("basic.mdb");
        reader_client::CatalogFile file;
        // A reader that never ends its answer is given up on at the request's time, cut short.
        if (fault == QLatin1String("took too long"))
            file.setRequestTime(2500);
        ado::Error err = file.open(path);
        TableRows sink;
        if (onTable) {
            QVERIFY2(!err && file.tableNames() == QStringList{"Category"}, qPrintable(err.Description));
            err = file.readTable(QStringLiteral("Category"), sink);
        }
        QCOMPARE(err.Number, ado::E_PROVIDER_FAIL);
        QVERIFY2(err.Description.contains(fault) && (script.isEmpty() || err.Description.contains("'" + path + "'")),
                 qPrintable(err.Description));
        reader_client::CatalogFile::setReaderProgram(QString());  // a sound reader takes over the open file
        QVERIFY(!onTable || (!file.readTable(QStringLiteral("Category"), sink) && sink.names.size() == 11));
    }

    // A real no Jet file holds as the column's type (a NaN anywhere, a date before 100 or
    // after 9999, as a damaged or hostile file can give) arrives as Null, whatever the reader
    // sent: every path that lists it then shows the same Null, and no date is made of it.
    void shouldReadARealNoColumnHoldsAsNull_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<double>("value");
        QTest::addColumn<bool>("kept");
        const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
        const int date = int(jet::StoredType::Date), real = int(jet::StoredType::Double), single = int(jet::StoredType::Float);
        QTest::newRow("date, NaN") << date << nan << false;
        QTest::newRow("date, 1e300") << date << 1e300 << false;
        QTest::newRow("date, -1e300") << date << -1e300 << false;
        QTest::newRow("date, infinite") << date << inf << false;
        QTest::newRow("date, the day before 100-01-01") << date << -657435.0 << false;
        QTest::newRow("date, 100-01-01") << date << -657434.0 << true;
        QTest::newRow("date, 9999-12-31 23:59") << date << 2958465.999 << true;
        QTest::newRow("date, 10000-01-01") << date << 2958466.0 << false;
        QTest::newRow("date, 1899-12-30") << date << 0.0 << true;
        QTest::newRow("double, NaN") << real << nan << false;
        QTest::newRow("double, infinite") << real << -inf << true;
        QTest::newRow("double, 1e300") << real << 1e300 << true;
        QTest::newRow("float, NaN") << single << nan << false;
    }
    void shouldReadARealNoColumnHoldsAsNull()
    {
        QFETCH(int, type);
        QFETCH(double, value);
        QFETCH(bool, kept);
        namespace proto = jet::protocol;
        std::string columns, rows, end;
        proto::putColumns(columns, {{"Made", jet::StoredType(type), 0}}, 1);
        proto::putU32(rows, 1);
        proto::putU8(rows, std::uint8_t(jet::CellTag::Real));
        proto::putF64(rows, value);
        proto::putU32(end, 1);
        struct Cells final : reader_client::RowSink {
            void columns(const QVector<jet::Column> &) override {}
            void row(const std::vector<reader_client::Cell> &cells) override { got = cells; }
            std::vector<reader_client::Cell> got;
        } sink;
        reader_client::reply::TableReply reply(sink);
        using Step = reader_client::reply::TableReply::Step;
        QCOMPARE(reply.take(proto::FrameKind::Columns, columns), Step::More);
        QCOMPARE(reply.take(proto::FrameKind::Rows, rows), Step::More);
        QCOMPARE(reply.take(proto::FrameKind::End, end), Step::Done);
        QCOMPARE(sink.got.size(), size_t(1));
        QCOMPARE(!sink.got[0].isNull, kept);
        if (kept)
            QCOMPARE(sink.got[0].real, value);
    }

    // A Rows frame is read by the columns' types (ID Long, Free Yes/No, Name Text): a Null
    // only where the column may hold one, and none of a refused frame's rows is taken. Cut
    // and inconsistent frames are the frame's own tests (tests/jet/test_rows_frame.cpp).
    void shouldTakeOnlyRowsFramesThatFitTheColumns_data()
    {
        namespace proto = jet::protocol;
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QString>("taken");  // the rows as "ID/Free/Name;...", or "refused"
        const auto frame = [](std::uint32_t rows, std::string tags, std::initializer_list<std::int64_t> ids,
                              std::initializer_list<std::int64_t> frees, std::initializer_list<std::string> names) {
            std::string out;
            proto::putU32(out, rows);
            out += tags.substr(0, rows);
            for (std::int64_t id : ids)
                proto::putI64(out, id);
            out += tags.substr(rows, rows);
            for (std::int64_t free : frees)
                proto::putI64(out, free);
            out += tags.substr(2 * rows);
            for (const std::string &name : names)
                proto::putU32(out, std::uint32_t(name.size()));
            for (const std::string &name : names)
                out += name;
            return QByteArray::fromStdString(out);
        };
        const char I = char(jet::CellTag::Integer), T = char(jet::CellTag::Text), N = char(jet::CellTag::Null);
        QTest::newRow("two whole rows") << frame(2, {I, I, I, I, T, T}, {7, 9}, {1, 0}, {"Zip", "Tool"}) << "7/1/Zip;9/0/Tool";
        QTest::newRow("Nulls where a column may") << frame(3, {N, I, I, I, I, I, T, N, T}, {8, 9}, {0, 1, 0}, {"", "Ab"})
                                                  << "null/0/;8/1/null;9/0/Ab";
        QTest::newRow("no rows") << frame(0, {}, {}, {}, {}) << "";
        QTest::newRow("a Null Yes/No") << frame(1, {I, N, T}, {7}, {}, {"Zip"}) << "refused";
    }
    void shouldTakeOnlyRowsFramesThatFitTheColumns()
    {
        QFETCH(QByteArray, payload);
        QFETCH(QString, taken);
        namespace proto = jet::protocol;
        std::string columns;
        proto::putColumns(columns, {{"ID", jet::StoredType::Long, 4}, {"Free", jet::StoredType::Boolean, 1},
                                    {"Name", jet::StoredType::Text, 100}}, 3);
        struct Rows final : reader_client::RowSink {
            void columns(const QVector<jet::Column> &) override {}
            void row(const std::vector<reader_client::Cell> &cells) override
            {
                QStringList row;
                for (const reader_client::Cell &cell : cells)
                    row << (cell.isNull ? QStringLiteral("null")
                            : cell.text.data() ? QString::fromUtf8(cell.text.data(), qsizetype(cell.text.size()))
                                               : QString::number(cell.integer));
                got << row.join(QLatin1Char('/'));
            }
            QStringList got;
        } sink;
        reader_client::reply::TableReply reply(sink);
        using Step = reader_client::reply::TableReply::Step;
        QCOMPARE(reply.take(proto::FrameKind::Columns, columns), Step::More);
        const Step step = reply.take(proto::FrameKind::Rows, std::string_view(payload.constData(), size_t(payload.size())));
        const bool refused = taken == QLatin1String("refused");
        QCOMPARE(step, refused ? Step::Malformed : Step::More);
        QCOMPARE(sink.got.join(QLatin1Char(';')), refused ? QString() : taken);
    }

    // A sanitised reader's report (written on stderr before it dies) lands in the folder
    // QUORBIX_READER_REPORTS names, and the error says where; unsanitised, stderr goes
    // nowhere, as the reader's complaints would fill an unread pipe.
    void shouldKeepASanitisedReadersReport()
    {
#ifndef QUORBIX_SANITIZED
        QSKIP("a sanitised build's behaviour");
#else
        QTemporaryDir reports;
        qputenv("QUORBIX_READER_REPORTS", QFile::encodeName(reports.path()));
        useFakeReader(m_dir, "echo 'reader.cpp:12:3: runtime error: a report' >&2; exit 1");
        reader_client::CatalogFile file;
        const ado::Error err = file.open(testDataPath("basic.mdb"));
        qunsetenv("QUORBIX_READER_REPORTS");
        const QString log = reports.filePath(QStringLiteral("reader.log"));
        QVERIFY2(err.Description.contains("stopped unexpectedly (reports in '" + log + "')"), qPrintable(err.Description));
        QFile written(log);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), QByteArray("reader.cpp:12:3: runtime error: a report\n"));
#endif
    }

    // A read is given its time again while rows the table declared keep coming (a large
    // catalog on a busy machine), but not after a stall, and not for rows trickled for
    // ever. Here the time is 0.5 s, so 2 s in all.
    void shouldGiveAReadThatKeepsComingTheTimeItNeeds_data()
    {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<QString>("outcome");  // the rows read, or words of the error
        // Category's columns: one, "C", a LONG outside the key; then the rows it declares (u32), as octal.
        const auto columns = [](const char *declared) {
            return kAnnounceCategory + "printf '\\030\\0\\0\\0\\002\\001\\0\\0\\0\\001\\0\\0\\0C\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0" + declared + "'; ";
        };
        const QByteArray row = "printf '\\006\\0\\0\\0\\003\\001\\0\\0\\0\\0'; sleep 0.2; ";
        QTest::newRow("steady rows past the time") << columns("\\006\\0\\0\\0") + "for i in 1 2 3 4 5 6; do " + row
                + "done; printf '\\005\\0\\0\\0\\004\\006\\0\\0\\0'; exec sleep 60" << "6 rows";
        QTest::newRow("a stall after steady rows") << columns("\\006\\0\\0\\0") + row + row + "exec sleep 60"
                                                   << "took too long";
        QTest::newRow("rows trickled for ever") << columns("\\350\\003\\0\\0") + "while :; do " + row + "done"
                                                << "took too long";
    }
    void shouldGiveAReadThatKeepsComingTheTimeItNeeds()
    {
        QUORBIX_LINUX_ONLY("stand-in readers are shell scripts");
        QFETCH(QByteArray, script);
        QFETCH(QString, outcome);
        TableRows sink;
        useFakeReader(m_dir, script);
        reader_client::CatalogFile file;
        file.setRequestTime(500);
        QVERIFY(!file.open(testDataPath("basic.mdb")));
        const ado::Error err = file.readTable(QStringLiteral("Category"), sink);
        const QString got = err ? err.Description : QStringLiteral("%1 rows").arg(sink.rows);
        QVERIFY2(got.contains(outcome), qPrintable(got));
    }

    void shouldRunTheReaderUnderMemoryAndTimeLimits()
    {
        QUORBIX_LINUX_ONLY("stand-in readers are shell scripts");
        // announces one table whose name is the limits the reader runs under
        useFakeReader(m_dir, "name=\"$(ulimit -v) $(ulimit -t)\"\n"
                           "octal() { printf \"\\\\$(printf %03o \"$1\")\"; }\n"
                           "octal $((9 + ${#name})); printf '\\0\\0\\0\\001\\001\\0\\0\\0'\n"
                           "octal ${#name}; printf '\\0\\0\\0%s' \"$name\"\n"
                           "exec sleep 60");
        reader_client::CatalogFile file;
        QVERIFY(!file.open(testDataPath("basic.mdb")));
        const QStringList limits = file.tableNames().value(0).split(QLatin1Char(' '));
        const qint64 memoryKiB = limits.value(0).toLongLong(), cpuSeconds = limits.value(1).toLongLong();
#ifdef QUORBIX_SANITIZED
        const qint64 reserveKiB = qint64(1) << 35;  // the sanitizer's shadow memory
#else
        const qint64 reserveKiB = 0;
#endif
        QVERIFY2(memoryKiB > reserveKiB && memoryKiB <= reserveKiB + 1024 * 1024 && cpuSeconds > 0 && cpuSeconds <= 600, qPrintable(limits.join(' ')));
    }

private:
    QTemporaryDir m_dir;
    QByteArray m_basic;
};

QTEST_GUILESS_MAIN(TestCatalogFile)
#include "test_catalog_file.moc"
