#include "fake_services.h"
#include "frm_main.h"
#include "link_label.h"
#include "listing_query.h"
#include "shared_state.h"
#include "test_data.h"
#include "twips.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

/// What a shown window looked like while it was up.
struct Seen {
    QString window;
    QString title;
    QString name;  ///< the detail window's title name
    int rows = -1; ///< rsSoftware's rows while the window was up
};

QListWidgetItem *itemWithText(QListWidget *list, const QString &prefix)
{
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->text().startsWith(prefix))
            return list->item(i);
    return nullptr;
}

void doubleClick(QListWidget *list, QListWidgetItem *item)
{
    const QRect rect = list->visualItemRect(item);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rect.center());
}

}  // namespace

class TestFrmMainCommands : public QObject {
    Q_OBJECT

    FakeServices *fakes = nullptr;
    frmMain *window = nullptr;
    QTemporaryDir *appDir = nullptr;
    QVector<Seen> seen;

    void load(const QString &catalog)
    {
        appDir = new QTemporaryDir;
        QVERIFY(QFile::copy(testDataPath(catalog), appDir->filePath(QStringLiteral("shareware.mdb"))));
        window = new frmMain(fakes->services, appDir->path());
        window->Form_Load();
        QVERIFY(fakes->messages.calls.isEmpty());
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
    }
    // Every window shown is recorded as it looked, then closed.
    void recordShownWindows(int count = 4)
    {
        for (int i = 0; i < count; ++i)
            fakes->dialogs.steps.enqueue([this](QDialog &dialog) {
                Seen s{dialog.objectName(), dialog.windowTitle(), {}, rsSoftware ? rsSoftware->RecordCount() : -1};
                if (auto *name = dialog.findChild<QLineEdit *>(QStringLiteral("txtName")))
                    s.name = name->text();
                seen.append(s);
            });
    }
    template <typename T = QWidget>
    T *control(const QString &name) const
    {
        return window->findChild<T *>(name);
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
        seen.clear();
        recordShownWindows();
    }
    void cleanup()
    {
        delete window;
        window = nullptr;
        delete appDir;
        appDir = nullptr;
        delete fakes;
        fakes = nullptr;
        resetSharedState();
    }

    void shouldSearchForTheTextTrimmedOfBlanks_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("rows");  // -1: the results window does not stay up

        QTest::newRow("empty lists all") << "" << listing::allTitlesSql() << "Search Results for ''" << 39;
        QTest::newRow("blanks list all") << "    " << listing::allTitlesSql() << "Search Results for ''" << 39;
        QTest::newRow("blanks around zip") << "  zip " << listing::searchSql("zip") << "Search Results for 'zip'" << 4;
        QTest::newRow("inner blank kept") << " disk tool " << listing::searchSql("disk tool")
                                          << "Search Results for 'disk tool'" << 1;
        QTest::newRow("tab is not a blank") << "\tzip" << listing::searchSql("\tzip")
                                            << "Search Results for '\tzip'" << -1;
        QTest::newRow("quote in the text") << "Don't" << listing::searchSql("Don't")
                                           << "Search Results for 'Don't'" << 1;
    }
    void shouldSearchForTheTextTrimmedOfBlanks()
    {
        QFETCH(QString, typed);
        QFETCH(QString, sql);
        QFETCH(QString, title);
        QFETCH(int, rows);
        load(QStringLiteral("basic.mdb"));
        auto *search = control<QLineEdit>(QStringLiteral("txtSearch"));
        search->setText(typed);
        QTest::keyClick(search, Qt::Key_Return);

        QCOMPARE(strListingSql, sql);
        QCOMPARE(strListingTitle, title);
        if (rows < 0) {
            QVERIFY(seen.isEmpty());
            QCOMPARE(fakes->messages.calls.size(), 1);
            QCOMPARE(fakes->messages.calls.first().prompt, QStringLiteral("No records found."));
        } else {
            QCOMPARE(seen.size(), 1);
            QCOMPARE(seen.first().window, QStringLiteral("frmSoftware"));
            QCOMPARE(seen.first().title, title);
            QCOMPARE(seen.first().rows, rows);
            QVERIFY(fakes->messages.calls.isEmpty());
        }
    }

    void shouldListASubcategoryByItsIdAtTheSamePosition_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("rows");
        QTest::newRow("third under Utilities") << 3 << "Archivers" << "10" << "Utilities > Archivers" << 5;
        QTest::newRow("first of the first") << 0 << "Accounting" << "1" << "Business > Accounting" << 1;
        QTest::newRow("second column") << 4 << "Arcade" << "12" << "Games > Arcade" << 26;
    }
    void shouldListASubcategoryByItsIdAtTheSamePosition()
    {
        QFETCH(int, index);
        QFETCH(QString, entry);
        QFETCH(QString, id);
        QFETCH(QString, title);
        QFETCH(int, rows);
        load(QStringLiteral("basic.mdb"));
        QListWidget *list = window->lstSubCategory(index);
        doubleClick(list, itemWithText(list, entry));

        QCOMPARE(strListingSql, listing::subCategorySql(id));
        QCOMPARE(strListingTitle, title);
        QCOMPARE(seen.size(), 1);
        QCOMPARE(seen.first().title, title);
        QCOMPARE(seen.first().rows, rows);
    }

    void shouldDoNothingOnADoubleClickWithNothingSelected_data()
    {
        QTest::addColumn<QString>("list");
        QTest::newRow("subcategory list") << "lstSubCategory_3";
        QTest::newRow("featured list") << "lstFeatured";
    }
    void shouldDoNothingOnADoubleClickWithNothingSelected()
    {
        QFETCH(QString, list);
        load(QStringLiteral("basic.mdb"));
        auto *widget = control<QListWidget>(list);
        QVERIFY(widget->selectedItems().isEmpty());
        // A double-click below the last entry selects nothing.
        QTest::mouseDClick(widget->viewport(), Qt::LeftButton, {},
                           QPoint(5, widget->viewport()->height() - 3));
        if (list == QLatin1String("lstFeatured"))
            window->lstFeatured_DblClick();
        else
            window->lstSubCategory_DblClick(3);

        QVERIFY(seen.isEmpty());
        QVERIFY(strListingSql.isEmpty());
        QVERIFY(fakes->messages.calls.isEmpty());
        QVERIFY(fakes->pointer.history.isEmpty());
        QVERIFY(!rsSoftware);
    }

    void shouldOpenAFeaturedTitleStraightInTheDetailWindow_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("shownName");  // empty: not shown
        QTest::addColumn<QString>("message");
        QTest::newRow("ZipMaster") << "ZipMaster - " << listing::singleTitleSql("ZipMaster") << "ZipMaster" << "";
        QTest::newRow("Null description") << "Disk Tool - " << listing::singleTitleSql("Disk Tool") << "Disk Tool" << "";
        QTest::newRow("quote in the name") << "Don't Panic - " << listing::singleTitleSql("Don't Panic")
                                           << "Don't Panic" << "";
        QTest::newRow("cut at the name's own dash") << "Tool - Pro Edition" << listing::singleTitleSql("Tool")
                                                    << "" << "No records found.";
        QTest::newRow("no such title") << "Missing Title - " << listing::singleTitleSql("Missing Title")
                                       << "" << "No records found.";
        QTest::newRow("its site has no row") << "Orphan Site Tool - " << listing::singleTitleSql("Orphan Site Tool")
                                             << "" << "No records found.";
    }
    void shouldOpenAFeaturedTitleStraightInTheDetailWindow()
    {
        QFETCH(QString, entry);
        QFETCH(QString, sql);
        QFETCH(QString, shownName);
        QFETCH(QString, message);
        load(QStringLiteral("basic.mdb"));
        strListingTitle = QStringLiteral("unchanged");
        auto *featured = control<QListWidget>(QStringLiteral("lstFeatured"));
        doubleClick(featured, itemWithText(featured, entry));

        QCOMPARE(strListingSql, sql);
        QCOMPARE(strListingTitle, QStringLiteral("unchanged"));
        QCOMPARE(fakes->pointer.history.first(), int(vbHourglass));
        QCOMPARE(fakes->pointer.current, int(vbDefault));
        QCOMPARE(fakes->messages.beeps, 0);
        if (shownName.isEmpty()) {
            QVERIFY(seen.isEmpty());
            QCOMPARE(fakes->messages.calls.size(), 1);
            const FakeMessageService::Call &call = fakes->messages.calls.first();
            QCOMPARE(call.prompt, message);
            QCOMPARE(call.style, kNoticeStyle);
            QCOMPARE(call.title, QStringLiteral("Quorbix"));
            QCOMPARE(call.pointerAtCall, int(vbDefault));
            // The empty listing stays until the next one replaces it.
            QVERIFY(rsSoftware);
            QCOMPARE(rsSoftware->RecordCount(), 0);
        } else {
            QCOMPARE(seen.size(), 1);
            QCOMPARE(seen.first().window, QStringLiteral("frmDetail"));
            QCOMPARE(seen.first().name, shownName);
            QCOMPARE(seen.first().rows, 1);
            QVERIFY(fakes->messages.calls.isEmpty());
            QVERIFY(!rsSoftware);
        }
    }

    void shouldReportEveryListingOfADamagedSoftwareTable_data()
    {
        QTest::addColumn<QString>("road");
        QTest::newRow("search") << "search";
        QTest::newRow("category") << "category";
        QTest::newRow("subcategory") << "subcategory";
        QTest::newRow("featured") << "featured";
    }
    void shouldReportEveryListingOfADamagedSoftwareTable()
    {
        QFETCH(QString, road);
        load(QStringLiteral("hostile/memo_chain_selfloop.mdb"));
        if (road == QLatin1String("search")) {
            control<QPushButton>(QStringLiteral("cmdGo"))->click();
        } else if (road == QLatin1String("category")) {
            QTest::mouseClick(window->lblCategory(0), Qt::LeftButton);
        } else if (road == QLatin1String("subcategory")) {
            QListWidget *list = window->lstSubCategory(0);
            doubleClick(list, list->item(0));
        } else {
            auto *featured = control<QListWidget>(QStringLiteral("lstFeatured"));
            doubleClick(featured, featured->item(0));
        }
        // A listing shows its window empty after the message; a featured title shows nothing.
        if (road == QLatin1String("featured")) {
            QVERIFY(seen.isEmpty());
        } else {
            QCOMPARE(seen.size(), 1);
            QCOMPARE(seen.first().window, QStringLiteral("frmSoftware"));
            QVERIFY(seen.first().rows <= 0);
        }
        QCOMPARE(fakes->messages.calls.size(), 1);
        QCOMPARE(fakes->messages.calls.first().prompt, QStringLiteral("Unable to open table Software."));
        QCOMPARE(fakes->messages.calls.first().beepsBefore, 1);
        QCOMPARE(fakes->pointer.current, int(vbDefault));
        // The program goes on: the next request is answered the same way.
        control<QPushButton>(QStringLiteral("cmdGo"))->click();
        QCOMPARE(fakes->messages.calls.size(), 2);
        QVERIFY(window->isVisible());
    }

    void shouldOpenThePublishersHomePage()
    {
        load(QStringLiteral("basic.mdb"));
        auto *label = control<LinkLabel>(QStringLiteral("Label3"));
        QVERIFY(label->text().contains(frmMain::publisherSiteName()));
        QTest::mouseClick(label, Qt::LeftButton);
        QCOMPARE(fakes->desktop.opened, QVector<QUrl>{QUrl(frmMain::publisherAddress())});
        QVERIFY(QUrl(frmMain::publisherAddress()).host().endsWith(QLatin1String(".example")));
    }

    void shouldEndTheProgramOnExit()
    {
        load(QStringLiteral("basic.mdb"));
        constexpr int kStillRunning = 2;
        auto *exit = control<QPushButton>(QStringLiteral("cmdClose"));
        QTimer::singleShot(0, exit, &QPushButton::click);
        // Ends the event loop with a failure code if Exit did not end the program.
        QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(kStillRunning); });
        QCOMPARE(QCoreApplication::exec(), 0);
        QVERIFY(!window->isVisible());
        for (QWidget *top : QApplication::topLevelWidgets())
            QVERIFY2(!top->isVisible(), qPrintable(top->objectName()));
    }
};

QTEST_MAIN(TestFrmMainCommands)
#include "test_frm_main_commands.moc"
