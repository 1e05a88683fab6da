#include "jet_file.h"
#include "jet_oracle.h"
#include "test_data.h"

#include <QDir>
#include <QLocale>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr int kPage = 4096;
constexpr int kUsageMapPointer = 55;  // where a table definition keeps its usage map's page and row

/// How far a file got: the error of the open or of the first table that failed.
struct Outcome {
    bool failed = false;
    QString stage;  ///< "open" or the table's name
    ado::Error error;
    int tablesRead = 0;
};

Outcome readEverything(const QString &path)
{
    Outcome outcome;
    jet::JetFile file;
    if (auto err = file.open(path)) {
        outcome = {true, QStringLiteral("open"), err, 0};
        return outcome;
    }
    for (const QString &table : file.tableNames()) {
        CollectingSink sink;
        if (auto err = file.readTable(table, sink)) {
            outcome = {true, table, err, outcome.tablesRead};
            return outcome;
        }
        ++outcome.tablesRead;
    }
    return outcome;
}

/// A refusal as the caller must see it: the provider's number and words that name the file.
QString badRefusal(const Outcome &outcome, const QString &path)
{
    if (!outcome.failed)
        return {};
    if (outcome.error.Number != ado::E_PROVIDER_FAIL)
        return QStringLiteral("error number %1").arg(outcome.error.Number);
    if (!outcome.error.Description.contains(QStringLiteral("'%1'").arg(path)))
        return QStringLiteral("description does not name the file: %1").arg(outcome.error.Description);
    return {};
}

QByteArray basicBytes()
{
    QFile file(testDataPath("basic.mdb"));
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(bytes);
    return path;
}

/// The first page of basic.mdb of each kind, found by its type byte (and the long-value tag).
int firstPageOfKind(const QByteArray &bytes, const QString &kind)
{
    for (int pg = 0; pg < bytes.size() / kPage; ++pg) {
        const char *p = bytes.constData() + qsizetype(pg) * kPage;
        const bool lval = p[0] == 1 && QByteArray(p + 4, 4) == "LVAL";
        if ((kind == QLatin1String("header") && pg == 0) ||
            (kind == QLatin1String("data") && p[0] == 1 && !lval && pg > 1) ||
            (kind == QLatin1String("global map") && pg == 1) ||
            (kind == QLatin1String("table definition") && p[0] == 2) ||
            (kind == QLatin1String("catalog definition") && pg == 2) ||
            (kind == QLatin1String("index") && (p[0] == 3 || p[0] == 4)) ||
            (kind == QLatin1String("long value") && lval) ||
            (kind == QLatin1String("usage map") && p[0] == 5))
            return pg;
    }
    return -1;
}


quint32 le32(const QByteArray &bytes, qsizetype at)
{
    quint32 v = 0;
    for (int i = 0; i < 4; ++i)
        v |= quint32(quint8(bytes[at + i])) << (8 * i);
    return v;
}

/// Makes the usage-map row of the table defined on `tdefPage` zero bytes long, the damage
/// on which the library dereferences NULL.
void emptyUsageMap(QByteArray &bytes, qsizetype tdefPage)
{
    const quint32 pgRow = le32(bytes, tdefPage * kPage + kUsageMapPointer);
    const qsizetype base = qsizetype(pgRow >> 8) * kPage;
    const int row = int(pgRow & 0xff);
    auto u16 = [&](qsizetype at) { return int(quint8(bytes[at]) | (quint8(bytes[at + 1]) << 8)); };
    const int end = row == 0 ? kPage : (u16(base + 14 + 2 * (row - 1)) & 0x1fff);
    const int flags = u16(base + 14 + 2 * row) & 0xe000;
    bytes[base + 14 + 2 * row] = char((end | flags) & 0xff);
    bytes[base + 14 + 2 * row + 1] = char((end | flags) >> 8);
}

}  // namespace

class TestHostileFiles : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_dir.isValid());
        m_basic = basicBytes();
        QCOMPARE(m_basic.size() % kPage, 0);
    }

    void shouldRefuseEachKnownHostileFile_data()
    {
        QTest::addColumn<QString>("path");
        const QDir hostile(testDataPath("hostile"));
        const QStringList files = hostile.entryList({QStringLiteral("*.mdb")}, QDir::Files, QDir::Name);
        QVERIFY(!files.isEmpty());
        for (const QString &name : files)
            QTest::newRow(qPrintable(name)) << hostile.filePath(name);
    }
    void shouldRefuseEachKnownHostileFile()
    {
        QFETCH(QString, path);
        const Outcome outcome = readEverything(path);
        QVERIFY2(outcome.failed, "a damaged file read without complaint");
        QVERIFY2(badRefusal(outcome, path).isEmpty(), qPrintable(badRefusal(outcome, path)));
        QVERIFY2(outcome.error.Description.contains(QLatin1String("is damaged")), qPrintable(outcome.error.Description));
    }

    void shouldRefuseABrokenUsageMapBeforeTheLibraryMeetsIt_data()
    {
        QTest::addColumn<QByteArray>("columnInTable");
        QTest::addColumn<QString>("failingStage");
        QTest::addColumn<int>("tablesReadFirst");
        QTest::addColumn<bool>("aimAtHeaderPage");
        QTest::newRow("the catalog's own table") << QByteArray() << "open" << 0 << false;
        QTest::newRow("Software") << QByteArray("DownloadURL1") << "Software" << 4 << false;
        // Where the library's own lookup finds a zero-length row and dereferences NULL.
        QTest::newRow("the catalog's own table, aimed at the header page") << QByteArray() << "open" << 0 << true;
        QTest::newRow("Software, aimed at the header page") << QByteArray("DownloadURL1") << "Software" << 4 << true;
    }
    void shouldRefuseABrokenUsageMapBeforeTheLibraryMeetsIt()
    {
        QFETCH(QByteArray, columnInTable);
        QFETCH(QString, failingStage);
        QFETCH(int, tablesReadFirst);
        QFETCH(bool, aimAtHeaderPage);
        constexpr qsizetype kCatalogDefinitionPage = 2;
        QByteArray bytes = m_basic;
        qsizetype tdef = kCatalogDefinitionPage;
        if (!columnInTable.isEmpty()) {
            QByteArray marker;
            for (char c : columnInTable)
                marker.append(c).append('\0');
            tdef = -1;
            for (qsizetype pg = 3; pg < bytes.size() / kPage && tdef < 0; ++pg)
                if (bytes[pg * kPage] == 2 && bytes.mid(pg * kPage, kPage).contains(marker))
                    tdef = pg;
            QVERIFY(tdef > 0);
        }
        if (aimAtHeaderPage)
            bytes.replace(tdef * kPage + kUsageMapPointer, 4, QByteArray("\xff\0\0\0", 4));  // page 0, row 255
        else
            emptyUsageMap(bytes, tdef);
        const QString path = writeFile(m_dir, QStringLiteral("empty-usage-map.mdb"), bytes);
        const Outcome outcome = readEverything(path);
        QVERIFY(outcome.failed);
        QCOMPARE(outcome.stage, failingStage);
        QCOMPARE(outcome.tablesRead, tablesReadFirst);
        QVERIFY2(outcome.error.Description.contains(QLatin1String("usage map")), qPrintable(outcome.error.Description));
        QVERIFY2(badRefusal(outcome, path).isEmpty(), qPrintable(badRefusal(outcome, path)));
    }

    void shouldRefuseWhatIsNotAJetDatabase_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QByteArray random(8 * kPage, '\0');
        QRandomGenerator generator(4711);
        for (char &c : random)
            c = char(generator.bounded(256));
        QByteArray jet3 = m_basic;
        jet3[0x14] = 0;
        QByteArray accdb = m_basic;
        accdb[0x14] = 2;
        QByteArray otherMagic = m_basic;
        otherMagic.replace(4, 15, "Standard ACE DB");
        QByteArray firstByte = m_basic;
        firstByte[0] = 1;

        QTest::newRow("empty file") << QByteArray();
        QTest::newRow("one byte") << QByteArray(1, '\0');
        QTest::newRow("random bytes") << random;
        QTest::newRow("text") << QByteArray("TABLE Category\nROW 1\tBusiness\n").repeated(200);
        QTest::newRow("Jet 3 version byte") << jet3;
        QTest::newRow("later version byte") << accdb;
        QTest::newRow("other engine's magic") << otherMagic;
        QTest::newRow("header page marked as data") << firstByte;
        QTest::newRow("header cut before the version") << m_basic.left(0x10);
    }
    void shouldRefuseWhatIsNotAJetDatabase()
    {
        QFETCH(QByteArray, bytes);
        const QString path = writeFile(m_dir, QStringLiteral("not-jet.mdb"), bytes);
        jet::JetFile file;
        const ado::Error err = file.open(path);
        QCOMPARE(err.Number, ado::E_PROVIDER_FAIL);
        QCOMPARE(err.Description, QStringLiteral("Unrecognized database format '%1'.").arg(path));
    }

    void shouldRefuseTruncatedFiles_data()
    {
        QTest::addColumn<qsizetype>("length");
        const qsizetype pages = m_basic.size() / kPage;
        QTest::newRow("header page only") << qsizetype(kPage);
        QTest::newRow("two pages") << qsizetype(2 * kPage);
        QTest::newRow("three pages") << qsizetype(3 * kPage);
        QTest::newRow("a quarter") << (pages / 4) * kPage;
        QTest::newRow("half") << (pages / 2) * kPage;
        QTest::newRow("mid-page in the header") << qsizetype(kPage / 2);
        QTest::newRow("mid-page in the middle") << (pages / 2) * kPage + 1000;
        QTest::newRow("one byte short") << m_basic.size() - 1;
        QTest::newRow("one byte over") << m_basic.size() + 1;
    }
    void shouldRefuseTruncatedFiles()
    {
        QFETCH(qsizetype, length);
        QByteArray bytes = m_basic.left(length);
        if (length > m_basic.size())
            bytes.append(QByteArray(length - m_basic.size(), '\0'));
        const QString path = writeFile(m_dir, QStringLiteral("truncated.mdb"), bytes);
        const Outcome outcome = readEverything(path);
        QVERIFY2(outcome.failed, "a cut file read without complaint");
        QVERIFY2(badRefusal(outcome, path).isEmpty(), qPrintable(badRefusal(outcome, path)));
    }

    void shouldSurviveBytesFlippedInEveryKindOfPage_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("span");
        const QStringList kinds{"header", "global map", "catalog definition", "table definition", "data",
                                "index", "long value", "usage map"};
        // Page header and row count, the row offset table, the middle, and the end of the
        // page where rows and their null masks sit.
        const QList<QPair<int, int>> regions{{0, 8}, {8, 8}, {12, 16}, {40, 24}, {kPage / 2, 64}, {kPage - 64, 64}};
        for (const QString &kind : kinds)
            for (const auto &[offset, span] : regions)
                QTest::addRow("%s at %d+%d", qPrintable(kind), offset, span) << kind << offset << span;
    }
    void shouldSurviveBytesFlippedInEveryKindOfPage()
    {
        QFETCH(QString, kind);
        QFETCH(int, offset);
        QFETCH(int, span);
        const int pg = firstPageOfKind(m_basic, kind);
        QVERIFY2(pg >= 0, "basic.mdb has no page of this kind");
        QByteArray bytes = m_basic;
        for (int i = 0; i < span; ++i)
            bytes[qsizetype(pg) * kPage + offset + i] = char(~bytes[qsizetype(pg) * kPage + offset + i]);
        const QString path = writeFile(m_dir, QStringLiteral("flipped.mdb"), bytes);
        const Outcome outcome = readEverything(path);
        QVERIFY2(badRefusal(outcome, path).isEmpty(), qPrintable(badRefusal(outcome, path)));
    }

    /// Many damaged variants of basic.mdb, always the same ones: each either reads or is
    /// refused in the provider's manner, and this process carries on through all of them.
    void shouldSurviveManyMutationsOfBasic()
    {
        constexpr int kMutations = 8000;
        QRandomGenerator generator(20261206);
        const qsizetype pages = m_basic.size() / kPage;
        int refused = 0;
        QMap<QString, int> stages;
        QMap<QString, int> faults;
        for (int m = 0; m < kMutations; ++m) {
            QByteArray bytes = m_basic;
            const qsizetype pg = generator.bounded(pages);
            const qsizetype base = pg * kPage;
            QString what;
            switch (generator.bounded(6)) {
            case 0: {  // a few random bytes anywhere in a page
                const int n = 1 + generator.bounded(4);
                for (int i = 0; i < n; ++i)
                    bytes[base + generator.bounded(kPage)] = char(generator.bounded(256));
                what = QStringLiteral("bytes in page %1").arg(pg);
                break;
            }
            case 1: {  // a 16-bit field of the page header or row offset table
                const int at = 2 * generator.bounded(32);
                const quint16 value = quint16(generator.bounded(2) ? 0xffff : generator.bounded(0x10000));
                bytes[base + at] = char(value & 0xff);
                bytes[base + at + 1] = char(value >> 8);
                what = QStringLiteral("header word %1 of page %2").arg(at).arg(pg);
                break;
            }
            case 2: {  // a 32-bit page pointer somewhere in the first part of the page
                const int at = generator.bounded(128);
                const quint32 value = generator.bounded(2) ? quint32(generator.bounded(int(pages))) << 8
                                                           : generator.generate();
                for (int i = 0; i < 4; ++i)
                    bytes[base + at + i] = char((value >> (8 * i)) & 0xff);
                what = QStringLiteral("pointer at %1 of page %2").arg(at).arg(pg);
                break;
            }
            case 3: {  // the tail of a page, where rows end and null masks sit
                const int at = kPage - 1 - generator.bounded(256);
                bytes[base + at] = char(generator.bounded(256));
                what = QStringLiteral("tail byte %1 of page %2").arg(at).arg(pg);
                break;
            }
            case 4: {  // a page copied over another
                const qsizetype from = generator.bounded(pages);
                bytes.replace(base, kPage, m_basic.mid(from * kPage, kPage));
                what = QStringLiteral("page %1 over page %2").arg(from).arg(pg);
                break;
            }
            default: {  // a run of zeros
                const int at = generator.bounded(kPage - 64);
                bytes.replace(base + at, 64, QByteArray(64, '\0'));
                what = QStringLiteral("zeros at %1 of page %2").arg(at).arg(pg);
                break;
            }
            }
            const QString path = writeFile(m_dir, QStringLiteral("mutated.mdb"), bytes);
            const Outcome outcome = readEverything(path);
            const QString bad = badRefusal(outcome, path);
            QVERIFY2(bad.isEmpty(), qPrintable(QStringLiteral("mutation %1 (%2): %3").arg(m).arg(what, bad)));
            if (outcome.failed) {
                ++refused;
                ++stages[outcome.stage];
                const QString &text = outcome.error.Description;
                const qsizetype process = text.indexOf(QLatin1String("the reader process"));
                ++faults[process >= 0 ? text.mid(process)
                         : text.contains(QLatin1String("is damaged")) ? QStringLiteral("damaged")
                                                                     : text.left(text.indexOf(QLatin1Char('\'')))];
            }
        }
        qInfo() << refused << "of" << kMutations << "mutations refused; where:" << stages << "how:" << faults;
        QVERIFY2(refused > kMutations / 10, "the mutations hardly ever damaged anything");
        const Outcome clean = readEverything(testDataPath("basic.mdb"));
        QVERIFY(!clean.failed);
        QCOMPARE(clean.tablesRead, 6);
    }

private:
    QTemporaryDir m_dir;
    QByteArray m_basic;
};

QTEST_GUILESS_MAIN(TestHostileFiles)
#include "test_hostile_files.moc"
