#include "qt_settings_service.h"
#include "results_fixture.h"
#include "window_limits.h"

#include <QApplication>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const char *const kReopenArgument = "--reopen-with-store";
const QString kHeight = FakeSettingsService::path("Quorbix", "Options", "ScreenHeight");
const QString kWidth = FakeSettingsService::path("Quorbix", "Options", "ScreenWidth");
using Stored = QMap<QString, QString>;

QString refusedStatement() { return QStringLiteral("SELECT Name FROM NoSuchTable"); }

// The child half of the new-run case: prints the outer size a window comes up at.
int reopenInChild(const QString &iniFile)
{
    twips::setPerPixelOverride(15);
    QtSettingsService store(iniFile);
    const auto sized = openFixtureCatalog("basic.mdb")
                           ? loadResults(listing::allTitlesSql(), {}, &store) : nullptr;
    if (!sized)
        return 2;
    QTextStream(stdout) << sized->outer().width() << 'x' << sized->outer().height();
    return 0;
}

}  // namespace

class TestResultsSize : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(openFixtureCatalog("basic.mdb")); }
    void init()
    {
        resetWindowLimitsTable();
        twips::setPerPixelOverride(15);
    }
    void cleanupTestCase() { resetWindowLimitsTable(); }

    // Stored height and width in twips; the minimum is the default size at that pixel size.
    void shouldComeUpAtTheRememberedSizeAndNoSmallerThanTheDefault_data()
    {
        QTest::addColumn<double>("perPixel");
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<QSize>("outer");
        const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
        QTest::newRow("nothing stored") << 15.0 << QStringList{} << QSize(699, 453);
        QTest::newRow("nothing stored, 12 twips a pixel") << 12.0 << QStringList{} << QSize(873, 567);
        QTest::newRow("both stored") << 15.0 << QStringList{"7200", "12000"} << QSize(800, 480);
        QTest::newRow("fractions, blanks") << 15.0 << QStringList{" 7207.5", "10492.4 "} << QSize(699, 481);
        QTest::newRow("height not a number") << 15.0 << QStringList{"tall", "12000"} << QSize(800, 453);
        QTest::newRow("width not a number") << 15.0 << QStringList{"7200", "12000px"} << QSize(699, 480);
        QTest::newRow("decimal comma, empty") << 15.0 << QStringList{"7200,5", ""} << QSize(699, 453);
        QTest::newRow("negative, not finite") << 15.0 << QStringList{"-7200", "nan"} << QSize(699, 453);
        QTest::newRow("smaller than the default") << 15.0 << QStringList{"3000", "3000"} << QSize(699, 453);
        QTest::newRow("larger than the screen") << 15.0 << QStringList{"99999", "1e30"} << screen;
    }
    void shouldComeUpAtTheRememberedSizeAndNoSmallerThanTheDefault()
    {
        QFETCH(double, perPixel);
        QFETCH(QStringList, stored);
        QFETCH(QSize, outer);
        twips::setPerPixelOverride(perPixel);
        const auto r = loadResults(listing::allTitlesSql(), stored.isEmpty() ? Stored{}
                                     : Stored{{kHeight, stored[0]}, {kWidth, stored[1]}});
        QVERIFY(r);
        QCOMPARE(r->outer(), outer);
        QCOMPARE(WindowLimitsUBound(), 1);
        QCOMPARE(WindowLimitsTable()->at(1).FormRef.get(), static_cast<QWidget *>(r->form));
        // The layout was spread over the size: the grid keeps its share of the inner width.
        const QRectF grid = r->layout().at(7);
        QVERIFY(qAbs(grid.right() / (r->form->width() * perPixel) - 10335.0 / 10480.0) < 1e-5);
        r->resizeOuter(QSize(200, 100));
        QCOMPARE(r->outer(), perPixel == 15.0 ? QSize(699, 453) : QSize(873, 567));
    }

    void shouldRememberTheSizeOnlyOfAShownListing_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("how");
        QTest::addColumn<Stored>("after");
        QTest::addColumn<QSize>("reopened");
        const Stored kept{{kHeight, "7200"}, {kWidth, "12000"}};
        const Stored closedAt{{kHeight, "7800"}, {kWidth, "11400"}};
        QTest::newRow("Close") << listing::allTitlesSql() << "button" << closedAt << QSize(760, 520);
        QTest::newRow("close box") << listing::allTitlesSql() << "box" << closedAt << QSize(760, 520);
        QTest::newRow("empty listing") << listing::searchSql("no title has this") << "box" << kept
                                       << QSize(800, 480);
        QTest::newRow("listing fails to open") << refusedStatement() << "box" << kept << QSize(800, 480);
    }
    void shouldRememberTheSizeOnlyOfAShownListing()
    {
        QFETCH(QString, sql);
        QFETCH(QString, how);
        QFETCH(Stored, after);
        QFETCH(QSize, reopened);
        const auto first = loadResults(sql, {{kHeight, "7200"}, {kWidth, "12000"}});
        QVERIFY(first);
        if (first->form->isVisible()) {
            first->resizeOuter(QSize(760, 520));
            if (how == "button")
                first->get<QPushButton>("cmdCancel")->click();
            else
                first->form->close();
        }
        QVERIFY(first->owned->isUnloaded());
        QCOMPARE(first->fakes.settings.values, after);
        const auto again = loadResults(listing::allTitlesSql(), first->fakes.settings.values);
        QVERIFY(again);
        QCOMPARE(again->outer(), reopened);
    }

    void shouldComeBackAtTheSameSizeInANewRun()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString iniFile = dir.filePath("settings.ini");
        QtSettingsService store(iniFile);
        auto first = loadResults(listing::allTitlesSql(), {}, &store);
        QVERIFY(first);
        first->resizeOuter(QSize(745, 505));
        first->form->close();
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {kReopenArgument, iniFile});
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(child.readAllStandardOutput()), QString("745x505"));
    }

    // Each step grows the window from where the last left it: the scaling is incremental.
    void shouldScaleTheControlsInProportion_data()
    {
        QTest::addColumn<QList<QSize>>("steps");
        QTest::newRow("wider") << QList<QSize>{{90, 0}, {45, 0}};
        QTest::newRow("taller") << QList<QSize>{{0, 70}, {0, 31}};
        QTest::newRow("both, then back") << QList<QSize>{{100, 100}, {-100, -100}};
        QTest::newRow("a little both ways") << QList<QSize>{{37, 23}, {11, 3}};
    }
    void shouldScaleTheControlsInProportion()
    {
        QFETCH(QList<QSize>, steps);
        const auto r = loadResults(listing::allTitlesSql());
        QVERIFY(r);
        for (const QSize &grow : steps) {
            const QList<QRectF> before = r->layout();
            const float w1 = r->form->width() * 15.0f;
            const float h1 = r->form->height() * 15.0f;
            r->resizeOuter(r->outer() + grow);
            const float rx = r->form->width() * 15.0f / w1;
            const float ry = r->form->height() * 15.0f / h1;
            const QList<QRectF> after = r->layout();
            for (int i = 0; i < after.size(); ++i) {
                const QString name = kControls[i];
                const QRectF was = before[i];
                const bool widens = name == "dtgOrg" || name == "txtSearch" || name == "cboField";
                QCOMPARE(after[i].left(), double(float(was.left()) * rx));
                QCOMPARE(after[i].top(), double(float(was.top()) * ry));
                QCOMPARE(after[i].width(), widens ? double(float(was.width()) * rx) : was.width());
                QCOMPARE(after[i].height(),
                         name == "dtgOrg" ? double(float(was.height()) * ry) : was.height());
            }
        }
    }

    void shouldKeepTheLayoutThroughTheFirstResizeAndAZeroSize()
    {
        // A failed listing skips the size steps and registers no limits.
        const auto r = loadResults(refusedStatement());
        QVERIFY(r);
        QVERIFY(!r->owned->blnSkipResize);  // showing was the first resize
        QCOMPARE(r->layout().first(), QRectF(6360, 6360, 1095, 375));
        r->form->resize(r->form->size() + QSize(70, 0));
        // Against the size the window object was created with, not the layout's.
        QCOMPARE(r->layout().first().left(), double(6360.0f * (r->form->width() * 15.0f / 10480.0f)));
        const QList<QRectF> before = r->layout();
        const QSize normal = r->form->size();
        r->form->resize(0, 0);
        QCOMPARE(r->layout(), before);
        r->form->resize(normal);
        QCOMPARE(r->layout(), before);
    }

    void shouldRegisterEachShowingOnceAndCloseItsListingWithIt()
    {
        FakeServices fakes;
        strListingSql = listing::allTitlesSql();
        for (int showing = 0; showing < 2; ++showing)
            showSoftwareWindow(fakes.services, nullptr);
        QCOMPARE(WindowLimitsUBound(), 2);
        const auto &table = *WindowLimitsTable();
        QVERIFY(table.at(1).FormRef != table.at(2).FormRef);
        QVERIFY(table.at(1).hWnd != table.at(2).hWnd);
        const std::shared_ptr<ado::Recordset> listingKept = rsSoftware;
        QVERIFY(listingKept->isOpen());
        resetWindowLimitsTable();
        QVERIFY(!rsSoftware);
        QVERIFY(!listingKept->isOpen());
    }
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QStandardPaths::setTestModeEnabled(true);
    if (argc == 3 && qstrcmp(argv[1], kReopenArgument) == 0)
        return reopenInChild(QString::fromLocal8Bit(argv[2]));
    TestResultsSize test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_results_size.moc"
