#include "fake_services.h"
#include "frm_main.h"
#include "link_label.h"
#include "listing_query.h"
#include "shared_state.h"
#include "test_data.h"
#include "twips.h"

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

/// Shows each window truly modally (QDialog::exec), and while it is up runs the next
/// scripted step inside its event loop. A step that leaves the window open fails the road.
class ModalDialogService final : public DialogService {
public:
    using Step = std::function<void(QDialog &)>;

    int showModal(QDialog &dialog) override
    {
        shown.append(dialog.objectName());
        Step step = steps.isEmpty() ? Step() : steps.dequeue();
        QTimer::singleShot(0, &dialog, [&dialog, step, this] {
            if (step)
                step(dialog);
            if (dialog.isVisible()) {
                leftOpen.append(dialog.objectName());
                dialog.reject();
            }
        });
        return dialog.exec();
    }

    QQueue<Step> steps;
    QStringList shown;
    QStringList leftOpen;
};

struct RoadServices {
    FakeServices fakes;
    ModalDialogService dialogs;
    Services services{fakes.messages, fakes.pointer, fakes.desktop, fakes.settings, dialogs};
};

template <typename T>
T *child(const QWidget *window, const char *name)
{
    return window->findChild<T *>(QLatin1String(name));
}

void doubleClick(QListWidget *list, QListWidgetItem *item)
{
    const QRect rect = list->visualItemRect(item);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rect.center());
}

}  // namespace

class TestListingRoad : public QObject {
    Q_OBJECT

    RoadServices *road = nullptr;
    frmMain *main = nullptr;
    QTemporaryDir *appDir = nullptr;

    // Input as the window system delivers it, so that modality applies.
    void clickGoThroughTheWindowSystem()
    {
        auto *go = child<QPushButton>(main, "cmdGo");
        QTest::mouseClick(main->windowHandle(), Qt::LeftButton, {}, go->mapTo(main, go->rect().center()));
        QTest::keyClick(main->windowHandle(), Qt::Key_Return);
    }

    // While a modal window is up, the main window takes no input: GO and Enter start nothing.
    void verifyMainWindowBlocked(const QDialog &top)
    {
        QCOMPARE(QApplication::activeModalWidget(), &top);
        const qsizetype before = road->dialogs.shown.size();
        const QString sql = strListingSql;
        clickGoThroughTheWindowSystem();
        QCOMPARE(road->dialogs.shown.size(), before);
        QCOMPARE(strListingSql, sql);
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
        road = new RoadServices;
        appDir = new QTemporaryDir;
        QVERIFY(QFile::copy(testDataPath(QStringLiteral("basic.mdb")),
                            appDir->filePath(QStringLiteral("shareware.mdb"))));
        main = new frmMain(road->services, appDir->path());
        main->Form_Load();
        main->show();
        QVERIFY(QTest::qWaitForWindowExposed(main));
    }
    void cleanup()
    {
        QVERIFY2(road->dialogs.leftOpen.isEmpty(), qPrintable(road->dialogs.leftOpen.join(',')));
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(road->fakes.messages.calls.isEmpty());
        QCOMPARE(road->fakes.pointer.current, int(vbDefault));
        delete main;
        delete appDir;
        delete road;
        resetSharedState();
    }

    void shouldTakeInputWhenNoWindowIsOpen()
    {
        // The same input that a modal window blocks reaches the main window otherwise.
        for (int i = 0; i < 2; ++i)
            road->dialogs.steps.enqueue([](QDialog &results) { results.reject(); });
        clickGoThroughTheWindowSystem();
        QCOMPARE(road->dialogs.shown, (QStringList{"frmSoftware", "frmSoftware"}));
        QCOMPARE(strListingTitle, QStringLiteral("Search Results for ''"));
    }

    void shouldSearchSelectAndCloseBackToTheMainWindow()
    {
        QString shownName;
        QString currentName;
        road->dialogs.steps.enqueue([&](QDialog &results) {
            QCOMPARE(results.windowTitle(), QStringLiteral("Search Results for 'zip'"));
            QCOMPARE(child<QLabel>(&results, "lblOrg")->text(), QStringLiteral("4 records"));
            QCOMPARE(child<QTableView>(&results, "dtgOrg")->model()->rowCount(), 4);
            verifyMainWindowBlocked(results);
            // Move to the second row, then Select.
            QTableView *grid = child<QTableView>(&results, "dtgOrg");
            grid->setCurrentIndex(grid->model()->index(1, 0));
            currentName = rsSoftware->value(QStringLiteral("Name")).toString();
            QTest::mouseClick(child<QPushButton>(&results, "cmdSelect"), Qt::LeftButton);
            QVERIFY(results.isVisible());
            QTest::mouseClick(child<QPushButton>(&results, "cmdCancel"), Qt::LeftButton);
        });
        road->dialogs.steps.enqueue([&](QDialog &detail) {
            shownName = child<QLineEdit>(&detail, "txtName")->text();
            verifyMainWindowBlocked(detail);
            QTest::mouseClick(child<QPushButton>(&detail, "cmdCancel"), Qt::LeftButton);
        });

        auto *search = child<QLineEdit>(main, "txtSearch");
        QTest::keyClicks(search, QStringLiteral("zip"));
        QTest::keyClick(search, Qt::Key_Return);

        QCOMPARE(road->dialogs.shown, (QStringList{"frmSoftware", "frmDetail"}));
        QCOMPARE(currentName, QStringLiteral("ArcView Zip"));
        QCOMPARE(shownName, currentName);
        // Back in the main window, which takes input again.
        QVERIFY(main->isVisible());
        QCOMPARE(strListingSql, listing::searchSql(QStringLiteral("zip")));
    }

    void shouldListACategoryAndASubcategory_data()
    {
        QTest::addColumn<bool>("subcategory");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("category click") << false << "Utilities" << listing::categorySql("4")
                                        << QStringList{"100% Free Zip", "alpha lowercase", "ArcView Zip",
                                                       "Backup Buddy", "Disk Tool", "Memo Giant",
                                                       "Nameless Co Tool", "Tool - Pro Edition",
                                                       "under_score", "ZipMaster"};
        QTest::newRow("subcategory double-click") << true << "Utilities > Archivers" << listing::subCategorySql("10")
                                                  << QStringList{"100% Free Zip", "alpha lowercase", "ArcView Zip",
                                                                 "under_score", "ZipMaster"};
    }
    void shouldListACategoryAndASubcategory()
    {
        QFETCH(bool, subcategory);
        QFETCH(QString, title);
        QFETCH(QString, sql);
        QFETCH(QStringList, names);
        QStringList listed;
        road->dialogs.steps.enqueue([&](QDialog &results) {
            QCOMPARE(results.windowTitle(), title);
            verifyMainWindowBlocked(results);
            const QAbstractItemModel *grid = child<QTableView>(&results, "dtgOrg")->model();
            for (int row = 0; row < grid->rowCount(); ++row)
                listed << grid->index(row, 0).data().toString();
            QTest::keyClick(&results, Qt::Key_Escape);
        });

        if (subcategory) {
            QListWidget *list = main->lstSubCategory(3);
            doubleClick(list, list->item(2));
        } else {
            QTest::mouseClick(main->lblCategory(3), Qt::LeftButton);
        }

        QCOMPARE(road->dialogs.shown, QStringList{"frmSoftware"});
        QCOMPARE(strListingSql, sql);
        QCOMPARE(listed, names);
    }

    void shouldOpenAFeaturedTitleAndReleaseItsListing()
    {
        QString shownName;
        road->dialogs.steps.enqueue([&](QDialog &detail) {
            shownName = child<QLineEdit>(&detail, "txtName")->text();
            QCOMPARE(road->fakes.pointer.current, int(vbDefault));
            verifyMainWindowBlocked(detail);
            QTest::mouseClick(child<QPushButton>(&detail, "cmdCancel"), Qt::LeftButton);
        });
        auto *featured = child<QListWidget>(main, "lstFeatured");
        doubleClick(featured, featured->item(0));

        QCOMPARE(road->dialogs.shown, QStringList{"frmDetail"});
        QCOMPARE(shownName, QStringLiteral("ZipMaster"));
        QVERIFY(!rsSoftware);
        QCOMPARE(road->fakes.pointer.history.first(), int(vbHourglass));
    }

    void shouldEndWithNoWindowLeftOnExit()
    {
        road->dialogs.steps.enqueue([&](QDialog &results) {
            QTest::mouseClick(child<QPushButton>(&results, "cmdCancel"), Qt::LeftButton);
        });
        QTest::mouseClick(main->lblCategory(0), Qt::LeftButton);

        constexpr int kStillRunning = 2;
        QTimer::singleShot(0, main, [this] { QTest::mouseClick(child<QPushButton>(main, "cmdClose"), Qt::LeftButton); });
        QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(kStillRunning); });
        QCOMPARE(QCoreApplication::exec(), 0);
        for (const QWidget *top : QApplication::topLevelWidgets())
            QVERIFY2(!top->isVisible(), qPrintable(top->objectName()));
    }
};

QTEST_MAIN(TestListingRoad)
#include "test_listing_road.moc"
