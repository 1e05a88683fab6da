#include "twips.h"
#include "window_limits.h"

#include <QLocale>
#include <QStandardPaths>
#include <QWidget>
#include <QtTest>

#include <limits>

namespace {

// A window with controls and a plain object among its children, as real windows have.
std::shared_ptr<QWidget> newWindow()
{
    auto window = std::make_shared<QWidget>();
    new QObject(window.get());
    new QWidget(window.get());
    window->resize(100, 100);
    return window;
}

// Limits are outer sizes; the platform (offscreen too) draws a frame around the inner size.
QSize frameOf(const QWidget &window) { return window.frameGeometry().size() - window.size(); }
QSize outerSize(const QWidget &window) { return window.frameGeometry().size(); }
QSize outerMinimum(const QWidget &window) { return window.minimumSize() + frameOf(window); }
QSize outerMaximum(const QWidget &window) { return window.maximumSize() + frameOf(window); }

MINMAXINFO sentinelInfo()
{
    MINMAXINFO info;
    info.ptReserved = {1, 2};
    info.ptMaxSize = {3, 4};
    info.ptMaxPosition = {5, 6};
    info.ptMinTrackSize = {7, 8};
    info.ptMaxTrackSize = {9, 10};
    return info;
}

}  // namespace

class TestWindowLimits : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QStandardPaths::setTestModeEnabled(true);
    }
    void init()
    {
        resetWindowLimitsTable();
        twips::setPerPixelOverride(15);
    }
    void cleanupTestCase()
    {
        resetWindowLimitsTable();
        twips::setPerPixelOverride(0);
    }

    void shouldConvertTwipsToPixelsRoundingHalvesToEven_data()
    {
        QTest::addColumn<int>("twips");
        QTest::addColumn<float>("perPixel");
        QTest::addColumn<int>("pixels");
        QTest::newRow("default width at 15") << 10480 << 15.0f << 699;
        QTest::newRow("default height at 15") << 6800 << 15.0f << 453;
        QTest::newRow("default width at 12") << 10480 << 12.0f << 873;
        QTest::newRow("default height at 12") << 6800 << 12.0f << 567;
        QTest::newRow("1.5 goes up to 2") << 18 << 12.0f << 2;
        QTest::newRow("2.5 goes down to 2") << 30 << 12.0f << 2;
        QTest::newRow("0.5 goes down to 0") << 6 << 12.0f << 0;
        QTest::newRow("-1.5 goes to -2") << -18 << 12.0f << -2;
        QTest::newRow("just under a half goes down") << 7 << 15.0f << 0;
        QTest::newRow("just over a half goes up") << 8 << 15.0f << 1;
        QTest::newRow("fractional scale") << 1000 << 13.5f << 74;
    }
    void shouldConvertTwipsToPixelsRoundingHalvesToEven()
    {
        QFETCH(int, twips);
        QFETCH(float, perPixel);
        QFETCH(int, pixels);
        const auto converted = TwipsToPixels(twips, perPixel);
        QVERIFY(converted.has_value());
        QCOMPARE(*converted, pixels);
    }

    void shouldRefuseConversionsThatCannotBeMade_data()
    {
        QTest::addColumn<int>("twips");
        QTest::addColumn<float>("perPixel");
        QTest::newRow("zero scale") << 6800 << 0.0f;
        QTest::newRow("negative scale") << 6800 << -15.0f;
        QTest::newRow("not a number") << 6800 << std::numeric_limits<float>::quiet_NaN();
        QTest::newRow("above 32 bits") << std::numeric_limits<qint32>::max() << 0.5f;
        QTest::newRow("below 32 bits") << std::numeric_limits<qint32>::min() << 0.5f;
    }
    void shouldRefuseConversionsThatCannotBeMade()
    {
        QFETCH(int, twips);
        QFETCH(float, perPixel);
        QVERIFY(!TwipsToPixels(twips, perPixel).has_value());
    }

    void shouldGrowTheTableOneSlotPerRegistrationBehindAnEmptySlotZero()
    {
        QCOMPARE(WindowLimitsUBound(), -1);
        QVERIFY(!WindowLimitsTable().has_value());

        const auto first = newWindow();
        QVERIFY(SetWindowLimits(first, 10480, 6800, 19200, 14400));
        QCOMPARE(WindowLimitsUBound(), 1);
        const WindowLimits &empty = WindowLimitsTable()->at(0);
        QVERIFY(!empty.FormRef);
        QCOMPARE(empty.hWnd, WindowHandle(0));
        QCOMPARE(empty.MinWidth + empty.MinHeight + empty.MaxWidth + empty.MaxHeight, 0);
        QVERIFY(!empty.PrevWndProc);

        const WindowLimits &record = WindowLimitsTable()->at(1);
        QCOMPARE(record.FormRef, first);
        QCOMPARE(record.hWnd, first->winId());
        QCOMPARE(record.MinWidth, 699);
        QCOMPARE(record.MinHeight, 453);
        QCOMPARE(record.MaxWidth, 1280);
        QCOMPARE(record.MaxHeight, 960);

        const auto second = newWindow();
        QVERIFY(SetWindowLimits(second, 1500, 1500, 3000, 3000));
        QCOMPARE(WindowLimitsUBound(), 2);
        QCOMPARE(WindowLimitsTable()->at(1).FormRef, first);
        QCOMPARE(WindowLimitsTable()->at(2).FormRef, second);
    }

    void shouldReadTheScaleOfTheScreenAtRegistration()
    {
        twips::setPerPixelOverride(12);
        QVERIFY(SetWindowLimits(newWindow(), 10480, 6800, 18, 30));
        const WindowLimits &record = WindowLimitsTable()->at(1);
        QCOMPARE(record.MinWidth, 873);
        QCOMPARE(record.MinHeight, 567);
        QCOMPARE(record.MaxWidth, 2);
        QCOMPARE(record.MaxHeight, 2);
    }

    void shouldLeaveTheTableUntouchedWhenAConversionFails()
    {
        const auto window = newWindow();
        twips::setPerPixelOverride(0.5);
        QVERIFY(!SetWindowLimits(window, 10480, 6800, std::numeric_limits<qint32>::max(), 6800));
        QVERIFY(!WindowLimitsTable().has_value());
        QCOMPARE(window->minimumSize(), QSize(0, 0));

        twips::setPerPixelOverride(15);
        QVERIFY(SetWindowLimits(window, 1500, 1500, 3000, 3000));
        twips::setPerPixelOverride(0.5);
        QVERIFY(!SetWindowLimits(window, std::numeric_limits<qint32>::min(), 6800, 6800, 6800));
        QCOMPARE(WindowLimitsUBound(), 1);
        QVERIFY(!SetWindowLimits(nullptr, 1500, 1500, 3000, 3000));
        QCOMPARE(WindowLimitsUBound(), 1);
    }

    void shouldKeepEveryRegisteredWindowObjectAlive()
    {
        auto window = newWindow();
        const std::weak_ptr<QWidget> watched = window;
        QVERIFY(SetWindowLimits(window, 1500, 1500, 3000, 3000));
        window.reset();
        QVERIFY(!watched.expired());
        resetWindowLimitsTable();
        QVERIFY(watched.expired());
    }

    void shouldAnswerTheSizeQueryFromTheTable()
    {
        const auto window = newWindow();
        MINMAXINFO info = sentinelInfo();
        QVERIFY(!LimitsWindowProc(window->winId(), info));
        QCOMPARE(info.ptMinTrackSize.x, 7);

        QVERIFY(SetWindowLimits(window, 10480, 6800, 19200, 14400));
        info = sentinelInfo();
        QVERIFY(!LimitsWindowProc(window->winId() + 1, info));
        QCOMPARE(info.ptMaxTrackSize.y, 10);

        QVERIFY(LimitsWindowProc(window->winId(), info));
        QCOMPARE(info.ptMinTrackSize.x, 699);
        QCOMPARE(info.ptMinTrackSize.y, 453);
        QCOMPARE(info.ptMaxTrackSize.x, 1280);
        QCOMPARE(info.ptMaxTrackSize.y, 960);
        // The platform's own points stay as they came.
        QCOMPARE(info.ptReserved.x, 1);
        QCOMPARE(info.ptReserved.y, 2);
        QCOMPARE(info.ptMaxSize.x, 3);
        QCOMPARE(info.ptMaxSize.y, 4);
        QCOMPARE(info.ptMaxPosition.x, 5);
        QCOMPARE(info.ptMaxPosition.y, 6);
    }

    void shouldTakeTheLaterOfTwoRecordsWithOneHandleAndHookOnce()
    {
        const auto window = newWindow();
        QVERIFY(SetWindowLimits(window, 1500, 1500, 6000, 6000));
        QVERIFY(SetWindowLimits(window, 3000, 2250, 4500, 4500));
        QCOMPARE(WindowLimitsUBound(), 2);
        const auto &table = *WindowLimitsTable();
        QCOMPARE(table.at(1).hWnd, table.at(2).hWnd);
        QVERIFY(table.at(2).PrevWndProc);
        // The second registration must not hook the window to itself.
        QCOMPARE(table.at(2).PrevWndProc, table.at(1).PrevWndProc);

        MINMAXINFO info;
        QVERIFY(LimitsWindowProc(window->winId(), info));
        QCOMPARE(info.ptMinTrackSize.x, 200);
        QCOMPARE(info.ptMinTrackSize.y, 150);
        QCOMPARE(info.ptMaxTrackSize.x, 300);
        QCOMPARE(outerMinimum(*window), QSize(200, 150));
        QCOMPARE(outerMaximum(*window), QSize(300, 300));
    }

    void shouldHoldTheWindowBetweenItsLimits_data()
    {
        QTest::addColumn<QSize>("requested");
        QTest::addColumn<QSize>("expected");
        QTest::newRow("smaller than the minimum") << QSize(100, 50) << QSize(699, 453);
        QTest::newRow("narrower only") << QSize(300, 600) << QSize(699, 600);
        QTest::newRow("between") << QSize(900, 700) << QSize(900, 700);
        QTest::newRow("larger than the maximum") << QSize(5000, 5000) << QSize(1280, 960);
    }
    void shouldHoldTheWindowBetweenItsLimits()
    {
        QFETCH(QSize, requested);
        QFETCH(QSize, expected);
        const auto window = newWindow();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QVERIFY(SetWindowLimits(window, 10480, 6800, 19200, 14400));
        QCOMPARE(outerSize(*window), QSize(699, 453));
        window->resize(requested - frameOf(*window));
        QCOMPARE(outerSize(*window), expected);
    }

    void shouldApplyTheLimitsWhenTheWindowIsShownAfterRegistering()
    {
        const auto window = newWindow();
        QVERIFY(SetWindowLimits(window, 3000, 3000, 6000, 6000));
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QCOMPARE(outerMinimum(*window), QSize(200, 200));
        QCOMPARE(outerMaximum(*window), QSize(400, 400));
        window->resize(10, 10);
        QCOMPARE(outerSize(*window), QSize(200, 200));
    }

    void shouldFindRecordsBeyondSixteenBitSlots()
    {
        const auto window = newWindow();
        const int records = std::numeric_limits<qint16>::max();
        for (int i = 0; i < records; ++i)
            QVERIFY(SetWindowLimits(window, 1500, 1500, 6000, 6000));
        QVERIFY(SetWindowLimits(window, 3000, 3000, 4500, 4500));
        QCOMPARE(WindowLimitsUBound(), records + 1);
        MINMAXINFO info;
        QVERIFY(LimitsWindowProc(window->winId(), info));
        QCOMPARE(info.ptMinTrackSize.x, 200);
        QCOMPARE(info.ptMaxTrackSize.x, 300);
    }
};

QTEST_MAIN(TestWindowLimits)
#include "test_window_limits.moc"
