#include "fake_services.h"
#include "frm_main.h"
#include "jet_row_patch.h"
#include "link_label.h"
#include "listing_query.h"
#include "shared_state.h"
#include "test_data.h"
#include "twips.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kMdacSentence = QStringLiteral(
    "Unable to open database. You may need to install Microsoft Data Access Components 2.8 "
    "(MDAC). You may download this free from Microsoft's web site. Do you want to go to ");

QStringList items(const QListWidget *list)
{
    QStringList out;
    for (int i = 0; list && i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

QPoint twipsPos(const QWidget *widget)
{
    const QRectF r = twips::geometry(widget);
    return QPoint(qRound(r.left()), qRound(r.top()));
}

/// An application folder holding `catalog` as shareware.mdb (or nothing, when empty).
struct AppFolder {
    QTemporaryDir dir;
    explicit AppFolder(const QByteArray &catalog = {}, bool present = true)
    {
        if (present) {
            QFile file(path(QStringLiteral("shareware.mdb")));
            if (file.open(QIODevice::WriteOnly))
                file.write(catalog);
        }
    }
    QString path(const QString &name = {}) const { return name.isEmpty() ? dir.path() : dir.filePath(name); }
};

QByteArray fixture(const QString &name)
{
    QFile file(testDataPath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

class TestFrmMainStartUp : public QObject {
    Q_OBJECT

    FakeServices *fakes = nullptr;
    frmMain *window = nullptr;

    frmMain &load(const QString &appPath)
    {
        window = new frmMain(fakes->services, appPath);
        window->Form_Load();
        return *window;
    }
    template <typename T = QWidget>
    T *control(const QString &name) const
    {
        return window->findChild<T *>(name);
    }

    // The window as designed: element 0 of each array only, nothing listed.
    void verifyDesignTimeContents() const
    {
        QCOMPARE(window->lblCategoryCount(), 1);
        QVERIFY(!window->lblCategory(1));
        QCOMPARE(twipsPos(window->lblCategory(0)), QPoint(240, 1560));
        QCOMPARE(window->lblCategory(0)->text(), QString());
        QVERIFY(!window->lblCategory(0)->isHidden());
        QCOMPARE(twipsPos(window->lstSubCategory(0)), QPoint(240, 1800));
        QCOMPARE(window->lstSubCategory(0)->count(), 0);
        QCOMPARE(window->lstSubCategoryIDs(0)->count(), 0);
        QCOMPARE(control<QListWidget>(QStringLiteral("lstFeatured"))->count(), 0);
    }

    void verifyNameAndIdListsInStep() const
    {
        for (int i = 0; i < window->lblCategoryCount(); ++i)
            QCOMPARE(window->lstSubCategoryIDs(i)->count(), window->lstSubCategory(i)->count());
    }

private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QStandardPaths::setTestModeEnabled(true);
        twips::setPerPixelOverride(15);
    }
    void init()
    {
        resetSharedState();
        fakes = new FakeServices;
    }
    void cleanup()
    {
        delete window;
        window = nullptr;
        delete fakes;
        fakes = nullptr;
        resetSharedState();
    }

    // --- the window as designed ---

    void shouldHaveFixedWindowWithCaptionAndNoMaximize()
    {
        window = new frmMain(fakes->services, QString());
        QCOMPARE(window->windowTitle(), QStringLiteral("Vantarel ver 2.0"));
        QCOMPARE(window->size(), QSize(860, 520));
        QCOMPARE(window->minimumSize(), window->maximumSize());
        const Qt::WindowFlags flags = window->windowFlags();
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
        QVERIFY(flags & Qt::WindowMinimizeButtonHint);
        QVERIFY(flags & Qt::WindowCloseButtonHint);
    }

    void shouldMakeGoTheDefaultAndTabThroughTheInputs()
    {
        window = new frmMain(fakes->services, QString());
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        QVERIFY(control<QPushButton>(QStringLiteral("cmdGo"))->isDefault());

        QStringList chain{QApplication::focusWidget()->objectName()};
        for (int i = 0; i < 5; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            chain << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(chain, (QStringList{"txtSearch", "cmdGo", "lstSubCategory_0", "cmdClose",
                                     "lstFeatured", "txtSearch"}));
    }

    void shouldPressGoOnEnterUnlessAnotherButtonHasFocus_data()
    {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<QString>("pressed");
        QTest::newRow("search box") << "txtSearch" << "cmdGo";
        QTest::newRow("featured list") << "lstFeatured" << "cmdGo";
        QTest::newRow("subcategory list") << "lstSubCategory_0" << "cmdGo";
        QTest::newRow("GO itself") << "cmdGo" << "cmdGo";
        QTest::newRow("Exit") << "cmdClose" << "cmdClose";
    }
    void shouldPressGoOnEnterUnlessAnotherButtonHasFocus()
    {
        QFETCH(QString, focus);
        QFETCH(QString, pressed);
        window = new frmMain(fakes->services, QString());
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        auto *go = control<QPushButton>(QStringLiteral("cmdGo"));
        auto *exit = control<QPushButton>(QStringLiteral("cmdClose"));
        // Keep the presses from running their commands: only which button is pressed matters.
        go->disconnect();
        exit->disconnect();
        QSignalSpy goSpy(go, &QPushButton::clicked);
        QSignalSpy exitSpy(exit, &QPushButton::clicked);
        QWidget *target = control(focus);
        target->setFocus();
        QTest::keyClick(target, Qt::Key_Return);
        QCOMPARE(goSpy.count(), pressed == QLatin1String("cmdGo") ? 1 : 0);
        QCOMPARE(exitSpy.count(), pressed == QLatin1String("cmdClose") ? 1 : 0);
    }

    // --- start-up on a catalog ---

    void shouldBuildTheCategoryGridFromBasic_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QPoint>("labelAt");
        QTest::addColumn<QPoint>("listAt");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("ids");

        QTest::newRow("0 first of row 1") << 0 << "Business" << QPoint(240, 1310) << QPoint(240, 1560)
                                          << QStringList{"Accounting", "Databases", "Office Suites"}
                                          << QStringList{"1", "2", "3"};
        QTest::newRow("1 second column") << 1 << "Desktop" << QPoint(2740, 1310) << QPoint(2740, 1560)
                                         << QStringList{"Themes", "Screensavers"} << QStringList{"4", "5"};
        QTest::newRow("3 Utilities") << 3 << "Utilities" << QPoint(7740, 1310) << QPoint(7740, 1560)
                                     << QStringList{"Backup", "Disk Tools", "Archivers", "File Managers"}
                                     << QStringList{"8", "9", "10", "11"};
        QTest::newRow("4 last column") << 4 << "Games" << QPoint(10240, 1310) << QPoint(10240, 1560)
                                       << QStringList{"Arcade", "Puzzle", "Strategy"}
                                       << QStringList{"12", "13", "14"};
        QTest::newRow("5 starts row 2") << 5 << "Graphics" << QPoint(240, 3310) << QPoint(240, 3560)
                                        << QStringList{"Editors", "Viewers"} << QStringList{"15", "16"};
        QTest::newRow("10 starts row 3") << 10 << "Empty Shelf" << QPoint(240, 5310) << QPoint(240, 5560)
                                         << QStringList{} << QStringList{};
    }
    void shouldBuildTheCategoryGridFromBasic()
    {
        QFETCH(int, index);
        QFETCH(QString, caption);
        QFETCH(QPoint, labelAt);
        QFETCH(QPoint, listAt);
        QFETCH(QStringList, names);
        QFETCH(QStringList, ids);
        AppFolder app(fixture(QStringLiteral("basic.mdb")));
        load(app.path());

        QVERIFY(fakes->messages.calls.isEmpty());
        QCOMPARE(window->lblCategoryCount(), 11);
        LinkLabel *label = window->lblCategory(index);
        QCOMPARE(label->objectName(), QStringLiteral("lblCategory_%1").arg(index));
        QCOMPARE(label->text(), caption);
        QCOMPARE(label->property("Tag").toString(), QString::number(index + 1));
        QCOMPARE(twipsPos(label), labelAt);
        QVERIFY(!label->isHidden());
        // Run-time elements take element 0's look.
        QCOMPARE(label->font(), window->lblCategory(0)->font());
        QCOMPARE(label->palette().color(QPalette::WindowText), QColor(0, 0, 255));

        QListWidget *list = window->lstSubCategory(index);
        QCOMPARE(twipsPos(list), listAt);
        QCOMPARE(twips::geometry(list).size(), QSizeF(2415, 1620));
        QVERIFY(!list->isHidden());
        QCOMPARE(items(list), names);

        QListWidget *idList = window->lstSubCategoryIDs(index);
        QCOMPARE(items(idList), ids);
        QVERIFY(idList->isHidden());
        QCOMPARE(twipsPos(idList), QPoint(3000, 1800));
    }

    void shouldListFeaturedTitlesAsNameDashDescription()
    {
        AppFolder app(fixture(QStringLiteral("basic.mdb")));
        load(app.path());
        QCOMPARE(items(control<QListWidget>(QStringLiteral("lstFeatured"))),
                 (QStringList{"ZipMaster - Best archiver of the year", "Disk Tool - ",
                              "Tool - Pro Edition - Cut at the first spaced dash",
                              "Missing Title - No software row has this name",
                              "Don't Panic - A quote in the featured name",
                              "Orphan Site Tool - Its site has no row"}));
        verifyNameAndIdListsInStep();
        QVERIFY(cnCatalog && cnCatalog->isOpen());
        QCOMPARE(strAppPath, app.path());
        QCOMPARE(strConnect, catalogConnectionString(app.path()));
    }

    void shouldListOnlyTheFirstRunOfSplitSubcategories()
    {
        AppFolder app(fixture(QStringLiteral("split-runs.mdb")));
        load(app.path());
        QCOMPARE(window->lblCategoryCount(), 3);
        QCOMPARE(items(window->lstSubCategory(0)), (QStringList{"One-A", "One-B"}));
        QCOMPARE(items(window->lstSubCategoryIDs(0)), (QStringList{"1", "2"}));
        QCOMPARE(items(window->lstSubCategory(1)), (QStringList{"Two-A"}));
        QCOMPARE(items(window->lstSubCategoryIDs(1)), (QStringList{"3"}));
        QCOMPARE(window->lstSubCategory(2)->count(), 0);
        QVERIFY(!window->lstSubCategory(2)->isHidden());
    }

    void shouldLeaveTheDesignWhenTheTablesAreEmpty()
    {
        AppFolder app(fixture(QStringLiteral("empty-tables.mdb")));
        load(app.path());
        QVERIFY(fakes->messages.calls.isEmpty());
        verifyDesignTimeContents();
    }

    void shouldKeepPlacingRowsPastTheSixteenBitLimit_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QPoint>("listAt");
        QTest::newRow("row 16, first") << 75 << QPoint(240, 31560);
        QTest::newRow("row 16, last") << 79 << QPoint(10240, 31560);
        QTest::newRow("row 17, first") << 80 << QPoint(240, 33560);
        QTest::newRow("row 17, last") << 84 << QPoint(10240, 33560);
    }
    void shouldKeepPlacingRowsPastTheSixteenBitLimit()
    {
        QFETCH(int, index);
        QFETCH(QPoint, listAt);
        AppFolder app(fixture(QStringLiteral("many-categories.mdb")));
        load(app.path());
        QCOMPARE(window->lblCategoryCount(), 85);
        QCOMPARE(twipsPos(window->lstSubCategory(index)), listAt);
        QCOMPARE(twipsPos(window->lblCategory(index)), listAt - QPoint(0, 250));
        QCOMPARE(items(window->lstSubCategory(index)), QStringList{QStringLiteral("Sub %1").arg(index + 1)});
    }

    void shouldKeepNameAndIdListsInStepOverNullValues_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("index");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("ids");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("tag");

        QTest::newRow("Null subcategory name adds an empty item")
            << "Archivers" << 2 << 3 << QStringList{"Backup", "Disk Tools", "", "File Managers"}
            << QStringList{"8", "9", "10", "11"} << "Utilities" << "4";
        QTest::newRow("Null CategoryID inside a run does not end it")
            << "Disk Tools" << 1 << 3 << QStringList{"Backup", "Disk Tools", "Archivers", "File Managers"}
            << QStringList{"8", "9", "10", "11"} << "Utilities" << "4";
        QTest::newRow("Null category name gives an empty caption")
            << "Empty Shelf" << 1 << 10 << QStringList{} << QStringList{} << "" << "11";
        QTest::newRow("Null CategoryID of a category lists nothing under it")
            << "Graphics" << 0 << 5 << QStringList{} << QStringList{} << "Graphics" << "";
    }
    void shouldKeepNameAndIdListsInStepOverNullValues()
    {
        QFETCH(QString, text);
        QFETCH(int, column);
        QFETCH(int, index);
        QFETCH(QStringList, names);
        QFETCH(QStringList, ids);
        QFETCH(QString, caption);
        QFETCH(QString, tag);
        QByteArray catalog = fixture(QStringLiteral("basic.mdb"));
        QVERIFY(setColumnNullInRowWith(catalog, text, column));
        AppFolder app(catalog);
        load(app.path());

        QVERIFY2(fakes->messages.calls.isEmpty(), qPrintable(fakes->messages.calls.value(0).prompt));
        QCOMPARE(window->lblCategoryCount(), 11);
        QCOMPARE(items(window->lstSubCategory(index)), names);
        QCOMPARE(items(window->lstSubCategoryIDs(index)), ids);
        QCOMPARE(window->lblCategory(index)->text(), caption);
        QCOMPARE(window->lblCategory(index)->property("Tag").toString(), tag);
        verifyNameAndIdListsInStep();
    }

    void shouldLoadFromAFolderEndingInASeparator()
    {
        AppFolder app(fixture(QStringLiteral("basic.mdb")));
        load(app.path() + QLatin1Char('/'));
        QVERIFY(fakes->messages.calls.isEmpty());
        QCOMPARE(window->lblCategoryCount(), 11);
    }

    // --- when the catalog cannot be opened ---

    void shouldOfferTheDownloadPageWhenTheCatalogIsMissing_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("opensPage");
        QTest::newRow("Yes opens the page") << int(vbYes) << true;
        QTest::newRow("No opens nothing") << int(vbNo) << false;
    }
    void shouldOfferTheDownloadPageWhenTheCatalogIsMissing()
    {
        QFETCH(int, answer);
        QFETCH(bool, opensPage);
        AppFolder app({}, false);
        fakes->messages.answers.enqueue(answer);
        load(app.path());

        QCOMPARE(fakes->messages.calls.size(), 1);
        const FakeMessageService::Call &call = fakes->messages.calls.first();
        QCOMPARE(call.prompt, QStringLiteral("-2147467259 : Could not find file '")
                                  + QDir(app.path()).filePath(QStringLiteral("shareware.mdb"))
                                  + QStringLiteral("'.\r\n") + kMdacSentence
                                  + frmMain::dataAccessDownloadAddress() + QStringLiteral(" now?"));
        QCOMPARE(call.style, int(vbYesNo));
        QCOMPARE(call.title, QStringLiteral("Confirmation Message"));
        QCOMPARE(fakes->desktop.opened,
                 opensPage ? QVector<QUrl>{QUrl(frmMain::dataAccessDownloadAddress())} : QVector<QUrl>{});
        QCOMPARE(fakes->messages.beeps, 0);
        verifyDesignTimeContents();
        QVERIFY(cnCatalog && !cnCatalog->isOpen());
        // The window still opens and takes input.
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
    }

    void shouldPromptWithTheFaultForADamagedCatalog_data()
    {
        QTest::addColumn<QByteArray>("catalog");
        const QByteArray basic = fixture(QStringLiteral("basic.mdb"));
        QByteArray garbledHeader = basic;
        for (int i = 0; i < 4096; ++i)
            garbledHeader[i] = char((i * 131 + 7) & 0xFF);
        QByteArray garbledCatalog = basic;
        // The system catalog's table definition and data pages.
        for (int i = 2 * 4096; i < 4 * 4096; ++i)
            garbledCatalog[i] = char(0xA5);
        QByteArray zeroedTail = basic;
        zeroedTail.replace(8 * 4096, basic.size() - 8 * 4096, QByteArray(basic.size() - 8 * 4096, '\0'));

        QByteArray garbledCategoryRows = basic;
        const qsizetype categoryPage = dataPageWith(basic, QStringLiteral("Empty Shelf"));
        QVERIFY(categoryPage > 0);
        for (int i = 12; i < 64; ++i)
            garbledCategoryRows[categoryPage + i] = char(0xFF);

        QTest::newRow("usage map aimed at a zero-length row")
            << fixture(QStringLiteral("hostile/usage_map_len0_page2.mdb"));
        QTest::newRow("empty file") << QByteArray();
        QTest::newRow("plain text") << QByteArray("Name,Description\nZipMaster,archiver\n");
        QTest::newRow("first page only") << basic.left(4096);
        QTest::newRow("cut inside a page") << basic.left(10 * 4096 + 123);
        QTest::newRow("garbled header page") << garbledHeader;
        QTest::newRow("garbled system catalog") << garbledCatalog;
        QTest::newRow("tables zeroed") << zeroedTail;
        QTest::newRow("Category rows garbled") << garbledCategoryRows;
    }
    void shouldPromptWithTheFaultForADamagedCatalog()
    {
        QFETCH(QByteArray, catalog);
        AppFolder app(catalog);
        fakes->messages.answers.enqueue(vbYes);
        load(app.path());

        QCOMPARE(fakes->messages.calls.size(), 1);
        const QString prompt = fakes->messages.calls.first().prompt;
        const QStringList lines = prompt.split(QStringLiteral("\r\n"));
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines.first().startsWith(QStringLiteral("-2147467259 : ")), qPrintable(prompt));
        const QString description = lines.first().mid(int(qstrlen("-2147467259 : ")));
        QVERIFY2(description.size() > 10, qPrintable(description));
        QVERIFY2(!description.startsWith(QStringLiteral("Could not find file")), qPrintable(description));
        QCOMPARE(lines.last(), kMdacSentence + frmMain::dataAccessDownloadAddress() + QStringLiteral(" now?"));
        QCOMPARE(fakes->messages.calls.first().title, QStringLiteral("Confirmation Message"));
        QCOMPARE(fakes->desktop.opened, QVector<QUrl>{QUrl(frmMain::dataAccessDownloadAddress())});
        verifyDesignTimeContents();
    }

    void shouldOpenACatalogDamagedOnlyWhereStartUpDoesNotRead()
    {
        AppFolder app(fixture(QStringLiteral("hostile/memo_chain_selfloop.mdb")));
        load(app.path());
        QVERIFY2(fakes->messages.calls.isEmpty(), qPrintable(fakes->messages.calls.value(0).prompt));
        QVERIFY(window->lblCategoryCount() > 1);
        QVERIFY(control<QListWidget>(QStringLiteral("lstFeatured"))->count() > 0);
        verifyNameAndIdListsInStep();

        // The damage is met by the first listing, as an error.
        ado::Recordset listing;
        listing.CursorLocation = ado::adUseClient;
        const ado::Error error = listing.Open(listing::allTitlesSql(), cnCatalog, ado::adOpenStatic,
                                              ado::adLockReadOnly, ado::adCmdText);
        QVERIFY(error);
        QVERIFY(!error.Description.isEmpty());
    }
};

QTEST_MAIN(TestFrmMainStartUp)
#include "test_frm_main_start_up.moc"
