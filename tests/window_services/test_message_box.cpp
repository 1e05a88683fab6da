#include "window_services/services.h"

#include "tests/support/test_data.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

// The real message boxes, answered from the keyboard: Enter takes the default button (Yes,
// the first), Escape the one that declines; a notice has only OK.
class TestMessageBox : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void shouldAnswerEnterAndEscapeAsTheButtonsSay_data()
    {
        QTest::addColumn<int>("style");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("answer");
        QTest::newRow("prompt, Enter") << int(vbYesNo) << int(Qt::Key_Return) << int(vbYes);
        QTest::newRow("prompt, keypad Enter") << int(vbYesNo) << int(Qt::Key_Enter) << int(vbYes);
        QTest::newRow("prompt, Escape") << int(vbYesNo) << int(Qt::Key_Escape) << int(vbNo);
        QTest::newRow("notice, Enter") << kNoticeStyle << int(Qt::Key_Return) << int(vbOK);
        QTest::newRow("notice, Escape") << kNoticeStyle << int(Qt::Key_Escape) << int(vbOK);
    }
    void shouldAnswerEnterAndEscapeAsTheButtonsSay()
    {
        QUORBIX_LINUX_ONLY("the prompt of the Windows desktop is the platform's own box");
        QFETCH(int, style);
        QFETCH(int, key);
        QFETCH(int, answer);
        QStringList buttons;
        QTimer::singleShot(0, this, [&] {
            QVERIFY(QTest::qWaitFor([] { return QApplication::activeModalWidget() != nullptr; }));
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box);
            for (QAbstractButton *b : box->buttons())
                buttons << b->text().remove('&');
            QTest::keyClick(box, Qt::Key(key));
        });
        QCOMPARE(realServices().messages.MsgBox(nullptr, QStringLiteral("Open the download page?"), style, QStringLiteral("Quorbix")),
                 answer);
        QCOMPARE(buttons.size(), style == vbYesNo ? 2 : 1);
    }
};

QTEST_MAIN(TestMessageBox)
#include "test_message_box.moc"
