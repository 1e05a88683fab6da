#include "fake_services.h"
#include "open_url.h"

#include <QLocale>
#include <QStandardPaths>
#include <QTest>

class TestOpenUrl : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QStandardPaths::setTestModeEnabled(true);
    }

    void shouldHandOverOnlyWebAndMailAddresses_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("handedOver");  // empty: refused

        QTest::newRow("http") << "http://www.nordwell-labs.example/zip.png"
                              << "http://www.nordwell-labs.example/zip.png";
        QTest::newRow("https") << "https://buy.example/zip?x=1&y=2" << "https://buy.example/zip?x=1&y=2";
        QTest::newRow("ftp") << "ftp://dl.example/pub/zip.exe" << "ftp://dl.example/pub/zip.exe";
        QTest::newRow("mailto") << "mailto:sales@omalley.example" << "mailto:sales@omalley.example";
        QTest::newRow("upper-case scheme") << "HTTP://Brightline.example/" << "http://brightline.example/";
        QTest::newRow("bare www as http") << "www.quorbix.example" << "http://www.quorbix.example";
        QTest::newRow("bare WWW as http") << "WWW.quorbix.example/a" << "http://www.quorbix.example/a";
        QTest::newRow("surrounding blanks") << "  http://dl1.example/a.exe \r\n" << "http://dl1.example/a.exe";
        QTest::newRow("space inside the path") << "http://dl.example/my file.zip"
                                               << "http://dl.example/my%20file.zip";

        QTest::newRow("empty") << "" << "";
        QTest::newRow("blanks only") << "   " << "";
        QTest::newRow("file scheme") << "file:///etc/passwd" << "";
        QTest::newRow("javascript") << "javascript:alert(1)" << "";
        QTest::newRow("smb share") << "smb://server/share/setup.exe" << "";
        QTest::newRow("windows path") << "C:\\Windows\\System32\\calc.exe" << "";
        QTest::newRow("unc path") << "\\\\server\\share\\setup.exe" << "";
        QTest::newRow("absolute local path") << "/usr/bin/xterm" << "";
        QTest::newRow("program name") << "calc.exe" << "";
        QTest::newRow("relative www lookalike") << "wwwroot/index.html" << "";
        QTest::newRow("http without host") << "http:///etc/passwd" << "";
        QTest::newRow("mailto without address") << "mailto:" << "";
        QTest::newRow("data url") << "data:text/html,<script>x</script>" << "";
        QTest::newRow("scheme-relative") << "//evil.example/x" << "";
    }
    void shouldHandOverOnlyWebAndMailAddresses()
    {
        QFETCH(QString, address);
        QFETCH(QString, handedOver);
        FakeServices fakes;

        OpenUrl(fakes.desktop, nullptr, address);

        if (handedOver.isEmpty()) {
            QVERIFY2(fakes.desktop.opened.isEmpty(), qPrintable(fakes.desktop.opened.value(0).toString()));
        } else {
            QCOMPARE(fakes.desktop.opened.size(), 1);
            QCOMPARE(fakes.desktop.opened.first().toString(QUrl::FullyEncoded), handedOver);
        }
        // Nothing is ever reported, whatever the address.
        QVERIFY(fakes.messages.calls.isEmpty());
        QCOMPARE(fakes.messages.beeps, 0);
    }
};

QTEST_GUILESS_MAIN(TestOpenUrl)
#include "test_open_url.moc"
