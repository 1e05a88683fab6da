#include "twips.h"
#include "window_size.h"

#include <QLocale>
#include <QResizeEvent>
#include <QStandardPaths>
#include <QtTest>

#include <cmath>
#include <limits>

namespace {

// Counts the resize events a window receives and the size each reports.
class ResizeRecorder final : public QObject {
public:
    QList<QSize> sizes;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Resize)
            sizes.append(static_cast<QResizeEvent *>(event)->size());
        return false;
    }
};

}  // namespace

class TestWindowSize : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QStandardPaths::setTestModeEnabled(true);
        twips::setPerPixelOverride(15);
    }
    void cleanupTestCase() { twips::setPerPixelOverride(0); }

    void shouldReadAStoredSize_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("usable");
        QTest::addColumn<float>("twips");
        QTest::newRow("whole") << "6800" << true << 6800.0f;
        QTest::newRow("fraction with a point") << "7123.5" << true << 7123.5f;
        QTest::newRow("blanks around") << "  10480 " << true << 10480.0f;
        QTest::newRow("exponent") << "1.2e4" << true << 12000.0f;
        QTest::newRow("zero") << "0" << true << 0.0f;
        QTest::newRow("empty") << "" << false << 0.0f;
        QTest::newRow("word") << "tall" << false << 0.0f;
        QTest::newRow("number with unit") << "6800px" << false << 0.0f;
        QTest::newRow("decimal comma") << "7123,5" << false << 0.0f;
        QTest::newRow("negative") << "-6800" << false << 0.0f;
        QTest::newRow("infinite") << "inf" << false << 0.0f;
        QTest::newRow("not a number") << "nan" << false << 0.0f;
        QTest::newRow("beyond single precision") << "1e39" << false << 0.0f;
    }
    void shouldReadAStoredSize()
    {
        QFETCH(QString, text);
        QFETCH(bool, usable);
        QFETCH(float, twips);
        const auto size = window_size::sizeFromText(text);
        QCOMPARE(size.has_value(), usable);
        if (usable)
            QCOMPARE(*size, twips);
    }

    void shouldWriteASizeThatReadsBackTheSame_data()
    {
        QTest::addColumn<float>("twips");
        QTest::addColumn<QString>("text");
        QTest::newRow("whole") << 6795.0f << "6795";
        QTest::newRow("large whole") << 123456.0f << "123456";
        QTest::newRow("half") << 7123.5f << "7123.5";
        QTest::newRow("not exact in binary") << 0.1f << "0.100000001";
        QTest::newRow("fraction of a large size") << 10479.9f << "10479.9004";
    }
    void shouldWriteASizeThatReadsBackTheSame()
    {
        QFETCH(float, twips);
        QFETCH(QString, text);
        QCOMPARE(window_size::textFromSize(twips), text);
        QCOMPARE(window_size::sizeFromText(text).value(), twips);
    }

    void shouldResizeAHiddenWindowAtOnce()
    {
        QWidget window;
        window.resize(100, 100);
        ResizeRecorder recorder;
        window.installEventFilter(&recorder);

        window_size::setOuterHeight(window, 6800);
        window_size::setOuterWidth(window, 10480);
        window_size::setOuterWidth(window, 10485);  // the same pixel width: no change
        QCOMPARE(recorder.sizes, QList<QSize>({QSize(100, 453), QSize(699, 453)}));
        QCOMPARE(window_size::outerWidth(window), 10485.0);
        QCOMPARE(window_size::outerHeight(window), 6795.0);
    }

    void shouldBoundSizesToWhatAWindowCanTake_data()
    {
        QTest::addColumn<double>("twips");
        QTest::addColumn<int>("pixels");
        QTest::newRow("zero") << 0.0 << 0;
        QTest::newRow("negative") << -300.0 << 0;
        QTest::newRow("beyond 32 bits") << 1e30 << QWIDGETSIZE_MAX;
    }
    void shouldBoundSizesToWhatAWindowCanTake()
    {
        QFETCH(double, twips);
        QFETCH(int, pixels);
        QWidget window;
        window_size::setOuterWidth(window, twips);
        QCOMPARE(window.width(), pixels);
    }

    void shouldKeepTheOuterSizeWhenTheFrameArrives()
    {
        QWidget window;
        window_size::setOuterHeight(window, 6000);
        window_size::setOuterWidth(window, 9000);
        window_size::keepOuterSizeWhenFramed(window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(window.frameGeometry().size() != window.size());
        QCOMPARE(window.frameGeometry().size(), QSize(600, 400));
    }

    void shouldLeaveASizeMadeBeforeTheFrameArrives()
    {
        QWidget window;
        window_size::setOuterHeight(window, 6000);
        window_size::setOuterWidth(window, 9000);
        window_size::keepOuterSizeWhenFramed(window);
        window.resize(650, 450);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.size(), QSize(650, 450));
    }
};

QTEST_MAIN(TestWindowSize)
#include "test_window_size.moc"
