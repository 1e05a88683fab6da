#include "form_resize.h"
#include "twips.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTableView>
#include <QTextEdit>
#include <QtTest>

namespace {

struct Placed {
    const char *name;
    double left, top, width, height;
};

// The results window's controls, in their stored order, on a plain window.
const Placed kLayout[] = {
    {"cmdCancel", 6360, 6360, 1095, 375}, {"cmdSelect", 5040, 6360, 1095, 375},
    {"optBegins", 2520, 6360, 1215, 375}, {"optContains", 3840, 6360, 1095, 375},
    {"txtSearch", 120, 120, 7455, 285},   {"cmdClear", 7680, 120, 735, 255},
    {"cboField", 8640, 120, 1695, 315},   {"dtgOrg", 120, 840, 10215, 5415},
    {"lblOrg", 120, 6360, 2295, 255},     {"lblSort", 120, 480, 10215, 255},
};

QWidget *makeControl(const QString &name, QWidget *parent)
{
    if (name.startsWith(QLatin1String("cmd")))
        return new QPushButton(name, parent);
    if (name.startsWith(QLatin1String("opt")))
        return new QRadioButton(name, parent);
    if (name.startsWith(QLatin1String("txt")))
        return new QLineEdit(parent);
    if (name.startsWith(QLatin1String("cbo")))
        return new QComboBox(parent);
    if (name.startsWith(QLatin1String("dtg")))
        return new QTableView(parent);
    return new QLabel(parent);
}

struct TestWindow {
    QWidget window;
    QList<QWidget *> controls;

    TestWindow()
    {
        for (const Placed &p : kLayout) {
            QWidget *control = makeControl(QLatin1String(p.name), &window);
            control->setObjectName(QLatin1String(p.name));
            twips::setGeometry(control, p.left, p.top, p.width, p.height);
            controls.append(control);
        }
    }
    QList<QRectF> geometries() const
    {
        QList<QRectF> all;
        for (const QWidget *control : controls)
            all.append(twips::geometry(control));
        return all;
    }
};

bool stretchesWidth(const QString &name)
{
    return name == QLatin1String("dtgOrg") || name == QLatin1String("txtSearch")
        || name == QLatin1String("cboField");
}

}  // namespace

class TestFormResize : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QStandardPaths::setTestModeEnabled(true);
        twips::setPerPixelOverride(15);
    }
    void cleanupTestCase() { twips::setPerPixelOverride(0); }

    void shouldTellTheKindsApartByType_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("kind");
        QTest::newRow("grid") << "dtgOrg" << int(ResizeKind::MoveAndStretch);
        QTest::newRow("text box") << "txtSearch" << int(ResizeKind::MoveAndWiden);
        QTest::newRow("combo box") << "cboField" << int(ResizeKind::MoveAndWiden);
        QTest::newRow("button") << "cmdCancel" << int(ResizeKind::MoveOnly);
        QTest::newRow("option") << "optBegins" << int(ResizeKind::MoveOnly);
        QTest::newRow("label") << "lblOrg" << int(ResizeKind::MoveOnly);
    }
    void shouldTellTheKindsApartByType()
    {
        QFETCH(QString, name);
        QFETCH(int, kind);
        QWidget parent;
        QCOMPARE(int(resizeKindOf(makeControl(name, &parent))), kind);
    }

    void shouldOnlyMoveAMultiLineTextControl()
    {
        // Only a single-line text box stretches; a scrolling text area is another control.
        QTextEdit area;
        QCOMPARE(int(resizeKindOf(&area)), int(ResizeKind::MoveOnly));
    }

    void shouldScaleLeftsAndTheStretchingSizesByTheRatioOfInnerSizes_data()
    {
        QTest::addColumn<float>("fromWidth");
        QTest::addColumn<float>("fromHeight");
        QTest::addColumn<float>("toWidth");
        QTest::addColumn<float>("toHeight");
        QTest::newRow("first resize after creation") << 10480.f << 6800.f << 10365.f << 6885.f;
        QTest::newRow("wider only") << 10365.f << 6885.f << 14400.f << 6885.f;
        QTest::newRow("taller only") << 10365.f << 6885.f << 10365.f << 9000.f;
        QTest::newRow("both larger") << 10365.f << 6885.f << 19185.f << 13935.f;
        QTest::newRow("smaller") << 14400.f << 9000.f << 10480.f << 6800.f;
        QTest::newRow("ratio not exact in binary") << 10480.f << 6800.f << 12345.f << 7777.f;
    }
    void shouldScaleLeftsAndTheStretchingSizesByTheRatioOfInnerSizes()
    {
        QFETCH(float, fromWidth);
        QFETCH(float, fromHeight);
        QFETCH(float, toWidth);
        QFETCH(float, toHeight);
        TestWindow w;
        const QList<QRectF> before = w.geometries();
        float prevWidth = fromWidth;
        float prevHeight = fromHeight;

        QVERIFY(resizeControls(w.controls, toWidth, toHeight, prevWidth, prevHeight));

        QCOMPARE(prevWidth, toWidth);
        QCOMPARE(prevHeight, toHeight);
        const float rx = toWidth / fromWidth;
        const float ry = toHeight / fromHeight;
        for (qsizetype i = 0; i < w.controls.size(); ++i) {
            const QString name = w.controls[i]->objectName();
            const QRectF was = before[i];
            const QRectF now = twips::geometry(w.controls[i]);
            // Single-precision products, exactly.
            QCOMPARE(now.left(), double(float(was.left()) * rx));
            QCOMPARE(now.top(), double(float(was.top()) * ry));
            QCOMPARE(now.width(),
                     stretchesWidth(name) ? double(float(was.width()) * rx) : was.width());
            QCOMPARE(now.height(),
                     name == QLatin1String("dtgOrg") ? double(float(was.height()) * ry)
                                                     : was.height());
        }
    }

    void shouldScaleFromThePreviousSizeNotTheLayout()
    {
        TestWindow w;
        float prevWidth = 10480;
        float prevHeight = 6800;
        QVERIFY(resizeControls(w.controls, 20960, 13600, prevWidth, prevHeight));
        QVERIFY(resizeControls(w.controls, 10480, 6800, prevWidth, prevHeight));
        QVERIFY(resizeControls(w.controls, 5240, 3400, prevWidth, prevHeight));
        // Ratios of powers of two are exact: the layout ends at half its size.
        const QRectF grid = twips::geometry(w.window.findChild<QWidget *>("dtgOrg"));
        QCOMPARE(grid, QRectF(60, 420, 5107.5, 2707.5));
        const QRectF close = twips::geometry(w.window.findChild<QWidget *>("cmdCancel"));
        QCOMPARE(close, QRectF(3180, 3180, 1095, 375));
    }

    void shouldLeaveTheLayoutAloneAtAnInnerSizeOfZero_data()
    {
        QTest::addColumn<float>("width");
        QTest::addColumn<float>("height");
        QTest::newRow("minimized") << 0.f << 0.f;
        QTest::newRow("no width") << 0.f << 6885.f;
        QTest::newRow("no height") << 10365.f << 0.f;
        QTest::newRow("negative") << -15.f << 6885.f;
    }
    void shouldLeaveTheLayoutAloneAtAnInnerSizeOfZero()
    {
        QFETCH(float, width);
        QFETCH(float, height);
        TestWindow w;
        const QList<QRectF> before = w.geometries();
        float prevWidth = 10365;
        float prevHeight = 6885;

        QVERIFY(!resizeControls(w.controls, width, height, prevWidth, prevHeight));
        QCOMPARE(w.geometries(), before);
        QCOMPARE(prevWidth, 10365.f);
        QCOMPARE(prevHeight, 6885.f);

        // Restored to the size it had: nothing moved for good.
        QVERIFY(resizeControls(w.controls, 10365, 6885, prevWidth, prevHeight));
        QCOMPARE(w.geometries(), before);
    }

    void shouldPlaceTheWidgetsAtTheScaledTwipsInPixels()
    {
        TestWindow w;
        float prevWidth = 10480;
        float prevHeight = 6800;
        QVERIFY(resizeControls(w.controls, 20960, 13600, prevWidth, prevHeight));
        const QWidget *grid = w.window.findChild<QWidget *>("dtgOrg");
        QCOMPARE(grid->geometry(), QRect(16, 112, 1362, 722));
        const QWidget *search = w.window.findChild<QWidget *>("txtSearch");
        QCOMPARE(search->geometry(), QRect(16, 16, 994, 19));
    }
};

QTEST_MAIN(TestFormResize)
#include "test_form_resize.moc"
