#include "tests/support/main_window_fixture.h"

// The headless platform's screen is 800 pixels wide: narrower than the main window's design.
class TestFrmMainSmallScreen : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initWindowTests(); }

    void shouldOpenWhollyOnAScreenSmallerThanTheWindow()
    {
        QUORBIX_LINUX_ONLY("the headless platform's 800-pixel screen");
        LoadedMainWindow app(fixtureBytes(QStringLiteral("basic.mdb")));
        frmMain &w = *app.window;
        const QSize designed = w.size();
        const QRect screen = w.screen()->availableGeometry();
        QVERIFY2(designed.width() > screen.width(), "the screen is not smaller than the window");
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));

        QVERIFY2(screen.contains(w.frameGeometry()), qPrintable(QStringLiteral("%1,%2 %3x%4").arg(w.x()).arg(w.y())
                                                                     .arg(w.width()).arg(w.height())));
        QCOMPARE(w.frameGeometry().width(), screen.width());  // as wide as the screen, frame and all
        auto *area = w.findChild<QScrollArea *>(QStringLiteral("screenFitArea"));
        QVERIFY(area);
        QCOMPARE(area->geometry(), w.rect());
        // The controls keep the design, inside the area's content; only the view moves.
        QCOMPARE(area->widget()->size(), designed);
        const auto *exit = app.control<QPushButton>(QStringLiteral("cmdClose"));
        QCOMPARE(exit->parentWidget(), area->widget());
        QCOMPARE(twips::geometry(exit).toRect(), QRect(12000, 7320, 735, 375));
        const QRect viewed(-area->widget()->pos(), area->viewport()->size());
        QVERIFY(!viewed.contains(exit->geometry()));  // column 5's right edge is off the view

        // Tab reaches Exit, and the view follows it there.
        auto *search = app.control<QLineEdit>(QStringLiteral("txtSearch"));
        search->setFocus();
        for (int i = 0; i < 40 && QApplication::focusWidget() != exit; ++i)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), exit);
        QTRY_VERIFY(QRect(-area->widget()->pos(), area->viewport()->size()).contains(exit->geometry()));
    }
};

QTEST_MAIN(TestFrmMainSmallScreen)
#include "test_frm_main_small_screen.moc"
