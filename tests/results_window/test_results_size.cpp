#include "fixture_catalog.h"
#include "fake_services.h"
#include "frm_software.h"
#include "listing_query.h"
#include "qt_settings_service.h"
#include "shared_state.h"
#include "twips.h"
#include "window_limits.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

#include <memory>

namespace {

const char *const kReopenArgument = "--reopen-with-store";
const QString kHeightPath = FakeSettingsService::path("Quorbix", "Options", "ScreenHeight");
const QString kWidthPath = FakeSettingsService::path("Quorbix", "Options", "ScreenWidth");
const char *const kControlNames[] = {"cmdCancel", "cmdSelect", "optBegins", "optContains",
                                     "txtSearch", "cmdClear",  "cboField",  "dtgOrg",
                                     "lblOrg",    "lblSort"};

QString refusedStatement() { return QStringLiteral("SELECT Name FROM NoSuchTable"); }
QString emptyListing() { return listing::searchSql(QStringLiteral("no title has this text")); }

QSize screenSize() { return QGuiApplication::primaryScreen()->geometry().size(); }

// A results window made as the main window makes it (shared, so that it can register), with
// its own recording services.
struct Sized {
    FakeServices fakes;
    std::unique_ptr<Services> withStore;  ///< the fakes with a real settings store
    std::shared_ptr<frmSoftware> form;

    QWidget *control(const char *name) const { return form->findChild<QWidget *>(name); }
    QSize frame() const { return form->frameGeometry().size() - form->size(); }
    QSize outer() const { return form->frameGeometry().size(); }
    void resizeOuter(const QSize &size) const { form->resize(size - frame()); }
    QMap<QString, QRectF> layout() const
    {
        QMap<QString, QRectF> all;
        for (const char *name : kControlNames)
            all.insert(QLatin1String(name), twips::geometry(control(name)));
        return all;
    }
};

std::unique_ptr<Sized> loadSized(const QString &sql, const QMap<QString, QString> &stored = {},
                                 SettingsService *store = nullptr)
{
    auto sized = std::make_unique<Sized>();
    sized->fakes.settings.values = stored;
    strListingSql = sql;
    strListingTitle = QStringLiteral("Search Results for ''");
    if (store) {
        FakeServices &f = sized->fakes;
        sized->withStore.reset(new Services{f.messages, f.pointer, f.desktop, *store, f.dialogs});
        sized->form = std::make_shared<frmSoftware>(*sized->withStore);
    } else {
        sized->form = std::make_shared<frmSoftware>(sized->fakes.services);
    }
    sized->form->Form_Load();
    if (!sized->form->isUnloaded()) {
        sized->form->show();
        if (!QTest::qWaitForWindowExposed(sized->form.get()))
            return nullptr;
    }
    return sized;
}

// The child half of the new-run case: loads a results window over the INI store and prints
// its outer size.
int reopenInChild(const QString &iniFile)
{
    twips::setPerPixelOverride(15);
    if (!openFixtureCatalog(QStringLiteral("basic.mdb")))
        return 2;
    QtSettingsService store(iniFile);
    const auto sized = loadSized(listing::allTitlesSql(), {}, &store);
    if (!sized)
        return 3;
    QTextStream(stdout) << sized->outer().width() << 'x' << sized->outer().height();
    return 0;
}

}  // namespace

class TestResultsSize : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(openFixtureCatalog("basic.mdb"));
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

    void shouldComeUpAtTheDefaultSizeAndNoSmaller_data()
    {
        QTest::addColumn<double>("perPixel");
        QTest::addColumn<QSize>("outer");
        QTest::newRow("96 DPI") << 15.0 << QSize(699, 453);
        QTest::newRow("120 DPI") << 12.0 << QSize(873, 567);
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
        QCOMPARE(QSize(record.MinWidth, record.MinHeight), outer);
        QCOMPARE(QSize(record.MaxWidth, record.MaxHeight), screenSize());

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
        const QSize screen = screenSize();
        QTest::newRow("both stored") << "7200" << "12000" << QSize(800, 480);
        QTest::newRow("fractions") << "7207.5" << "10492.4" << QSize(699, 481);
        QTest::newRow("blanks around") << " 7200 " << "12000 " << QSize(800, 480);
        QTest::newRow("height not a number") << "tall" << "12000" << QSize(800, 453);
        QTest::newRow("width not a number") << "7200" << "12000px" << QSize(699, 480);
        QTest::newRow("empty texts") << "" << "" << QSize(699, 453);
        QTest::newRow("negative") << "-7200" << "12000" << QSize(800, 453);
        QTest::newRow("not finite") << "inf" << "nan" << QSize(699, 453);
        QTest::newRow("smaller than the default") << "3000" << "3000" << QSize(699, 453);
        QTest::newRow("larger than the screen") << "99999" << "1e30" << screen;
    }
    void shouldComeBackAtTheRememberedSize()
    {
        QFETCH(QString, height);
        QFETCH(QString, width);
        QFETCH(QSize, outer);
        const auto r =
            loadSized(listing::allTitlesSql(), {{kHeightPath, height}, {kWidthPath, width}});
        QVERIFY(r);
        QCOMPARE(r->outer(), outer);
    }

    void shouldRememberTheSizeItWasClosedAt_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Close") << "button";
        QTest::newRow("close box") << "box";
    }
    void shouldRememberTheSizeItWasClosedAt()
    {
        QFETCH(QString, how);
        auto first = loadSized(listing::allTitlesSql());
        QVERIFY(first);
        first->resizeOuter(QSize(760, 520));
        if (how == "button")
            qobject_cast<QPushButton *>(first->control("cmdCancel"))->click();
        else
            first->form->close();
        QVERIFY(first->form->isUnloaded());
        QCOMPARE(first->fakes.settings.values.value(kHeightPath), QString("7800"));
        QCOMPARE(first->fakes.settings.values.value(kWidthPath), QString("11400"));

        const auto again = loadSized(listing::allTitlesSql(), first->fakes.settings.values);
        QVERIFY(again);
        QCOMPARE(again->outer(), QSize(760, 520));
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
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(), {kReopenArgument, iniFile});
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(child.readAllStandardOutput()), QString("745x505"));
    }

    void shouldKeepTheRememberedSizeWhenTheListingEndsEarly_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<bool>("shown");
        QTest::newRow("empty listing") << emptyListing() << false;
        QTest::newRow("listing fails to open") << refusedStatement() << true;
    }
    void shouldKeepTheRememberedSizeWhenTheListingEndsEarly()
    {
        QFETCH(QString, sql);
        QFETCH(bool, shown);
        const QMap<QString, QString> stored{{kHeightPath, "9000"}, {kWidthPath, "13500"}};
        const auto r = loadSized(sql, stored);
        QVERIFY(r);
        QCOMPARE(r->form->isVisible(), shown);
        if (shown) {
            r->resizeOuter(QSize(720, 470));
            r->form->close();
        }
        QVERIFY(r->form->isUnloaded());
        QCOMPARE(r->fakes.settings.values, stored);
        // Such a window is neither limited nor kept.
        QCOMPARE(WindowLimitsUBound(), -1);
    }

    void shouldScaleTheControlsInProportion_data()
    {
        QTest::addColumn<QSize>("grow");
        QTest::newRow("wider") << QSize(90, 0);
        QTest::newRow("taller") << QSize(0, 70);
        QTest::newRow("both") << QSize(100, 100);
        QTest::newRow("a little both ways") << QSize(37, 23);
    }
    void shouldScaleTheControlsInProportion()
    {
        QFETCH(QSize, grow);
        const auto r = loadSized(listing::allTitlesSql());
        QVERIFY(r);
        QVERIFY(!r->form->blnSkipResize);
        const QMap<QString, QRectF> before = r->layout();
        const float w1 = r->form->width() * 15.0f;
        const float h1 = r->form->height() * 15.0f;
        QCOMPARE(r->form->sngPrevScaleWidth, w1);
        QCOMPARE(r->form->sngPrevScaleHeight, h1);

        r->resizeOuter(r->outer() + grow);
        const float rx = r->form->width() * 15.0f / w1;
        const float ry = r->form->height() * 15.0f / h1;

        const QMap<QString, QRectF> after = r->layout();
        for (const char *name : kControlNames) {
            const QString control = QLatin1String(name);
            const QRectF was = before[control];
            const QRectF now = after[control];
            QCOMPARE(now.left(), double(float(was.left()) * rx));
            QCOMPARE(now.top(), double(float(was.top()) * ry));
            const bool widens =
                control == "dtgOrg" || control == "txtSearch" || control == "cboField";
            const bool grows = control == "dtgOrg";
            QCOMPARE(now.width(), widens ? double(float(was.width()) * rx) : was.width());
            QCOMPARE(now.height(), grows ? double(float(was.height()) * ry) : was.height());
        }
    }

    void shouldSpreadTheLayoutOverTheRememberedSize_data()
    {
        QTest::addColumn<QString>("height");
        QTest::addColumn<QString>("width");
        QTest::newRow("default") << "6800" << "10480";
        QTest::newRow("larger") << "10500" << "11900";
        QTest::newRow("wide and low") << "6900" << "12000";
    }
    void shouldSpreadTheLayoutOverTheRememberedSize()
    {
        QFETCH(QString, height);
        QFETCH(QString, width);
        const auto r =
            loadSized(listing::allTitlesSql(), {{kHeightPath, height}, {kWidthPath, width}});
        QVERIFY(r);
        // Every change after the first scales the layout, so the grid's right edge keeps the
        // share of the inner width it had against the 10480 twips the object started with.
        const QRectF grid = r->layout().value("dtgOrg");
        const double share = (grid.left() + grid.width()) / (r->form->width() * 15.0);
        QVERIFY2(qAbs(share - (120.0 + 10215.0) / 10480.0) < 1e-5,
                 qPrintable(QString::number(share)));
        const QRectF close = r->layout().value("cmdCancel");
        QVERIFY2(qAbs(close.left() / (r->form->width() * 15.0) - 6360.0 / 10480.0) < 1e-5,
                 qPrintable(QString::number(close.left())));
    }

    void shouldOnlyClearTheFlagOnTheFirstResize()
    {
        // A window whose listing failed has no size steps: the layout stands as built.
        const auto r = loadSized(refusedStatement());
        QVERIFY(r);
        QVERIFY(r->form->isVisible());
        // Showing was its first resize.
        QVERIFY(!r->form->blnSkipResize);
        QCOMPARE(r->layout().value("cmdCancel"), QRectF(6360, 6360, 1095, 375));

        r->form->resize(r->form->size() + QSize(70, 0));
        // Scaling divides by what the window object was created with, not the layout's size.
        const float rx = r->form->width() * 15.0f / 10480.0f;
        QCOMPARE(r->layout().value("cmdCancel").left(), double(6360.0f * rx));
    }

    void shouldLeaveTheControlsAloneAtAnInnerSizeOfZero()
    {
        // Without limits (its listing failed), the window can take an inner size of 0.
        const auto r = loadSized(refusedStatement());
        QVERIFY(r);
        r->form->resize(r->form->size() + QSize(45, 30));
        const QMap<QString, QRectF> before = r->layout();
        const QSize normal = r->form->size();

        r->form->resize(0, 0);
        QCOMPARE(r->form->size(), QSize(0, 0));
        QCOMPARE(r->layout(), before);
        r->form->resize(normal);
        QCOMPARE(r->layout(), before);
    }

    void shouldCloseTheListingWhenTheWindowObjectGoes_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<bool>("registered");
        QTest::newRow("shown listing") << listing::allTitlesSql() << true;
        QTest::newRow("empty listing") << emptyListing() << false;
        QTest::newRow("listing fails to open") << refusedStatement() << false;
    }
    void shouldCloseTheListingWhenTheWindowObjectGoes()
    {
        QFETCH(QString, sql);
        QFETCH(bool, registered);
        FakeServices fakes;
        strListingSql = sql;
        strListingTitle = "Search Results for ''";
        showSoftwareWindow(fakes.services, nullptr);

        // The limits table keeps a registered window, and with it the open listing.
        QCOMPARE(WindowLimitsUBound(), registered ? 1 : -1);
        QCOMPARE(bool(rsSoftware), registered);
        if (!registered)
            return;
        const std::shared_ptr<ado::Recordset> listingKept = rsSoftware;
        QVERIFY(listingKept->isOpen());
        resetWindowLimitsTable();
        QVERIFY(!rsSoftware);
        QVERIFY(!listingKept->isOpen());
    }

    void shouldLetGoOfAListingOnceItIsReplaced()
    {
        FakeServices fakes;
        strListingSql = listing::allTitlesSql();
        strListingTitle = "Search Results for ''";
        showSoftwareWindow(fakes.services, nullptr);
        QCOMPARE(WindowLimitsUBound(), 1);
        const std::weak_ptr<ado::Recordset> shown = rsSoftware;
        // The next listing (or the featured road) replaces it.
        rsSoftware = std::make_shared<ado::Recordset>();
        QVERIFY(shown.expired());
    }

    void shouldRegisterEachShowingOnce()
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
