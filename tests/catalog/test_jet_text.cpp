#include "jet_text.h"

#include <QLocale>
#include <QStandardPaths>
#include <QTest>

namespace {
int sign(int v)
{
    return v < 0 ? -1 : (v > 0 ? 1 : 0);
}
std::string utf8(const QString &s)
{
    return s.toStdString();
}
}  // namespace

class TestJetText : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QStandardPaths::setTestModeEnabled(true);
    }

    void compareOrdersAsJetSorts_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("expected");
        QTest::newRow("case is ignored") << "ZipMaster" << "zipmaster" << 0;
        QTest::newRow("lower case is not after upper case") << "alpha" << "Arcade" << -1;
        QTest::newRow("digits before letters") << "100% Free" << "alpha" << -1;
        QTest::newRow("prefix first") << "Zip" << "ZipMaster" << -1;
        QTest::newRow("accented case is ignored") << "ÉCLAIR" << "éclair" << 0;
        QTest::newRow("accent sorts beside its letter") << "Éclair" << "Ecran" << -1;
        QTest::newRow("accent after plain letter") << "eclair" << "éclair" << -1;
        QTest::newRow("accent before the next letter") << "éclair" << "f" << -1;
        QTest::newRow("decomposed equals composed in order") << QString("e\u0301a") << "éb" << -1;
        QTest::newRow("combining mark in the tail") << "e" << QString("e\u0301") << -1;
        QTest::newRow("ascii decides before later accents") << "ab" << "aaé" << 1;
        QTest::newRow("empty first") << "" << "a" << -1;
    }
    void compareOrdersAsJetSorts()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(int, expected);
        QCOMPARE(sign(jettext::compare(utf8(a), utf8(b))), expected);
        QCOMPARE(sign(jettext::compare(utf8(b), utf8(a))), -expected);
        // Sort keys order the same way.
        QCOMPARE(sign(QString::compare(jettext::sortKey(utf8(a)), jettext::sortKey(utf8(b)), Qt::CaseSensitive)),
                 expected);
    }

    void likeMatchesWithoutRegardToCase_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("expected");
        QTest::newRow("contains") << "%zip%" << "ArcView ZIP" << true;
        QTest::newRow("contains miss") << "%zap%" << "ArcView ZIP" << false;
        QTest::newRow("prefix") << "zip%" << "ZipMaster" << true;
        QTest::newRow("prefix needs the start") << "zip%" << "ArcView Zip" << false;
        QTest::newRow("suffix") << "%zip" << "ArcView Zip" << true;
        QTest::newRow("exact any case") << "zipmaster" << "ZIPMASTER" << true;
        QTest::newRow("exact is whole") << "zip" << "zipper" << false;
        QTest::newRow("one character") << "under_score" << "under-score" << true;
        QTest::newRow("one accented character") << "_dith" << "édith" << true;
        QTest::newRow("inner run") << "a%z%p" << "ArcView Zip" << true;
        QTest::newRow("inner run backtracks") << "%a%b" << "aXbXaXc" << false;
        QTest::newRow("percent alone") << "%" << "" << true;
        QTest::newRow("empty pattern") << "" << "x" << false;
        QTest::newRow("accented letters any case") << "%ÉCL%" << "un éclair" << true;
        QTest::newRow("accents are kept apart") << "%ecl%" << "un éclair" << false;
        QTest::newRow("ascii pattern, other letters before the match") << "%zip%" << "Ça zip" << true;
        QTest::newRow("folding beyond ascii reaches ascii") << "%k%" << QString("\u212A") << true;
        QTest::newRow("prefix over other letters") << "é%" << "Éclair" << true;
    }
    void likeMatchesWithoutRegardToCase()
    {
        QFETCH(QString, pattern);
        QFETCH(QString, text);
        QFETCH(bool, expected);
        const jettext::LikePattern like(utf8(pattern), '%', '_');
        QCOMPARE(like.matches(utf8(text)), expected);
        QCOMPARE(like.matchesFolded(jettext::fold(utf8(text))), expected);
    }
};

QTEST_GUILESS_MAIN(TestJetText)
#include "test_jet_text.moc"
