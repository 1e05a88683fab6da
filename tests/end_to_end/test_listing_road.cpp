#include "catalog/listing/query.h"
#include "catalog/listing/request.h"
#include "tests/support/main_window_fixture.h"

#include <optional>

namespace {

/// Shows each window truly modally. While it is up: records it as "name: title or shown
/// title (rsSoftware's rows)", presses GO on the main window (which must start nothing),
/// then closes it.
class ModalDialogService final : public ModalDialogs {
public:
    int showModal(QDialog &dialog) override
    {
        if (probing)
            return mainTookInput = true, QDialog::Rejected;
        steps.enqueue([this](QDialog &dialog) {
            auto *name = dialog.findChild<QLineEdit *>(QStringLiteral("txtName"));
            seen << QStringLiteral("%1: %2 (%3)").arg(dialog.objectName(), name ? name->text() : dialog.windowTitle())
                        .arg(rsSoftware ? rsSoftware->RecordCount() : -1);
            if (rsSoftware && rsSoftware->request())
                asked = *rsSoftware->request();
            const QString sql = strListingSql;
            probing = true;
            pressGo();
            probing = false;
            mainTookInput |= strListingSql != sql || QApplication::activeModalWidget() != &dialog;
        });
        return ModalDialogs::showModal(dialog);
    }
    // Clicks GO, then presses Enter, on the main window as the window system delivers them.
    void pressGo()
    {
        auto *go = main->findChild<QPushButton *>(QStringLiteral("cmdGo"));
        QTest::mouseClick(main->windowHandle(), Qt::LeftButton, {}, go->mapTo(main, go->rect().center()));
        QTest::keyClick(main->windowHandle(), Qt::Key_Return);
    }

    QWidget *main = nullptr;
    QStringList seen;
    std::optional<listing::Request> asked;  // what the shown window's listing was opened as
    bool probing = false;
    bool mainTookInput = false;
};

}  // namespace

class TestListingRoad : public QObject {
    Q_OBJECT

    std::unique_ptr<ModalDialogService> dialogs;
    std::unique_ptr<LoadedMainWindow> app;

    void load(const QString &catalog)
    {
        app.reset();
        dialogs = std::make_unique<ModalDialogService>();
        app = std::make_unique<LoadedMainWindow>(fixtureBytes(catalog), dialogs.get());
        dialogs->main = app->window.get();
        app->window->show();
        QVERIFY(QTest::qWaitForWindowExposed(app->window.get()));
        QVERIFY(app->fakes.messages.calls.isEmpty());
    }
    // Asks as the user does: "search:text" (Enter; "keypad search:text" with the keypad's),
    // "category:index", "subcategory:index:row", "featured:row".
    void ask(const QString &request)
    {
        const QStringList part = request.split(QLatin1Char(':'));
        if (part[0].endsWith(QLatin1String("search"))) {
            auto *search = app->control<QLineEdit>(QStringLiteral("txtSearch"));
            search->setText(part[1]);
            if (part[0].startsWith(QLatin1String("keypad")))
                QTest::keyClick(search, Qt::Key_Enter, Qt::KeypadModifier);
            else
                QTest::keyClick(search, Qt::Key_Return);
        } else if (part[0] == QLatin1String("category")) {
            QTest::mouseClick(app->window->lblCategory(part[1].toInt()), Qt::LeftButton);
        } else if (part[0] == QLatin1String("subcategory")) {
            doubleClick(app->window->lstSubCategory(part[1].toInt()), part[2].toInt());
        } else {
            doubleClick(app->control<QListWidget>(QStringLiteral("lstFeatured")), part[1].toInt());
        }
    }

private slots:
    void initTestCase() { initWindowTests(); }
    void init() { load(QStringLiteral("basic.mdb")); }
    void cleanup()
    {
        QVERIFY(!dialogs->mainTookInput);
        QVERIFY(!QApplication::activeModalWidget());
        QCOMPARE(app->fakes.pointer.current, int(vbDefault));
        app.reset();
    }

    void shouldAnswerEachRequest_data()
    {
        QTest::addColumn<QString>("request");
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("outcome");  // messages, then the windows shown
        const QString all = listing::allTitlesSql();
        const auto title = [](const char *name) { return listing::singleTitleSql(QLatin1String(name)); };
        QTest::newRow("blank search") << "search:   " << all << "frmSoftware: Search Results for '' (39)";
        QTest::newRow("blanks trimmed") << "search:  zip " << listing::searchSql("zip") << "frmSoftware: Search Results for 'zip' (4)";
        QTest::newRow("blanks trimmed, keypad Enter") << "keypad search:  zip " << listing::searchSql("zip")
                                                      << "frmSoftware: Search Results for 'zip' (4)";
        QTest::newRow("category Utilities") << "category:3" << listing::categorySql("4") << "frmSoftware: Utilities (10)";
        QTest::newRow("its third subcategory") << "subcategory:3:2" << listing::subCategorySql("10")
                                               << "frmSoftware: Utilities > Archivers (5)";
        QTest::newRow("featured") << "featured:0" << title("ZipMaster") << "frmDetail: ZipMaster (1)";
        QTest::newRow("Null description") << "featured:1" << title("Disk Tool") << "frmDetail: Disk Tool (1)";
        QTest::newRow("cut at the name's dash") << "featured:2" << title("Tool") << "No records found.";
        QTest::newRow("no such title") << "featured:3" << title("Missing Title") << "No records found.";
        QTest::newRow("quote in the name") << "featured:4" << title("Don't Panic") << "frmDetail: Don't Panic (1)";
        QTest::newRow("site has no row") << "featured:5" << title("Orphan Site Tool") << "No records found.";
        // The damaged catalog: start-up reads well, its Software table does not.
        QTest::newRow("damaged: search") << "search:" << all
                                         << "Unable to open table Software. | frmSoftware: Search Results for '' (-1)";
        QTest::newRow("damaged: featured") << "featured:0" << title("ZipMaster") << "Unable to open table Software.";
    }
    void shouldAnswerEachRequest()
    {
        QFETCH(QString, request);
        QFETCH(QString, sql);
        QFETCH(QString, outcome);
        const bool damaged = outcome.startsWith(QLatin1String("Unable to open table Software."));
        if (damaged)
            load(QStringLiteral("hostile/memo_chain_selfloop.mdb"));
        ask(request);
        QStringList seen;
        for (const FakeMessageService::Call &call : app->fakes.messages.calls) {
            seen << call.prompt;
            // A notice comes with the normal pointer, after a beep only when the table fails.
            QVERIFY(call.style == kNoticeStyle && call.title == QStringLiteral("Quorbix") && call.pointerAtCall == vbDefault);
            QCOMPARE(call.beepsBefore, int(damaged));
        }
        QCOMPARE((seen + dialogs->seen).join(QStringLiteral(" | ")), outcome);
        QCOMPARE(strListingSql, sql);
        // The handler asked for the listing by what it lists, an id by the number the catalog
        // gave; the text is that request's.
        using Kind = listing::Request::Kind;
        if (!dialogs->asked && rsSoftware && rsSoftware->request())
            dialogs->asked = *rsSoftware->request();  // a featured title that showed no window
        const std::optional<listing::Request> &asked = dialogs->asked;
        QVERIFY(asked);
        const QString by = request.section(QLatin1Char(':'), 0, 0);
        const Kind kind = by == "featured"      ? Kind::Title
                          : by == "category"    ? Kind::Category
                          : by == "subcategory" ? Kind::SubCategory
                          : sql == listing::allTitlesSql() ? Kind::AllTitles
                                                           : Kind::Search;
        QCOMPARE(int(asked->kind()), int(kind));
        QCOMPARE(asked->sql(), sql);
        if (kind == Kind::Category || kind == Kind::SubCategory)
            QCOMPARE(asked->key(), std::optional<qint64>(asked->value().toLongLong()));
        QCOMPARE(app->fakes.messages.beeps, int(damaged));
        QCOMPARE(app->fakes.pointer.history.first(), int(vbHourglass));
        // A featured title's listing is released afterwards, or left empty when nothing was found.
        if (request.startsWith(QLatin1String("featured")) && !damaged)
            QCOMPARE(rsSoftware ? rsSoftware->RecordCount() : -1, outcome.startsWith(QLatin1String("No")) ? 0 : -1);
    }

    void shouldDoNothingOnADoubleClickWithNothingSelected()
    {
        app->window->lstSubCategory_DblClick(3);
        app->window->lstFeatured_DblClick();
        QVERIFY(dialogs->seen.isEmpty() && app->fakes.messages.calls.isEmpty() && app->fakes.pointer.history.isEmpty());
        QVERIFY(strListingSql.isEmpty() && !rsSoftware);
    }
};

QTEST_MAIN(TestListingRoad)
#include "test_listing_road.moc"
