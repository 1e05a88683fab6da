#include "jet/codec.h"
#include "jet/little_endian.h"

#include <QTest>

#include <cmath>

using namespace jet::codec;
Q_DECLARE_METATYPE(jet::codec::Refusal)

namespace {

const unsigned char *bytesOf(const std::string &s) { return reinterpret_cast<const unsigned char *>(s.data()); }

QString decimalRoundTrip(const char *text, int precision, int scale, Refusal *refused = nullptr)
{
    Decimal d;
    if (!parseDecimal(text, d))
        return QStringLiteral("unparsed");
    std::string bytes, back;
    const Refusal r = encodeDecimal(d, precision, scale, bytes);
    if (refused)
        *refused = r;
    if (r != Refusal::None)
        return QString();
    decodeDecimal(bytesOf(bytes), unsigned(scale), back);
    return QString::fromStdString(back);
}

}  // namespace

// Values round-trip through the builder and readers that did not write them
// (tests/tools/test_catalog_build.cpp); here are the refusals and the guards of the decoders.
class TestCodec : public QObject {
    Q_OBJECT
private slots:
    void shouldRefuseDecimalsTheColumnCannotHold_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("precision");
        QTest::addColumn<int>("scale");
        QTest::addColumn<Refusal>("refusal");
        QTest::newRow("too many decimals") << "1.234" << 10 << 2 << Refusal::TooManyDecimals;
        QTest::newRow("too many digits") << "123.4" << 3 << 1 << Refusal::TooManyDigits;
        QTest::newRow("29 digits") << "10000000000000000000000000000" << 28 << 0 << Refusal::TooManyDigits;
    }
    void shouldRefuseDecimalsTheColumnCannotHold()
    {
        QFETCH(QString, text);
        QFETCH(int, precision);
        QFETCH(int, scale);
        QFETCH(Refusal, refusal);
        Refusal got = Refusal::None;
        QCOMPARE(decimalRoundTrip(text.toUtf8().constData(), precision, scale, &got), QString());
        QCOMPARE(got, refusal);
    }

    void shouldRefuseCurrencyPastItsRange()
    {
        Decimal d;
        std::int64_t got = 0;
        QVERIFY(parseDecimal("922337203685477.5808", d));
        QCOMPARE(encodeMoney(d, got), Refusal::OutOfRange);
        QVERIFY(parseDecimal("1.00001", d));
        QCOMPARE(encodeMoney(d, got), Refusal::TooManyDecimals);
    }

    void shouldRefuseIdsInOtherForms_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("short") << "{00112233-4455-6677-8899-AABBCCDDEEF}";
        QTest::newRow("dash misplaced") << "001122334-455-6677-8899-AABBCCDDEEFF";
        QTest::newRow("not hex") << "{0011223G-4455-6677-8899-AABBCCDDEEFF}";
    }
    void shouldRefuseIdsInOtherForms()
    {
        QFETCH(QString, text);
        std::string bytes;
        QCOMPARE(encodeGuid(text.toStdString(), bytes), Refusal::BadForm);
    }

    void shouldRoundATimeJustBeforeMidnightIntoTheNextDay()
    {
        QCOMPARE(QString::fromStdString(dateText(1.9999999999)), QStringLiteral("1900-01-01 00:00:00"));
        const DateTime w = decodeDate(-1.9999999999);  // 1899-12-29, counted forward
        QCOMPARE(w.day, 30);
        QCOMPARE(w.hour, 0);
    }

    void shouldRefuseDatesJetCannotHold_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<Refusal>("refusal");
        QTest::newRow("year 99") << "0099-12-31" << Refusal::OutOfRange;
        QTest::newRow("February 30") << "2001-02-30" << Refusal::BadForm;
        QTest::newRow("hour 24") << "2001-01-01 24:00:00" << Refusal::BadForm;
        QTest::newRow("no seconds") << "2001-01-01 10:00" << Refusal::BadForm;
    }
    void shouldRefuseDatesJetCannotHold()
    {
        QFETCH(QString, text);
        QFETCH(Refusal, refusal);
        double got = 0;
        QCOMPARE(encodeDate(text.toStdString(), got), refusal);
    }

    void shouldRefuseExtendedDatesItCannotHold_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<Refusal>("refusal");
        QTest::newRow("year 0") << "0000-12-31" << Refusal::OutOfRange;
        QTest::newRow("eight decimals") << "2019-01-01 00:00:00.12345678" << Refusal::BadForm;
        QTest::newRow("a point and no digit") << "2019-01-01 00:00:00." << Refusal::BadForm;
        QTest::newRow("a sign in the fraction") << "2019-01-01 00:00:00.-1" << Refusal::BadForm;
        QTest::newRow("February 29 of 1900") << "1900-02-29" << Refusal::BadForm;
    }
    void shouldRefuseExtendedDatesItCannotHold()
    {
        QFETCH(QString, text);
        QFETCH(Refusal, refusal);
        std::string bytes;
        QCOMPARE(encodeExtendedDate(text.toStdString(), bytes), refusal);
    }

    void shouldRefuseStoredExtendedDatesNotInTheirForm_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::newRow("a letter among the digits") << QByteArray("00000000000000x0000:0000000000000000000:7\0", 42);
        QTest::newRow("past the last day") << QByteArray("0000000000003652059:0000000000000000000:7\0", 42);
        QTest::newRow("a day of 86,400 seconds") << QByteArray("0000000000000000000:0000000864000000000:7\0", 42);
        QTest::newRow("another ending") << QByteArray("0000000000000000000:0000000000000000000:6\0", 42);
        QTest::newRow("a separator missing") << QByteArray("0000000000000000000 0000000000000000000:7\0", 42);
    }
    void shouldRefuseStoredExtendedDatesNotInTheirForm()
    {
        QFETCH(QByteArray, stored);
        std::string out = "kept";
        QVERIFY(!decodeExtendedDate(reinterpret_cast<const unsigned char *>(stored.constData()), out));
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
        QTest::addColumn<QString>("text");
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
    }
    void shouldKeepCalculatedDecimalsWithTheirOwnScale()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, stored);
        QFETCH(QString, back);
        Decimal d;
        QVERIFY(parseDecimal(text.toStdString(), d));
        std::string bytes, out;
        QCOMPARE(encodeCalculatedDecimal(d, bytes), Refusal::None);
        if (!stored.isEmpty())
            QCOMPARE(QByteArray::fromStdString(bytes), stored);
        QVERIFY(decodeCalculatedDecimal(bytes, out));
        QCOMPARE(QString::fromStdString(out), back);
        QVERIFY(!decodeCalculatedDecimal(std::string_view(bytes).substr(0, 15), out));
    }

    void shouldRefuseAMarkedTextThatNoFormKeeps()
    {
        std::string bytes;
        QCOMPARE(encodeText(u"\uFEFFa\u0100", true, bytes), Refusal::BadForm);
    }

    void shouldDecodeALoneSurrogateAsAReplacement()
    {
        const unsigned char units[] = {0x41, 0x00, 0x00, 0xd8, 0x42, 0x00};
        std::string out;
        decodeText(units, sizeof units, out);
        QCOMPARE(QString::fromStdString(out), QString::fromUtf16(u"A\uFFFDB"));
    }

    void shouldKeepWesternText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("ASCII") << "Backup Buddy";
        QTest::newRow("Latin-1") << "Café crème";
        QTest::newRow("the 0x80 row") << QString::fromUtf16(u"\u20ac \u201cquoted\u201d \u2122 \u0178");
    }
    void shouldKeepWesternText()
    {
        QFETCH(QString, text);
        std::string bytes, back;
        QCOMPARE(encodeWesternText(text.toStdU16String(), bytes), Refusal::None);
        QCOMPARE(qsizetype(bytes.size()), text.size());
        decodeWesternText(bytesOf(bytes), bytes.size(), back);
        QCOMPARE(QString::fromStdString(back), text);
    }

    void shouldRefuseTextTheWesternCodePageLacks()
    {
        std::string bytes;
        QCOMPARE(encodeWesternText(u"Ωmega", bytes), Refusal::OutOfRange);
    }

};

QTEST_APPLESS_MAIN(TestCodec)
#include "test_codec.moc"
