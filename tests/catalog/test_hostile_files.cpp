#include "catalog/reader_client/catalog_file.h"
#include "jet/layout.h"
#include "tests/catalog/catalog_file_bytes.h"
#include "tests/support/test_data.h"

#include <QtTest>

#include <cmath>
#include <cstring>
#include <tuple>

using namespace jetbytes;

namespace {

constexpr int kUsageMapPointer = 55;  // where a table definition keeps its usage map's page and row

/// Opens the file and reads every table: "" when all read, else "STAGE: DESCRIPTION" of
/// the first failure (STAGE "open" or the table), or "BAD ..." when the refusal does not
/// come in the provider's manner (its number, words that name the file).
QString readEverything(const QString &path)
{
    reader_client::CatalogFile file;
    ado::Error err = file.open(path);
    QString stage = QStringLiteral("open");
    for (const QString &table : file.tableNames())
        if (TableRows sink; !err)
            err = file.readTable(stage = table, sink);
    const bool providersManner = err.Number == ado::E_PROVIDER_FAIL && err.Description.contains("'" + QDir::toNativeSeparators(path) + "'");
    return !err ? QString() : (providersManner ? stage + ": " : QStringLiteral("BAD %1 ").arg(err.Number)) + err.Description;
}

/// What is wrong with catalog-dump's output as its format reads: "" when every line is a
/// TABLE, COLUMN or ROW line, with whole escapes only, no raw control character, and as
/// many fields in each row as its table has columns.
QString dumpFormatProblem(const QByteArray &out)
{
    static const QRegularExpression escapes(QStringLiteral("^(?:[^\\\\\\x00-\\x1f\\x7f-\\x9f\\x{2028}\\x{2029}]|\\\\[\\\\tnrN]|\\\\u[0-9a-f]{4})*$"));
    static const QRegularExpression column(QStringLiteral("^COLUMN (.+) ([A-Z]+)( \\d+)?( AUTONUMBER)?$"));
    if (!out.isEmpty() && !out.endsWith('\n'))
        return QStringLiteral("the last line is cut short");
    const QList<QByteArray> lines = out.left(out.size() - 1).split('\n');
    qsizetype columns = -1;
    for (qsizetype i = 0; i < lines.size() && !out.isEmpty(); ++i) {
        const QString line = QString::fromUtf8(lines[i]);
        const auto bad = [&](const char *why) { return QStringLiteral("line %1 (%2): %3").arg(i + 1).arg(why, line.left(80)); };
        if (line.startsWith(QLatin1String("TABLE "))) {
            if (line.size() == 6 || !escapes.match(line.mid(6)).hasMatch())
                return bad("table name");
            columns = 0;
        } else if (const auto c = column.match(line); c.hasMatch()) {
            if (columns < 0 || !escapes.match(c.captured(1)).hasMatch())
                return bad("column");
            ++columns;
        } else if (line.startsWith(QLatin1String("ROW "))) {
            const QStringList fields = line.mid(4).split(QLatin1Char('\t'));
            if (columns <= 0 || fields.size() != columns)
                return bad("field count");
            for (const QString &field : fields)
                if (!escapes.match(field).hasMatch())
                    return bad("value");
        } else {
            return bad("unknown line");
        }
    }
    return {};
}

/// As readEverything, through catalog-dump: "" when it printed every table in its format,
/// the description of its refusal, "BAD ..." when it refused otherwise or printed what
/// does not read back.
QString dumpEverything(const QString &path)
{
    const ToolRun dump = runTool(tool("catalog-dump"), {path});
    if (dump.code < 0)
        return QStringLiteral("BAD ") + QString::fromUtf8(dump.failure);
    const QString problem = dumpFormatProblem(dump.out);
    if (!problem.isEmpty())
        return QStringLiteral("BAD output: ") + problem;
    QString err = QString::fromUtf8(dump.err);
    // A column that cannot be shown is said once and costs nothing else.
    static const QRegularExpression unshown(QStringLiteral("^catalog-dump: column '[^\n]*' of table '[^\n]*' \\(type \\d+\\) is [^\n]*\n"),
                                            QRegularExpression::MultilineOption);
    err.remove(unshown);
    if (dump.code == 0 && err.isEmpty())
        return {};
    const QString prefix = QStringLiteral("%1 : ").arg(ado::E_PROVIDER_FAIL);
    const bool providersManner = dump.code == 1 && err.startsWith(prefix) && err.endsWith('\n')
        && err.count('\n') == 1 && err.contains("'" + QDir::toNativeSeparators(path) + "'");
    return providersManner ? err.mid(prefix.size()).trimmed() : QStringLiteral("BAD exit %1: ").arg(dump.code) + err;
}

/// The first page of basic.mdb of each kind, found by its type byte (and the long-value tag).
int firstPageOfKind(const QByteArray &bytes, const QString &kind, int pageSize = kPage)
{
    for (int pg = 0; pg < bytes.size() / pageSize; ++pg) {
        const char lead = bytes[qsizetype(pg) * pageSize];
        const QString found = pg == 0 ? "header" : pg == 1 ? "global map" : pg == 2 ? "catalog definition"
                              : lead == 1 && bytes.mid(qsizetype(pg) * pageSize + 4, 4) == "LVAL" ? "long value"
                              : lead == 1 ? "data" : lead == 2 ? "table definition" : lead == 3 || lead == 4 ? "index"
                              : lead == 5 ? "usage map" : "";
        if (found == kind)
            return pg;
    }
    return -1;
}

bool isLongValuePage(const QByteArray &bytes, qsizetype pg)
{
    return pg > 2 && pg < bytes.size() / kPage && bytes[pg * kPage] == 1 && bytes.mid(pg * kPage + 4, 4) == "LVAL";
}

/// Where row 0 of page `pg` starts in the file.
qsizetype firstRowAt(const QByteArray &bytes, qsizetype pg) { return pg * kPage + (u16(bytes, pg * kPage + 14) & 0x1fff); }

/// `bytes` with a header field changed where it lies masked: unmasked, patched, masked again.
QByteArray withMaskedHeaderField(QByteArray bytes, qsizetype at, const QByteArray &value,
                                 const jet::layout::Layout &layout = jet::layout::kJet4)
{
    jet::layout::maskHeader(reinterpret_cast<unsigned char *>(bytes.data()), layout);
    bytes.replace(at, value.size(), value);
    jet::layout::maskHeader(reinterpret_cast<unsigned char *>(bytes.data()), layout);
    return bytes;
}

}  // namespace

class TestHostileFiles : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        fixLocale();
        m_basic = readAll(testDataPath("basic.mdb"));
        m_ace = readAll(testDataPath("basic-ace16.accdb"));
        m_jet3 = readAll(testDataPath("basic-jet3.mdb"));  // basic.txt built by catalog-build --format jet3
        QVERIFY(m_jet3.size() % jet::layout::kJet3.pageSize == 0 && !m_jet3.isEmpty());
        QVERIFY(m_ace.size() % kPage == 0 && !m_ace.isEmpty());
        QVERIFY(m_dir.isValid() && m_basic.size() % kPage == 0);
#ifdef QUORBIX_SANITIZED
        // Every reader this test starts (catalog-dump's too) reports here, not into nothing.
        QVERIFY(m_reports.isValid());
        qputenv("QUORBIX_READER_REPORTS", QFile::encodeName(m_reports.path()));
#endif
    }

    // A sanitised reader found nothing wrong in itself over every file it was given.
    void cleanupTestCase()
    {
#ifdef QUORBIX_SANITIZED
        QFile log(m_reports.filePath(QStringLiteral("reader.log")));
        const QByteArray reports = log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
        QVERIFY2(reports.isEmpty(), reports.left(8000).constData());
#endif
    }

    // Each file is refused (or, for bytes flipped, may read) with the provider's number and
    // a description that names the file, and this process carries on.
    void shouldRefuseDamagedFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expected");  // "" when the file may read; else a pattern of the refusal
        const QDir hostile(testDataPath("hostile"));
        const QString loops = QStringLiteral("the memo's chain of long-value rows loops back on itself\\.$");
        const QMap<QString, QString> causes{{"usage_map_len0_page2.mdb", "^open: .*the usage map of table 'MSysObjects' points to page 0"},
                                            {"memo_chain_selfloop.mdb", "^Site: .*" + loops}};
        for (const QString &name : hostile.entryList({QStringLiteral("*.mdb")}, QDir::Files))
            QTest::newRow(qPrintable(name)) << readAll(hostile.filePath(name)) << causes.value(name, "^never$");

        // A long-value chain (the long memo's) that loops before its declared length is reached:
        // only the loop guard can name it; without it the read stalls.
        qsizetype head = 3;  // the first long-value row that links to another long-value page
        while (head < m_basic.size() / kPage && !(isLongValuePage(m_basic, head)
                                                  && isLongValuePage(m_basic, u32(m_basic, firstRowAt(m_basic, head)) >> 8)))
            ++head;
        QByteArray selfLink = m_basic;  // row 0 cut to its 4-byte link, aimed at itself
        put16(selfLink, head * kPage + 14, kPage - 4);
        put32(selfLink, head * kPage + kPage - 4, quint32(head) << 8);
        QTest::newRow("long-value row holding only its link, aimed at itself") << selfLink << "^Software: .*" + loops;
        QByteArray backLink = m_basic;  // the second row links back to the first
        put32(backLink, firstRowAt(m_basic, u32(m_basic, firstRowAt(m_basic, head)) >> 8), quint32(head) << 8);
        QTest::newRow("long-value chain linking back to its start") << backLink << "^Software: .*" + loops;
        // A memo held in one long-value row (of a user table, not the catalog) declaring one byte more than the row holds.
        QByteArray header(8, '\0');
        qsizetype memoAt = -1;
        for (qsizetype pg = 3; pg < m_basic.size() / kPage && (memoAt < 0 || u32(m_basic, memoAt / kPage * kPage + 4) == 2); ++pg) {
            put32(header, 0, quint32(kPage - (firstRowAt(m_basic, pg) - pg * kPage)) | 0x40000000u);
            put32(header, 4, quint32(pg) << 8);
            memoAt = isLongValuePage(m_basic, pg) ? m_basic.indexOf(header) : -1;
        }
        QVERIFY(memoAt > 0);
        put32(header, 0, u32(header, 0) + 1);
        QTest::newRow("long-value row shorter than its memo")
            << QByteArray(m_basic).replace(memoAt, 8, header) << "the memo's long-value row is missing or too short";

        const QString notJet = QStringLiteral("^open: Unrecognized database format '.*'\\.$");
        const qsizetype pages = m_basic.size() / kPage;
        QVector<quint32> noise(2 * kPage);
        QRandomGenerator(4711).fillRange(noise.data(), noise.size());
        const auto patched = [&](qsizetype at, const QByteArray &with) { return QByteArray(m_basic).replace(at, with.size(), with); };
        QTest::newRow("empty file") << QByteArray() << notJet;
        QTest::newRow("random bytes") << QByteArray(reinterpret_cast<const char *>(noise.constData()), 8 * kPage) << notJet;
        QTest::newRow("text") << QByteArray("TABLE Category\nROW 1\tBusiness\n").repeated(200) << notJet;
        const QString otherFormat = QStringLiteral("^open: The catalog file '.*' is in %1, a database format that cannot be read\\.$");
        const QString sealed = QStringLiteral("^open: The catalog file '.*' is %1: it cannot be read until it is saved without");
        const auto aceWith = [&](char version) { return QByteArray(m_ace).replace(0x14, 1, QByteArray(1, version)); };
        // A version byte that names the other Jet layout: read by that layout, the pages do not fit it.
        QTest::newRow("Jet 4.0 file with the Jet 3 version byte")
            << patched(0x14, QByteArray(1, 0)) << "^open: .*the definition of table 'MSysObjects' \\(page 2\\) is not a table definition page";
        QTest::newRow("Jet 3 file with the Jet 4.0 version byte")
            << QByteArray(m_jet3).replace(0x14, 1, QByteArray(1, 1)) << "^open: .* is damaged: ";
        QTest::newRow("Jet magic with an ACE version byte") << patched(0x14, QByteArray(1, 2)) << notJet;
        QTest::newRow("ACE magic with the Jet 4 version byte") << patched(4, "Standard ACE DB") << otherFormat.arg("an ACE format of an unknown version \\(1\\)");
        QTest::newRow("ACE version byte between known ones") << aceWith(4) << otherFormat.arg("an ACE format of an unknown version \\(4\\)");
        QTest::newRow("ACE newer than Access 2019") << aceWith(7) << otherFormat.arg("an ACE format newer than Access 2019 \\(version 7\\)");
        QTest::newRow("ACE far newer") << aceWith(char(0xff)) << otherFormat.arg(".*version 255\\)");
        QTest::newRow("ACE header cut inside its masked part") << m_ace.left(0x80) << notJet;
        for (const auto &[name, bytes] : {std::pair{"Jet 4.0", m_basic}, std::pair{"ACE", m_ace}}) {
            using namespace jet::layout;
            QTest::addRow("%s, pages encrypted", name)
                << withMaskedHeaderField(bytes, kJet4.headerDatabaseKey, QByteArray("\x12\x34\x56\x78", 4)) << sealed.arg("encrypted");
            // "pw" masked with the creation date's days, as Access stores a database password.
            QByteArray header = bytes.left(kPage);
            maskHeader(reinterpret_cast<unsigned char *>(header.data()), kJet4);
            double created = 0;
            std::memcpy(&created, header.constData() + kJet4.headerCreationDate, sizeof created);
            const quint32 days = quint32(qint32(std::floor(created)));
            QByteArray password("p\0w\0", 4);
            for (int i = 0; i < 4; ++i)
                password[i] = char(password[i] ^ char(days >> (8 * i)));
            QTest::addRow("%s, database password", name)
                << withMaskedHeaderField(bytes, kHeaderPassword, password) << sealed.arg("protected by a database password");
        }
        {
            // Jet 3 keeps its password unmasked, 20 bytes; its text in the code page the header names.
            using namespace jet::layout;
            const auto jet3Field = [&](unsigned at, const QByteArray &value) { return withMaskedHeaderField(m_jet3, at, value, kJet3); };
            QTest::newRow("Jet 3, pages encrypted") << jet3Field(kJet3.headerDatabaseKey, "\x12\x34\x56\x78") << sealed.arg("encrypted");
            QTest::newRow("Jet 3, database password") << jet3Field(kHeaderPassword, "pw") << sealed.arg("protected by a database password");
            QTest::newRow("Jet 3, password in its last byte")
                << jet3Field(kHeaderPassword + kJet3.headerPasswordBytes - 1, "w") << sealed.arg("protected by a database password");
            QTest::newRow("Jet 3, byte after its password") << jet3Field(kHeaderPassword + kJet3.headerPasswordBytes, "w") << QString();
            QTest::newRow("Jet 3, Cyrillic code page")
                << jet3Field(kJet3.headerCodePage, QByteArray("\xe3\x04", 2))
                << otherFormat.arg("the Jet 3 format of Access 95 and 97 with text in code page 1251 \\(only 1252, Western European, is read\\)");
            QTest::newRow("Jet 3, no code page named") << jet3Field(kJet3.headerCodePage, QByteArray(2, '\0')) << "^$";
            QVERIFY(m_jet3.size() / kJet3.pageSize > 8);
        }
        QTest::newRow("header page marked as data") << patched(0, QByteArray(1, 1)) << notJet;
        QTest::newRow("header cut before the version") << m_basic.left(0x10) << notJet;

        // Cut at page boundaries and mid-page, or one byte too long: refused at the bound it breaks.
        const qsizetype page3 = jet::layout::kJet3.pageSize;
        const QList<std::tuple<const char *, QByteArray, qsizetype, QList<qsizetype>>> cuts{
            {"", m_basic, kPage, {kPage / 2, kPage, 2 * kPage, 3 * kPage, pages / 4 * kPage, pages / 2 * kPage,
                                  pages / 2 * kPage + 1000, m_basic.size() - 1, m_basic.size() + 1}},
            {"Jet 3, ", m_jet3, page3, {page3, 2 * page3, m_jet3.size() - 1024, m_jet3.size() + 1}}};
        for (const auto &[prefix, file, size, lengths] : cuts)
            for (const qsizetype length : lengths)
                QTest::addRow("%s%lld bytes", prefix, qint64(length))
                    << file.leftJustified(length, '\0', true)
                    << (length % size ? QStringLiteral("its size \\(%1 bytes\\) is not a whole number of %2-byte pages").arg(length).arg(size)
                                      : QStringLiteral("past the end of the file \\(%1 pages\\)").arg(length / size));

        // A zero-length usage map, or one aimed at page 0 row 255: the library would dereference NULL.
        const qsizetype software = definitionPageNaming(m_basic, QStringLiteral("DownloadURL1"));
        for (auto [stage, tdef] : {std::pair{"open", qsizetype(2)}, std::pair{"Software", software}}) {
            const quint32 pgRow = u32(m_basic, tdef * kPage + kUsageMapPointer);
            const qsizetype slot = qsizetype(pgRow >> 8) * kPage + 14 + 2 * (pgRow & 0xff);
            const int end = (pgRow & 0xff) == 0 ? kPage : u16(m_basic, slot - 2) & 0x1fff;
            QByteArray empty = m_basic;
            put16(empty, slot, end | (u16(m_basic, slot) & 0xe000));
            const QString refusal = QStringLiteral("^%1: .*usage map").arg(stage);
            QTest::addRow("usage map empty (%s)", stage) << empty << refusal;
            QTest::addRow("usage map aimed at the header page (%s)", stage)
                << patched(tdef * kPage + kUsageMapPointer, QByteArray("\xff\0\0\0", 4)) << refusal;
        }

        // Names: a column's refuses its table, a table's in the catalog refuses the file.
        const auto utf16 = [](const QString &text) { return QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2); };
        const qsizetype firstName = m_basic.indexOf(utf16("DownloadURL1"), software * kPage);
        const qsizetype lastName = m_basic.indexOf(utf16("SubCategoryID"), software * kPage);
        QVERIFY(firstName > 0 && lastName > firstName && lastName + 200 < (software + 1) * kPage);
        const QString columnName = QStringLiteral("^Software: .*the name of column \\d+ of table 'Software' %1\\.$");
        QTest::newRow("line break in a column name") << patched(firstName, QByteArray("\n", 2)) << columnName.arg("holds a control character");
        QTest::newRow("escape in a column name") << patched(firstName + 4, QByteArray("\x1b", 2)) << columnName.arg("holds a control character");
        QTest::newRow("C1 control in a column name") << patched(firstName, QByteArray("\x85", 2)) << columnName.arg("holds a control character");
        QTest::newRow("empty column name") << patched(lastName - 2, QByteArray(2, '\0')) << columnName.arg("is empty");
        QTest::newRow("65-character column name")
            << patched(lastName - 2, QByteArray("\x82\0", 2) + utf16(QString(65, 'A'))) << columnName.arg("is longer than 64 characters");
        QTest::newRow("64-character column name")
            << patched(lastName - 2, QByteArray("\x80\0", 2) + utf16(QString(64, 'A'))) << QString();
        QByteArray tableName = m_basic;
        qsizetype catalogPage = 3;  // the catalog's data page that holds the name
        while (catalogPage < pages && !(m_basic[catalogPage * kPage] == 1 && u32(m_basic, catalogPage * kPage + 4) == 2
                                        && m_basic.mid(catalogPage * kPage, kPage).contains(utf16("Software"))))
            ++catalogPage;
        for (qsizetype at = catalogPage * kPage; (at = tableName.indexOf(utf16("Software"), at)) >= 0 && at < (catalogPage + 1) * kPage;)
            tableName[at] = '\x07';
        QTest::newRow("control character in a table name")
            << tableName << "^open: .*the name of a table in its catalog holds a control character\\.$";

        // The primary key's index definitions, which the reader walks itself to name the
        // key columns: counts, numbers and lengths that do not fit refuse the table.
        const qsizetype keyName = m_basic.indexOf(utf16("PrimaryKey"), software * kPage);
        QVERIFY(keyName > 0 && keyName < (software + 1) * kPage && u32(m_basic, software * kPage + 47) == 1);
        const qsizetype logicalIndex = keyName - 2 - 28, realIndex = logicalIndex - 52;
        const QString indexes = QStringLiteral("^Software: .*the index definitions of table 'Software'%1");
        QTest::newRow("index count beyond any table")
            << patched(software * kPage + 47, QByteArray("\xa0\x86\x01\0", 4)) << indexes.arg(" declare 100000 indexes");
        QTest::newRow("logical indexes past the end of the definition")
            << patched(software * kPage + 47, QByteArray("\xc8\0\0\0", 4)) << indexes.arg(": the logical indexes run past the end of the definition");
        QTest::newRow("primary key over a real index that is not there")
            << patched(logicalIndex + 8, QByteArray("\x05\0\0\0", 4)) << indexes.arg(": the primary key names real index 5 of 1");
        QTest::newRow("primary key over a column the table lacks")
            << patched(realIndex + 4, QByteArray("\xc8\0", 2)) << indexes.arg(": the primary key names column number 200");
        QTest::newRow("primary key without columns")
            << patched(realIndex + 4, QByteArray("\xff\xff", 2)) << indexes.arg(": the primary key has no columns");

        // Page header and row count, row offsets, the middle, and the end where rows sit.
        const int kPage3 = int(jet::layout::kJet3.pageSize);
        for (const auto &[prefix, file, size] : {std::tuple{"", m_basic, kPage}, {"ACE: ", m_ace, kPage}, {"Jet 3: ", m_jet3, kPage3}}) {
            for (const char *kind : {"header", "global map", "catalog definition", "table definition", "data", "index",
                                     "long value", "usage map"}) {
                const qsizetype page = firstPageOfKind(file, kind, size);
                if (page < 0 && size == kPage3)
                    continue;  // a small catalog keeps its usage maps inline
                QVERIFY2(page >= 0, kind);
                for (auto [offset, span] : {std::pair{0, 8}, {8, 8}, {12, 16}, {40, 24}, {size / 2, 64}, {size - 64, 64}}) {
                    QByteArray flipped = file;
                    for (qsizetype at = page * size + offset; at < page * size + offset + span; ++at)
                        flipped[at] = char(~flipped[at]);
                    QTest::addRow("%s%s flipped at %d+%d", prefix, kind, offset, span) << flipped << QString();
                }
            }
        }
    }
    void shouldRefuseDamagedFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expected);
        const QString path = writeBytes(m_dir, QStringLiteral("damaged.mdb"), bytes);
        const QString outcome = readEverything(path);
        const bool refusedAsExpected = expected.isEmpty() || QRegularExpression(expected).match(outcome).hasMatch();
        QVERIFY2(!outcome.startsWith("BAD") && refusedAsExpected, qPrintable(outcome));
    }

    /// Many damaged variants of basic.mdb and of its ACE twin, always the same ones, dumped by
    /// catalog-dump: each either reads or is refused in the provider's manner, what is printed
    /// reads back in the dump's format, and the programs carry on through all of them.
    void shouldSurviveManyMutations_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("kPage");
        QTest::addColumn<int>("mutations");  // the ACE and Jet 3 walks are shorter: every one starts a reader
        QTest::addColumn<quint32>("seed");
        // Jet 4.0 in two halves of their own, so that two cores can walk them side by side.
        QTest::newRow("Jet 4.0") << "basic.mdb" << kPage << 4000 << quint32(20261206);
        QTest::newRow("Jet 4.0, more") << "basic.mdb" << kPage << 4000 << quint32(20261207);
        QTest::newRow("ACE") << "basic-ace16.accdb" << kPage << 2000 << quint32(20261206);
        QTest::newRow("Jet 3") << "basic-jet3.mdb" << int(jet::layout::kJet3.pageSize) << 1000 << quint32(20261206);
    }
    void shouldSurviveManyMutations()
    {
        QFETCH(QString, file);
        QFETCH(int, kPage);
        QFETCH(int, mutations);
        QFETCH(quint32, seed);
        const QByteArray m_basic = readAll(testDataPath(file));
        QVERIFY(!m_basic.isEmpty() && m_basic.size() % kPage == 0);
        const int kMutations = mutations;
        QRandomGenerator gen(seed);
        const qsizetype pages = m_basic.size() / kPage;
        int refused = 0, refusedForNames = 0;
        for (int m = 0; m < kMutations; ++m) {
            QByteArray bytes = m_basic;
            const qsizetype base = gen.bounded(pages) * kPage;
            const int kind = gen.bounded(6);
            if (kind == 0)  // a few random bytes anywhere in a page
                for (int n = 1 + gen.bounded(4); n > 0; --n)
                    bytes[base + gen.bounded(kPage)] = char(gen.bounded(256));
            else if (kind == 1)  // a 16-bit field of the page header or row offset table
                put16(bytes, base + 2 * gen.bounded(32), gen.bounded(2) ? 0xffff : gen.bounded(0x10000));
            else if (kind == 2)  // a 32-bit page pointer in the first part of the page
                put32(bytes, base + gen.bounded(128), gen.bounded(2) ? quint32(gen.bounded(int(pages))) << 8 : gen.generate());
            else if (kind == 3)  // the tail of a page, where rows end and null masks sit
                bytes[base + kPage - 1 - gen.bounded(256)] = char(gen.bounded(256));
            else if (kind == 4)  // a page copied over another
                bytes.replace(base, kPage, m_basic.mid(gen.bounded(pages) * kPage, kPage));
            else  // a run of zeros
                bytes.replace(base + gen.bounded(kPage - 64), 64, QByteArray(64, '\0'));
            const QString outcome = dumpEverything(writeBytes(m_dir, QStringLiteral("mutated.mdb"), bytes));
            QVERIFY2(!outcome.startsWith("BAD"), qPrintable(QStringLiteral("mutation %1 (kind %2, page %3): %4")
                                                                .arg(m).arg(kind).arg(base / kPage).arg(outcome)));
            refused += !outcome.isEmpty();
            refusedForNames += outcome.contains(QLatin1String("the name of"));
        }
        qInfo() << refused << "of" << kMutations << "mutations refused," << refusedForNames << "for a name;"
                << kMutations - refused << "read whole";
        QVERIFY2(refused > kMutations / 10, "the mutations hardly ever damaged anything");
        QCOMPARE(dumpEverything(testDataPath(file)), QString());
    }

private:
    QTemporaryDir m_dir;
#ifdef QUORBIX_SANITIZED
    QTemporaryDir m_reports;
#endif
    QByteArray m_basic;
    QByteArray m_ace;  // basic saved by Access 2016
    QByteArray m_jet3;
};

QTEST_GUILESS_MAIN(TestHostileFiles)
#include "test_hostile_files.moc"
