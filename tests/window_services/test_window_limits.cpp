#include "window_services/twips.h"
#include "window_services/window_limits.h"

#include "tests/support/test_data.h"

#include <QtTest>
#include <QtWidgets>

#include <limits>

namespace {

// Limits are outer sizes; the platform (offscreen too) draws a frame around the inner size.
QSize frameOf(const QWidget &window) { return window.frameGeometry().size() - window.size(); }

QVector<int> limitsOf(const WindowLimits &record)
{
    return {record.MinWidth, record.MinHeight, record.MaxWidth, record.MaxHeight};
}

}  // namespace

class TestWindowLimits : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        resetWindowLimitsTable();
        twips::setPerPixelOverride(15);
    }

    void shouldConvertTwipsToPixelsRoundingHalvesToEven_data()
    {
        QTest::addColumn<int>("twips");
        QTest::addColumn<float>("perPixel");
        QTest::addColumn<QVariant>("pixels");  // null: refused
        QTest::newRow("1.5 goes up to 2") << 18 << 12.0f << QVariant(2);
        QTest::newRow("2.5 goes down to 2") << 30 << 12.0f << QVariant(2);
        QTest::newRow("-1.5 goes to -2") << -18 << 12.0f << QVariant(-2);
        QTest::newRow("just over a half goes up") << 8 << 15.0f << QVariant(1);
        QTest::newRow("zero scale") << 6800 << 0.0f << QVariant();
        QTest::newRow("beyond 32 bits") << std::numeric_limits<qint32>::max() << 0.5f << QVariant();
    }
    void shouldConvertTwipsToPixelsRoundingHalvesToEven()
    {
        QFETCH(int, twips);
        QFETCH(float, perPixel);
        QFETCH(QVariant, pixels);
        const auto converted = TwipsToPixels(twips, perPixel);
        QCOMPARE(converted ? QVariant(*converted) : QVariant(), pixels);
    }

    void shouldAppendOneRecordPerRegistrationAndHoldTheWindowBetweenItsLimits()
    {
        QUORBIX_LINUX_ONLY("a headless window shown and framed");
        QCOMPARE(WindowLimitsUBound(), -1);
        const auto first = std::make_shared<QWidget>();
        const auto second = std::make_shared<QWidget>();
        QVERIFY(SetWindowLimits(first, 10480, 6800, 19200, 14400));
        QCOMPARE(WindowLimitsUBound(), 1);
        twips::setPerPixelOverride(12);  // the screen's scale is read at each registration
        QVERIFY(SetWindowLimits(second, 10480, 6800, 18, 30));
        QCOMPARE(WindowLimitsUBound(), 2);
        const auto &table = *WindowLimitsTable();
        QVERIFY(!table[0].FormRef && !table[0].hWnd && limitsOf(table[0]) == QVector<int>(4, 0));
        QVERIFY(table[1].FormRef == first && table[1].hWnd == first->winId() && table[2].FormRef == second);
        QCOMPARE(limitsOf(table[1]), (QVector<int>{699, 453, 1280, 960}));
        QCOMPARE(limitsOf(table[2]), (QVector<int>{873, 567, 2, 2}));

        // Shown after registering, the window takes its frame into account; limits are outer sizes.
        first->show();
        QVERIFY(QTest::qWaitForWindowExposed(first.get()));
        QVector<QSize> sizes;
        for (const QSize requested : {QSize(100, 50), QSize(300, 600), QSize(5000, 5000)}) {
            first->resize(requested - frameOf(*first));
            sizes << first->frameGeometry().size();
        }
        QCOMPARE(sizes, (QVector<QSize>{{699, 453}, {699, 600}, {1280, 960}}));
    }

    void shouldAnswerFromTheLastRecordOfAHandlePastSixteenBitSlots()
    {
        QUORBIX_LINUX_ONLY("a headless window shown and framed");
        const auto window = std::make_shared<QWidget>();
        const int records = std::numeric_limits<qint16>::max();
        for (int i = 0; i < records; ++i)
            QVERIFY(SetWindowLimits(window, 1500, 1500, 6000, 6000));
        QVERIFY(SetWindowLimits(window, 3000, 2250, 4500, 4500));
        QCOMPARE(WindowLimitsUBound(), records + 1);
        // Hooked once: a second hook would chain the window to itself.
        const auto &table = *WindowLimitsTable();
        QVERIFY(table[1].PrevWndProc && table[1].PrevWndProc == table.back().PrevWndProc);

        MINMAXINFO info;
        info.ptMaxSize = {3, 4};  // the platform's own points stay as they came
        QVERIFY(LimitsWindowProc(window->winId(), info));
        QCOMPARE((QVector<int>{info.ptMinTrackSize.x, info.ptMinTrackSize.y, info.ptMaxTrackSize.x,
                               info.ptMaxTrackSize.y, info.ptMaxSize.x, info.ptMaxSize.y}),
                 (QVector<int>{200, 150, 300, 300, 3, 4}));
    }
};

QTEST_MAIN(TestWindowLimits)
#include "test_window_limits.moc"
