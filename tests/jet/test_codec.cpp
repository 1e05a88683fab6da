#include "jet/codec.h"
#include "jet/little_endian.h"
#include "jet/properties.h"
#include "jet/protocol.h"

#include <QTest>

#include <cmath>

using namespace jet::codec;
Q_DECLARE_METATYPE(jet::codec::Refusal)

namespace {

const unsigned char *bytesOf(const std::string &s) { return reinterpret_cast<const unsigned char *>(s.data()); }

}  // namespace

// Values round-trip through the builder and readers that did not write them, and the
// builder's refusals are tested by their messages (tests/tools/test_catalog_build.cpp); here
// are the other refusals and the guards of the decoders.
class TestCodec : public QObject {
    Q_OBJECT
private slots:
    // What no stored form keeps: a decimal past its column ("value precision scale"), a
    // text not in the form of its type (a replication ID, a date, a Date/Time Extended),
    // a stored Date/Time Extended not in its form, a marked text with a unit of low byte 0.
    void shouldRefuseWhatNoFormKeeps_data()
    {
        QTest::addColumn<char>("kind");  // 'N', 'G', 'D', 'X', 'S' (stored) or 'T' (after a U+FEFF mark)
        QTest::addColumn<QByteArray>("given");
        QTest::addColumn<Refusal>("refusal");
        const auto row = [](const char *name, char kind, const QByteArray &given, Refusal refusal = Refusal::BadForm) {
            QTest::newRow(name) << kind << given << refusal;
        };
        row("too many decimals", 'N', "1.234 10 2", Refusal::TooManyDecimals);
        row("29 digits", 'N', "10000000000000000000000000000 28 0", Refusal::TooManyDigits);
        row("ID short", 'G', "{00112233-4455-6677-8899-AABBCCDDEEF}");
        row("ID dash misplaced", 'G', "001122334-455-6677-8899-AABBCCDDEEFF");
        row("ID not hex", 'G', "{0011223G-4455-6677-8899-AABBCCDDEEFF}");
        row("date February 30", 'D', "2001-02-30");
        row("date without seconds", 'D', "2001-01-01 10:00");
        row("extended, a point and no digit", 'X', "2019-01-01 00:00:00.");
        row("extended, a sign in the fraction", 'X', "2019-01-01 00:00:00.-1");
        row("extended, February 29 of 1900", 'X', "1900-02-29");
        row("stored, a letter among the digits", 'S', QByteArray("00000000000000x0000:0000000000000000000:7\0", 42));
        row("stored, past the last day", 'S', QByteArray("0000000000003652059:0000000000000000000:7\0", 42));
        row("stored, a day of 86,400 seconds", 'S', QByteArray("0000000000000000000:0000000864000000000:7\0", 42));
        row("stored, another ending", 'S', QByteArray("0000000000000000000:0000000000000000000:6\0", 42));
        row("stored, a separator missing", 'S', QByteArray("0000000000000000000 0000000000000000000:7\0", 42));
        row("a marked text that no form keeps", 'T', "a\xc4\x80");
    }
    void shouldRefuseWhatNoFormKeeps()
    {
        QFETCH(char, kind);
        QFETCH(QByteArray, given);
        QFETCH(Refusal, refusal);
        const std::string text = given.toStdString();
        const QList<QByteArray> decimal = given.split(' ');
        std::string bytes = "kept";
        double days = 0;
        Decimal d;
        switch (kind) {
        case 'N':
            QVERIFY(parseDecimal(decimal[0].toStdString(), d));
            QCOMPARE(encodeDecimal(d, decimal[1].toInt(), decimal[2].toInt(), bytes), refusal);
            break;
        case 'G': QCOMPARE(encodeGuid(text, bytes), refusal); break;
        case 'D': QCOMPARE(encodeDate(text, days), refusal); break;
        case 'X': QCOMPARE(encodeExtendedDate(text, bytes), refusal); break;
        case 'S': QVERIFY(!decodeExtendedDate(bytesOf(text), bytes)); break;
        default: QCOMPARE(encodeText(u"\uFEFF" + QString::fromUtf8(given).toStdU16String(), true, bytes), refusal);
        }
    }

    void shouldRoundATimeJustBeforeMidnightIntoTheNextDay()
    {
        QCOMPARE(QString::fromStdString(dateText(1.9999999999)), QStringLiteral("1900-01-01 00:00:00"));
        const DateTime w = decodeDate(-1.9999999999);  // 1899-12-29, counted forward
        QCOMPARE(w.day, 30);
        QCOMPARE(w.hour, 0);
    }

    void shouldUnwrapWhatACalculatedColumnStores()
    {
        const std::string wrapped = wrapCalculated("abc");
        QCOMPARE(wrapped.size(), std::size_t(26));
        QCOMPARE(jet::le::get32(bytesOf(wrapped) + kCalculatedLengthAt), 3u);
        std::string_view inner;
        QVERIFY(unwrapCalculated(wrapped, inner));
        QCOMPARE(QByteArray(inner.data(), qsizetype(inner.size())), QByteArray("abc"));
        QVERIFY(unwrapCalculated(wrapCalculated({}), inner) && inner.empty());
        // A length past the bytes, and bytes too few to hold a length, are not read.
        QVERIFY(!unwrapCalculated(std::string_view(wrapped).substr(0, 22), inner));
        QVERIFY(!unwrapCalculated(std::string_view(wrapped).substr(0, 19), inner));
    }

    void shouldKeepCalculatedDecimalsWithTheirOwnScale_data()
    {
        QTest::addColumn<QString>("text");       // empty: bytes only read
        QTest::addColumn<QByteArray>("stored");  // empty: not compared
        QTest::addColumn<QString>("back");
        QTest::newRow("one") << "1" << QByteArray::fromHex("0e00000000000000" "0100000000000000") << "1";
        QTest::newRow("2^64: the top word first") << "18446744073709551616"
                                                  << QByteArray::fromHex("0e00000001000000" "0000000000000000")
                                                  << "18446744073709551616";
        QTest::newRow("negative, scaled") << "-12.5" << QByteArray::fromHex("0e00018000000000" "7d00000000000000") << "-12.5";
        QTest::newRow("28 digits") << "-1234567890123456789012345678" << QByteArray() << "-1234567890123456789012345678";
        QTest::newRow("28 digits after the point") << "0.0000000000000000000000000001" << QByteArray()
                                                   << "0.0000000000000000000000000001";
        QTest::newRow("zero") << "-0" << QByteArray::fromHex("0e00000000000000" "0000000000000000") << "0";
        // Values of an Access 2010 file, as its independent readers read them.
        QTest::newRow("Access: length, scale 10") << "" << QByteArray::fromHex("0e000a0000000000ec04b01fe7ae0000")
                                                  << "19230.7692307692";
        QTest::newRow("Access: length left 0") << "" << QByteArray::fromHex("0000060000000000" "08e6ff0200000000")
                                               << "50.325000";
        QTest::newRow("Access: all 96 bits, scale 18") << "" << QByteArray::fromHex("0e00120058e993b6744deac8f7aa5218")
                                                       << "56505085819.424791296572280180";
    }
    void shouldKeepCalculatedDecimalsWithTheirOwnScale()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, stored);
        QFETCH(QString, back);
        std::string bytes = stored.toStdString(), out;
        if (!text.isEmpty()) {
            Decimal d;
            QVERIFY(parseDecimal(text.toStdString(), d));
            QCOMPARE(encodeCalculatedDecimal(d, bytes), Refusal::None);
            if (!stored.isEmpty())
                QCOMPARE(QByteArray::fromStdString(bytes), stored);
        }
        QVERIFY(decodeCalculatedDecimal(bytes, out));
        QCOMPARE(QString::fromStdString(out), back);
        QVERIFY(!decodeCalculatedDecimal(std::string_view(bytes).substr(0, 15), out));
    }

    void shouldFindAColumnsResultTypeInItsPropertyBlock()
    {
        // "MR2", the names' block (Expression, ResultType), one column's block ("Pay") holding
        // ResultType 5 as Access writes it: 09 00 01 02 01 00 01 00 05.
        const QByteArray blob = QByteArray("MR2\0", 4) + QByteArray::fromHex(
            "3200000080001400450078007000720065007300730069006f006e00140052006500730075006c0074005400790070006500"
            "1b00000001000c0000000600500061007900090001020100010005");
        const auto properties = jet::properties::columnProperties(std::string_view(blob.constData(), size_t(blob.size())));
        QCOMPARE(properties.size(), std::size_t(1));
        QCOMPARE(QByteArray::fromStdString(std::string(properties[0].column)), QByteArray("P\0a\0y\0", 6));
        QCOMPARE(QByteArray::fromStdString(std::string(properties[0].name)), QByteArray("R\0e\0s\0u\0l\0t\0T\0y\0p\0e\0", 20));
        QCOMPARE(properties[0].value, std::string_view("\x05", 1));
        // A block cut short costs its properties, never more than the blob.
        QVERIFY(jet::properties::columnProperties(std::string_view(blob.constData(), size_t(blob.size() - 1))).empty());
    }

    void shouldKeepTextInEitherForm_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("mayCompress");
        QTest::addColumn<bool>("compressed");
        QTest::newRow("Latin, compressed") << "Backup Buddy é" << true << true;
        QTest::newRow("Latin, not allowed to") << "Backup Buddy" << false << false;
        QTest::newRow("runs of both") << "abc Ωμέγα def" << true << true;
        QTest::newRow("mostly Greek stays plain") << "Ωμέγα" << true << false;
        QTest::newRow("a low byte of zero cannot be compressed") << QString::fromUtf16(u"a\u0100b") << true << false;
        QTest::newRow("a leading mark is always compressed") << QString(QChar(0xfeff)) + QStringLiteral("ab") << false << true;
        QTest::newRow("beyond the first plane") << QString::fromUtf16(u"x\U0001F600y") << true << false;
        QTest::newRow("empty") << "" << true << false;
        // Past eight bytes, where ASCII is taken a word at a time.
        QTest::newRow("long Latin, compressed") << "Backup Buddy Deluxe Edition \u00e9, 2nd" << true << true;
        QTest::newRow("long runs of both") << "abcdefghij \u0101\u0103\u0105\u0107 klmnopqrstuvwxyz" << true << true;
        QTest::newRow("long Latin, not allowed to") << "Backup Buddy Deluxe Edition \u00e9 2nd" << false << false;
        QTest::newRow("long, beyond the first plane") << QString::fromUtf16(u"abcdefgh\U0001F600ijklmnop") << false << false;
    }
    void shouldKeepTextInEitherForm()
    {
        QFETCH(QString, text);
        QFETCH(bool, mayCompress);
        QFETCH(bool, compressed);
        std::string bytes, back;
        QCOMPARE(encodeText(text.toStdU16String(), mayCompress, bytes), Refusal::None);
        QCOMPARE(bytes.rfind("\xff\xfe", 0) == 0, compressed);
        decodeText(bytesOf(bytes), bytes.size(), back);
        QCOMPARE(QByteArray::fromStdString(back), text.toUtf8());  // a leading U+FEFF is kept
    }

    void shouldReadAStraySurrogateAsTheReplacementCharacter()
    {
        // "abcdefgh", two high surrogates, a low one, "ij": the first high one stands alone.
        const std::string stored = QByteArray::fromHex("6100620063006400650066006700680000d800d800dc69006a00").toStdString();
        std::string back;
        decodeText(bytesOf(stored), stored.size(), back);
        QCOMPARE(QString::fromStdString(back), QString::fromUtf16(u"abcdefgh\uFFFD\U00010000ij"));
    }

    void shouldReadBackTheColumnsItWrites()
    {
        const std::vector<jet::Column> sent = {{"Id", jet::StoredType::Long, 0, true, 0, 0, 1},
                                               {"Name", jet::StoredType::Text, 50},
                                               {"Price", jet::StoredType::Numeric, 0, false, 18, 4, 0},
                                               {"Files", jet::StoredType::Long, 0, false, 0, 0, 0, false, true, 0x12},
                                               {"Odd", jet::StoredType::Binary, 0, false, 0, 0, 0, false, true, 70}};
        std::string payload;
        jet::protocol::putColumns(payload, sent, 42);
        std::vector<jet::Column> got;
        std::uint32_t rows = 0;
        QVERIFY(jet::protocol::readColumns(payload, got, rows));
        QCOMPARE(rows, 42u);
        QCOMPARE(got.size(), sent.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            QCOMPARE(got[i].name, sent[i].name);
            QCOMPARE(got[i].type, sent[i].type);
            QCOMPARE(got[i].length, sent[i].length);
            QCOMPARE(got[i].autoNumber, sent[i].autoNumber);
            QCOMPARE(got[i].precision, sent[i].precision);
            QCOMPARE(got[i].scale, sent[i].scale);
            QCOMPARE(got[i].keyPosition, sent[i].keyPosition);
            QCOMPARE(got[i].unshown, sent[i].unshown);
            QCOMPARE(got[i].storedCode, sent[i].storedCode);
        }
        // A column not shown is the Long key of a complex field or Binary, nothing else.
        std::vector<jet::Column> textUnshown = sent;
        textUnshown[1].unshown = true;
        payload.clear();
        jet::protocol::putColumns(payload, textUnshown, 0);
        QVERIFY(!jet::protocol::readColumns(payload, got, rows));
        // A key place given twice, and a cut payload, are malformed.
        std::vector<jet::Column> twice = sent;
        twice[1].keyPosition = 1;
        payload.clear();
        jet::protocol::putColumns(payload, twice, 0);
        QVERIFY(!jet::protocol::readColumns(payload, got, rows));
        payload.clear();
        jet::protocol::putColumns(payload, sent, 0);
        QVERIFY(!jet::protocol::readColumns(std::string_view(payload).substr(0, payload.size() - 1), got, rows));
    }
};

QTEST_APPLESS_MAIN(TestCodec)
#include "test_codec.moc"
