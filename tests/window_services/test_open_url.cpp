#include "tests/support/fake_services.h"
#include "window_services/open_url.h"

#include <QtTest>

class TestOpenUrl : public QObject {
    Q_OBJECT
private slots:
    void shouldHandOverOnlyWebAndMailAddresses_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("handedOver");  // empty: refused
        QTest::newRow("http") << "http://www.nordwell-labs.example/zip.png" << "http://www.nordwell-labs.example/zip.png";
        QTest::newRow("https") << "https://buy.example/zip?x=1&y=2" << "https://buy.example/zip?x=1&y=2";
        QTest::newRow("ftp") << "ftp://dl.example/pub/zip.exe" << "ftp://dl.example/pub/zip.exe";
        QTest::newRow("mailto") << "mailto:sales@omalley.example" << "mailto:sales@omalley.example";
        QTest::newRow("bare www as http") << "WWW.quorbix.example/a" << "http://www.quorbix.example/a";
        QTest::newRow("surrounding blanks") << "  http://dl1.example/a.exe \r\n" << "http://dl1.example/a.exe";
        QTest::newRow("empty") << "" << "";
        // Each refusal fails for one reason only: these have a host, so only their scheme refuses them.
        QTest::newRow("file scheme with a host") << "file://server/etc/passwd" << "";
        QTest::newRow("javascript with a host") << "javascript://www.example.com/%0Aalert(1)" << "";
        QTest::newRow("data with a host") << "data://www.example.com/text/html,hi" << "";
        QTest::newRow("smb share") << "smb://server/share/setup.exe" << "";
        QTest::newRow("windows path") << "C:\\Windows\\System32\\calc.exe" << "";
        QTest::newRow("host without a scheme") << "//server/share/setup.exe" << "";
        QTest::newRow("http without host") << "http:///etc/passwd" << "";
        QTest::newRow("www lookalike") << "wwwroot/index.html" << "";
        QTest::newRow("mailto without address") << "mailto:" << "";
    }
    void shouldHandOverOnlyWebAndMailAddresses()
    {
        QFETCH(QString, address);
        QFETCH(QString, handedOver);
        FakeServices fakes;
        OpenUrl(fakes.desktop, nullptr, address);
        QCOMPARE(fakes.desktop.opened, handedOver.isEmpty() ? QVector<QUrl>() : QVector<QUrl>{QUrl(handedOver)});
        // Nothing is ever reported, whatever the address.
        QVERIFY(fakes.messages.calls.isEmpty() && fakes.messages.beeps == 0);
    }
};

QTEST_GUILESS_MAIN(TestOpenUrl)
#include "test_open_url.moc"
