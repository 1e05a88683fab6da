#include "fake_services.h"
#include "fixture_catalog.h"
#include "frm_software.h"
#include "listing_query.h"
#include "qt_settings_service.h"
#include "shared_state.h"
#include "twips.h"
#include "window_limits.h"

#include <QApplication>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

const char *const kReopenArgument = "--reopen-with-store";
const QString kHeight = FakeSettingsService::path("Quorbix", "Options", "ScreenHeight");
const QString kWidth = FakeSettingsService::path("Quorbix", "Options", "ScreenWidth");
const char *const kControls[] = {"cmdCancel", "cmdSelect", "optBegins", "optContains", "txtSearch",
                                 "cmdClear",  "cboField",  "dtgOrg",    "lblOrg",      "lblSort"};
using Stored = QMap<QString, QString>;

QString refusedStatement() { return QStringLiteral("SELECT Name FROM NoSuchTable"); }

// A results window made shared, as showSoftwareWindow makes it, so that it can register.
struct Sized {
    FakeServices fakes;
    std::unique_ptr<Services> withStore;  ///< the fakes with a real settings store
    std::shared_ptr<frmSoftware> form;

    QSize outer() const { return form->frameGeometry().size(); }
    void resizeOuter(const QSize &size) const { form->resize(size - outer() + form->size()); }
    QList<QRectF> layout() const
    {
        QList<QRectF> all;
        for (const char *name : kControls)
            all << twips::geometry(form->findChild<QWidget *>(name));
        return all;
    }
};

std::unique_ptr<Sized> loadSized(const QString &sql, const Stored &stored = {},
                                 SettingsService *store = nullptr)
{
    auto sized = std::make_unique<Sized>();
    FakeServices &f = sized->fakes;
    f.settings.values = stored;
    sized->withStore.reset(new Services{f.messages, f.pointer, f.desktop,
                                        store ? *store : f.settings, f.dialogs});
    strListingSql = sql;
    strListingTitle = QStringLiteral("Search Results for ''");
    sized->form = std::make_shared<frmSoftware>(*sized->withStore);
    sized->form->Form_Load();
    if (!sized->form->isUnloaded()) {
        sized->form->show();
        if (!QTest::qWaitForWindowExposed(sized->form.get()))
            return nullptr;
    }
    return sized;
}

// The child half of the new-run case: prints the outer size a window comes up at.
int reopenInChild(const QString &iniFile)
{
    twips::setPerPixelOverride(15);
    QtSettingsService store(iniFile);
    const auto sized = openFixtureCatalog("basic.mdb")
                           ? loadSized(listing::allTitlesSql(), {}, &store) : nullptr;
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

    void shouldComeUpAtTheDefaultSizeAndNoSmaller_data()
    {
        QTest::addColumn<double>("perPixel");
        QTest::addColumn<QSize>("outer");
        QTest::newRow("15 twips a pixel") << 15.0 << QSize(699, 453);
        QTest::newRow("12 twips a pixel") << 12.0 << QSize(873, 567);
    }
    void shouldComeUpAtTheDefaultSizeAndNoSmaller()
    {
        QFETCH(double, perPixel);
        QFETCH(QSize, outer);
        twips::setPerPixelOverride(perPixel);
        const auto r = loadSized(listing::allTitlesSql());
        QVERIFY(r);
        QCOMPARE(r->outer(), outer);
        QCOMPARE(WindowLimitsUBound(), 1);
        const WindowLimits &record = WindowLimitsTable()->at(1);
        QCOMPARE(record.FormRef.get(), static_cast<QWidget *>(r->form.get()));
        QCOMPARE(QSize(record.MaxWidth, record.MaxHeight),
                 QGuiApplication::primaryScreen()->geometry().size());
        r->resizeOuter(QSize(200, 100));
        QCOMPARE(r->outer(), outer);
        r->resizeOuter(outer + QSize(0, 1));
        QCOMPARE(r->outer(), outer + QSize(0, 1));
    }

    void shouldComeBackAtTheRememberedSize_data()
    {
        QTest::addColumn<QString>("height");
        QTest::addColumn<QString>("width");
        QTest::addColumn<QSize>("outer");
        QTest::newRow("both stored") << "7200" << "12000" << QSize(800, 480);
        QTest::newRow("fractions, blanks") << " 7207.5" << "10492.4 " << QSize(699, 481);
        QTest::newRow("height not a number") << "tall" << "12000" << QSize(800, 453);
        QTest::newRow("width not a number") << "7200" << "12000px" << QSize(699, 480);
        QTest::newRow("decimal comma, empty") << "7200,5" << "" << QSize(699, 453);
        QTest::newRow("negative, not finite") << "-7200" << "nan" << QSize(699, 453);
        QTest::newRow("smaller than the default") << "3000" << "3000" << QSize(699, 453);
        QTest::newRow("larger than the screen") << "99999" << "1e30"
                                                << QGuiApplication::primaryScreen()->geometry().size();
    }
    void shouldComeBackAtTheRememberedSize()
    {
        QFETCH(QString, height);
        QFETCH(QString, width);
        QFETCH(QSize, outer);
        const auto r = loadSized(listing::allTitlesSql(), {{kHeight, height}, {kWidth, width}});
        QVERIFY(r);
        QCOMPARE(r->outer(), outer);
        // The layout was spread over the size: the grid keeps its share of the inner width.
        const QRectF grid = r->layout().at(7);
        QVERIFY(qAbs(grid.right() / (r->form->width() * 15.0) - 10335.0 / 10480.0) < 1e-5);
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
        const auto first = loadSized(sql, {{kHeight, "7200"}, {kWidth, "12000"}});
        QVERIFY(first);
        if (first->form->isVisible()) {
            first->resizeOuter(QSize(760, 520));
            if (how == "button")
                first->form->cmdCancel->click();
            else
                first->form->close();
        }
        QVERIFY(first->form->isUnloaded());
        QCOMPARE(first->fakes.settings.values, after);
        const auto again = loadSized(listing::allTitlesSql(), first->fakes.settings.values);
        QVERIFY(again);
        QCOMPARE(again->outer(), reopened);
    }

    void shouldComeBackAtTheSameSizeInANewRun()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString iniFile = dir.filePath("settings.ini");
        QtSettingsService store(iniFile);
        auto first = loadSized(listing::allTitlesSql(), {}, &store);
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
        const auto r = loadSized(listing::allTitlesSql());
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
        const auto r = loadSized(refusedStatement());
        QVERIFY(r);
        QVERIFY(!r->form->blnSkipResize);  // showing was the first resize
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
        strListingTitle = "Search Results for ''";
        showSoftwareWindow(fakes.services, nullptr);
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
